// The main menu, the difficulty screen and the mode select: rows that fly in from both sides, a cursor
// that does not wrap, and Accept that records the choice and opens the next screen.
#include <cmath>

#include "engine/font/font.h"
#include "engine/hal/control.h"
#include "engine/sys/clock.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"
#include "race/demo_loop.h"

int8_t modenum_mm = 0;
int8_t modenum_diffiulty = 0;
int8_t modenum_modeselect = 0;

namespace {

struct MenuDef {
    int screen;
    int count;
    int rows[5];
    int bars[5];
    int8_t* cursor;
};

const MenuDef kMainMenu{33, 5, {1382, 1385, 1388, 1391, 1394}, {1384, 1387, 1390, 1393, 1396}, &modenum_mm};
const MenuDef kDifficulty{32, 3, {1367, 1370, 1373}, {1369, 1372, 1375}, &modenum_diffiulty};
const MenuDef kModeSelect{
    31, 5, {1350, 1353, 1356, 1359, 1362}, {1352, 1355, 1358, 1361, 1364}, &modenum_modeselect};

// Rows start off screen: even rows on the left, odd rows on the right.
constexpr int16_t kOffLeft = -210, kOffRight = 640;

// The main menu's two-player entry, and why it refuses: the race gives player 2 the second pad plugged
// in, and without one it could not go on (the line stands between the title band and the menu).
constexpr int kTwoPlayers = 1;
constexpr char kNoSecondPad[] = "CONNECT A SECOND CONTROLLER FOR 2 PLAYERS";
constexpr int32_t kNoticeX = 48, kNoticeY = 83;
// Two players were refused and the cursor has not moved since.
bool g_twoPlayersRefused = false;

bool SecondPadConnected() {
    veControlUpdatePhysicalConnectionBits();
    const uint32_t pads = veControlGetPhysicalPadConnectionBits();
    const int first = veControlFindFirstPhysicalPad(pads);
    return first >= 0 && veControlFindNextPhysicalPad(pads, first) >= 0;
}

void MenuInitialUpdate(const MenuDef& m, _smdlhdr* root) {
    currenttime = veClockGetSeconds();
    for (int i = 0; i < m.count; ++i) {
        swooshes[i] = SM_FindControlByID(m.bars[i]);
        modes[i] = SM_FindControlByID(m.rows[i]);
    }
    for (int i = m.count; i < 5; ++i) modes[i] = swooshes[i] = nullptr;
    for (int i = 0; i < m.count; ++i) {
        if (!modes[i]) continue;
        modesx[i] = static_cast<uint16_t>(modes[i]->x);
        modes[i]->x = (i % 2 == 0) ? kOffLeft : kOffRight;
    }
    for (int i = 0; i < m.count; ++i) {
        const int a = i == *m.cursor ? 255 : 127;
        FE_SetAlpha(modes[i], a);
        FE_SetAlpha(swooshes[i], a);
    }
    FE_SetSavedFocus(root, modes[*m.cursor]);
}

}  // namespace

// One fly-in step at t (0..1): each row closes the fraction t of its remaining distance home; t = 1
// lands it. The step is kept whole (no narrowing to 8 bits), so a frame hitch cannot strand a row.
void FE_FlyInStep(float t, int count, int cursor) {
    for (int i = 0; i < count; ++i) {
        _smdlhdr* row = modes[i];
        if (!row) continue;
        const int home = modesx[i];
        if (i % 2 == 0) {
            const int step = static_cast<int>((home - row->x) * t);
            row->x = static_cast<int16_t>(row->x + step);
        } else {
            const int step = static_cast<int>((row->x - home) * t);
            row->x = static_cast<int16_t>(row->x - step);
        }
        row->Alpha = static_cast<uint8_t>((i == cursor ? 255.0f : 127.0f) * t);
    }
}

