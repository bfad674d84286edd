#include "race/hud/pause_menu.h"

#include <cstdio>
#include <cstring>

#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/render_context.h"
#include "game/files/common_objects.h"
#include "game/model/pause_state.h"
#include "race/control/game_controller.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/race_game.h"
#include "race/race_pictures.h"

char alString[7][30];

void (*PauseMusic::setSong)(int) = nullptr;
void (*PauseMusic::pause)(bool) = nullptr;

namespace {

void OnOffLine(int line, const char* label, int32_t on) {
    std::snprintf(alString[line], sizeof alString[line], "%s  %s", label, on ? "ON" : "OFF");
}

bool MusicOn() {
    return CQzGame::gameOptions && CQzGame::gameOptions->musicVolume != 0;
}

}  // namespace

void setMusicHudText(const CHudModel* hud) {
    if (hud) std::snprintf(alString[6], sizeof alString[6], "Music Track %2d", hud->_musicHudTrack);
}
void setStatsHudText(const CHudModel* hud) {
    if (hud) OnOffLine(5, "Stats Box", hud->_statsHudON);
}
void setRadarHudText(const CHudModel* hud) {
    if (hud) OnOffLine(4, "Radar Hud", hud->_radarHudON);
}
void setSpeedHudText(const CHudModel* hud) {
    if (hud) OnOffLine(3, "Speed Hud", hud->_speedHudON);
}

// ---- the pause object ----

CHudPauseObj::CHudPauseObj(const int32_t* hudIds, unsigned int humans) : CPauseObj(hudIds, humans) {
    CPauseState::selfPauseObject = this;
    std::snprintf(alString[0], sizeof alString[0], "Resume Game");
    std::snprintf(alString[1], sizeof alString[1], "Restart Game");
    std::snprintf(alString[2], sizeof alString[2], "Exit Game");
}

CHudModel* CHudPauseObj::pausingHud() const {
    const int32_t p = pausePlayer();
    if (p < 0 || p >= 2) return nullptr;
    return dynamic_cast<CHudModel*>(hudres::ModelObject(hudId[p]));
}

void CHudPauseObj::setPauseSwitch(int32_t objectId) {
    pauseObjData.oldActionObjID = static_cast<int16_t>(objectId);
    const CHudModel* hud = pausingHud();
    if (CPauseState::pauseSwitch != 0) {
        CPauseObj::setPauseSwitch(-1);
        CPauseState::pauseDraw = 0;
        if (MusicOn()) {
            if (PauseMusic::setSong && hud) PauseMusic::setSong(hud->_musicHudTrack);
            if (PauseMusic::pause) PauseMusic::pause(false);
        }
        return;
    }
    if (MusicOn() && PauseMusic::pause) PauseMusic::pause(true);
    framesDrawn = 0;
    CPauseObj::setPauseSwitch(objectId);
    CPauseState::pauseDraw = 1;
}

void CHudPauseObj::doAction(const CPacket& packet, float) {
    const int32_t bits = packet._action;
    _CPauseObjData& d = pauseObjData;
    if (bits & (1 << PAUSEACTION_UP)) {
        d.currentSelected =
            static_cast<int8_t>(d.currentSelected - 1 < 0 ? d.maxSelections - 1 : d.currentSelected - 1);
    } else if (bits & (1 << PAUSEACTION_DOWN)) {
        d.currentSelected = static_cast<int8_t>((d.currentSelected + 1) % d.maxSelections);
    }
    if (CHudModel* hud = pausingHud(); hud && d.currentSelected == 6) {
        if (bits & (1 << PAUSEACTION_RIGHT)) {
            if (hud->_musicHudTrack + 1 < 4) hud->setMusicHUD(hud->_musicHudTrack + 1);
        } else if (bits & (1 << PAUSEACTION_LEFT)) {
            if (hud->_musicHudTrack > 0) hud->setMusicHUD(hud->_musicHudTrack - 1);
        }
    }
    if (bits & (1 << PAUSEACTION_CONFIRM)) doSelectedAction();
}

void CHudPauseObj::doSelectedAction() {
    CHudModel* hud = pausingHud();
    switch (pauseObjData.currentSelected) {
        case 0: {
            const int32_t p = pausePlayer();
            if (p >= 0 && p < 2 && CQzGame::controller[p]) CQzGame::controller[p]->enablePause();
            break;
        }
        case 1:
            restartGame = 1;
            break;
        case 2:
            exitGame = 1;
            break;
        case 3:
            if (hud) hud->setSpeedHUD();
            break;
        case 4:
            if (hud) hud->setRadarHUD();
            break;
        case 5:
            if (hud) hud->setStatsHUD();
            break;
        case 6:
            setMusicHudText(hud);
            break;
        default:
            break;
    }
}

void CHudPauseObj::updateHudString() const {
    const CHudModel* hud = pausingHud();
    setSpeedHudText(hud);
    setRadarHudText(hud);
    setStatsHudText(hud);
    setMusicHudText(hud);
}

// ---- the menu view ----

