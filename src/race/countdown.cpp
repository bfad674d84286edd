#include "race/countdown.h"

#include "bike/kinetic_bike.h"
#include "engine/hal/display.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "game/files/file_manager.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "game/stats/stats.h"
#include "race/control/game_controller.h"
#include "race/demo_loop.h"
#include "race/race_game.h"
#include "race/race_pictures.h"
#include "race/scene/camera.h"

int32_t CGameStart::lastFrame = -1;
int32_t CGameStart::countLId = -1;
int32_t CGameStart::countRId = -1;
int32_t CGameStart::goLId = -1;
int32_t CGameStart::goRId = -1;
void (*CGameStart::triggerSound)(int soundId) = nullptr;

namespace {
CModelObject* ModelObject(int id) {
    CModel* model = CModel::modelPtr;
    if (!model || id < 0 || static_cast<size_t>(id) >= model->objects.size()) return nullptr;
    return model->objects[static_cast<size_t>(id)];
}

bool AttractRace() {
    const CDemoLoopManager* dl = CDemoLoopManager::DLManPtr;
    return dl && dl->getDemoLoopState() != DL_DISABLED;
}

void PlaySound(int id) {
    if (CGameStart::triggerSound && id >= 0) CGameStart::triggerSound(id);
}
}  // namespace

CGameStart::CGameStart(void* commonObjects, const int* bikeIds, unsigned int playerNum)
    : _playerNum(playerNum) {
    gameStartData.startCardTex = nullptr;
    gameStartData.gameStarted = 0;
    gameStartData.gameStartTime = globalTime;
    CFileManager* files = GetFileManager();
    for (int k = 0; k < common::kStartCards; ++k) {
        const unsigned int sub = common::kStartCard0 + static_cast<unsigned int>(k);
        CTexture* tex = commonObjects
                            ? LoadTexture(files->loadSubFile(commonObjects, sub),
                                          files->getSubFileLength(commonObjects, sub), static_cast<int>(sub))
                            : nullptr;
        gameStartData.cardFramesID[k] = CResourceStorage<CTexture>::instance().add(tex);
    }
    // Only the racers that exist are copied; the other entries name no bike.
    for (int i = 0; i < 8; ++i)
        gameStartData.bikeIDs[i] =
            bikeIds && static_cast<uint32_t>(i) < CQzGame::numOfTotalRacers ? bikeIds[i] : -1;
}

float CGameStart::getRelativeTime() const {
    return globalTime - gameStartData.gameStartTime;
}

KineticBike* CGameStart::bikeAt(int i) const {
    return dynamic_cast<KineticBike*>(ModelObject(gameStartData.bikeIDs[i]));
}

int CGameStart::cardAt(float t, bool boosted) {
    if (t <= 0.5f) return 2;
    if (t <= 1.0f) return 1;
    if (t <= kBoostWindowEnd) return 0;
    return boosted ? kBoostGoCard : kGoCard;
}

void CGameStart::update(C3DView* view, float) {
    // The pre-race camera holds the clock: the count begins when it hands over.
    if (const auto* cam = dynamic_cast<const CCamera*>(ModelObject(view ? view->_cameraID : -1));
        cam && cam->Mode == CAMMODE_PREGAME) {
        gameStartData.gameStartTime = globalTime;
        return;
    }
    const float t = getRelativeTime();
    if (t >= kIdleTime) return;
    for (int i = 0; i < 8; ++i) {
        KineticBike* b = bikeAt(i);
        if (!b) continue;
        if (t > BOOST_START_TIME && t <= kBoostWindowEnd && b->laps.canBoost == BOOST_NONE)
            b->laps.canBoost = BOOST_WINDOW_OPEN;
        if (t >= kBoostWindowEnd) {
            if (b->laps.canBoost == BOOST_PRESSED_IN_WINDOW)
                b->laps.canBoost = BOOST_START;
            else if (b->laps.canBoost == BOOST_PRESSED_OUTSIDE)
                b->laps.canBoost = BOOST_PLAIN_START;
            else if (b->laps.canBoost == BOOST_WINDOW_OPEN)
                b->laps.canBoost = BOOST_NONE;
        }
    }
    if (gameStartData.gameStarted || t < kReleaseTime) return;
    for (int i = 0; i < 8; ++i)
        if (KineticBike* b = bikeAt(i)) b->laps.startRace = 1;
    gameStartData.gameStarted = 1;
    if (!AttractRace() && _playerNum < 2 && CQzGame::controller[_playerNum])
        CQzGame::controller[_playerNum]->setState(STATE_BIKE);
    CStats::startTime = globalTime;
    if (KineticBike* own = _playerNum < 8 ? bikeAt(static_cast<int>(_playerNum)) : nullptr)
        own->bikeStats._currentLapTimeStamp = globalTime;
}

void CGameStart::render(C3DView* view) {
    const float t = getRelativeTime();
    if (AttractRace() || !(t > 0.0f && t <= kIdleTime)) return;
    const KineticBike* own = _playerNum < 8 ? bikeAt(static_cast<int>(_playerNum)) : nullptr;
    const int card = cardAt(t, own && own->laps.canBoost == BOOST_START);
    if (card != lastFrame && !(_flags & 1)) {
        const bool go = card >= kGoCard;
        PlaySound(go ? goLId : countLId);
        PlaySound(go ? goRId : countRId);
    }
    lastFrame = card;
    if (t >= kCardsGone || !view) return;

    CTexture* tex = CResourceStorage<CTexture>::instance().get(gameStartData.cardFramesID[card]);
    if (!tex) return;
    veDisplayActivateView(&view->_view2d);
    gameStartData.startCardTex = veTextureLoadTextureMem(&tex->fsBitmap);
    veDisplaySetActiveTexture(gameStartData.startCardTex);
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    const float hw = card >= kGoCard ? 96.0f : 64.0f;
    const float hh = 32.0f;
    _ve_quad q{};
    _ve_vertex* v[4] = {&q.v1, &q.v2, &q.v3, &q.v4};
    const float xs[4] = {-hw, hw, hw, -hw}, ys[4] = {-hh, -hh, hh, hh};
    const float ss[4] = {0, 1, 1, 0}, ts[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) {
        *v[k] = _ve_vertex{xs[k], ys[k], 0, 1, ss[k], ts[k], 1.0f, 0, 128, 128, 128, 128};
    }
    vePrimDrawQuad(&q);
}
