// The HUD's timed messages: off track, missed checkpoint and wrong way with the reset countdown, the
// track bonus, the hole shot, the stunt list of the last jump and the freestyle rank table.
#include <cstdio>
#include <cstring>
#include <utility>

#include "bike/kinetic_bike.h"
#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/render_context.h"
#include "game/core/random.h"
#include "game/model/pause_state.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "race/demo_loop.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/hud/hud_text.h"
#include "race/race_game.h"
#include "world/spline_manager.h"

const char CHud::kRivalNames[8][20] = {"Hollister", "Brannigan", "Okafor",   "Lindqvist",
                                       "Moreau",    "Takeda",    "Ferreira", "Kowalczyk"};

namespace {

void Print(_font* f, int x, int y, const char* s) {
    if (f) veFontPrintfXY(f, x, y, "%s", s);
}

bool AttractRace() {
    const CDemoLoopManager* dl = CDemoLoopManager::DLManPtr;
    return dl && dl->getDemoLoopState() != DL_DISABLED;
}

bool CircuitTrack() {
    const int type = CQzGame::gameOptions ? CQzGame::gameOptions->trackType : -1;
    return type == TRACKTYPE_INDOOR || type == TRACKTYPE_OUTDOOR;
}

// Four seconds after the stamp the bike goes back onto the track at its way position.
void ResetToTrack(KineticBike* b, const qzVector3d& point, const qzVector3d& dir) {
    b->laps.trackToHudMissedCheckPoint = 8;
    b->setStartPos(point, dir);
}

}  // namespace

void CHud::renderCountDown(C3DView* view, int frame) {
    if (frame < 0 || frame > 2 || !view) return;
    veDisplayActivateView(&view->_view2d);
    const float h = CQzGame::numOfHumanRacers > 1 ? 2.0f : 1.0f;
    _ve_quad q = hudgeom::Rect(-64.0f / h, -32.0f / h, 64.0f / h, 32.0f / h, 64);
    if (!hudres::UseTexture(hudData.CoundDownFramesID[frame])) return;
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    vePrimDrawQuad(&q);
}

void CHud::trackToHud(float t, C3DView* view) {
    KineticBike* b = bike();
    CSplineManager* sm = CSplineManager::getSplineManager();
    if (!b || !sm) return;
    qzVector3d point, dir;
    if (!sm->getPoint(b->laps.curWayTime, CSplineManager::WayPoint, point, dir)) return;
    _CHudData& d = hudData;
    _font* f = d.speedMeterFont;
    auto expire = [&](float stamp) {
        if (t - stamp < 4.0f) return;
        d.offTrackActive = d.missedCheckPointActive = 0;
        d.offTrackTimeStamp = d.missedCheckPointTimeStamp = 0.0f;
        ResetToTrack(b, point, dir);
    };
    if (d.offTrackActive) {
        expire(d.offTrackTimeStamp);
        const float e = t - d.offTrackTimeStamp;
        if (e > 1.0f) {
            const bool missed = b->laps.trackToHudMissedCheckPoint == 10 && CircuitTrack();
            hudres::PrintOutlined(f, -55, 35, missed ? "MISSED CHECKPOINT" : "OFF TRACK");
            renderCountDown(view, hudtext::CountdownFrame(e));
        }
    }
    if (d.missedCheckPointActive) {
        expire(d.missedCheckPointTimeStamp);
        renderCountDown(view, hudtext::CountdownFrame(t - d.missedCheckPointTimeStamp));
    }
    if (b->laps.trackToHudOffTrack == 2) {
        d.offTrackActive = 1;
        if (d.offTrackTimeStamp == 0.0f) d.offTrackTimeStamp = globalTime;
    } else {
        d.offTrackActive = 0;
        d.offTrackTimeStamp = 0.0f;
    }
    if (b->laps.trackToHudMissedCheckPoint == 10) {
        d.missedCheckPointActive = 1;
        if (d.missedCheckPointTimeStamp == 0.0f) d.missedCheckPointTimeStamp = globalTime;
    } else {
        d.missedCheckPointActive = 0;
        d.missedCheckPointTimeStamp = 0.0f;
    }
    if (CircuitTrack() && b->laps.trackToHudWrongWay == 1 && b->laps.trackToHudOffTrack != 2)
        hudres::PrintOutlined(f, -50, 0, "WRONG WAY");
}

