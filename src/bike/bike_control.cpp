// KineticBike::control: from the packet's actions and the bike's contact and speed to a handling state,
// then that state's handler.
#include "bike/bike_control.h"

#include "bike/components/bike_brake.h"
#include "bike/components/bike_engine.h"
#include "bike/components/bike_steering.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/math.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/vehicle/driver_input_component.h"

float getSlopePoint(float x0, float y0, float x1, float y1, float x2, float y2, float x) {
    if (x < x1) {
        if (x < x0) return y0;
        const float t = x1 == x0 ? 1.0f : (x - x0) / (x1 - x0);
        return y0 + t * (y1 - y0);
    }
    const float t = (x <= x2 && x2 != x1) ? (x - x1) / (x2 - x1) : 1.0f;
    return y1 + t * (y2 - y1);
}

namespace {

constexpr float kRadToDeg = 57.2958f;
constexpr float kSlowTurnSpeed = 2.31481f;     // 8.33 km/h: slower turns are ridden straight
constexpr float kSlideAsTurnSpeed = 18.5185f;  // 66.67 km/h: slower power slides are ridden as turns
constexpr float kNearGround = 35.0f;           // wheel height (world units) still counted as near
constexpr float kFullSpeed = 30.0926f;         // 108.33 km/h: speed factor 1
constexpr float kPressScale = 244.0f;
constexpr float kFullCircle = 360.0f;      // degrees
constexpr float kStandstillSpeed = 50.0f;  // m/s: the slow factor is 0 from here
constexpr float kMaxCappedSpeedFactor = 0.85f;
constexpr float kMinTurnAmount = 0.25f;  // a press below a quarter counts as a quarter

qzVector3d cross(const qzVector3d& a, const qzVector3d& b) {
    return qzVector3d(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

}  // namespace

void KineticBike::addChassisVelocity(const qzVector3d& dv) {
    if (!chassis) return;
    chassis->m_linearVelocity = chassis->m_linearVelocity + Kinetic::Vector3(dv.x, dv.y, dv.z);
}

void KineticBike::limitChassisSpeed(float speed) {
    if (!chassis) return;
    Kinetic::Vector3& v = chassis->m_linearVelocity;
    const float mag = x_sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (mag <= speed) return;
    v = mag > 0.0f ? v * (speed / mag) : Kinetic::Vector3(0.0f, 0.0f, 0.0f);
}

void KineticBike::scaleEngineBoost(float s) {
    if (m_engine) static_cast<Kinetic::CBikeEngine*>(m_engine)->scaleEngineBoost(s);
}

void KineticBike::setLeanTau(float tau) {
    if (constraint) constraint->m_tau = tau;
}

void KineticBike::setRearWheelSteers(bool steers) {
    if (!m_steering) return;
    auto* steering = static_cast<Kinetic::CBikeSteering*>(m_steering);
    if (steering->m_wheelsDoesSteer.size() > 1) steering->m_wheelsDoesSteer[1] = steers;
}

void KineticBike::control() {
    requestWheelie();
    const float amount = chooseHandlingState();
    trackStateRun();
    prepareHandling(amount);
    runStateHandler();
}

float KineticBike::pressedAmount(int action) const {
    return static_cast<float>(input.pressed[action]) / kPressScale;
}

// Phase 1: the wheelie request.
void KineticBike::requestWheelie() {
    auto held = [this](int a) { return checkMessage(a); };
    ride.wheelieRequested = 0;
    if (held(BIKEACTION_WHEELIE)) {
        if (ground.distToGround[1] > kNearGround) ride.wheelieCounter = 180;
        if (static_cast<uint32_t>(ride.wheelieCounter) < 180u) {
            ride.wheelieRequested = 1;
            status.flags |= 1u << BIKE_WHEELIE;
        }
    }
    if (ride.wheelieCondition && !ride.wheelieRequested) {
        if ((held(BIKEACTION_LEFT_POWERSLIDE_BRAKE) && ride.bikeStateCounter[7] > 0) ||
            (held(BIKEACTION_LEFT_POWERSLIDE_ACCEL) && ride.bikeStateCounter[5] > 0) ||
            (held(BIKEACTION_RIGHT_POWERSLIDE_BRAKE) && ride.bikeStateCounter[8] > 0) ||
            (held(BIKEACTION_RIGHT_POWERSLIDE_ACCEL) && ride.bikeStateCounter[6] > 0))
            ride.wheelieCondition = 0;
    }
    if (ride.wheelieCondition) ++ride.wheelieCounter;
    if (!held(BIKEACTION_WHEELIE) && ground.wheelInfo[0].m_isInContact) ride.wheelieCounter = 0;
}

// Phase 2: the handling state, and the amount (0..1) of the action that chose it.
float KineticBike::chooseHandlingState() {
    HandlingParams& p = handling;
    p = HandlingParams{};
    p.frictionTarget[0] = p.frictionTarget[1] = 2.0f * tFriction.drive.coast;
    p.onGround = ground.minDistToGround <= 0.0f;
    p.nearGround = ground.distToGround[0] <= kNearGround && ground.distToGround[1] <= kNearGround;
    float amount = 0.0f;
    uint32_t state = BIKESTATE_COAST;
    if (p.onGround && (ride.wheelieCondition || ride.wheelieRequested))
        state = chooseWheelieState(amount);
    else if (p.onGround)
        state = chooseGroundState(amount);
    else
        state = chooseAirState(amount);
    ride.bikeState = state;
    if (amount > 1.0f) amount = 1.0f;
    return amount;
}

// Wheelie on the ground: a held turn or slide makes it a wheelie turn.
uint32_t KineticBike::chooseWheelieState(float& amount) {
    auto held = [this](int a) { return checkMessage(a); };
    uint32_t state = BIKESTATE_WHEELIE;
    auto pick = [&](uint32_t s, int action) {
        state = s;
        amount = pressedAmount(action);
    };
    static constexpr struct {
        int action;
        uint32_t state;
    } kWheelieTurns[] = {
        {BIKEACTION_LEFT_TURN, BIKESTATE_WHEELIE_LEFT},
        {BIKEACTION_LEFT_POWERSLIDE_ACCEL, BIKESTATE_WHEELIE_LEFT},
        {BIKEACTION_LEFT_POWERSLIDE_BRAKE, BIKESTATE_WHEELIE_LEFT},
        {BIKEACTION_RIGHT_TURN, BIKESTATE_WHEELIE_RIGHT},
        {BIKEACTION_RIGHT_POWERSLIDE_ACCEL, BIKESTATE_WHEELIE_RIGHT},
        {BIKEACTION_RIGHT_POWERSLIDE_BRAKE, BIKESTATE_WHEELIE_RIGHT},
    };
    for (const auto& w : kWheelieTurns) {
        if (!held(w.action)) continue;
        pick(w.state, w.action);
        break;
    }
    return state;
}

// On the ground: a slow turn is ridden straight; a slow slide (begun slow too) is ridden as a turn.
uint32_t KineticBike::chooseGroundState(float& amount) {
    auto held = [this](int a) { return checkMessage(a); };
    uint32_t state = BIKESTATE_COAST;
    auto pick = [&](uint32_t s, int action) {
        state = s;
        amount = pressedAmount(action);
    };
    auto straight = [&]() {
        return held(BIKEACTION_BRAKE)   ? BIKESTATE_BRAKE
               : held(BIKEACTION_ACCEL) ? BIKESTATE_ACCEL
                                        : BIKESTATE_COAST;
    };
    auto slide = [&](int action, int turnAction, uint32_t turnState, uint32_t slideState) {
        if (ride.eventStartVelocityMag < kSlideAsTurnSpeed && frame.linearVelocityMag < kSlideAsTurnSpeed) {
            input.pressed[turnAction] = input.pressed[action];
            pick(turnState, action);
        } else {
            pick(slideState, action);
        }
    };
    if (held(BIKEACTION_STOPPIE)) {
        state = BIKESTATE_STOPPIE;
    } else if (held(BIKEACTION_LEFT_TURN)) {
        if (frame.linearVelocityMag > kSlowTurnSpeed)
            pick(BIKESTATE_LEFT_TURN, BIKEACTION_LEFT_TURN);
        else
            state = straight();
    } else if (held(BIKEACTION_RIGHT_TURN)) {
        if (frame.linearVelocityMag > kSlowTurnSpeed)
            pick(BIKESTATE_RIGHT_TURN, BIKEACTION_RIGHT_TURN);
        else
            state = straight();
    } else if (held(BIKEACTION_LEFT_POWERSLIDE_BRAKE)) {
        slide(BIKEACTION_LEFT_POWERSLIDE_BRAKE, BIKEACTION_LEFT_TURN, BIKESTATE_LEFT_TURN,
              BIKESTATE_LEFT_POWERSLIDE_BRAKE);
    } else if (held(BIKEACTION_RIGHT_POWERSLIDE_BRAKE)) {
        slide(BIKEACTION_RIGHT_POWERSLIDE_BRAKE, BIKEACTION_RIGHT_TURN, BIKESTATE_RIGHT_TURN,
              BIKESTATE_RIGHT_POWERSLIDE_BRAKE);
    } else if (held(BIKEACTION_LEFT_POWERSLIDE_ACCEL)) {
        slide(BIKEACTION_LEFT_POWERSLIDE_ACCEL, BIKEACTION_LEFT_TURN, BIKESTATE_LEFT_TURN,
              BIKESTATE_LEFT_POWERSLIDE_ACCEL);
    } else if (held(BIKEACTION_RIGHT_POWERSLIDE_ACCEL)) {
        slide(BIKEACTION_RIGHT_POWERSLIDE_ACCEL, BIKEACTION_RIGHT_TURN, BIKESTATE_RIGHT_TURN,
              BIKESTATE_RIGHT_POWERSLIDE_ACCEL);
    } else {
        state = straight();
    }
    return state;
}

// In the air, and near the ground a held power slide to land into.
uint32_t KineticBike::chooseAirState(float& amount) {
    auto held = [this](int a) { return checkMessage(a); };
    uint32_t state = BIKESTATE_IN_AIR;
    auto pick = [&](uint32_t s, int action) {
        state = s;
        amount = pressedAmount(action);
    };
    if (handling.nearGround) {
        static constexpr struct {
            int action;
            uint32_t state;
        } kLandingSlides[] = {
            {BIKEACTION_LEFT_POWERSLIDE_BRAKE, BIKESTATE_LEFT_POWERSLIDE_BRAKE},
            {BIKEACTION_RIGHT_POWERSLIDE_BRAKE, BIKESTATE_RIGHT_POWERSLIDE_BRAKE},
            {BIKEACTION_LEFT_POWERSLIDE_ACCEL, BIKESTATE_LEFT_POWERSLIDE_ACCEL},
            {BIKEACTION_RIGHT_POWERSLIDE_ACCEL, BIKESTATE_RIGHT_POWERSLIDE_ACCEL},
        };
        for (const auto& s : kLandingSlides) {
            if (!held(s.action)) continue;
            pick(s.state, s.action);
            break;
        }
    }
    return state;
}

// Phase 3: a state change starts a new run; within a run the heading change is summed.
void KineticBike::trackStateRun() {
    const float heading = x_atan2(frame.fForwardDir.x, frame.fForwardDir.z) * kRadToDeg;
    if (ride.bikeState != ride.lastFrameBikeState) {
        ride.lastBikeState = ride.lastFrameBikeState;
        ride.lastBikeStateCounter = ride.bikeStateCounter[ride.lastBikeState % BIKESTATE_NUM_STATES];
        ride.bikeStateCounter[ride.lastBikeState % BIKESTATE_NUM_STATES] = 0;
        ride.powerSlideLeftGround = 0;
        ride.eventStartVelocity = linearVelocity;
        ride.eventStartFRightDir = frame.fRightDir;
        ride.eventStartVelocityMag = frame.linearVelocityMag;
        ride.bikeStateCounter[ride.bikeState] = 0;
        ride.eventStartAngle = heading;
        ride.eventDeltaAngle = 0.0f;
    } else {
        // Two unit vectors can give a dot product just past 1; the angle between them is then 0.
        float dot = frame.lastFForwardDir * frame.fForwardDir;
        if (dot > 1.0f) dot = 1.0f;
        if (dot < -1.0f) dot = -1.0f;
        ride.eventDeltaAngle += x_acos(dot) * kRadToDeg;
        const float d1 = heading - ride.eventStartAngle;
        const float d2 = (heading + kFullCircle) - ride.eventStartAngle;
        const float d3 = (heading - kFullCircle) - ride.eventStartAngle;
        if (x_fabs(d1) < x_fabs(d2))
            ride.eventFromStartAngle = x_fabs(d1) < x_fabs(d3) ? d1 : d3;
        else
            ride.eventFromStartAngle = x_fabs(d2) < x_fabs(d3) ? d2 : d3;
    }
    ride.lastFrameBikeState = ride.bikeState;
}

// Phase 4: speed factors, handbrake and rear steering off, the ground frame.
void KineticBike::prepareHandling(float amount) {
    HandlingParams& p = handling;
    p.slowFactor =
        1.0f - (frame.linearVelocityMag / kStandstillSpeed < 1.0f ? frame.linearVelocityMag / kStandstillSpeed
                                                                  : 1.0f);
    const float f = frame.linearVelocityMag / kFullSpeed;
    p.speedFactor = f < 1.0f ? f : 1.0f;
    p.cappedSpeedFactor = f < kMaxCappedSpeedFactor ? f : kMaxCappedSpeedFactor;
    p.speedChange = frame.linearVelocityMag - frame.lastLinearVelocityMag;
    if (auto* brake = dynamic_cast<Kinetic::CBikeBrake*>(m_brakes))
        for (size_t i = 0; i < brake->m_wheelsIsConnectedToHandbrake.size() && i < 2; ++i)
            brake->m_wheelsIsConnectedToHandbrake[i] = false;
    if (m_input) m_input->m_handbrakeOn = false;
    setRearWheelSteers(false);
    p.groundNormal = ground.wheelNormVec[0];
    p.rollAxis = cross(p.groundNormal, frame.rightDir);
    p.pitchAxis = cross(p.rollAxis, p.groundNormal);
    if (chassis) {
        const qzVector3d w(chassis->m_angularVelocity.x, chassis->m_angularVelocity.y,
                           chassis->m_angularVelocity.z);
        p.rollRate = w * p.rollAxis;
        p.pitchRate = w * p.pitchAxis;
    }
    p.pitchRateScale = 1.0f;
    if (amount > 0.0f && amount < kMinTurnAmount) amount = kMinTurnAmount;
    p.turnAmount = amount;
    ride.throttleUpActive = 0;
}

// Phase 5: the state's handler.
void KineticBike::runStateHandler() {
    switch (ride.bikeState) {
        case BIKESTATE_COAST:
        case BIKESTATE_ACCEL:
        case BIKESTATE_BRAKE:
        case BIKESTATE_WHEELIE:
        case BIKESTATE_STOPPIE:
            straightHandler();
            break;
        case BIKESTATE_LEFT_TURN:
        case BIKESTATE_RIGHT_TURN:
            turningHandler(ride.bikeState == BIKESTATE_RIGHT_TURN);
            break;
        case BIKESTATE_LEFT_POWERSLIDE_ACCEL:
        case BIKESTATE_RIGHT_POWERSLIDE_ACCEL:
        case BIKESTATE_LEFT_POWERSLIDE_BRAKE:
        case BIKESTATE_RIGHT_POWERSLIDE_BRAKE:
            powerSlideHandler(ride.bikeState == BIKESTATE_RIGHT_POWERSLIDE_ACCEL ||
                                  ride.bikeState == BIKESTATE_RIGHT_POWERSLIDE_BRAKE,
                              ride.bikeState == BIKESTATE_LEFT_POWERSLIDE_BRAKE ||
                                  ride.bikeState == BIKESTATE_RIGHT_POWERSLIDE_BRAKE);
            break;
        case BIKESTATE_IN_AIR:
            inAirHandler();
            break;
        case BIKESTATE_WHEELIE_LEFT:
        case BIKESTATE_WHEELIE_RIGHT:
            wheelieTurnHandler(ride.bikeState == BIKESTATE_WHEELIE_RIGHT);
            break;
        default:
            break;
    }
}
