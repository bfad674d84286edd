// One racer's motorbike: a raycast vehicle of four bodies (chassis, front wheel, back wheel and a
// separate crash body) with the bike's own nine components, a lean constraint, its tuning, its input
// from action packets and the per-racer state its handling, jumps and crashes work on.
//
// The bike owns its four bodies, the lean constraint and its solver, and the vehicle (which owns the
// components; the engine owns the power and speed bands). Its bodies join the physics world through
// updateModelWorld, after the race has placed the bike.
#pragma once

#include <cstdint>
#include <memory>

#include "bike/attributes.h"
#include "bike/state/air.h"
#include "bike/state/crash.h"
#include "bike/state/frame.h"
#include "bike/state/ground.h"
#include "bike/state/input.h"
#include "bike/state/laps.h"
#include "bike/state/lean.h"
#include "bike/state/particles.h"
#include "bike/state/reset.h"
#include "bike/state/ride.h"
#include "bike/state/rider_motion.h"
#include "bike/state/status.h"
#include "game/stats/bike_attributes.h"
#include "game/stats/rider_attributes.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "kinetic/math/quaternion.h"
#include "kinetic/vehicle/vehicle_info.h"
#include "world/objects/kinetic_rigid_object.h"

class CPowerBands;
class CSpeedBands;
class CModelObject;
class CRiderModel;
struct BikeBlueprints;
class CWorldModel;
namespace Kinetic {
class CollisionEvent;
class AngularConstraint1D;
class AerodynamicsComponent;
class BrakeComponent;
class DefaultChassis;
class DefaultWheels;
class DriverInputComponent;
class EngineComponent;
class FastConstraintSolver;
class Geometry;
class RigidBody;
class RigidCollection;
class SteeringComponent;
class SuspensionComponent;
class TransmissionComponent;
}  // namespace Kinetic

// The bike's physical set-up: everything the construction puts into its bodies, its vehicle components
// and its lean constraint, read by KineticBike::buildPhysics. Physics units: lengths in metres (a model
// unit is a hundredth of one), masses in the physics engine's mass unit (kg), times in seconds, angles in
// radians, engine speeds in RPM. Per-wheel pairs are front, back.
struct BikePhysicsSetup {
    // The collision primitives every body gets from its collision data.
    float primitiveMass;         // kg, each primitive
    float primitiveRestitution;  // 0..1
    float primitiveFriction;
    // Chassis body.
    Kinetic::Vector3 chassisDisplayOffset;  // m, from the body's origin to the drawn bike's
    float chassisFriction, chassisRestitution;
    Kinetic::Vector3 centreOfMassShift;  // m, body axes (x right, y forward, z up)
    // Crash body (the bike's rigid stand-in while it tumbles) and wheel bodies.
    float crashBodyMass;            // kg
    float crashBodyVolume;          // the physics engine's volume units
    float crashBodyRestitution;     // 0..1
    float wheelBodyMass;            // kg, each wheel
    uint32_t wheelCollisionGroups;  // mask: group 6, which the bike's groups never collide with
    // Wheels component.
    float wheelRadius[2];             // m
    float wheelWidth[2];              // m
    float wheelFriction[2];           // grip of the vehicle's friction solver
    float wheelViscosityFriction[2];  // per m/s of slip
    // Chassis component.
    float chassisMass;  // kg
    // Steering component.
    float maxSteeringAngle;           // rad (30 degrees)
    float maxSpeedFullSteeringAngle;  // m/s: full lock up to this speed
    bool wheelSteers[2];
    // Engine component, and its power band (torque by RPM) and speed band (boost by speed key).
    float minRPM, optRPM, maxRPM;  // RPM
    float engineTorque;            // N m
    float torqueFactorAtMinRPM, torqueFactorAtMaxRPM;
    float resistanceFactorAtMinRPM, resistanceFactorAtOptRPM, resistanceFactorAtMaxRPM;
    struct BandPoint {
        unsigned rpm, torque;  // RPM, N m
    };
    BandPoint powerBand[4];
    unsigned speedBandStep;  // speed keys between the speed band's points
    float speedBandBoost[14];
    // Transmission component.
    float downshiftRPM, upshiftRPM;  // RPM
    float primaryTransmissionRatio;
    float clutchDelayTime;  // s
    float reverseGearRatio;
    float gearRatio[4];
    float wheelTorqueRatio[2];  // share of the drive torque
    // Brake component.
    float maxBrakingTorque[2];      // N m
    float minPedalInputToBlock[2];  // 0..1
    float minTimeToBlock[2];        // s
    bool wheelOnHandbrake[2];
    // Suspension component.
    Kinetic::Vector3 wheelHardpoint[2];  // m, chassis axes
    Kinetic::Vector3 wheelDirection[2];  // unit, chassis axes
    float suspensionLength[2];           // m
    float suspensionStrength[2];         // N per m
    float dampingCompression[2], dampingRelaxation[2];
    // Aerodynamics component.
    float airDensity;   // kg per m^3 (the game's thin air)
    float frontalArea;  // m^2
    float dragCoefficient, liftCoefficient;
    // Raycast vehicle.
    float frictionEqualizer;
    float torqueRollFactor, torquePitchFactor, torqueYawFactor;
    float extraTorqueFactor, extraAngularImpulseFactor;
    float chassisUnitInertiaYaw, chassisUnitInertiaRoll, chassisUnitInertiaPitch;
    // Lean constraint: the time constant while it is set up, its axes, the solver's deactivation
    // threshold, then the riding time constant, angle and strength.
    float leanSetUpTau;  // s
    Kinetic::Vector3 leanAxisUp, leanAxisDir0, leanAxisDir1;
    float leanDeactivationThreshold;
    float leanTau;    // s
    float leanAngle;  // rad
    float leanStrength;
    // What the riding bike changes after the vehicle is built: the transmission's RPM range and wheel
    // RPM scale, and the power band's torque at two of its points.
    float ridingMinRPM, ridingMaxRPM;  // RPM
    float wheelRPMScale;
    BandPoint ridingPowerBand[2];
};

