#include "race/control/game_controller.h"

#include <cstring>

#include "engine/hal/control.h"
#include "engine/hal/display.h"
#include "game/core/random.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/pause_state.h"
#include "race/control/controller_targets.h"
#include "race/race_game.h"

CDemoLoopTarget* CQZGameController::demoLoop = nullptr;

namespace {

constexpr uint32_t kNoMenuDir = 4;

template <typename T>
T* ModelObjectAs(int id) {
    CModel* model = CModel::modelPtr;
    if (!model || id < 0 || static_cast<size_t>(id) >= model->objects.size()) return nullptr;
    return dynamic_cast<T*>(model->objects[static_cast<size_t>(id)]);
}

// Stick value beyond the bike state's threshold as an amount byte: 2 x (|v| - 10).
uint8_t StickAmount(int v) {
    const int a = 2 * ((v < 0 ? -v : v) - 10);
    return static_cast<uint8_t>(a < 0 ? 0 : a > 255 ? 255 : a);
}

}  // namespace

CQZGameController::CQZGameController(unsigned int padNumber, unsigned int preset)
    : CController(padNumber, preset),
      frameCounterForRand(0),
      oldObjID(-1),
      cameraId(-1),
      pauseId(-1),
      hudId(-1),
      endGameId(-1),
      controlState(STATE_PREGAME),
      prevControlState(STATE_PREGAME),
      controllerLastDir(kNoMenuDir),
      bikeState(0),
      bikeButtons(0),
      pauseState(0),
      pauseButtons(0),
      demoLoopState(0),
      demoLoopButtons(0),
      cameraState(0),
      cameraButtons(0),
      preGameState(0),
      preGameButtons(0),
      endGameState(0),
      endGameButtons(0),
      sel4Frames(0),
      sel2Frames(0),
      pressed{},
      takenFromPad(-1) {}

CQZGameController::~CQZGameController() = default;

CPauseTarget* CQZGameController::pauseObject() const {
    return ModelObjectAs<CPauseTarget>(pauseId);
}

CCameraTarget* CQZGameController::camera() const {
    return ModelObjectAs<CCameraTarget>(cameraId);
}

bool CQZGameController::freshPress(uint32_t bit) const {
    return (_currentDigitalData & bit) && !(_previousDigitalData & bit);
}

bool CQZGameController::released(uint32_t bit) const {
    return !(_currentDigitalData & bit) && (_previousDigitalData & bit);
}

void CQZGameController::setBikeId(int id) {
    bikeController.bikeID = id;
}

void CQZGameController::setState(controllerState s) {
    prevControlState = controlState;
    controlState = s;
    controllerLastDir = kNoMenuDir;
    switch (s) {
        case STATE_BIKE:
            bikeState = bikeButtons = 0;
            break;
        case STATE_FREECAM:
            cameraState = cameraButtons = 0;
            break;
        case STATE_DEMOLOOP:
            demoLoopState = demoLoopButtons = 0;
            break;
        case STATE_PAUSED:
            pauseState = pauseButtons = 0;
            break;
        case STATE_PREGAME:
            preGameState = preGameButtons = 0;
            break;
        case STATE_ENDGAME:
            endGameState = endGameButtons = 0;
            break;
        case STATE_CAPTURE:
            bikeState = bikeButtons = cameraState = cameraButtons = demoLoopState = demoLoopButtons = 0;
            pauseState = pauseButtons = preGameState = preGameButtons = endGameState = endGameButtons = 0;
            break;
    }
    sel4Frames = sel2Frames = 0;
    // A menu starts from the sticks as they are held: a stick still pushed from the riding steps the
    // menu only once it has come back and been pushed again. The other states see a held stick at once.
    if (s == STATE_PAUSED || s == STATE_ENDGAME)
        std::memcpy(_previousAnalogData, _currentAnalogData, sizeof _previousAnalogData);
    else
        std::memset(_previousAnalogData, 0, sizeof _previousAnalogData);
}

void CQZGameController::enablePause() {
    CPauseTarget* pause = pauseObject();
    if (!pause) return;
    if (_activeObject != pauseId && pause->pausePlayer() == -1) {
        setState(STATE_PAUSED);
        oldObjID = _activeObject;
        _activeObject = pauseId;
        pause->setPausePlayer(_padNumber);
        pause->setPauseSwitch(oldObjID);
    } else if (_activeObject == pauseId && pause->pausePlayer() == _padNumber) {
        // The race cannot go on without the player whose pad is missing.
        if (takenFromPad >= 0 && !veControlGetIsVirtualPadConnected(takenFromPad)) return;
        takenFromPad = -1;
        _activeObject = oldObjID;
        pause->setPauseSwitch(-1);
        setState(prevControlState);
    }
}

