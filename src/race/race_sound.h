// The race's sound: the console sound view with its audio memory manager and mixer, the audio files,
// every racer's sounds, the indoor crowd and announcer, the countdown's beeps and the race music. The race
// calls these at the points of its construction, frame and teardown.
#pragma once

#include <cstdint>

class CGameOptions;
class CSoundView;

namespace racesound {

// Builds the view and mixer and loads the audio files (world and indoor sounds only when not
// restarting). The audio memory manager is kept over a restart. `cameraId` is player 0's
// camera.
void Init(bool restart, int cameraId, const char* worldFile, bool indoor);
// The volume settings the options carry (`soundVolume` for the effects, `musicVolume` for the music)
// count in steps of the audio settings screen: 0 silent to this many, full.
inline constexpr int32_t kVolumeSettingSteps = 10;
// The gain of one of those settings (1 without options).
float SettingsGain(const CGameOptions* options, int32_t CGameOptions::*setting);

// After the race has read its sound tuning (race_game.h): the view's music and effects volumes (the
// tuning's, scaled by the options' volume settings), the mixer's group limits and the game sounds' levels
// from it, then the indoor crowd and announcer (indoor
// tracks) and the race playlist with a song drawn by rand() % 9.
void Tune(bool indoor);
// The music starts (the module waits paused after its set-up).
void StartMusic();
// A racer's sounds on its bike; `accelerationLevel` 1..3 picks the 125, 250 or 400 cc engine.
void AddRacer(int bikeModelObjectId, int accelerationLevel, bool human);
// The model step's sound (effects stopped while paused) and the frame's.
void Step(float time, bool paused, const uint32_t* gameStarted);
void Render(bool paused);
// Takes down the view and mixer and forgets the parameter cache. Unless restarting, also the audio memory
// manager, every loaded sound and envelope map and the sound ids.
void Teardown(bool restarting);

CSoundView* View();

}  // namespace racesound
