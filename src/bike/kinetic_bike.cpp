#include "bike/kinetic_bike.h"

#include <optional>

#include "bike/components/bands.h"
#include "bike/components/bike_aerodynamics.h"
#include "bike/components/bike_brake.h"
#include "bike/components/bike_driver_input.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/components/bike_suspension.h"
#include "bike/components/bike_transmission.h"
#include "engine/sys/files.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/files/collision_storage.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/packet.h"
#include "kinetic/collide/collision_detector.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/collision_event.h"
#include "kinetic/dynamics/collision_event_filter.h"
#include "kinetic/dynamics/fast_constraint_solver.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/rr_resolver.h"
#include "kinetic/dynamics/subspace.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/chassis_component.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "kinetic/vehicle/wheels_component.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/trigger_riders.h"
#include "world/world_model.h"

const unsigned int KineticBike::bikeCollisionGroups[kMaxRacers] = {7, 9, 11, 13, 15, 17, 19, 21};
const unsigned int KineticBike::riderCollisionGroups[kMaxRacers] = {8, 10, 12, 14, 16, 18, 20, 22};
unsigned int KineticBike::numOfTotalRacers = 1;
KineticBike* KineticBike::racers[kMaxRacers] = {};
void (*KineticBike::cameraModeHook)(int, int) = nullptr;
void (*KineticBike::cameraTeleportHook)(int) = nullptr;
uint8_t KineticBike::finishSetBack = 0;

namespace {

// The terrain y (world units) at (x, z) from the model's world model; false when it has none.
bool worldHeightAt(float x, float z, float* height) {
    CModel* model = GetModel();
    if (model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size()) return false;
    auto* world = dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
    if (!world) return false;
    *height = world->getHeightAt(x, z);
    return true;
}

// The filters' coefficients, exact to six places (the engine's table sine is off in the third).
constexpr float kSinPi10 = 0.309017f;  // sin(pi / 10)
constexpr float kSinPi16 = 0.195090f;  // sin(pi / 16)
constexpr float kSinPi20 = 0.156434f;  // sin(pi / 20)
constexpr float kSinPi30 = 0.104528f;  // sin(pi / 30)

constexpr float kModelUnitsPerMetre = 100.0f;  // model units per physics unit
constexpr float kMetresPerModelUnit = 0.01f;

// Tuning by level (level 1 first). Speeds are in the attributes' units (2.16 to the m/s).
constexpr float kTopSpeed[3] = {68.0f, 70.0f, 72.0f};
constexpr float kExtraSpeed = 30.0f;          // nitro and computer racers above the top speed
constexpr float kOpenTrackExtraSpeed = 5.0f;  // baja and freestyle
constexpr float kOpenTrackStabilityLoss = 2.0f;
struct Turbo {
    unsigned minVel, maxVel;
    float scale;
};
constexpr Turbo kTurbo[3][3] = {
    {{0, 40, 2.0f}, {40, 55, 1.0f}, {55, 75, 1.0f}},
    {{0, 20, 1.0f}, {20, 60, 2.0f}, {60, 75, 1.0f}},
    {{0, 30, 1.0f}, {30, 55, 0.9f}, {55, 75, 1.5f}},
};
constexpr float kLandingRecovery[3][2] = {{0.75f, 0.9f}, {0.87f, 0.95f}, {1.0f, 1.0f}};  // jumps, whoops
constexpr float kCornering[5] = {0.75f, 0.875f, 1.0f, 1.125f, 1.25f};
constexpr float kJumping[5][2] = {{8, 20}, {8, 40}, {8, 60}, {12, 80}, {16, 100}};  // tolerance, percent
constexpr float kStability[7][3] = {  // stability, change-in-velocity scale, delta-speed tolerance
    {0.8f, 12, 25}, {0.9f, 11, 30}, {1.0f, 10, 35}, {1.1f, 9, 40},
    {1.2f, 8, 45},  {1.5f, 7, 50},  {1.7f, 6, 55}};
constexpr float kStunt[5] = {1.2f, 1.1f, 1.0f, 0.9f, 0.8f};

constexpr float kThrottlePerPercent = 0.01f;  // a computer racer's throttle byte is a percentage
constexpr float kValidJump2 = 25000000.0f;    // 5000 model units, squared: a longer step is refused
constexpr float kStartAboveGround = 75.0f;    // model units

// The bike's bodies are the model orientation followed by a quarter turn about x.
Kinetic::Quaternion quarterTurnX() {
    const float a = 0.7853982f;
    return Kinetic::Quaternion(x_cos(a), x_sin(a), 0.0f, 0.0f);
}

qzVector3d toModel(const Kinetic::Vector3& v) {
    return qzVector3d(v.x, v.y, v.z);
}

void dropMotion(Kinetic::RigidBody* b) {
    b->setPinned(true);
    b->setActive(false, true);
    b->setPinned(false);
    b->setActive(true, true);
}

// The collision data a description names at `slot`, or null (logged when the id names nothing).
CKineticCollide* collisionAt(const CObjectDescription* d, size_t slot) {
    if (!d || slot >= d->collisionIdList.size()) return nullptr;
    const int id = d->collisionIdList[slot];
    if (id == -1) return nullptr;
    CKineticCollide* c = CResourceStorage<CKineticCollide>::instance().get(id);
    if (!c) x_printf("KineticBike: collision id %d names no collision data\n", id);
    return c;
}

// The turn amount of a parameter byte: a dead zone below 51, then 91 to 255.
constexpr float kTurnAmountBase = 50.0f;
constexpr float kTurnAmountPerByte = 0.8039216f;  // 205 / 255
int32_t turnAmount(uint8_t b) {
    return b < 51 ? 0 : static_cast<int32_t>(kTurnAmountBase + kTurnAmountPerByte * static_cast<float>(b));
}

// The bikes as the track's triggers see them (world/objects/trigger_riders.h).
class BikeRiders : public triggers::Riders {
public:
    CStats* statsOf(CModelObject* object) override {
        auto* bike = dynamic_cast<KineticBike*>(object);
        return bike ? &bike->bikeStats : nullptr;
    }
    void raiseBonusPickup(CModelObject* object) override {
        if (auto* bike = dynamic_cast<KineticBike*>(object)) bike->status.flags |= 1u << BIKE_BONUS_PICKUP;
    }
};

BikeRiders bikeRiders;

}  // namespace

