// The results shown when the first human finishes: a framed table of every racer's rank, name, time and
// gap to the winner (or the freestyle ranking), the track bonuses the player earned, and a two-item menu
// (leave or restart). CGameEndObj is the model object the pad's menu packets go to; CGameEnd draws the
// screen on the race's full-screen view.
#pragma once

#include <cstdint>

#include "engine/hal/prim.h"
#include "game/model/dynamic_object.h"
#include "game/view/view_object_3d.h"
#include "race/control/controller_targets.h"

struct _font;
struct _ve_view;
struct ve_texture_handle;

// Item 0: "Continue" in a career, else "Quit To Main"; item 1: "Restart Race".
extern char EGMenuString[2][30];

class CGameEndObj : public CDynamicObject, public CMenuTarget {
public:
    explicit CGameEndObj(int pauseID);

    void update(float) override {}
    // Menu packets: action bits LEFT (0x8) and RIGHT (0x10) move the selection (LEFT wins), CONFIRM
    // (0x20) leaves (item 0) or restarts (item 1) through the pause object.
    void doAction(const CPacket& packet, float dt) override;

    uint32_t menuFramesDrawn() const override { return framesDrawn; }

    int32_t endGameMode = 4;
    int32_t endGameMaxSelections = 2;
    int32_t currentSelected = 0;
    int32_t pauseID;
    uint32_t framesDrawn = 0;  // frames the results have been drawn in (counted by CGameEnd)
};

struct _CGameEndData {
    int32_t bikeIDs[8];
    ve_texture_handle* resultScreenTex;
    int32_t resultScreenID;
    _ve_quad resultScreenPrim;
    ve_texture_handle* resultScreenBarTex;
    int32_t resultScreenBarID;
    _ve_quad resultScreenBarPrim;
    ve_texture_handle* resultScreenFrameTex;
    int32_t resultScreenFrameID;
    _ve_quad resultScreenFramePrim;
    ve_texture_handle* placeIconTex;
    int32_t placeIconID;
    _ve_quad placeIconPrim;
    int32_t bonusIDS[2];  // [0] not earned, [1] earned
    uint32_t gameEndOnOff;
    uint32_t gameOver;
    _font* statFont18;
    _font* statFont25;
    _font* font18Yellow;
    int32_t endGameMode;
    int32_t oldActiveObj;
    int32_t menuPosX, menuPosY;
    int32_t blackPlateId;
    int32_t buttonId;
    int32_t buttonHId;
    ve_texture_handle* buttonTextureH;
};

// One row of the results table as it is printed.
struct ResultRow {
    int position;  // 1-based; the row is drawn at position - 1
    char rank[12];
    const char* name;
    bool finished;  // false: still on the course; the time reads kNotFinishedText and there is no gap
    char time[24];
    char gap[28];
};

// The time column of a rider still on the course when the results are up.
inline constexpr const char* kNotFinishedText = "RIDING";

// The freestyle ranking the HUD keeps (eight rows, names and scores, the player's row).
struct FreestyleRanking {
    int playerPos = -1;
    const char* names[8] = {};
    int scores[8] = {};
};

class CGameEnd : public C3DViewObject {
public:
    // How the HUD model `hudId` gives its freestyle ranking; installed by the race (race/race_hooks.cpp).
    // Without it the freestyle table has empty rows.
    static bool (*freestyleRanking)(int hudId, FreestyleRanking& out);

    CGameEnd(_ve_view* view, void* commonObjects, const int* bikeIds, int endObjectId, int hudId);
    ~CGameEnd() override;

    void setGameEndInited(unsigned int on);
    void initEndGameStats();
    uint32_t getGameEndInited() const { return gameEndData.gameEndOnOff; }
    uint32_t getGameEnded() const { return gameEndData.gameEndOnOff ? gameEndData.gameOver : 0; }

    // Counts the frames the results are drawn in, for the menu (the view pass of a frame that draws them).
    void update(C3DView*, float) override;
    void render(C3DView* view) override;
    void drawCurrentBonusPic(int earned, int type, int index);
    void renderSprite(short x, short y, unsigned short halfW, unsigned short halfH, ve_texture_handle* handle,
                      int textureId);

    // The results table of a race track: one row per racer, in racer order.
    int resultRows(ResultRow* rows, int capacity) const;
    // The freestyle ranking as the results show it and the front end scores it: the HUD's table with the
    // player's row at the place its score has among the rivals (the HUD moves the row only between its
    // sliding displays, so its own table may not have caught up). False when there is none.
    bool freestyleTable(FreestyleRanking& out) const;
    // The places of a freestyle ranking, one per entry of the front end's results: [0] the player's
    // place; [1..7] the rivals' places, the rivals taken in the order of the HUD's rival list for the
    // player (CHud::FreestyleRivals; a rival of another name after them, in table order). Together they
    // are the places 1 to 8.
    static void freestylePlaces(const FreestyleRanking& ranking, int32_t places[8]);
    // Minutes and seconds as the results print them: 65.5 -> "1.05.50"; `prefix` goes in front.
    static void formatTime(char* out, int size, float seconds, const char* prefix = "");
    // "1st", "2nd", "3rd", "4th", ...
    static void formatRank(char* out, int size, int position);

    _CGameEndData gameEndData;
    _ve_view* _gameEndView;
    int32_t hud_id;

private:
    CGameEndObj* endObject() const;
    // Hands the places of the freestyle ranking to the front end's results (racer 0 the player).
    void recordFreestylePlaces(const FreestyleRanking& ranking) const;
    void drawQuad(int textureId, float x0, float y0, float x1, float y1, const uint32_t rgba[4],
                  float z = 0.0f);
};