class KineticBike : public KineticVehicleObject {
public:
    static constexpr unsigned kMaxRacers = 8;
    static const unsigned int bikeCollisionGroups[kMaxRacers];
    static const unsigned int riderCollisionGroups[kMaxRacers];
    // The race's number of racers; the race sets it before its first bike is built.
    static unsigned int numOfTotalRacers;
    // The race's bikes by racer index (each bike enters itself when built and leaves when destroyed);
    // the crash code counts and avoids the other racers through it.
    static KineticBike* racers[kMaxRacers];
    // Installed by the race for the length of a race: switches the camera object
    // `cameraId` to `mode` (1 follow, 2 crash). Without it a crash moves no camera.
    static void (*cameraModeHook)(int cameraId, int mode);
    // Installed with it: a camera object `cameraId` that follows its bike snaps onto the bike's look point
    // and heading (a camera in any other mode, or an object that is no camera, is left alone). Without it
    // placing a bike moves no camera.
    static void (*cameraTeleportHook)(int cameraId);
    // Set by the first bike to finish the race's last lap, which is then put back where it stood before
    // the start; every bike shares it and the game never clears it (a test that finishes a race does).
    static uint8_t finishSetBack;
    // The physical set-up every racing bike is built from.
    static const BikePhysicsSetup physicsSetup;

    // A bike with no physics (no bodies, no vehicle): the statistics, bonuses and input alone.
    explicit KineticBike(int descriptionId = -1);
    // The racing bike. A bad description or collision id is logged and its bodies get no shapes; a
    // racer index or racer count beyond the eight group pairs is logged and the bike takes no
    // collision groups (use create, which refuses such a racer).
    KineticBike(int descriptionId, int cameraId, Kinetic::RigidCollection* rc, unsigned int isCPU,
                unsigned int bikeIndex);
    ~KineticBike() override;
    KineticBike(const KineticBike&) = delete;
    KineticBike& operator=(const KineticBike&) = delete;

    // The race's way to build a racer: null, with a log line, for a racer index of 8 or more or a
    // racer count above 8.
    static KineticBike* create(int descriptionId, int cameraId, Kinetic::RigidCollection* rc,
                               unsigned int isCPU, unsigned int bikeIndex);

    void update(float time) override;
    void doAction(const CPacket& packet, float time) override;
    void updateKineticFromModelObject() override;
    void updateModelObjectFromKinetic() override;

    bool checkMessage(int action) const;
    qzVector3d getCameraForward();
    void getBaseVectors();
    void setAttributes();

    void validPositionOrientationCheck(Kinetic::Vector3 pos, Kinetic::Quaternion q);
    void updateModelWorld();
    // Puts the bike at rest 75 units above the ground at `pos`, heading `dir`: riding state cleared, a
    // following camera cut to it, the checkpoints under its last step taken.
    void setStartPos(qzVector3d pos, qzVector3d dir);

