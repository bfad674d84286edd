// The trophy case and the settings screens: options menu, audio settings and controller configuration.
#include <algorithm>
#include <cmath>

#include "audio/sound_view.h"
#include "engine/hal/sound.h"
#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "frontend/screens/career_ui.h"

using namespace careerui;

int8_t modenum_audiocfg = 0;
int8_t Audio_ItemCurrent[5] = {10, 8, 8, 2, 1};
const int8_t Audio_ItemCount[5] = {11, 11, 11, 11, 2};
int8_t modenum_cfg = 0;
int8_t Control_ItemCurrent[2] = {0, 0};
const int8_t Control_ItemCount[2] = {2, 4};
int8_t modenum_optionsmenu = 0;

// The master volume scales everything heard: the front end's sounds through the engine's master volume
// (the effects volume scales them again in the audio module), the music stream by music x master.
void FE_ApplyAudioSettings() {
    const float master = static_cast<float>(std::clamp<int>(Audio_ItemCurrent[0], 0, 10)) / 10.0f;
    const float effects = static_cast<float>(std::clamp<int>(Audio_ItemCurrent[1], 0, 10)) / 10.0f;
    const float music = static_cast<float>(std::clamp<int>(Audio_ItemCurrent[3], 0, 10)) / 10.0f;
    veSoundSetMasterVolume(master);
    if (PS2MusicPlay) PS2MusicPlay->setVolume(music * master, effects);
}

namespace {

constexpr int kTrophyCase = 12, kAudio = 18, kControl = 19, kOptions = 20, kCredits = 1;

intptr_t AcceptAndLink(int screen) {
    SM_AcknowledgeMsg();
    FE_PlayPair(FE_ACCEPT);
    SM_ScreenLink(screen);
    return 0;
}

// ---- trophy case (12) -----------------------------------------------------------------------------
constexpr int kTrophies[12] = {520, 525, 530, 518, 523, 528, 519, 524, 529, 521, 526, 531};
constexpr int kSpecialTrophy = 539, kNewMark = 540, kTrophyFocus = 461;

intptr_t Trophy_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    const unsigned mask = Career_TrophyMask();
    for (int s = 0; s < kCareerSeries; ++s) Show(kTrophies[s], (mask >> s) & 1);
    Show(kSpecialTrophy, mask == 4095u);
    Show(kNewMark, false);
    SetFocus(root, Find(kTrophyFocus));
    return Ack();
}
intptr_t Trophy_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    FE_PlayPair(FE_ACCEPT);
    return Ack();
}
const _sm_msgmapstruct kTrophyMap[] = {
    {SM_MSG_INITIALUPDATE, kTrophyCase, Trophy_Init},
    {SM_MSG_UP, kTrophyCase, AckOnly},
    {SM_MSG_DOWN, kTrophyCase, AckOnly},
    {SM_MSG_ACCEPT, kTrophyCase, Trophy_Accept},
    {SM_MSG_CANCEL, kTrophyCase, Back},
    {0, 0, nullptr},
};

// ---- audio settings (18) --------------------------------------------------------------------------
constexpr int kAudioRow[5] = {649, 674, 700, 726, 752};
constexpr int kAudioBar[5] = {651, 677, 703, 729, 755};
constexpr int kAudioFirstValue[5] = {653, 679, 705, 731, 757};

