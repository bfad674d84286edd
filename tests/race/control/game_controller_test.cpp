// The pad controller: pad scripts (the --pad1 format) through the engine's pads into packet streams in
// every controller state, START and pause ownership, stick thresholds and the camera-view hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bike/kinetic_bike.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "console/pad/mtap.h"
#include "console/pad/pad.h"
#include "console/spu/driver_modules_fixture.h"
#include "engine/hal/control.h"
#include "engine/hal/engine_fixture.h"
#include "engine/sys/math.h"
#include "game/model/model.h"
#include "game/model/pause_state.h"
#include "host/pad_script.h"
#include "mkdisc/frontend_screens.h"
#include "race/control/controller_targets.h"
#include "race/control/game_controller.h"
#include "race/race_game.h"

namespace {

constexpr int kBike = 0, kPause = 1, kCamera = 2, kEndGame = 3;

// Pauses and resumes as the race's pause object does, menu and all.
struct PauseDouble : CModelObject, CPauseTarget {
    int32_t pausePlayer() const override { return player; }
    void setPausePlayer(int32_t pad) override { player = pad; }
    void setPauseSwitch(int32_t id) override {
        switches.push_back(id);
        if (id == -1) player = -1;
        CPauseState::pauseSwitch = CPauseState::pauseDraw = id == -1 ? 0 : 1;
    }
    int32_t player = -1;
    std::vector<int> switches;
};

struct CameraDouble : CModelObject, CCameraTarget {
    void SetMode(int m) override { modes.push_back(m); }
    void panCam(int dir, int amount) override { pans.push_back(dir * 1000 + amount); }
    void NextCameraSubMode() override { subModeFrames.push_back(*now); }
    const int* now = nullptr;
    std::vector<int> modes, pans, subModeFrames;
};

struct DemoDouble : CDemoLoopTarget {
    void setDLCounter(int c) override { counter = c; }
    int counter = 0;
};

class PadControl : public ::testing::Test {
protected:
    void SetUp() override {
        enginetest::StartControls();
        Framecounter = CQZGameController::kFirstPausableFrame;  // the race is on the screen
        camera_->now = &frame_;
        GetModel()->objects = {new KineticBike(), pause_, camera_};
        CQZGameController::demoLoop = &demo_;
    }
    void TearDown() override {
        controllers_.clear();
        delete CModel::modelPtr;
        CQZGameController::demoLoop = nullptr;
        Framecounter = 0;
        CPauseState::pauseSwitch = CPauseState::pauseDraw = 0;
        veControlReset();
        console::PadReset();
    }
    CQZGameController& make(unsigned pad, unsigned preset, controllerState s) {
        controllers_.push_back(std::make_unique<CQZGameController>(pad, preset));
        CQZGameController& c = *controllers_.back();
        c.cameraId = kCamera;
        c.pauseId = kPause;
        c._activeObject = s == STATE_ENDGAME ? kEndGame : kBike;
        c.setBikeId(kBike);
        if (s != STATE_PREGAME) c.setState(s);
        return c;
    }
    // Steps every controller through `frames` frames of its script (one per controller, pad n on
    // port n); the packets as "frame:object:action" in hex.
    std::string run(std::vector<const char*> scripts, int frames) {
        std::vector<host::PadScript> pads(scripts.size());
        for (size_t i = 0; i < scripts.size(); ++i) {
            host::Error e;
            EXPECT_TRUE(pads[i].Parse(scripts[i], "test", &e));
        }
        std::string out;
        for (frame_ = 0; frame_ < frames; ++frame_) {
            for (size_t i = 0; i < pads.size(); ++i) pads[i].Apply(int(i), 0, uint64_t(frame_));
            std::vector<CPacket> sent;
            for (auto& c : controllers_) c->ProcessInput(sent);  // maintenance runs once per controller
            for (const CPacket& p : sent) {
                char s[32];
                std::snprintf(s, sizeof s, "%s%d:%d:%x", out.empty() ? "" : " ", frame_, p._affectedObject,
                              p._action);
                out += s;
            }
        }
        return out;
    }
    testsupport::DriverModules modules_;
    PauseDouble* pause_ = new PauseDouble();
    CameraDouble* camera_ = new CameraDouble();
    DemoDouble demo_;
    int frame_ = 0;
    std::vector<std::unique_ptr<CQZGameController>> controllers_;
};

TEST_F(PadControl, PadScriptsBecomeThePacketStreamOfEachState) {
    struct Case {
        controllerState state;
        unsigned preset;
        const char* script;
        const char* packets;
    };
    const Case cases[] = {
        {STATE_PREGAME, 0, "2-4 CROSS\n6 SQUARE", "2:0:2 5:0:0"},
        {STATE_BIKE, 0, "0 CROSS\n1-2 CROSS LX=255\n3 L2 CROSS", "0:0:2 1:0:42 3:0:2002 4:0:0"},
        {STATE_BIKE, 1, "0 CIRCLE\n1 SQUARE\n",
         "0:0:2 1:0:0 2:0:0"},  // preset 1: circle accelerates, square is the view
        {STATE_BIKE, 3, "0 R1 L1\n1 R1 CROSS", "0:0:6 1:0:2002 2:0:0"},
        {STATE_BIKE, 0, "0 SELECT\n2 UP\n4 R2\n6 SELECT\n7 CROSS", "2:2:4 3:2:1 4:2:800 5:2:1 7:0:2 8:0:0"},
        {STATE_BIKE, 0, "0 START\n2-3 DOWN\n5 CROSS\n7-8 LY=255\n10 START",
         "2:1:4 3:1:0 5:1:20 6:1:0 7:1:4 9:1:0"},
        {STATE_BIKE, 0, "0 START\n2 DOWN\n3 DOWN CROSS\n6 START", "2:1:4 3:1:24 4:1:0"},
        {STATE_ENDGAME, 0, "0 START\n2 DOWN\n3 DOWN CROSS", "2:3:4 3:3:20 4:3:0"},
        {STATE_DEMOLOOP, 0, "1 START CROSS LX=0", ""},
        {STATE_CAPTURE, kCapturePreset, "1 START SELECT CROSS", ""},
    };
    for (const Case& k : cases) {
        controllers_.clear();
        *pause_ = PauseDouble();
        demo_.counter = 0;
        CQZGameController& c = make(0, k.preset, k.state);
        EXPECT_EQ(run({k.script}, 12), k.packets) << k.script;
        EXPECT_EQ(pause_->player, -1) << k.script;
        EXPECT_EQ(demo_.counter, k.state == STATE_DEMOLOOP ? CQZGameController::kDemoLoopEnd : 0) << k.script;
        EXPECT_EQ(c.controlState, k.state) << k.script;
    }
    EXPECT_EQ(camera_->modes, (std::vector<int>{0, 1}));  // free camera on SELECT and back
}

TEST_F(PadControl, OnlyThePadThatPausedResumes) {
    console::PadSetInput(1, 0, console::PadIdle());
    for (int i = 0; i < 4; ++i) veControlMaintenance();
    CQZGameController& p0 = make(0, 0, STATE_BIKE);
    CQZGameController& p1 = make(1, 0, STATE_BIKE);
    run({"0 START", "5 START"}, 7);
    EXPECT_EQ(pause_->player, 0);
    EXPECT_EQ(p0.controlState, STATE_PAUSED);
    EXPECT_EQ(p1.controlState, STATE_BIKE);
    run({"0 START", "3 START"}, 5);
    EXPECT_EQ(pause_->player, 1);
    EXPECT_EQ(p0.controlState, STATE_BIKE);
    EXPECT_EQ(p1._activeObject, kPause);
    EXPECT_EQ(pause_->switches, (std::vector<int>{kBike, -1, kBike}));
    run({"", "0 START"}, 1);
    EXPECT_EQ(pause_->player, -1);
    // A pause id that names something else pauses nothing.
    p1.pauseId = kCamera;
    run({"", "0 START"}, 1);
    EXPECT_EQ(p1.controlState, STATE_BIKE);
    EXPECT_EQ(pause_->player, -1);
    p1.pauseId = kPause;
    // A pulled-out pad pauses the race at once (and the pad still in takes the pause over, below).
    run({"0+ UNPLUGGED", ""}, 1);
    EXPECT_EQ(pause_->switches.back(), kBike);
    EXPECT_EQ(p0.controlState, STATE_PAUSED);
    EXPECT_EQ(CPauseState::pauseSwitch, 1);
}

// A pad pulled out pauses the race, and the pause passes to the pad still in: its player steers the menu
// (to restart or leave), but cannot resume while the other pad is missing. Plugged back, the pad rides
// on and the race resumes on the holder's START.
TEST_F(PadControl, APausePassesFromAPulledOutPadToThePadStillIn) {
    console::PadSetInput(1, 0, console::PadIdle());
    for (int i = 0; i < 4; ++i) veControlMaintenance();
    CQZGameController& p0 = make(0, 0, STATE_BIKE);
    CQZGameController& p1 = make(1, 0, STATE_BIKE);
    EXPECT_EQ(p0.missingPad(), -1);
    run({"", "0+ UNPLUGGED"}, 2);
    EXPECT_EQ(pause_->player, 0);
    EXPECT_EQ(p0.controlState, STATE_PAUSED);
    EXPECT_EQ(p0._activeObject, kPause);
    EXPECT_EQ(p0.missingPad(), 1);
    EXPECT_EQ(p1.controlState, STATE_BIKE) << "the pad that lost the pause goes back to riding";
    EXPECT_EQ(p1._activeObject, kBike);
    // The menu takes pad 1's steps; its START does not resume.
    EXPECT_EQ(run({"0 DOWN\n2 START\n4 CROSS", "0+ UNPLUGGED"}, 6), "0:1:4 1:1:0 4:1:20 5:1:0");
    EXPECT_EQ(pause_->switches, std::vector<int>{kBike});
    EXPECT_EQ(p0.controlState, STATE_PAUSED);
    // Pad 2 back: nothing missing, and pad 1's START resumes.
    run({"", "0+ IDLE"}, 4);
    EXPECT_EQ(p0.missingPad(), -1);
    EXPECT_EQ(pause_->player, 0);
    run({"0 START", "0+ IDLE"}, 2);
    EXPECT_EQ(pause_->switches, (std::vector<int>{kBike, -1}));
    EXPECT_EQ(pause_->player, -1);
    EXPECT_EQ(p0.controlState, STATE_BIKE);
    EXPECT_EQ(p1.controlState, STATE_BIKE);
    EXPECT_EQ(p0._activeObject, kBike);
}

// A pause taken before the race has drawn an unpaused frame would stand over a blank picture: until
// then neither START nor a missing pad pauses. A pad pulled out in the free camera leaves it, so that
// the pause menu comes up for the other pad.
TEST_F(PadControl, APauseWaitsForTheRacesPictureAndAPulledPadLeavesTheFreeCamera) {
    Framecounter = CQZGameController::kFirstPausableFrame - 1;
    CQZGameController& c = make(0, 0, STATE_PREGAME);
    run({"0 START\n2+ UNPLUGGED"}, 4);
    EXPECT_EQ(pause_->player, -1);
    EXPECT_EQ(c.controlState, STATE_PREGAME);
    Framecounter = CQZGameController::kFirstPausableFrame;
    run({"0+ UNPLUGGED"}, 1);
    EXPECT_EQ(pause_->player, 0);
    EXPECT_EQ(c.controlState, STATE_PAUSED);

    controllers_.clear();
    *pause_ = PauseDouble();
    CPauseState::pauseSwitch = CPauseState::pauseDraw = 0;
    for (int port = 0; port < 2; ++port) console::PadSetInput(port, 0, console::PadIdle());
    for (int i = 0; i < 4; ++i) veControlMaintenance();
    CQZGameController& p0 = make(0, 0, STATE_BIKE);
    CQZGameController& p1 = make(1, 0, STATE_BIKE);
    run({"", "0 SELECT"}, 2);
    ASSERT_EQ(p1.controlState, STATE_FREECAM);
    EXPECT_EQ(CPauseState::pauseDraw, 0);
    run({"", "0+ UNPLUGGED"}, 2);
    EXPECT_EQ(camera_->modes, (std::vector<int>{0, 1}));
    EXPECT_EQ(pause_->switches, (std::vector<int>{kBike, -1, kCamera}));
    EXPECT_EQ(CPauseState::pauseDraw, 1);
    EXPECT_EQ(pause_->player, 0);
    EXPECT_EQ(p0.controlState, STATE_PAUSED);
    EXPECT_EQ(p0.missingPad(), 1);
}

// SELECT freezes the race for the free camera only while nobody holds it: a second pad's SELECT
// neither resumes a pause nor ends another pad's free camera.
TEST_F(PadControl, TheFreeCameraWaitsWhileAnotherPadHoldsTheRace) {
    console::PadSetInput(1, 0, console::PadIdle());
    for (int i = 0; i < 4; ++i) veControlMaintenance();
    CQZGameController& p0 = make(0, 0, STATE_BIKE);
    CQZGameController& p1 = make(1, 0, STATE_BIKE);
    run({"0 START", "2 SELECT"}, 4);
    EXPECT_EQ(pause_->player, 0);
    EXPECT_EQ(p1.controlState, STATE_BIKE);
    EXPECT_EQ(pause_->switches, std::vector<int>{kBike});
    run({"0 START", "2 SELECT"}, 4);  // pad 1 resumes; pad 2 takes the free camera
    EXPECT_EQ(p0.controlState, STATE_BIKE);
    EXPECT_EQ(p1.controlState, STATE_FREECAM);
    EXPECT_EQ(pause_->player, 1);
    run({"0 SELECT", "2 SELECT"}, 4);  // pad 1 cannot end it; pad 2 can
    EXPECT_EQ(p0.controlState, STATE_BIKE);
    EXPECT_EQ(p1.controlState, STATE_BIKE);
    EXPECT_EQ(pause_->switches, (std::vector<int>{kBike, -1, kBike, -1}));
    EXPECT_EQ(camera_->modes, (std::vector<int>{0, 1}));
}

// A menu opened while riding starts from the stick as it is held: steering held hard right across the
// finish line or into a pause moves no menu cursor; the stick steps the menu once it has come back to
// the centre and been pushed again. (The race end turns player 0's controller to the end-game menu
// between two input steps.)
TEST_F(PadControl, AMenuOpenedWithTheStickHeldWaitsForItToComeBackAndBePushedAgain) {
    for (const char* held : {"LX=255", "LX=0", "LY=0", "LY=255"}) {
        SCOPED_TRACE(held);
        controllers_.clear();
        *pause_ = PauseDouble();
        CQZGameController& c = make(0, 0, STATE_BIKE);
        const std::string riding = std::string("0+ CROSS ") + held;
        run({riding.c_str()}, 6);
        c.setState(STATE_ENDGAME);
        c._activeObject = kEndGame;
        // Still held, accelerate let go: nothing reaches the results.
        const std::string stillHeld = std::string("0+ ") + held;
        EXPECT_EQ(run({stillHeld.c_str()}, 8), "");
        // Back to the centre, pushed again: one step, and the step ends when the stick is back.
        const std::string again = std::string("0-2 IDLE\n3-5 ") + held + "\n6+ IDLE";
        const std::string packets = run({again.c_str()}, 8);
        ASSERT_GT(packets.size(), 10u) << packets;
        EXPECT_EQ(packets.substr(0, 4), "3:3:") << packets;
        EXPECT_EQ(packets.substr(packets.size() - 6), " 6:3:0") << packets;
        EXPECT_EQ(packets.find(' '), packets.size() - 6) << packets;

        // START while steering: the pause menu sees no step until the stick is pushed again.
        controllers_.clear();
        *pause_ = PauseDouble();
        CQZGameController& p = make(0, 0, STATE_BIKE);
        const std::string pausing = riding + "\n3 START " + held + "\n4-9 " + held;
        const std::string seen = run({pausing.c_str()}, 10);
        EXPECT_EQ(p.controlState, STATE_PAUSED);
        EXPECT_EQ(seen.find(":1:"), std::string::npos) << seen;
    }
}

TEST_F(PadControl, SticksAndTheViewButtonInTheBikeState) {
    CQZGameController& c = make(0, 0, STATE_BIKE);
    // Left stick X: "action left-amount right-amount" of the packet.
    const std::pair<int, const char*> sticks[] = {{10, "0 0 0"},  {11, "40 0 2"},  {127, "40 0 234"},
                                                  {-10, "0 0 0"}, {-11, "20 2 0"}, {-127, "20 234 0"}};
    for (const auto& [x, want] : sticks) {
        int analog[4] = {x, 0, 0, 0};
        std::vector<CPacket> sent{CPacket(kBike, PKT_ACTION, 0, static_cast<unsigned char>(0))};
        c.bikeController = CBikeController();
        c.setBikeId(kBike);
        c.PadActionToInputActions(0, analog, sent);
        char got[32];
        std::snprintf(got, sizeof got, "%x %d %d", sent.back()._action, sent.back()._parms[2],
                      sent.back()._parms[3]);
        EXPECT_STREQ(got, want) << x;
    }
    // The view changes on the 7th step of a hold, counted from when no stunt button is held with it.
    struct Hold {
        const char* script;
        std::vector<int> frames;
    };
    const Hold holds[] = {{"1-19 TRIANGLE", {7}},
                          {"1-5 TRIANGLE L2\n6-19 TRIANGLE R2\n", {}},
                          {"1-5 TRIANGLE L2\n6-19 TRIANGLE", {12}},
                          {"1-4 TRIANGLE\n6-19 TRIANGLE", {12}}};
    for (const Hold& h : holds) {
        camera_->subModeFrames.clear();
        run({h.script}, 20);
        EXPECT_EQ(camera_->subModeFrames, h.frames) << h.script;
    }
    camera_->pans.clear();
    run({"0 RX=0\n1 RX=255"}, 2);  // right stick left, then right
    EXPECT_EQ(camera_->pans, (std::vector<int>{2234, 3234}));
}

// The controller screen's layout blocks say what each button does in a race: for every preset, each of
// the eight buttons it lists, held on the pad, drives the virtual control of the action it names.
TEST_F(PadControl, ControllerScreenDescribesWhatEveryPresetsButtonsDo) {
    const FrontEndDesign design = DesignFrontEnd();
    const FeNode& screen = design.screens[19];
    auto text = [&](const FeNode& n) { return design.strings[size_t(n.string)]; };
    const struct {
        const char* name;
        uint32_t button;
    } kButtons[8] = {{"X", console::kPadCross},       {"SQUARE", console::kPadSquare},
                     {"CIRCLE", console::kPadCircle}, {"TRIANGLE", console::kPadTriangle},
                     {"L1", console::kPadL1},         {"R1", console::kPadR1},
                     {"L2", console::kPadL2},         {"R2", console::kPadR2}};
    const struct {
        uint32_t control;
        const char* action;
    } kActions[] = {{CONTROL_PRELOAD, "PRELOAD"}, {CONTROL_STUNT_A, "STUNT 1"}, {CONTROL_WHIP, "WHIP"},
                    {CONTROL_STUNT_B, "STUNT 2"}, {CONTROL_ACCEL, "THROTTLE"},  {CONTROL_VIEW, "CAMERA"},
                    {CONTROL_BRAKE, "BRAKE"},     {CONTROL_NITRO, "NITRO"}};
    for (unsigned preset = 0; preset < 4; ++preset) {
        controllers_.clear();
        make(0, preset, STATE_BIKE);
        for (int b = 0; b < 8; ++b) {
            const FeNode* line = nullptr;
            for (const FeNode& n : screen.children)
                if (n.id == 774 + 10 * int(preset) + b) line = &n;
            ASSERT_TRUE(line && line->children.size() == 2) << preset << ":" << b;
            ASSERT_EQ(text(line->children[0]), kButtons[b].name);
            console::PadInput in = console::PadIdle();
            in.buttons = kButtons[b].button;
            console::PadSetInput(0, 0, in);
            veControlMaintenance();
            const uint32_t bits = veControlGetVirtualPadDigitalBits(0);
            std::string does;
            for (const auto& a : kActions)
                if (bits & a.control) does += a.action;
            EXPECT_EQ(does, text(line->children[1])) << "preset " << preset << ", " << kButtons[b].name;
        }
    }
    console::PadSetInput(0, 0, console::PadIdle());
}

}  // namespace
