#include "race/race_game.h"
#include "race/race_hooks.h"
#include "race/race_sound.h"
#include "race/scene/track_camera.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/envelope.h"
#include "audio/sound_storage.h"
#include "audio/sound_tuning.h"
#include "bike/kinetic_bike.h"
#include "engine/font/font.h"
#include "engine/hal/display_hw.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/core/mem_log.h"
#include "game/files/collision_storage.h"
#include "game/files/common_objects.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/files/texture.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/pause_state.h"
#include "game/model/timer.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "game/view/view_3d.h"
#include "game/view/view_object_3d.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/toolkit.h"
#include "race/ai/ai_interface.h"
#include "race/ai/ai_orders.h"
#include "race/control/game_controller.h"
#include "race/control/stunt_mgr.h"
#include "race/countdown.h"
#include "race/demo_loop.h"
#include "race/end_of_race.h"
#include "race/end_screens.h"
#include "race/hud/hud_init.h"
#include "race/loading_bar.h"
#include "race/pause_obj.h"
#include "race/race_scene.h"
#include "race/scene/camera.h"
#include "race/scene/world_view.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/qz_heightfield.h"
#include "world/ramps.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/terrain_type.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world/world_model.h"

#ifndef QZ_VERSION
#define QZ_VERSION "qz 1.0"
#endif

float engineVol = 1.0f, checkpointVol = 1.0f, collisionVol = 1.0f, landingVol = 1.0f, announcerVol = 1.0f,
      crowdVol = 1.0f, announcerFreq = 1.0f, crowdFreq = 1.0f;
float raceMusicVolume[2] = {0.2f, 0.8f};
int32_t soundGroupLimit[3] = {8, 8, 8};
uint32_t Framecounter = 0;

std::array<std::unique_ptr<C3DView>, 2> CQzGame::views_;
std::unique_ptr<C3DView*[]> CQzGame::viewTable_;

CGame::CGame() : gameInit(1) {
    x_printf("Init Game\n");
}

