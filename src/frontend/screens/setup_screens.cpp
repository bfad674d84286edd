// The race set-up screens (baja, indoor, outdoor, freestyle): one implementation over a table per
// screen. Rows: track (with its picture), laps or time, computer riders, catch-up; Up and Down move
// between rows without wrapping, Left and Right change the row's entry with wrap, Accept records the
// choice and opens the first rider choice.
#include <cstdio>

#include "engine/sys/clock.h"
#include "engine/sys/files.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"

int8_t modenum_OUTDOORscreen = 0, modenum_indoorscreen = 0, modenum_bajascreen = 0, modenum_freescreen = 0;
int8_t Outdoor_ItemCurrent[4] = {}, Indoor_ItemCurrent[4] = {}, Baja_ItemCurrent[4] = {},
       Free_ItemCurrent[2] = {};
const int8_t Outdoor_ItemCount[4] = {10, 5, 2, 2};
const int8_t Indoor_ItemCount[4] = {10, 5, 2, 2};
const int8_t Baja_ItemCount[4] = {10, 5, 2, 2};
const int8_t Free_ItemCount[2] = {10, 5};

namespace {

struct SetupDef {
    int screen;
    int rowCount;
    int rows[4];
    int bars[4];
    int trackText, trackPic;  // entry k at base + 3k
    int items[4][10];         // item ids per row (row 0 filled from trackText)
    int8_t* rowCursor;
    int8_t* itemCursor;
    const int8_t* itemCount;
    bool byLaps;
};

constexpr SetupDef MakeDef(int screen, int rowCount, std::initializer_list<int> rows,
                           std::initializer_list<int> bars, int trackText, int trackPic,
                           std::initializer_list<int> laps, std::initializer_list<int> cpu,
                           std::initializer_list<int> catchup, int8_t* rowCursor, int8_t* itemCursor,
                           const int8_t* itemCount, bool byLaps) {
    SetupDef d{};
    d.screen = screen;
    d.rowCount = rowCount;
    int i = 0;
    for (int r : rows) d.rows[i++] = r;
    i = 0;
    for (int b : bars) d.bars[i++] = b;
    d.trackText = trackText;
    d.trackPic = trackPic;
    for (int k = 0; k < 10; ++k) d.items[0][k] = trackText + 3 * k;
    i = 0;
    for (int v : laps) d.items[1][i++] = v;
    i = 0;
    for (int v : cpu) d.items[2][i++] = v;
    i = 0;
    for (int v : catchup) d.items[3][i++] = v;
    d.rowCursor = rowCursor;
    d.itemCursor = itemCursor;
    d.itemCount = itemCount;
    d.byLaps = byLaps;
    return d;
}

const SetupDef kOutdoor = MakeDef(29, 4, {1210, 1243, 1256, 1263}, {1212, 1255, 1262, 1269}, 1214, 1215,
                                  {1245, 1247, 1249, 1251, 1253}, {1258, 1260}, {1265, 1267},
                                  &modenum_OUTDOORscreen, Outdoor_ItemCurrent, Outdoor_ItemCount, true);
const SetupDef kIndoor = MakeDef(30, 4, {1286, 1320, 1333, 1340}, {1347, 1331, 1338, 1345}, 1288, 1289,
                                 {1322, 1324, 1326, 1328, 1330}, {1335, 1337}, {1342, 1344},
                                 &modenum_indoorscreen, Indoor_ItemCurrent, Indoor_ItemCount, true);
const SetupDef kBaja = MakeDef(28, 4, {1142, 1174, 1187, 1194}, {1173, 1186, 1193, 1200}, 1144, 1145,
                               {1176, 1178, 1180, 1182, 1184}, {1189, 1191}, {1196, 1198},
                               &modenum_bajascreen, Baja_ItemCurrent, Baja_ItemCount, true);
const SetupDef kFree = MakeDef(27, 2, {1086, 1119}, {1118, 1133}, 1088, 1089, {1123, 1125, 1127, 1129, 1131},
                               {}, {}, &modenum_freescreen, Free_ItemCurrent, Free_ItemCount, false);

// The controls of the screen on show (looked up again at every initial update).
struct Controls {
    _smdlhdr* items[4][10];
    _smdlhdr* pics[10];
};
Controls g_ctl;

void ShowOnlyPicture(const SetupDef& d) {
    for (_smdlhdr* p : g_ctl.pics) FE_Show(p, false);
    FE_Show(g_ctl.pics[d.itemCursor[0]], true);
}

bool WorldOnDisc(int world);

void OnInitialUpdate(const SetupDef& d, _smdlhdr* root) {
    currenttime = veClockGetSeconds();
    // The screen opens on a track the player can race: a cursor on a closed one moves on to the next
    // the disc carries.
    for (int k = 0; k < d.itemCount[0] && !WorldOnDisc(d.itemCursor[0] + 1); ++k)
        d.itemCursor[0] = static_cast<int8_t>((d.itemCursor[0] + 1) % d.itemCount[0]);
    for (int r = 0; r < d.rowCount; ++r)
        for (int k = 0; k < d.itemCount[r]; ++k) g_ctl.items[r][k] = SM_FindControlByID(d.items[r][k]);
    for (int k = 0; k < 10; ++k) g_ctl.pics[k] = SM_FindControlByID(d.trackPic + 3 * k);
    ShowOnlyPicture(d);
    for (int r = 0; r < d.rowCount; ++r) {
        for (int k = 0; k < d.itemCount[r]; ++k) FE_Show(g_ctl.items[r][k], false);
        FE_Show(g_ctl.items[r][d.itemCursor[r]], true);
    }
    for (int r = 0; r < 5; ++r) swooshes[r] = modes[r] = nullptr;
    for (int r = 0; r < d.rowCount; ++r) {
        swooshes[r] = SM_FindControlByID(d.bars[r]);
        FE_SetAlpha(swooshes[r], r == *d.rowCursor ? 255 : 127);
        modes[r] = SM_FindControlByID(d.rows[r]);
    }
    FE_SetSavedFocus(root, modes[*d.rowCursor]);
    SM_AcknowledgeMsg();
}

void OnMove(const SetupDef& d, int dir) {
    const int r = *d.rowCursor;
    if ((dir < 0 && r == 0) || (dir > 0 && r == d.rowCount - 1)) {
        SM_AcknowledgeMsg();
        return;
    }
    FE_PlayPair(FE_MOVE);
    FE_SetAlpha(swooshes[r], 127);
    *d.rowCursor = static_cast<int8_t>(r + dir);
    FE_SetAlpha(swooshes[r + dir], 255);
}

void OnChange(const SetupDef& d, int dir) {
    const int r = *d.rowCursor;
    const int n = d.itemCount[r];
    int8_t& i = d.itemCursor[r];
    FE_Show(g_ctl.items[r][i], false);
    i = static_cast<int8_t>((i + dir + n) % n);
    FE_Show(g_ctl.items[r][i], true);
    if (r == 0) ShowOnlyPicture(d);
    FE_PlayPair(FE_SELECT);
    SM_AcknowledgeMsg();
}

// Only some track entries have a world on the disc (the others show as closed); a race on a missing
// world would end at once, so Accept on one is refused with the error sound.
bool WorldOnDisc(int world) {
    char name[24];
    std::snprintf(name, sizeof name, "WORLD\\%c%02d.bin", fn[0], world);
    X_FILE* f = x_fopen(name, "rb");
    if (f) x_fclose(f);
    return f != nullptr;
}

void OnAccept(const SetupDef& d) {
    const int world = d.itemCursor[0] + 1;
    if (!WorldOnDisc(world)) {
        FE_PlayPair(FE_ERROR);
        SM_AcknowledgeMsg();
        return;
    }
    fn[1] = static_cast<char>('0' + world / 10);
    fn[2] = static_cast<char>('0' + world % 10);
    durx = d.itemCursor[1];
    if (d.byLaps) {
        cpux = d.itemCursor[2];
        catchupx = d.itemCursor[3];
        timeOrLapx = 1;
    } else {
        cpux = 0;
        catchupx = 0;
        timeOrLapx = 0;
    }
    FE_PlayPair(FE_ACCEPT);
    SM_ScreenLink(25);
    SM_AcknowledgeMsg();
}

intptr_t Dispatch(const SetupDef& d, _smdlhdr* node, int32_t msg) {
    if (node->ID != d.screen) return 0;
    switch (msg) {
        case SM_MSG_INITIALUPDATE:
            OnInitialUpdate(d, node);
            break;
        case SM_MSG_SYNC:
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_ACCEPT:
            OnAccept(d);
            break;
        case SM_MSG_CANCEL:
            FE_PlayPair(FE_BACK);  // the library goes back to the mode select
            break;
        case SM_MSG_UP:
            OnMove(d, -1);
            break;
        case SM_MSG_DOWN:
            OnMove(d, 1);
            break;
        case SM_MSG_LEFT:
            OnChange(d, -1);
            break;
        case SM_MSG_RIGHT:
            OnChange(d, 1);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

intptr_t OutdoorProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return Dispatch(kOutdoor, node, msg);
}
intptr_t IndoorProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return Dispatch(kIndoor, node, msg);
}
intptr_t BajaProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return Dispatch(kBaja, node, msg);
}
intptr_t FreeProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return Dispatch(kFree, node, msg);
}