int32_t CQZGameController::missingPad() const {
    if (takenFromPad >= 0) return veControlGetIsVirtualPadConnected(takenFromPad) ? -1 : takenFromPad;
    return veControlGetIsVirtualPadConnected(_padNumber) ? -1 : _padNumber;
}

void CQZGameController::takeOverPause() {
    CPauseTarget* pause = pauseObject();
    if (!pause || _activeObject == pauseId || controlState == STATE_DEMOLOOP) return;
    // Only a pause with its menu up: a pad pulled out in the free camera first turns it into one.
    const int32_t holder = pause->pausePlayer();
    if (holder < 0 || holder == _padNumber || veControlGetIsVirtualPadConnected(holder) ||
        CPauseState::pauseSwitch != 1 || CPauseState::pauseDraw != 1)
        return;
    setState(STATE_PAUSED);
    oldObjID = _activeObject;
    _activeObject = pauseId;
    takenFromPad = holder;
    pause->setPausePlayer(_padNumber);  // the race stays paused
}

void CQZGameController::followPause() {
    if (_activeObject != pauseId) return;
    const CPauseTarget* pause = pauseObject();
    if (!pause || pause->pausePlayer() == _padNumber) return;
    _activeObject = oldObjID;
    setState(prevControlState);
}

void CQZGameController::leaveFreeCamera() {
    setState(STATE_BIKE);
    if (CPauseTarget* pause = pauseObject()) pause->setPauseSwitch(-1);
    if (CCameraTarget* cam = camera()) cam->SetMode(1);
}

void CQZGameController::PadActionToInputActions(unsigned int digitalBits, int* analog,
                                                std::vector<CPacket>& packets) {
    const bool pausable = Framecounter >= kFirstPausableFrame;
    const bool connected = veControlGetIsVirtualPadConnected(_padNumber);
    followPause();
    if (pausable && !connected && _activeObject != pauseId) {
        // A pulled-out pad pauses the race; in the free camera it leaves it first, so that the pause
        // menu comes up for the other player to take over.
        if (controlState == STATE_FREECAM) leaveFreeCamera();
        enablePause();
    }
    if (pausable && connected) takeOverPause();
    ++frameCounterForRand;
    _currentDigitalData = digitalBits;
    for (int k = 0; k < 4; ++k) _currentAnalogData[k] = analog ? analog[k] : 0;

    if (pausable && freshPress(CONTROL_START) && controlState != STATE_ENDGAME &&
        controlState != STATE_DEMOLOOP)
        enablePause();

    switch (controlState) {
        case STATE_BIKE:
            processForBike(packets);
            break;
        case STATE_FREECAM:
            processForCamera(packets);
            break;
        case STATE_DEMOLOOP:
            if (freshPress(CONTROL_START) && demoLoop) demoLoop->setDLCounter(kDemoLoopEnd);
            break;
        case STATE_PAUSED:
            processForPause(packets);
            break;
        case STATE_PREGAME:
            processForPreGame(packets);
            break;
        case STATE_ENDGAME:
            processForEndGame(packets);
            break;
        case STATE_CAPTURE:
            if (freshPress(CONTROL_CAPTURE)) veDisplayScreenDump();
            break;
    }

    _previousDigitalData = _currentDigitalData;
    std::memcpy(_previousAnalogData, _currentAnalogData, sizeof _previousAnalogData);
}