namespace {

void PrintStars(int n) {
    for (int i = 0; i < n; ++i) x_printf("*");
    x_printf("\n");
}

// Adds `o` to the model; returns its id.
int AddToModel(CModel* model, CModelObject* o) {
    model->objects.push_back(o);
    return static_cast<int>(model->objects.size()) - 1;
}

// A NUL-terminated copy of a fixed-size text of the world file.
void CopyText(char (&out)[worldfile::kBonusTextSize + 1], const char* in) {
    std::memcpy(out, in, worldfile::kBonusTextSize);
    out[worldfile::kBonusTextSize] = 0;
}

// The chase camera of a human player, waiting in the pre-race mode; returns its model object id.
int MakeChaseCamera(CQzGame& race) {
    auto* cam = new CCamera();
    cam->SetMode(CAMMODE_PREGAME);
    race.model->objects.push_back(cam);
    return static_cast<int>(race.model->objects.size()) - 1;
}
void AimChaseCamera(int cameraId, int bikeId, int riderId) {
    CModel* m = CModel::modelPtr;
    if (!m || cameraId < 0 || static_cast<size_t>(cameraId) >= m->objects.size()) return;
    auto* cam = dynamic_cast<CCamera*>(m->objects[static_cast<size_t>(cameraId)]);
    if (!cam) return;
    cam->cameraTargetId = bikeId;
    cam->riderTargetId = riderId;
}

// The world's view in every human's view, then the placed objects, gates and out-of-bounds ring.
void MakeWorldView(CQzGame& race) {
    if (!race.worldView) return;
    std::vector<C3DView*> views(CQzGame::view, CQzGame::view + CQzGame::numOfHumanRacers);
    for (C3DView* v : views) v->insertObject(race.worldView);
    race.worldView->addObjectsToWorld(views);
}

// The countdown: one per human in its view; player 0's sets the race's clock.
CGameStart* MakeGameStart(CQzGame& race, unsigned int player) {
    auto* start = new CGameStart(CQzGame::masterFileCommonObjects, race.trackList, player);
    CQzGame::view[player]->insertObject(start);
    return start;
}

// The end screens: the menu object in the model, the results over every player's view.
void MakeGameEnd(CQzGame& race) {
    race.gameEndModel = new CGameEndObj(CQzGame::pauseId);
    race.model->objects.push_back(race.gameEndModel);
    race.endGameId = static_cast<int32_t>(race.model->objects.size()) - 1;
    race.gameEnd = new CGameEnd(&race.pauseView, CQzGame::masterFileCommonObjects, race.trackList,
                                race.endGameId, race.hudId[0]);
    race.overlayView->insertObject(race.gameEnd);
}

// The demo loop as the pad controller reaches it (a pad press in an attract race ends it).
class DemoLoopForPads : public CDemoLoopTarget {
public:
    void setDLCounter(int counter) override { DLManager.setDLCounter(static_cast<unsigned int>(counter)); }
};
DemoLoopForPads demoLoopForPads;

// The pad controller of a human player.
CQZGameController* MakeController(CQzGame& race, unsigned int player) {
    const auto preset = static_cast<int8_t>(CQzGame::gameOptions->presetHumanControls[player]);
    auto* c = new CQZGameController(player, static_cast<unsigned int>(static_cast<int>(preset)));
    c->setBikeId(CQzGame::bikeId[player]);
    c->pauseId = CQzGame::pauseId;
    c->cameraId = race.cameraId[player];
    c->_activeObject = CQzGame::bikeId[player];
    c->hudId = race.hudId[player];
    c->endGameId = race.endGameId;
    CQZGameController::demoLoop = DLManager.getDemoLoopState() != DL_DISABLED ? &demoLoopForPads : nullptr;
    return c;
}

// The stunt tree's sub-file in the common objects.
constexpr unsigned int kStuntTreeSubFile = 212;

// The stunt recogniser of the race.
void InitStunts() {
    CFileManager* fm = GetFileManager();
    void* common = CQzGame::masterFileCommonObjects;
    const int len = fm->getSubFileLength(common, kStuntTreeSubFile);
    CStuntMgr::initialize(fm->loadSubFile(common, kStuntTreeSubFile), len > 0 ? static_cast<size_t>(len) : 0,
                          CQzGame::numOfTotalRacers, CQzGame::bikeId);
}

}  // namespace

CQzGame::CQzGame(CGameOptions* options, void* commonObjects, unsigned int restart) {
    nullAllIDs();
    printVersion();
    resetCounters();
    takeOptions(options, commonObjects);
    fixFieldSize(options);
    veDisplaySetBackColor(54, 84, 0);
    model = GetModel();
    makePlayerViews();
    racehooks::Install();
    // The pause menu and the results: nearer the eye than the players' 2D views, whose prims climb in depth
    // one step each from 0.001 (a frame's HUD takes a few hundred steps), so nothing the HUD drew wins the
    // depth test over them.
    veDisplayCreateView2D(&pauseView, 0, 0, 640, 448, 1, 0.0001f);
    globalTime = 0.0f;
    GetFileManager();
    initSound(restart);
    loadingbar::Step({5, 0, 0});
    loadHighResModels(options, restart);
    loadWorldFile(options, restart);
    loadingbar::Step({17, 0, 0, 8, 0, 0});
    loadDebugFont(commonObjects);
    initBikeResources();
    initRiderResources();
    initScenery();
    MakeWorldView(*this);
    pGameSplines = CSplineManager::getSplineManager();
    bikeIterator = CAIBikeIter::getInstance();
    initRacers();
    countPickupIcons();
    CStats::numLaps = options->duration;
    radarTexId = -1;
    initPlayers();
    InitStunts();
    initRamps();
    racescene::MakeParticles(*this);
    loadingbar::Step({10});
    racesound::StartMusic();
    loadingbar::Show();
    veDisplayDisableDisplay();
    GetTimer();
    if (options->demoMode == 1) startDemo();
    loadingbar::Destroy();
    printResourceFill();
}

