// The career slot screens (slots 1-4 and 5-8) and the on-screen keyboard that names a new career.
#include <algorithm>
#include <cstring>

#include "engine/font/font.h"
#include "engine/sys/clock.h"
#include "frontend/screens/career_ui.h"
#include "frontend/sm/sm_resource.h"

using namespace careerui;

int8_t careerfilechosen = 0, careerfilechoice2 = 0, countch = 0;
char careerfilename[16] = {};

namespace {

constexpr int kSlots = 11, kSlots2 = 10, kKeyboard = 9, kSeriesChoice = 7, kRiderChoice = 8, kMainMenu = 33;
constexpr int kFirstKey = 373;

intptr_t Stamp(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    return Ack();
}

// Four slots from `first`, the one under the cursor in the highlight font.
void DrawSlots(int first, int cursor) {
    for (int b = 0; b < 4; ++b) {
        _font* font = b == cursor ? fh_fe : f_fe;
        if (!font) continue;
        const CareerData& c = CareerFile[first + b];
        if (c.used)
            veFontPrintfXY(font, 160, 144 + 52 * b, " %s ", c.savename);
        else
            veFontPrintfXY(font, 160, 144 + 52 * b, "EMPTY SLOT");
    }
}
// Chooses slot n: a used one goes on to its series, an empty one to the keyboard.
void ChooseSlot(int n) {
    cfc = static_cast<int8_t>(n);
    SM_ScreenLink(CareerFile[n].used ? kSeriesChoice : kKeyboard);
}

// ---- slots 1-4 (11) -------------------------------------------------------------------------------
intptr_t Slots_Up(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    careerfilechosen = static_cast<int8_t>(std::max(careerfilechosen - 1, 0));
    FE_PlayPair(FE_MOVE);
    return Ack();
}
intptr_t Slots_Down(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    careerfilechosen = static_cast<int8_t>(std::min(careerfilechosen + 1, 4));
    FE_PlayPair(FE_MOVE);
    return Ack();
}
intptr_t Slots_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    if (careerfilechosen < 0 || careerfilechosen > 3) return 0;
    FE_PlayPair(FE_ACCEPT);
    ChooseSlot(careerfilechosen);
    return 0;
}
intptr_t Slots_Circle(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (careerfilechosen >= 0 && careerfilechosen <= 3) CareerFile[careerfilechosen].reset();
    return Ack();
}
intptr_t Slots_Render(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (!Drawing(p1)) return 0;
    DrawSlots(0, careerfilechosen);
    if (f_fe) veFontPrintfXY(f_fe, 160, 360, "X to create/load, O to delete.");
    return 0;
}
const _sm_msgmapstruct kSlotsMap[] = {
    {SM_MSG_INITIALUPDATE, kSlots, Stamp},
    {SM_MSG_UP, kSlots, Slots_Up},
    {SM_MSG_DOWN, kSlots, Slots_Down},
    {SM_MSG_ACCEPT, kSlots, Slots_Accept},
    {SM_MSG_CIRCLE, kSlots, Slots_Circle},
    {SM_MSG_RENDER, kSlots, Slots_Render},
    {SM_MSG_CANCEL, kSlots, Back},
    {SM_MSG_SYNC, kSlots, AckOnly},
    {0, 0, nullptr},
};

// ---- slots 5-8 (10): silent ------------------------------------------------------------------------
intptr_t Slots2_Up(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    careerfilechoice2 = static_cast<int8_t>(std::max(careerfilechoice2 - 1, 0));
    return Ack();
}
intptr_t Slots2_Down(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    careerfilechoice2 = static_cast<int8_t>(std::min(careerfilechoice2 + 1, 4));
    return Ack();
}
intptr_t Slots2_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    if (careerfilechoice2 < 0 || careerfilechoice2 > 3) return 0;  // the screen's own link
    SM_AcknowledgeMsg();
    ChooseSlot(careerfilechoice2 + 4);
    return 0;
}
intptr_t Slots2_Cancel(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    SM_ScreenLink(kMainMenu);
    return 0;
}
intptr_t Slots2_Render(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (Drawing(p1)) DrawSlots(4, careerfilechoice2);
    return 0;
}
const _sm_msgmapstruct kSlots2Map[] = {
    {SM_MSG_INITIALUPDATE, kSlots2, Stamp},  {SM_MSG_UP, kSlots2, Slots2_Up},
    {SM_MSG_DOWN, kSlots2, Slots2_Down},     {SM_MSG_ACCEPT, kSlots2, Slots2_Accept},
    {SM_MSG_CANCEL, kSlots2, Slots2_Cancel}, {SM_MSG_RENDER, kSlots2, Slots2_Render},
    {SM_MSG_SYNC, kSlots2, AckOnly},         {0, 0, nullptr},
};

