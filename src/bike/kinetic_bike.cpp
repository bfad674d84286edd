#include "bike/kinetic_bike.h"

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
#include "world/world_model.h"

const unsigned int KineticBike::bikeCollisionGroups[kMaxRacers] = {7, 9, 11, 13, 15, 17, 19, 21};
const unsigned int KineticBike::riderCollisionGroups[kMaxRacers] = {8, 10, 12, 14, 16, 18, 20, 22};
unsigned int KineticBike::numOfTotalRacers = 1;
KineticBike* KineticBike::racers[kMaxRacers] = {};
void (*KineticBike::cameraModeHook)(int, int) = nullptr;
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
int32_t turnAmount(uint8_t b) {
    return b < 51 ? 0 : static_cast<int32_t>(50.0f + 0.8039216f * static_cast<float>(b));
}

}  // namespace

KineticBike::KineticBike(int descriptionId) : KineticVehicleObject(descriptionId) {
    bikeStats.bike = this;
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
    isCPU = isCPUArg != 0;
    isOffTrack = 0;
    rc = rcArg;
    bikeIndex = bikeIndexArg;
    cameraId = cameraIdArg;
    if (bikeIndex < kMaxRacers) {
        bikeCollisionGroup = bikeCollisionGroups[bikeIndex];
        riderCollisionGroup = riderCollisionGroups[bikeIndex];
    } else {
        x_printf("KineticBike: racer index %u out of range, no collision groups\n", bikeIndex);
    }
    collidedCounter = 40;
    buildPhysics(descriptionId, isCPUArg);
    if (bikeIndex < kMaxRacers) racers[bikeIndex] = this;
}