void CQzGame::printVersion() {
    PrintStars(62);
    x_printf("Version Number %s\n", QZ_VERSION);
    PrintStars(62);
}

void CQzGame::resetCounters() {
    frameStripe = 0;
    freeMemBefore = static_cast<uint32_t>(x_TotalMemoryFree() / 1024);
    for (float& h : performanceHistory) h = 0.0f;
    performanceHistoryId = 0;
    performance = PERFORMANCE_VERY_FAST;
}

void CQzGame::takeOptions(CGameOptions* options, void* commonObjects) {
    masterFileCommonObjects = commonObjects;
    gameOptions = options;
    setGameOptions(options);
    if (debugDraw) options->gameOptions |= kDebugOptionBits;
}

void CQzGame::fixFieldSize(CGameOptions* options) {
    numOfHumanRacers = static_cast<uint32_t>(options->numHumanPlayers);
    if (numOfHumanRacers < 1) numOfHumanRacers = 1;
    if (numOfHumanRacers > 2) numOfHumanRacers = 2;
    switch (options->trackType) {
        case TRACKTYPE_INDOOR:
        case TRACKTYPE_OUTDOOR:
            numOfTotalRacers = 7;
            break;
        case TRACKTYPE_FREESTYLE:
            numOfTotalRacers = numOfHumanRacers;
            break;
        default:
            numOfTotalRacers = 6;
            break;
    }
    if (numOfHumanRacers == 2 && numOfTotalRacers >= 3) numOfTotalRacers = 2;
    options->numCPURacers = numOfTotalRacers - 1;
    if (options->cpuRiders == 0) numOfTotalRacers = numOfHumanRacers;
    KineticBike::numOfTotalRacers = numOfTotalRacers;
}

void CQzGame::makePlayerViews() {
    splitScreen = numOfHumanRacers >= 2 ? 1 : 0;
    overlayView = std::make_unique<C3DView>(0, 1);  // made first: each view made activates its own
    viewTable_ = std::make_unique<C3DView*[]>(numOfHumanRacers);
    view = viewTable_.get();
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) {
        views_[i] = std::make_unique<C3DView>(i, numOfHumanRacers);
        view[i] = views_[i].get();
        view[i]->setNearPlane(1.0f);
        view[i]->setFarPlane(300000.0f);
        cameraId[i] = MakeChaseCamera(*this);
        view[i]->_cameraID = cameraId[i];
    }
}

void CQzGame::loadHighResModels(const CGameOptions* options, unsigned int restart) {
    static const char* const kHiRider[kModels] = {
        "COMMON\\hiRidr01.bin", "COMMON\\hiRidr02.bin", "COMMON\\hiRidr03.bin", "COMMON\\hiRidr04.bin",
        "COMMON\\hiRidr05.bin", "COMMON\\hiRidr06.bin", "COMMON\\hiRidr07.bin", "COMMON\\hiRidr08.bin",
        "COMMON\\hiRidr09.bin", "COMMON\\hiRidr10.bin"};
    static const char* const kHiBike[kModels] = {
        "COMMON\\hiBike01.bin", "COMMON\\hiBike02.bin", "COMMON\\hiBike03.bin", "COMMON\\hiBike04.bin",
        "COMMON\\hiBike05.bin", "COMMON\\hiBike06.bin", "COMMON\\hiBike07.bin", "COMMON\\hiBike08.bin",
        "COMMON\\hiBike09.bin", "COMMON\\hiBike10.bin"};
    auto model0 = [](int32_t v) { return v < 0 || v >= kModels ? 0 : v; };
    if (restart) {
        x_printf("RESTART: HighResBikeAndRider File loaded from previous game! \n");
    } else if (!splitScreen) {
        masterHiResRider = GetFileManager()->loadFile(kHiRider[model0(options->rider[0])]);
        masterHiResBike = GetFileManager()->loadFile(kHiBike[model0(options->bike[0])]);
    }
}

