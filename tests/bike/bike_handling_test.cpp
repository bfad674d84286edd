// The bike's handling step: the choice of handling state, the turn amount and heading bookkeeping, and
// the handlers of turns, power slides, straight riding, wheelies, stoppies and the air, on a bike held
// in a chosen situation (no world; the tail of the handling is not run).
#include <gtest/gtest.h>

#include <cmath>

#include "bike/bike_control.h"
#include "bike/bike_turning.h"
#include "bike/components/bike_engine.h"
#include "bike_world.h"
#include "kinetic/dynamics/angular_constraint_1d.h"
#include "kinetic/dynamics/kn_bike_roll_constraint.h"

namespace {

class HandlingTest : public ::testing::Test {
protected:
    // Holds `actions` with press amount `press` on every turn and slide action and 232 on forward and back.
    static void Hold(KineticBike* b, std::initializer_list<int> actions, int press = 244) {
        b->input.bikePacket = 0;
        for (int a : actions) {
            b->input.bikePacket |= 1u << a;
            b->input.pressed[a] = (a == BIKEACTION_FORWARD || a == BIKEACTION_BACK) ? 232 : press;
        }
    }
    // Wheels at `height` above the ground (0: both on it), riding at `speed` m/s.
    static void Place(KineticBike* b, float height, float speed) {
        b->ground.minDistToGround = b->ground.distToGround[0] = b->ground.distToGround[1] = height;
        b->frame.linearVelocityMag = b->frame.lastLinearVelocityMag = b->ride.eventStartVelocityMag = speed;
        b->chassis->m_linearVelocity = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        b->frame.lastFForwardDir = b->frame.fForwardDir;
    }
    // Runs the step with the bike already in `state` for `frames` frames.
    static void Continue(KineticBike* b, uint32_t state, int frames) {
        b->ride.lastFrameBikeState = state;
        b->ride.bikeStateCounter[state] = frames;
        b->control();
    }
    static float Speed(const KineticBike* b) { return b->chassis->m_linearVelocity.length(); }

