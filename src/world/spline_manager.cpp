#include "world/spline_manager.h"

#include <cmath>
#include <cstring>

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"
#include "world/spline_format.h"

CSplineManager* CSplineManager::instance_ = nullptr;

CSplineManager* CSplineManager::getSplineManager() {
    if (!instance_) instance_ = new CSplineManager();
    return instance_;
}

void CSplineManager::cleanUp() {
    delete instance_;
    instance_ = nullptr;
}

namespace {

template <typename T>
T Read(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool IsJumpMarker(int code) {
    return (code >= jump_skill4 && code <= landingStrip) || code == aiPreLoad || code == jumpLand;
}

bool IsLanding(int code) {
    return code >= landing4 && code <= landingStrip;
}

// The walk along the ground shared by the searches: half-grid steps along the major axis from (x, z)
// toward (toX, toZ).
struct Walk {
    float incX = 0.0f, incZ = 0.0f;
    unsigned steps = 0;
    bool any = false;
};

// Steps of one walk: crossing the largest world corner to corner takes about 2,600; a wild point of a
// damaged line stops here instead of walking for minutes.
constexpr unsigned kMaxWalkSteps = 1u << 16;

Walk MakeWalk(float x, float z, float toX, float toZ, float gridSpacing) {
    Walk w;
    const float step = gridSpacing * 0.5f;
    const float dx = toX - x, dz = toZ - z;
    if (!(step > 0.0f) || dx * dx + dz * dz <= step * step) return w;
    const float major = std::fabs(dx) > std::fabs(dz) ? std::fabs(dx) : std::fabs(dz);
    w.incX = step * dx / major;
    w.incZ = step * dz / major;
    const float steps = major / step;
    w.steps = steps < float(kMaxWalkSteps) ? unsigned(steps) : kMaxWalkSteps;
    w.any = true;
    return w;
}

// Steps taken from one point of a zone to find its far edge; far beyond any zone a map can hold.
constexpr int kMaxZoneSteps = 4096;

}  // namespace

void CSplineManager::loadSplines(const void* section, size_t length, float g, int numTiles) {
    const float S = splinefile::SideCells(numTiles);
    gameScale = g;
    const auto* p = static_cast<const uint8_t*>(section);
    size_t left = p ? length : 0;
    for (int i = 0; i < lastEntry; ++i) {
        CQZSpline& s = arraySpline[i];
        s.MakeNewArray();
        if (left < splinefile::kShortHeadSize) {
            x_printf("%sSpline section ends inside record %d\n", x_FileOf(section), i);
            return;
        }
        const int n = Read<int16_t>(p);
        const int loop = Read<int16_t>(p + 2);
        int lap = 0, startLapped = 0;
        size_t head = splinefile::kShortHeadSize;
        if (n >= 0) {
            head = splinefile::kHeadSize;
            const size_t need = head + size_t(n) * (splinefile::kPointSize + splinefile::kTweakSize);
            if (left < need) {
                x_printf("%sSpline section ends inside record %d\n", x_FileOf(section), i);
                return;
            }
            lap = Read<int16_t>(p + 4);
            startLapped = Read<int16_t>(p + 6);
        }
        s.SetMaxNumPoints(n);
        const uint8_t* points = p + head;
        for (int k = 0; k < n; ++k) {
            const auto pt = Read<_SplinePoint>(points + size_t(k) * splinefile::kPointSize);
            s.AddPoint(pt.x * g, -100.0f * pt.y, g * (S - pt.z), pt.w);
        }
        s.MakeCurrentPointsIntoSpline();
        s.setLoopConnect(loop);
        if (n >= 2) {
            if (i > 0) {
                s.Bind(&arraySpline[WayPoint]);
            } else {
                lapWayPoint = uint32_t(lap);
                bStartLapped = startLapped != 0 ? 1 : 0;
            }
        }
        const uint8_t* tweaks = points + size_t(n > 0 ? n : 0) * splinefile::kPointSize;
        for (int k = 0; k < n; ++k) {
            const auto t = Read<_SplineTweak>(tweaks + size_t(k) * splinefile::kTweakSize);
            if (std::sqrt(t.x * t.x + t.y * t.y + t.z * t.z) > splinefile::kTweakThreshold)
                s.TweakPoint(k, t.x, t.y, t.z);
        }
        const size_t used = head + size_t(n > 0 ? n : 0) * (splinefile::kPointSize + splinefile::kTweakSize);
        p += used;
        left -= used;
    }
}

bool CSplineManager::getPoint(float t, SplineType type, qzVector3d& point, qzVector3d& dir) {
    if (type < WayPoint || type >= lastEntry) return false;
    return arraySpline[type].GetVControlledPointNDir(t, 1.0f, point.x, point.y, point.z, dir.x, dir.y, dir.z);
}

bool CSplineManager::getControlledPoint(float wayTime, float ahead, SplineType type, qzVector3d& point,
                                        qzVector3d& dir) {
    if (type < WayPoint || type >= lastEntry) return false;
    CQZSpline& s = arraySpline[type];
    const float t = (type >= BegOne && type <= AdvTwo) ? s.GetMyTimeFromControl(wayTime) : wayTime;
    bool ok = s.GetVControlledPointNDir(t + ahead, 1.0f, point.x, point.y, point.z, dir.x, dir.y, dir.z);
    if (!ok && type <= AdvTwo) {
        const float loopTime = s.valid() ? s.GetPointTime(s.loopConnect()) : 0.1f;
        ok = s.GetVControlledPointNDir(loopTime, 1.0f, point.x, point.y, point.z, dir.x, dir.y, dir.z);
    }
    return ok;
}

float CSplineManager::wayTimeToPercent(float wayTime) {
    const CQZSpline& w = arraySpline[WayPoint];
    const float T = w.GetPointTime(w.count() - 1);
    if (T <= 0.0f) return -1.0f;
    return wayTime / T;
}

int CSplineManager::isPastLap(float wayTime) {
    return wayTime < arraySpline[WayPoint].GetPointTime(int(lapWayPoint)) ? 0 : 1;
}

float CSplineManager::advanceControlTime(float wayTime, qzVector3d position, unsigned char nextCheckPoint) {
    CQZSpline& w = arraySpline[WayPoint];
    float px, py, pz, dx, dy, dz;
    if (w.GetVControlledPointNDir(wayTime, 1.0f, px, py, pz, dx, dy, dz)) {
        const unsigned c = CTerrainType::getInstance()->getCheckPoint(px, pz);
        if (c < 255 && c >= nextCheckPoint) return wayTime;
    }
    return w.GetNewMatchTimeXZ(wayTime, 15.0f, position.x, position.z, checkPointCheck, nextCheckPoint);
}

bool CSplineManager::checkPointCheck(float& x, float& z, float toX, float toZ, int nextCheckPoint) {
    const Walk w = MakeWalk(x, z, toX, toZ, instance_ ? instance_->gameScale : 0.0f);
    if (!w.any) return true;
    const CTerrainType* terrain = CTerrainType::getInstance();
    for (unsigned i = 0; i < w.steps; ++i) {
        x += w.incX;
        z += w.incZ;
        const unsigned c = terrain->getCheckPoint(x, z);
        if (c < 255 && int(c) >= nextCheckPoint) return false;
    }
    return true;
}

TypeList CSplineManager::findCrashRamps(float& x, float& z, float toX, float toZ, TypeList& type) {
    const Walk w = MakeWalk(x, z, toX, toZ, gameScale);
    if (!w.any) return obsolete;
    const CTerrainType* terrain = CTerrainType::getInstance();
    for (unsigned i = 0; i < w.steps; ++i) {
        x += w.incX;
        z += w.incZ;
        const TypeList t = terrain->getTypeAtPoint(x, z);
        if (t != type && (type == crash_end || type == crash_begin)) {
            const TypeList old = type;
            type = t;
            return old;
        }
        type = t;
    }
    return obsolete;
}

TypeList CSplineManager::findJumpRamps(float& x, float& z, float toX, float toZ, TypeList& type,
                                       float* cornerX, float* cornerZ) {
    const Walk w = MakeWalk(x, z, toX, toZ, gameScale);
    if (!w.any) return obsolete;
    const CTerrainType* terrain = CTerrainType::getInstance();
    const float len = std::sqrt(w.incX * w.incX + w.incZ * w.incZ);
    const float ux = w.incX / len, uz = w.incZ / len;
    const float rightX = -uz * 10.0f, rightZ = ux * 10.0f;  // one sideways scan step
    auto code = [terrain](float px, float pz) { return int(terrain->getTypeAtPoint(px, pz)); };

    // The test of scan point (sx, sz) with code t; true when the walk has left a jump zone there.
    auto leftZone = [&](float sx, float sz, int t) {
        if (!IsJumpMarker(type) || t == type) return false;
        if (!IsLanding(type)) {
            float bx = sx - w.incX, bz = sz - w.incZ;
            for (int k = 0; k < kMaxZoneSteps && IsJumpMarker(code(bx, bz)); ++k) bx -= w.incX, bz -= w.incZ;
            const float midX = (sx + bx) * 0.5f, midZ = (sz + bz) * 0.5f;
            float rx = midX, rz = midZ, lx = midX, lz = midZ;
            for (int k = 0; k < kMaxZoneSteps && IsJumpMarker(code(rx, rz)); ++k) rx += rightX, rz += rightZ;
            for (int k = 0; k < kMaxZoneSteps && IsJumpMarker(code(lx, lz)); ++k) lx -= rightX, lz -= rightZ;
            cornerX[0] = sx + (lx - midX), cornerZ[0] = sz + (lz - midZ);
            cornerX[1] = sx + (rx - midX), cornerZ[1] = sz + (rz - midZ);
            cornerX[2] = bx + (lx - midX), cornerZ[2] = bz + (lz - midZ);
            cornerX[3] = bx + (rx - midX), cornerZ[3] = bz + (rz - midZ);
        }
        return true;
    };

    for (unsigned i = 0; i < w.steps; ++i) {
        x += w.incX;
        z += w.incZ;
        float sx = x, sz = z;
        int t = code(sx, sz);
        int tests = 0;
        for (; t < offtrack && tests < 81; ++tests) {
            if (leftZone(sx, sz, t)) {
                const TypeList old = type;
                type = TypeList(t);
                return old;
            }
            sx += rightX, sz += rightZ;
            t = code(sx, sz);
        }
        if (t < offtrack) {
            sx = x, sz = z;
            for (tests = 0; t < offtrack && tests < 81; ++tests) {
                if (leftZone(sx, sz, t)) {
                    const TypeList old = type;
                    type = TypeList(t);
                    return old;
                }
                sx -= rightX, sz -= rightZ;
                t = code(sx, sz);
            }
        }
        type = TypeList(t);
    }
    return obsolete;
}