void CQzGame::loadWorldFile(const CGameOptions* options, unsigned int restart) {
    if (restart) {
        x_printf("RESTART: World File loaded from previous game! \n");
    } else {
        PrintMemoryLine("Used Mem Load World= %dk   Free Mem = %dk   Largest Free = %dk\n");
        char name[64];
        std::snprintf(name, sizeof name, "WORLD\\%.24s", options->WorldFile);
        masterFileWorld = LoadWorldFile(name);
    }
    worldMissing = masterFileWorld == nullptr;
}

void CQzGame::loadDebugFont(void* commonObjects) {
    CFileManager* fm = GetFileManager();
    f = veFontCreateFromPointer(
        "debug.fnt", static_cast<_font_data*>(fm->loadSubFile(commonObjects, common::kDebugFont)),
        static_cast<size_t>(fm->getSubFileLength(commonObjects, common::kDebugFont)), 0, 0);
    if (f) veFontSetMonoSpacing(f);
}

void CQzGame::initScenery() {
    if (!worldMissing) {
        initWorld();
        initSky();
        initArena();
    } else {
        x_printf("no world: the race ends at once\n");
    }
}

void CQzGame::initRacers() {
    for (int32_t& t : trackList) t = -1;
    orthogDist = 0.0f;
    startSplineTime = 0.1f;
    if (worldMissing) return;
    for (uint32_t i = 0; i < numOfTotalRacers; ++i) {
        initRacer(i, i < numOfHumanRacers ? 0 : 1);
        // The grid: after an even racer move 300 further out on this side, after an odd one
        // change sides.
        if (i % 2 == 0)
            orthogDist = orthogDist >= 0.0f ? orthogDist + 300.0f : orthogDist - 300.0f;
        else
            orthogDist = -orthogDist;
    }
    // The scenery near each human gets its bodies.
    world->humanRacers.clear();
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) world->humanRacers.push_back(bike[i]);
    if (worldView) worldView->addAmbientSounds(racesound::View());  // after every racer's sounds
}

void CQzGame::initPlayers() {
    for (uint32_t i = 0; i < numOfHumanRacers; ++i)
        initHud(dynamic_cast<CCamera*>(model->objects[static_cast<size_t>(cameraId[i])]), i);
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) {
        AimChaseCamera(cameraId[i], bikeId[i], riderId[i]);
        CGameStart* start = MakeGameStart(*this, i);
        if (i == 0) gameStart = start;
        if (i == 0) {
            pauseModel = hud::MakePauseObject(*this);
            MakeGameEnd(*this);
        }
        controller[i] = MakeController(*this, i);
    }
}

void CQzGame::initRamps() {
    CRamps::resetStatics();
    if (worldMissing) return;
    CRamps* ramps = CRamps::getInstance();
    CWorldModel* w = world;
    ramps->heightAt = [w](float x, float z) { return w->getHeightAt(x, z); };
    ramps->preProcessJumpRamps();
    ramps->preProcessCrashRamps();
}

void CQzGame::startDemo() {
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) {
        whoControls[i] = CONTROL_AI_PLAYER;
        if (controller[i]) controller[i]->setState(STATE_DEMOLOOP);
    }
    // The attract race is filmed by the track's cameras, as a finished racer is.
    if (trackCamID != -1 && trackCam && view && view[0]) {
        trackCam->aimAt(bikeId[0], bike[0]);
        view[0]->_cameraID = trackCamID;
    }
}

void CQzGame::printResourceFill() {
    x_printf("geometry Resource contains        %d objects of %d\n",
             CResourceStorage<CGeometry>::instance().count(), 160);
    x_printf("texture Resource contains         %d objects of %d\n",
             CResourceStorage<CTexture>::instance().count(), 234);
    x_printf("description Resource contains     %d objects of %d\n",
             CResourceStorage<CObjectDescription>::instance().count(), 146);
    x_printf("kineticCollide Resource contains    %d objects of %d\n",
             CResourceStorage<CKineticCollide>::instance().count(), 118);
    x_printf("envelopMap Resource contains      %d objects\n",
             CResourceStorage<CEnvelopeMap>::instance().count());
    x_printf("soundStorage Resource contains    %d objects\n",
             CResourceStorage<CSoundStorage>::instance().count());
    x_printf("Init QZ Game\n");
}

