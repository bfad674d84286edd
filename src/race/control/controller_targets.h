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

// A menu the pad steers in the pause and end-game states (the pause menu, the results). It takes only a
// press that begins once it has been on the screen for half a second: nobody reads a screen in one frame,
// and a press made before (a throttle pulsed over the finish line, a button mashed with START) is held,
// as a stick held into it is.
class CMenuTarget {
public:
    // A frame's picture reaches the screen this many frames after the frame that draws it (its display
    // list runs during the next frame and is shown at the vertical blank after that): a press read in an
    // earlier frame was made before the player had seen the menu.
    static constexpr uint32_t kFramesToScreen = 2;
    // Half a second of the race's shown frames (30 a second): the menu takes no press while it has been
    // on the screen for less.
    static constexpr uint32_t kFramesToRead = 15;
    // The frames a menu is drawn in before it takes a press; its count need go no further.
    static constexpr uint32_t kFramesBeforePresses = kFramesToScreen + kFramesToRead;

    virtual ~CMenuTarget() = default;
    // The frames drawn since the menu came up, counted by whoever draws it.
    virtual uint32_t menuFramesDrawn() const = 0;
    bool menuTakesPresses() const { return menuFramesDrawn() >= kFramesBeforePresses; }
};