int AudioValueId(int row, int value) {
    return kAudioFirstValue[row] + 2 * value;
}
void ApplyAudio(int row) {
    if (row <= 1 || row == 3) FE_ApplyAudioSettings();
}
intptr_t Audio_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    for (int r = 0; r < 5; ++r) {
        for (int v = 0; v < Audio_ItemCount[r]; ++v) Show(AudioValueId(r, v), v == Audio_ItemCurrent[r]);
        Alpha(Find(kAudioBar[r]), r == modenum_audiocfg ? 255 : 127);
        modes[r] = Find(kAudioRow[r]);
    }
    SetFocus(root, modes[std::clamp<int>(modenum_audiocfg, 0, 4)]);
    return Ack();
}
intptr_t Audio_Row(int by) {
    const int to = modenum_audiocfg + by;
    if (to < 0 || to > 4) return Ack();
    Alpha(Find(kAudioBar[modenum_audiocfg]), 127);
    modenum_audiocfg = static_cast<int8_t>(to);
    Alpha(Find(kAudioBar[modenum_audiocfg]), 255);
    FE_PlayPair(FE_MOVE);
    return 0;
}
intptr_t Audio_Value(int by) {
    const int r = std::clamp<int>(modenum_audiocfg, 0, 4);
    const int to = Audio_ItemCurrent[r] + by;
    if (to >= 0 && to < Audio_ItemCount[r]) {
        Show(AudioValueId(r, Audio_ItemCurrent[r]), false);
        Audio_ItemCurrent[r] = static_cast<int8_t>(to);
        Show(AudioValueId(r, to), true);
    }
    ApplyAudio(r);
    FE_PlayPair(FE_SELECT);
    return Ack();
}
const _sm_msgmapstruct kAudioMap[] = {
    {SM_MSG_INITIALUPDATE, kAudio, Audio_Init},
    {SM_MSG_SYNC, kAudio, AckOnly},
    {SM_MSG_CANCEL, kAudio, Back},
    {SM_MSG_ACCEPT, kAudio, With<AcceptAndLink, kOptions>},
    {SM_MSG_UP, kAudio, With<Audio_Row, -1>},
    {SM_MSG_DOWN, kAudio, With<Audio_Row, 1>},
    {SM_MSG_LEFT, kAudio, With<Audio_Value, -1>},
    {SM_MSG_RIGHT, kAudio, With<Audio_Value, 1>},
    {0, 0, nullptr},
};

// ---- controller configuration (19) ----------------------------------------------------------------
constexpr int kControlRow[2] = {763, 770};
constexpr int kPlayerItem[2] = {767, 769};
constexpr int kPresetItem[4] = {773, 783, 793, 803};
constexpr int kPresetBlock[4] = {774, 784, 794, 804};

int ControlItemId(int row, int value) {
    return row == 0 ? kPlayerItem[std::clamp(value, 0, 1)] : kPresetItem[std::clamp(value, 0, 3)];
}
void ShowBlock(int p, bool on) {
    for (int i = 0; i < 8; ++i) Show(kPresetBlock[std::clamp(p, 0, 3)] + i, on);
}
// The presets the screen shows for player 1 and player 2 until Accept hands them over.
int8_t g_pendingPreset[2] = {0, 0};
void ShowControlRows() {
    for (int r = 0; r < 2; ++r)
        for (int v = 0; v < Control_ItemCount[r]; ++v) Show(ControlItemId(r, v), v == Control_ItemCurrent[r]);
    for (int p = 0; p < 4; ++p) ShowBlock(p, p == Control_ItemCurrent[1]);
}
intptr_t Control_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    currenttime = veClockGetSeconds();
    // The preset row shows the preset the shown player has.
    for (int p = 0; p < 2; ++p) g_pendingPreset[p] = static_cast<int8_t>(std::clamp<int>(preset[p], 0, 3));
    Control_ItemCurrent[0] = static_cast<int8_t>(std::clamp<int>(Control_ItemCurrent[0], 0, 1));
    Control_ItemCurrent[1] = g_pendingPreset[Control_ItemCurrent[0]];
    ShowControlRows();
    modes[0] = Find(kControlRow[0]);
    modes[1] = Find(kControlRow[1]);
    SetFocus(root, modes[modenum_cfg == 1 ? 1 : 0]);
    return Ack();
}
// Right from the player row and Left from the preset row change rows; the library moves the focus.
intptr_t Control_Side(int to) {
    if (modenum_cfg == to) return Ack();
    modenum_cfg = static_cast<int8_t>(to);
    FE_PlayPair(FE_SELECT);
    return 0;
}
// Up and Down: on the player row they choose the player whose preset is shown, on the preset row that
// player's preset (both wrap).
intptr_t Control_Change(int by) {
    const int player = Control_ItemCurrent[0];
    if (modenum_cfg == 1) {
        g_pendingPreset[player] = static_cast<int8_t>((g_pendingPreset[player] + by + 4) % 4);
    } else {
        Control_ItemCurrent[0] = static_cast<int8_t>(1 - player);
    }
    Control_ItemCurrent[1] = g_pendingPreset[Control_ItemCurrent[0]];
    ShowControlRows();
    FE_PlayPair(FE_MOVE);
    return Ack();
}
// Each player takes the preset the screen showed for them.
intptr_t Control_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    preset[0] = g_pendingPreset[0];
    preset[1] = g_pendingPreset[1];
    return AcceptAndLink(kOptions);
}
const _sm_msgmapstruct kControlMap[] = {
    {SM_MSG_INITIALUPDATE, kControl, Control_Init},
    {SM_MSG_SYNC, kControl, AckOnly},
    {SM_MSG_CANCEL, kControl, Back},
    {SM_MSG_ACCEPT, kControl, Control_Accept},
    {SM_MSG_UP, kControl, With<Control_Change, 1>},
    {SM_MSG_DOWN, kControl, With<Control_Change, -1>},
    {SM_MSG_LEFT, kControl, With<Control_Side, 0>},
    {SM_MSG_RIGHT, kControl, With<Control_Side, 1>},
    {0, 0, nullptr},
};