int CQzGame::initSound(unsigned int restart) {
    const bool indoor = gameOptions->trackType == TRACKTYPE_INDOOR;
    racesound::Init(restart != 0, numOfHumanRacers > 0 ? cameraId[0] : -1, gameOptions->WorldFile, indoor);

    // Tuning: checked, or the defaults with a log line naming the fault.
    const SoundTuning t = LoadSoundTuning();
    raceMusicVolume[0] = t.volumes[0];
    raceMusicVolume[1] = t.volumes[1];
    float* const vols[6] = {&engineVol, &checkpointVol, &collisionVol, &landingVol, &announcerVol, &crowdVol};
    for (int k = 0; k < 6; ++k) *vols[k] = t.volumes[2 + k];
    announcerFreq = t.announcerFrequency;
    crowdFreq = t.crowdFrequency;
    for (int k = 0; k < 3; ++k) soundGroupLimit[k] = t.groupLimits[k];
    racesound::Tune(indoor);
    return 1;
}

int CQzGame::initWorld() {
    CFileManager* fm = GetFileManager();
    world = new CWorldModel;
    model->worldId = AddToModel(model, world);
    // The world view fills the world model from the file and loads the track's splines.
    CSplineManager::resetStatics();
    worldView = new CWorldView(masterFileWorld, model->worldId, -1);
    world->position = qzVector3d(0.0f, 0.0f, 0.0f);

    // The terrain codes.
    const uint32_t n = masterfile::ReadU32(masterFileWorld, 0);
    const uint32_t length =
        masterfile::ReadU32(masterFileWorld, masterfile::EntryOffset(n)) & masterfile::kOffsetMask;
    const WorldCheck c = CheckWorldFile(masterFileWorld, length);
    CTerrainType::resetStatics();
    const int map = fm->getLabelIndex(masterFileWorld, worldfile::kLabelTerrainMap);
    CTerrainType::getInstance()->setPointer(fm->loadSubFile(masterFileWorld, static_cast<unsigned>(map)),
                                            static_cast<size_t>(c.layout.terrainMapLength), c.layout.numTiles,
                                            c.layout.gridSize);

    // Levels of detail.
    CWorldView::installDrawDistances(gameOptions->trackType, splitScreen != 0);
    CWorldModel::worldWidth = CWorldModel::worldDepth = static_cast<float>(CSubtileModel::gridSize * 896);
    racescene::LoadTrackCamera(*this, c.layout);

    PrintMemoryLine("Before qzHeightfield: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");
    const float side = CWorldModel::worldWidth * 0.01f;
    qzHeightfield = new CQZHeightfield(model->worldId, Kinetic::Vector3(side, 140.0f, side), 896, 896);
    PrintMemoryLine("After qzHeightfield: Used Mem= %dk   Free Mem = %dk   Largest Free = %dk\n");

    ground_ = new Kinetic::RigidBody();
    Kinetic::HeightFieldPrimitiveBlueprint bp;
    bp.m_heightField = qzHeightfield;
    bp.m_optimisedCD = 1;
    ground_->addPrimitive(bp);
    ground_->getPrimitives()[0]->m_collisionGroups = 1;
    ground_->m_friction = 1.0f;
    ground_->setFixed();
    model->kineticToolkit->addRigidBody(ground_, Kinetic::Vector3(0.0f, -140.0f, 0.0f),
                                        Kinetic::Quaternion());
    // The ray casts (every bike's vehicle among them) share one list of the fixed bodies, which the
    // ground, the arena and every static object enter as they join the world and leave as they go: the
    // scenery near a rider gets and loses its bodies all race long, so a copy of the fixed bodies taken
    // as each racer is built would miss them.
    GetIntersection()->m_raycaster.addRigidBody(ground_);

    // Track bonuses.
    const auto* bonus = static_cast<const _TrackBonusAwards*>(fm->loadSubFileLabel(masterFileWorld, 0, 2));
    if (bonus && fm->getSubfileCountForLabel(masterFileWorld, 0) > 2) {
        for (uint32_t k = 0; k < worldfile::kBonusAwards; ++k) {
            char name[worldfile::kBonusTextSize + 1], text[worldfile::kBonusTextSize + 1];
            CopyText(name, bonus->text1[k]);
            CopyText(text, bonus->text2[k]);
            CTrackBonus::addTrackBonusAward(static_cast<TRACK_BONUS_TYPE>(bonus->type[k]), bonus->value[k],
                                            name, text);
        }
    }
    return 1;
}

