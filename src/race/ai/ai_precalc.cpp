#include <cmath>

#include "bike/kinetic_bike.h"
#include "game/model/model.h"
#include "kinetic/vehicle/wheels_component.h"
#include "race/ai/ai_orders.h"
#include "world/spline_manager.h"
#include "world/terrain_type.h"

CAIBikeIter* CAIBikeIter::theBikeIter = nullptr;

CAIBikeIter* CAIBikeIter::getInstance() {
    if (!theBikeIter) theBikeIter = new CAIBikeIter();
    return theBikeIter;
}

CAIBikeIter::~CAIBikeIter() {
    if (theBikeIter == this) theBikeIter = nullptr;
}

void CAIBikeIter::addBike(KineticBike* bike) {
    if (bikeVector.size() == bikeVector.capacity())
        bikeVector.reserve(bikeVector.empty() ? 1 : bikeVector.capacity() * 2);
    bikeVector.push_back(bike);
}

KineticBike* CAIBikeIter::getFirstBike() {
    myIter = 0;
    iterGood = bikeVector.empty() ? 0 : 1;
    return iterGood ? bikeVector[0] : nullptr;
}

KineticBike* CAIBikeIter::getNextBike() {
    if (!iterGood) return getFirstBike();
    if (myIter < bikeVector.size()) ++myIter;
    return myIter < bikeVector.size() ? bikeVector[myIter] : nullptr;
}

KineticBike* AIBikeById(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return dynamic_cast<KineticBike*>(m->objects[static_cast<size_t>(id)]);
}

AIBikeFacts AIBikeFactsOf(int id) {
    AIBikeFacts f;
    if (const KineticBike* b = AIBikeById(id)) {
        f.velocity = b->linearVelocity * 100.0f;
        f.forward = b->frame.forwardDir;
        f.nitrosAvailable = b->ride.nitrosAvailable;
    }
    return f;
}

namespace {

CAIPreCalc::basicBikeInfo InfoOf(const KineticBike* b) {
    CAIPreCalc::basicBikeInfo info;
    if (!b) return info;
    info.bikePos = b->position;
    info.bikeVel = b->linearVelocity * 100.0f;
    info.bikeFor = b->frame.forwardDir;
    info.lapNum = b->laps.curLap;
    return info;
}

float Length(const qzVector3d& v) {
    return std::sqrt(v * v);
}

// Seconds until a bike in the air meets the ground: the bike's own estimate when it keeps one, else a
// fall under gravity from its height with its present vertical speed (+y is down).
template <typename Bike>
float TimeToLand(const Bike& b) {
    if constexpr (requires { b.getTimeToLand(); }) {
        return b.getTimeToLand();
    } else {
        if (b.timeToLand > 0.0f) return b.timeToLand;
        constexpr float g = 15.1074f;
        const float h = b.getDistToGround() * 0.01f;
        const float down = b.linearVelocity.y;
        if (!(h > 0.0f)) return 0.0f;
        return (-down + std::sqrt(down * down + 2.0f * g * h)) / g;
    }
}

}  // namespace

void CAIPreCalc::setBike(int id) {
    myBikeID = id;
    pModel = GetModel();
    pBike = AIBikeById(id);
    curWayTime = pBike ? pBike->laps.curWayTime : 0.0f;
    bikeInfo = InfoOf(pBike);
    terrTypeStorage = CTerrainType::getInstance()->getTypeAtPoint(bikeInfo.bikePos.x, bikeInfo.bikePos.z);
    bikeIter = CAIBikeIter::getInstance();
    aboveGround = pBike ? pBike->getDistToGround() : 0.0f;
    if (pBike && pBike->m_wheels && pBike->m_wheels->m_wheelsRadius.size() > 1)
        airHeight = 5.0f + 100.0f * pBike->m_wheels->m_wheelsRadius[1];
    if (!inAir())
        ticksToLand = 0;
    else if (ticksToLand != 0)
        --ticksToLand;
    if (pBike && pBike->air.preLoadReportState == 1) preFlags |= 0x2;
    if (pBike && pBike->ride.powerSlideBreakAway) preFlags |= 0x4;
    fillOtherBike();
    fillSplineData();
}

bool CAIPreCalc::firstBike(basicBikeInfo& out) {
    if (otherBikeCount <= 0) return false;
    curOtherBike = 0;
    out = otherBikes[0];
    return true;
}

bool CAIPreCalc::nextBike(basicBikeInfo& out) {
    ++curOtherBike;
    if (curOtherBike >= otherBikeCount) return false;
    out = otherBikes[curOtherBike];
    return true;
}

