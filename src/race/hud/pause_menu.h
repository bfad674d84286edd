// The pause menu: seven lines (resume, restart, exit, the three HUD switches, the music track) steered by
// the pausing pad's menu packets, and the view object that draws them over the race while paused.
#pragma once

#include <cstdint>

#include "engine/hal/prim.h"
#include "game/view/view_object_3d.h"
#include "race/control/game_controller.h"
#include "race/pause_obj.h"

struct _font;
struct ve_texture_handle;
class CHudModel;

// The menu's lines, shared by the pause object and the menu view.
extern char alString[7][30];

// Each rewrites one menu line from the HUD model; nothing for null.
void setMusicHudText(const CHudModel* hud);
void setStatsHudText(const CHudModel* hud);
void setRadarHudText(const CHudModel* hud);
void setSpeedHudText(const CHudModel* hud);

struct _CPauseObjData {
    uint8_t pauseMenuMode = 1;
    int8_t currentSelected = 0;
    uint8_t maxSelections = 7;
    int16_t oldActionObjID = -1;
};

// How the pause menu reaches the music; installed by the race (race/race_hooks.cpp). Without them no
// music call is made.
struct PauseMusic {
    static void (*setSong)(int track);
    static void (*pause)(bool paused);
};

// The race's pause object with the menu behind it.
class CHudPauseObj : public CPauseObj, public CMenuTarget {
public:
    CHudPauseObj(const int32_t* hudIds, unsigned int numHumans);

    void doAction(const CPacket& packet, float dt) override;
    void setPauseSwitch(int32_t objectId) override;
    void doSelectedAction();
    void updateHudString() const;
    // The HUD model of the pausing player, or null (no pausing player, no such model).
    CHudModel* pausingHud() const;
    uint32_t menuFramesDrawn() const override { return framesDrawn; }

    _CPauseObjData pauseObjData;
    uint32_t framesDrawn = 0;  // frames the menu has been drawn in since the race was paused
};

struct _CPauseMenuData {
    int16_t pauseMenuPosX = 0, pauseMenuPosY = 0;
    ve_texture_handle* backPlateTexture = nullptr;
    int32_t blackPlateId = -1;
    ve_texture_handle* buttonTexture = nullptr;
    int32_t buttonId = -1;
    ve_texture_handle* buttonTextureH = nullptr;
    int32_t buttonHId = -1;
    _font* pauseFont = nullptr;
};

// Layout of the menu lines and the highlight bar (its picture has a clear rim): line i is printed at
// T_Y_POS_TEXT + i * T_OFFSET_TEXT, its bar centred at T_Y_BAR + i * T_OFFSET_BAR. The game's font
// stands its glyphs at the foot of a line 24 high; ours draws them from the print position down, 14
// high, so the menu prints kPauseGlyphDrop lower to centre each line on its bar.
inline constexpr int32_t T_X_POS_TEXT = -60, T_Y_POS_TEXT = -83, T_OFFSET_TEXT = 23;
inline constexpr int32_t T_Y_BAR = -59, T_OFFSET_BAR = 23, T_BAR_W = 144, T_BAR_H = 12;
inline constexpr int32_t kPauseGlyphDrop = 19;
// The back plate around the bars and lines (x0, y0, x1, y1).
inline constexpr float kPausePlate[4] = {-156.0f, -82.0f, 156.0f, 100.0f};
// The plate grows this much at the foot for the line saying whose pad is missing, printed this far
// below the plate's usual foot.
inline constexpr float kPauseNoticeHeight = 24.0f;
inline constexpr int32_t kPauseNoticeDrop = 3;
inline constexpr int16_t T_X_BAR = 0;

class CPauseMenu : public C3DViewObject {
public:
    CPauseMenu(int pauseObjectId, _ve_view* view, void* commonObjects, int16_t x, int16_t y);
    ~CPauseMenu() override;
    void render(C3DView* view) override;
    // Counts the frames the menu is drawn in, for the pad (the view pass of a frame that draws it).
    void update(C3DView*, float) override;
    void renderSprite(int16_t x, int16_t y, uint16_t halfWidth, uint16_t halfHeight, int textureId);

    _CPauseMenuData pauseMenuData;
    _ve_view* _pauseView;
};
