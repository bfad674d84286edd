// The small screens: the title that fades in and waits for Start, the scrolling credits (also shown by
// the attract loop), the memory-card notice, the loading screen that ends the front end, and the
// practice track viewer.
#include <cstdio>

#include "console/mem/addr.h"
#include "engine/font/font.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"
#include "frontend/sm/sm_types.h"
#include "race/demo_loop.h"

// ---- credits ---------------------------------------------------------------------------------------
struct Credit {
    const char* name = "";
    _font* cf = f_fe;
    int16_t y = 0;
    int16_t x = 200;
};

inline constexpr int kCreditLines = 17;
Credit* Credits = nullptr;
uint16_t currentcredit = 0, currentendcredit = 0;
int32_t framecounter = 0;
int loopx = 0;

// ---- notice ----------------------------------------------------------------------------------------
int32_t wow = 0;
int32_t non = 0;

// ---- practice --------------------------------------------------------------------------------------
int8_t Practice_ItemCurrent = 0;
const int8_t Practice_ItemCount = 10;
_smdlhdr* Practice_trackx[10];
_smdlhdr* Practice_track[10];
_smdlhdr* Practice_track_pic[10];

namespace {

bool DemoLoopRunning() {
    return DLManager.getDemoLoopState() != DL_DISABLED;
}

// ---- title ----
intptr_t Start_OnInitialUpdate(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    root->Alpha = 0;
    if (currentmusic != 1) FE_PlayStream(1);
    currenttime = veClockGetSeconds();
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Start_OnSync(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    newtime = veClockGetSeconds();
    float t = newtime - currenttime;
    if (t > 1.0f) t = 1.0f;
    if (t < 0.0f) t = 0.0f;
    root->Alpha = static_cast<uint8_t>(255.0f * t);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Start_OnStart(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_START);
    SM_ScreenLink(33);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Taken(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    return 0;
}
const _sm_msgmapstruct kStartMap[] = {
    {SM_MSG_INITIALUPDATE, 34, Start_OnInitialUpdate},
    {SM_MSG_SYNC, 34, Start_OnSync},
    {SM_MSG_CANCEL, 34, Taken},
    {SM_MSG_ACCEPT, 34, Taken},
    {SM_MSG_START, 34, Start_OnStart},
    {0, 0, nullptr},
};

// ---- credits ----
// The hint band's line says what the buttons do. From the options X leads to the main menu and
// TRIANGLE back to the options, as the disc's line says; in the attract loop X, TRIANGLE and START all
// go back to the title.
constexpr int kCreditsHint = 1620;
const char kAttractCreditsHint[] = "X, TRIANGLE OR START  TITLE";
void ShowCreditsHint() {
    _smdlhdr* n = SM_FindControlByID(kCreditsHint);
    if (!n || n->Type != SM_TYPE_TEXT) return;
    // 0: the disc's line, looked up again when next drawn.
    reinterpret_cast<_sm_textnode*>(n)->Text = DemoLoopRunning() ? Addr32(kAttractCreditsHint) : 0;
}

void FreeCredits() {
    if (Credits) x_free(Credits);
    Credits = nullptr;
}

intptr_t Credits_OnInitialUpdate(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (currentmusic != 2) FE_PlayStream(2);
    currenttime = veClockGetSeconds();
    currentendcredit = currentcredit = 0;
    framecounter = 0;
    // A link back to the credits while they show sends this again without a Destroy: free first.
    FreeCredits();
    Credits = static_cast<Credit*>(x_fn_malloc(sizeof(Credit) * kCreditLines, "FECredits", __LINE__));
    for (loopx = 0; loopx < kCreditLines; ++loopx) Credits[loopx] = Credit{};
    Credits[0].name = "The Team:";
    Credits[1].name = " - Programmers";
    Credits[0].cf = Credits[1].cf = fh_fe;
    for (int i = 0; i < kCreditNames; ++i) Credits[2 + i].name = fe_creditNames[i];
    Credits[16].name = "    The End";
    Credits[0].y = 340;
    currenttime = veClockGetSeconds();
    ShowCreditsHint();
    if (DemoLoopRunning()) FE_PlayStream(1);
    return 0;
}
intptr_t Credits_OnSync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    ++framecounter;
    return 0;
}
intptr_t Credits_OnRender(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (p1 == 0 || !Credits) return 0;
    newtime = veClockGetSeconds();
    if (currentendcredit == kCreditLines - 1 && Credits[kCreditLines - 1].y < 261) {
        Credits[kCreditLines - 1].y = 260;
        DLManager.setCreditsDone();
    } else if (newtime - currenttime >= 0.02f) {
        for (int i = currentcredit; i <= currentendcredit; ++i) --Credits[i].y;
        currenttime = veClockGetSeconds();
    }
    for (int i = currentcredit; i <= currentendcredit; ++i)
        if (Credits[i].cf) veFontPrintfXY(Credits[i].cf, Credits[i].x, Credits[i].y, "%s", Credits[i].name);
    if (Credits[currentendcredit].y <= 310 && currentendcredit < kCreditLines - 1) {
        ++currentendcredit;
        Credits[currentendcredit].y = 340;
    }
    if (Credits[currentcredit].y < 181 && currentcredit < currentendcredit) {
        Credits[currentcredit].y = 0;
        ++currentcredit;
    }
    return 0;
}
// Back to the title with the attract loop counting from the start.
void CreditsToTitle() {
    SM_ScreenLink(34);
    DLManager.setDemoLoopState(DL_FRONT_END);
    DLManager.setDLCounter(0);
}
intptr_t Credits_OnStart(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (DemoLoopRunning()) CreditsToTitle();
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Credits_OnAccept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (DemoLoopRunning())
        CreditsToTitle();
    else
        SM_ScreenLink(33);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Credits_OnCancel(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (DemoLoopRunning()) {
        CreditsToTitle();
    } else {
        FE_PlayPair(FE_BACK);
        SM_ScreenLink(20);
    }
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Credits_OnDestroy(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FreeCredits();
    return 0;
}
const _sm_msgmapstruct kCreditsMap[] = {
    {SM_MSG_INITIALUPDATE, 1, Credits_OnInitialUpdate},
    {SM_MSG_CANCEL, 1, Credits_OnCancel},
    {SM_MSG_RENDER, 1, Credits_OnRender},
    {SM_MSG_SYNC, 1, Credits_OnSync},
    {SM_MSG_ACCEPT, 1, Credits_OnAccept},
    {SM_MSG_DESTROY, 1, Credits_OnDestroy},
    {SM_MSG_START, 1, Credits_OnStart},
    {0, 0, nullptr},
};

// ---- memory-card notice ----
const char kNotice[] = " No memory Card present, your game will not be saved.";
intptr_t NoMC_OnSync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    for (non = 0; non != wow / 4 && non < static_cast<int>(sizeof kNotice) - 1; ++non)
        x_printfxy(60 + 10 * non, 112, "%c ", kNotice[non]);
    if (wow < 213)
        ++wow;
    else
        x_printfxy(140, 124, "%s", "Press X to continue or O to retry load.");
    return 0;
}
intptr_t NoMC_OnAccept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_ScreenLink(34);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t NoMC_OnCircle(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    x_printf("PSX2 8meg memcard not found.\n");
    SM_ScreenLink(34);
    SM_AcknowledgeMsg();
    return 0;
}
const _sm_msgmapstruct kNoMCMap[] = {
    {SM_MSG_INITIALUPDATE, 0, Taken},
    {SM_MSG_SYNC, 0, NoMC_OnSync},
    {SM_MSG_ACCEPT, 0, NoMC_OnAccept},
    {SM_MSG_CIRCLE, 0, NoMC_OnCircle},
    {0, 0, nullptr},
};

// ---- loading ----
intptr_t Loading_OnInitialUpdate(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    Doneflag = 1;
    SM_AcknowledgeMsg();
    return 0;
}
const _sm_msgmapstruct kLoadingMap[] = {
    {SM_MSG_INITIALUPDATE, 21, Loading_OnInitialUpdate},
    {SM_MSG_CANCEL, 21, Taken},
    {SM_MSG_SYNC, 21, Taken},
    {0, 0, nullptr},
};

// ---- practice ----
void PracticeShow() {
    for (int k = 0; k < Practice_ItemCount; ++k) {
        FE_Show(Practice_track[k], k == Practice_ItemCurrent);
        FE_Show(Practice_track_pic[k], k == Practice_ItemCurrent);
    }
}
intptr_t Practice_OnInitialUpdate(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    for (int k = 0; k < Practice_ItemCount; ++k) {
        Practice_trackx[k] = SM_FindControlByID(1049 + 3 * k);
        Practice_track[k] = Practice_trackx[k];
        Practice_track_pic[k] = SM_FindControlByID(1050 + 3 * k);
    }
    PracticeShow();
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Practice_OnStep(int dir) {
    const int n = Practice_ItemCount;
    Practice_ItemCurrent = static_cast<int8_t>((Practice_ItemCurrent + dir + n) % n);
    PracticeShow();
    FE_PlayPair(FE_SELECT);
    SM_AcknowledgeMsg();
    return 0;
}
intptr_t Practice_OnLeft(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    return Practice_OnStep(-1);
}
intptr_t Practice_OnRight(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    return Practice_OnStep(1);
}
intptr_t Practice_OnCancel(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_BACK);
    return 0;
}
const _sm_msgmapstruct kPracticeMap[] = {
    {SM_MSG_INITIALUPDATE, 26, Practice_OnInitialUpdate},
    {SM_MSG_SYNC, 26, Taken},
    {SM_MSG_ACCEPT, 26, Taken},
    {SM_MSG_CANCEL, 26, Practice_OnCancel},
    {SM_MSG_LEFT, 26, Practice_OnLeft},
    {SM_MSG_RIGHT, 26, Practice_OnRight},
    {0, 0, nullptr},
};

}  // namespace

intptr_t StartScreenProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kStartMap, node, msg, p1, p2, p3);
}
intptr_t CreditsProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kCreditsMap, node, msg, p1, p2, p3);
}
intptr_t NoMCProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kNoMCMap, node, msg, p1, p2, p3);
}
intptr_t LoadingProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kLoadingMap, node, msg, p1, p2, p3);
}
intptr_t PracticeProc(_smdlhdr* node, int32_t msg, intptr_t p1, intptr_t p2, intptr_t p3) {
    return SM_ProcessMsgMap(kPracticeMap, node, msg, p1, p2, p3);
}