float CAIPreCalc::relBikePos(int otherId) {
    const KineticBike* other = AIBikeById(otherId);
    if (!other || !pBike) return 0.0f;
    CSplineManager* s = CSplineManager::getSplineManager();
    return (float(other->laps.curLap) + s->wayTimeToPercent(other->laps.curWayTime)) -
           (float(pBike->laps.curLap) + s->wayTimeToPercent(pBike->laps.curWayTime));
}

unsigned CAIPreCalc::getLandTime() {
    if (pBike) ticksToLand = static_cast<unsigned>(TimeToLand(*pBike) * 60.0f);
    return ticksToLand;
}

void CAIPreCalc::setBikeStability(float r) {
    struct Row {
        float behind, ahead, lo, hi;  // slope for r <= 0, slope for r > 0, clamp
    };
    static constexpr Row kRows[3] = {
        {5.0f, 5.0f, 0.5f, 2.0f}, {4.0f, 5.0f, 0.6f, 2.2f}, {1.0f, 10.0f, 0.8f, 5.0f}};
    const int d = difficulty < 1 ? 1 : difficulty > 3 ? 3 : difficulty;
    const Row& row = kRows[d - 1];
    float s = 1.0f + (r > 0.0f ? row.ahead : row.behind) * r;
    s = s < row.lo ? row.lo : s > row.hi ? row.hi : s;
    if (pBike) pBike->crash.cpuCrashScale = s;
}

void CAIPreCalc::fillOtherBike() {
    otherBikeCount = curOtherBike = 0;
    if (!bikeIter) return;
    for (KineticBike* b = bikeIter->getFirstBike(); b && otherBikeCount < kMaxOtherBikes;
         b = bikeIter->getNextBike()) {
        if (b == pBike) continue;
        otherBikes[otherBikeCount++] = InfoOf(b);
    }
}

void CAIPreCalc::fillSplineData() {
    CSplineManager* sm = CSplineManager::getSplineManager();
    using ST = CSplineManager::SplineType;
    splineReturnInfo& out = splineData;
    const float t = curWayTime;
    qzVector3d p, d;
    if (sm->getPoint(t, CSplineManager::WayPoint, p, d) &&
        CTerrainType::getInstance()->getTypeAtPoint(p.x, p.z) >= checkpoint0) {
        // A checkpoint gate: head straight for the gate's point.
        out.forwardNearPos = out.forwardFarPos = p;
        const qzVector3d v = p - bikeInfo.bikePos;
        const float len = Length(v);
        out.NearVel = len > 0.01f ? v * (80.0f / len) : d;
        out.FarVel = out.AtVel = out.NearVel;
        const unsigned gate = CTerrainType::getInstance()->getCheckPoint(p.x, p.z);
        gateToTake = pBike && gate < 255 && gate >= pBike->laps.currentCheckPoint ? 1 : 0;
        return;
    }
    ST line = difficulty == 3   ? CSplineManager::AdvOne
              : difficulty == 2 ? CSplineManager::MedOne
                                : CSplineManager::BegOne;
    if (preFlags & 0x1) line = ST(line + 1);

    auto fallback = [&] {
        out.forwardNearPos = out.forwardFarPos = bikeInfo.bikePos;
        const float len = Length(bikeInfo.bikeVel);
        out.NearVel = len > 0.0f ? bikeInfo.bikeVel * (100.0f / len) : bikeInfo.bikeVel;
        out.FarVel = out.NearVel;
    };
    qzVector3d q;
    if (!sm->getControlledPoint(t, 0.0f, line, q, out.AtVel)) {
        line = CSplineManager::WayPoint;
        if (!sm->getPoint(t, line, q, out.AtVel)) return fallback();
    }
    // Look ahead about 1000 units (horizontally) along the line.
    float L = 1000.0f, E = 1000000.0f;
    for (;;) {
        if (!sm->getControlledPoint(t, L, line, p, d)) {
            line = CSplineManager::WayPoint;
            if (!sm->getControlledPoint(t, L, line, p, d)) return fallback();
        }
        const float dx = p.x - q.x, dz = p.z - q.z;
        const float h = std::sqrt(dx * dx + dz * dz);
        const float e = std::fabs(h - 1000.0f);
        if (e >= E) break;
        E = e - 10.0f;
        float k = h > 0.0f ? 1000.0f / h : 1.25f;
        k = k < 0.75f ? 0.75f : k > 1.25f ? 1.25f : k;
        L *= k;
        if (h >= 800.0f && h <= 1200.0f) break;
    }
    out.forwardNearPos = p;
    out.NearVel = d;
    L *= 2.5f;
    if (!sm->getControlledPoint(t, L, line, out.forwardFarPos, out.FarVel)) {
        out.forwardFarPos = p;
        out.FarVel = d;
    }
}