void KineticBike::buildPhysics(int descriptionId, unsigned int cpu) {
    using namespace Kinetic;
    const CObjectDescription* desc = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!desc) x_printf("KineticBike: description %d not loaded, bodies without shapes\n", descriptionId);
    CKineticCollide* chassisShape = collisionAt(desc, 0);
    CKineticCollide* wheelShape = collisionAt(desc, 1);
    CKineticCollide* crashShape = collisionAt(desc, 2);

    chassis = new RigidBody();
    frontWheel = new RigidBody();
    backWheel = new RigidBody();
    crashBike = new RigidBody();
    for (RigidBody* b : {chassis, frontWheel, backWheel, crashBike}) b->m_userInfo = this;
    if (crashShape) crashShape->addCollisionToRigidBody(crashBike, 100.0f, 0.25f, 1.0f);
    if (wheelShape) {
        wheelShape->addCollisionToRigidBody(frontWheel, 100.0f, 0.25f, 1.0f);
        wheelShape->addCollisionToRigidBody(backWheel, 100.0f, 0.25f, 1.0f);
    }
    if (chassisShape) chassisShape->addCollisionToRigidBody(chassis, 100.0f, 0.25f, 1.0f);

    chassis->m_local_to_display_translation = Vector3(0.0f, 0.7f, 0.6f);
    chassis->m_friction = 0.0f;
    chassis->m_restitution = 0.0f;
    for (RigidBody* b : {frontWheel, backWheel, crashBike}) b->setPinned(true);
    crashBike->setActive(false, true);
    crashBike->setMass(1500.0f);
    crashBike->m_volume = 20000.0f;
    crashBike->m_restitution = 0.0f;
    frontWheel->setMass(10.0f);
    backWheel->setMass(10.0f);

    const uint32_t bikeMask = bikeCollisionGroup ? 1u << (bikeCollisionGroup - 1) : 0u;
    for (RigidBody* b : {chassis, crashBike})
        for (Primitive* p : b->getPrimitives()) p->m_collisionGroups = bikeMask;
    for (RigidBody* b : {frontWheel, backWheel})
        if (!b->getPrimitives().empty()) b->getPrimitives()[0]->m_collisionGroups = 0x20;

    knDefaultWheelsBP wbp(2);
    wbp.m_wheelsAxle = {0, 1};
    wbp.m_wheelsRadius = {0.36f, 0.36f};
    wbp.m_wheelsWidth = {0.2f, 0.2f};
    wbp.m_wheelsFriction = {8.1f, 8.1f};
    wbp.m_wheelsViscosityFriction = {0.0f, 0.0f};
    wbp.m_wheelsRigidBody = {frontWheel, backWheel};
    m_wheels = new DefaultWheels(wbp);

    knDefaultChassisBP cbp;
    cbp.m_coordinateSystem = CCS_Z_UP_X_RIGHT;
    cbp.m_mass = 1500.0f;
    m_chassis = new DefaultChassis(cbp);

    knDefaultSteeringBP sbp(2);
    sbp.m_maxSteeringAngle = 0.5235988f;
    sbp.m_maxSpeedFullSteeringAngle = 20000.0f;
    sbp.m_wheelsDoesSteer = {true, false};
    m_steering = new CBikeSteering(sbp);

    knDefaultEngineBP ebp;
    ebp.m_minRPM = 1000.0f;
    ebp.m_optRPM = 6500.0f;
    ebp.m_maxRPM = 8000.0f;
    ebp.m_torque = 1500.0f;
    ebp.m_torqueFactorAtMinRPM = 1.0f;
    ebp.m_torqueFactorAtMaxRPM = 1.0f;
    ebp.m_resistanceFactorAtMinRPM = 0.2f;
    ebp.m_resistanceFactorAtOptRPM = 0.45f;
    ebp.m_resistanceFactorAtMaxRPM = 0.65f;
    bikePowerBand = new CPowerBands();
    for (const PowerBand& p :
         {PowerBand{0, 0}, PowerBand{1000, 2600}, PowerBand{9000, 2600}, PowerBand{10000, 0}})
        bikePowerBand->setTorque(p.rpm, p.torque);
    bikeSpeedBand = new CSpeedBands();
    const float boosts[14] = {3.0f, 1.8f, 1.6f, 1.4f, 1.2f, 1.0f, 0.8f,
                              0.5f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    for (unsigned i = 0; i < 14; ++i) bikeSpeedBand->setBoost(10 * i, boosts[i]);
    m_engine = new CBikeEngine(ebp, bikePowerBand, bikeSpeedBand);

    knDefaultTransmissionBP tbp(2, 4);
    tbp.m_downshiftRPM = 3500.0f;
    tbp.m_upshiftRPM = 6550.0f;
    tbp.m_primaryTransmissionRatio = 2.4f;
    tbp.m_clutchDelayTime = 0.0f;
    tbp.m_reverseGearRatio = 3.5f;
    tbp.m_gearsRatio = {2.0f, 1.5f, 1.0f, 0.75f};
    tbp.m_wheelsTorqueRatio = {0.0f, 0.5f};
    auto* transmission = new CBikeTransmission(tbp);
    m_transmission = transmission;

    knDefaultBrakeBP bbp(2);
    bbp.m_wheelsMaxBrakingTorque = {8000.0f, 8000.0f};
    bbp.m_wheelsMinPedalInputToBlock = {0.9f, 0.9f};
    bbp.m_wheelsMinTimeToBlock = {10.5f, 10.5f};
    bbp.m_wheelsIsConnectedToHandbrake = {true, false};
    m_brakes = new CBikeBrake(bbp);

    chassis->shiftCentreOfMass(Vector3(0.0f, 0.05f, -0.5f));

    knDefaultSuspensionBP spbp(2);
    spbp.m_wheelsHardpointCS = {Vector3(0.0f, 0.84f, 0.14f), Vector3(0.0f, -0.84f, 0.14f)};
    spbp.m_wheelsDirectionCS = {Vector3(0.0f, 0.0f, -1.0f), Vector3(0.0f, 0.0f, -1.0f)};
    spbp.m_wheelsLength = {0.4f, 0.4f};
    spbp.m_wheelsStrength = {120.0f, 120.0f};
    spbp.m_wheelsDampingCompression = {30.0f, 30.0f};
    spbp.m_wheelsDampingRelaxation = {25.0f, 25.0f};
    m_suspension = new CBikeSuspension(spbp);

    knDefaultAerodynamicsBP abp;
    abp.m_airDensity = 0.15f;
    abp.m_frontalArea = 4.0f;
    abp.m_dragCoefficient = 0.55f;
    abp.m_liftCoefficient = 0.0f;
    m_aerodynamics = new CBikeAerodynamics(abp);
    m_input = new CBikeDriverInput();

    knRaycastVehicleBP vbp(0);
    vbp.m_chassis = m_chassis;
    vbp.m_wheels = m_wheels;
    vbp.m_driverInput = m_input;
    vbp.m_steering = m_steering;
    vbp.m_engine = m_engine;
    vbp.m_transmission = m_transmission;
    vbp.m_brake = m_brakes;
    vbp.m_aerodynamics = m_aerodynamics;
    vbp.m_suspension = m_suspension;
    vbp.m_chassisRigidBody = chassis;
    vbp.m_intersectionSolver = &GetIntersection()->m_raycaster;
    vbp.m_frictionEqualizer = 0.5f;
    vbp.m_torqueRollFactor = 1.0f;
    vbp.m_torquePitchFactor = 1.0f;
    vbp.m_torqueYawFactor = 1.0f;
    vbp.m_extraTorqueFactor = 0.0f;
    vbp.m_extraAngularImpulseFactor = 0.0f;
    vbp.m_chassisUnitInertiaYaw = 0.5f;
    vbp.m_chassisUnitInertiaRoll = 0.5f;
    vbp.m_chassisUnitInertiaPitch = 0.5f;

    constraint = new AngularConstraint1D(chassis);
    constraint->m_tau = 0.075f;
    constraint->setAxis(Vector3(0.0f, -1.0f, 0.0f), Vector3(0.0f, 1.0f, 0.0f), Vector3(1.0f, 0.0f, 0.0f));
    csolver = new FastConstraintSolver();
    csolver->addConstraint(constraint);
    if (rc) rc->addAction(csolver, 0);
    csolver->setDeactivationThreshold(0.0f);
    constraint->m_tau = 0.5f;
    constraint->setAngle(0.0f);
    constraint->m_strength = 1.0f;

    vehicle = new RaycastVehicle(vbp);

    dustCloudCounter = 0;
    comShiftState = lastComShiftState = 0;
    centerOfMass = qzVector3d();
    terrainMaxSpeedPenalty = 0.0f;
    transmission->setMinRPM(2000.0f);
    transmission->setMaxRPM(8000.0f);
    transmission->setWheelRPMScale(40.0f);
    bikePowerBand->setTorque(1000, 3000);
    bikePowerBand->setTorque(9000, 3000);

    getBaseVectors();
    lastForwardDir = forwardDir;
    lastUpDir = upDir;
    lastRightDir = rightDir;
    cameraLookAtPos = toModel(chassis->m_position) * 100.0f;
    wheelInfo[0].m_spinVelocity = wheelInfo[1].m_spinVelocity = 0.0f;
    dropMotion(chassis);

    const float fast = kSinPi10, slow = kSinPi20;
    for (CFilter* f : {&filterSAV, &leanFilter, &frictionFilter[0], &frictionFilter[1]}) *f = CFilter{fast};
    speedometerFilter = CFilter{slow};
    jumpConsistencyExtraGravityFilter = CFilter{kSinPi16};
    maxSpeedFilter = CFilter{cpu ? slow : fast};
    for (CFilter* f : {&particalFilterR, &particalFilterG, &particalFilterB}) *f = CFilter{kSinPi30};

    bikePacket = 0;
    suspendBikePacket = 0;
    wheelBase = bikeLength = 0.0f;
    for (int i = 0; i < 30; ++i) {
        safePos[i] = position;
        safeDir[i] = forwardDir;
    }
    startBoostCounter = 0;
    nitrosAvailable = 0;
    worldEdgeCrash = 0;
    postCrashHitGround = 1;
    cpuCrashScale = 1.0f;
    for (RigidBody* b : {crashBike, chassis}) {
        b->m_linearVelocity = Vector3(0.0f, 0.0f, 0.0f);
        b->m_angularVelocity = Vector3(0.0f, 0.0f, 0.0f);
    }
    setupCollisionGroups();
    setAttributes();
    flags = lastFlags = viewFlags = 0;
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
    for (Kinetic::RigidBody* b : {chassis, frontWheel, backWheel, crashBike}) {
        if (!b) continue;
        if (kit) kit->removeRigidBody(b);
        delete b;
    }
    if (constraint) {
        if (csolver) csolver->removeConstraint(constraint);
        delete constraint;
    }
    if (csolver) {
        if (rc) rc->removeAction(csolver);
        delete csolver;
    }
    delete vehicle;
}

