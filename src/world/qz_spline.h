// A smooth 3D track line: points (x, y, z) with a control value w each, turned into a curve over time by
// three parametric splines (x, y, z). With three or more points the time is arc length along the point
// polygon (world units). A fourth parametric spline carries w over the point index (the look-ahead scale)
// and a fifth, made by Bind, maps the time of the spline bound to (the waypoint line) to this line's time.
#pragma once

#include <memory>

#include "world/parametric_spline.h"

class CQZSpline {
public:
    // Says whether the line may be followed from (x0, z0) to (x1, z1); may move (x0, z0) along the way.
    using Gate = bool (*)(float& x0, float& z0, float x1, float z1, int gateArg);

    CQZSpline() = default;
    ~CQZSpline();
    CQZSpline(const CQZSpline&) = delete;
    CQZSpline& operator=(const CQZSpline&) = delete;

    bool MakeNewArray();
    bool SetMaxNumPoints(int n);
    // Refused: w <= 0, a point closer than 1.0 to the previous one, a full spline.
    bool AddPoint(float x, float y, float z, float w);
    bool MakeCurrentPointsIntoSpline();

    // The time of point i; -1 when the spline is not built or i is outside the capacity.
    float GetPointTime(int i) const;
    bool GetRawPointOnSpline(float t, float& x, float& y, float& z, int* index) const;
    // The point at t and the direction to the point c * ahead further on, of length c * ahead, where c is
    // the control value at t. A look-ahead past the end of the line is halved until it fits.
    bool GetVControlledPointNDir(float t, float ahead, float& x, float& y, float& z, float& dx, float& dy,
                                 float& dz) const;
    // This line's time for a time of the spline it is bound to; -1 when it has none.
    float GetMyTimeFromControl(float controlTime) const;
    // Binds this line to `control` (the waypoint line): builds the time map. Sets control's bind interval.
    // The walk along this line takes at most bindStepLimit small steps (a track line needs a few hundred
    // thousand; a damaged one, a huge line against a tiny waypoint step, stops there).
    bool Bind(CQZSpline* control);
    static long bindStepLimit;
    // Overrides the tangent of point i with (tx, ty, tz) times the line's speed there.
    void TweakPoint(int i, float tx, float ty, float tz);
    // The new time of a racer at (x, z) whose previous time is t, searching forward with a growing step;
    // each candidate must pass `gate` from the racer's point on the line.
    float GetNewMatchTimeXZ(float t, float step, float x, float z, Gate gate, int gateArg) const;

    int count() const { return m_curNumPoints; }
    int capacity() const { return m_maxNumPoints; }
    bool valid() const { return m_bSplineValid != 0; }
    int loopConnect() const { return m_LoopConnect; }
    void setLoopConnect(int i) { m_LoopConnect = i; }
    float bindInterval() const { return m_bind_interval; }
    const float* point(int i) const { return m_pPointArray.get() + 4 * i; }
    const CParametricSpline& curve(int k) const { return m_Splines[k]; }

private:
    void clearCurves();
    // Point at t with a shared hint starting at (index, fraction).
    bool pointWithHint(float t, float& x, float& y, float& z, int& index, float& fraction) const;

    int m_maxNumPoints = 64;
    int m_curNumPoints = 0;
    int m_LoopConnect = 0;
    std::unique_ptr<float[]> m_pPointArray;  // x, y, z, w per point
    std::unique_ptr<float[]> m_pTimeArray;
    float m_bind_interval = 10.0f;
    unsigned char m_bSplineValid = 0;
    CParametricSpline m_Splines[5];
};
