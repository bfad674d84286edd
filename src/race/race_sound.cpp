#include "race/race_sound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "audio/engine_sound.h"
#include "audio/envelope.h"
#include "audio/game_sounds.h"
#include "audio/mixer.h"
#include "audio/music_playlists.h"
#include "audio/ps2_audio_memory_manager.h"
#include "audio/ps2_sound_view.h"
#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "audio/sound_object.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "race/countdown.h"
#include "race/race_game.h"

namespace {

CPS2AudioMemoryManager* g_amm = nullptr;  // kept over a restart
CPS2SoundView* g_view = nullptr;
CMixer* g_mixer = nullptr;
bool g_masterLoaded = false;

void LoadAndFree(const char* name, const char* fallback, void (*use)(void*)) {
    CFileManager* fm = GetFileManager();
    void* file = fm->loadFile(name);
    if (!file && fallback) file = fm->loadFile(fallback);
    if (!file) return;
    use(file);
    x_free(file);
}

bool g_indoor = false;

}  // namespace

namespace racesound {

CSoundView* View() {
    return g_view;
}

void Init(bool restart, int cameraId, const char* worldFile, bool indoor) {
    if (!g_amm)
        g_amm = new CPS2AudioMemoryManager;
    else if (restart)
        x_printf("RESTART: pAmm not newed! \n");
    g_view = new CPS2SoundView(*g_amm);
    g_mixer = new CMixer(8, kSoundKindVemo);
    if (restart) {
        x_printf("RESTART: masterFileAudio File loaded from previous game! \n");
        x_printf("RESTART: Cant init CSoundFactory or CQzSoundIDs, because masterFileAudio is not loaded \n");
    } else {
        x_printf("Init Sound\n");
        if (!g_masterLoaded) {
            // Loaded by every race but a restart, which finds them still loaded.
            LoadAndFree(kAudioMasterFile, nullptr, [](void* file) {
                CSoundFactory::initDefaultEnvelopes(file);
                CQZSoundIDs::loadSounds(file, *g_amm);
                g_masterLoaded = true;
            });
        }
    }
    g_view->mixers.push_back(g_mixer);
    g_view->_cameraID = cameraId;
    if (!restart) {
        g_indoor = indoor;
        char name[64];
        std::snprintf(name, sizeof name, "WORLD\\SNDS\\snd_%.24s", worldFile ? worldFile : "");
        LoadAndFree(name, kDefaultObjectSoundFile, [](void* file) {
            CQZSoundIDs::loadWorldSounds(file, *g_amm, g_indoor ? kIndoorSounds : 0);
        });
        if (indoor)
            LoadAndFree(kIndoorSoundFile, nullptr,
                        [](void* file) { CQZSoundIDs::loadIndoorSounds(file, *g_amm); });
    }
    x_printf("DInit Sound\n");

    CGameStart::countLId = CQZSoundIDs::countLId;
    CGameStart::countRId = CQZSoundIDs::countRId;
    CGameStart::goLId = CQZSoundIDs::goLId;
    CGameStart::goRId = CQZSoundIDs::goRId;
}

float SettingsGain(const CGameOptions* options, int32_t CGameOptions::*setting) {
    if (!options) return 1.0f;
    return static_cast<float>(std::clamp<int32_t>(options->*setting, 0, kVolumeSettingSteps)) /
           static_cast<float>(kVolumeSettingSteps);
}

void Tune(bool indoor) {
    if (!g_view) return;
    // The tuning's music and effects volumes, as the player set them on the audio settings screen.
    const CGameOptions* o = CQzGame::gameOptions;
    g_view->setVolume(raceMusicVolume[0] * SettingsGain(o, &CGameOptions::musicVolume),
                      raceMusicVolume[1] * SettingsGain(o, &CGameOptions::soundVolume));
    for (int g = 0; g < 3; ++g) g_mixer->soundGroupLimits[g + 1] = soundGroupLimit[g];
    g_soundLevels = {engineVol,    checkpointVol, collisionVol,  landingVol,
                     announcerVol, crowdVol,      announcerFreq, crowdFreq};
    if (indoor) AddIndoorCrowd(*g_view, 0.0f);
    g_view->setPlaylist(kRaceStreams, race_playlist);
    g_view->playlistSetSong(rand() % kRaceStreams);
}

void StartMusic() {
    if (g_view) g_view->pauseMusic(false);
}

void AddRacer(int bikeModelObjectId, int accelerationLevel, bool human) {
    if (!g_view) return;
    AddRacerSounds(*g_view, bikeModelObjectId, std::clamp(accelerationLevel, 1, 3) - 1, human);
}

void Step(float time, bool paused, const uint32_t* gameStarted) {
    if (!g_view) return;
    CBikeSoundObject::gameStarted = gameStarted;
    g_view->stopSFX(paused);
    if (!paused) g_view->update(time);
}

void Render(bool paused) {
    if (g_view && !paused) g_view->render();
}

void Teardown(bool restarting) {
    CBikeSoundObject::gameStarted = nullptr;
    if (g_view) g_view->stopSFX(false);  // a race left while paused gives the front end its sound back
    delete g_mixer;
    g_mixer = nullptr;
    CSoundObject::clearParamCache();
    delete g_view;  // with its bin, every sound object and their readers; the last view stops the music
    g_view = nullptr;
    if (!restarting) {
        // Only a restart keeps the loaded sounds: the next race loads the audio files afresh, so a
        // track's world and indoor sounds do not stay in memory until then.
        delete g_amm;
        g_amm = nullptr;
        CResourceStorage<CSoundStorage>::instance().deleteAll();
        CResourceStorage<CEnvelopeMap>::instance().deleteAll();
        CSoundFactory::defEnvId = -1;
        CQZSoundIDs::resetAll();
        g_masterLoaded = false;
    }
}

}  // namespace racesound