KineticBike::KineticBike(int descriptionId) : KineticVehicleObject(descriptionId) {
    bikeStats.bike = this;
    triggers::setRiders(&bikeRiders);
}

KineticBike* KineticBike::create(int descriptionId, int cameraId, Kinetic::RigidCollection* rc,
                                 unsigned int isCPU, unsigned int bikeIndex) {
    if (bikeIndex >= kMaxRacers || numOfTotalRacers > kMaxRacers) {
        x_printf("KineticBike: racer %u of %u refused (at most %u racers)\n", bikeIndex, numOfTotalRacers,
                 kMaxRacers);
        return nullptr;
    }
    return new KineticBike(descriptionId, cameraId, rc, isCPU, bikeIndex);
}

KineticBike::KineticBike(int descriptionId, int cameraIdArg, Kinetic::RigidCollection* rcArg,
                         unsigned int isCPUArg, unsigned int bikeIndexArg)
    : KineticVehicleObject(descriptionId) {
    bikeStats.bike = this;
    triggers::setRiders(&bikeRiders);
    isCPU = isCPUArg != 0;
    laps.isOffTrack = 0;
    rc = rcArg;
    bikeIndex = bikeIndexArg;
    cameraId = cameraIdArg;
    if (bikeIndex < kMaxRacers) {
        bikeCollisionGroup = bikeCollisionGroups[bikeIndex];
        riderCollisionGroup = riderCollisionGroups[bikeIndex];
    } else {
        x_printf("KineticBike: racer index %u out of range, no collision groups\n", bikeIndex);
    }
    crash.collidedCounter = 40;
    buildPhysics(physicsSetup, descriptionId, isCPUArg);
    if (bikeIndex < kMaxRacers) racers[bikeIndex] = this;
}