// ---- keyboard (9) ---------------------------------------------------------------------------------
intptr_t Keyboard_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    SetFocus(root, Find(kFirstKey));
    Slot().reset();
    std::memset(careerfilename, 0, sizeof careerfilename);
    countch = 0;
    return Ack();
}
void Backspace() {
    if (careerfilename[0] != ' ' && careerfilename[0] != 0 && countch > 0) {
        --countch;
        careerfilename[countch] = ' ';
    }
}
// The label of the focused key: the text node that is its first child, through its string id.
const char* FocusedKeyLabel() {
    _smdlhdr* key = Find(SM_GetSelectedControl());
    _smdlhdr* text = key ? SM_Node(key->pChildren) : nullptr;
    if (!text || text->Type != SM_TYPE_TEXT) return nullptr;
    return SM_GetStringByID(reinterpret_cast<_sm_textnode*>(text)->StringID);
}
intptr_t Keyboard_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    const char* label = FocusedKeyLabel();
    if (!label || !label[0]) return 0;
    if (std::strcmp(label, "Done") == 0) {
        if (countch == 0) return 0;
        CareerData& c = Slot();
        c.used = 1;
        careerfilename[std::min<int>(countch, kCareerNameMax)] = 0;
        std::memcpy(c.savename, careerfilename, sizeof c.savename);
        c.savename[kCareerNameMax] = 0;
        FE_PlayPair(FE_ACCEPT);
        SM_ScreenLink(kRiderChoice);
    } else if (std::strcmp(label, "Backspace") == 0) {
        Backspace();
    } else if (countch < kCareerNameMax) {
        careerfilename[countch++] = label[0];
        FE_PlayPair(FE_ACCEPT);
    }
    return 0;
}
intptr_t Keyboard_Circle(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    Backspace();
    return Ack();
}
intptr_t Keyboard_Move(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_SELECT);
    return 0;
}
intptr_t Keyboard_Render(_smdlhdr*, int32_t, intptr_t p1, intptr_t, intptr_t) {
    if (!Drawing(p1) || !f_fe) return 0;
    if (careerfilename[0] == 0)
        veFontPrintfXY(f_fe, 200, 321, "Player1");
    else
        veFontPrintfXY(f_fe, 200, 321, "%s", careerfilename);
    return 0;
}
const _sm_msgmapstruct kKeyboardMap[] = {
    {SM_MSG_INITIALUPDATE, kKeyboard, Keyboard_Init},
    {SM_MSG_ACCEPT, kKeyboard, Keyboard_Accept},
    {SM_MSG_CIRCLE, kKeyboard, Keyboard_Circle},
    {SM_MSG_UP, kKeyboard, Keyboard_Move},
    {SM_MSG_DOWN, kKeyboard, Keyboard_Move},
    {SM_MSG_LEFT, kKeyboard, Keyboard_Move},
    {SM_MSG_RIGHT, kKeyboard, Keyboard_Move},
    {SM_MSG_RENDER, kKeyboard, Keyboard_Render},
    {SM_MSG_SYNC, kKeyboard, AckOnly},
    {0, 0, nullptr},
};

}  // namespace

intptr_t CareerFileChoiceProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kSlotsMap, n, m, a, b, c);
}
intptr_t CareerFileChoiceProc2(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kSlots2Map, n, m, a, b, c);
}
intptr_t CareerFileInputProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kKeyboardMap, n, m, a, b, c);
}
