#include "game/core/global_options.h"

GameState gameState = GAMESTATE_FRONTEND;
CGameOptions gameOptions;
unsigned char inCareer = 0;