const BikePhysicsSetup KineticBike::physicsSetup = {
    .primitiveMass = 100.0f,
    .primitiveRestitution = 0.25f,
    .primitiveFriction = 1.0f,
    .chassisDisplayOffset = Kinetic::Vector3(0.0f, 0.7f, 0.6f),
    .chassisFriction = 0.0f,
    .chassisRestitution = 0.0f,
    .centreOfMassShift = Kinetic::Vector3(0.0f, 0.05f, -0.5f),
    .crashBodyMass = 1500.0f,
    .crashBodyVolume = 20000.0f,
    .crashBodyRestitution = 0.0f,
    .wheelBodyMass = 10.0f,
    .wheelCollisionGroups = 0x20,
    .wheelRadius = {0.36f, 0.36f},
    .wheelWidth = {0.2f, 0.2f},
    .wheelFriction = {8.1f, 8.1f},
    .wheelViscosityFriction = {0.0f, 0.0f},
    .chassisMass = 1500.0f,
    .maxSteeringAngle = 0.5235988f,
    .maxSpeedFullSteeringAngle = 20000.0f,
    .wheelSteers = {true, false},
    .minRPM = 1000.0f,
    .optRPM = 6500.0f,
    .maxRPM = 8000.0f,
    .engineTorque = 1500.0f,
    .torqueFactorAtMinRPM = 1.0f,
    .torqueFactorAtMaxRPM = 1.0f,
    .resistanceFactorAtMinRPM = 0.2f,
    .resistanceFactorAtOptRPM = 0.45f,
    .resistanceFactorAtMaxRPM = 0.65f,
    .powerBand = {{0, 0}, {1000, 2600}, {9000, 2600}, {10000, 0}},
    .speedBandStep = 10,
    .speedBandBoost = {3.0f, 1.8f, 1.6f, 1.4f, 1.2f, 1.0f, 0.8f, 0.5f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    .downshiftRPM = 3500.0f,
    .upshiftRPM = 6550.0f,
    .primaryTransmissionRatio = 2.4f,
    .clutchDelayTime = 0.0f,
    .reverseGearRatio = 3.5f,
    .gearRatio = {2.0f, 1.5f, 1.0f, 0.75f},
    .wheelTorqueRatio = {0.0f, 0.5f},
    .maxBrakingTorque = {8000.0f, 8000.0f},
    .minPedalInputToBlock = {0.9f, 0.9f},
    .minTimeToBlock = {10.5f, 10.5f},
    .wheelOnHandbrake = {true, false},
    .wheelHardpoint = {Kinetic::Vector3(0.0f, 0.84f, 0.14f), Kinetic::Vector3(0.0f, -0.84f, 0.14f)},
    .wheelDirection = {Kinetic::Vector3(0.0f, 0.0f, -1.0f), Kinetic::Vector3(0.0f, 0.0f, -1.0f)},
    .suspensionLength = {0.4f, 0.4f},
    .suspensionStrength = {120.0f, 120.0f},
    .dampingCompression = {30.0f, 30.0f},
    .dampingRelaxation = {25.0f, 25.0f},
    .airDensity = 0.15f,
    .frontalArea = 4.0f,
    .dragCoefficient = 0.55f,
    .liftCoefficient = 0.0f,
    .frictionEqualizer = 0.5f,
    .torqueRollFactor = 1.0f,
    .torquePitchFactor = 1.0f,
    .torqueYawFactor = 1.0f,
    .extraTorqueFactor = 0.0f,
    .extraAngularImpulseFactor = 0.0f,
    .chassisUnitInertiaYaw = 0.5f,
    .chassisUnitInertiaRoll = 0.5f,
    .chassisUnitInertiaPitch = 0.5f,
    .leanSetUpTau = 0.075f,
    .leanAxisUp = Kinetic::Vector3(0.0f, -1.0f, 0.0f),
    .leanAxisDir0 = Kinetic::Vector3(0.0f, 1.0f, 0.0f),
    .leanAxisDir1 = Kinetic::Vector3(1.0f, 0.0f, 0.0f),
    .leanDeactivationThreshold = 0.0f,
    .leanTau = 0.5f,
    .leanAngle = 0.0f,
    .leanStrength = 1.0f,
    .ridingMinRPM = 2000.0f,
    .ridingMaxRPM = 8000.0f,
    .wheelRPMScale = 40.0f,
    .ridingPowerBand = {{1000, 3000}, {9000, 3000}},
};

// The parameter blocks the components and the vehicle are built from, each made where its component is
// built and all kept until the whole construction is done (then freed last to first), so that the
// engine heap sees the construction's allocations and frees in one fixed order.
struct BikeBlueprints {
    std::optional<Kinetic::knDefaultWheelsBP> wheels;
    std::optional<Kinetic::knDefaultChassisBP> chassis;
    std::optional<Kinetic::knDefaultSteeringBP> steering;
    std::optional<Kinetic::knDefaultEngineBP> engine;
    std::optional<Kinetic::knDefaultTransmissionBP> transmission;
    std::optional<Kinetic::knDefaultBrakeBP> brake;
    std::optional<Kinetic::knDefaultSuspensionBP> suspension;
    std::optional<Kinetic::knDefaultAerodynamicsBP> aerodynamics;
    std::optional<Kinetic::knRaycastVehicleBP> vehicle;
};

void KineticBike::buildPhysics(const BikePhysicsSetup& setup, int descriptionId, unsigned int cpu) {
    BikeBlueprints bp;
    createBodies(setup, descriptionId);
    buildComponents(setup, bp);
    buildVehicle(setup, bp);
    initialiseRidingState(setup, cpu);
}

void KineticBike::createBodies(const BikePhysicsSetup& setup, int descriptionId) {
    using namespace Kinetic;
    const CObjectDescription* desc = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!desc) x_printf("KineticBike: description %d not loaded, bodies without shapes\n", descriptionId);
    CKineticCollide* chassisShape = collisionAt(desc, 0);
    CKineticCollide* wheelShape = collisionAt(desc, 1);
    CKineticCollide* crashShape = collisionAt(desc, 2);

    chassis = std::make_unique<RigidBody>();
    frontWheel = std::make_unique<RigidBody>();
    backWheel = std::make_unique<RigidBody>();
    crashBike = std::make_unique<RigidBody>();
    for (RigidBody* b : {chassis.get(), frontWheel.get(), backWheel.get(), crashBike.get()})
        b->m_userInfo = this;
    const float mass = setup.primitiveMass, restitution = setup.primitiveRestitution;
    const float friction = setup.primitiveFriction;
    if (crashShape) crashShape->addCollisionToRigidBody(crashBike.get(), mass, restitution, friction);
    if (wheelShape) {
        wheelShape->addCollisionToRigidBody(frontWheel.get(), mass, restitution, friction);
        wheelShape->addCollisionToRigidBody(backWheel.get(), mass, restitution, friction);
    }
    if (chassisShape) chassisShape->addCollisionToRigidBody(chassis.get(), mass, restitution, friction);

    chassis->m_local_to_display_translation = setup.chassisDisplayOffset;
    chassis->m_friction = setup.chassisFriction;
    chassis->m_restitution = setup.chassisRestitution;
    for (RigidBody* b : {frontWheel.get(), backWheel.get(), crashBike.get()}) b->setPinned(true);
    crashBike->setActive(false, true);
    crashBike->setMass(setup.crashBodyMass);
    crashBike->m_volume = setup.crashBodyVolume;
    crashBike->m_restitution = setup.crashBodyRestitution;
    frontWheel->setMass(setup.wheelBodyMass);
    backWheel->setMass(setup.wheelBodyMass);

    const uint32_t bikeMask = bikeCollisionGroup ? 1u << (bikeCollisionGroup - 1) : 0u;
    for (RigidBody* b : {chassis.get(), crashBike.get()})
        for (Primitive* p : b->getPrimitives()) p->m_collisionGroups = bikeMask;
    for (RigidBody* b : {frontWheel.get(), backWheel.get()})
        if (!b->getPrimitives().empty())
            b->getPrimitives()[0]->m_collisionGroups = setup.wheelCollisionGroups;
}

