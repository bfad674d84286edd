#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "sm_fixture.h"
#include "support/log_capture.h"

namespace {

using smtest::g_log;

// ---- list box --------------------------------------------------------------------------------------

class Listbox : public smtest::Rig {
protected:
    // One header row and column, 10 x 3 items ("row,col"), 4 x 2 visible: list box 60 on screen 5 beside
    // buttons 40 and 41; its links lead back to 40.
    _sm_listboxnode* Make() {
        static const int32_t widths[] = {50};
        static const int32_t heights[] = {12};
        static std::vector<std::string> texts;
        static std::vector<const char*> ptrs;
        texts.clear();
        ptrs.clear();
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 3; ++c) texts.push_back(std::to_string(r) + "," + std::to_string(c));
        for (const std::string& t : texts) ptrs.push_back(t.c_str());
        SMLB_Desc d{60, 10, 20,     100,    48,     4,      2,       10,          3,
                    1,  1,  {1, 0}, {2, 0}, {3, 0}, widths, heights, ptrs.data(), 0};
        _sm_listboxnode* lb = SMLB_CreateListbox(d);
        Replace(5, {{40, 0, -1, 1}, {41}}, 0);
        SM_ScreenLink(5);
        _smdlhdr* root = SM_GetScreen(5);
        lb->Hdr.pParent = Addr32(root);
        lb->Hdr.pNext = root->pChildren;
        root->pChildren = Addr32(lb);
        lb->Links.Up = lb->Links.Down = lb->Links.Left = Addr32(SM_FindControlByID(40));
        return lb;
    }
    static const char* Cell(_sm_listboxnode* lb, int vr, int vc) {
        _sm_textnode t;
        SMLB_BuildText(lb, &t, vr, vc);
        return t.Text ? Ptr<const char>(t.Text) : "";
    }
};

TEST_F(Listbox, SelectionMovesScrollsAndKeepsTheFocus) {
    _sm_listboxnode* lb = Make();
    SM_SwitchControlFocus(60);
    struct Step {
        int32_t msg;
        intptr_t p2;
        int selRow, selCol, firstRow;
        const char* lastVisibleCell;  // visible row 3, column 1
    };
    const Step steps[] = {
        {SM_MSG_UP, 1, 1, 1, 1, "3,1"},    // first selectable row: stays, still acknowledged
        {SM_MSG_DOWN, 0, 1, 1, 1, "3,1"},  // p2 0 does not move
        {SM_MSG_DOWN, 1, 2, 1, 1, "3,1"},  {SM_MSG_DOWN, 1, 3, 1, 1, "3,1"},
        {SM_MSG_DOWN, 1, 4, 1, 2, "4,1"},  // scrolls: the selection stays in the last visible line
        {SM_MSG_RIGHT, 1, 4, 2, 2, "4,2"}, {SM_MSG_RIGHT, 1, 4, 2, 2, "4,2"},
        {SM_MSG_LEFT, 1, 4, 1, 2, "4,1"},  {SM_MSG_LEFT, 1, 4, 1, 2, "4,1"},
    };
    for (const Step& s : steps) {
        SM_SendMessage(5, s.msg, 0, s.p2, 0);
        EXPECT_EQ(SM_GetSelectedControl(), 60) << s.msg;
        EXPECT_EQ(lb->SelRow, s.selRow) << s.msg;
        EXPECT_EQ(lb->SelCol, s.selCol) << s.msg;
        EXPECT_EQ(lb->FirstRow, s.firstRow) << s.msg;
        EXPECT_STREQ(Cell(lb, 3, 1), s.lastVisibleCell) << s.msg;
    }
    for (int i = 0; i < 12; ++i) SM_SendMessage(5, SM_MSG_DOWN, 0, 1, 0);
    EXPECT_EQ(lb->SelRow, 9);
    EXPECT_EQ(lb->FirstRow, 7);
    EXPECT_STREQ(Cell(lb, 0, 0), "0,0");  // headers never scroll
    EXPECT_STREQ(Cell(lb, 2, 0), "8,0");
    // A selection set from outside beyond the items is clamped to the last one, not one past it.
    lb->SelRow = 10;
    lb->SelCol = 3;
    KeepInBounds(lb);
    EXPECT_EQ(lb->SelRow, 9);
    EXPECT_EQ(lb->SelCol, 2);
}