int CQzGame::initSky() {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFileLabel(masterFileWorld, worldfile::kLabelShared, 1);
    const int label = fm->getLabelIndex(masterFileWorld, worldfile::kLabelShared);
    CGeometry* g =
        data ? LoadGeometry(data, fm->getSubFileLength(masterFileWorld, static_cast<unsigned>(label) + 1),
                            label + 1)
             : nullptr;
    if (!g) return 1;
    const int gid = CResourceStorage<CGeometry>::instance().add(g);
    auto* d = new CObjectDescription();
    for (int k = 0; k < 3; ++k) d->geometryIdList.push_back(gid);
    d->numUniqueGeometry = 1;
    const int did = CResourceStorage<CObjectDescription>::instance().add(d);
    auto* sky = new CModelObject(did);
    sky->position = world->getWorldCenter();
    const int id = AddToModel(model, sky);
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) racescene::AddSky(view[i], id, did);
    return 1;
}

int CQzGame::initArena() {
    CFileManager* fm = GetFileManager();
    const int count = fm->getSubfileCountForLabel(masterFileWorld, worldfile::kLabelArena);
    if (count <= 0) return 1;
    const int label = fm->getLabelIndex(masterFileWorld, worldfile::kLabelArena);
    int collision = -1;
    if (count >= 2) {
        const int len = fm->getSubFileLength(masterFileWorld, static_cast<unsigned>(label) + 1);
        void* block = fm->loadSubFile(masterFileWorld, static_cast<unsigned>(label) + 1);
        if (block && len > 0)
            collision = CResourceStorage<CKineticCollide>::instance().add(
                new CKineticCollide(block, static_cast<size_t>(len)));
    }
    CGeometry* g = LoadGeometry(fm->loadSubFile(masterFileWorld, static_cast<unsigned>(label)),
                                fm->getSubFileLength(masterFileWorld, static_cast<unsigned>(label)), label);
    if (!g) return 1;
    const int gid = CResourceStorage<CGeometry>::instance().add(g);
    auto* d = new CObjectDescription();
    for (int k = 0; k < 3; ++k) d->geometryIdList.push_back(gid);
    d->numUniqueGeometry = 1;
    if (collision >= 0) d->collisionIdList.push_back(collision);
    const int did = CResourceStorage<CObjectDescription>::instance().add(d);
    // A static rigid object whose collision parts (if any) join the physics world at the centre.
    _Info& type = arenaInfo;
    type = _Info{};
    type.hitSoundId = 1;
    d->typeInfo = &type;
    auto* arena = new CKineticComplexStaticRigidObject(did);
    arena->position = world->getWorldCenter();
    arena->updateModelWorld();
    const int id = AddToModel(model, arena);
    for (uint32_t i = 0; i < numOfHumanRacers; ++i) {
        auto* vo = new C3DViewObject(id, did);
        vo->clipType = CLIP_TYPE_TRICLIP;
        view[i]->insertObject(vo);
    }
    return 1;
}

void CQzGame::initHud(CCamera* camera, unsigned int playerNum) {
    hud::InitHud(*this, camera, playerNum);
}