void KineticBike::buildComponents(const BikePhysicsSetup& setup, BikeBlueprints& bp) {
    using namespace Kinetic;
    const BikePhysicsSetup& s = setup;
    knDefaultWheelsBP& wbp = bp.wheels.emplace(2);
    wbp.m_wheelsAxle = {0, 1};
    wbp.m_wheelsRadius = {s.wheelRadius[0], s.wheelRadius[1]};
    wbp.m_wheelsWidth = {s.wheelWidth[0], s.wheelWidth[1]};
    wbp.m_wheelsFriction = {s.wheelFriction[0], s.wheelFriction[1]};
    wbp.m_wheelsViscosityFriction = {s.wheelViscosityFriction[0], s.wheelViscosityFriction[1]};
    wbp.m_wheelsRigidBody = {frontWheel.get(), backWheel.get()};
    m_wheels = new DefaultWheels(wbp);

    knDefaultChassisBP& cbp = bp.chassis.emplace();
    cbp.m_coordinateSystem = CCS_Z_UP_X_RIGHT;
    cbp.m_mass = s.chassisMass;
    m_chassis = new DefaultChassis(cbp);

    knDefaultSteeringBP& sbp = bp.steering.emplace(2);
    sbp.m_maxSteeringAngle = s.maxSteeringAngle;
    sbp.m_maxSpeedFullSteeringAngle = s.maxSpeedFullSteeringAngle;
    sbp.m_wheelsDoesSteer = {s.wheelSteers[0], s.wheelSteers[1]};
    m_steering = new CBikeSteering(sbp);

    buildEngine(setup, bp);

    knDefaultTransmissionBP& tbp = bp.transmission.emplace(2, 4);
    tbp.m_downshiftRPM = s.downshiftRPM;
    tbp.m_upshiftRPM = s.upshiftRPM;
    tbp.m_primaryTransmissionRatio = s.primaryTransmissionRatio;
    tbp.m_clutchDelayTime = s.clutchDelayTime;
    tbp.m_reverseGearRatio = s.reverseGearRatio;
    tbp.m_gearsRatio = {s.gearRatio[0], s.gearRatio[1], s.gearRatio[2], s.gearRatio[3]};
    tbp.m_wheelsTorqueRatio = {s.wheelTorqueRatio[0], s.wheelTorqueRatio[1]};
    m_transmission = new CBikeTransmission(tbp);

    knDefaultBrakeBP& bbp = bp.brake.emplace(2);
    bbp.m_wheelsMaxBrakingTorque = {s.maxBrakingTorque[0], s.maxBrakingTorque[1]};
    bbp.m_wheelsMinPedalInputToBlock = {s.minPedalInputToBlock[0], s.minPedalInputToBlock[1]};
    bbp.m_wheelsMinTimeToBlock = {s.minTimeToBlock[0], s.minTimeToBlock[1]};
    bbp.m_wheelsIsConnectedToHandbrake = {s.wheelOnHandbrake[0], s.wheelOnHandbrake[1]};
    m_brakes = new CBikeBrake(bbp);
    buildRideComponents(setup, bp);
}

// The centre of mass, the suspension, the aerodynamics and the driver input.
void KineticBike::buildRideComponents(const BikePhysicsSetup& setup, BikeBlueprints& bp) {
    using namespace Kinetic;
    const BikePhysicsSetup& s = setup;
    chassis->shiftCentreOfMass(s.centreOfMassShift);

    knDefaultSuspensionBP& spbp = bp.suspension.emplace(2);
    spbp.m_wheelsHardpointCS = {s.wheelHardpoint[0], s.wheelHardpoint[1]};
    spbp.m_wheelsDirectionCS = {s.wheelDirection[0], s.wheelDirection[1]};
    spbp.m_wheelsLength = {s.suspensionLength[0], s.suspensionLength[1]};
    spbp.m_wheelsStrength = {s.suspensionStrength[0], s.suspensionStrength[1]};
    spbp.m_wheelsDampingCompression = {s.dampingCompression[0], s.dampingCompression[1]};
    spbp.m_wheelsDampingRelaxation = {s.dampingRelaxation[0], s.dampingRelaxation[1]};
    m_suspension = new CBikeSuspension(spbp);

    knDefaultAerodynamicsBP& abp = bp.aerodynamics.emplace();
    abp.m_airDensity = s.airDensity;
    abp.m_frontalArea = s.frontalArea;
    abp.m_dragCoefficient = s.dragCoefficient;
    abp.m_liftCoefficient = s.liftCoefficient;
    m_aerodynamics = new CBikeAerodynamics(abp);
    m_input = new CBikeDriverInput();
}

void KineticBike::buildEngine(const BikePhysicsSetup& s, BikeBlueprints& bp) {
    using namespace Kinetic;
    knDefaultEngineBP& ebp = bp.engine.emplace();
    ebp.m_minRPM = s.minRPM;
    ebp.m_optRPM = s.optRPM;
    ebp.m_maxRPM = s.maxRPM;
    ebp.m_torque = s.engineTorque;
    ebp.m_torqueFactorAtMinRPM = s.torqueFactorAtMinRPM;
    ebp.m_torqueFactorAtMaxRPM = s.torqueFactorAtMaxRPM;
    ebp.m_resistanceFactorAtMinRPM = s.resistanceFactorAtMinRPM;
    ebp.m_resistanceFactorAtOptRPM = s.resistanceFactorAtOptRPM;
    ebp.m_resistanceFactorAtMaxRPM = s.resistanceFactorAtMaxRPM;
    auto power = std::make_unique<CPowerBands>();
    bikePowerBand = power.get();
    for (const BikePhysicsSetup::BandPoint& p : s.powerBand) bikePowerBand->setTorque(p.rpm, p.torque);
    auto speed = std::make_unique<CSpeedBands>();
    bikeSpeedBand = speed.get();
    for (unsigned i = 0; i < 14; ++i) bikeSpeedBand->setBoost(s.speedBandStep * i, s.speedBandBoost[i]);
    // The engine owns the bands from here on; the bike keeps links to them.
    m_engine = new CBikeEngine(ebp, std::move(power), std::move(speed));
}