    biketest::LoneBikes lone_;
    KineticBike* bike_ = lone_.Build();
};

TEST(SlopePoint, IsFlatBeyondTheEndsAndStraightBetweenThePoints) {
    // clang-format off
    struct Case { float x0, y0, x1, y1, x2, y2, x, want; };
    for (const Case& c : {Case{0, 0.75f, 18.5185f, 0.45f, 30.0926f, 1, -5, 0.75f},
                          Case{0, 0.75f, 18.5185f, 0.45f, 30.0926f, 1, 9.25925f, 0.6f},
                          Case{0, 0.75f, 18.5185f, 0.45f, 30.0926f, 1, 18.5185f, 0.45f},
                          Case{0, 0.75f, 18.5185f, 0.45f, 30.0926f, 1, 40, 1},
                          Case{0, 0, 60, 0, 120, 1, 90, 0.5f}, Case{0, 1, 40, 1, 120, 0, 100, 0.25f},
                          Case{5, 2, 5, 4, 9, 8, 4, 2},  // left of a zero-width first segment
                          Case{0, 2, 5, 4, 5, 8, 5, 8},  // a zero-width second segment jumps to its end
                          Case{0, 0, 0.25f, 0.5f, 1, 1, 0.125f, 0.25f}})
        // clang-format on
        EXPECT_NEAR(getSlopePoint(c.x0, c.y0, c.x1, c.y1, c.x2, c.y2, c.x), c.want, 1e-5f) << c.x;
}

TEST_F(HandlingTest, StateFollowsInputSpeedAndHeightAboveGround) {
    // clang-format off
    struct Case { std::initializer_list<int> actions; float height, speed, startSpeed; bool wheelie; uint32_t want; };
    const Case cases[] = {
        {{BIKEACTION_LEFT_TURN}, 0, 2.31481f, 2.31481f, false, BIKESTATE_COAST},
        {{BIKEACTION_LEFT_TURN}, 0, 2.32f, 2.32f, false, BIKESTATE_LEFT_TURN},
        {{BIKEACTION_LEFT_TURN, BIKEACTION_BRAKE}, 0, 2.0f, 2.0f, false, BIKESTATE_BRAKE},
        {{BIKEACTION_RIGHT_TURN, BIKEACTION_ACCEL}, 0, 2.0f, 2.0f, false, BIKESTATE_ACCEL},
        {{BIKEACTION_RIGHT_TURN}, 0, 10, 10, false, BIKESTATE_RIGHT_TURN},
        {{BIKEACTION_STOPPIE, BIKEACTION_LEFT_TURN}, 0, 10, 10, false, BIKESTATE_STOPPIE},
        {{BIKEACTION_LEFT_POWERSLIDE_BRAKE}, 0, 18.0f, 18.0f, false, BIKESTATE_LEFT_TURN},
        {{BIKEACTION_LEFT_POWERSLIDE_BRAKE}, 0, 18.0f, 19.0f, false, BIKESTATE_LEFT_POWERSLIDE_BRAKE},
        {{BIKEACTION_RIGHT_POWERSLIDE_ACCEL}, 0, 25, 25, false, BIKESTATE_RIGHT_POWERSLIDE_ACCEL},
        {{BIKEACTION_RIGHT_POWERSLIDE_ACCEL}, 0, 10, 10, false, BIKESTATE_RIGHT_TURN},
        {{BIKEACTION_RIGHT_TURN}, 0, 10, 10, true, BIKESTATE_WHEELIE_RIGHT},
        {{BIKEACTION_LEFT_POWERSLIDE_BRAKE}, 0, 10, 10, true, BIKESTATE_WHEELIE_LEFT},
        {{BIKEACTION_ACCEL}, 0, 10, 10, true, BIKESTATE_WHEELIE},
        {{BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 35, 10, 10, false, BIKESTATE_LEFT_POWERSLIDE_ACCEL},
        {{BIKEACTION_RIGHT_POWERSLIDE_BRAKE}, 20, 10, 10, false, BIKESTATE_RIGHT_POWERSLIDE_BRAKE},
        {{BIKEACTION_LEFT_TURN}, 20, 10, 10, false, BIKESTATE_IN_AIR},
        {{BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 35.5f, 10, 10, false, BIKESTATE_IN_AIR},
    };
    // clang-format on
    for (const Case& c : cases) {
        Hold(bike_, c.actions);
        Place(bike_, c.height, c.speed);
        bike_->ride.eventStartVelocityMag = c.startSpeed;
        bike_->ride.wheelieCondition = c.wheelie;
        bike_->control();
        EXPECT_EQ(bike_->ride.bikeState, c.want) << "case " << (&c - cases);
    }
    // High above the ground every input is in the air.
    bike_->ride.wheelieCondition = false;
    Place(bike_, 36.0f, 20.0f);
    for (int a = BIKEACTION_NOACTION; a < BIKEACTION_NUM_STATES; ++a) {
        Hold(bike_, {a, BIKEACTION_ACCEL});
        bike_->control();
        EXPECT_EQ(bike_->ride.bikeState, BIKESTATE_IN_AIR) << "action " << a;
    }
    // A slow slide ridden as a turn takes its press as the turn press.
    Hold(bike_, {BIKEACTION_LEFT_POWERSLIDE_ACCEL}, 180);
    bike_->input.pressed[BIKEACTION_LEFT_TURN] = 0;
    Place(bike_, 0.0f, 12.0f);
    bike_->control();
    EXPECT_EQ(bike_->ride.bikeState, BIKESTATE_LEFT_TURN);
    EXPECT_EQ(bike_->input.pressed[BIKEACTION_LEFT_TURN], 180);
}

TEST_F(HandlingTest, TurnAmountIsThePressOver244RaisedToAQuarterAndCappedAtOne) {
    // clang-format off
    for (auto [press, want] : {std::pair{91, 0.37295f}, {244, 1.0f}, {255, 1.0f}, {40, 0.25f}, {61, 0.25f}, {0, 0.0f}}) {
        // clang-format on
        Hold(bike_, {BIKEACTION_LEFT_TURN}, press);
        Place(bike_, 0.0f, 10.0f);
        bike_->control();
        EXPECT_NEAR(bike_->handling.turnAmount, want, 1e-4f) << press;
    }
}

TEST_F(HandlingTest, HeadingFromTheStartWrapsAcrossTheHalfTurn) {
    auto face = [this](float degrees) {
        const float r = degrees * 0.0174533f;
        bike_->frame.lastFForwardDir = bike_->frame.fForwardDir;
        bike_->frame.fForwardDir = qzVector3d(std::sin(r), 0.0f, std::cos(r));
    };
    // clang-format off
    struct Case { float from, to, want; };
    for (const Case& c : {Case{-175, 175, -10}, Case{175, -175, 10}, Case{10, 40, 30}, Case{-90, 60, 150}}) {
        // clang-format on
        Hold(bike_, {BIKEACTION_ACCEL});
        Place(bike_, 0.0f, 10.0f);
        bike_->ride.lastFrameBikeState = BIKESTATE_COAST;  // a new run starts at `from`
        face(c.from);
        bike_->control();
        face(c.to);
        bike_->control();
        EXPECT_NEAR(bike_->ride.eventFromStartAngle, c.want, 0.01f) << c.from << " to " << c.to;
    }
}

TEST_F(HandlingTest, WheelieHeldHighUpEndsTheAttemptAndReleasingOnTheFrontWheelRestartsIt) {
    Hold(bike_, {BIKEACTION_WHEELIE});
    Place(bike_, 0.0f, 10.0f);
    bike_->ground.distToGround[1] = 35.0f;
    bike_->control();
    EXPECT_TRUE(bike_->ride.wheelieRequested);
    EXPECT_TRUE(bike_->status.flags & (1u << BIKE_WHEELIE));
    bike_->status.flags = 0;
    bike_->ground.distToGround[1] = 36.0f;
    bike_->control();
    EXPECT_EQ(bike_->ride.wheelieCounter, 180);
    EXPECT_FALSE(bike_->ride.wheelieRequested);
    EXPECT_FALSE(bike_->status.flags & (1u << BIKE_WHEELIE));
    Hold(bike_, {});
    bike_->ground.wheelInfo[0].m_isInContact = true;
    bike_->control();
    EXPECT_EQ(bike_->ride.wheelieCounter, 0);
}

// Turning: a launch from near standstill on the throttle, then the sharp turn at speed.
TEST_F(HandlingTest, TurnKindsLaunchOnlyForHumansAfterTheFirstFrameAndKickFromTheSeventh) {
    KineticBike* cpu = lone_.Build(0, true);
    for (KineticBike* b : {bike_, cpu}) {
        b->tFriction.fromStop = {1.0f, 1.0f, 1.0f};
        b->attributes.corneringPercent = 1.0f;
        b->ride.throttleUp = 0.5f;
    }
    // clang-format off
    struct Case { KineticBike* bike; int frame; uint32_t kind; bool kicked; };
    for (const Case& c : {Case{bike_, 0, TURN_NORMAL, false}, Case{bike_, 1, TURN_LAUNCH, false}, Case{bike_, 6, TURN_LAUNCH, false},
                          Case{bike_, 7, TURN_LAUNCH, true}, Case{cpu, 1, TURN_NORMAL, false}, Case{cpu, 30, TURN_NORMAL, false}}) {
        // clang-format on
        Hold(c.bike, {BIKEACTION_LEFT_TURN, BIKEACTION_ACCEL}, 244);
        Place(c.bike, 0.0f, 3.0f);
        Continue(c.bike, BIKESTATE_LEFT_TURN, c.frame);
        EXPECT_EQ(c.bike->ride.leftTurnType, c.kind) << "frame " << c.frame;
        EXPECT_EQ(Speed(c.bike) > 0.0f, c.kicked) << "frame " << c.frame;
    }
    // The launch kick goes to the inside of the turn: right for a left turn.
    const qzVector3d v(bike_->chassis->m_linearVelocity.x, 0.0f, bike_->chassis->m_linearVelocity.z);
    EXPECT_GT(v * bike_->frame.fRightDir, 0.0f);
}

TEST_F(HandlingTest, SharpTurnNeedsMoreThan23MetresASecond) {
    // clang-format off
    struct Case { float speed; int lastPress, held; uint32_t kind; };
    for (const Case& c : {Case{23.1481f, 0, 0, TURN_NORMAL}, Case{23.2f, 0, 0, TURN_SHARP},
                          Case{23.2f, 200, 0, TURN_NORMAL},  // pressed too slowly
                          Case{23.2f, 244, 70, TURN_SHARP},  // held at 181 or more for 71 frames
                          Case{23.2f, 244, 69, TURN_NORMAL}}) {
        // clang-format on
        Hold(bike_, {BIKEACTION_RIGHT_TURN}, 244);
        Place(bike_, 0.0f, c.speed);
        bike_->ride.throttleUp = 1.0f;
        bike_->ride.rightTurnType = TURN_NORMAL;
        bike_->ride.lastRightTurnPressed = c.lastPress;
        bike_->ride.sharpRightTurnPressedCounter = c.held;
        Continue(bike_, BIKESTATE_RIGHT_TURN, 3);
        EXPECT_EQ(bike_->ride.rightTurnType, c.kind) << c.speed << " " << c.lastPress << " " << c.held;
    }
}

TEST_F(HandlingTest, TurnPedalStepsAndGripEasingInUnderBrakingAndInASharpTurn) {
    // clang-format off
    struct Steps { std::initializer_list<int> pedals; float throttle, brake; };
    for (const Steps& c : {Steps{{}, 0.0f, 0.0f}, Steps{{BIKEACTION_ACCEL}, 0.01f, 0.0f}, Steps{{BIKEACTION_BRAKE}, 0.0f, 0.01f},
                           Steps{{BIKEACTION_ACCEL, BIKEACTION_BRAKE}, 0.0f, 0.01f}}) {
        // clang-format on
        Hold(bike_, c.pedals);
        bike_->input.bikePacket |= 1u << BIKEACTION_LEFT_TURN;
        bike_->input.pressed[BIKEACTION_LEFT_TURN] = 200;
        Place(bike_, 0.0f, 3.0f);
        Continue(bike_, BIKESTATE_LEFT_TURN, 20);
        EXPECT_EQ(bike_->handling.throttleStep, c.throttle);
        EXPECT_EQ(bike_->handling.brakeStep, c.brake);
        EXPECT_TRUE(bike_->status.flags & (1u << BIKE_LEFT_TURN));
    }
    bike_->tFriction.turn.normal = 1.0f;
    bike_->tFriction.slide.normal = 1.0f;
    bike_->crash.movingForward = 1;
    // clang-format off
    struct Case { int pedal; float speed, turned; int counter; float grip; };  // counter: braking or sharp frames
    const Case cases[] = {
        {BIKEACTION_BRAKE, 10, 0, 0, 0.125f}, {BIKEACTION_BRAKE, 10, 0, 60, 0.125f}, {BIKEACTION_BRAKE, 10, 0, 120, 0.5625f},
        {BIKEACTION_BRAKE, 10, 0, 180, 1},    {BIKEACTION_BRAKE, 6, 0, 0, 2},        {BIKEACTION_BRAKE, 10, 95, 0, 2},
        {BIKEACTION_ACCEL, 24, 0, 10, 0},     {BIKEACTION_ACCEL, 24, 0, 35, 1},      {BIKEACTION_ACCEL, 24, 0, 50, 2},
        {BIKEACTION_ACCEL, 24, 0, 120, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        bike_->input.bikePacket = 1u << BIKEACTION_LEFT_TURN | 1u << c.pedal;
        bike_->input.pressed[BIKEACTION_LEFT_TURN] = bike_->ride.lastLeftTurnPressed = 200;
        Place(bike_, 0.0f, c.speed);
        bike_->ride.throttleUp = 1.0f;
        bike_->ride.leftTurnBrakeCounter = bike_->ride.sharpTurnCounter = c.counter;
        bike_->ride.leftTurnType = c.pedal == BIKEACTION_ACCEL ? TURN_SHARP : TURN_NORMAL;
        bike_->ride.eventDeltaAngle = c.turned;
        Continue(bike_, BIKESTATE_LEFT_TURN, 30);
        EXPECT_NEAR(bike_->handling.frictionTarget[0], c.grip, 1e-5f) << "case " << (&c - cases);
    }
}

// Power slides, called directly past their run-in.
TEST_F(HandlingTest, SlideTurnsThroughItsHeadingBudgetThenEnds) {
    // clang-format off
    struct Case { bool braking; float startSpeed, turned; bool sliding; };
    for (const Case& c : {Case{false, 34.7222f, 269, true}, Case{false, 34.7222f, 271, false}, Case{true, 34.7222f, 199, true},
                          Case{true, 34.7222f, 201, false}, Case{false, 17.3611f, 134, true}, Case{false, 17.3611f, 136, false},
                          Case{true, 17.3611f, 99, true}, Case{true, 17.3611f, 101, false}}) {
        // clang-format on
        bike_->status.flags = bike_->input.bikePacket = 0;
        bike_->ride.turnCounter = -19;
        bike_->ride.powerSlideEnd = bike_->ride.powerSlideBrakeTurnCounter = 0;
        bike_->ride.eventStartVelocityMag = c.startSpeed;
        bike_->ride.eventDeltaAngle = c.turned;
        bike_->ride.bikeState = c.braking ? BIKESTATE_LEFT_POWERSLIDE_BRAKE : BIKESTATE_LEFT_POWERSLIDE_ACCEL;
        bike_->powerSlideHandler(false, c.braking);
        EXPECT_EQ(!bike_->ride.powerSlideEnd, c.sliding) << c.braking << " " << c.turned;
        EXPECT_TRUE(bike_->status.flags & (1u << BIKE_POWERSLIDE_LEFT));
    }
}

TEST_F(HandlingTest, SlideGripIsZeroAtFirstAndFullAfterItsRamp) {
    bike_->tFriction.ps.normal = bike_->tFriction.psb.normal = 1.0f;
    // clang-format off
    struct Case { bool braking; int frame; float grip; };
    for (const Case& c : {Case{false, 0, 0}, Case{false, 60, 0}, Case{false, 90, 1}, Case{false, 120, 2},
                          Case{false, 200, 2}, Case{true, 40, 0}, Case{true, 60, 1.5f}, Case{true, 80, 3}}) {
        // clang-format on
        bike_->ride.turnCounter = 19;
        bike_->ride.powerSlideEnd = bike_->ride.powerSlideBrakeTurnCounter = 0;
        bike_->ride.eventStartVelocityMag = 30.0f;
        bike_->ride.eventDeltaAngle = 0.0f;
        bike_->ride.bikeStateCounter3 = c.frame;
        bike_->powerSlideHandler(true, c.braking);
        EXPECT_NEAR(bike_->handling.frictionTarget[0], c.grip, 1e-5f) << c.braking << " " << c.frame;
        EXPECT_EQ(bike_->handling.frictionTarget[1], bike_->handling.frictionTarget[0]);
        EXPECT_EQ(bike_->ride.bikeStateCounter3, c.frame + 1);
    }
}

TEST_F(HandlingTest, LightPressBecomesFullAsTheRunInGoesOn) {
    // clang-format off
    struct Case { bool right; int counter; float amount, want; };
    for (const Case& c : {Case{false, -9, 0.4f, 1.0f}, Case{false, -9, 0.6f, 0.6f}, Case{true, 9, 0.4f, 1.0f},
                          Case{true, 9, 0.6f, 0.6f}, Case{false, 9, 0.4f, 0.4f}}) {
        // clang-format on
        bike_->ride.turnCounter = c.counter;
        bike_->ride.powerSlideLeftGround = 0;
        bike_->handling.turnAmount = c.amount;
        bike_->powerSlideHandler(c.right, false);
        EXPECT_FLOAT_EQ(bike_->handling.turnAmount, c.want) << c.right << " " << c.amount;
        EXPECT_TRUE(bike_->status.flags & (1u << (c.right ? BIKE_RIGHT_TURN : BIKE_LEFT_TURN)));
    }
}

// Straight riding, wheelies and the stoppie.
TEST_F(HandlingTest, StoppieShiftsTheWeightBackOnlyWhenNearlyStoppedAndAWheelieTurnQuartersTheBoost) {
    for (auto [speed, shift] : {std::pair{2.0f, 2u}, {2.31481f, 2u}, {3.0f, 1u}}) {
        Hold(bike_, {BIKEACTION_STOPPIE});
        Place(bike_, 0.0f, speed);
        bike_->status.flags = 0;
        bike_->control();
        EXPECT_EQ(bike_->ride.bikeState, BIKESTATE_STOPPIE);
        EXPECT_EQ(bike_->ride.comShiftState, shift) << speed;
        EXPECT_TRUE(bike_->status.flags & (1u << BIKE_STOPPIE));
    }
    auto* engine = static_cast<Kinetic::CBikeEngine*>(bike_->m_engine);
    engine->setEngineBoost(1.0f);
    Hold(bike_, {BIKEACTION_RIGHT_TURN, BIKEACTION_ACCEL});
    Place(bike_, 0.0f, 10.0f);
    bike_->ride.wheelieCondition = 1;
    for (int frame = 1; frame <= 3; ++frame) {
        bike_->control();
        EXPECT_EQ(bike_->ride.bikeState, BIKESTATE_WHEELIE_RIGHT);
        EXPECT_FLOAT_EQ(engine->engineBoost, std::pow(0.25f, static_cast<float>(frame)));
    }
}

// The air.
TEST_F(HandlingTest, AirTurnPushFadesToAQuarterAfter135Frames) {
    Hold(bike_, {BIKEACTION_LEFT_TURN}, 244);
    Place(bike_, 100.0f, 20.0f);
    Continue(bike_, BIKESTATE_IN_AIR, 0);
    const float full = Speed(bike_);
    ASSERT_GT(full, 0.0f);
    for (auto [frames, share] : {std::pair{90, 0.5f}, {135, 0.25f}, {300, 0.25f}}) {
        Place(bike_, 100.0f, 20.0f);
        Continue(bike_, BIKESTATE_IN_AIR, frames);
        EXPECT_NEAR(Speed(bike_) / full, share, 1e-4f) << frames;
    }
}

TEST_F(HandlingTest, AirPitchTorqueFollowsStickPedalsAndTurnedAngle) {
    // clang-format off
    struct Case { std::initializer_list<int> actions; float turned, torque; };  // along the bike's right axis
    const Case cases[] = {
        {{BIKEACTION_FORWARD}, 0, -21000}, {{BIKEACTION_BRAKE}, 0, -5250}, {{BIKEACTION_BACK}, 0, 21000},
        {{BIKEACTION_ACCEL}, 0, 5250}, {{BIKEACTION_FORWARD}, 30, -10500}, {{BIKEACTION_BACK}, -60, 10500},
        {{BIKEACTION_BRAKE, BIKEACTION_BACK}, 0, 21000}, {{BIKEACTION_ACCEL, BIKEACTION_FORWARD}, 0, -21000}, {{}, 0, 0},
    };
    // clang-format on
    for (const Case& c : cases) {
        Hold(bike_, c.actions);
        bike_->chassis->m_torqueAccum = Kinetic::Vector3(0.0f, 0.0f, 0.0f);
        bike_->ride.eventFromStartAngle = c.turned;
        bike_->inAirHandler();
        const Kinetic::Vector3 t = bike_->chassis->m_torqueAccum;
        const qzVector3d& r = bike_->frame.rightDir;
        EXPECT_NEAR(t.x * r.x + t.y * r.y + t.z * r.z, c.torque, 0.5f) << "case " << (&c - cases);
    }
}

TEST_F(HandlingTest, WhipLeansAgainstTheTurnAlreadyMadeAndItsPercentIsTheRollOver80) {
    Kinetic::kn_Bike_Roll_Constraint* roll = bike_->constraint->getRollConstraint();
    ASSERT_NE(roll, nullptr);
    // clang-format off
    struct Case { bool right; float turned, lean; };  // degrees
    for (const Case& c : {Case{false, 10, 0}, Case{false, -20, 50}, Case{false, -48, 120}, Case{false, -90, 120},
                          Case{true, -10, 0}, Case{true, 20, -50}, Case{true, 48, -120}}) {
        // clang-format on
        Hold(bike_, {c.right ? BIKEACTION_RIGHT_TURN : BIKEACTION_LEFT_TURN, BIKEACTION_WHIP});
        bike_->ride.eventFromStartAngle = c.turned;
        bike_->inAirHandler();
        EXPECT_NEAR(roll->get_roll_angle() * 57.2958f, c.lean, 1e-3f) << c.right << " " << c.turned;
        EXPECT_FLOAT_EQ(bike_->constraint->m_tau, 0.75f);
    }
    for (auto [rollAngle, percent] :
         {std::pair{40.0f, 0.5f}, {-40.0f, -0.5f}, {100.0f, 1.0f}, {-100.0f, -1.0f}, {0.0f, 0.0f}}) {
        bike_->ground.bikeRoll = rollAngle;
        bike_->inAirHandler();
        EXPECT_FLOAT_EQ(bike_->air.inAirWhipPercent, percent) << rollAngle;
    }
    bike_->inStunt = 1;
    bike_->inAirHandler();
    EXPECT_EQ(roll->get_roll_angle(), 0.0f);
}

TEST_F(HandlingTest, InTheAirTheTailGetsCoastingValuesNotLeftovers) {
    bike_->tFriction.drive.coast = 1.5f;
    Hold(bike_, {BIKEACTION_RIGHT_TURN, BIKEACTION_ACCEL});
    Place(bike_, 0.0f, 20.0f);
    Continue(bike_, BIKESTATE_RIGHT_TURN, 20);
    ASSERT_NE(bike_->handling.groundHoldForce, 0.0f);
    Place(bike_, 100.0f, 20.0f);
    bike_->control();
    const KineticBike::HandlingParams& p = bike_->handling;
    EXPECT_EQ(bike_->ride.bikeState, BIKESTATE_IN_AIR);
    EXPECT_EQ(p.frictionTarget[0], 3.0f);
    EXPECT_EQ(p.frictionTarget[1], 3.0f);
    for (float zero : {p.steeringPercent[0], p.steeringPercent[1], p.steeringGain, p.leanSign,
                       p.groundHoldForce, p.brakeStep})
        EXPECT_EQ(zero, 0.0f);
    EXPECT_EQ(p.throttleStep, 0.01f);
}

}  // namespace
