#include <gtest/gtest.h>

#include "sm_fixture.h"
#include "support/log_capture.h"

namespace {

using smtest::Button;
using smtest::g_log;
using Strings = std::vector<std::string>;

class ScreenManager : public smtest::Rig {};

// Screen 5: four buttons in a row (40..43, Left/Right links), 41 opens screen 6.
void Row(uint16_t disabled41 = 0, uint16_t disabled42 = 0, uint16_t disabled43 = 0) {
    smtest::MakeScreen(5,
                       {{40, 0, -1, -1, -1, 1},
                        {41, 6, -1, -1, 0, 2, disabled41},
                        {42, 0, -1, -1, 1, 3, disabled42},
                        {43, 0, -1, -1, 2, -1, disabled43}},
                       0);
}

TEST_F(ScreenManager, LinkingAndGoingBackDriveTheStackAndEachScreensMessages) {
    x_free(smtest::g_screens[5]);
    Row();
    SM_ScreenLink(1);
    EXPECT_EQ(Msgs(), (std::vector<int32_t>{SM_MSG_LOADED, SM_MSG_INITIALUPDATE, SM_MSG_SYNC}));
    SM_SendMessage(1, SM_MSG_CANCEL, 0, 0, 0);  // the first screen: nothing happens
    EXPECT_EQ(SM_GetCurScreen(), 1);

    g_log.clear();
    SM_ScreenLink(5);
    EXPECT_EQ(Seen(SM_MSG_SAVESTATE), Strings{"1:1"});
    EXPECT_EQ(Seen(SM_MSG_DESTROY), Strings{"1:1"});
    EXPECT_EQ(g_log[1].p1, 5);  // Destroy names the next screen
    EXPECT_EQ(smtest::g_use[1], 0);
    EXPECT_EQ(SM_GetSelectedControl(), 40);                         // the file's saved focus
    EXPECT_EQ(Seen(SM_MSG_FOCUSGAINED), (Strings{"5:40", "5:5"}));  // the control, then the root

    // Right moves the focus; Accept on 41 opens screen 6 through its link screen.
    SM_SendMessage(5, SM_MSG_RIGHT, 0, 1, 0);
    SM_SendMessage(5, SM_MSG_ACCEPT, 0, 0, 0);
    EXPECT_EQ(SM_GetCurScreen(), 6);
    EXPECT_EQ(SM_GetPrevScreen(0), 5);
    EXPECT_EQ(SM_GetPrevScreen(1), 1);
    EXPECT_EQ(SM_GetPrevScreen(2), -1);
    EXPECT_EQ(SM_GetScreen(5), nullptr);  // history: released

    // Cancel goes back: screen 5 is reloaded, restored, and its focus memory is the file's (no copy).
    g_log.clear();
    SM_SendMessage(6, SM_MSG_CANCEL, 0, 0, 0);
    EXPECT_EQ(SM_GetCurScreen(), 5);
    EXPECT_EQ(Seen(SM_MSG_DESTROY), Strings{"6:6"});  // popped; no save state going back
    EXPECT_EQ(Seen(SM_MSG_RESTORESTATE), (Strings{"5:5", "5:43", "5:42", "5:41", "5:40"}));
    EXPECT_EQ(smtest::g_use[6], 0);
    EXPECT_EQ(smtest::g_use[5], 1);
    SM_ScreenLink(1);  // back two at once
    EXPECT_EQ(SM_GetCurScreen(), 1);
    EXPECT_EQ(SM_GetPrevScreen(0), -1);
}

TEST_F(ScreenManager, LinkingToTheCurrentScreenOnlyRestartsIt) {
    Replace(5, {{40}, {41}}, 1);
    SM_ScreenLink(5);
    g_log.clear();
    SM_ScreenLink(5);
    EXPECT_EQ(Seen(SM_MSG_INITIALUPDATE), (Strings{"5:5", "5:41", "5:40"}));
    EXPECT_EQ(Seen(SM_MSG_FOCUSGAINED), (Strings{"5:41", "5:5"}));
    EXPECT_EQ(Seen(SM_MSG_SYNC), (Strings{"5:5", "5:41", "5:40"}));
    EXPECT_EQ(Msgs().size(), 8u);  // nothing else: no save state, Destroy or reload
    EXPECT_EQ(smtest::g_use[5], 1);
    // It is still the current screen: the shell's per-frame Sync reaches it.
    g_log.clear();
    SM_SendMessage(5, SM_MSG_SYNC, 0, 0, 0);
    EXPECT_FALSE(g_log.empty());
}

TEST_F(ScreenManager, SyncReachesEveryControlOfEveryActiveScreenInWalkOrder) {
    // Screen 7: 40, 41 (with children 42, 43), 44. Screen 8 is an overlay with 50.
    Replace(7, {{40}, {41}, {42, 0, -1, -1, -1, -1, 0, 1}, {43, 0, -1, -1, -1, -1, 0, 1}, {44}});
    Replace(8, {{50}}, 0, SM_FLAG_OVERLAY);
    const _sm_msgmapstruct ackSync[] = {{SM_MSG_SYNC, SM_ANYCONTROL,
                                         [](_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) -> intptr_t {
                                             SM_AcknowledgeMsg();
                                             return 0;
                                         }},
                                        {0, 0, nullptr}};
    SM_ScreenLink(7);
    SM_ScreenLink(8);
    g_log.clear();
    smtest::g_map = ackSync;  // controls that take Sync do not stop the walk
    smtest::g_now = 2.5f;
    SM_SendMessage(8, SM_MSG_SYNC, 0, 0, 0);
    // Roots acknowledge too, so each screen's procedure sees its root then stops: nothing is walked.
    EXPECT_EQ(Seen(SM_MSG_SYNC), Strings{"8:8"});
    const _sm_msgmapstruct controlsOnly[] = {
        {SM_MSG_SYNC, 40, ackSync[0].Callback}, {SM_MSG_SYNC, 50, ackSync[0].Callback}, {0, 0, nullptr}};
    smtest::g_map = controlsOnly;
    g_log.clear();
    SM_SendMessage(8, SM_MSG_SYNC, 0, 0, 0);
    EXPECT_EQ(Seen(SM_MSG_SYNC), (Strings{"8:8", "8:50", "8:7", "7:44", "7:43", "7:42", "7:41", "7:40"}));
    EXPECT_EQ(g_log[0].p2, 2500);  // current time and time since the last Sync, in ms
    EXPECT_EQ(g_log[0].p1, 0);
}

TEST_F(ScreenManager, DirectionsFollowLinksPastDisabledControls) {
    struct Case {
        uint16_t d41, d42, d43;
        int32_t msg;
        intptr_t p2;
        int expect;
    };
    const Case cases[] = {
        {0, 0, 0, SM_MSG_RIGHT, 1, 41},
        {SM_FLAG_DISABLED, 0, 0, SM_MSG_RIGHT, 1, 42},
        {SM_FLAG_DISABLED, SM_FLAG_DISABLED, SM_FLAG_DISABLED, SM_MSG_RIGHT, 1, 40},  // nowhere to go
        {0, 0, 0, SM_MSG_LEFT, 1, 40},                                                // no link
        {0, 0, 0, SM_MSG_RIGHT, 0, 40},                                               // not a moving press
        {0, 0, 0, SM_MSG_UP, 1, 40},
    };
    for (const Case& c : cases) {
        SM_KillSystem();
        x_free(smtest::g_screens[5]);
        Row(c.d41, c.d42, c.d43);
        SM_InitSystem(255, smtest::Finder);
        SM_ScreenLink(5);
        SM_SendMessage(5, c.msg, 0, c.p2, 0);
        EXPECT_EQ(SM_GetSelectedControl(), c.expect) << c.msg << " " << c.d41 << c.d42 << c.d43;
        _smdlhdr* focus = SM_FindControlByID(c.expect);
        EXPECT_TRUE(focus->Flags & SM_FLAG_HIGHLIGHTED);
        if (c.expect != 40) {
            EXPECT_FALSE(SM_FindControlByID(40)->Flags & SM_FLAG_HIGHLIGHTED);
        }
    }
}

intptr_t Take(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    return 7;
}

TEST_F(ScreenManager, MessageMapSeesControlThenRootAndCanSuppressTheLink) {
    struct Case {
        int32_t control;  // the map row's control
        int expectScreen;
        intptr_t expectResult;
    };
    const Case cases[] = {{41, 5, 7}, {5, 5, 7}, {SM_ANYCONTROL, 5, 7}, {99, 6, 0}};
    for (const Case& c : cases) {
        SM_KillSystem();
        x_free(smtest::g_screens[5]);
        Row();
        SM_InitSystem(255, smtest::Finder);
        SM_ScreenLink(5);
        SM_SwitchControlFocus(41);
        const _sm_msgmapstruct map[] = {{SM_MSG_ACCEPT, c.control, Take}, {0, 0, nullptr}};
        smtest::g_map = map;
        g_log.clear();
        EXPECT_EQ(SM_SendMessage(5, SM_MSG_ACCEPT, 0, 0, 0), c.expectResult) << c.control;
        EXPECT_EQ(SM_GetCurScreen(), c.expectScreen) << c.control;
        EXPECT_EQ(g_log[0].node, 41);  // the control first
        smtest::g_map = nullptr;
    }
}

TEST_F(ScreenManager, OverlayKeepsTheScreenBeneathUntilANormalScreenReplacesBoth) {
    Replace(5, {{40}}, 0);
    Replace(8, {{50}}, 0, SM_FLAG_OVERLAY);
    SM_ScreenLink(5);
    SM_ScreenLink(8);
    EXPECT_EQ(Seen(SM_MSG_FOCUSLOST), (Strings{"5:40", "5:5"}));
    EXPECT_EQ(Seen(SM_MSG_DESTROY), Strings{});
    SM_Render();
    EXPECT_EQ(smtest::g_drawn, (std::vector<int>{5, 8}));  // bottom first
    g_log.clear();
    SM_ScreenLink(9);
    // Top first; a lower root is called while the overlay is still current.
    EXPECT_EQ(Seen(SM_MSG_SAVESTATE), (Strings{"8:8", "8:50", "8:5", "5:40"}));
    EXPECT_EQ(Seen(SM_MSG_DESTROY), (Strings{"8:8", "8:50", "8:5", "5:40"}));
    EXPECT_EQ(smtest::g_use[5] + smtest::g_use[8], 0);
    // Going back to the overlay reloads the screen beneath it too.
    SM_GoBack();
    EXPECT_EQ(SM_GetCurScreen(), 8);
    EXPECT_EQ(smtest::g_use[5], 1);
    EXPECT_EQ(SM_GetSelectedControl(), 50);
    smtest::g_drawn.clear();
    SM_Render();
    EXPECT_EQ(smtest::g_drawn, (std::vector<int>{5, 8}));
}

TEST_F(ScreenManager, PoppingTheLowestEntryNamesNoScreenBeneath) {
    SM_ScreenLink(3);
    g_log.clear();
    SM_PopScreen();
    ASSERT_EQ(Seen(SM_MSG_DESTROY), Strings{"3:3"});
    EXPECT_EQ(g_log[0].p1, -1);
    EXPECT_EQ(SM_GetCurScreen(), -1);
    EXPECT_EQ(SM_SendMessage(3, SM_MSG_ACCEPT, 0, 0, 0), 0);
}

TEST_F(ScreenManager, ScreensWithoutProcedureAndBadNumbersAreHandledSafely) {
    testsupport::LogCapture log;
    Replace(2, {{40, 5}}, 0);
    SM_ScreenLink(2);  // no procedure: default handling only
    EXPECT_EQ(SM_GetSelectedControl(), 40);
    SM_SendMessage(2, SM_MSG_ACCEPT, 0, 0, 0);
    EXPECT_EQ(SM_GetCurScreen(), 5);
    for (int bad : {-1, 35, 1000}) {
        log.clear();
        EXPECT_EQ(SM_GetScreen(bad), nullptr);
        EXPECT_EQ(SM_LoadScreen(bad), nullptr);
        SM_ScreenLink(bad);
        EXPECT_EQ(log.count("out of range"), 3) << bad;
        EXPECT_EQ(SM_GetCurScreen(), 5);
    }
}

TEST_F(ScreenManager, ControlTypesAndLookups) {
    EXPECT_EQ(SM_GetSMPFlags(SM_TYPE_BUTTON), 1u);
    EXPECT_EQ(SM_GetSMPCallback(12), nullptr);
    for (int t = 0; t < SM_MAXSMP - 2; ++t) EXPECT_EQ(SM_RegisterSMP(100 + t, Take, nullptr, 0), 1);
    EXPECT_EQ(SM_RegisterSMP(500, Take, nullptr, 0), 0);  // 64 slots
    SM_RegisterSMP(100, nullptr, nullptr, 0);
    EXPECT_EQ(SM_GetSMPCallback(100), nullptr);
    // A control of an unregistered type gets only the default handling and cannot take the focus.
    Replace(5, {{40}, {41}}, 0);
    SM_ScreenLink(5);
    SM_FindControlByID(41)->Type = 12;
    SM_SwitchControlFocus(41);
    EXPECT_EQ(SM_GetSelectedControl(), 40);
    EXPECT_EQ(SM_FindControlByID(77), nullptr);
    // A cached lookup notices a node whose id changed.
    SM_FindControlByID(40)->ID = 45;
    EXPECT_EQ(SM_FindControlByID(40), nullptr);
    EXPECT_NE(SM_FindControlByID(45), nullptr);
}

TEST_F(ScreenManager, AScreenThatLinksOnWhenWeGoBackToItLeavesTheLinkedScreenCurrent) {
    // Screen 5 links on to screen 7 from its InitialUpdate once armed; we go 5 -> 6, then back to 5.
    static bool armed = false;
    armed = false;
    const _sm_msgmapstruct map[] = {
        {SM_MSG_INITIALUPDATE, 5,
         [](_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) -> intptr_t {
             if (armed) armed = false, SM_ScreenLink(7);
             return 0;
         }},
        {0, 0, nullptr},
    };
    smtest::g_map = map;
    Replace(7, {{70}}, 0);
    SM_ScreenLink(5);
    SM_ScreenLink(6);
    armed = true;
    g_log.clear();
    SM_SendMessage(6, SM_MSG_CANCEL, 0, 0, 0);
    // Screen 7 is current and on the stack above screen 5, which it replaced (released, history).
    EXPECT_EQ(SM_GetCurScreen(), 7);
    EXPECT_EQ(SM_GetPrevScreen(0), 5);
    EXPECT_EQ(SM_GetPrevScreen(1), -1);
    EXPECT_EQ(smtest::g_use[7], 1);
    EXPECT_EQ(smtest::g_use[5], 0);
    EXPECT_EQ(smtest::g_use[6], 0);
    EXPECT_EQ(SM_GetSelectedControl(), 70);
    // Screen 5's state was not handed to screen 7 as its own.
    EXPECT_EQ(Seen(SM_MSG_RESTORESTATE), Strings{});
    EXPECT_EQ(Seen(SM_MSG_DESTROY).front(), "6:6");
    // The screen left behind is screen 5: screen 7 takes its messages, and drawing shows it alone.
    g_log.clear();
    SM_SendMessage(7, SM_MSG_SYNC, 0, 0, 0);
    EXPECT_EQ(Seen(SM_MSG_SYNC), (Strings{"7:7", "7:70"}));
    SM_Render();
    EXPECT_EQ(smtest::g_drawn, std::vector<int>{7});
    // And going back from it reaches screen 5 again, which now stays.
    SM_SendMessage(7, SM_MSG_CANCEL, 0, 0, 0);
    EXPECT_EQ(SM_GetCurScreen(), 5);
    EXPECT_EQ(smtest::g_use[7], 0);
    EXPECT_EQ(smtest::g_use[5], 1);
    smtest::g_map = nullptr;
}

}  // namespace
