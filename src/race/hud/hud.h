// One human's head-up display over that player's 3D view: speedometer with preload, nitro and
// stunt-advantage lights, the stat box (position, lap, times; score and time left in freestyle), the
// radar map, the timed race messages and the stunt list, and the last-lap readout.
#pragma once

#include <cstdint>

#include "engine/hal/prim.h"
#include "game/view/view_object_3d.h"

struct _font;
class CHudModel;
class CStats;
class CWorldModel;
class KineticBike;

struct _CHudData {
    int32_t speedMeterId = -1;
    _font* speedMeterFont = nullptr;
    _ve_quad gtquadSpeedMeter{}, gtquadPreLoadLight{}, gtquadStuntBonusLight{};
    _font* digFont = nullptr;
    int32_t stuntBonusId[8] = {};
    int32_t nitroLightId[5] = {};
    _ve_quad gtquadNitroLight{};
    int32_t radarTrackIDs[10] = {};
    int32_t radarId = -1, radarAId = -1;
    _ve_quad gtquadMap{}, gtquadMapBracket{}, gtquadBlit{};
    int32_t blipID[20] = {};
    int32_t preLoadLightId[3] = {};
    int32_t statsId = -1, arrowId = -1;
    _ve_quad gtquadStatBox{}, gtquadArrowA{}, gtquadArrowB{};
    int32_t hudId = -1;
    uint32_t frame = 0;
    uint32_t preLoadState = 0;
    float stuntDelayTime = 0.0f;
    uint32_t holeShotActivated = 0;
    char holeShotPlayerName[20] = {};
    float holeShotTimeStamp = 0.0f;
    uint32_t trackBonusActivated = 0;
    char trackBonusFlavorString[100] = {};
    float trackBonusTimeStamp = 0.0f;
    _font* trackBonusFont = nullptr;
    uint32_t stuntsToHudActivated = 0;
    char stuntsToHudStrings[20][50] = {};
    float stuntsToHudTimeStamp = 0.0f;
    int32_t stuntsToHudStringCounter = 0, stuntsToHudMoveCounter = 0, stuntsToHudMoveDelay = 0;
    _font* stuntsToHudFont = nullptr;
    int32_t CoundDownFramesID[5] = {};
    int32_t offTrackActive = 0;
    float offTrackTimeStamp = 0.0f;
    int32_t missedCheckPointActive = 0;
    float missedCheckPointTimeStamp = 0.0f;
    float speedShown = 0.0f;  // the speedometer's last reading, shown again while the race is paused
};

class CHud : public C3DViewObject {
public:
    // Debug lines (bike coordinates and way position, the build label) under the stat box; off unless
    // asked for.
    static bool debugText;
    static const char* buildLabel;
    // The eight rival surnames of the freestyle rank table.
    static const char kRivalNames[8][20];
    // The seven rivals a freestyle run of `player` is ranked against: the surnames in their table's
    // order but the one the player is named after. The results hand back the rivals' places, and the
    // career's standings name them, in this order.
    static void FreestyleRivals(const char* player, const char* rivals[7]);

    // `racerIds`: the race's 10 racer object ids (-1 none), `hudId` the player's HUD model,
    // `radarTexId` the world's radar picture in the texture store, `world` for the gates and extent.
    CHud(void* commonObjects, const int* racerIds, int hudId, int radarTexId, C3DView* view,
         CWorldModel* world);
    ~CHud() override;

    void update(C3DView* view, float dt) override;
    void render(C3DView* view) override;
    void setHudArrowPos(float x, float y, float z);
    // Turns the guide arrow towards the bike's next gate, as seen from the bike's camera.
    void aimGuideArrow();

    void renderSpeedMeter();
    void renderStatBox();
    void renderStats(int x, int y);
    void renderMap();
    void trackToHud(float t, C3DView* view);
    void renderCountDown(C3DView* view, int frame);
    void checkTrackBonus(float t);
    void checkHoleShot(float t);
    void checkStuntsToHud(float t);
    void initFreeStyleStuntData();
    void checkForPosChangeInStuntList(float t);

    CHudModel* hudModel() const;
    KineticBike* bike() const;

    _CHudData hudData;
    uint32_t _lastLap = 0;
    float _showElapseTimeTimeStamp = 0.0f;
    uint32_t _showElapseTime = 0;
    int32_t _freeStyleChangeActivated = 0, _freeStyleStringCounter = 0, _freeStyleStringDelay = 0;
    float arrowPos[3] = {109000.0f, -1800.0f, 33369.0f};
    // The 3D guide arrow: its model object (moved by the player's camera and turned towards the next
    // gate) and description; drawn in the player's view in baja races only.
    int32_t arrow3dId = -1, arrow3dDescId = -1;
    CWorldModel* world;
};

namespace hudgeom {
// A quad over x0..x1, y0..y1 of the 2D view with texture corners (0,0)..(1,1), colour 128 and `alpha`.
_ve_quad Rect(float x0, float y0, float x1, float y1, uint32_t alpha = 128);
}  // namespace hudgeom
