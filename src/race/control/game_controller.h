// The race's pad controller: a state machine with one input handler per state (bike, free camera, demo
// loop, paused, pre-game, end game, capture) deciding what the pad means at that moment and which model
// object its packets go to.
#pragma once

#include <cstdint>
#include <vector>

#include "race/control/bike_controller.h"
#include "race/control/controller.h"

class CCameraTarget;
class CDemoLoopTarget;
class CPauseTarget;

enum controllerState : int32_t {
    STATE_BIKE = 0,
    STATE_FREECAM = 1,
    STATE_DEMOLOOP = 2,
    STATE_PAUSED = 3,
    STATE_PREGAME = 4,
    STATE_ENDGAME = 5,
    STATE_CAPTURE = 6,
};

// Action bits of the pause menu and of the race end screens (1 << action).
enum pauseActions : int32_t {
    PAUSEACTION_UP = 1,
    PAUSEACTION_DOWN = 2,
    PAUSEACTION_LEFT = 3,
    PAUSEACTION_RIGHT = 4,
    PAUSEACTION_CONFIRM = 5,
};
enum endGameActions : int32_t {
    ENDGAMEACTION_UP = 1,
    ENDGAMEACTION_DOWN = 2,
    ENDGAMEACTION_LEFT = 3,
    ENDGAMEACTION_RIGHT = 4,
    ENDGAMEACTION_CONFIRM = 5,
};

// Camera action bits of a free-camera packet.
enum cameraActionBit : uint32_t {
    CAMACTION_STOP = 0x1,
    CAMACTION_MOVE_A = 0x2,
    CAMACTION_MOVE_B = 0x4,
    CAMACTION_TURN_A = 0x8,
    CAMACTION_TURN_B = 0x10,
    CAMACTION_ZOOM_OUT = 0x800,
    CAMACTION_ZOOM_IN = 0x1000,
};

class CQZGameController : public CController {
public:
    // The view button must be held this many further steps before the view changes.
    static constexpr uint32_t kViewHoldSteps = 6;
    // The demo loop's counter value that ends the attract race.
    static constexpr int kDemoLoopEnd = 3000;
    // The first race frame (the race's Framecounter) in which a pad may pause: the race's views first
    // update and draw in frame 5, and while the race is paused they hold what they had, so a pause
    // taken earlier would stand over a race never drawn (no camera placed, no rider posed).
    static constexpr uint32_t kFirstPausableFrame = 6;

    // The race's demo loop (null outside attract mode).
    static CDemoLoopTarget* demoLoop;

    CQZGameController(unsigned int padNumber, unsigned int preset);
    ~CQZGameController() override;

    void PadActionToInputActions(unsigned int digitalBits, int* analog,
                                 std::vector<CPacket>& packets) override;

    void setBikeId(int id);
    void setState(controllerState s);
    // START: pauses the race for this pad, or resumes it if this pad paused it. A pause this pad took
    // over from a pulled-out pad does not end while that pad is missing.
    void enablePause();
    // The pad whose absence keeps the race paused while this pad holds the pause (this pad itself when
    // it is pulled out, or the pulled-out pad it took the pause over from); -1 when there is none.
    int32_t missingPad() const;

    void processForBike(std::vector<CPacket>& packets);
    void processForCamera(std::vector<CPacket>& packets);
    void processForPause(std::vector<CPacket>& packets);
    void processForEndGame(std::vector<CPacket>& packets);
    void processForPreGame(std::vector<CPacket>& packets);

    CBikeController bikeController;
    uint32_t frameCounterForRand;
    int32_t oldObjID;
    int32_t cameraId;
    int32_t pauseId;
    int32_t hudId;
    int32_t endGameId;
    controllerState controlState;
    controllerState prevControlState;
    uint32_t controllerLastDir;  // 0 up, 1 down, 2 left, 3 right, 4 none
    uint32_t bikeState, bikeButtons;
    uint32_t pauseState, pauseButtons;
    uint32_t demoLoopState, demoLoopButtons;
    uint32_t cameraState, cameraButtons;
    uint32_t preGameState, preGameButtons;
    uint32_t endGameState, endGameButtons;
    uint32_t sel4Frames;
    uint32_t sel2Frames;
    uint8_t pressed[10];
    // The pulled-out pad this pad took the pause over from, -1 when none.
    int32_t takenFromPad;

private:
    // A pad pulled out leaves the race paused, and a pause it holds passes to a pad still connected, so
    // that the other player can resume (once the pad is back), restart or leave the race; the pad that
    // lost its pause goes back to what it did before it.
    void takeOverPause();
    void followPause();
    // Leaves the free camera: the race runs again and the camera follows the bike.
    void leaveFreeCamera();
    // The pause object and the camera by id, null when the id names no such object.
    CPauseTarget* pauseObject() const;
    CCameraTarget* camera() const;
    bool freshPress(uint32_t bit) const;
    bool released(uint32_t bit) const;
    // The menu handlers of the pause and end-game states.
    void processMenu(uint32_t& state, uint32_t& buttons, bool confirmCountsAsPress,
                     std::vector<CPacket>& packets);
};