namespace {

void MenuSync(const MenuDef& m) {
    newtime = veClockGetSeconds();
    float t = 5.0f * (newtime - currenttime);
    if (t > 1.0f) t = 1.0f;
    if (t < 0.0f) t = 0.0f;
    FE_FlyInStep(t, m.count, *m.cursor);
}

// Up (-1) or Down (+1): at the ends nothing happens; otherwise the highlight moves and the library
// moves the focus (the message is left unacknowledged).
void MenuMove(const MenuDef& m, int dir) {
    const int c = *m.cursor;
    if ((dir < 0 && c == 0) || (dir > 0 && c == m.count - 1)) {
        SM_AcknowledgeMsg();
        return;
    }
    FE_PlayPair(FE_MOVE);
    FE_SetAlpha(swooshes[c], 127);
    FE_SetAlpha(modes[c], 127);
    *m.cursor = static_cast<int8_t>(c + dir);
    FE_SetAlpha(swooshes[c + dir], 255);
    FE_SetAlpha(modes[c + dir], 255);
}

// ---- main menu ----
intptr_t Mainmenu_OnInitialUpdate(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    g_twoPlayersRefused = false;
    if (currentmusic != 0) FE_PlayStream(0);
    MenuInitialUpdate(kMainMenu, root);
    DLManager.setDemoLoopState(DL_DISABLED);
    return 0;
}
intptr_t Mainmenu_OnSync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuSync(kMainMenu);
    return 0;
}
intptr_t Mainmenu_OnAccept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    static const int kNext[5] = {32, 32, 11, 12, 20};
    if (modenum_mm == kTwoPlayers && !SecondPadConnected()) {
        g_twoPlayersRefused = true;
        FE_PlayPair(FE_ERROR);
        SM_AcknowledgeMsg();
        return 0;
    }
    FE_PlayPair(FE_ACCEPT);
    if (modenum_mm == 0) playerx = 1;
    if (modenum_mm == 1) playerx = 2;
    SM_ScreenLink(kNext[modenum_mm]);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Mainmenu_OnCancel(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Mainmenu_OnUp(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    g_twoPlayersRefused = false;
    MenuMove(kMainMenu, -1);
    return 0;
}
intptr_t Mainmenu_OnDown(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    g_twoPlayersRefused = false;
    MenuMove(kMainMenu, 1);
    return 0;
}
// Drawn over the screen (p1 1): why two players were refused, until the cursor moves or a second pad
// is plugged in.
intptr_t Mainmenu_OnRender(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (p1 == 0 || !g_twoPlayersRefused || !f_fe || SecondPadConnected()) return 0;
    veFontSetHorizontalAlignment(f_fe, 0);
    veFontPrintfXY(f_fe, kNoticeX, kNoticeY, "%s", kNoSecondPad);
    return 0;
}
const _sm_msgmapstruct kMainmenuMap[] = {
    {SM_MSG_INITIALUPDATE, 33, Mainmenu_OnInitialUpdate},
    {SM_MSG_SYNC, 33, Mainmenu_OnSync},
    {SM_MSG_ACCEPT, 33, Mainmenu_OnAccept},
    {SM_MSG_CANCEL, 33, Mainmenu_OnCancel},
    {SM_MSG_UP, 33, Mainmenu_OnUp},
    {SM_MSG_DOWN, 33, Mainmenu_OnDown},
    {SM_MSG_RENDER, 33, Mainmenu_OnRender},
    {0, 0, nullptr},
};

// ---- difficulty ----
intptr_t Difficulty_OnInitialUpdate(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuInitialUpdate(kDifficulty, root);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Difficulty_OnSync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuSync(kDifficulty);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Difficulty_OnAccept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_ACCEPT);
    diffx = modenum_diffiulty;
    SM_ScreenLink(31);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Menu_OnCancelBack(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_BACK);
    return 0;
}
intptr_t Difficulty_OnUp(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuMove(kDifficulty, -1);
    return 0;
}
intptr_t Difficulty_OnDown(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuMove(kDifficulty, 1);
    return 0;
}
const _sm_msgmapstruct kDifficultyMap[] = {
    {SM_MSG_INITIALUPDATE, 32, Difficulty_OnInitialUpdate},
    {SM_MSG_SYNC, 32, Difficulty_OnSync},
    {SM_MSG_ACCEPT, 32, Difficulty_OnAccept},
    {SM_MSG_CANCEL, 32, Menu_OnCancelBack},
    {SM_MSG_UP, 32, Difficulty_OnUp},
    {SM_MSG_DOWN, 32, Difficulty_OnDown},
    {0, 0, nullptr},
};

// ---- mode select ----
intptr_t ModeSelect_OnInitialUpdate(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuInitialUpdate(kModeSelect, root);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t ModeSelect_OnSync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuSync(kModeSelect);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t ModeSelect_OnAccept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    // Baja, indoor, outdoor, freestyle: the world letter and the set-up screen of each kind.
    static const char kLetter[4] = {'b', 'i', 'o', 'f'};
    static const int kSetup[4] = {28, 30, 29, 27};
    FE_PlayPair(FE_ACCEPT);
    const int e = modenum_modeselect;
    trackx = static_cast<int8_t>(e);
    if (e < 4) {
        fn[0] = kLetter[e];
        SM_ScreenLink(kSetup[e]);
    }
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t ModeSelect_OnUp(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuMove(kModeSelect, -1);
    return 0;
}
intptr_t ModeSelect_OnDown(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    MenuMove(kModeSelect, 1);
    return 0;
}
const _sm_msgmapstruct kModeSelectMap[] = {
    {SM_MSG_INITIALUPDATE, 31, ModeSelect_OnInitialUpdate},
    {SM_MSG_SYNC, 31, ModeSelect_OnSync},
    {SM_MSG_ACCEPT, 31, ModeSelect_OnAccept},
    {SM_MSG_CANCEL, 31, Menu_OnCancelBack},
    {SM_MSG_UP, 31, ModeSelect_OnUp},
    {SM_MSG_DOWN, 31, ModeSelect_OnDown},
    {0, 0, nullptr},
};

}  // namespace

intptr_t MainmenuProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kMainmenuMap, node, msg, p1, p2, p3);
}
intptr_t DifficultyProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kDifficultyMap, node, msg, p1, p2, p3);
}
intptr_t ModeSelectProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kModeSelectMap, node, msg, p1, p2, p3);
}
