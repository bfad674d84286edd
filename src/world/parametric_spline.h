// A one-dimensional interpolating curve: a value over a parameter through knots (value, parameter) kept in
// strictly increasing parameter order, cubic Hermite between knots. The knot derivatives are computed once
// by MakeCurrentPointsIntoSpline; evaluation takes an in/out segment hint so that several splines sharing
// their knot parameters (x, y and z of a racing line) are evaluated at one time with one search.
#pragma once

#include <memory>

class CParametricSpline {
public:
    struct Knot {
        float value;
        float parameter;
    };

    CParametricSpline() = default;
    ~CParametricSpline();
    CParametricSpline(const CParametricSpline&) = delete;
    CParametricSpline& operator=(const CParametricSpline&) = delete;

    // Inserts the knot in parameter order; false on a full spline or a parameter already present.
    bool AddPoint(float value, float parameter);
    // Grows the capacity (keeping the knots); false for n < 0.
    bool SetMaxNumPoints(int n);
    // Computes the knot derivatives. Monotonic mode takes the smaller neighbouring secant at interior
    // knots and ignores the end slopes; otherwise the interior derivatives solve the tridiagonal system of
    // the curve, with interval weights weights[i] * |value difference| when `weights` is given (one per
    // knot). False with fewer than two knots.
    bool MakeCurrentPointsIntoSpline(float startSlope, float endSlope, bool monotonic, const float* weights);
    // The value at `parameter`. `index` and `fraction` are the segment hint: when index k (1..n-1) names
    // a segment that strictly brackets the parameter, that segment and the passed fraction are used as
    // they are; otherwise the segment is searched. On a segment whose values differ by more than 0.001 the
    // hint is set to (end knot of the segment, fraction within it). With three or more knots the first
    // knot's parameter lies outside the curve.
    bool OptimizedGetPointOnSpline(float parameter, float& value, int& index, float& fraction) const;

    // Forgets the knots (capacity and arrays stay).
    void Clear();
    // Sets the derivative at knot i (a tangent override; nothing is rebuilt). False outside the knots.
    bool SetDerivative(int i, float derivative);

    int count() const { return m_curNumPoints; }
    int capacity() const { return m_maxNumPoints; }
    bool valid() const { return m_bSplineValid != 0; }
    const Knot& knot(int i) const { return m_pPointArray[i]; }
    float derivative(int i) const { return m_n_sub_i[i]; }

private:
    void allocate();

    int m_maxNumPoints = 64;
    int m_curNumPoints = 0;
    std::unique_ptr<Knot[]> m_pPointArray;
    std::unique_ptr<float[]> m_n_sub_i;
    unsigned char m_bSplineValid = 0;
    unsigned char m_bMonotonic = 0;
};
