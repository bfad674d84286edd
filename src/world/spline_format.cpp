#include "world/spline_format.h"

#include <cmath>
#include <cstring>

#include "engine/sys/files.h"

namespace splinefile {

float SideCells(int numTiles) {
    if (numTiles == 4) return 448.0f;
    if (numTiles == 9) return 672.0f;
    return 896.0f;
}

}  // namespace splinefile

namespace {

using namespace splinefile;

template <typename T>
T Read(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

SplineCheck Fail(const char* why, int spline) {
    SplineCheck c;
    c.SetFail("%s", why);
    c.spline = spline;
    return c;
}

bool Finite(float a, float b, float c) {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c);
}

}  // namespace

SplineCheck CheckSplineSection(const void* data, uint32_t length, float gridSpacing) {
    const auto* base = static_cast<const uint8_t*>(data);
    if (!base && length) return Fail("no section", 0);
    const double g = gridSpacing;
    uint32_t at = 0;
    int counts[kSplineCount] = {};
    for (int i = 0; i < kSplineCount; ++i) {
        if (length - at < kShortHeadSize) return Fail("record runs past the end of the section", i);
        const int n = Read<int16_t>(base + at);
        const int loop = Read<int16_t>(base + at + 2);
        if (n < 0) return Fail("negative point count", i);
        if (length - at < kHeadSize) return Fail("record runs past the end of the section", i);
        const int lap = Read<int16_t>(base + at + 4);
        const uint64_t body = uint64_t(n) * (kPointSize + kTweakSize);
        if (body > length - at - kHeadSize) return Fail("record runs past the end of the section", i);
        if (n == 1) return Fail("a spline needs at least 2 points", i);
        if (n > 0 && (loop < 0 || loop >= n)) return Fail("loop-connect index is not one of its points", i);
        if (i == 0 && n > 0 && (lap < 0 || lap >= n)) return Fail("lap waypoint is not one of its points", i);
        const uint8_t* points = base + at + kHeadSize;
        const uint8_t* tweaks = points + uint64_t(n) * kPointSize;
        for (int k = 0; k < n; ++k) {
            const auto p = Read<_SplinePoint>(points + k * kPointSize);
            const auto t = Read<_SplineTweak>(tweaks + k * kTweakSize);
            if (!Finite(p.x, p.y, p.z) || !std::isfinite(p.w) || !Finite(t.x, t.y, t.z))
                return Fail("point or tweak is not a finite number", i);
            if (!(p.w > 0.0f)) return Fail("point has a look-ahead scale w of 0 or less", i);
            if (p.x < 0.0f || p.x > kMaxCells || p.z < 0.0f || p.z > kMaxCells || std::fabs(p.y) > kMaxHeight)
                return Fail("point lies outside the world", i);
            if (std::fabs(t.x) > kMaxTweak || std::fabs(t.y) > kMaxTweak || std::fabs(t.z) > kMaxTweak)
                return Fail("tweak is out of range", i);
            if (k > 0) {
                const auto q = Read<_SplinePoint>(points + (k - 1) * kPointSize);
                const double dx = g * (double(p.x) - q.x), dy = 100.0 * (double(p.y) - q.y),
                             dz = g * (double(p.z) - q.z);
                // The loader measures in single precision at world scale; the margin keeps both agreeing.
                if (std::sqrt(dx * dx + dy * dy + dz * dz) < double(kMinPointSpacing) + 0.01)
                    return Fail("point lies closer than 1.0 to the previous one", i);
            }
        }
        counts[i] = n;
        at += kHeadSize + uint32_t(body);
    }
    bool any = false;
    for (int n : counts) any = any || n > 0;
    if (any && counts[0] < 3) return Fail("the waypoint spline needs at least 3 points", 0);
    SplineCheck good;
    good.length = at;
    return good;
}

SplineCheck ValidateSplineSection(const void* data, uint32_t length, float gridSpacing, const char* name) {
    const SplineCheck check = CheckSplineSection(data, length, gridSpacing);
    if (!check.ok) x_printf("world %s refused: spline %d: %s\n", name ? name : "?", check.spline, check.why);
    return check;
}

std::vector<uint8_t> WriteSplineSection(const SplineSection& section) {
    std::vector<uint8_t> out;
    for (const SplineRecord& r : section) {
        const size_t n = r.points.size();
        if (n > 32767 || (!r.tweaks.empty() && r.tweaks.size() != n)) return {};
        const _SplineRecordHead head{int16_t(n), r.loopConnect, r.lapWaypoint, r.startLapped};
        const size_t at = out.size();
        out.resize(at + kHeadSize + n * (kPointSize + kTweakSize), 0);
        std::memcpy(out.data() + at, &head, sizeof head);
        if (n) std::memcpy(out.data() + at + kHeadSize, r.points.data(), n * kPointSize);
        if (!r.tweaks.empty())
            std::memcpy(out.data() + at + kHeadSize + n * kPointSize, r.tweaks.data(), n * kTweakSize);
    }
    return out;
}

_SplinePoint SplinePointFromWorld(float x, float y, float z, float w, float gridSpacing, int numTiles) {
    return _SplinePoint{x / gridSpacing, -y / 100.0f, SideCells(numTiles) - z / gridSpacing, w};
}