void KineticBike::getBaseVectors() {
    if (!chassis) return;
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    chassis->getDisplayToWorldTransform(p, r);
    rightDir = toModel(r.getRotatedPos(Kinetic::Vector3(1.0f, 0.0f, 0.0f)));
    forwardDir = toModel(r.getRotatedPos(Kinetic::Vector3(0.0f, 1.0f, 0.0f)));
    upDir = toModel(r.getRotatedPos(Kinetic::Vector3(0.0f, 0.0f, 1.0f)));
    lastFForwardDir = fForwardDir;
    lastFUpDir = fUpDir;
    lastFRightDir = fRightDir;
    fRightDir = rightDir;
    fRightDir.y = 0.0f;
    qzMath::qzMathVectorNormalize(&fRightDir);
    fUpDir = qzVector3d(0.0f, -1.0f, 0.0f);
    // fUp x fRight with fUp = (0, -1, 0).
    fForwardDir = qzVector3d(-fRightDir.z, 0.0f, fRightDir.x);
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
    Attributes& a = attributes;
    switch (bikeAttributes.topSpeed) {
        case 1:
            a.maximumSpeed = 68.0f;
            break;
        case 2:
            a.maximumSpeed = 70.0f;
            break;
        case 3:
            a.maximumSpeed = 72.0f;
            break;
        default:
            break;
    }
    a.nitroMaximumSpeed = a.maximumSpeed + 30.0f;
    a.cpuMaximumSpeed = a.maximumSpeed + 30.0f;
    a.cpuMaximumSpeedInAir = a.maximumSpeed;
    filteredMaxSpeed = isCPU ? a.cpuMaximumSpeed : a.maximumSpeed;
    maxSpeedFilter.lo0 = filteredMaxSpeed;
    maxSpeedFilter.lo1 = 0.0f;

    struct Turbo {
        unsigned minVel, maxVel;
        float scale;
    };
    static const Turbo turbo[3][3] = {
        {{0, 40, 2.0f}, {40, 55, 1.0f}, {55, 75, 1.0f}},
        {{0, 20, 1.0f}, {20, 60, 2.0f}, {60, 75, 1.0f}},
        {{0, 30, 1.0f}, {30, 55, 0.9f}, {55, 75, 1.5f}},
    };
    const int acc = bikeAttributes.acceleration;
    if (bikeSpeedBand && acc >= 1 && acc <= 3)
        for (const Turbo& t : turbo[acc - 1]) bikeSpeedBand->setTurbo(t.minVel, t.maxVel, t.scale);

    static const float recovery[3][2] = {{0.75f, 0.9f}, {0.87f, 0.95f}, {1.0f, 1.0f}};
    const int sus = bikeAttributes.suspension;
    if (sus >= 1 && sus <= 3) {
        a.landingSpeedRecoveryJumps = recovery[sus - 1][0];
        a.landingSpeedRecoveryWhoops = recovery[sus - 1][1];
    }
    const int tr = bikeAttributes.traction;
    if (tr >= 1 && tr <= 3) a.traction = tr - 1;

    static const float cornering[5] = {0.75f, 0.875f, 1.0f, 1.125f, 1.25f};
    const int co = riderAttributes.cornering;
    if (co >= 1 && co <= 5) a.corneringPercent = cornering[co - 1];

    static const float jumping[5][2] = {{8, 20}, {8, 40}, {8, 60}, {12, 80}, {16, 100}};
    const int ju = riderAttributes.jumping;
    if (ju >= 1 && ju <= 5) {
        a.jumpSpeedTolerance = jumping[ju - 1][0];
        a.jumpSpeedPercent = static_cast<int32_t>(jumping[ju - 1][1]);
    }
    static const float stability[7][3] = {{0.8f, 12, 25}, {0.9f, 11, 30}, {1.0f, 10, 35}, {1.1f, 9, 40},
                                          {1.2f, 8, 45},  {1.5f, 7, 50},  {1.7f, 6, 55}};
    const int st = riderAttributes.stability;
    if (st >= 1 && st <= 7) {
        a.stability = stability[st - 1][0];
        a.stabilityChangeInVel = stability[st - 1][1];
        a.deltaSpeedTolerance = stability[st - 1][2];
    }
    static const float stunt[5] = {1.2f, 1.1f, 1.0f, 0.9f, 0.8f};
    const int su = riderAttributes.stunt;
    if (su >= 1 && su <= 5) a.stuntAdvantageScale = stunt[su - 1];

    if (gameOptions.trackType == TRACKTYPE_BAJA || gameOptions.trackType == TRACKTYPE_FREESTYLE) {
        a.maximumSpeed += 5.0f;
        a.stabilityChangeInVel -= 2.0f;
    }
    speedScale = 1.0f;
}

