#include "world/qz_spline.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

float Length(float x, float y, float z) {
    return std::sqrt(x * x + y * y + z * z);
}

// Interval weight of the x, y and z builds: every point counts the same.
constexpr float kAxisWeight = 1.0f;

}  // namespace

long CQZSpline::bindStepLimit = 1L << 21;

CQZSpline::~CQZSpline() {
    // Points first, then the curves' arrays, as the heap has always seen them go.
    m_pPointArray.reset();
    m_pTimeArray.reset();
}

void CQZSpline::clearCurves() {
    for (CParametricSpline& s : m_Splines) s.Clear();
}

bool CQZSpline::MakeNewArray() {
    m_bSplineValid = 0;
    m_curNumPoints = 0;
    m_pPointArray.reset();
    m_pTimeArray.reset();
    m_pPointArray = std::make_unique<float[]>(4 * static_cast<size_t>(m_maxNumPoints));
    m_pTimeArray = std::make_unique<float[]>(static_cast<size_t>(m_maxNumPoints));
    clearCurves();
    return true;
}

bool CQZSpline::AddPoint(float x, float y, float z, float w) {
    if (!(w > 0.0f)) return false;
    if (!m_pPointArray) MakeNewArray();
    if (m_curNumPoints > 0) {
        const float* p = point(m_curNumPoints - 1);
        if (Length(x - p[0], y - p[1], z - p[2]) < 1.0f) return false;
    }
    if (m_curNumPoints >= m_maxNumPoints) return false;
    m_bSplineValid = 0;
    float* p = m_pPointArray.get() + 4 * m_curNumPoints;
    p[0] = x;
    p[1] = y;
    p[2] = z;
    p[3] = w;
    ++m_curNumPoints;
    return true;
}

bool CQZSpline::SetMaxNumPoints(int n) {
    if (n < 0) return false;
    if (n <= m_maxNumPoints) return true;
    for (CParametricSpline& s : m_Splines) s.SetMaxNumPoints(n);
    std::unique_ptr<float[]> oldPoints = std::move(m_pPointArray);
    std::unique_ptr<float[]> oldTimes = std::move(m_pTimeArray);
    const int oldCount = m_curNumPoints;
    m_maxNumPoints = n;
    MakeNewArray();
    if (oldPoints) {
        for (int i = 0; i < oldCount; ++i)
            AddPoint(oldPoints[4 * i], oldPoints[4 * i + 1], oldPoints[4 * i + 2], oldPoints[4 * i + 3]);
    }
    oldPoints.reset();
    oldTimes.reset();
    return true;
}

