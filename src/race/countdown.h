// The start of a race for one human player: the clock is held while the pre-race camera flies in, then
// three count cards, the start-boost window, the go card, and the release of every bike. One object per
// human, in that player's 3D view; the race frame asks player 0's for the time since the count began.
#pragma once

#include <cstdint>

#include "game/view/view_object_3d.h"

struct ve_texture_handle;
class KineticBike;

// canBoost of a bike (the bike sets 2 and 3 when accelerate arrives; the countdown the rest).
enum StartBoost : uint32_t {
    BOOST_NONE = 0,
    BOOST_WINDOW_OPEN = 1,
    BOOST_PRESSED_IN_WINDOW = 2,
    BOOST_PRESSED_OUTSIDE = 3,
    BOOST_START = 4,
    BOOST_PLAIN_START = 5,
};

struct _CGameStartData {
    int32_t bikeIDs[8];
    ve_texture_handle* startCardTex;
    int32_t cardFramesID[5];
    uint32_t gameStarted;
    float gameStartTime;
};

class CGameStart : public C3DViewObject {
public:
    static constexpr float BOOST_START_TIME = 1.0f;
    static constexpr float kBoostWindowEnd = 1.5f;
    static constexpr float kReleaseTime = 2.0f;
    static constexpr float kCardsGone = 2.5f;
    static constexpr float kIdleTime = 15.0f;
    static constexpr int kCards = 5;
    static constexpr int kGoCard = 3;
    static constexpr int kBoostGoCard = 4;

    // The card last shown by any countdown (-1 before the first); kept across races so that with two
    // players a card sounds once.
    static int32_t lastFrame;
    // Left and right channel sounds of the count and go cards (-1: not loaded; set by the race's sound
    // code), and how a sound is played (installed by the race, race/race_hooks.cpp). Without a player no
    // sound is made.
    static int32_t countLId, countRId, goLId, goRId;
    static void (*triggerSound)(int soundId);

    // The cards are graphics sub-files 134..138 of the common objects, appended to the texture store.
    CGameStart(void* commonObjects, const int* bikeIds, unsigned int playerNum);

    float getRelativeTime() const;
    void update(C3DView* view, float dt) override;
    void render(C3DView* view) override;

    // The card shown at `t` seconds into the count: 2, 1, 0, then the go card (boosted or not).
    static int cardAt(float t, bool boosted);

    _CGameStartData gameStartData;
    uint32_t _playerNum;
    uint32_t _flags = 0;  // bit 0: no countdown sounds

private:
    KineticBike* bikeAt(int i) const;
};
