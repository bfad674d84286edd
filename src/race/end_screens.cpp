#include "race/end_screens.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "bike/kinetic_bike.h"
#include "engine/font/font.h"
#include "engine/hal/display.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "game/core/global_options.h"
#include "game/files/common_objects.h"
#include "game/files/file_manager.h"
#include "game/files/texture.h"
#include "game/model/model.h"
#include "game/model/packet.h"
#include "game/stats/stats.h"
#include "game/stats/track_bonus.h"
#include "race/control/game_controller.h"
#include "race/hud/hud.h"
#include "race/hud/hud_resources.h"
#include "race/pause_obj.h"
#include "race/race_game.h"
#include "race/race_pictures.h"

char EGMenuString[2][30];

bool (*CGameEnd::freestyleRanking)(int hudId, FreestyleRanking& out) = nullptr;

namespace {
constexpr float kNotFinished = 1.0e8f;
constexpr uint32_t kWhite[4] = {128, 128, 128, 128};
// Text lines of the table, the bonus list and the menu sit one line (20) below the positions the screen
// was laid out with: those put the first result on the column heads, the first bonus text on the title
// bar and the menu items above their highlight. The place marker and the pictures keep their places.
constexpr int kLineDrop = 20;
// The tables' rows: eight of them stay clear of the divider bar above the bonus list.
constexpr int kRowStep = 18;
// The place marker's centre beside its row's letters.
constexpr int kMarkerDrop = 8;

CGameOptions* Options() {
    return CQzGame::gameOptions ? CQzGame::gameOptions : &gameOptions;
}

CModelObject* ModelObject(int id) {
    CModel* model = CModel::modelPtr;
    if (!model || id < 0 || static_cast<size_t>(id) >= model->objects.size()) return nullptr;
    return model->objects[static_cast<size_t>(id)];
}

int AddTexture(void* common, int sub) {
    CFileManager* files = GetFileManager();
    const unsigned int s = static_cast<unsigned int>(sub);
    CTexture* tex = common
                        ? LoadTexture(files->loadSubFile(common, s), files->getSubFileLength(common, s), sub)
                        : nullptr;
    return CResourceStorage<CTexture>::instance().add(tex);
}

_font* MakeFont(void* common, int sub) {
    return hudres::MakeFont(common, sub, common::FontName(sub));
}

template <typename... Args>
void Print(_font* f, int x, int y, const char* format, Args... args) {
    if (!f) return;
    // A text without arguments is printed as it is, never read as a format.
    if constexpr (sizeof...(Args) == 0)
        veFontPrintfXY(f, x, y, "%s", format);
    else
        veFontPrintfXY(f, x, y, format, args...);
}

void PrintCentred(_font* f, int x, int y, const char* text) {
    if (!f) return;
    veFontSetHorizontalAlignment(f, 1);
    veFontPrintfXY(f, x, y, "%s", text);
    veFontSetHorizontalAlignment(f, 0);
}

// A lap race is finished at the last lap; a race against the clock ends for everyone together, at the
// time each clock reads.
bool Finished(const CStats& s) {
    return s.finishTime != kNotFinished || !Options()->timeOrLap;
}
float ResultTime(const CStats& s) {
    return s.finishTime != kNotFinished ? s.finishTime : s.raceTime;
}
}  // namespace

// ---- the end object ----

CGameEndObj::CGameEndObj(int pauseId) : pauseID(pauseId) {
    std::snprintf(EGMenuString[0], sizeof EGMenuString[0], "%s",
                  Options()->isCareer ? "Continue" : "Quit To Main");
    std::snprintf(EGMenuString[1], sizeof EGMenuString[1], "%s", "Restart Race");
}