void CQZGameController::processForBike(std::vector<CPacket>& packets) {
    // The free camera freezes the race as a pause does, so, like a pause, it waits while another pad
    // has the race paused or frozen: that pad alone may start it again.
    CPauseTarget* const pause = pauseObject();
    if (freshPress(CONTROL_SELECT) && (!pause || pause->pausePlayer() == -1)) {
        setState(STATE_FREECAM);
        oldObjID = _activeObject;
        if (pause) {
            pause->setPausePlayer(_padNumber);
            pause->setPauseSwitch(oldObjID);
        }
        CPauseState::pauseDraw = 0;
        if (CCameraTarget* cam = camera()) cam->SetMode(0);
        _activeObject = cameraId;
        return;
    }
    std::memset(pressed, 0, sizeof pressed);

    // The camera-view button changes the view once it has been held alone for six further steps.
    const bool viewNow = _currentDigitalData & CONTROL_VIEW, viewBefore = _previousDigitalData & CONTROL_VIEW;
    if (viewNow && !viewBefore) {
        sel2Frames = 1;
    } else if (viewNow && (_currentDigitalData & (CONTROL_STUNT_A | CONTROL_STUNT_B)) && sel2Frames < 7) {
        sel2Frames = 0;
    } else if (viewNow && viewBefore) {
        if (sel2Frames == kViewHoldSteps) {
            if (CCameraTarget* cam = camera()) cam->NextCameraSubMode();
            sel2Frames = 7;
        } else if (sel2Frames < kViewHoldSteps) {
            ++sel2Frames;
        }
    } else if (!viewNow && viewBefore) {
        sel2Frames = 0;
    }

    // The left stick drives the same directions as the D-pad.
    const int a = _currentAnalogData[0], b = _currentAnalogData[1];
    if (a >= 11) {
        _currentDigitalData = (_currentDigitalData | CONTROL_RIGHT) & ~CONTROL_LEFT;
        pressed[AMOUNT_RIGHT] = StickAmount(a);
    } else if (a < -10) {
        _currentDigitalData = (_currentDigitalData | CONTROL_LEFT) & ~CONTROL_RIGHT;
        pressed[AMOUNT_LEFT] = StickAmount(a);
    }
    if (b >= 11) {
        _currentDigitalData = (_currentDigitalData | CONTROL_UP) & ~CONTROL_DOWN;
        pressed[AMOUNT_UP] = StickAmount(b);
    } else if (b < -10) {
        _currentDigitalData = (_currentDigitalData | CONTROL_DOWN) & ~CONTROL_UP;
        pressed[AMOUNT_DOWN] = StickAmount(b);
    }

    // The right stick pans the camera: 0 up, 1 down, 2 left, 3 right.
    if (CCameraTarget* cam = camera()) {
        const int c = _currentAnalogData[2], d = _currentAnalogData[3];
        if (c >= 11)
            cam->panCam(3, StickAmount(c));
        else if (c < -10)
            cam->panCam(2, StickAmount(c));
        if (d >= 11)
            cam->panCam(0, StickAmount(d));
        else if (d < -10)
            cam->panCam(1, StickAmount(d));
    }

    bikeController.controlFlags = _currentDigitalData;
    bikeController.DtoA(pressed);
    bikeController.fillPackets(packets);
}

void CQZGameController::processForCamera(std::vector<CPacket>& packets) {
    static constexpr struct {
        uint32_t control;
        uint32_t bit;
        int byte;  // -1: none
    } kEdges[] = {{CONTROL_UP, 0x4, 0},     {CONTROL_DOWN, 0x2, 1},       {CONTROL_LEFT, 0x8, 2},
                  {CONTROL_RIGHT, 0x10, 3}, {CONTROL_PRELOAD, 0x40, -1},  {CONTROL_STUNT_A, 0x1000, -1},
                  {CONTROL_WHIP, 0x20, -1}, {CONTROL_STUNT_B, 0x800, -1}, {CONTROL_ACCEL, 0x400, 4},
                  {CONTROL_VIEW, 0x200, 7}, {CONTROL_BRAKE, 0x80, 5},     {CONTROL_NITRO, 0x100, 6}};
    const uint32_t before = cameraButtons;
    for (const auto& e : kEdges) {
        if (freshPress(e.control)) {
            cameraButtons |= e.bit;
            if (e.byte >= 0) pressed[e.byte] = 255;
            if (e.control == CONTROL_RIGHT) {
                UpdateRandom(static_cast<long>(frameCounterForRand));
                frameCounterForRand = 128;
            }
        } else if (released(e.control)) {
            cameraButtons &= ~e.bit;
            if (e.byte >= 0) pressed[e.byte] = 0;
        }
    }
    if (freshPress(CONTROL_SELECT)) leaveFreeCamera();

    // Sticks, re-evaluated when they move, threshold 61.
    static constexpr struct {
        int axis;
        uint32_t plus, minus;
        int plusByte, minusByte;
    } kSticks[] = {
        {0, 0x10, 0x8, 3, 2}, {1, 0x4, 0x2, 0, 1}, {2, 0x100, 0x80, -1, -1}, {3, 0x200, 0x400, -1, -1}};
    bool marked = false;
    for (const auto& s : kSticks) {
        const int v = _currentAnalogData[s.axis];
        if (v == _previousAnalogData[s.axis]) continue;
        marked = true;
        cameraButtons &= ~(s.plus | s.minus);
        if (s.plusByte >= 0) pressed[s.plusByte] = pressed[s.minusByte] = 0;
        if (v >= 61) {
            cameraButtons |= s.plus;
            if (s.plusByte >= 0) pressed[s.plusByte] = StickAmount(v);
        } else if (v <= -61) {
            cameraButtons |= s.minus;
            if (s.minusByte >= 0) pressed[s.minusByte] = StickAmount(v);
        }
    }

    if (cameraButtons == before && !marked) return;
    static constexpr uint32_t kPairs[][2] = {{0x8, 0x10},    {0x2, 0x4},   {0x80, 0x100},
                                             {0x200, 0x400}, {0x20, 0x40}, {0x800, 0x1000}};
    uint32_t action = 0;
    for (const auto& p : kPairs) action |= (cameraButtons & p[0]) ? p[0] : (cameraButtons & p[1]);
    if (action == cameraState && !marked) return;
    if (action == 0)
        packets.emplace_back(_activeObject, PKT_ACTION, static_cast<int>(CAMACTION_STOP),
                             static_cast<unsigned char>(0));
    else
        packets.emplace_back(_activeObject, PKT_ACTION, static_cast<int>(action), pressed);
    cameraState = action;
}

