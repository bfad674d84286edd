// The race's sound: the sound view with its mixer, the audio files, the tuning file, every racer's
// sounds, the indoor crowd and announcer, and the countdown's beeps. The race calls these at the points
// of its construction, frame and teardown.
#pragma once

#include <cstdint>

class CSoundView;

namespace racesound {

// Builds the view and mixer, loads the audio files (world and indoor sounds only when not restarting)
// and reads the tuning file. `cameraId` is player 0's camera.
void Init(bool restart, int cameraId, const char* worldFile, bool indoor);
// A racer's sounds on its bike; `accelerationLevel` 1..3 picks the 125, 250 or 400 cc engine.
void AddRacer(int bikeModelObjectId, int accelerationLevel, bool human);
// The model step's sound (effects stopped while paused) and the frame's.
void Step(float time, bool paused, const uint32_t* gameStarted);
void Render(bool paused);
// Takes down the view and mixer and forgets the parameter cache. Sounds and envelopes stay loaded.
void Teardown();

CSoundView* View();

}  // namespace racesound
