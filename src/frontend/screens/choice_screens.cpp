// Rider and bike choice for one or two players: set-up, player 1 rider (25), player 1 bike (24), then
// with two players player 2 rider (23) and bike (22), then the loading screen (21). Riders are
// remembered between visits; the bike screens start at bike 0 every time.
#include "engine/sys/clock.h"
#include "frontend/screens/frontend.h"
#include "frontend/sm/sm_core.h"
#include "game/core/global_options.h"

int8_t R1_ItemCurrent = 0, R2_ItemCurrent = 0;
int8_t P1bikechosen = 0, P2bikechosen = 0;

namespace {

constexpr int kRiders = 10, kBikes = 10;

struct RiderDef {
    int screen, focus, nameBase, picBase;
    int8_t* cursor;
    int player;  // 0 or 1
    int next;    // the bike screen
};
const RiderDef kRider1{25, 1012, 1014, 1015, &R1_ItemCurrent, 0, 24};
const RiderDef kRider2{23, 925, 926, 927, &R2_ItemCurrent, 1, 22};

struct BikeDef {
    int screen, focus, nameBase, attribBase, picBase;
    int8_t* cursor;
    int player;
};
const BikeDef kBike1{24, 971, 972, 973, 974, &P1bikechosen, 0};
const BikeDef kBike2{22, 873, 874, 875, 876, &P2bikechosen, 1};

_smdlhdr* g_names[kRiders];
_smdlhdr* g_pics[kRiders];
_smdlhdr* g_attribs[kBikes];

void ShowOnly(_smdlhdr* const* set, int count, int current) {
    for (int k = 0; k < count; ++k) FE_Show(set[k], k == current);
}

intptr_t RiderDispatch(const RiderDef& d, _smdlhdr* node, int32_t msg) {
    if (node->ID != d.screen) return 0;
    switch (msg) {
        case SM_MSG_INITIALUPDATE:
            currenttime = veClockGetSeconds();
            for (int k = 0; k < kRiders; ++k) {
                g_names[k] = SM_FindControlByID(d.nameBase + 3 * k);
                g_pics[k] = SM_FindControlByID(d.picBase + 3 * k);
            }
            ShowOnly(g_names, kRiders, *d.cursor);
            ShowOnly(g_pics, kRiders, *d.cursor);
            if (d.player == 0) modes[0] = SM_FindControlByID(d.focus);
            FE_SetSavedFocus(node, SM_FindControlByID(d.focus));
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_SYNC:
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_LEFT:
        case SM_MSG_RIGHT: {
            const int dir = msg == SM_MSG_RIGHT ? 1 : -1;
            *d.cursor = static_cast<int8_t>((*d.cursor + dir + kRiders) % kRiders);
            ShowOnly(g_names, kRiders, *d.cursor);
            ShowOnly(g_pics, kRiders, *d.cursor);
            FE_PlayPair(FE_SELECT);
            if (d.player == 0) SM_AcknowledgeMsg();
            break;
        }
        case SM_MSG_ACCEPT:
            riderx[d.player] = *d.cursor;
            FE_PlayPair(FE_ACCEPT);
            SM_ScreenLink(d.next);
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_CANCEL:
            FE_PlayPair(FE_BACK);
            break;
        default:
            break;
    }
    return 0;
}

void ShowBike(int k, bool on) {
    FE_Show(g_names[k], on);
    FE_Show(g_attribs[k], on);
    FE_Show(g_pics[k], on);
}

intptr_t BikeDispatch(const BikeDef& d, _smdlhdr* node, int32_t msg) {
    if (node->ID != d.screen) return 0;
    switch (msg) {
        case SM_MSG_INITIALUPDATE:
            currenttime = veClockGetSeconds();
            *d.cursor = 0;
            for (int k = 0; k < kBikes; ++k) {
                g_names[k] = SM_FindControlByID(d.nameBase + 4 * k);
                g_attribs[k] = SM_FindControlByID(d.attribBase + 4 * k);
                g_pics[k] = SM_FindControlByID(d.picBase + 4 * k);
                ShowBike(k, k == 0);
            }
            FE_SetSavedFocus(node, SM_FindControlByID(d.focus));
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_LEFT:
        case SM_MSG_RIGHT: {
            const int dir = msg == SM_MSG_RIGHT ? 1 : -1;
            ShowBike(*d.cursor, false);
            *d.cursor = static_cast<int8_t>((*d.cursor + dir + kBikes) % kBikes);
            ShowBike(*d.cursor, true);
            FE_PlayPair(FE_SELECT);
            break;
        }
        case SM_MSG_UP:
        case SM_MSG_DOWN:
        case SM_MSG_RENDER:
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_ACCEPT:
            bikex[d.player] = *d.cursor;
            if (d.player == 1) {
                inCareer = 0;
                SM_ScreenLink(21);
            } else if (playerx == 1) {
                inCareer = 0;
                SM_ScreenLink(21);
            } else if (playerx == 2) {
                SM_ScreenLink(23);
            }
            FE_PlayPair(FE_ACCEPT);
            SM_AcknowledgeMsg();
            break;
        case SM_MSG_CANCEL:
            FE_PlayPair(FE_BACK);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

intptr_t RiderProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return RiderDispatch(kRider1, node, msg);
}
intptr_t RiderProc2(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return RiderDispatch(kRider2, node, msg);
}
intptr_t P1BikeChoiceProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return BikeDispatch(kBike1, node, msg);
}
intptr_t P2BikeChoiceProc(_smdlhdr* node, int32_t msg, intptr_t, intptr_t, intptr_t) {
    return BikeDispatch(kBike2, node, msg);
}