bool KineticBike::checkMessage(int action) const {
    return action >= 0 && action < BIKEACTION_NUM_STATES && (bikePacket & (1u << action)) != 0;
}

void KineticBike::doAction(const CPacket& packet, float) {
    bikePacket = static_cast<uint32_t>(packet._action);
    const uint8_t* b = packet._parms;
    auto has = [this](int a) { return (bikePacket & (1u << a)) != 0; };
    auto clear = [this](int a) { bikePacket &= ~(1u << a); };
    auto set = [this](int a) { bikePacket |= 1u << a; };

    if (canBoost == 1 && has(BIKEACTION_ACCEL))
        canBoost = 2;
    else if (canBoost == 0 && has(BIKEACTION_ACCEL))
        canBoost = 3;
    throttleZero = lastThrottleZero = 1.0f;
    // The accelerator; `slide` marks the power-slide form, where a human sets only throttleZero.
    auto accelerate = [&](bool slide) {
        if (isCPU) {
            throttleZero = lastThrottleZero = 0.01f * static_cast<float>(b[4]);
            pressed[BIKEACTION_ACCEL] = 255;
        } else {
            if (slide) throttleZero = 1.0f;
            pressed[BIKEACTION_ACCEL] = b[4];
        }
    };
    if (has(BIKEACTION_ACCEL)) accelerate(false);
    if (has(BIKEACTION_BRAKE)) pressed[BIKEACTION_BRAKE] = b[5];
    if (has(BIKEACTION_FORWARD))
        pressed[BIKEACTION_FORWARD] = b[0];
    else if (has(BIKEACTION_BACK))
        pressed[BIKEACTION_BACK] = b[1];

    // Stores the turn amount of `action`; clears its bit in the dead zone. True when it is held.
    auto turn = [&](int action, uint8_t byte) {
        pressed[action] = turnAmount(byte);
        if (pressed[action] == 0) clear(action);
        return pressed[action] != 0;
    };
    if (has(BIKEACTION_LEFT_TURN))
        turn(BIKEACTION_LEFT_TURN, b[2]);
    else if (has(BIKEACTION_RIGHT_TURN))
        turn(BIKEACTION_RIGHT_TURN, b[3]);
    if (has(BIKEACTION_LEFT_POWERSLIDE_ACCEL)) {
        turn(BIKEACTION_LEFT_POWERSLIDE_ACCEL, b[2]);
        accelerate(true);
    }
    if (has(BIKEACTION_RIGHT_POWERSLIDE_ACCEL)) {
        turn(BIKEACTION_RIGHT_POWERSLIDE_ACCEL, b[3]);
        accelerate(true);
    }
    struct Side {
        int both, brake;
        uint8_t byte;
    };
    for (const Side& s :
         {Side{BIKEACTION_LEFT_POWERSLIDE_ACCEL_BRAKE, BIKEACTION_LEFT_POWERSLIDE_BRAKE, b[2]},
          Side{BIKEACTION_RIGHT_POWERSLIDE_ACCEL_BRAKE, BIKEACTION_RIGHT_POWERSLIDE_BRAKE, b[3]}}) {
        if (has(s.both) && turn(s.both, s.byte)) {
            pressed[BIKEACTION_BRAKE] = b[5];
            set(s.brake);
        }
        if (has(s.brake) && turn(s.brake, s.byte)) pressed[BIKEACTION_BRAKE] = b[5];
    }
    if (has(BIKEACTION_STUNT)) pressed[BIKEACTION_STUNT] = b[9] ? -static_cast<int32_t>(b[8]) : b[8];

    if (suspendBikePacket) {
        suspendedBikePacket = bikePacket;
        for (int i = 0; i < BIKEACTION_NUM_STATES; ++i) suspendedPressed[i] = pressed[i];
        bikePacket = 0;
    }
}

