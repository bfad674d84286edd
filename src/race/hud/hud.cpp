#include "race/hud/hud.h"

#include <cstdio>

#include "bike/kinetic_bike.h"
#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/render_context.h"
#include "engine/sys/files.h"
#include "game/files/common_objects.h"
#include "game/model/bounding_model_object.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/pause_state.h"
#include "game/stats/stats.h"
#include "race/demo_loop.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_pictures.h"
#include "race/hud/hud_resources.h"
#include "race/hud/hud_text.h"
#include "race/race_game.h"
#include "race/race_pictures.h"
#include "race/scene/track_camera.h"
#include "world/spline_manager.h"
#include "world/world_model.h"

bool CHud::debugText = false;
const char* CHud::buildLabel = "qz race build";

namespace hudgeom {
_ve_quad Rect(float x0, float y0, float x1, float y1, uint32_t alpha) {
    _ve_quad q{};
    q.v1 = {x0, y0, 0, 1, 0, 0, 1, 0, 128, 128, 128, alpha};
    q.v2 = {x1, y0, 0, 1, 1, 0, 1, 0, 128, 128, 128, alpha};
    q.v3 = {x1, y1, 0, 1, 1, 1, 1, 0, 128, 128, 128, alpha};
    q.v4 = {x0, y1, 0, 1, 0, 1, 1, 0, 128, 128, 128, alpha};
    return q;
}
}  // namespace hudgeom

namespace {

bool Freestyle() {
    return CQzGame::gameOptions && CQzGame::gameOptions->trackType == TRACKTYPE_FREESTYLE;
}

bool RacePaused() {
    return CPauseState::pauseSwitch == 1;
}

bool Baja() {
    return CQzGame::gameOptions && CQzGame::gameOptions->trackType == TRACKTYPE_BAJA;
}

void DrawTextured(int textureId, _ve_quad& q) {
    if (!hudres::UseTexture(textureId)) return;
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    vePrimDrawQuad(&q);
}

void Print(_font* f, int x, int y, const char* s) {
    if (f) veFontPrintfXY(f, x, y, "%s", s);
}

}  // namespace

CHud::CHud(void* common, const int* racerIds, int hudId, int radarTexId, C3DView* view, CWorldModel* w)
    : C3DViewObject(-1, -1), world(w) {
    using namespace hudres;
    _CHudData& d = hudData;
    // The guide arrow: in the model for every race, in the player's view in baja races only.
    if (const int geometry = AddGeometry(common, common::kGuideArrowGeometry);
        geometry >= 0 && CModel::modelPtr) {
        auto* desc = new CObjectDescription();
        for (int k = 0; k < 3; ++k) desc->geometryIdList.push_back(geometry);
        desc->numUniqueGeometry = 1;
        arrow3dDescId = CResourceStorage<CObjectDescription>::instance().add(desc);
        auto* arrow = new CBoundingModelObject(arrow3dDescId);
        arrow->position = qzVector3d(arrowPos[0], arrowPos[1], arrowPos[2]);
        CModel::modelPtr->objects.push_back(arrow);
        arrow3dId = static_cast<int32_t>(CModel::modelPtr->objects.size()) - 1;
        if (view && Baja()) view->insertObject(new C3DViewObject(arrow3dId, arrow3dDescId));
    }
    d.speedMeterId = AddTexture(common, common::kSpeedDial);
    d.radarAId = AddTexture(common, common::kRadarBracket);
    d.hudId = hudId;
    if (Freestyle()) initFreeStyleStuntData();
    d.statsId = AddTexture(common, Freestyle() ? common::kStatBoxFreestyle : common::kStatBox);
    d.arrowId = AddTexture(common, common::kMapArrow);
    for (int i = 0; i < common::kPreloadLights; ++i)
        d.preLoadLightId[i] = AddTexture(common, common::kPreloadLight0 + i);
    for (int i = 0; i < common::kStuntSegments; ++i)
        d.stuntBonusId[i] = AddTexture(common, common::kStuntSegment0 + i);
    for (int i = 0; i < common::kNitroLights; ++i)
        d.nitroLightId[i] = AddTexture(common, common::kNitroLight0 + i);
    for (int i = 0; i < common::kBlipFrames; ++i) d.blipID[i] = AddTexture(common, common::kBlip0 + i);
    for (int i = 0; i < common::kStartCards; ++i)
        d.CoundDownFramesID[i] = AddTexture(common, common::kStartCard0 + i);
    d.speedMeterFont = MakeFont(common, common::kUni18Font, "uni18.fnt");
    d.trackBonusFont = MakeFont(common, common::kUni25Font, "uni25.fnt");
    d.stuntsToHudFont = MakeFont(common, common::kUniSmallFont, "unism.fnt");
    d.digFont = MakeFont(common, common::kDigitalFont, "digital.fnt");
    if (d.digFont) veFontSetMonoSpacing(d.digFont);
    d.radarId = radarTexId;
    for (int i = 0; i < 10; ++i) d.radarTrackIDs[i] = racerIds ? racerIds[i] : -1;

    using hudgeom::Rect;
    d.gtquadSpeedMeter = d.gtquadPreLoadLight = d.gtquadStuntBonusLight = d.gtquadNitroLight =
        Rect(182, 100, 320, 250);
    d.gtquadStatBox = CQzGame::splitScreen ? Rect(-310, -109.5f, -158, 8) : Rect(-310, -219, -158, -99);
    d.gtquadMapBracket = Rect(174, -223, 318, -87, 80);
    d.gtquadMap = Rect(182, -219, 310, -91);
}