bool CQZSpline::MakeCurrentPointsIntoSpline() {
    for (int k = 0; k < 4; ++k) m_Splines[k].Clear();
    m_LoopConnect = 0;
    m_bSplineValid = 0;
    const int n = m_curNumPoints;
    if (n < 2) return false;
    const float* P = m_pPointArray.get();
    if (n == 2) {
        const float d = Length(P[4] - P[0], P[5] - P[1], P[6] - P[2]);
        const float v = std::fmax((P[3] + P[7]) * 0.5f, 0.1f);
        const float T = d / v;
        for (int c = 0; c < 3; ++c) {
            m_Splines[c].AddPoint(P[c], 0.0f);
            m_Splines[c].AddPoint(P[4 + c], T);
        }
        m_Splines[3].AddPoint(0.0f, 0.0f);
        m_Splines[3].AddPoint(T, T);
        m_pTimeArray[0] = 0.0f;
        m_pTimeArray[1] = T;
        bool ok = true;
        for (int c = 0; c < 3; ++c)
            ok = m_Splines[c].MakeCurrentPointsIntoSpline(0.0f, 0.0f, false, nullptr) && ok;
        ok = m_Splines[3].MakeCurrentPointsIntoSpline(1.0f, 1.0f, true, nullptr) && ok;
        m_bSplineValid = ok ? 1 : 0;
        return ok;
    }
    float t = 0.0f;
    for (int i = 0; i < n; ++i) {
        const float* p = P + 4 * i;
        for (int c = 0; c < 3; ++c) m_Splines[c].AddPoint(p[c], t);
        m_pTimeArray[i] = t;
        if (i + 1 < n) t += Length(p[4] - p[0], p[5] - p[1], p[6] - p[2]);
    }
    const float* first = P;
    const float* last = P + 4 * (n - 2);
    const float firstVec[3] = {first[4] - first[0], first[5] - first[1], first[6] - first[2]};
    const float lastVec[3] = {last[4] - last[0], last[5] - last[1], last[6] - last[2]};
    const float dFirst = Length(firstVec[0], firstVec[1], firstVec[2]);
    const float dLast = Length(lastVec[0], lastVec[1], lastVec[2]);
    if (dFirst < 0.001f || dLast < 0.001f) return false;
    const std::vector<float> weights(n, kAxisWeight);
    bool ok = true;
    for (int c = 0; c < 3; ++c)
        ok = m_Splines[c].MakeCurrentPointsIntoSpline(firstVec[c] / dFirst, lastVec[c] / dLast, false,
                                                      weights.data()) &&
             ok;
    for (int i = 0; i < n; ++i) m_Splines[3].AddPoint(P[4 * i + 3], float(i));
    ok = m_Splines[3].MakeCurrentPointsIntoSpline(P[7] - P[3], P[4 * (n - 1) + 3] - P[4 * (n - 2) + 3], false,
                                                  nullptr) &&
         ok;
    m_bSplineValid = ok ? 1 : 0;
    return ok;
}

float CQZSpline::GetPointTime(int i) const {
    if (!m_bSplineValid || i < 0 || i >= m_maxNumPoints) return -1.0f;
    return m_pTimeArray[i];
}

bool CQZSpline::pointWithHint(float t, float& x, float& y, float& z, int& index, float& fraction) const {
    return m_Splines[0].OptimizedGetPointOnSpline(t, x, index, fraction) &&
           m_Splines[1].OptimizedGetPointOnSpline(t, y, index, fraction) &&
           m_Splines[2].OptimizedGetPointOnSpline(t, z, index, fraction);
}

bool CQZSpline::GetRawPointOnSpline(float t, float& x, float& y, float& z, int* index) const {
    int hint = 0;
    float fraction = 0.0f;
    if (!pointWithHint(t, x, y, z, hint, fraction)) return false;
    if (index) *index = hint;
    return true;
}

bool CQZSpline::GetVControlledPointNDir(float t, float ahead, float& x, float& y, float& z, float& dx,
                                        float& dy, float& dz) const {
    if (!m_bSplineValid) return false;
    int k = 0;
    float f = 0.0f;
    float px, py, pz;
    if (!pointWithHint(t, px, py, pz, k, f)) return false;
    int ck = 0;
    float cf = 0.0f, c;
    if (!m_Splines[3].OptimizedGetPointOnSpline(float(k - 1) + f, c, ck, cf)) return false;
    const float a = c * ahead;
    float t2 = t + a;
    float qx, qy, qz;
    while (!GetRawPointOnSpline(t2, qx, qy, qz, nullptr)) {
        // Beyond a time of about 128 the float step exceeds 1e-5, so at the very end of a line the
        // halving would stall one step past t: stop when it no longer moves.
        // A damaged control line can make the look-ahead not a number: no halving reaches t then.
        const float half = (t + t2) * 0.5f;
        if (half == t2 || !(std::fabs(half - t) >= 1e-5f)) return false;
        t2 = half;
    }
    x = px;
    y = py;
    z = pz;
    float vx = qx - px, vy = qy - py, vz = qz - pz;
    const float len = Length(vx, vy, vz);
    const float scale = len > 0.0f ? a / len : 0.0f;
    dx = vx * scale;
    dy = vy * scale;
    dz = vz * scale;
    return true;
}

