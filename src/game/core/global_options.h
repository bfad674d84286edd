// The program's options record and state, which every floor of the game reads: the options the front
// end fills before a race and the race reads, the state of the loop between front end and race, and
// whether a career is being played. Defined here so that the bike, the world and the race reach them
// without including the main loop.
#pragma once

#include "game/core/game_options.h"

extern GameState gameState;
extern CGameOptions gameOptions;
extern unsigned char inCareer;
