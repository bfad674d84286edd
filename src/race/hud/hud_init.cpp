#include "race/hud/hud_init.h"

#include "game/files/file_manager.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "game/view/view_3d.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/hud/pause_menu.h"
#include "race/race_game.h"
#include "race/scene/camera.h"
#include "world/world_file_format.h"

namespace {

int AddToModel(CModel* model, CModelObject* o) {
    model->objects.push_back(o);
    return static_cast<int>(model->objects.size()) - 1;
}

}  // namespace

namespace hud {

void InitHud(CQzGame& race, CCamera* camera, unsigned int playerNum) {
    CHud::debugText = CQzGame::debugDraw;
    if (race.radarTexId < 0 && CQzGame::masterFileWorld) {
        CFileManager* fm = GetFileManager();
        void* world = CQzGame::masterFileWorld;
        const int label = fm->getLabelIndex(world, worldfile::kLabelShared);
        void* pic = fm->loadSubFileLabel(world, worldfile::kLabelShared, 2);
        const int len = label >= 0 ? fm->getSubFileLength(world, static_cast<unsigned>(label) + 2) : 0;
        CTexture* tex = pic && len > 0 ? LoadTexture(pic, len, -1) : nullptr;
        if (tex) race.radarTexId = CResourceStorage<CTexture>::instance().add(tex);
    }
    auto* model = new CHudModel(playerNum);
    race.hudId[playerNum] = AddToModel(race.model, model);
    auto* h = new CHud(CQzGame::masterFileCommonObjects, race.trackList, race.hudId[playerNum],
                       race.radarTexId, CQzGame::view[playerNum], race.world);
    CQzGame::view[playerNum]->insertObject(h);
    if (camera) camera->hudPointer = h;
}

CPauseObj* MakePauseObject(CQzGame& race) {
    auto* pause = new CHudPauseObj(race.hudId, CQzGame::numOfHumanRacers);
    const int id = AddToModel(race.model, pause);
    CQzGame::pauseId = id;
    race.overlayView->insertObject(
        new CPauseMenu(id, &race.pauseView, CQzGame::masterFileCommonObjects, 0, 0));
    // The attract race shows no dial, stat box or radar: its caption takes the dial's corner.
    if (CQzGame::gameOptions && CQzGame::gameOptions->demoMode == 1) {
        if (auto* m = dynamic_cast<CHudModel*>(hudres::ModelObject(race.hudId[0]))) m->allHudOff();
    }
    return pause;
}

}  // namespace hud
