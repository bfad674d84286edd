#include "race/race_scene.h"

#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "bike/rider_model.h"
#include "game/files/file_manager.h"
#include "game/model/model.h"
#include "game/view/view_3d.h"
#include "game/view/view_object_3d.h"
#include "race/race_game.h"
#include "race/scene/particle_system.h"
#include "race/scene/particle_view.h"
#include "race/scene/shadow_view.h"
#include "race/scene/sky_view.h"
#include "race/scene/track_camera.h"
#include "world/world_file_format.h"

namespace racescene {

namespace {

uint32_t Options() {
    return CQzGame::gameOptions ? static_cast<uint32_t>(CQzGame::gameOptions->gameOptions) : 0u;
}

}  // namespace

void AddSky(C3DView* view, int objectId, int descriptionId) {
    auto* vo = new CSkyViewObject(objectId, descriptionId);
    vo->clipType = CLIP_TYPE_TRICLIP;
    view->insertObject(vo);
}

void LoadTrackCamera(CQzGame& race, const WorldLayout& layout) {
    auto* cam = new CTrackCamera();
    CFileManager* fm = GetFileManager();
    const auto* main = static_cast<const uint8_t*>(fm->loadSubFileLabel(CQzGame::masterFileWorld, 0, 0));
    if (main && layout.camerasOffset < layout.mainLength)
        cam->loadAndAdvance(main + layout.camerasOffset, layout.mainLength - layout.camerasOffset);
    race.model->objects.push_back(cam);
    race.trackCamID = static_cast<int32_t>(race.model->objects.size()) - 1;
    CQzGame::trackCam = cam;
}

void MakeParticles(CQzGame& race) {
    delete CParticleSystem::instance;
    CParticleSystem::raceOptions = Options();
    CParticleSystem::numViews = CQzGame::numOfHumanRacers;
    CParticleSystem* ps = CParticleSystem::getInstance();
    for (uint32_t i = 0; i < CQzGame::numOfHumanRacers && i < 2; ++i) {
        ps->cameraId[i] = race.cameraId[i];
        ps->viewPtr[i] = &CQzGame::view[i]->_view3d;
    }
    race.model->objects.push_back(ps);
    const int id = static_cast<int>(race.model->objects.size()) - 1;
    particles::setSink(ps);
    particles::setLoadLevelSource(&CQzGame::performance);
    auto* pv = new CParticleView(id, -1);
    for (uint32_t i = 0; i < CQzGame::numOfHumanRacers; ++i) CQzGame::view[i]->insertObject(pv);
}

void MakeShadow(CQzGame& race, unsigned int i) {
    KineticBike* b = CQzGame::bike[i];
    if (!b || !b->rider) return;
    CShadowView::raceOptions = Options();
    auto* shadow = new CShadowMotionView(CQzGame::bikeId[i], b->descriptionId, nullptr, race.riderId[i],
                                         b->rider->descriptionId, nullptr, static_cast<int>(i),
                                         CQzGame::numOfHumanRacers);
    shadow->addLightSource(CShadowView::lightDirection());
    for (uint32_t v = 0; v < CQzGame::numOfHumanRacers; ++v) CQzGame::view[v]->insertObject(shadow);
}

}  // namespace racescene