qzVector3d KineticBike::getCameraForward() {
    if ((flags & (1u << BIKE_INAIR)) || crashing || crashState == 1) return lastForwardDir;
    lastForwardDir = forwardDir;
    lastUpDir = upDir;
    lastRightDir = rightDir;
    return lastForwardDir;
}

void KineticBike::updateModelObjectFromKinetic() {
    if (!chassis || !crashBike) return;
    Kinetic::Vector3 p;
    Kinetic::Quaternion r;
    if (crashState == 0) {
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
    const Kinetic::Vector3 p(position.x * 0.01f, position.y * 0.01f, position.z * 0.01f);
    const Kinetic::Quaternion r = kinetic_pose::toKinetic(qOrientation) * quarterTurnX();
    chassis->setDisplayToWorldTransform(p, r);
    crashBike->setDisplayToWorldTransform(p, r);
    validPositionOrientationCheck(p, r);
}

void KineticBike::validPositionOrientationCheck(Kinetic::Vector3 pos, Kinetic::Quaternion r) {
    const qzVector3d P = toModel(pos) * 100.0f;
    const qzQuaternion Q = kinetic_pose::toModel(r);
    float d2 = 0.0f;
    if (crashState != 1) qzMath::qzMathVectorDistanceSquared(&d2, &P, &lastValidPos);
    if (d2 < 25000000.0f) {
        lastValidPos = P;
        lastValidQzOrient = Q;
        lastValidKineticOrient = r;
        position = P;
        qOrientation = Q;
        return;
    }
    for (Kinetic::RigidBody* b : {chassis, crashBike}) dropMotion(b);
    position = lastValidPos;
    qOrientation = lastValidQzOrient;
    const Kinetic::Vector3 at(lastValidPos.x * 0.01f, lastValidPos.y * 0.01f, lastValidPos.z * 0.01f);
    for (Kinetic::RigidBody* b : {chassis, crashBike}) {
        b->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        b->m_angularVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
    }
    linearVelocity = qzVector3d();
    linearVelocityMag = forwardVelocityMag = 0.0f;
    for (int i = 0; i < 30; ++i) {
        lastVelocity[i] = qzVector3d();
        lastVelocityMag[i] = 0.0f;
    }
    chassis->setDisplayToWorldTransform(at, lastValidKineticOrient);
    crashBike->setDisplayToWorldTransform(at, lastValidKineticOrient);
}

void KineticBike::updateModelWorld() {
    if (!vehicle) return;
    Kinetic::Toolkit* kit = GetModel()->kineticToolkit;
    // Placing the bike again (setStartPos runs at every reset) must not add the bodies twice.
    if (!bodiesInWorld) {
        const Kinetic::Vector3 origin(0.0f, 0.0f, 0.0f);
        for (Kinetic::RigidBody* b : {vehicle->m_chassisRigidBody, frontWheel, backWheel, crashBike})
            kit->addRigidBody(b, origin, Kinetic::Quaternion());
    }
    updateKineticFromModelObject();
    if (bodiesInWorld) return;
    bodiesInWorld = true;
    Kinetic::RRResolver* resolver = kit->m_defaultSubspace->getRRResolver();
    auto* filter =
        resolver ? dynamic_cast<Kinetic::CollisionEventFilter*>(resolver->getEventPipe()) : nullptr;
    if (!filter) return;
    for (Kinetic::RigidBody* b : {chassis, crashBike})
        for (Kinetic::Primitive* p : b->getPrimitives())
            filter->registerInterest(p, nullptr, 1.0f, 0.0f, Kinetic::CollisionEvent::defaultID);
}

void KineticBike::setStartPos(qzVector3d pos, qzVector3d dir) {
    qzMath::qzMathVectorNormalize(&dir);
    float h1 = 0.0f, h2 = 0.0f;
    if (worldHeightAt(pos.x, pos.z, &h1) &&
        worldHeightAt(pos.x + dir.x * wheelBase, pos.z + dir.z * wheelBase, &h2)) {
        pos.y = (h1 < h2 ? h1 : h2) - 75.0f;
    } else {
        x_printf("KineticBike: no world model, start height kept\n");
    }
    resetVars();
    isOffTrack = 0;
    trackToHudOffTrack = 8;
    position = pos;
    lastValidPos = pos;
    const float a = x_atan2(-dir.x, dir.z);
    qzQuaternion Q;
    Q_SetupFromAngles(&Q, 0.0f, -a, 0.0f);
    qOrientation = Q;
    lastValidQzOrient = Q;
    updateModelWorld();
    lastPos = pos;
}