    // Handling: the control step and its handlers (turning, power slides, straight riding, wheelies,
    // stoppies, the air).

    // What the handler of the step's handling state leaves for the common tail, with the factors and the
    // ground frame the first phases work out. The step starts each run from the coasting values below
    // (no steering, no lean, no brake, no ground hold), so a handler that leaves a value alone hands the
    // tail a defined one.
    struct HandlingParams {
        static constexpr float kCoastLean = 40.0f;  // degrees
        float turnAmount = 0.0f;                    // 0..1
        float yawRateTarget = 0.0f;
        float leanSign = 0.0f;
        float leanMagnitude = kCoastLean;  // degrees
        float steeringGain = 0.0f;
        float groundHoldForce = 0.0f;
        float throttleStep = 0.0f;
        float brakeStep = 0.0f;
        float frictionTarget[2] = {};   // front, rear
        float steeringPercent[2] = {};  // front, rear
        bool exitBoostAllowed = false;
        float pitchRateScale = 1.0f;
        bool onGround = false, nearGround = false;
        float slowFactor = 0.0f, speedFactor = 0.0f, cappedSpeedFactor = 0.0f, speedChange = 0.0f;
        qzVector3d groundNormal, rollAxis, pitchAxis;  // rollAxis and pitchAxis are not normalised
        float rollRate = 0.0f, pitchRate = 0.0f;
    };
    HandlingParams handling;

    // The handling step, phases 1 to 5: the wheelie request, the handling state, the bookkeeping of a
    // state change and of the heading, the speed factors and ground frame, and the state's handler.
    // It leaves `handling` filled; the common tail of the handling (throttle, counters, friction,
    // steering, lean, body forces, driver input) runs right after it in the per-frame update.
    void control();
    // Turning states 3 and 4.
    void turningHandler(bool right);
    // Power-slide states 5 to 8.
    void powerSlideHandler(bool right, bool braking);
    // Coasting, accelerating, braking, wheelie and stoppie (states 0, 1, 2, 13, 14).
    void straightHandler();
    // Wheelie turns, states 11 and 12.
    void wheelieTurnHandler(bool right);
    // The air, state 10.
    void inAirHandler();
    // Small actions of the handlers on the bike's parts; each does nothing on a bike without physics.
    void addChassisVelocity(const qzVector3d& dv);  // m/s, world axes
    void limitChassisSpeed(float speed);            // scales the chassis velocity down to `speed`
    void scaleEngineBoost(float s);
    void setLeanTau(float tau);
    void setRearWheelSteers(bool steers);

    // Handling tail, the per-frame update, speed limits, nitro and damping, the rider's displacement.
    // The common tail of the handling step, after control() has filled `handling`: the counters,
    // friction, steering and lean, then throttle, brakes, suspension, body forces and driver input.
    void controlTail();
    void tailCountersFrictionLean();
    void tailDriveAndForces();
    // The race's flashing wrong-way sign, from the track direction and point at the bike's way position.
    void maybeFlashWrongWay(const qzVector3d& trackDir, const qzVector3d& trackPoint);
    // In the air, the pitch is past the crash limits for the bike's roll.
    bool airAttitudeExceeded() const;
    // Height above the level ground, 0 while a wheel touches.
    float getDistToGround() const;
    void getWheelieCondition();
    void zeroVelocity();
    void limitMaximumSpeed();
    void drivingOnObjects();
    void dampenAngularVelocity();
    void nitroBoost();
    void riderDisplacement();
    qzVector3d getRiderDisplacement() const { return riderMotion.riderDelta; }
    // The chassis's linear velocity gains impulse times its inverse mass.
    void applyChassisImpulse(const qzVector3d& impulse);
    // The body the bike rides on: the chassis, or the crash body while crashing.
    Kinetic::RigidBody* activeBody() const;

    // Terrain under the bike and the ground distances of the wheels and crash box.
    // The surface code under the bike, its grip, speed penalty and power-band torque.
    void getTerrainType();
    // Wheel heights, the terrain's slope under the wheels and the bike's pitch and roll against it.
    void bikeTerrainInfo();
    // Heights of the wheels' lowest points over the terrain (distToGround and the levels).
    void findDistancesToGround();
    // The crash box's eight corners against the terrain, while the bike crashes.
    void crashFindDistancesToGround();
    // The wheel measurement of both; with normals it also keeps the terrain height and normal under
    // each wheel and whether a wheel rides on a track object.
    void measureWheelHeights(bool withNormals);

