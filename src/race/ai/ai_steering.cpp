// The steering modules: racing line, avoiding and blocking.
#include <cmath>

#include "race/ai/ai_modules.h"
#include "world/spline_manager.h"
#include "world/terrain_type.h"

namespace {

float Length(const qzVector3d& v) {
    return std::sqrt(v * v);
}

qzVector3d Normalised(const qzVector3d& v) {
    const float len = Length(v);
    return len > 0.0f ? v * (1.0f / len) : v;
}

// A bike turns no tighter than its speed allows: radius = speed squared / this (world units a second
// squared: 15 m/s², a little under what a bike holds on loose ground).
constexpr float kTurnGrip = 1500.0f;

// True when the point `to` (from the bike) lies inside the circle the bike can turn at its speed: riding
// on, it would circle the point instead of reaching it. A point behind needs a turn of half its distance.
bool TooFastToReach(const CAIPreCalc::basicBikeInfo& own, const qzVector3d& to) {
    const qzVector3d flat(to.x, 0.0f, to.z);
    const float d = Length(flat);
    if (d <= 0.0f) return false;
    const float ahead = flat * own.bikeFor;
    const float beside = Length(flat - own.bikeFor * ahead);
    const float sine = ahead < 0.0f ? 1.0f : beside / d;
    if (sine <= 0.0f) return false;
    const float radius = 0.5f * d / sine;  // the circle through the bike and the point, along the heading
    const qzVector3d& v = own.bikeVel;
    return v.x * v.x + v.z * v.z > kTurnGrip * radius;
}

}  // namespace

float CAISplineDM::createOrders(CAIControlPacket& order, CAIPreCalc& pre) {
    ++offPowerSlide;
    const float gs = CSplineManager::getSplineManager()->gameScale;
    const float A = 5.0f * gs, B = 2.5f * gs;
    const CAIPreCalc::basicBikeInfo& own = pre.bikeInfo;
    const CAIPreCalc::splineReturnInfo& line = pre.splineData;
    const qzVector3d toFar = line.forwardFarPos - own.bikePos;
    const float D = Length(toFar);

    if (pre.inAir()) {
        const qzVector3d& v = pre.aboveGround <= 500.0f ? line.AtVel : line.NearVel;
        order.moveVec = Normalised(v);
        order.speed = int32_t(Length(v) + 0.5f);
        return 0.05f;
    }
    const float nearLen = Length(line.NearVel);
    if (nearLen <= 0.0f) {
        order.moveVec = line.NearVel;
        order.speed = int32_t(0.5f + std::fmax(Length(line.AtVel), 10.0f));
        return 0.0f;
    }
    // Aim at the near point's direction pulled toward the far point.
    const qzVector3d w = Normalised(B > 0.0f ? line.NearVel + toFar / (0.01f * B) : line.NearVel);
    qzVector3d lateral = toFar - own.bikeFor * (own.bikeFor * toFar);
    lateral.y = 0.0f;
    const float L = Length(lateral);

    if (Length(own.bikeVel) > 0.0f) {
        const float c = std::fabs(w * own.bikeFor);
        if (c < 0.707107f && pre.difficulty >= 2 && offPowerSlide >= 61) {
            if (pre.preFlags & 0x4)
                offPowerSlide = 0;
            else
                order.aiFlags |= AI_POWERSLIDE;
        } else if (pre.terrTypeStorage == nitroOK && c > 0.95f && L < B) {
            order.aiFlags |= AI_NITRO;
        }
    }

    const float at = Length(line.AtVel);
    float s, priority;
    if (L > A - 1.0f) {
        order.aiFlags |= AI_OFF_LINE;
        order.tolerance = 0.0001f;
        s = 0.75f * at;
        priority = 2.0f + (L - A - 1.0f) / B;
    } else if (L > B) {
        const float k = 1.0f + (L - B) / B;
        order.tolerance = 0.201f - 0.1f * k;
        s = 0.875f * at;
        priority = k;
    } else {
        s = at;
        // The far point lying on the bike (D = 0) counts as straight ahead.
        const float denom = nearLen * D;
        priority = denom > 0.0f ? 1.0f - (line.NearVel * toFar) / denom : 0.0f;
    }
    if (pre.gateToTake && TooFastToReach(own, toFar)) order.aiFlags |= AI_TURN_BACK;
    order.moveVec = w;
    order.speed = int32_t(0.5f + std::fmax(s, 10.0f));
    return priority;
}