void CHud::checkTrackBonus(float t) {
    if (AttractRace()) return;
    _CHudData& d = hudData;
    if (d.trackBonusActivated) {
        if (t - d.trackBonusTimeStamp >= 3.0f) {
            d.trackBonusActivated = 0;
            d.trackBonusTimeStamp = 0.0f;
        }
        // A half screen is 224 lines high: the banner stands at the foot of its own half.
        if (CQzGame::splitScreen)
            Print(d.speedMeterFont, -300, 80, d.trackBonusFlavorString);
        else
            Print(d.trackBonusFont, -300, 200, d.trackBonusFlavorString);
    }
    if (d.trackBonusActivated || d.trackBonusTimeStamp > 0.0f) return;
    // Each human's HUD announces the bonuses of its own bike, so in split screen a bonus shows in the
    // half of the player who earned it.
    KineticBike* b = bike();
    if (!b || b->isCPU) return;
    const int32_t award = b->trackBonus.currentBonusAwarded;
    if (award < 0) return;
    // The award table has kMaxAwards entries: a larger index shows nothing but is still taken.
    if (award < CTrackBonus::kMaxAwards)
        std::snprintf(d.trackBonusFlavorString, sizeof d.trackBonusFlavorString, "%s",
                      CTrackBonus::trackBonusAwards[award].bonusFlavorRecText);
    d.trackBonusActivated = 1;
    d.trackBonusTimeStamp = globalTime;
    b->trackBonus.currentBonusAwarded = -1;
}

void CHud::checkHoleShot(float t) {
    if (AttractRace()) return;
    _CHudData& d = hudData;
    _font* f = d.speedMeterFont;
    if (d.holeShotActivated) {
        if (t - d.holeShotTimeStamp >= 2.0f) d.holeShotActivated = 0;
        if (f) {
            veFontSetHorizontalAlignment(f, 1);
            veFontPrintfXY(f, 0, 0, "HOLE SHOT %s", d.holeShotPlayerName);
            veFontSetHorizontalAlignment(f, 0);
        }
    }
    if (d.holeShotActivated || d.holeShotTimeStamp > 0.0f) return;
    for (uint32_t i = 0; i < CQzGame::numOfTotalRacers && i < static_cast<uint32_t>(CQzGame::kMaxRacers);
         ++i) {
        const KineticBike* b = CQzGame::bike[i];
        if (!b || b->bikeStats.holeShot != 1) continue;
        const char* name = b->isCPU ? b->playerName : (i == 0 ? "PLAYER 1" : "PLAYER 2");
        std::snprintf(d.holeShotPlayerName, sizeof d.holeShotPlayerName, "%.19s", name);
        d.holeShotActivated = 1;
        d.holeShotTimeStamp = globalTime;
    }
}

void CHud::checkStuntsToHud(float t) {
    KineticBike* b = bike();
    if (AttractRace() || CPauseState::pauseSwitch || !b || b->isCPU) return;
    _CHudData& d = hudData;
    CStats& s = b->bikeStats;
    if (d.stuntsToHudActivated) {
        if (t - d.stuntsToHudTimeStamp >= 4.0f) {
            d.stuntsToHudActivated = 0;
            d.stuntsToHudTimeStamp = 0.0f;
            d.stuntsToHudStringCounter = 0;
            std::memset(s._stuntsToHudStuntStrings, 0, sizeof s._stuntsToHudStuntStrings);
            std::memset(s._stuntsToHudStuntScores, 0, sizeof s._stuntsToHudStuntScores);
            std::memset(s._stuntsToHudStuntRepeatScores, 0, sizeof s._stuntsToHudStuntRepeatScores);
            s._stuntsToHudStuntMultiplier = s._isStuntsToHudActive = s._stuntsToHudTotalScoreThisJump = 0;
        }
        // The tricks of the jump, right-aligned under the radar in the HUD's main font.
        _font* f = d.speedMeterFont;
        if (f) veFontSetHorizontalAlignment(f, 2);
        for (int i = 0; i < d.stuntsToHudStringCounter; ++i) {
            int& c = d.stuntsToHudMoveCounter;
            if (c > 300 && d.stuntsToHudMoveDelay == 0)
                c -= 5;
            else if (d.stuntsToHudMoveDelay < 130 * s._stuntsToHudStuntMultiplier)
                ++d.stuntsToHudMoveDelay;
            else
                c = c < 500 ? c + 5 : 500;
            hudres::PrintOutlined(f, c, hudtext::kTrickListTop + hudtext::kTrickListStep * i,
                                  d.stuntsToHudStrings[i]);
        }
        if (f) veFontSetHorizontalAlignment(f, 0);
    }
    if (d.stuntsToHudActivated || d.stuntsToHudTimeStamp > 0.0f || !s._isStuntsToHudActive) return;
    d.stuntsToHudActivated = 1;
    d.stuntsToHudTimeStamp = globalTime;
    const hudtext::StuntJump jump{s.numStuntsThisJump,           s._stuntsToHudStuntStrings,
                                  s._stuntsToHudStuntScores,     s._stuntsToHudStuntRepeatScores,
                                  s._stuntsToHudStuntMultiplier, s._stuntsToHudTotalScoreThisJump};
    d.stuntsToHudStringCounter = hudtext::BuildStuntLines(jump, d.stuntsToHudStrings);
    d.stuntsToHudMoveCounter = 500;
    d.stuntsToHudMoveDelay = 0;
}