    // Laps, checkpoints and readings.
    // Once per step: off-track marking from the code under the bike, the checkpoints on its path, and
    // lastPos for the next step.
    void checkPoint();
    // Every checkpoint band along the path from lastPos to bikePos, half a grid cell apart.
    void checkTerrainPoint();
    // The race's lap count; a lap past 0 records its time and starts the next lap's checkpoints.
    void setCurLap(int lap);
    // The HUD's smoothed speedometer; each call advances the filter.
    float getSpeedometerReading();
    // Offsets along the bike's up direction that place the drawn wheels.
    float getFrontWheelSuspensionCompression() const;
    float getBackWheelSuspensionCompression() const;

    // Jumps: the preload, the jump assist's take-off speed and climb angle, its flight, the landing
    // hold, the time to land and the crash zone the bike rides through.
    void preLoad();
    void jumpSpeed();
    void jumpAngle();
    void inAirAdjust();
    void landSpeed();
    float getTimeToLand() const;
    void crashResetPoints();

    // Crashes: the request, the state machine, the hand-back of the riding set-up, the riding state
    // cleared at every placing, and where the bike is put back.
    void startCrash(unsigned int type);
    void crashUpdate();
    void recover();
    void resetVars();
    void findSplineCrashResetPos();
    void findNonSplineCrashResetPos();
    // What starts them: contacts, sudden velocity changes, bad landings and the world edge; and the
    // limits on the tumbling crash body.
    void collisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    void phantomCollisionHandler(CModelObject* other, const Kinetic::CollisionEvent& event) override;
    void collide();
    void checkForAbruptVelocityChange();
    void groundCrash();
    void checkForWorldEdgeCrash();
    void dampenCrashVelocity(Kinetic::RigidBody* body);
    // The roll tolerance of the collision tests: less for a leaning bike.
    float rollTolerance() const;

    // The bike's state, by concern.
    BikeInput input;              // packets and presses
    BikeLaps laps;                // laps, checkpoints, clocks and HUD marks
    BikeCrash crash;              // the crash, its triggers and the last collision
    BikeReset reset;              // where the bike is put back
    BikeParticles particles;      // particle counts, filters, textures and blocks
    BikeFrame frame;              // axes, speeds and velocity history
    BikeAir air;                  // preload, jumps, the air and landing
    BikeGround ground;            // terrain, wheel contacts and heights, pitch and roll
    BikeLean lean;                // the lean and its target
    BikeStatus status;            // flag words
    BikeRide ride;                // handling state, turns, slides, wheelies, nitro, speed limit
    BikeRiderMotion riderMotion;  // the rider's displacement on the bike

