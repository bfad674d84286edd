#include "world/ramps.h"

#include <cmath>
#include <cstring>

#include "engine/sys/files.h"
#include "world/spline_manager.h"
#include "world/terrain_type.h"

CRamps* CRamps::instance_ = nullptr;

CRamps* CRamps::getInstance() {
    if (!instance_) instance_ = new CRamps();
    return instance_;
}

void CRamps::resetStatics() {
    delete instance_;
}

CRamps::~CRamps() {
    jumpRampPairSets.clear();
    crashRampPairSets.clear();
    if (instance_ == this) instance_ = nullptr;
}

int CRamps::JumpSubType(uint8_t code) {
    switch (code) {
        case aiPreLoad:
            return 0;
        case preload2:
            return 1;
        case preload3:
            return 2;
        case preload4:
            return 3;
        case jumpLand:
            return 4;
        case jump_skill2:
            return 5;
        case jump_skill3:
            return 6;
        case jump_skill4:
            return 7;
        case landingStrip:
            return 8;
        case landing2:
            return 9;
        case landing3:
            return 10;
        case landing4:
            return 11;
        default:
            return -1;
    }
}

void CRamps::walk(bool jumps, std::vector<Ramp>& ramps) {
    CSplineManager* splines = CSplineManager::getSplineManager();
    TypeList state = obsolete;
    qzVector3d first(0.0f, 0.0f, 0.0f);
    float t = 1.0f;
    for (int step = 0;; ++step, t += 2000.0f) {
        qzVector3d p0, p1, dir;
        if (!splines->getPoint(t, CSplineManager::WayPoint, p0, dir)) return;
        if (step == kMaxSteps) {
            x_printf("ramps: the waypoint line still goes on after %d steps; the search stops there\n", step);
            return;
        }
        if (first.x == 0.0f) first = p0;
        if (!splines->getPoint(t + 2000.0f, CSplineManager::WayPoint, p1, dir)) p1 = first;
        for (int call = 0; call < kMaxCallsPerStep; ++call) {
            Ramp r{};
            const TypeList found =
                jumps ? splines->findJumpRamps(p0.x, p0.z, p1.x, p1.z, state, r.cornerX, r.cornerZ)
                      : splines->findCrashRamps(p0.x, p0.z, p1.x, p1.z, state);
            if (found == obsolete) break;
            r.pos = qzVector3d(p0.x, heightAt ? heightAt(p0.x, p0.z) : 0.0f, p0.z);
            r.wayTime = t;
            if (jumps) {
                const int sub = JumpSubType(found);
                if (sub < 0) continue;
                r.rampSubType = sub;
                r.rampType = sub >= 8 ? 1u : 0u;
            } else if (found == crash_begin) {
                r.rampType = 0;
            } else if (found == crash_end) {
                r.rampType = 1;
                const float dx = p1.x - p0.x, dz = p1.z - p0.z;
                const float len = std::sqrt(dx * dx + dz * dz);
                // A zone ending exactly on the segment's end has no direction of its own: none is kept.
                if (len > 0.0f) r.dir = qzVector3d(dx / len, 0.0f, dz / len);
            } else {
                continue;
            }
            ramps.push_back(r);
        }
    }
}

void CRamps::PairRamps(const std::vector<Ramp>& ramps, bool jumps, std::vector<RampPair>& out) {
    for (size_t i = 0; i < ramps.size(); ++i) {
        const Ramp& from = ramps[i];
        if (from.rampType != 0) continue;
        for (size_t k = i + 1; k < ramps.size(); ++k) {
            const Ramp& to = ramps[k];
            if (to.rampType != 1) continue;
            if (jumps && to.rampSubType != 8 + from.rampSubType % 4) continue;
            RampPair pair{};
            pair.takeoff = from.pos;
            pair.landing = to.pos;
            pair.wayTime = from.wayTime;
            if (jumps) {
                std::memcpy(pair.cornerX, from.cornerX, sizeof pair.cornerX);
                std::memcpy(pair.cornerZ, from.cornerZ, sizeof pair.cornerZ);
            } else {
                pair.dir = to.dir;
            }
            out.push_back(pair);
            break;
        }
    }
}

void CRamps::preProcessJumpRamps() {
    jumpRampPairSets.clear();
    std::vector<Ramp> ramps;
    walk(true, ramps);
    PairRamps(ramps, true, jumpRampPairSets);
}

void CRamps::preProcessCrashRamps() {
    crashRampPairSets.clear();
    std::vector<Ramp> ramps;
    walk(false, ramps);
    PairRamps(ramps, false, crashRampPairSets);
}

namespace {

RampPair* Nearest(std::vector<RampPair>& pairs, const qzVector3d& position) {
    RampPair* best = nullptr;
    float bestDist = 0.0f;
    for (RampPair& p : pairs) {
        const float dx = p.takeoff.x - position.x, dz = p.takeoff.z - position.z;
        const float d = dx * dx + dz * dz;
        if (!best || d < bestDist) {
            best = &p;
            bestDist = d;
        }
    }
    return best;
}

}  // namespace

RampPair* CRamps::getCrashRampPair(qzVector3d position) {
    return Nearest(crashRampPairSets, position);
}

RampPair* CRamps::getJumpRampPair(qzVector3d position) {
    RampPair* p = Nearest(jumpRampPairSets, position);
    if (!p) return nullptr;
    float minX = p->cornerX[0], maxX = minX, minZ = p->cornerZ[0], maxZ = minZ;
    for (int i = 1; i < 4; ++i) {
        minX = std::fmin(minX, p->cornerX[i]);
        maxX = std::fmax(maxX, p->cornerX[i]);
        minZ = std::fmin(minZ, p->cornerZ[i]);
        maxZ = std::fmax(maxZ, p->cornerZ[i]);
    }
    constexpr float kMargin = 1500.0f;
    const bool inside = minX - kMargin < position.x && position.x < maxX + kMargin &&
                        minZ - kMargin < position.z && position.z < maxZ + kMargin;
    return inside ? p : nullptr;
}