void CGameEndObj::doAction(const CPacket& packet, float) {
    const int32_t bits = packet._action;
    if (bits & (1 << ENDGAMEACTION_LEFT)) {
        currentSelected = currentSelected == 0 ? endGameMaxSelections - 1 : currentSelected - 1;
    } else if (bits & (1 << ENDGAMEACTION_RIGHT)) {
        currentSelected = currentSelected + 1 >= endGameMaxSelections ? 0 : currentSelected + 1;
    }
    if (!(bits & (1 << ENDGAMEACTION_CONFIRM)) || endGameMode != 4) return;
    auto* pause = dynamic_cast<CPauseObj*>(ModelObject(pauseID));
    if (!pause) return;
    if (currentSelected == 0)
        pause->exitGame = 2;
    else if (currentSelected == 1)
        pause->restartGame = 1;
}

// ---- the screen ----

CGameEnd::CGameEnd(_ve_view* view, void* common, const int* bikeIds, int endObjectId, int hudId)
    : C3DViewObject(endObjectId, -1), gameEndData{}, _gameEndView(view), hud_id(hudId) {
    _CGameEndData& d = gameEndData;
    d.resultScreenID = -1;
    d.endGameMode = 1;
    d.resultScreenFrameID = AddTexture(common, common::kResultsFrame);
    d.resultScreenBarID = AddTexture(common, common::kResultsTitleBar);
    d.placeIconID = AddTexture(common, common::kPlaceIcon);
    d.bonusIDS[0] = AddTexture(common, common::kBonusNotEarned);
    d.bonusIDS[1] = AddTexture(common, common::kBonusEarned);
    d.statFont18 = MakeFont(common, common::kUni18Font);
    d.statFont25 = MakeFont(common, common::kUni25YellowFont);
    d.font18Yellow = MakeFont(common, common::kUni18YellowFont);
    for (int i = 0; i < 8; ++i) d.bikeIDs[i] = bikeIds ? bikeIds[i] : -1;
    d.blackPlateId = AddTexture(common, common::kBlackPlate);
    d.buttonId = AddTexture(common, common::kButton);
    d.buttonHId = AddTexture(common, common::kButton);
}

// The fonts come from the engine's small pool: a race gives back what it took. The textures stay in
// the store, which the race empties.
CGameEnd::~CGameEnd() {
    for (_font** f : {&gameEndData.statFont18, &gameEndData.statFont25, &gameEndData.font18Yellow})
        hudres::ReleaseFont(*f);
}

CGameEndObj* CGameEnd::endObject() const {
    return dynamic_cast<CGameEndObj*>(ModelObject(modelObjectId));
}

void CGameEnd::setGameEndInited(unsigned int on) {
    _CGameEndData& d = gameEndData;
    CQZGameController* pad = CQzGame::controller[0];
    d.gameOver = 0;
    if (!on) {
        d.gameEndOnOff = 0;
        if (pad) {
            pad->setState(static_cast<controllerState>(0));
            pad->_activeObject = d.oldActiveObj;
        }
        return;
    }
    d.gameEndOnOff = 1;
    if (CGameEndObj* menu = endObject()) menu->framesDrawn = 0;
    if (pad) {
        pad->setState(STATE_ENDGAME);
        d.oldActiveObj = pad->_activeObject;
        pad->_activeObject = modelObjectId;
    }
    // Results for the front end. Every entry the career reads gets a position: the racers their race
    // position, the entries beyond the field the places after it. The positions are sorted afresh first:
    // the race sorts them only every 15 frames, and the last sort may have caught the finisher after its
    // way time wrapped at the line but before the lap was counted, far down the field.
    CStats::updateRacePosition();
    CGameOptions* o = Options();
    const uint32_t racers = CQzGame::numOfTotalRacers < 8 ? CQzGame::numOfTotalRacers : 8;
    const uint32_t entries = o->numCPURacers + 1 < 8 ? o->numCPURacers + 1 : 8;
    for (uint32_t i = 0; i < 8; ++i) {
        _SeriesInfo& s = o->sInfo[i];
        if (i < racers) {
            const auto* b = dynamic_cast<const KineticBike*>(ModelObject(d.bikeIDs[i]));
            s.riderPos = b ? b->bikeStats.getRacePosition() : static_cast<int32_t>(i) + 1;
            s.isHuman = i < CQzGame::numOfHumanRacers;
        } else if (i < entries) {
            s.riderPos = static_cast<int32_t>(i) + 1;
            s.isHuman = 0;
        }
    }
    // On a freestyle track the results are the player's place in the freestyle ranking.
    FreestyleRanking ranking;
    if (o->trackType == TRACKTYPE_FREESTYLE && freestyleTable(ranking)) recordFreestylePlaces(ranking);
}

