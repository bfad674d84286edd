// Racer construction: the shared looks of the ten bike and ten rider models, then each racer's bike,
// physics hook-up, computer rider, attributes and stunt lists.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "engine/sys/files.h"
#include "game/files/collision_storage.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/stats/track_bonus.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "race/ai/ai_interface.h"
#include "race/race_game.h"
#include "race/race_scene.h"
#include "race/race_sound.h"
#include "race/riders.h"
#include "race/scene/bike_motion_view.h"
#include "race/scene/rider_view.h"
#include "world/objects/kinetic_collide.h"
#include "world/spline_manager.h"

// Per bike model: acceleration, top speed, traction, suspension (rows 10 and 11 are not raced).
const uint8_t qzBikeAttributes[12][4] = {{1, 3, 1, 2}, {2, 3, 1, 1}, {3, 3, 1, 1}, {1, 2, 2, 1},
                                         {1, 2, 2, 2}, {3, 3, 2, 2}, {1, 2, 3, 3}, {2, 2, 3, 3},
                                         {3, 1, 3, 1}, {1, 1, 3, 2}, {1, 1, 3, 1}, {3, 1, 3, 3}};

// The riders' names are the ones the rider choice screens show.
const QzRiderRow qzRiderAttributes[kRiderModels] = {
    {{4, 2, 5, 3}, {127, 128, 0, 0}, 0, "ACE RYDER"},    {{2, 3, 4, 5}, {127, 128, 0, 0}, 1, "J. SPEEDMAN"},
    {{4, 5, 3, 2}, {127, 128, 0, 0}, 2, "MAX TORQUE"},   {{4, 3, 3, 4}, {127, 128, 0, 0}, 3, "DUSTY ROADS"},
    {{2, 3, 5, 4}, {127, 128, 0, 0}, 4, "KIP HOLESHOT"}, {{4, 2, 5, 3}, {127, 128, 0, 0}, 5, "LUCA MUDD"},
    {{5, 2, 3, 4}, {127, 128, 0, 0}, 6, "SAM SKYE"},     {{5, 4, 3, 2}, {127, 128, 0, 0}, 7, "T. WHEELIE"},
    {{5, 4, 3, 2}, {127, 128, 0, 0}, 8, "ROCCO BERM"},   {{5, 4, 3, 2}, {127, 128, 0, 0}, 9, "NIKKI NITRO"},
};

namespace {

// The stunt lists every racer gets: (rider motion, bike motion) pairs, 65535 for none.
constexpr uint16_t kNone = 65535;
const uint16_t kStuntPairs[26][2] = {
    {54, kNone}, {46, 47}, {40, kNone}, {42, 43}, {35, kNone}, {37, kNone}, {39, kNone},
    {39, kNone}, {44, 45}, {44, 45},    {56, 57}, {38, kNone}, {60, 61},    {62, 63},
    {41, kNone}, {62, 63}, {58, 59},    {50, 51}, {36, kNone}, {66, 67},    {52, 53},
    {48, 49},    {48, 49}, {48, 49},    {48, 49}, {64, 65}};

// A texture, geometry or collision model of sub-file `k` of `image` into its store; -1 when absent.
int AddTexture(void* image, int k) {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFile(image, static_cast<unsigned>(k));
    CTexture* t =
        data ? LoadTexture(data, fm->getSubFileLength(image, static_cast<unsigned>(k)), k) : nullptr;
    return t ? CResourceStorage<CTexture>::instance().add(t) : -1;
}

int AddGeometry(void* image, int k) {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFile(image, static_cast<unsigned>(k));
    // The common-objects file stays loaded from race to race, but preparing a block rewrites it in place:
    // its bytes as loaded are kept and put back before a later race prepares it again.
    static std::map<const void*, std::vector<uint8_t>> asLoaded;
    const int len = fm->getSubFileLength(image, static_cast<unsigned>(k));
    if (data && len > 0 && image == CQzGame::masterFileCommonObjects) {
        auto [kept, fresh] = asLoaded.try_emplace(data);
        const auto* bytes = static_cast<const uint8_t*>(data);
        if (fresh || kept->second.size() != static_cast<size_t>(len))
            kept->second.assign(bytes, bytes + len);
        else
            std::memcpy(data, kept->second.data(), kept->second.size());
    }
    CGeometry* g =
        data ? LoadGeometry(data, fm->getSubFileLength(image, static_cast<unsigned>(k)), k) : nullptr;
    return g ? CResourceStorage<CGeometry>::instance().add(g) : -1;
}

int AddCollision(void* image, int k) {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFile(image, static_cast<unsigned>(k));
    const int len = fm->getSubFileLength(image, static_cast<unsigned>(k));
    if (!data || len <= 0) return -1;
    return CResourceStorage<CKineticCollide>::instance().add(
        new CKineticCollide(data, static_cast<size_t>(len)));
}

void PushIf(std::vector<int32_t>& list, int id) {
    if (id >= 0) list.push_back(id);
}

// Appends a geometry, counting it when it is new to the list.
void PushGeometry(CObjectDescription* d, int id) {
    if (id < 0) return;
    bool seen = false;
    for (int32_t g : d->geometryIdList) seen = seen || g == id;
    d->geometryIdList.push_back(id);
    if (!seen) ++d->numUniqueGeometry;
}

int ModelIndex(int32_t v) {
    return v < 0 || v >= CQzGame::kModels ? 0 : v;
}

// Computer riders: every racer has one (a human's drives its bike after the finish).
CAIInterface* MakeAI(unsigned int racer, int id) {
    auto* ai = new CAIInterface();
    ai->setActiveObject(id);
    ai->startPos(CQzGame::startSplineTime, CQzGame::orthogDist);
    ai->setChaseTarget(CQzGame::bikeId[0] >= 0 ? CQzGame::bikeId[0] : id);
    const int32_t d = CQzGame::gameOptions ? CQzGame::gameOptions->difficulty : 0;
    ai->setDifficulty(d == 0 ? 1 : d == 1 ? 2 : d == 2 ? 3 : 2);
    if (CQzGame::bike[racer]) CAIBikeIter::getInstance()->addBike(CQzGame::bike[racer]);
    return ai;
}

}  // namespace

