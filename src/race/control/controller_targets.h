// What the pad controller asks of the objects it steers besides the bike. The pause object, the player's
// camera and the demo loop live in other parts of the game; each implements the matching interface, and
// the controller finds the pause object and the camera by model object id and checks their type.
#pragma once

#include <cstdint>

// The race's pause object.
class CPauseTarget {
public:
    virtual ~CPauseTarget() = default;
    // The pad that holds the pause (or the frozen free camera), -1 while nobody does.
    virtual int32_t pausePlayer() const = 0;
    virtual void setPausePlayer(int32_t pad) = 0;
    // Pauses the race, keeping object `objectId` running; -1 resumes it and frees the pause
    // (pausePlayer() is -1 afterwards).
    virtual void setPauseSwitch(int32_t objectId) = 0;
};

// A human's camera.
class CCameraTarget {
public:
    virtual ~CCameraTarget() = default;
    // 0 free camera, 1 following the bike.
    virtual void SetMode(int mode) = 0;
    // dir 0 up, 1 down, 2 left, 3 right; amount 2..234.
    virtual void panCam(int dir, int amount) = 0;
    virtual void NextCameraSubMode() = 0;
};

// The attract-mode demo loop.
class CDemoLoopTarget {
public:
    virtual ~CDemoLoopTarget() = default;
    virtual void setDLCounter(int counter) = 0;
};