bool CGameEnd::freestyleTable(FreestyleRanking& out) const {
    out = FreestyleRanking{};
    if (!freestyleRanking || !freestyleRanking(hud_id, out)) return false;
    int p = out.playerPos;
    if (p < 0 || p > 7) return false;
    auto swapRows = [&out](int a, int b) {
        std::swap(out.names[a], out.names[b]);
        std::swap(out.scores[a], out.scores[b]);
    };
    // Up past every lower score, down past every higher one; a tie leaves the row where it is.
    for (; p > 0 && out.scores[p - 1] < out.scores[p]; --p) swapRows(p, p - 1);
    for (; p < 7 && out.scores[p + 1] > out.scores[p]; ++p) swapRows(p, p + 1);
    out.playerPos = p;
    return true;
}

void CGameEnd::freestylePlaces(const FreestyleRanking& ranking, int32_t places[8]) {
    const int player = std::clamp(ranking.playerPos, 0, 7);
    const char* list[7];
    CHud::FreestyleRivals(ranking.names[player], list);
    auto listed = [&ranking, &list](int row) {
        for (int k = 0; k < 7; ++k)
            if (ranking.names[row] && std::strcmp(ranking.names[row], list[k]) == 0) return k;
        return 7;
    };
    int rivals[7], n = 0;
    for (int row = 0; row < 8; ++row)
        if (row != player) rivals[n++] = row;
    std::stable_sort(rivals, rivals + n, [&](int a, int b) { return listed(a) < listed(b); });
    places[0] = player + 1;
    for (int k = 0; k < n; ++k) places[k + 1] = rivals[k] + 1;
}

void CGameEnd::recordFreestylePlaces(const FreestyleRanking& ranking) const {
    int32_t places[8];
    freestylePlaces(ranking, places);
    CGameOptions* o = Options();
    for (int i = 0; i < 8; ++i) {
        o->sInfo[i].riderPos = places[i];
        o->sInfo[i].isHuman = i == 0 ? 1 : 0;
    }
}

void CGameEnd::initEndGameStats() {
    if (!gameEndData.gameEndOnOff) setGameEndInited(1);
}

void CGameEnd::formatTime(char* out, int size, float seconds, const char* prefix) {
    const int minutes = static_cast<int>(std::floor(seconds / 60.0f));
    const float rest = seconds - 60.0f * static_cast<float>(minutes);
    std::snprintf(out, static_cast<size_t>(size), rest < 10.0f ? "%s%i.0%2.2f" : "%s%i.%2.2f", prefix,
                  minutes, static_cast<double>(rest));
}

void CGameEnd::formatRank(char* out, int size, int p) {
    const char* suffix = p == 1 ? "st" : p == 2 ? "nd" : p == 3 ? "rd" : "th";
    std::snprintf(out, static_cast<size_t>(size), "%i%s", p, suffix);
}