float CAIAvoidDM::createOrders(CAIControlPacket& order, CAIPreCalc& pre) {
    if (pre.inAir()) return 0.0f;
    const CAIPreCalc::basicBikeInfo& own = pre.bikeInfo;
    const float S = Length(own.bikeVel);
    if (S <= 0.0f) return -1.0f;
    const qzVector3d dir = own.bikeVel / S;
    float best = -1.0f;
    qzVector3d sideBest;
    bool first = false, later = false;

    CAIPreCalc::basicBikeInfo b;
    for (bool more = pre.firstBike(b); more; more = pre.nextBike(b)) {
        const float along = dir * b.bikeVel;
        const float W = 500.0f + std::fabs(S - along);
        qzVector3d rel = b.bikePos - own.bikePos;
        float d = Length(rel);
        // Where b's path crosses the own heading line, and who gets there first.
        const float det = dir.z * b.bikeVel.x - dir.x * b.bikeVel.z;
        if (along > 0.0f && std::fabs(det) > 0.01f) {
            const float t = (dir.x * rel.z - dir.z * rel.x) / det;
            if (t > 0.1f) {
                const float Xx = b.bikePos.x + t * b.bikeVel.x, Xz = b.bikePos.z + t * b.bikeVel.z;
                const bool alongZ = std::fabs(dir.x) <= 0.5f;
                const float ownVel = alongZ ? own.bikeVel.z : own.bikeVel.x;
                const float gap = alongZ ? Xz - own.bikePos.z : Xx - own.bikePos.x;
                // A zero velocity on the axis would never get there.
                if (ownVel != 0.0f && d > 0.0f) {
                    const float tm = gap / ownVel;
                    const float dt = std::fabs(tm - t);
                    if (dt < 800.0f / S && tm * S < d && t < 1.0f) {
                        if (tm < t) {
                            rel = rel * (S * dt / d) + dir;
                            first = true;
                        } else {
                            rel = rel * (-S * dt / d) + dir;
                            later = true;
                        }
                        d = Length(rel);
                    }
                }
            }
        }
        const float proj = rel * dir;
        float p = -1.0f;
        if (d < 0.5f * W) {
            p = 3.0f;
        } else {
            const float R = W * float(pre.difficulty + 1);
            if (std::fabs(proj) <= R)
                p = 3.0f * (R - std::fabs(proj)) / R;
            else if (0.96f * d < proj && proj < 0.5f * S)
                p = 3.0f * (0.5f * S - proj) / (0.5f * S);
        }
        if (p <= 0.0f || proj <= -200.0f) continue;
        if (std::sqrt(std::fmax(d * d - proj * proj, 0.0f)) >= 300.0f) continue;
        qzVector3d side(dir.z, 0.0f, -dir.x);
        if (side * rel > 0.0f) side = side * -1.0f;
        if (std::fabs(proj) < 300.0f) p *= 2.0f;
        if (best > 2.0f && p > 2.0f && side * sideBest < 0.0f) {
            // Serious threats on both sides: hold the line and slow down.
            order.moveVec = own.bikeFor;
            order.speed = 50;
            return 6.0f;
        }
        if (p > best) {
            best = p;
            sideBest = side;
        }
    }
    if (best <= 0.0f) return best;
    order.aiFlags |= AI_ALT_LINE;
    order.moveVec = sideBest;
    order.speed = first ? 100 : later ? 0 : int32_t(100.0f / best);
    return best;
}

float CAIBlockDM::createOrders(CAIControlPacket& order, CAIPreCalc& pre) {
    const CAIPreCalc::basicBikeInfo& own = pre.bikeInfo;
    const float S = Length(own.bikeVel);
    if (pre.inAir() || S <= 0.0f || pre.otherBikeCount <= 0) return 0.0f;
    const qzVector3d dir = own.bikeVel / S;
    const qzVector3d side(dir.z, 0.0f, -dir.x);
    CAIPreCalc::basicBikeInfo b;
    for (bool more = pre.firstBike(b); more; more = pre.nextBike(b)) {
        const qzVector3d rel = b.bikePos - own.bikePos;
        const float along = dir * b.bikeVel;
        const float diff = S - along;
        if (!(Length(rel) < 1000.0f && rel * dir < -300.0f && along > 1500.0f && diff > 0.0f &&
              diff < 500.0f))
            continue;
        const qzVector3d ahead = b.bikePos + b.bikeVel * 0.5f + Normalised(b.bikeVel) * 1000.0f;
        const qzVector3d target = ahead - own.bikePos;
        if ((side * rel) * (side * target) <= 0.0f) continue;
        order.speed = 100;
        order.moveVec = target;
        order.tolerance = 0.001f;
        return 0.004f * (500.0f - diff);
    }
    return 0.0f;
}