CPauseMenu::CPauseMenu(int pauseObjectId, _ve_view* view, void* common, int16_t x, int16_t y)
    : C3DViewObject(pauseObjectId, 0), _pauseView(view) {
    pauseMenuData.pauseMenuPosX = x;
    pauseMenuData.pauseMenuPosY = y;
    pauseMenuData.blackPlateId = hudres::AddTexture(common, common::kBlackPlate);
    pauseMenuData.buttonId = hudres::AddTexture(common, common::kButton);
    pauseMenuData.buttonHId = hudres::AddTexture(common, common::kButton);
    pauseMenuData.pauseFont = hudres::MakeFont(common, common::kUni18Font, "uni18.fnt");
}

CPauseMenu::~CPauseMenu() {
    hudres::ReleaseFont(pauseMenuData.pauseFont);
}

void CPauseMenu::renderSprite(int16_t x, int16_t y, uint16_t hw, uint16_t hh, int textureId) {
    if (!hudres::UseTexture(textureId)) return;
    const float cx = float(pauseMenuData.pauseMenuPosX + x), cy = float(pauseMenuData.pauseMenuPosY + y);
    const float w = hw, h = hh;
    _ve_quad q{};
    q.v1 = {cx - w, cy - h, 250, 1, 0, 0, 1, 0, 128, 128, 128, 64};
    q.v2 = {cx + w, cy - h, 250, 1, 1, 0, 1, 0, 128, 128, 128, 64};
    q.v3 = {cx + w, cy + h, 250, 1, 1, 1, 1, 0, 128, 128, 128, 64};
    q.v4 = {cx - w, cy + h, 250, 1, 0, 1, 1, 0, 128, 128, 128, 64};
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    vePrimDrawQuad(&q);
}

void CPauseMenu::update(C3DView*, float) {
    if (CPauseState::pauseSwitch == 0 || CPauseState::pauseDraw != 1) return;
    auto* pause = dynamic_cast<CHudPauseObj*>(hudres::ModelObject(modelObjectId));
    if (pause && _pauseView && pause->framesDrawn < CMenuTarget::kFramesBeforePresses) ++pause->framesDrawn;
}

void CPauseMenu::render(C3DView*) {
    if (CPauseState::pauseSwitch == 0 || CPauseState::pauseDraw != 1) return;
    auto* pause = dynamic_cast<CHudPauseObj*>(hudres::ModelObject(modelObjectId));
    if (!pause || !_pauseView) return;
    veDisplayActivateView(_pauseView);
    // A player whose pad is missing keeps the race paused: a line under the menu says who.
    char notice[40] = "";
    const int32_t holder = pause->pausePlayer();
    if (holder >= 0 && holder < 2 && CQzGame::controller[holder])
        if (const int32_t missing = CQzGame::controller[holder]->missingPad(); missing >= 0)
            std::snprintf(notice, sizeof notice, "Player %d controller missing", missing + 1);
    if (hudres::UseTexture(pauseMenuData.blackPlateId)) {
        _ve_quad q{};
        const float x0 = kPausePlate[0], y0 = kPausePlate[1], x1 = kPausePlate[2];
        const float y1 = kPausePlate[3] + (notice[0] ? kPauseNoticeHeight : 0);
        q.v1 = {x0, y0, 0, 1, 0, 0, 1, 0, 128, 128, 128, 128};
        q.v2 = {x1, y0, 0, 1, 1, 0, 1, 0, 128, 128, 128, 128};
        q.v3 = {x1, y1, 0, 1, 1, 1, 1, 0, 128, 128, 128, 128};
        q.v4 = {x0, y1, 0, 1, 0, 1, 1, 0, 128, 128, 128, 128};
        veRenderContextEnable(kRenderAlpha | kRenderTexture);
        vePrimDrawQuad(&q);
    }
    if (notice[0] && pauseMenuData.pauseFont) {
        veFontSetHorizontalAlignment(pauseMenuData.pauseFont, 0);
        veFontPrintfXY(pauseMenuData.pauseFont, -veFontGetStrWidth(pauseMenuData.pauseFont, notice) / 2,
                       static_cast<int32_t>(kPausePlate[3]) + kPauseNoticeDrop, "%s", notice);
    }
    const _CPauseObjData& d = pause->pauseObjData;
    if (d.pauseMenuMode != 1) return;
    pause->updateHudString();
    for (int i = 0; i < d.maxSelections; ++i) {
        if (i == d.currentSelected)
            renderSprite(T_X_BAR, static_cast<int16_t>(T_Y_BAR + i * T_OFFSET_BAR), T_BAR_W, T_BAR_H,
                         pauseMenuData.buttonHId);
        if (!pauseMenuData.pauseFont) continue;
        veFontSetHorizontalAlignment(pauseMenuData.pauseFont, 0);
        const int len = static_cast<int>(std::strlen(alString[i]));
        veFontPrintfXY(pauseMenuData.pauseFont, T_X_POS_TEXT - len / 2,
                       T_Y_POS_TEXT + kPauseGlyphDrop + i * T_OFFSET_TEXT, "%s", alString[i]);
    }
}