void KineticBike::buildVehicle(const BikePhysicsSetup& s, BikeBlueprints& bp) {
    using namespace Kinetic;
    knRaycastVehicleBP& vbp = bp.vehicle.emplace(0);
    vbp.m_chassis = m_chassis;
    vbp.m_wheels = m_wheels;
    vbp.m_driverInput = m_input;
    vbp.m_steering = m_steering;
    vbp.m_engine = m_engine;
    vbp.m_transmission = m_transmission;
    vbp.m_brake = m_brakes;
    vbp.m_aerodynamics = m_aerodynamics;
    vbp.m_suspension = m_suspension;
    vbp.m_chassisRigidBody = chassis.get();
    vbp.m_intersectionSolver = &GetIntersection()->m_raycaster;
    vbp.m_frictionEqualizer = s.frictionEqualizer;
    vbp.m_torqueRollFactor = s.torqueRollFactor;
    vbp.m_torquePitchFactor = s.torquePitchFactor;
    vbp.m_torqueYawFactor = s.torqueYawFactor;
    vbp.m_extraTorqueFactor = s.extraTorqueFactor;
    vbp.m_extraAngularImpulseFactor = s.extraAngularImpulseFactor;
    vbp.m_chassisUnitInertiaYaw = s.chassisUnitInertiaYaw;
    vbp.m_chassisUnitInertiaRoll = s.chassisUnitInertiaRoll;
    vbp.m_chassisUnitInertiaPitch = s.chassisUnitInertiaPitch;

    constraint = std::make_unique<AngularConstraint1D>(chassis.get());
    constraint->m_tau = s.leanSetUpTau;
    constraint->setAxis(s.leanAxisUp, s.leanAxisDir0, s.leanAxisDir1);
    csolver = std::make_unique<FastConstraintSolver>();
    csolver->addConstraint(constraint.get());
    if (rc) rc->addAction(csolver.get(), 0);
    csolver->setDeactivationThreshold(s.leanDeactivationThreshold);
    constraint->m_tau = s.leanTau;
    constraint->setAngle(s.leanAngle);
    constraint->m_strength = s.leanStrength;

    vehicle = std::make_unique<RaycastVehicle>(vbp);
}

void KineticBike::initialiseRidingState(const BikePhysicsSetup& s, unsigned int cpu) {
    using namespace Kinetic;
    particles.dustCloudCounter = 0;
    ride.comShiftState = ride.lastComShiftState = 0;
    centerOfMass = qzVector3d();
    ride.terrainMaxSpeedPenalty = 0.0f;
    auto* transmission = static_cast<CBikeTransmission*>(m_transmission);
    transmission->setMinRPM(s.ridingMinRPM);
    transmission->setMaxRPM(s.ridingMaxRPM);
    transmission->setWheelRPMScale(s.wheelRPMScale);
    for (const BikePhysicsSetup::BandPoint& p : s.ridingPowerBand) bikePowerBand->setTorque(p.rpm, p.torque);

    getBaseVectors();
    frame.lastForwardDir = frame.forwardDir;
    frame.lastUpDir = frame.upDir;
    frame.lastRightDir = frame.rightDir;
    cameraLookAtPos = toModel(chassis->m_position) * kModelUnitsPerMetre;
    ground.wheelInfo[0].m_spinVelocity = ground.wheelInfo[1].m_spinVelocity = 0.0f;
    dropMotion(chassis.get());

    const float fast = kSinPi10, slow = kSinPi20;
    for (CFilter* f : {&ride.filterSAV, &lean.leanFilter, &ride.frictionFilter[0], &ride.frictionFilter[1]})
        *f = CFilter{fast};
    ride.speedometerFilter = CFilter{slow};
    air.jumpConsistencyExtraGravityFilter = CFilter{kSinPi16};
    ride.maxSpeedFilter = CFilter{cpu ? slow : fast};
    for (CFilter* f : {&particles.particalFilterR, &particles.particalFilterG, &particles.particalFilterB})
        *f = CFilter{kSinPi30};

    input.bikePacket = 0;
    input.suspendBikePacket = 0;
    wheelBase = bikeLength = 0.0f;
    for (int i = 0; i < 30; ++i) {
        reset.safePos[i] = position;
        reset.safeDir[i] = frame.forwardDir;
    }
    ride.startBoostCounter = 0;
    ride.nitrosAvailable = 0;
    crash.worldEdgeCrash = 0;
    crash.postCrashHitGround = 1;
    crash.cpuCrashScale = 1.0f;
    for (RigidBody* b : {crashBike.get(), chassis.get()}) {
        b->m_linearVelocity = Vector3(0.0f, 0.0f, 0.0f);
        b->m_angularVelocity = Vector3(0.0f, 0.0f, 0.0f);
    }
    setupCollisionGroups();
    setAttributes();
    status.flags = status.lastFlags = status.viewFlags = 0;
}

