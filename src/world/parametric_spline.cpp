#include "world/parametric_spline.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

CParametricSpline::~CParametricSpline() {
    // Knots first, as the heap has always seen them go.
    m_pPointArray.reset();
    m_n_sub_i.reset();
}

void CParametricSpline::allocate() {
    m_pPointArray = std::make_unique<Knot[]>(static_cast<size_t>(m_maxNumPoints));
    m_n_sub_i = std::make_unique<float[]>(static_cast<size_t>(m_maxNumPoints));
}

void CParametricSpline::Clear() {
    m_curNumPoints = 0;
    m_bSplineValid = 0;
}

bool CParametricSpline::AddPoint(float value, float parameter) {
    if (!m_pPointArray) {
        m_bSplineValid = 0;
        m_curNumPoints = 0;
        allocate();
    }
    if (m_curNumPoints >= m_maxNumPoints) return false;
    m_bSplineValid = 0;
    const int n = m_curNumPoints;
    int k = 0;
    while (k < n && !(m_pPointArray[k].parameter > parameter)) ++k;
    if (k > 0 && m_pPointArray[k - 1].parameter == parameter) return false;
    for (int j = n; j > k; --j) m_pPointArray[j] = m_pPointArray[j - 1];
    m_pPointArray[k] = Knot{value, parameter};
    ++m_curNumPoints;
    return true;
}

bool CParametricSpline::SetMaxNumPoints(int n) {
    if (n < 0) return false;
    if (n <= m_maxNumPoints) return true;
    std::unique_ptr<Knot[]> oldKnots = std::move(m_pPointArray);
    std::unique_ptr<float[]> oldDerivatives = std::move(m_n_sub_i);
    const int oldCount = m_curNumPoints;
    m_maxNumPoints = n;
    m_bSplineValid = 0;
    m_curNumPoints = 0;
    allocate();
    if (oldKnots) {
        for (int i = 0; i < oldCount; ++i) AddPoint(oldKnots[i].value, oldKnots[i].parameter);
        oldKnots.reset();
        oldDerivatives.reset();
    }
    return true;
}

bool CParametricSpline::SetDerivative(int i, float derivative) {
    if (i < 0 || i >= m_curNumPoints) return false;
    m_n_sub_i[i] = derivative;
    return true;
}

bool CParametricSpline::MakeCurrentPointsIntoSpline(float startSlope, float endSlope, bool monotonic,
                                                    const float* weights) {
    const int n = m_curNumPoints;
    if (n < 2) {
        m_bSplineValid = 0;
        return false;
    }
    if (n == 2) {
        m_bSplineValid = 1;
        return true;
    }
    m_bMonotonic = monotonic ? 1 : 0;
    const Knot* k = m_pPointArray.get();
    float* D = m_n_sub_i.get();
    auto secant = [k](int i) {
        return (k[i + 1].value - k[i].value) / (k[i + 1].parameter - k[i].parameter);
    };
    if (monotonic) {
        D[0] = secant(0);
        for (int i = 1; i < n - 1; ++i) D[i] = std::min(secant(i - 1), secant(i));
        D[n - 1] = secant(n - 2);
        m_bSplineValid = 1;
        return true;
    }
    D[0] = startSlope;
    D[n - 1] = endSlope;
    struct Row {
        float a, b, c, r;
    };
    std::vector<Row> rows(n - 2);
    for (int j = 0; j < n - 2; ++j) {
        const int i = j + 1;
        float hL, hR;
        if (weights) {
            hL = weights[i - 1] * std::fabs(k[i].value - k[i - 1].value);
            hR = weights[i] * std::fabs(k[i + 1].value - k[i].value);
            if (hL + hR < 0.1f) hL = hR = 0.05f;
        } else {
            hL = k[i].parameter - k[i - 1].parameter;
            hR = k[i + 1].parameter - k[i].parameter;
        }
        const float H = hL + hR;
        const float sL = secant(i - 1), sR = secant(i);
        rows[j] =
            Row{0.5f * hR / H, 1.0f, 0.5f * hL / H, 1.5f * (0.5f * (hL / H) * sR + 0.5f * (hR / H) * sL)};
    }
    // Forward elimination without dividing by the previous pivot, then back substitution: this exact
    // order gives the track lines their shape.
    const int last = n - 3;
    rows[0].r -= rows[0].a * D[0];
    for (int j = 1; j <= last; ++j) {
        rows[j].b -= rows[j].a * rows[j - 1].c;
        rows[j].r -= rows[j].a * rows[j - 1].r;
    }
    rows[last].r -= rows[last].c * D[n - 1];
    for (int j = last; j >= 1; --j) {
        D[j + 1] = rows[j].r / rows[j].b;
        rows[j - 1].r -= rows[j - 1].c * D[j + 1];
    }
    D[1] = rows[0].r;
    m_bSplineValid = 1;
    return true;
}

bool CParametricSpline::OptimizedGetPointOnSpline(float t, float& value, int& index, float& fraction) const {
    if (!m_bSplineValid) return false;
    const int n = m_curNumPoints;
    const Knot* k = m_pPointArray.get();
    if (n == 2) {
        if (t < k[0].parameter || t > k[1].parameter) return false;
        const float span = k[1].parameter - k[0].parameter;
        if (std::fabs(span) <= 1e-5f) return false;
        const float u = (t - k[0].parameter) / span;
        value = k[0].value + (k[1].value - k[0].value) * u;
        index = 1;
        fraction = u;
        return true;
    }
    int seg;
    float u;
    if (index > 0 && index <= n - 1 && k[index - 1].parameter < t && t < k[index].parameter) {
        seg = index - 1;
        u = fraction;
    } else {
        // The first knot whose parameter is at least t (the knots are strictly increasing).
        const Knot* at =
            std::lower_bound(k, k + n, t, [](const Knot& a, float b) { return a.parameter < b; });
        const int first = int(at - k);
        if (first == n || first == 0) return false;
        seg = first - 1;
        u = (t - k[seg].parameter) / (k[first].parameter - k[seg].parameter);
    }
    const float y0 = k[seg].value, y1 = k[seg + 1].value;
    const float h = k[seg + 1].parameter - k[seg].parameter;
    const float s = (y1 - y0) / h;
    const float Di = m_n_sub_i[seg];
    const float A = Di + m_n_sub_i[seg + 1] - 2.0f * s;
    value = y0 + (t - k[seg].parameter) * (Di + u * ((s - A - Di) + u * A));
    if (std::fabs(y1 - y0) > 0.001f) {
        fraction = u;
        index = seg + 1;
    }
    return true;
}