int CQzGame::initBikeResources() {
    void* common = masterFileCommonObjects;
    int a[kModels], b[kModels];
    for (int k = 0; k < kModels; ++k) a[k] = AddTexture(common, 96 + k);
    for (int k = 0; k < kModels; ++k) b[k] = AddTexture(common, 106 + k);
    const int hiRes = !splitScreen && masterHiResBike ? AddTexture(masterHiResBike, 0) : -1;
    dustTexID = AddTexture(common, 129);
    mudTexID = AddTexture(common, 127);
    TrailTexID = AddTexture(common, 133);
    const int g0 = AddGeometry(common, 0), g1 = AddGeometry(common, 1);
    const int g2 = AddGeometry(common, splitScreen ? 1 : 2);
    const int shadow = AddGeometry(common, 6);
    int collision[3];
    for (int k = 0; k < 3; ++k) collision[k] = AddCollision(common, 3 + k);
    bikeInfo = _Info{};
    bikeInfo.hitSoundId = 0;
    bikeInfo.ambSoundId = 255;
    const int chosen = ModelIndex(gameOptions->bike[0]);
    for (int k = 0; k < kModels; ++k) {
        auto* d = new CObjectDescription();
        PushGeometry(d, g2);
        PushGeometry(d, g1);
        PushGeometry(d, g0);
        PushIf(d->shadowGeometryIdList, shadow);
        if (k == chosen) PushIf(d->textureIdList[0], hiRes);
        PushIf(d->textureIdList[1], b[k]);
        PushIf(d->textureIdList[2], a[k]);
        for (int c : collision) PushIf(d->collisionIdList, c);
        d->typeInfo = &bikeInfo;
        bikeDescriptionId[k] = CResourceStorage<CObjectDescription>::instance().add(d);
    }
    return 1;
}

int CQzGame::initRiderResources() {
    void* common = masterFileCommonObjects;
    int h0 = -1, h1 = -1;
    if (!splitScreen && masterHiResRider) {
        h0 = AddTexture(masterHiResRider, 0);
        h1 = AddTexture(masterHiResRider, 1);
    }
    int r[2 * kModels], s[kModels];
    for (int k = 0; k < 2 * kModels; ++k) r[k] = AddTexture(common, 76 + k);
    for (int k = 0; k < kModels; ++k) s[k] = AddTexture(common, 116 + k);
    const int geo[3] = {AddGeometry(common, splitScreen ? 8 : 9), AddGeometry(common, 8),
                        AddGeometry(common, 7)};
    const int shadow = AddGeometry(common, 10);
    const int collision = AddCollision(common, 11);
    const int chosen = ModelIndex(gameOptions->rider[0]);
    for (int k = 0; k < kModels; ++k) {
        auto* d = new CObjectDescription();
        for (int g : geo) PushGeometry(d, g);
        PushIf(d->shadowGeometryIdList, shadow);
        PushIf(d->collisionIdList, collision);
        if (k == chosen) {
            PushIf(d->textureIdList[0], h0);
            PushIf(d->textureIdList[0], h1);
        }
        PushIf(d->textureIdList[1], r[2 * k]);
        PushIf(d->textureIdList[1], r[2 * k + 1]);
        PushIf(d->textureIdList[2], s[k]);
        riderDescriptionId[k] = CResourceStorage<CObjectDescription>::instance().add(d);
    }
    return 1;
}