void CQZGameController::processMenu(uint32_t& state, uint32_t& buttons, bool confirmCountsAsPress,
                                    std::vector<CPacket>& packets) {
    static constexpr struct {
        uint32_t control;
        uint32_t bit;
        int byte;
    } kEdges[] = {{CONTROL_UP, 0x2, 0},
                  {CONTROL_DOWN, 0x4, 1},
                  {CONTROL_LEFT, 0x8, 2},
                  {CONTROL_RIGHT, 0x10, 3},
                  {CONTROL_ACCEL, 0x20, 4}};
    // Until the menu has been on the screen long enough to be read the pad is only watched: a press begun
    // meanwhile counts as held.
    if (const CMenuTarget* menu = ModelObjectAs<CMenuTarget>(_activeObject);
        menu && !menu->menuTakesPresses())
        return;
    const uint32_t before = buttons;
    bool pressedThisStep = false;
    for (const auto& e : kEdges) {
        if (freshPress(e.control)) {
            buttons |= e.bit;
            pressed[e.byte] = 255;
            if (e.control != CONTROL_ACCEL || confirmCountsAsPress) pressedThisStep = true;
            if (e.control == CONTROL_RIGHT) {
                UpdateRandom(static_cast<long>(frameCounterForRand));
                frameCounterForRand = 128;
            }
        } else if (released(e.control)) {
            buttons &= ~e.bit;
            pressed[e.byte] = 0;
        }
    }

    // The left stick steps the menu once per push beyond 100 and must come back within 59.
    const int x = _currentAnalogData[0], y = _currentAnalogData[1];
    const int px = _previousAnalogData[0], py = _previousAnalogData[1];
    const bool armed = controllerLastDir == kNoMenuDir;
    if (x < -100 && px >= -100) {
        if (armed) {
            buttons = (buttons | 0x8) & ~0x10u;
            pressed[2] = StickAmount(x);
            controllerLastDir = 2;
        }
    } else if (x > 100 && px <= 100) {
        if (armed) {
            buttons = (buttons | 0x10) & ~0x8u;
            pressed[3] = StickAmount(x);
            controllerLastDir = 3;
        }
    } else if (y > 100 && py <= 100) {
        if (armed) {
            buttons = (buttons | 0x2) & ~0x4u;
            pressed[0] = StickAmount(y);
            controllerLastDir = 0;
        }
    } else if (y < -100 && py >= -100) {
        if (armed) {
            buttons = (buttons | 0x4) & ~0x2u;
            pressed[1] = StickAmount(y);
            controllerLastDir = 1;
        }
    } else if (x >= -59 && x <= 59 && y >= -59 && y <= 59) {
        if (!pressedThisStep) {
            buttons &= ~(0x2u | 0x4u | 0x8u | 0x10u);
            std::memset(pressed, 0, 4);
        }
        controllerLastDir = kNoMenuDir;
    }

    if (buttons == before) return;
    uint32_t action = (buttons & 0x2) ? 0x2 : (buttons & 0x4);
    action |= (buttons & 0x10) ? 0x10 : (buttons & 0x8);
    action |= buttons & 0x20;
    if (action == state) return;
    packets.emplace_back(_activeObject, PKT_ACTION, static_cast<int>(action), pressed);
    state = action;
}

void CQZGameController::processForPause(std::vector<CPacket>& packets) {
    processMenu(pauseState, pauseButtons, true, packets);
}

void CQZGameController::processForEndGame(std::vector<CPacket>& packets) {
    processMenu(endGameState, endGameButtons, false, packets);
}

void CQZGameController::processForPreGame(std::vector<CPacket>& packets) {
    const uint32_t before = preGameButtons;
    if (freshPress(CONTROL_ACCEL)) {
        preGameButtons |= 0x2;
        pressed[AMOUNT_ACCEL] = 255;
    } else if (released(CONTROL_ACCEL)) {
        preGameButtons &= ~0x2u;
        pressed[AMOUNT_ACCEL] = 0;
    }
    if (preGameButtons == before) return;
    const uint32_t action = preGameButtons & BikeActionBit(BIKEACTION_ACCEL);
    if (action == preGameState) return;
    packets.emplace_back(_activeObject, PKT_ACTION, static_cast<int>(action), pressed);
    preGameState = action;
}