float CQZSpline::GetMyTimeFromControl(float controlTime) const {
    int index = 0;
    float fraction = 0.0f, value;
    if (!m_Splines[4].OptimizedGetPointOnSpline(controlTime, value, index, fraction)) return -1.0f;
    return value;
}

bool CQZSpline::Bind(CQZSpline* control) {
    if (!control || !m_bSplineValid || !control->m_bSplineValid) return false;
    CParametricSpline& map = m_Splines[4];
    map.Clear();
    map.SetMaxNumPoints(control->m_maxNumPoints);
    const float b = (control->m_pTimeArray[1] - control->m_pTimeArray[0]) / 1000.0f;
    control->m_bind_interval = b;
    float tau = 0.0f;
    map.AddPoint(0.0f, 0.0f);
    // The own point at time tau; at the start of the line (where the curve has no interior) the first
    // point itself.
    long budget = bindStepLimit;
    auto own = [this, &budget](float at, float& x, float& y, float& z) {
        if (--budget < 0) return false;
        if (GetRawPointOnSpline(at, x, y, z, nullptr)) return true;
        if (at > m_pTimeArray[0]) return false;
        x = m_pPointArray[0];
        y = m_pPointArray[1];
        z = m_pPointArray[2];
        return true;
    };
    for (int k = 0; k < control->m_curNumPoints; ++k) {
        const float* C = control->point(k);
        const float tc = control->m_pTimeArray[k];
        float ex = C[0], ey = C[1], ez = C[2];
        float Dc[3] = {0.0f, 0.0f, 0.0f};
        if (k == 0) {
            if (control->GetRawPointOnSpline(tc + b, ex, ey, ez, nullptr))
                Dc[0] = ex - C[0], Dc[1] = ey - C[1], Dc[2] = ez - C[2];
        } else if (control->GetRawPointOnSpline(tc - b, ex, ey, ez, nullptr)) {
            Dc[0] = C[0] - ex, Dc[1] = C[1] - ey, Dc[2] = C[2] - ez;
        }
        float mx, my, mz;
        if (!own(tau, mx, my, mz)) continue;
        float dist = Length(C[0] - mx, C[1] - my, C[2] - mz);
        const float ahead = Dc[0] * (mx - C[0]) + Dc[1] * (my - C[1]) + Dc[2] * (mz - C[2]);
        if (ahead > 0.0f) {
            tau += b;
            if (!own(tau, mx, my, mz)) continue;
            float d = Length(C[0] - mx, C[1] - my, C[2] - mz);
            if (d >= dist) continue;
            for (;;) {
                tau += b;
                if (!own(tau, mx, my, mz)) break;
                const float dn = Length(C[0] - mx, C[1] - my, C[2] - mz);
                if (!(dn < d)) break;
                d = dn;
            }
            tau -= b;
            map.AddPoint(tau, tc);
        } else {
            for (;;) {
                tau += b;
                if (!own(tau, mx, my, mz)) break;
                const float e = Dc[0] * (mx - C[0]) + Dc[1] * (my - C[1]) + Dc[2] * (mz - C[2]);
                const float d = Length(C[0] - mx, C[1] - my, C[2] - mz);
                if (d < dist) {
                    dist = d;
                    if (!(e < 0.0f)) break;
                } else {
                    if (d > dist + 100.0f * b) break;
                    if (!(e < 0.0f)) break;
                }
            }
            map.AddPoint(tau, tc);
        }
    }
    return map.MakeCurrentPointsIntoSpline(1.0f, 1.0f, true, nullptr);
}