TEST_F(Listbox, SelectedFontOnlyWhileFocused) {
    Make();
    struct Case {
        int focus;
        int selectedFontCells;
    };
    for (const Case& c : {Case{60, 1}, Case{40, 0}, Case{60, 1}}) {
        SM_SwitchControlFocus(c.focus);
        smtest::g_texts.clear();
        SM_Render();
        ASSERT_EQ(smtest::g_texts.size(), 8u);
        int selected = 0, header = 0;
        for (auto& [text, font] : smtest::g_texts) {
            selected += font == 3;
            header += font == 1;
        }
        EXPECT_EQ(selected, c.selectedFontCells) << c.focus;
        EXPECT_EQ(header, 5) << c.focus;  // first row and first column
    }
}

TEST_F(Listbox, CreationRefusesGridsWithoutHeadersAndDestroyFreesIt) {
    testsupport::LogCapture log;
    const int32_t sizes[] = {10, 10};
    struct Case {
        uint8_t visRows, visCols, rows, cols, hdrRows, hdrCols;
        bool made;
    };
    const Case cases[] = {
        {4, 2, 10, 3, 1, 1, true}, {4, 2, 10, 3, 0, 1, false}, {4, 2, 10, 3, 1, 0, false},
        {4, 2, 1, 3, 1, 1, false}, {1, 2, 10, 3, 1, 1, false},
    };
    for (const Case& c : cases) {
        log.clear();
        SMLB_Desc d{61,        0,         0,  0,  0,  c.visRows, c.visCols, c.rows,  c.cols,
                    c.hdrRows, c.hdrCols, {}, {}, {}, sizes,     sizes,     nullptr, 0};
        _sm_listboxnode* lb = SMLB_CreateListbox(d);
        EXPECT_EQ(lb != nullptr, c.made) << int(c.hdrRows) << int(c.hdrCols);
        EXPECT_EQ(log.has("refused"), !c.made);
        if (lb) OnDestroy(&lb->Hdr, SM_MSG_DESTROY, 0, 0, 0);
    }
    // Leaving the screen destroys an attached list box and unhooks it from the tree.
    Make();
    _smdlhdr* root = SM_GetScreen(5);
    SM_ScreenLink(6);
    EXPECT_EQ(SM_Node(root->pChildren)->ID, 40);  // Destroy unhooked (and freed) it
}

// ---- input queue and translator -------------------------------------------------------------------

uint32_t g_connected = 0;
uint16_t g_buttons[8];
int8_t g_analog[8][4];  // right x, right y, left x, left y
const INPUT_PadSource kPads{[] { return g_connected; }, [](int pad) -> uint32_t { return g_buttons[pad]; },
                            [](int pad, int control) { return g_analog[pad][control - 0x10]; }};

class Input : public smtest::Rig {
protected:
    void SetUp() override {
        Rig::SetUp();
        g_connected = 0;
        std::memset(g_buttons, 0, sizeof(g_buttons));
        std::memset(g_analog, 0, sizeof(g_analog));
        INPUT_SetPadSource(&kPads);
        SM_ScreenLink(1);
        g_log.clear();
    }
    void TearDown() override {
        INPUT_SetPadSource(nullptr);
        Rig::TearDown();
    }
    static std::vector<_input_event> Drain() {
        std::vector<_input_event> out;
        _input_event e;
        while (SM_InputGetNextEvent(&e)) out.push_back(e);
        return out;
    }
    // Polls, translates every event; the messages the screen got.
    static std::vector<smtest::Logged> Frame() {
        g_log.clear();
        SM_InputCheckDevices();
        for (_input_event e : Drain()) SM_TranslateEvent(&e);
        return g_log;
    }
};

