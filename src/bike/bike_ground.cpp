// Heights of the bike over the terrain: the wheels' lowest points while riding, and the eight corners of
// a box around the wreck while it crashes.
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "game/model/model.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/world_model.h"

namespace {

// The race's world model, or null while the model has none.
CWorldModel* worldModel() {
    CModel* model = GetModel();
    if (model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size()) return nullptr;
    return dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
}

float minOf(float a, float b) {
    return a < b ? a : b;
}
float maxOf(float a, float b) {
    return a > b ? a : b;
}

// A wheel in contact standing this far above the terrain rides on a track object.
constexpr float kOnObjectHeight = 75.0f;
// The crash box: its centre ahead of the bike's origin and above it, the half height and half width.
constexpr float kCrashBoxInset = 10.0f;
constexpr float kCrashBoxLift = 30.0f;
constexpr float kCrashBoxHalfHeight = 60.0f;
constexpr float kCrashBoxHalfWidth = 29.0f;
// Below this speed (m/s, 3.33 km/h) the wreck has stopped moving.
constexpr float kCrashMovingSpeed = 0.925926f;
constexpr float kModelUnitsPerMetre = 100.0f;
constexpr float kRestingSide = 0.25f;  // |normal . up| of a crash box face the wreck can rest on

}  // namespace

void KineticBike::measureWheelHeights(bool withNormals) {
    CWorldModel* world = worldModel();
    const float r = m_wheels ? kModelUnitsPerMetre * m_wheels->m_wheelsRadius[1] : 0.0f;
    if (withNormals) ground.drivingOnObject = 0;
    for (int i = 0; i < 2; ++i) {
        float h = 0.0f;
        if (world) {
            if (withNormals) {
                world->getHeightAndNormalAt(ground.wheelPos[i].x, ground.wheelPos[i].z, h,
                                            ground.wheelNormVec[i]);
                ground.heightAtWheel[i] = h;
            } else {
                h = world->getHeightAt(ground.wheelPos[i].x, ground.wheelPos[i].z);
            }
        }
        const float d = h - (ground.wheelPos[i].y + r);
        const bool contact = ground.wheelInfo[i].m_isInContact;
        if (withNormals && contact && d > kOnObjectHeight) ground.drivingOnObject = 1;
        ground.distToGroundLevel[i] = contact && d > 0.0f ? 0.0f : d;
        ground.distToGround[i] = ground.distToGroundLevel[i] > 0.0f ? ground.distToGroundLevel[i] : 0.0f;
    }
    ground.minDistToGroundLevel = minOf(ground.distToGroundLevel[0], ground.distToGroundLevel[1]);
    ground.maxDistToGroundLevel = maxOf(ground.distToGroundLevel[0], ground.distToGroundLevel[1]);
    ground.minDistToGround = ground.wheelInfo[0].m_isInContact || ground.wheelInfo[1].m_isInContact
                                 ? 0.0f
                                 : minOf(ground.distToGround[0], ground.distToGround[1]);
}

void KineticBike::findDistancesToGround() {
    measureWheelHeights(false);
}

void KineticBike::crashFindDistancesToGround() {
    if (crash.crashState == 0 || crash.crashState == 1) {
        crash.crashOnGround = crash.crashMoving = 0;
        return;
    }
    const qzVector3d C =
        ground.bikePos + frame.forwardDir * (0.5f * wheelBase - kCrashBoxInset) + frame.upDir * kCrashBoxLift;
    const qzVector3d F = frame.forwardDir * (0.5f * bikeLength - kCrashBoxInset);
    const qzVector3d U = frame.upDir * kCrashBoxHalfHeight;
    const qzVector3d S = frame.rightDir * kCrashBoxHalfWidth;
    // Corners 0..3 on the +up side, 4..7 below them.
    const qzVector3d corner[8] = {C + U + F + S, C + U - F + S, C + U - F - S, C + U + F - S,
                                  C - U + F + S, C - U - F + S, C - U - F - S, C - U + F - S};
    CWorldModel* world = worldModel();
    float dist[8];
    qzVector3d normal[8];
    for (int k = 0; k < 8; ++k) {
        float h = 0.0f;
        normal[k] = qzVector3d(0.0f, -1.0f, 0.0f);
        if (world) world->getHeightAndNormalAt(corner[k].x, corner[k].z, h, normal[k]);
        dist[k] = h - corner[k].y;
    }
    int slot[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int i = 0; i < 7; ++i)
        for (int j = i + 1; j < 8; ++j)
            if (dist[slot[j]] < dist[slot[i]]) {
                const int t = slot[i];
                slot[i] = slot[j];
                slot[j] = t;
            }
    crash.crashDistToGround = dist[slot[0]];
    // On its side: a top corner among the four lowest, on ground that stands across the bike's up axis.
    reset.validCrashRestPos = 0;
    for (int j = 0; j < 4; ++j) {
        if (slot[j] > 3) continue;
        reset.validCrashRestPos = x_fabs(normal[slot[j]] * frame.upDir) < kRestingSide;
        break;
    }
    for (int j = 0; j < 8; ++j) {
        crash.crashCorner[j] = corner[slot[j]];
        crash.cornerNormal[j] = normal[slot[j]];
        crash.crashCornerOnGround[j] = crash.crashCornerDistToGround[j] < 0.0f;
        crash.crashCornerDistToGround[j] = dist[slot[j]];
    }
    crash.crashOnGround = crash.crashDistToGround < 0.0f;
    crash.crashMoving = frame.linearVelocityMag > kCrashMovingSpeed;
}