void CQZSpline::TweakPoint(int i, float tx, float ty, float tz) {
    if (i < 0 || i >= m_curNumPoints || m_curNumPoints < 2) return;
    const float* T = m_pTimeArray.get();
    float h, ta, tb;
    if (i > 0) {
        h = (T[i] - T[i - 1]) / 100000.0f;
        ta = T[i] - h;
        tb = T[i] - 2.0f * h;
    } else {
        h = (T[1] - T[0]) / 100000.0f;
        ta = T[0] + h;
        tb = T[0] + 2.0f * h;
    }
    int index = 0;
    float fraction = 0.0f;
    float a[3] = {0.0f, 0.0f, 0.0f}, bp[3] = {0.0f, 0.0f, 0.0f};
    for (int c = 0; c < 3; ++c) {
        float v;
        if (m_Splines[c].OptimizedGetPointOnSpline(ta, v, index, fraction)) a[c] = v;
    }
    for (int c = 0; c < 3; ++c) bp[c] = a[c];
    for (int c = 0; c < 3; ++c) {
        float v;
        if (m_Splines[c].OptimizedGetPointOnSpline(tb, v, index, fraction)) bp[c] = v;
    }
    if (!(h > 0.0f)) return;
    const float speed = Length(bp[0] - a[0], bp[1] - a[1], bp[2] - a[2]) / h;
    const float t[3] = {tx, ty, tz};
    for (int c = 0; c < 3; ++c)
        if (m_Splines[c].valid() && i < m_Splines[c].count()) m_Splines[c].SetDerivative(i, speed * t[c]);
}

float CQZSpline::GetNewMatchTimeXZ(float t, float step, float x, float z, Gate gate, int gateArg) const {
    if (!m_bSplineValid) return t;
    const int loop = m_LoopConnect >= 0 && m_LoopConnect < m_curNumPoints ? m_LoopConnect : 0;
    const auto wrap = [this, loop, &step] { return m_pTimeArray[loop] + step; };
    int i = 0;
    float f = 0.0f, px, py, pz;
    if (!pointWithHint(t, px, py, pz, i, f)) {
        // At the very start of the line (a racer on the grid) the line's first point; past its end, wrap.
        if (!(t <= m_pTimeArray[0])) return wrap();
        px = m_pPointArray[0];
        pz = m_pPointArray[2];
        i = 0;
    }
    float ax = px, az = pz;
    float qx, qy, qz;
    if (!GetRawPointOnSpline(t + m_bind_interval, qx, qy, qz, nullptr)) return wrap();
    if (!gate(ax, az, qx, qz, gateArg)) return t;
    const int n = m_curNumPoints;
    if (i < 0 || i >= n) i = 0;
    const int j = i < n - 1 ? i + 1 : loop;
    const float* K0 = point(i);
    const float* K1 = point(j);
    const float mx = (K0[0] + K1[0]) * 0.5f, mz = (K0[2] + K1[2]) * 0.5f;
    const float ti = m_pTimeArray[i];
    if ((x - mx) * (K1[0] - K0[0]) + (z - mz) * (K1[2] - K0[2]) > 0.0f) {
        const float s = (ti - t) / 20.0f;
        if (!(ti > 0.0f) || s / ti <= 0.0001f) return ti + step;
        float tau = t + s;
        while (tau < ti) {
            if (!GetRawPointOnSpline(tau, qx, qy, qz, nullptr)) return wrap();
            if (!gate(ax, az, qx, qz, gateArg)) return tau;
            tau += s;
        }
        return tau;
    }
    float previous = t;
    for (;;) {
        const float tau = previous + step;
        if (!GetRawPointOnSpline(tau, qx, qy, qz, nullptr)) return wrap();
        if (!gate(ax, az, qx, qz, gateArg)) return previous;
        float q2x, q2y, q2z;
        if (!GetRawPointOnSpline(tau + m_bind_interval, q2x, q2y, q2z, nullptr)) return wrap();
        float vx = x - qx, vz = z - qz;
        float dx = q2x - qx, dz = q2z - qz;
        const float vl = std::sqrt(vx * vx + vz * vz), dl = std::sqrt(dx * dx + dz * dz);
        if (vl > 0.01f) vx /= vl, vz /= vl;
        if (dl > 0.01f) dx /= dl, dz /= dl;
        step *= 1.072f;
        if (vx * dx + vz * dz > 0.0f) {
            previous = tau;
        } else {
            return previous;
        }
    }
}
