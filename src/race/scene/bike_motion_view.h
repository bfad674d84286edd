// The racer's bike as a motion view: the rider view picks and times its motion (tricks, wheelies,
// whips); this view samples it and, at draw time, adds what the physics shows: the fork slides along its
// rake and the swing arm swings with the suspension, and both wheels spin with the physics wheels.
#pragma once

#include <cstdint>

#include "race/scene/motion_view.h"

class KineticBike;

class CKineticPhysicsView : public CMotionView {
public:
    // Bones driven here.
    static constexpr int kFork = 3, kFrontWheel = 4, kSwingArm = 10, kRearWheel = 11;
    // Spin limits in turns a minute: below the dead band a wheel stands, above the cap it turns at the cap.
    static constexpr float kDeadBandRpm = 2.31481f, kMaxRpm = 231.481f;

    CKineticPhysicsView(int modelObjectId, int descriptionId, int playerNumber, int motionIndex,
                        unsigned int mirror, void* motionFile);

    void render(C3DView* view) override;
    void update(C3DView* view, float) override;
    void UpdateFrame(C3DView* view, unsigned int) override;

    // Starts a bike motion at once (ending any transition).
    void doStunt(int motion, int mirror);

    // One drawn frame of the wheels at the physics spin velocity (radians a second): the new angle.
    static float SpinWheel(float angle, float spinVelocity);
    // Fork and swing arm from the bike's suspension (unless it flies more than 20 above the ground).
    void applySuspension(const KineticBike& bike);
    // Wheel bones from the physics wheels.
    void applyWheels(const KineticBike& bike);

    uint8_t inStunt = 0;
    float frontWheelAngle = 0.0f;
    float backWheelAngle = 0.0f;
    float transCount = 0.0f;
    // Last fork offset and swing arm turn, kept while the bike is high up.
    _vector3d forkOffset{0.0f, 0.0f, 0.0f};
    float swingArmAngle = 0.0f;
    bool suspensionSet = false;
};
