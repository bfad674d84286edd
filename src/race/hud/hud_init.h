// The race's HUD: per human a HUD model and a HUD in that player's view, the radar picture loaded once
// per race, and the pause object with its menu.
#pragma once

class CQzGame;
class CCamera;
class CPauseObj;

namespace hud {

// Builds player `playerNum`'s HUD model and HUD and points the camera at it.
void InitHud(CQzGame& race, CCamera* camera, unsigned int playerNum);
// The race's pause object with the menu behind it; the menu view is drawn in player 0's view.
CPauseObj* MakePauseObject(CQzGame& race);

}  // namespace hud
