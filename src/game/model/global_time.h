// The race clock: game time in seconds, one 1/60 s step (0.01667 s, summed in single precision) after
// each model step that is not paused. Everything timed in a race reads it: lap and race times, jumps,
// collisions, the countdown, the HUD's messages and the sound.
#pragma once

// Set to 0 when a race is built; advanced only by CGlobalTime::updateGlobalTime.
extern float globalTime;

class CGlobalTime {
public:
    // Adds 0.01667 s unless the race is paused: a paused race's clock stands still.
    static void updateGlobalTime();
};