// ---- options (20) ---------------------------------------------------------------------------------
constexpr int kOptionRow[5] = {854, 857, 860, 863, 866};
constexpr int kOptionBar[5] = {856, 859, 862, 865, 868};

intptr_t Options_Init(_smdlhdr* root, int32_t, intptr_t, intptr_t, intptr_t) {
    if (currentmusic != 0) FE_PlayStream(0);
    currenttime = newtime = veClockGetSeconds();
    const int at = std::clamp<int>(modenum_optionsmenu, 0, 4);
    for (int i = 0; i < 5; ++i) {
        swooshes[i] = Find(kOptionBar[i]);
        modes[i] = Find(kOptionRow[i]);
        if (modes[i]) {
            modesx[i] = static_cast<uint16_t>(modes[i]->x);
            modes[i]->x = static_cast<int16_t>(i % 2 == 0 ? -210 : 640);
        }
        Alpha(modes[i], i == at ? 255 : 127);
        Alpha(swooshes[i], i == at ? 255 : 127);
    }
    SetFocus(root, modes[at]);
    return Ack();
}
// The rows fly in from the sides over a fifth of a second.
intptr_t Options_Sync(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    newtime = veClockGetSeconds();
    const float t = std::min(5.0f * (newtime - currenttime), 1.0f);
    for (int i = 0; i < 5; ++i) {
        if (!modes[i]) continue;
        const int home = static_cast<int16_t>(modesx[i]);
        const int step = static_cast<int>(static_cast<float>(home - modes[i]->x) * t);
        modes[i]->x = static_cast<int16_t>(modes[i]->x + step);
        Alpha(modes[i], static_cast<int>((i == modenum_optionsmenu ? 255.0f : 127.0f) * t));
    }
    return Ack();
}
intptr_t Options_Move(int by) {
    const int to = modenum_optionsmenu + by;
    if (to < 0 || to > 4) return Ack();
    Alpha(swooshes[modenum_optionsmenu], 127);
    Alpha(modes[modenum_optionsmenu], 127);
    modenum_optionsmenu = static_cast<int8_t>(to);
    Alpha(swooshes[to], 255);
    Alpha(modes[to], 255);
    FE_PlayPair(FE_MOVE);
    return 0;
}
intptr_t Options_Accept(_smdlhdr*, int32_t, intptr_t, intptr_t, intptr_t) {
    SM_AcknowledgeMsg();
    FE_PlayPair(FE_ACCEPT);
    switch (modenum_optionsmenu) {
        case 0:
            SM_ScreenLink(kControl);
            break;
        case 1:
            SM_ScreenLink(kAudio);
            break;
        case 3:
            x_printf("Saving Career and Trophy Files.\n");
            break;
        case 4:
            SM_ScreenLink(kCredits);
            break;
        default:
            break;
    }
    return 0;
}
const _sm_msgmapstruct kOptionsMap[] = {
    {SM_MSG_INITIALUPDATE, kOptions, Options_Init},
    {SM_MSG_SYNC, kOptions, Options_Sync},
    {SM_MSG_UP, kOptions, With<Options_Move, -1>},
    {SM_MSG_DOWN, kOptions, With<Options_Move, 1>},
    {SM_MSG_ACCEPT, kOptions, Options_Accept},
    {SM_MSG_CANCEL, kOptions, Back},
    {0, 0, nullptr},
};

}  // namespace

intptr_t TrophyCaseProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kTrophyMap, n, m, a, b, c);
}
intptr_t AudioProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kAudioMap, n, m, a, b, c);
}
intptr_t ControlProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kControlMap, n, m, a, b, c);
}
intptr_t OptionsProc(_smdlhdr* n, int32_t m, intptr_t a, intptr_t b, intptr_t c) {
    return SM_ProcessMsgMap(kOptionsMap, n, m, a, b, c);
}