    // identity
    uint8_t inStunt = 0;
    char playerName[20] = {};
    uint8_t isCPU = 0;
    // components (owned by the vehicle)
    Kinetic::DefaultWheels* m_wheels = nullptr;
    Kinetic::DefaultChassis* m_chassis = nullptr;
    Kinetic::SteeringComponent* m_steering = nullptr;
    Kinetic::EngineComponent* m_engine = nullptr;
    Kinetic::TransmissionComponent* m_transmission = nullptr;
    Kinetic::BrakeComponent* m_brakes = nullptr;
    Kinetic::SuspensionComponent* m_suspension = nullptr;
    Kinetic::AerodynamicsComponent* m_aerodynamics = nullptr;
    Kinetic::DriverInputComponent* m_input = nullptr;
    // bodies (owned)
    std::unique_ptr<Kinetic::RigidBody> frontWheel;
    std::unique_ptr<Kinetic::RigidBody> backWheel;
    std::unique_ptr<Kinetic::RigidBody> chassis;
    std::unique_ptr<Kinetic::RigidBody> crashBike;
    // lean (the constraint and its solver owned; the collection the solver runs in not)
    std::unique_ptr<Kinetic::AngularConstraint1D> constraint;
    std::unique_ptr<Kinetic::FastConstraintSolver> csolver;
    Kinetic::RigidCollection* rc = nullptr;
    Kinetic::Geometry* g = nullptr;
    qzQuaternion q;
    // bonus
    CTrackBonus trackBonus;
    // collision groups
    unsigned int bikeCollisionGroup = 0, riderCollisionGroup = 0, bikeIndex = 0;
    uint8_t bikeRiderCollisionOn = 0;
    // chassis
    qzVector3d centerOfMass;
    // links
    CRiderModel* rider = nullptr;          // not owned
    CPowerBands* bikePowerBand = nullptr;  // owned by the engine component
    CSpeedBands* bikeSpeedBand = nullptr;  // owned by the engine component
    // display
    float speedScale = 1.0f;
    int32_t cameraId = -1;
    qzVector3d cameraLookAtPos, bikeCenterOfMassPos;
    // statistics and tuning
    CStats bikeStats;
    CBikeAttributes bikeAttributes;
    CRiderAttributes riderAttributes;
    TerrainFriction tFriction;
    Attributes attributes;
    // size (model units; 0 until the first update)
    float wheelBase = 0.0f;
    float bikeLength = 0.0f;

private:
    bool bodiesInWorld = false;
    // The construction's physics, in its phases: the four bodies, the vehicle's components, the
    // vehicle and its lean constraint, then the riding state and the collision groups.
    void buildPhysics(const BikePhysicsSetup& setup, int descriptionId, unsigned int isCPU);
    void createBodies(const BikePhysicsSetup& setup, int descriptionId);
    void buildComponents(const BikePhysicsSetup& setup, BikeBlueprints& blueprints);
    void buildEngine(const BikePhysicsSetup& setup, BikeBlueprints& blueprints);
    void buildRideComponents(const BikePhysicsSetup& setup, BikeBlueprints& blueprints);
    void buildVehicle(const BikePhysicsSetup& setup, BikeBlueprints& blueprints);
    void initialiseRidingState(const BikePhysicsSetup& setup, unsigned int isCPU);
    void setupCollisionGroups();
    // Phases of the per-frame update.
    void updateOffTrack();
    void measureBikeOnce();
    void applyStartBoost();
    void readBikeState();
    void updateVelocityHistory();
    void updateGroundAndAir();
    void holdBeforeStart();
    void rideStep();
    void finishUpdate();
    // Phases of the handling step.
    float pressedAmount(int action) const;  // 0..1 of a full press
    void requestWheelie();
    float chooseHandlingState();
    uint32_t chooseWheelieState(float& amount);
    uint32_t chooseGroundState(float& amount);
    uint32_t chooseAirState(float& amount);
    void trackStateRun();
    void prepareHandling(float amount);
    void runStateHandler();
    // Phases of the turning handler: the kind of turn, the set-up every kind shares (giving the turn's
    // gain and speed factor), the launches and the sharp turn on the throttle.
    struct TurnShape {
        float gain, speedFactor;
    };
    uint32_t chooseTurnKind(bool right, int32_t press);
    TurnShape setUpTurn(bool right);
    void driveTurn(bool right, uint32_t kind, const TurnShape& shape);
    void relaunch(bool right, float forward, bool raiseOnly);
    // The crash state machine's states, and the parts of the riding state a placing clears.
    void crashWatchRiding();
    void crashHandOver();
    void crashTumble();
    void restoreLastValidCrashPose();
    void crashPutBack();
    void crashResume();
    void resetRidingInput();
    void resetRidingCounters();
    void resetRidingHistory();
    void resetComponents();
    // Phases of the handling tail.
    void tailTurnCounters();
    void tailExitBoost();
    void tailPitchAndFriction();
    void tailSteerAndLean();
    void tailThrottle();
    float tailSlopeAndBrakes();
    void tailSuspension(float braking);
    void tailChassisForces();
    void tailCentreOfMass();
    // Phases of a power slide.
    void slideRunIn(bool right);
    void slideProper(bool right, bool braking);
    void slideEnd(bool right, bool braking);
    // Parts of the contact handling and the ground test.
    void dropJumpHelp();
    void bikeContact(KineticBike* bike, const Kinetic::CollisionEvent& event);
    void objectContact(CModelObject* other);
    float groundImpactScore(bool landed);
    float sunkWheelScore(float limit) const;
    float steepHillScore(float limit);
    // Parts of the preload and the jump assist.
    void preLoadPush();
    void preLoadFail();
    void preLoadHold();
    void preLoadRelease(bool takeOff);
    void jumpTakeOff(const qzVector3d& n, float limit);
    void startAssistedFlight();
    // Parts of the air handler.
    void addChassisTorque(const qzVector3d& t);  // N m, world axes
    void airPitch(float pitch);
    void airTurn(float authority);
    void throwFromWorldEdge(CWorldModel* world);
    // Parts of the tuning and of the packet's reading.
    void setBikeTuning();
    void setRiderTuning();
    void takeAccelerator(bool slide, uint8_t amount);
    bool takeTurn(int action, uint8_t byte);
    void takeTurns(const uint8_t* parms);
};