int CGameEnd::resultRows(ResultRow* rows, int capacity) const {
    const KineticBike* bikes[8] = {};
    int n = 0;
    float leader = 0.0f;
    for (uint32_t i = 0; i < CQzGame::numOfTotalRacers && i < 8 && n < capacity; ++i) {
        const auto* b = dynamic_cast<const KineticBike*>(ModelObject(gameEndData.bikeIDs[i]));
        if (!b) continue;
        bikes[n] = b;
        ResultRow& r = rows[n++];
        r.position = b->bikeStats.getRacePosition();
        formatRank(r.rank, sizeof r.rank, r.position);
        r.name = b->playerName;
        r.finished = Finished(b->bikeStats);
        if (r.position == 1 && r.finished) leader = ResultTime(b->bikeStats);
    }
    // A rider still on the course has no time yet: its clock would read like a dead heat with the
    // riders finishing around it.
    for (int k = 0; k < n; ++k) {
        ResultRow& r = rows[k];
        if (!r.finished) {
            std::snprintf(r.time, sizeof r.time, "%s", kNotFinishedText);
            r.gap[0] = '\0';
            continue;
        }
        formatTime(r.time, sizeof r.time, ResultTime(bikes[k]->bikeStats));
        formatTime(r.gap, sizeof r.gap, ResultTime(bikes[k]->bikeStats) - leader, "/ ");
    }
    return n;
}

void CGameEnd::drawQuad(int textureId, float x0, float y0, float x1, float y1, const uint32_t rgba[4],
                        float z) {
    CTexture* tex = CResourceStorage<CTexture>::instance().get(textureId);
    if (!tex) return;
    veDisplaySetActiveTexture(veTextureLoadTextureMem(&tex->fsBitmap));
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    _ve_quad q{};
    _ve_vertex* v[4] = {&q.v1, &q.v2, &q.v3, &q.v4};
    const float xs[4] = {x0, x1, x1, x0}, ys[4] = {y0, y0, y1, y1};
    const float ss[4] = {0, 1, 1, 0}, ts[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k)
        *v[k] = _ve_vertex{xs[k], ys[k], z, 1, ss[k], ts[k], 1.0f, 0, rgba[0], rgba[1], rgba[2], rgba[3]};
    vePrimDrawQuad(&q);
}

void CGameEnd::renderSprite(short x, short y, unsigned short halfW, unsigned short halfH, ve_texture_handle*,
                            int textureId) {
    static constexpr uint32_t kSprite[4] = {128, 128, 128, 64};
    const float cx = static_cast<float>(x + gameEndData.menuPosX),
                cy = static_cast<float>(y + gameEndData.menuPosY);
    drawQuad(textureId, cx - halfW, cy - halfH, cx + halfW, cy + halfH, kSprite, 250.0f);
}

void CGameEnd::drawCurrentBonusPic(int earned, int, int j) {
    static constexpr uint32_t kEarned[4] = {64, 64, 32, 128}, kMissed[4] = {128, 128, 128, 64};
    const float y = static_cast<float>(27 * j);
    drawQuad(gameEndData.bonusIDS[earned ? 1 : 0], -250.0f, 40.0f + y, -200.0f, 65.0f + y,
             earned ? kEarned : kMissed);
    if (j < 0 || j >= CTrackBonus::kMaxAwards) return;
    const _TrackBonusAward& a = CTrackBonus::trackBonusAwards[j];
    Print(gameEndData.statFont18, -180, 25 + kLineDrop + 27 * j, "%s",
          earned ? a.bonusFlavorRecText : a.bonusFlavorText);
}

void CGameEnd::update(C3DView*, float) {
    CGameEndObj* menu = endObject();
    if (!gameEndData.gameEndOnOff || !menu || menu->endGameMode < 1 || menu->endGameMode > 4) return;
    if (menu->framesDrawn < CMenuTarget::kFramesBeforePresses) ++menu->framesDrawn;  // no further: read
}