TEST_F(Input, PollQueuesDeviceButtonAndStickEventsInOrder) {
    g_connected = 1;
    g_analog[0][2] = 100;
    auto ev = Drain();
    SM_InputCheckDevices();
    ev = Drain();
    ASSERT_EQ(ev.size(), 3u);  // inserted, then both sticks, no buttons
    EXPECT_EQ(ev[0].GadgetID, 425);
    EXPECT_EQ(ev[1].GadgetID, 445);
    EXPECT_EQ(ev[1].X, 100);
    EXPECT_EQ(ev[2].GadgetID, 446);
    EXPECT_EQ(ev[1].Timestamp, ev[2].Timestamp);
    EXPECT_EQ(INPUT_GetLocatorX(0, 445), 100);
    EXPECT_EQ(INPUT_GetLocatorX(0, 443), 0);

    g_buttons[0] = (1 << 6) | (1 << 11);  // cross and start together
    SM_InputCheckDevices();
    ev = Drain();
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].GadgetID, 433);
    EXPECT_EQ(ev[1].GadgetID, 438);
    EXPECT_EQ(ev[1].Timestamp, ev[0].Timestamp + 1);
    EXPECT_EQ(ev[0].Info, 1);

    g_connected = 0;  // pulled out: one removal, the stored sticks cleared
    SM_InputCheckDevices();
    ev = Drain();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].GadgetID, 424);
    EXPECT_EQ(INPUT_GetLocatorX(0, 445), 0);
}

TEST_F(Input, QueueKeepsTimeOrderAndDropsWhenFull) {
    const int32_t stamps[] = {5, 9, 3, 9, 7};
    for (int i = 0; i < 5; ++i) {
        _input_event e{8, static_cast<int16_t>(i), 1, 427, stamps[i], 0, 0, 0, 0};
        INPUTQ_EnQueue(&e);
    }
    std::vector<int> order;
    for (const _input_event& e : Drain()) order.push_back(e.DeviceNum);
    EXPECT_EQ(order, (std::vector<int>{2, 0, 4, 1, 3}));  // equal stamps keep arrival order
    for (int i = 0; i < INPUTQ_SIZE + 10; ++i) {
        _input_event e{8, 0, 1, 427, i, 0, 0, 0, 0};
        INPUTQ_EnQueue(&e);
    }
    const auto all = Drain();
    ASSERT_EQ(all.size(), static_cast<size_t>(INPUTQ_SIZE));
    EXPECT_EQ(all.back().Timestamp, INPUTQ_SIZE - 1);
}

TEST_F(Input, ButtonsBecomeTheirMessageThenDownAndPress) {
    struct Case {
        int bit;
        bool press;                                   // false: release
        std::vector<std::array<intptr_t, 4>> expect;  // msg, p1, p2, p3
    };
    const intptr_t pad1 = (3 << 16) | 1;
    const Case cases[] = {
        {6, true, {{1, pad1, 6, 0}, {10, pad1, 6, 0}, {9, pad1, 6, 0}}},
        {6, true, {{9, pad1, 6, 0}}},  // still held: press only
        {6, false, {{11, pad1, 6, 0}}},
        {12, true, {{5, pad1, 1, 10000}, {10, pad1, 12, 0}, {9, pad1, 12, 0}}},
        {4, true, {{2, pad1, 4, 0}, {10, pad1, 4, 0}, {9, pad1, 4, 0}}},
        {9, true, {{10, pad1, 9, 0}, {9, pad1, 9, 0}}},  // L3: no message of its own
        {0, true, {{22, pad1, 0, 0}, {10, pad1, 0, 0}, {9, pad1, 0, 0}}},
    };
    for (const Case& c : cases) {
        g_log.clear();
        _input_event e{8, 1, 1, static_cast<int16_t>(427 + c.bit), 0, static_cast<int16_t>(c.press), 0, 0, 0};
        SM_TranslateEvent(&e);
        std::vector<std::array<intptr_t, 4>> got;
        for (const smtest::Logged& l : g_log) got.push_back({l.msg, l.p1, l.p2, l.p3});
        EXPECT_EQ(got, c.expect) << c.bit;
    }
    // Select is a system message: every active screen receives it.
    Replace(8, {}, -1, SM_FLAG_OVERLAY);
    SM_ScreenLink(8);
    g_log.clear();
    _input_event select{8, 0, 1, 435, 0, 1, 0, 0, 0};
    SM_TranslateEvent(&select);
    EXPECT_EQ(Seen(SM_MSG_SELECT), (std::vector<std::string>{"8:8", "8:1"}));
    // A pad pulled out.
    g_log.clear();
    _input_event gone{8, 2, 0, 424, 0, 0, 0, 0, 0};
    SM_TranslateEvent(&gone);
    ASSERT_EQ(g_log.size(), 1u);
    EXPECT_EQ(g_log[0].msg, SM_MSG_DEVICECHANGE);
    EXPECT_EQ(g_log[0].p1, 0x80002);
    EXPECT_EQ(g_log[0].p3, 424);
}

