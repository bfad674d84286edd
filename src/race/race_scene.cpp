#include "race/race_scene.h"

#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "bike/rider_model.h"
#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/view_matrices.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/view/view_3d.h"
#include "game/view/view_object_3d.h"
#include "race/end_of_race.h"
#include "race/race_game.h"
#include "race/scene/particle_system.h"
#include "race/scene/particle_view.h"
#include "race/scene/shadow_view.h"
#include "race/scene/track_camera.h"
#include "world/world_file_format.h"

namespace racescene {

namespace {

void AimTrackCamera(CTrackCamera* cam, int bikeId, KineticBike* bike) {
    if (cam) cam->aimAt(bikeId, bike);
}

uint32_t Options() {
    return CQzGame::gameOptions ? static_cast<uint32_t>(CQzGame::gameOptions->gameOptions) : 0u;
}

// The sky box follows the eye, so that wherever the camera goes the sky stays round it at the same
// distance. It is drawn before anything else and writes colour only (its pixels fail a never-passing
// alpha test that still keeps the colour, and leave the depth alone): the ground, the arena and the
// scenery all draw over it, however far they are.
class CSkyViewObject : public C3DViewObject {
public:
    using C3DViewObject::C3DViewObject;

    void render(C3DView* view) override {
        CModelObject* object = Object(modelObjectId);
        CModelObject* camera = Object(view->_cameraID);
        CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
        if (!object || !camera || !d || d->geometryIdList.empty()) return;
        CGeometry* g = CResourceStorage<CGeometry>::instance().get(d->geometryIdList[0]);
        if (!g || !g->geo) return;
        _matrix4 m;
        Q_SetupMatrix(&object->qOrientation, &m);
        M4_SetTranslation(&m, &camera->position);
        veSetDefaultTestEnv1(1, kAlphaNever, 0, kFailKeepColour, 0, 0, 1, kDepthAlways);
        veSetDefaultTestEnv2(1, kAlphaNever, 0, kFailKeepColour, 0, 0, 1, kDepthAlways);
        veDisplaySetMode(0x80000);
        veDisplayActivateView(&view->_view3d);
        veEngineSetLocalToWorld(&m);
        g->replaceTextures(&d->textureIdList[0]);
        veEngineDrawGeometry(g->geo);
        // What every other object draws with.
        veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
        veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
        veDisplayActivateView(&view->_view3d);
    }

private:
    static CModelObject* Object(int id) {
        CModel* m = CModel::modelPtr;
        return m && id >= 0 && static_cast<size_t>(id) < m->objects.size()
                   ? m->objects[static_cast<size_t>(id)]
                   : nullptr;
    }
    static constexpr int kAlphaNever = 0, kFailKeepColour = 1, kDepthAlways = 1;
};

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
    raceEndAimTrackCamera = AimTrackCamera;
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