int CQzGame::initRacer(unsigned int i, unsigned int isAI) {
    const int camera = isAI ? -1 : cameraId[i];
    whoControls[i] = static_cast<int32_t>(isAI);
    const int riderModel =
        RacerRiderModel(static_cast<int>(i), static_cast<int>(numOfHumanRacers), gameOptions->rider);
    const int bikeModel =
        isAI ? ModelIndex(qzRiderAttributes[riderModel].bikeModel) : ModelIndex(gameOptions->bike[i]);

    KineticBike* b = KineticBike::create(bikeDescriptionId[bikeModel], camera,
                                         model->kineticToolkit->m_defaultRigidCollection, isAI, i);
    bike[i] = b;
    if (!b) return 1;
    b->setCurLap(0);
    std::snprintf(b->playerName, sizeof b->playerName, "%s", qzRiderAttributes[riderModel].name);

    auto* action = new Kinetic::KineticVehicleAction(b->vehicle.get());
    model->kineticToolkit->m_defaultRigidCollection->addAction(action, 1);
    vehicleActions_.push_back(action);

    model->objects.push_back(b);
    bikeId[i] = static_cast<int32_t>(model->objects.size()) - 1;
    b->bikeStats.bikeId = bikeId[i];

    b->particles.dustTexID = b->particles.dirtTexID = dustTexID;
    b->particles.mudTexID = mudTexID;
    b->particles.TrailTexID = TrailTexID;

    auto* body = new CRiderModel(bikeId[i], riderDescriptionId[riderModel]);
    model->objects.push_back(body);
    riderId[i] = static_cast<int32_t>(model->objects.size()) - 1;
    b->rider = body;

    // The bike and rider as drawn: motion views in every human's 3D view (the rider's keeps the bike's
    // in step and puts the rider body on the bike).
    auto* bikeView = new CKineticPhysicsView(bikeId[i], bikeDescriptionId[bikeModel], static_cast<int>(i), 14,
                                             0, masterFileCommonObjects);
    auto* riderView = new CRiderView(riderId[i], riderDescriptionId[riderModel], static_cast<int>(i), 13, 0,
                                     masterFileCommonObjects);
    riderView->SetBlendMotion(13, 0, 0);
    riderView->SetBikeView(bikeView);
    CMotionView::splitScreen = static_cast<int>(splitScreen);
    for (uint32_t h = 0; h < numOfHumanRacers; ++h) {
        view[h]->insertObject(bikeView);
        view[h]->insertObject(riderView);
    }

    control[i] = MakeAI(i, bikeId[i]);
    trackList[i] = bikeId[i];

    const uint8_t* ba = qzBikeAttributes[bikeModel];
    b->bikeAttributes.acceleration = ba[0];
    b->bikeAttributes.topSpeed = ba[1];
    b->bikeAttributes.traction = ba[2];
    b->bikeAttributes.suspension = ba[3];
    const uint8_t* skill = qzRiderAttributes[riderModel].skill;
    b->riderAttributes.jumping = skill[2];
    b->riderAttributes.cornering = skill[1];
    b->riderAttributes.stability = skill[0];
    b->riderAttributes.stunt = skill[3];
    // The engine heard is the bike model's: read before setAttributes puts a computer racer's handling
    // levels to its fixed set, which would give every computer bike the 250 cc engine.
    const int engineClass = b->bikeAttributes.acceleration;
    b->setAttributes();
    for (const auto& pair : kStuntPairs) {
        b->riderAttributes.riderStuntList.push_back(pair[0]);
        b->riderAttributes.bikeStuntList.push_back(pair[1]);
    }
    racesound::AddRacer(bikeId[i], engineClass, !isAI);
    racescene::MakeShadow(*this, i);
    return 1;
}

void CQzGame::countPickupIcons() {
    CTrackBonus::recountPickupIcons();
    const int icons = CTrackBonus::pickupIconCount ? CTrackBonus::pickupIconCount() : 0;
    if (icons <= 0) return;
    for (uint32_t i = 0; i < numOfTotalRacers; ++i)
        if (bike[i]) bike[i]->bikeStats.pickupsCount = icons;
}
