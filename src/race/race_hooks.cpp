#include "race/race_hooks.h"

#include "audio/sound_factory.h"
#include "audio/sound_view.h"
#include "bike/kinetic_bike.h"
#include "game/model/model.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "game/view/util.h"
#include "game/view/view_3d.h"
#include "race/countdown.h"
#include "race/end_of_race.h"
#include "race/end_screens.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/hud/pause_menu.h"
#include "race/race_game.h"
#include "race/race_sound.h"
#include "race/scene/camera.h"
#include "race/scene/track_camera.h"
#include "world/terrain_type.h"
#include "world/world_model.h"

namespace {

// The race camera with model object id `id`; null when that object is no race camera.
CCamera* CameraAt(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return dynamic_cast<CCamera*>(m->objects[static_cast<size_t>(id)]);
}

void SwitchCamera(int cameraId, int mode) {
    if (CCamera* c = CameraAt(cameraId)) c->SetMode(mode);
}

void CameraTeleport(int cameraId) {
    if (CCamera* c = CameraAt(cameraId)) c->teleportIfFollowing();
}

void ViewSetup(CModelObject* object, C3DView* view) {
    if (auto* camera = dynamic_cast<CCamera*>(object)) camera->setupCamera(view);
}

void ArrowPos(CHud* hud, const qzVector3d& p) {
    if (hud) hud->setHudArrowPos(p.x, p.y, p.z);
}

void HudOff(int hudId) {
    if (auto* m = dynamic_cast<CHudModel*>(hudres::ModelObject(hudId))) m->allHudOff();
}

bool Ranking(int hudId, FreestyleRanking& out) {
    const auto* m = dynamic_cast<const CHudModel*>(hudres::ModelObject(hudId));
    if (!m) return false;
    for (int i = 0; i < 8; ++i) {
        out.names[i] = m->_freeStyleRankNames[i];
        out.scores[i] = m->_freeStyleRankScores[i];
    }
    out.playerPos = m->_freeStylePlayerPos;
    return true;
}

void AimTrackCamera(CTrackCamera* cam, int bikeId, KineticBike* bike) {
    if (cam) cam->aimAt(bikeId, bike);
}

void SetSong(int song) {
    if (CSoundView* v = racesound::View()) v->playlistSetSong(song);
}

void PauseSong(bool pause) {
    if (CSoundView* v = racesound::View()) v->pauseMusic(pause);
}

int TerrainTypeAt(float x, float z) {
    return static_cast<int>(CTerrainType::getInstance()->getTypeAtPoint(x, z));
}

int PickupIcons() {
    return CWorldModel::bonus1Count;
}

}  // namespace

namespace racehooks {

void Install() {
    // The views and the cameras.
    C3DView::setupCamera = ViewSetup;
    CUtil::raceViews = CQzGame::view;
    KineticBike::cameraModeHook = SwitchCamera;
    KineticBike::cameraTeleportHook = CameraTeleport;
    // The HUD, the end of the race and the end screens.
    CCamera::setHudArrowPos = ArrowPos;
    raceEndHudOff = HudOff;
    raceEndAimTrackCamera = AimTrackCamera;
    CGameEnd::freestyleRanking = Ranking;
    // The sound.
    PauseMusic::setSong = SetSong;
    PauseMusic::pause = PauseSong;
    CGameStart::triggerSound = CSoundFactory::triggerVemoSound;
    // The statistics and track bonuses.
    CStats::terrainTypeAt = TerrainTypeAt;
    CTrackBonus::pickupIconCount = PickupIcons;
}

void Clear() {
    C3DView::setupCamera = nullptr;
    CUtil::raceViews = nullptr;
    KineticBike::cameraModeHook = nullptr;
    KineticBike::cameraTeleportHook = nullptr;
    CCamera::setHudArrowPos = nullptr;
    raceEndHudOff = nullptr;
    raceEndAimTrackCamera = nullptr;
    CGameEnd::freestyleRanking = nullptr;
    PauseMusic::setSong = nullptr;
    PauseMusic::pause = nullptr;
    CGameStart::triggerSound = nullptr;
    CStats::terrainTypeAt = nullptr;
    CTrackBonus::pickupIconCount = nullptr;
}

}  // namespace racehooks
