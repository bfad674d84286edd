// Taking a race apart: everything the race built is freed; on a restart the world and high-resolution
// files stay loaded for the next build.
#include "bike/kinetic_bike.h"
#include "console/kernel/vsync.h"
#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/display_sync.h"
#include "engine/hal/engine.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/core/mem_log.h"
#include "game/files/collision_storage.h"
#include "game/files/geometry.h"
#include "game/files/texture.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/timer.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "game/view/view_3d.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "race/ai/ai_interface.h"
#include "race/ai/ai_orders.h"
#include "race/control/game_controller.h"
#include "race/control/stunt_mgr.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_hooks.h"
#include "race/race_sound.h"
#include "race/scene/world_view.h"
#include "world/objects/kinetic_collide.h"
#include "world/qz_heightfield.h"
#include "world/ramps.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/terrain_type.h"
#include "world/world_model.h"

void CQzGame::nullAllIDs() {
    for (int i = 0; i < kMaxRacers; ++i) {
        bike[i] = nullptr;
        bikeId[i] = -1;
        riderId[i] = -1;
    }
    for (int k = 0; k < kModels; ++k) riderDescriptionId[k] = bikeDescriptionId[k] = -1;
    pauseId = -1;
    hudId[0] = hudId[1] = -1;
    radarTexId = endGameId = dustTexID = TrailTexID = mudTexID = -1;
    for (int32_t& c : cameraId) c = -1;
}

namespace {
template <typename T>
void Empty() {
    CResourceStorage<T>::instance().deleteAll();
}
void PrintStars() {
    for (int i = 0; i < 65; ++i) x_printf("*");
    x_printf("\n");
}

// The teardown's empty frame sends the race's last picture out; the display shows it once that frame has
// ended, and would show the empty frame itself (a bare background) once the next one does. The last
// picture is waited for and the display goes off: it stays on the screen while the race is taken apart
// and whatever follows is built, and the front end (or the restarted race) turns the display back on
// with its first whole picture. Shown, it is cleared from the frame buffer, so the next picture starts
// from a clear one.
void ShowLastPicture() {
    while (!veDisplayFrameRenderDone.load()) sceGsSyncV(0);
    veDisplayDisableDisplay();
}
}  // namespace

CQzGame::~CQzGame() {
    const bool restarting = pauseModel && pauseModel->restartGame != 0;

    racehooks::Clear();  // nothing reaches back into the race while it is taken apart
    GetTimer();
    veEngineBeginFrame();
    veEngineEndFrame();
    ShowLastPicture();
    delete CTimer::timerPtr;
    CRamps::resetStatics();
    freeModel();
    freeViews();
    racesound::Teardown(restarting);
    PrintMemoryLine("Free Sound: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
    freeRaceObjects();
    emptyStorages();
    if (!restarting) freeMasterFiles();
    printMemoryLost();
    std::vector<CPacket>().swap(packets);
}

void CQzGame::freeModel() {
    // The vehicle actions leave the physics world before the bikes go with the model.
    for (Kinetic::KineticVehicleAction* a : vehicleActions_) {
        model->kineticToolkit->m_defaultRigidCollection->removeAction(a);
        delete a;
    }
    vehicleActions_.clear();
    delete CModel::modelPtr;
    model = nullptr;
    world = nullptr;
    pauseModel = nullptr;
    for (KineticBike*& b : bike) b = nullptr;
    ground_ = nullptr;  // the physics toolkit's clean-up deleted it with the model
}

void CQzGame::freeViews() {
    if (worldView) worldView->clearStvList();
    worldView = nullptr;
    for (std::unique_ptr<C3DView>& v : views_) v.reset();
    viewTable_.reset();
    view = nullptr;
    overlayView.reset();
}

void CQzGame::freeRaceObjects() {
    delete qzHeightfield;
    qzHeightfield = nullptr;
    CSplineManager::cleanUp();
    pGameSplines = nullptr;
    for (uint32_t i = 0; i < numOfTotalRacers; ++i) {
        delete control[i];
        control[i] = nullptr;
        if (i < numOfHumanRacers && i < 2) {
            delete controller[i];
            CQZGameController::demoLoop = nullptr;
            controller[i] = nullptr;
        }
    }
    gameStart = nullptr;
    delete bikeIterator;
    bikeIterator = nullptr;
    delete CStuntMgr::theStuntMgr;
    CStuntMgr::theStuntMgr = nullptr;
    CTerrainType::resetStatics();
    delete CIntersection::intersectionPtr;
    CWorldModel::resetStatics();
    CSubtileModel::resetStatics();
}

void CQzGame::emptyStorages() {
    Empty<CGeometry>();
    Empty<CTexture>();
    Empty<CObjectDescription>();
    Empty<CKineticCollide>();
    if (f) veFontDestroy(f);
    f = nullptr;
}

void CQzGame::freeMasterFiles() {
    PrintMemoryLine("Free MasterFile Before: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
    x_free(masterFileWorld);
    masterFileWorld = nullptr;
    PrintMemoryLine("Free MasterFile After: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
    if (numOfHumanRacers == 1) {
        x_free(masterHiResBike);
        masterHiResBike = nullptr;
        PrintMemoryLine("Free masterHiResBike: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
        x_free(masterHiResRider);
        masterHiResRider = nullptr;
        PrintMemoryLine("Free masterHiResRider: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
    }
}

void CQzGame::printMemoryLost() {
    freeMemAfter = static_cast<uint32_t>(x_TotalMemoryFree() / 1024);
    PrintStars();
    Framecounter = 0;
    PrintMemoryLine("Used Mem Leaving Game = %dk   Free Mem = %dk   Largest Free = %dk\n");
    x_printf("Free Mem Before %dk, Free Mem After %dk, Free Mem Lost %dk\n", static_cast<int>(freeMemBefore),
             static_cast<int>(freeMemAfter),
             static_cast<int>(freeMemBefore) - static_cast<int>(freeMemAfter));
    PrintStars();
    x_printf("DInit QZ Game\n");
}

void ResetRaceSingletons() {
    CStuntMgr::shutdown();
    delete CAIBikeIter::theBikeIter;  // the destructor clears theBikeIter
    CSplineManager::cleanUp();
    CTerrainType::resetStatics();
    CRamps::resetStatics();
    CRaceState::resetRaceState();
}