void KineticBike::setupCollisionGroups() {
    if (!bikeCollisionGroup) return;
    Kinetic::CollisionDetector* cd = GetModel()->kineticToolkit->m_defaultCollisionDetector;
    const unsigned b = bikeCollisionGroup, r = riderCollisionGroup;
    for (unsigned world : {2u, 4u}) {
        if (isCPU) {
            cd->disableCollisionGroups(world, b);
            cd->disableCollisionGroups(world, r);
        } else {
            cd->enableCollisionGroups(world, b);
            cd->enableCollisionGroups(world, r);
        }
    }
    for (unsigned world : {3u, 1u, 5u}) {
        cd->enableCollisionGroups(world, b);
        cd->enableCollisionGroups(world, r);
    }
    // Each pair of bikes once, by the lower index; never past the eight group pairs.
    const unsigned racers = numOfTotalRacers < kMaxRacers ? numOfTotalRacers : kMaxRacers;
    for (unsigned j = bikeIndex + 1; j < racers; ++j) cd->enableCollisionGroups(b, bikeCollisionGroups[j]);
    cd->disableCollisionGroups(6, b);
    cd->disableCollisionGroups(6, r);
    cd->disableCollisionGroups(b, r);
}

KineticBike::~KineticBike() {
    for (KineticBike*& r : racers)
        if (r == this) r = nullptr;
    Kinetic::Toolkit* kit = CModel::modelPtr ? CModel::modelPtr->kineticToolkit : nullptr;
    for (std::unique_ptr<Kinetic::RigidBody>* b : {&chassis, &frontWheel, &backWheel, &crashBike}) {
        if (!*b) continue;
        if (kit) kit->removeRigidBody(b->get());
        b->reset();
    }
    if (constraint) {
        if (csolver) csolver->removeConstraint(constraint.get());
        constraint.reset();
    }
    if (csolver) {
        if (rc) rc->removeAction(csolver.get());
        csolver.reset();
    }
    vehicle.reset();
}

void KineticBike::getBaseVectors() {
    if (!chassis) return;
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    chassis->getDisplayToWorldTransform(p, r);
    frame.rightDir = toModel(r.getRotatedPos(Kinetic::Vector3(1.0f, 0.0f, 0.0f)));
    frame.forwardDir = toModel(r.getRotatedPos(Kinetic::Vector3(0.0f, 1.0f, 0.0f)));
    frame.upDir = toModel(r.getRotatedPos(Kinetic::Vector3(0.0f, 0.0f, 1.0f)));
    frame.lastFForwardDir = frame.fForwardDir;
    frame.lastFUpDir = frame.fUpDir;
    frame.lastFRightDir = frame.fRightDir;
    frame.fRightDir = frame.rightDir;
    frame.fRightDir.y = 0.0f;
    qzMath::qzMathVectorNormalize(&frame.fRightDir);
    frame.fUpDir = qzVector3d(0.0f, -1.0f, 0.0f);
    // fUp x fRight with fUp = (0, -1, 0).
    frame.fForwardDir = qzVector3d(-frame.fRightDir.z, 0.0f, frame.fRightDir.x);
}

void KineticBike::setAttributes() {
    if (isCPU) {
        bikeAttributes.acceleration = 2;
        bikeAttributes.topSpeed = 2;
        bikeAttributes.suspension = 3;
        bikeAttributes.traction = 3;
        riderAttributes.jumping = 4;
        riderAttributes.cornering = 4;
        riderAttributes.stability = 7;
        riderAttributes.stunt = 4;
    }
    setBikeTuning();
    setRiderTuning();
    Attributes& a = attributes;
    if (gameOptions.trackType == TRACKTYPE_BAJA || gameOptions.trackType == TRACKTYPE_FREESTYLE) {
        a.maximumSpeed += kOpenTrackExtraSpeed;
        a.stabilityChangeInVel -= kOpenTrackStabilityLoss;
    }
    speedScale = 1.0f;
}

// Top speed, the speed band's turbo windows, landing recovery and traction from the bike's levels.
void KineticBike::setBikeTuning() {
    Attributes& a = attributes;
    const int ts = bikeAttributes.topSpeed;
    if (ts >= 1 && ts <= 3) a.maximumSpeed = kTopSpeed[ts - 1];
    a.nitroMaximumSpeed = a.maximumSpeed + kExtraSpeed;
    a.cpuMaximumSpeed = a.maximumSpeed + kExtraSpeed;
    a.cpuMaximumSpeedInAir = a.maximumSpeed;
    ride.filteredMaxSpeed = isCPU ? a.cpuMaximumSpeed : a.maximumSpeed;
    ride.maxSpeedFilter.lo0 = ride.filteredMaxSpeed;
    ride.maxSpeedFilter.lo1 = 0.0f;

    const int acc = bikeAttributes.acceleration;
    if (bikeSpeedBand && acc >= 1 && acc <= 3)
        for (const Turbo& t : kTurbo[acc - 1]) bikeSpeedBand->setTurbo(t.minVel, t.maxVel, t.scale);

    const int sus = bikeAttributes.suspension;
    if (sus >= 1 && sus <= 3) {
        a.landingSpeedRecoveryJumps = kLandingRecovery[sus - 1][0];
        a.landingSpeedRecoveryWhoops = kLandingRecovery[sus - 1][1];
    }
    const int tr = bikeAttributes.traction;
    if (tr >= 1 && tr <= 3) a.traction = tr - 1;
}