void CHud::FreestyleRivals(const char* player, const char* rivals[7]) {
    int n = 0;
    for (int k = 0; k < 8 && n < 7; ++k)
        if (!player || std::strcmp(kRivalNames[k], player) != 0) rivals[n++] = kRivalNames[k];
}

void CHud::initFreeStyleStuntData() {
    CHudModel* m = hudModel();
    KineticBike* b = bike();
    if (!m) return;
    _freeStyleChangeActivated = 0;
    std::snprintf(m->_freeStyleRankNames[0], 20, "%.19s", b ? b->playerName : "PLAYER 1");
    m->_freeStyleRankScores[0] = 0;
    const char* rivals[7];
    FreestyleRivals(m->_freeStyleRankNames[0], rivals);
    for (int i = 1; i < 8; ++i) {
        std::snprintf(m->_freeStyleRankNames[i], 20, "%s", rivals[i - 1]);
        m->_freeStyleRankScores[i] = static_cast<int32_t>(GetRandomNumber(3000.0f, 10000.0f));
    }
    for (int pass = 0; pass < 8; ++pass)
        for (int i = 7; i > 0; --i)
            if (m->_freeStyleRankScores[i] > m->_freeStyleRankScores[i - 1]) {
                std::swap(m->_freeStyleRankScores[i], m->_freeStyleRankScores[i - 1]);
                char tmp[20];
                std::memcpy(tmp, m->_freeStyleRankNames[i], 20);
                std::memcpy(m->_freeStyleRankNames[i], m->_freeStyleRankNames[i - 1], 20);
                std::memcpy(m->_freeStyleRankNames[i - 1], tmp, 20);
            }
    m->_freeStylePlayerPos = 7;
}

void CHud::checkForPosChangeInStuntList(float) {
    CHudModel* m = hudModel();
    if (!m || CPauseState::pauseSwitch) return;
    int pos = m->_freeStylePlayerPos;
    if (pos > 0 && pos < 8 && m->_freeStyleRankScores[pos] > m->_freeStyleRankScores[pos - 1] &&
        !_freeStyleChangeActivated) {
        while (pos > 0 && m->_freeStyleRankScores[pos - 1] < m->_freeStyleRankScores[pos]) {
            std::swap(m->_freeStyleRankScores[pos], m->_freeStyleRankScores[pos - 1]);
            char tmp[20];
            std::memcpy(tmp, m->_freeStyleRankNames[pos], 20);
            std::memcpy(m->_freeStyleRankNames[pos], m->_freeStyleRankNames[pos - 1], 20);
            std::memcpy(m->_freeStyleRankNames[pos - 1], tmp, 20);
            --pos;
        }
        _freeStyleChangeActivated = 1;
        _freeStyleStringCounter = 500;
        _freeStyleStringDelay = 0;
    }
    m->_freeStylePlayerPos = pos;
    if (!_freeStyleChangeActivated) return;
    _font* f = hudData.stuntsToHudFont;
    if (!f) return;
    veFontSetHorizontalAlignment(f, 0);
    int longest = 0;
    for (int i = 0; i < 8; ++i) {
        const int n = static_cast<int>(std::strlen(m->_freeStyleRankNames[i]));
        longest = n > longest ? n : longest;
    }
    const int width = 10 * longest;
    for (int i = 0; i < 8; ++i) {
        int& c = _freeStyleStringCounter;
        if (c > 300 && _freeStyleStringDelay == 0)
            c -= 5;
        else if (_freeStyleStringDelay < 1000)
            ++_freeStyleStringDelay;
        else if (c < 500)
            c += 5;
        else {
            c = 500;
            _freeStyleChangeActivated = 0;
        }
        veFontPrintfXY(f, -c, -90 + 15 * i, "%s", m->_freeStyleRankNames[i]);
        veFontPrintfXY(f, width - c, -90 + 15 * i, "%d", m->_freeStyleRankScores[i]);
    }
}