void CGameEnd::render(C3DView*) {
    _CGameEndData& d = gameEndData;
    if (!d.gameEndOnOff) return;
    veDisplayActivateView(_gameEndView);
    const CGameEndObj* menu = endObject();
    const int mode = menu ? menu->endGameMode : 0;
    if (mode < 1 || mode > 4) return;

    drawQuad(d.resultScreenFrameID, -320, -224, 320, 224, kWhite);
    drawQuad(d.resultScreenBarID, -310, -162, 310, -150, kWhite);
    drawQuad(d.resultScreenBarID, -310, 39, 310, 27, kWhite);

    constexpr int x0 = -280, y0 = -207;
    CGameOptions* o = Options();
    if (o->trackType != TRACKTYPE_FREESTYLE) {
        PrintCentred(d.statFont25, 0, y0 + 22, "RACE RESULTS");
        Print(d.font18Yellow, x0 + 64, y0 + 60, "RANK");
        Print(d.font18Yellow, x0 + 160, y0 + 60, "NAME");
        Print(d.font18Yellow, x0 + 384, y0 + 60, "TIME");
        Print(d.font18Yellow, x0 + 460, y0 + 60, "OVER");
        ResultRow rows[8];
        const int n = resultRows(rows, 8);
        for (int k = 0; k < n; ++k) {
            const int y = y0 + 60 + kLineDrop + kRowStep * (rows[k].position - 1);
            Print(d.statFont18, x0 + 64, y, "%s", rows[k].rank);
            Print(d.statFont18, x0 + 160, y, "%s", rows[k].name);
            Print(d.statFont18, x0 + 384, y, "%s", rows[k].time);
        }
        for (int k = 0; k < n; ++k) {
            const int p = rows[k].position - 1;
            if (k == 0)
                renderSprite(static_cast<short>(x0 + 32),
                             static_cast<short>(y0 + 80 + kMarkerDrop + kRowStep * p), 16, 16, d.placeIconTex,
                             d.placeIconID);
            Print(d.statFont18, x0 + 460, y0 + 60 + kLineDrop + kRowStep * p, "%s", rows[k].gap);
        }
        const auto* own = dynamic_cast<const KineticBike*>(ModelObject(d.bikeIDs[0]));
        for (int j = 0; j < CTrackBonus::getNumTrackBonusAwards() && j < CTrackBonus::kMaxAwards; ++j) {
            const int type = CTrackBonus::getTrackBonusType(j);
            const int earned = own && type >= 0 && (own->trackBonus.awardRecieved & (1u << type)) ? 1 : 0;
            drawCurrentBonusPic(earned, type, j);
            o->trackBonusAwardsFinished[j] = earned;
        }
    } else {
        PrintCentred(d.statFont25, 0, y0 + 22, "FREESTYLE");
        Print(d.font18Yellow, x0 + 64, y0 + 60, "RANK");
        Print(d.font18Yellow, x0 + 160, y0 + 60, "NAME");
        Print(d.font18Yellow, x0 + 384, y0 + 60, "SCORE");
        // The places go to the front end as they are shown, frame by frame, as the bonuses do.
        FreestyleRanking fr;
        if (freestyleTable(fr)) recordFreestylePlaces(fr);
        for (int r = 0; r < 8; ++r) {
            if (r == fr.playerPos)
                renderSprite(static_cast<short>(x0 + 32),
                             static_cast<short>(y0 + 80 + kMarkerDrop + kRowStep * r), 16, 16, d.placeIconTex,
                             d.placeIconID);
            char rank[12];
            formatRank(rank, sizeof rank, r + 1);
            const int y = y0 + 60 + kLineDrop + kRowStep * r;
            Print(d.statFont18, x0 + 64, y, "%s", rank);
            Print(d.statFont18, x0 + 160, y, "%s", fr.names[r] ? fr.names[r] : "");
            Print(d.statFont18, x0 + 384, y, "%i", fr.scores[r]);
        }
    }

    // The menu: the highlight under the chosen item, both items centred.
    renderSprite(static_cast<short>(menu->currentSelected == 0 ? -110 : 110), 194, 124, 10, d.buttonTextureH,
                 d.buttonHId);
    PrintCentred(d.statFont18, -100, 169 + kLineDrop, EGMenuString[0]);
    PrintCentred(d.statFont18, 100, 169 + kLineDrop, EGMenuString[1]);
}