// Cornering, jump assist, stability and stunt figures from the rider's levels.
void KineticBike::setRiderTuning() {
    Attributes& a = attributes;
    const int co = riderAttributes.cornering;
    if (co >= 1 && co <= 5) a.corneringPercent = kCornering[co - 1];

    const int ju = riderAttributes.jumping;
    if (ju >= 1 && ju <= 5) {
        a.jumpSpeedTolerance = kJumping[ju - 1][0];
        a.jumpSpeedPercent = static_cast<int32_t>(kJumping[ju - 1][1]);
    }
    const int st = riderAttributes.stability;
    if (st >= 1 && st <= 7) {
        a.stability = kStability[st - 1][0];
        a.stabilityChangeInVel = kStability[st - 1][1];
        a.deltaSpeedTolerance = kStability[st - 1][2];
    }
    const int su = riderAttributes.stunt;
    if (su >= 1 && su <= 5) a.stuntAdvantageScale = kStunt[su - 1];
}

bool KineticBike::checkMessage(int action) const {
    return action >= 0 && action < BIKEACTION_NUM_STATES && (input.bikePacket & (1u << action)) != 0;
}

void KineticBike::doAction(const CPacket& packet, float) {
    input.bikePacket = static_cast<uint32_t>(packet._action);
    const uint8_t* b = packet._parms;
    auto has = [this](int a) { return (input.bikePacket & (1u << a)) != 0; };

    if (laps.canBoost == 1 && has(BIKEACTION_ACCEL))
        laps.canBoost = 2;
    else if (laps.canBoost == 0 && has(BIKEACTION_ACCEL))
        laps.canBoost = 3;
    input.throttleZero = input.lastThrottleZero = 1.0f;
    if (has(BIKEACTION_ACCEL)) takeAccelerator(false, b[4]);
    if (has(BIKEACTION_BRAKE)) input.pressed[BIKEACTION_BRAKE] = b[5];
    if (has(BIKEACTION_FORWARD))
        input.pressed[BIKEACTION_FORWARD] = b[0];
    else if (has(BIKEACTION_BACK))
        input.pressed[BIKEACTION_BACK] = b[1];
    takeTurns(b);
    if (has(BIKEACTION_STUNT)) input.pressed[BIKEACTION_STUNT] = b[9] ? -static_cast<int32_t>(b[8]) : b[8];

    if (input.suspendBikePacket) {
        input.suspendedBikePacket = input.bikePacket;
        for (int i = 0; i < BIKEACTION_NUM_STATES; ++i) input.suspendedPressed[i] = input.pressed[i];
        input.bikePacket = 0;
    }
}

// The accelerator; `slide` marks the power-slide form, where a human sets only throttleZero.
void KineticBike::takeAccelerator(bool slide, uint8_t amount) {
    if (isCPU) {
        input.throttleZero = input.lastThrottleZero = kThrottlePerPercent * static_cast<float>(amount);
        input.pressed[BIKEACTION_ACCEL] = 255;
    } else {
        if (slide) input.throttleZero = 1.0f;
        input.pressed[BIKEACTION_ACCEL] = amount;
    }
}

// Stores the turn amount of `action`; clears its bit in the dead zone. True when it is held.
bool KineticBike::takeTurn(int action, uint8_t byte) {
    input.pressed[action] = turnAmount(byte);
    if (input.pressed[action] == 0) input.bikePacket &= ~(1u << action);
    return input.pressed[action] != 0;
}

// Turns, power slides and their braking forms, from the packet's left and right bytes.
void KineticBike::takeTurns(const uint8_t* b) {
    auto has = [this](int a) { return (input.bikePacket & (1u << a)) != 0; };
    if (has(BIKEACTION_LEFT_TURN))
        takeTurn(BIKEACTION_LEFT_TURN, b[2]);
    else if (has(BIKEACTION_RIGHT_TURN))
        takeTurn(BIKEACTION_RIGHT_TURN, b[3]);
    if (has(BIKEACTION_LEFT_POWERSLIDE_ACCEL)) {
        takeTurn(BIKEACTION_LEFT_POWERSLIDE_ACCEL, b[2]);
        takeAccelerator(true, b[4]);
    }
    if (has(BIKEACTION_RIGHT_POWERSLIDE_ACCEL)) {
        takeTurn(BIKEACTION_RIGHT_POWERSLIDE_ACCEL, b[3]);
        takeAccelerator(true, b[4]);
    }
    struct Side {
        int both, brake;
        uint8_t byte;
    };
    for (const Side& s :
         {Side{BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE, BIKEACTION_LEFT_POWERSLIDE_BRAKE, b[2]},
          Side{BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE, BIKEACTION_RIGHT_POWERSLIDE_BRAKE, b[3]}}) {
        if (has(s.both) && takeTurn(s.both, s.byte)) {
            input.pressed[BIKEACTION_BRAKE] = b[5];
            input.bikePacket |= 1u << s.brake;
        }
        if (has(s.brake) && takeTurn(s.brake, s.byte)) input.pressed[BIKEACTION_BRAKE] = b[5];
    }
}

qzVector3d KineticBike::getCameraForward() {
    if ((status.flags & (1u << BIKE_INAIR)) || crash.crashing || crash.crashState == 1)
        return frame.lastForwardDir;
    frame.lastForwardDir = frame.forwardDir;
    frame.lastUpDir = frame.upDir;
    frame.lastRightDir = frame.rightDir;
    return frame.lastForwardDir;
}