CHud::~CHud() {
    for (_font** f :
         {&hudData.speedMeterFont, &hudData.trackBonusFont, &hudData.stuntsToHudFont, &hudData.digFont})
        hudres::ReleaseFont(*f);
}

CHudModel* CHud::hudModel() const {
    return dynamic_cast<CHudModel*>(hudres::ModelObject(hudData.hudId));
}

KineticBike* CHud::bike() const {
    const CHudModel* m = hudModel();
    return m && m->_playerNum < static_cast<uint32_t>(CQzGame::kMaxRacers) ? CQzGame::bike[m->_playerNum]
                                                                           : nullptr;
}

void CHud::setHudArrowPos(float x, float y, float z) {
    arrowPos[0] = x;
    arrowPos[1] = y;
    arrowPos[2] = z;
    if (CModelObject* arrow = hudres::ModelObject(arrow3dId)) arrow->position = qzVector3d(x, y, z);
}

void CHud::aimGuideArrow() {
    KineticBike* b = bike();
    CModelObject* arrow = hudres::ModelObject(arrow3dId);
    if (!b || !arrow || !world || !Baja()) return;
    const auto& gates = world->gateObjects;
    const CModelObject* camera = hudres::ModelObject(b->cameraId);
    if (!camera || b->laps.currentCheckPoint >= gates.size()) return;
    // The arrow lies level: it points at the gate across the ground, whatever the slope.
    qzVector3d forward = gates[b->laps.currentCheckPoint].position - camera->position;
    forward.y = 0.0f;
    float length = 0.0f;
    qzMath::qzMathVectorLength(&length, &forward);
    if (!(length > 0.0f)) return;
    qzMath::qzMathVectorNormalize(&forward);
    // Rows: forward x down, forward, down; then a half turn about y. The arrow's model points along its
    // -y with its top face towards +z, which this turns to the gate and to the sky.
    const qzVector3d side(forward.z, 0.0f, -forward.x);  // forward x (0, -1, 0)
    _matrix4 m;
    M4_Identity(&m);
    const float rows[3][3] = {{side.x, side.y, side.z}, {forward.x, forward.y, forward.z}, {0, -1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.M[4 * r + c] = rows[r][c];
    M4_RotateYOn(&m, 3.14159265f);
    Q_SetupFromMatrix(&arrow->qOrientation, &m);
}

void CHud::update(C3DView*, float) {
    KineticBike* b = bike();
    if (!b) return;
    const float t = globalTime;
    _CHudData& d = hudData;
    CStats& s = b->bikeStats;
    if (s.currentStuntScore > 0 && d.stuntDelayTime == 0.0f) d.stuntDelayTime = t;
    d.preLoadState = b->air.preLoadReportState < 3 ? b->air.preLoadReportState : 2;
    if (t >= 0.01f) {
        if (!RacePaused() && ++d.frame >= 20) d.frame = 0;  // the checkpoint blip stands still in a pause
        // A stunt score is held a second, then cleared.
        if (t - d.stuntDelayTime >= 1.0f) {
            d.stuntDelayTime = 0.0f;
            s.currentStuntScore = 0;
        }
    }
    if (_showElapseTime && _showElapseTimeTimeStamp == 0.0f) _showElapseTimeTimeStamp = t;
}

void CHud::render(C3DView* view) {
    CHudModel* m = hudModel();
    KineticBike* b = bike();
    if (!m || !b || !view) return;
    const float t = globalTime;
    veRenderSetWrapS(0);
    veRenderSetWrapT(0);
    if (CQzGame::splitScreen) {
        if (m->_radarHudON) m->setRadarHUD();
        if (m->_speedHudON) m->setSpeedHUD();
    }
    veDisplayActivateView(&view->_view2d);
    aimGuideArrow();

    _font* f = hudData.speedMeterFont;
    if (_showElapseTime && t - _showElapseTimeTimeStamp <= 5.0f) {
        char line[64];
        if (f) veFontSetHorizontalAlignment(f, 1);
        hudtext::FormatLastLap(line, sizeof line, b->bikeStats._elapseTime);
        Print(f, 0, 0, line);
        _lastLap = static_cast<uint32_t>(b->bikeStats.currentLapCount);
        if (const float off = b->bikeStats.timeOffLeader; off != 0.0f) {
            char tm[32];
            hudtext::FormatTime(tm, sizeof tm, off);
            std::snprintf(line, sizeof line, "Time Off Leader +%s", tm);
            Print(f, 0, 20, line);
        }
        if (f) veFontSetHorizontalAlignment(f, 0);
    } else {
        _showElapseTime = 0;
        _showElapseTimeTimeStamp = 0.0f;
    }

    renderSpeedMeter();
    renderStatBox();
    renderMap();
    if (m->_statsHudON) renderStats(-305, CQzGame::splitScreen ? -111 : -222);
    trackToHud(t, view);
    checkHoleShot(t);
    checkTrackBonus(t);
    checkStuntsToHud(t);
    if (Freestyle()) checkForPosChangeInStuntList(t);
    const CDemoLoopManager* dl = CDemoLoopManager::DLManPtr;
    if (dl && dl->getDemoLoopState() != DL_DISABLED && f) {
        veFontSetHorizontalAlignment(f, 2);
        // Rimmed: the caption stands on pale skies and dust.
        hudres::PrintOutlined(f, hudtext::kDemoModeX, hudtext::kDemoModeY, "DEMO MODE");
        hudres::PrintOutlined(f, hudtext::kPressStartX, hudtext::kPressStartY, "Press Start Button");
        veFontSetHorizontalAlignment(f, 0);
    }
    veRenderSetWrapS(1);
    veRenderSetWrapT(1);
}

void CHud::renderSpeedMeter() {
    const CHudModel* m = hudModel();
    KineticBike* b = bike();
    if (!m || !b || !m->_speedHudON) return;
    _CHudData& d = hudData;
    DrawTextured(d.speedMeterId, d.gtquadSpeedMeter);
    // Each reading steps the needle's smoothing: a paused race (or the free camera's frozen one) keeps
    // showing the last reading rather than let the needle settle on the stopped bike's speed.
    if (!RacePaused()) d.speedShown = b->getSpeedometerReading();
    if (d.digFont) {
        veFontSetHorizontalAlignment(d.digFont, 2);
        veFontPrintfXY(d.digFont, 260, 157, "%d", hudtext::SpeedDigits(d.speedShown));
        veFontSetHorizontalAlignment(d.digFont, 0);
    }
    d.gtquadPreLoadLight = hudgeom::Rect(182, 100, 320, 250);
    DrawTextured(d.preLoadLightId[d.preLoadState < 3 ? d.preLoadState : 0], d.gtquadPreLoadLight);
}

void CHud::renderStatBox() {
    const CHudModel* m = hudModel();
    KineticBike* b = bike();
    if (!m || !b || !m->_statsHudON) return;
    _CHudData& d = hudData;
    DrawTextured(d.statsId, d.gtquadStatBox);
    const int nitros = b->ride.nitrosAvailable;
    for (int i = 0; i < nitros && i < 5; ++i) DrawTextured(d.nitroLightId[i], d.gtquadNitroLight);
    const int lit = hudtext::StuntSegments(b->bikeStats.getPercentOfNextStuntAdvantage(), nitros);
    for (int i = 0; i < lit; ++i) DrawTextured(d.stuntBonusId[i], d.gtquadStuntBonusLight);
}

void CHud::renderStats(int x, int y) {
    CHudModel* m = hudModel();
    KineticBike* b = bike();
    _font* f = hudData.speedMeterFont;
    if (!m || !b || !f) return;
    const CStats& s = b->bikeStats;
    veFontSetHorizontalAlignment(f, 0);
    const int cx = x + 47;
    const float r = b->laps.startRace ? s.raceTime : 0.0f;
    char tm[32];
    if (Freestyle()) {
        const int duration = CQzGame::gameOptions ? CQzGame::gameOptions->duration : 0;
        if (debugText) x_printf("time=%d\n", duration);  // the per-frame time log, with the other debug text
        veFontPrintfXY(f, cx, y + 19, "%i", s.stuntScore);
        if (m->_freeStylePlayerPos >= 0 && m->_freeStylePlayerPos < 10)
            m->_freeStyleRankScores[m->_freeStylePlayerPos] = s.stuntScore;
        hudtext::FormatTime(tm, sizeof tm, hudtext::TimeLeft(duration, r));
        Print(f, cx, y, tm);
    } else {
        if (static_cast<uint32_t>(s.currentLapCount) != _lastLap) {
            _lastLap = static_cast<uint32_t>(s.currentLapCount);
            _showElapseTime = 1;
        }
        veFontPrintfXY(f, cx, y + 76, "%i", s.currentLapCount + 1);
        hudtext::FormatTime(tm, sizeof tm, r);
        Print(f, cx, y, tm);
        hudtext::FormatTime(tm, sizeof tm,
                            s.currentLapCount >= 1 ? (b->laps.startRace ? s._currentLapTime : 0.0f) : r);
        Print(f, cx, y + 38, tm);
        hudtext::FormatFastestLap(tm, sizeof tm, s.fastestLapTime);
        Print(f, cx, y + 57, tm);
        int pos = 1;
        for (int i = 0; i < CStats::racerCount && i < CStats::kMaxRacers; ++i)
            if (CStats::racePositions[i] == &s) pos = i + 1;
        veFontPrintfXY(f, cx, y + 19, "%i/%i", pos, static_cast<int>(CQzGame::numOfTotalRacers));
    }
    if (!debugText || CQzGame::splitScreen) return;
    Print(f, -310, 205, buildLabel);
    if (const CTrackCamera* cam = CQzGame::trackCam; cam && cam->_enabled) {
        veFontPrintfXY(f, -310, 185, "TrackCam: %d", cam->_currentIndex);
        return;
    }
    if (CSplineManager* sm = CSplineManager::getSplineManager())
        veFontPrintfXY(f, -310, 125, "Bike Tracker = %.4f",
                       static_cast<double>(sm->wayTimeToPercent(b->laps.curWayTime) +
                                           static_cast<float>(b->laps.curLap)));
    veFontPrintfXY(f, -310, 145, "Bike.X = %.1f", static_cast<double>(b->position.x));
    veFontPrintfXY(f, -310, 165, "Bike.Y = %.1f", static_cast<double>(b->position.y));
    veFontPrintfXY(f, -310, 185, "Bike.Z = %.1f", static_cast<double>(b->position.z));
}
