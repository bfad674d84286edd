#include "bike/bike_particles.h"

#include <algorithm>
#include <cmath>

#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "game/core/global_options.h"
#include "game/core/random.h"
#include "game/model/model.h"
#include "world/world_model.h"

namespace bikeparticles {

const DustTerrainRow dustTerrainTable[4] = {
    {130, 100, 60, 90, 40, 0.05f, 12, 1.0f},
    {130, 100, 60, 90, 50, 0.25f, 15, 2.0f},
    {100, 100, 100, 38, 30, 0.185f, 5, 1.0f},
    {100, 100, 100, 38, 40, 0.25f, 15, 2.0f},
};

int32_t DustDuration(int32_t loadLevel) {
    switch (loadLevel) {
        case particles::kVeryFast:
            return 40;
        case particles::kFast:
            return 30;
        default:
            return 20;
    }
}

int8_t DustAlphaStep(int32_t duration) {
    return static_cast<int8_t>(-128 / (2 * duration));
}

namespace {

// Dust (model units; speeds in m/s).
constexpr float kMaxColour = 255.0f;
constexpr float kWheelDustDrop = 15.0f;    // below the back wheel's ground height
constexpr float kDustWheelHeight = 20.0f;  // the back wheel raises dust this close to the ground
constexpr float kCornerDustDrop = 20.0f;   // below the crash body's corners
constexpr float kGrainGrowth = 10.0f;      // the puff's size over its grain
constexpr float kGrainSpread = 20.0f;      // puffs per emission: the grain give or take this, halved
constexpr float kModelUnitsPerMetre = 100.0f;
constexpr float kMaxDustSpeed = 50.0f;  // m/s counted for the dust owed
constexpr float kStepsPerSecond = 60.0f;
constexpr float kDustLift = 15.0f;    // above the ground along the bike's up
constexpr float kSideSpread = 0.33f;  // side puffs: a third of the grain either side ...
constexpr float kSideBack = 0.05f;    // ... one of them this far (m) further back

// Mud.
constexpr float kMudPitch = 15.0f;  // degrees nose up that throws mud
constexpr float kMudMaxTime = 2.0f;
constexpr float kMudGravity = 0.5f;
constexpr float kMudMinSize = 4.0f;
constexpr float kMudMaxSize = 7.0f;
constexpr float kMudFullRoll = 60.0f;  // degrees of roll throwing the mud fully sideways
constexpr float kMudMaxSpeed = 15.0f;
constexpr float kMudSpacing = 20.0f;  // model units between clods

CWorldModel* World() {
    CModel* model = CModel::modelPtr;
    if (!model || model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size())
        return nullptr;
    return dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
}

qzVector3d Unit(qzVector3d v) {
    const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return len > 0.0f ? v * (1.0f / len) : qzVector3d();
}

uint8_t Byte(float c) {
    return static_cast<uint8_t>(std::clamp(c, 0.0f, kMaxColour));
}

void Emit(const particles::QuadParticle& p) {
    if (particles::Sink* s = particles::sink()) s->emitParticle(p);
}

bool Has(uint32_t bits, uint32_t bit) {
    return (bits & (1u << bit)) != 0;
}

}  // namespace

void emitParticleTrail(KineticBike& bike) {
    if (!(gameOptions.gameOptions & kGroundParticlesOption)) return;
    const qzVector3d wheel(bike.ground.bikePos.x, bike.ground.heightAtWheel[1] - kWheelDustDrop,
                           bike.ground.bikePos.z);
    if (bike.ground.distToGround[1] < kDustWheelHeight && bike.frame.linearVelocityMag > kDustMinSpeed &&
        !bike.crash.crashMoving)
        emitDust(bike, wheel, &bike.particles.numBackDustParticles, kWheelDustRate);
    bike.crash.movingForward = !(bike.frame.forwardVelocityMag < 0.0f);
    if (bike.ground.wheelInfo[1].m_isInContact && bike.crash.movingForward && !bike.crash.crashMoving)
        emitMud(bike, wheel);
    if (!bike.crash.crashMoving) return;
    for (int i = 0; i < 4; ++i) {
        if (!bike.crash.crashCornerOnGround[i]) continue;
        const qzVector3d corner(bike.crash.crashCorner[i].x, bike.ground.heightAtWheel[1] - kCornerDustDrop,
                                bike.crash.crashCorner[i].z);
        emitDust(bike, corner, &bike.particles.numBackDustParticles, kCrashDustRate);
    }
}

void emitDust(KineticBike& bike, qzVector3d pos, float* owed, float rate) {
    const DustTerrainRow& row = dustTerrainTable[0];
    const float grain = static_cast<float>(row.grain);

    // Colour of the ground under the back wheel's hub, snapped at a landing and filtered otherwise.
    const qzVector3d hub = bike.position + bike.frame.upDir * bike.getBackWheelSuspensionCompression();
    CWorldModel* world = World();
    const qzVector3d ground = world ? world->getLocationPixelColor(hub) : qzVector3d();
    CFilter* filter[3] = {&bike.particles.particalFilterR, &bike.particles.particalFilterG,
                          &bike.particles.particalFilterB};
    const float channel[3] = {ground.x, ground.y, ground.z};
    float colour[3];
    const bool landed = Has(bike.status.flags, BIKE_LAND);
    for (int k = 0; k < 3; ++k) {
        if (landed) {
            filter[k]->lo0 = channel[k];
            filter[k]->lo1 = 0.0f;
            colour[k] = channel[k];
        } else {
            colour[k] = filter[k]->step(channel[k]);
        }
    }

    particles::QuadParticle p;
    p.type = particles::kQuadParticle;
    p.flags = kDustFlags;
    p.texID = bike.particles.dustTexID;
    p.color = {Byte(colour[0]), Byte(colour[1]), Byte(colour[2]), 128};
    p.size = qzVector3d(grain + kGrainGrowth, 0.0f, grain + kGrainGrowth);
    p.expand = row.expand;
    p.duration = DustDuration(particles::loadLevel());
    p.colorRate.a = DustAlphaStep(p.duration);

    const int n = static_cast<int>(GetRandomNumber(grain - kGrainSpread, grain + kGrainSpread)) / 2;
    const float spacing = rate * static_cast<float>(n);
    *owed = (*owed + kModelUnitsPerMetre * std::min(bike.frame.linearVelocityMag, kMaxDustSpeed) /
                         kStepsPerSecond / spacing) *
            row.multiplier;

    const qzVector3d base = pos + bike.frame.upDir * kDustLift;
    const qzVector3d trail = Unit(bike.linearVelocity) * -spacing;
    const float g = grain / kModelUnitsPerMetre, s = spacing / kModelUnitsPerMetre;
    const qzVector3d o1 = (bike.frame.fRightDir * (kSideSpread * g) + bike.frame.fForwardDir * (0.5f * s)) *
                          kModelUnitsPerMetre;
    const qzVector3d o2 =
        (bike.frame.fRightDir * (-kSideSpread * g) + bike.frame.fForwardDir * (0.5f * s - kSideBack)) *
        kModelUnitsPerMetre;
    while (*owed >= 1.0f) {
        const qzVector3d q = base + trail * *owed;
        for (const qzVector3d& at : {q, q + o1, q + o2}) {
            p.pos = at;
            Emit(p);
        }
        *owed -= 1.0f;
    }
}

void emitMud(KineticBike& bike, qzVector3d pos) {
    if (!bike.isCPU || particles::loadLevel() >= particles::kSlow) return;
    const uint32_t slides = (1u << BIKE_POWERSLIDE_LEFT) | (1u << BIKE_POWERSLIDE_RIGHT);
    const uint32_t turns = (1u << BIKEACTION_RIGHT_TURN) | (1u << BIKEACTION_LEFT_TURN);
    const bool throwing = (bike.status.flags & slides) || (bike.input.bikePacket & turns) ||
                          Has(bike.status.flags, BIKE_LAND) || bike.ground.bikePitch > kMudPitch ||
                          bike.ride.throttleWheelie;
    if (!throwing) return;
    if (std::min(bike.frame.linearVelocityMag, kMaxDustSpeed) < kMudMinSpeed) return;
    bike.particles.numMudParticles = 1.0f;

    particles::QuadParticle p;
    p.type = particles::kQuadParticle;
    p.flags = kMudFlags;
    p.duration = 40;
    p.time = GetRandomNumber(0.0f, kMudMaxTime);
    p.gravity = kMudGravity;
    p.texID = bike.particles.mudTexID;
    p.color = {0, 0, 0, 128};
    const float k = static_cast<float>(static_cast<int>(GetRandomNumber(kMudMinSize, kMudMaxSize)));
    p.size = qzVector3d(k, 0.0f, k);
    p.expand = 0.0f;
    const qzVector3d d =
        Unit(bike.frame.fRightDir * (2.0f * std::clamp(bike.ground.bikeRoll / kMudFullRoll, -1.0f, 1.0f)) +
             bike.frame.fUpDir);
    p.vel = d * GetRandomNumber(0.0f, kMudMaxSpeed);
    p.colorRate.a = static_cast<int8_t>(-128 / 40);

    const qzVector3d back = Unit(bike.linearVelocity);
    while (bike.particles.numMudParticles >= 1.0f) {
        p.pos = pos - back * (kMudSpacing * bike.particles.numMudParticles);
        Emit(p);
        bike.particles.numMudParticles -= 1.0f;
    }
}

}  // namespace bikeparticles