void KineticBike::updateModelObjectFromKinetic() {
    if (!chassis || !crashBike) return;
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    if (crash.crashState == 0) {
        chassis->getDisplayToWorldTransform(p, r);
        crashBike->setDisplayToWorldTransform(p, r);
    } else {
        crashBike->getDisplayToWorldTransform(p, r);
        chassis->setDisplayToWorldTransform(p, r);
    }
    validPositionOrientationCheck(p, r);
}

void KineticBike::updateKineticFromModelObject() {
    if (!chassis || !crashBike) return;
    const Kinetic::Vector3 p(position.x * kMetresPerModelUnit, position.y * kMetresPerModelUnit,
                             position.z * kMetresPerModelUnit);
    const Kinetic::Quaternion r = kinetic_pose::toKinetic(qOrientation) * quarterTurnX();
    chassis->setDisplayToWorldTransform(p, r);
    crashBike->setDisplayToWorldTransform(p, r);
    validPositionOrientationCheck(p, r);
}

void KineticBike::validPositionOrientationCheck(Kinetic::Vector3 pos, Kinetic::Quaternion r) {
    const qzVector3d P = toModel(pos) * kModelUnitsPerMetre;
    const qzQuaternion Q = kinetic_pose::toModel(r);
    float d2 = 0.0f;
    if (crash.crashState != 1) qzMath::qzMathVectorDistanceSquared(&d2, &P, &reset.lastValidPos);
    if (d2 < kValidJump2) {
        reset.lastValidPos = P;
        reset.lastValidQzOrient = Q;
        reset.lastValidKineticOrient = r;
        position = P;
        qOrientation = Q;
        return;
    }
    for (Kinetic::RigidBody* b : {chassis.get(), crashBike.get()}) dropMotion(b);
    position = reset.lastValidPos;
    qOrientation = reset.lastValidQzOrient;
    const Kinetic::Vector3 at(reset.lastValidPos.x * kMetresPerModelUnit,
                              reset.lastValidPos.y * kMetresPerModelUnit,
                              reset.lastValidPos.z * kMetresPerModelUnit);
    for (Kinetic::RigidBody* b : {chassis.get(), crashBike.get()}) {
        b->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        b->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    }
    linearVelocity = qzVector3d();
    frame.linearVelocityMag = frame.forwardVelocityMag = 0.0f;
    for (int i = 0; i < 30; ++i) {
        frame.lastVelocity[i] = qzVector3d();
        frame.lastVelocityMag[i] = 0.0f;
    }
    chassis->setDisplayToWorldTransform(at, reset.lastValidKineticOrient);
    crashBike->setDisplayToWorldTransform(at, reset.lastValidKineticOrient);
}

void KineticBike::updateModelWorld() {
    if (!vehicle) return;
    Kinetic::Toolkit* kit = GetModel()->kineticToolkit;
    // Placing the bike again (setStartPos runs at every reset) must not add the bodies twice.
    if (!bodiesInWorld) {
        const Kinetic::Vector3 origin(0.0f, 0.0f, 0.0f);
        for (Kinetic::RigidBody* b :
             {vehicle->m_chassisRigidBody, frontWheel.get(), backWheel.get(), crashBike.get()})
            kit->addRigidBody(b, origin, Kinetic::Quaternion());
    }
    updateKineticFromModelObject();
    if (bodiesInWorld) return;
    bodiesInWorld = true;
    Kinetic::RRResolver* resolver = kit->m_defaultSubspace->getRRResolver();
    auto* filter =
        resolver ? dynamic_cast<Kinetic::CollisionEventFilter*>(resolver->getEventPipe()) : nullptr;
    if (!filter) return;
    for (Kinetic::RigidBody* b : {chassis.get(), crashBike.get()})
        for (Kinetic::Primitive* p : b->getPrimitives())
            filter->registerInterest(p, nullptr, 1.0f, 0.0f, Kinetic::CollisionEvent::defaultID);
}

void KineticBike::setStartPos(qzVector3d pos, qzVector3d dir) {
    qzMath::qzMathVectorNormalize(&dir);
    float h1 = 0.0f, h2 = 0.0f;
    if (worldHeightAt(pos.x, pos.z, &h1) &&
        worldHeightAt(pos.x + dir.x * wheelBase, pos.z + dir.z * wheelBase, &h2)) {
        pos.y = (h1 < h2 ? h1 : h2) - kStartAboveGround;
    } else {
        x_printf("KineticBike: no world model, start height kept\n");
    }
    resetVars();
    laps.isOffTrack = 0;
    laps.trackToHudOffTrack = 8;
    position = pos;
    reset.lastValidPos = pos;
    const float a = x_atan2(-dir.x, dir.z);
    qzQuaternion Q;
    Q_SetupFromAngles(&Q, 0.0f, -a, 0.0f);
    qOrientation = Q;
    reset.lastValidQzOrient = Q;
    updateModelWorld();
    // A camera following this bike cuts to it at once rather than gliding across the track.
    if (cameraId != -1 && cameraTeleportHook) {
        cameraLookAtPos = pos;
        frame.forwardDir = dir;
        frame.lastForwardDir = dir;
        cameraTeleportHook(cameraId);
    }
    checkTerrainPoint();
    laps.lastPos = pos;
}