TEST_F(Input, LeftStickRepeatsWithDeflectionRightStickOnlyReports) {
    SM_SetJoystickThreshold(100);
    g_connected = 1;
    Frame();  // insertion, and the stick state's clock starts
    struct Case {
        int8_t lx, rx;
        int rights, polars, rightPolars;
    };
    // At 127 the accumulator passes 16 after 17/127 s: every 9th frame at 60 frames a second.
    const Case cases[] = {{127, 0, 6, 60, 0}, {90, 0, 0, 0, 0}, {0, 127, 0, 0, 60}};
    for (const Case& c : cases) {
        g_analog[0][2] = c.lx;
        g_analog[0][0] = c.rx;
        int rights = 0, polars = 0, rightPolars = 0;
        for (int f = 0; f < 60; ++f) {  // one second at 60 frames
            smtest::g_now += 1.0f / 60;
            for (const smtest::Logged& l : Frame()) {
                rights += l.msg == SM_MSG_RIGHT;
                rightPolars += l.msg == SM_MSG_RSTICKPOLAR;
                if (l.msg == SM_MSG_LSTICKPOLAR) {
                    ++polars;
                    EXPECT_EQ(l.p2, 127);
                    EXPECT_EQ(l.p3, 0);
                }
            }
        }
        EXPECT_EQ(rights, c.rights) << int(c.lx);
        EXPECT_EQ(polars, c.polars) << int(c.lx);
        EXPECT_EQ(rightPolars, c.rightPolars) << int(c.rx);
    }
}

// A button still held when the screens start (the press that left the race) is no new press: the first
// poll sees the pad inserted and nothing else, the release is only a button-up, the next press counts.
TEST_F(Input, ButtonHeldWhenTheScreensStartIsNotAPress) {
    g_connected = 1;
    g_buttons[0] = 1u << 6;  // cross held
    SM_InitInputModule();
    std::vector<int32_t> seen;
    for (int f = 0; f < 4; ++f)
        for (const smtest::Logged& l : Frame()) seen.push_back(l.msg);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), SM_MSG_ACCEPT), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), SM_MSG_DEVICECHANGE), 1);
    g_buttons[0] = 0;
    std::vector<int32_t> released;
    for (const smtest::Logged& l : Frame())
        if (l.msg != SM_MSG_LSTICKPOS && l.msg != SM_MSG_RSTICKPOS) released.push_back(l.msg);
    EXPECT_EQ(released, (std::vector<int32_t>{SM_MSG_BUTTONUP}));
    g_buttons[0] = 1u << 6;
    const auto pressed = Frame();
    ASSERT_FALSE(pressed.empty());
    EXPECT_EQ(pressed[0].msg, SM_MSG_ACCEPT);
}

}  // namespace
