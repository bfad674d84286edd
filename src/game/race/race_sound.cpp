#include "game/race/race_sound.h"

#include <algorithm>
#include <cstdio>

#include "audio/audio_memory_manager.h"
#include "audio/engine_sound.h"
#include "audio/game_sounds.h"
#include "audio/mixer.h"
#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "audio/sound_object.h"
#include "audio/sound_storage.h"
#include "audio/sound_tuning_format.h"
#include "audio/sound_view.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/race/countdown.h"

namespace {

// No request is queued by the race's sounds: the memory manager has nothing to send.
class CRaceAudioMemory : public CAudioMemoryManager {
public:
    void processRequests() override {}
    void cleanupRequests() override {}
};

// The race's view of the effects; music is not played through it.
class CRaceSoundView : public CSoundView {
public:
    explicit CRaceSoundView(CAudioMemoryManager& amm) : CSoundView(amm) {}
    void update(float time) override { stepSources(time); }
    void render() override { renderSources(); }
    void setPlaylist(int, char**) override {}
    void playlistSkip(int) override {}
    void playlistSetSong(int) override {}
    void setVolume(float, float effects) override { effectsVolume = effects; }
    void pauseMusic(bool) override {}
    // Paused: the effects fall silent through the sound processor's master volume of both cores.
    void stopSFX(bool stop) override {
        if (muted == static_cast<int>(stop)) return;
        muted = stop;
        for (uint32_t core = 0; core < 2; ++core)
            for (uint32_t reg : {console::kSdMasterVolL, console::kSdMasterVolR})
                sceSdRemote(1, kSdCmdSetParam, reg | core, stop ? 0u : 0x3FFFu);
    }
    int muted = -1;  // unknown until the first call
    float effectsVolume = 1.0f;
};

CRaceAudioMemory* g_amm = nullptr;
CRaceSoundView* g_view = nullptr;
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
    if (!g_amm) g_amm = new CRaceAudioMemory;
    if (restart) x_printf("RESTART: pAmm not newed! \n");
    g_view = new CRaceSoundView(*g_amm);
    g_mixer = new CMixer(8, kSoundKindVemo);
    if (restart) {
        x_printf("RESTART: masterFileAudio File loaded from previous game! \n");
        x_printf("RESTART: Cant init CSoundFactory or CQzSoundIDs, because masterFileAudio is not loaded \n");
    } else {
        x_printf("Init Sound\n");
        if (!g_masterLoaded) {
            // The master file's samples stay for the program's life: loaded at the first race only.
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

    SoundTuning tuning;
    int length = 0;
    bool read = false;
    if (void* text = x_LoadFileLength(kSoundTuningFile, &length)) {
        read = ReadSoundTuning(static_cast<const char*>(text),
                               static_cast<size_t>(std::min<int>(length, kSoundTuningMaxBytes)), &tuning);
        x_free(text);
    }
    if (read) {
        g_view->setVolume(tuning.volumes[0], tuning.volumes[1]);
        g_soundLevels = {tuning.volumes[2],         tuning.volumes[3],    tuning.volumes[4],
                         tuning.volumes[5],         tuning.volumes[6],    tuning.volumes[7],
                         tuning.announcerFrequency, tuning.crowdFrequency};
    } else {
        g_view->setVolume(0.2f, 0.8f);
        tuning = SoundTuning{};  // limits of our own: every group may play
    }
    for (int g = 0; g < 3; ++g) g_mixer->soundGroupLimits[g + 1] = tuning.groupLimits[g];
    if (indoor) AddIndoorCrowd(*g_view, 0.0f);

    CGameStart::countLId = CQZSoundIDs::countLId;
    CGameStart::countRId = CQZSoundIDs::countRId;
    CGameStart::goLId = CQZSoundIDs::goLId;
    CGameStart::goRId = CQZSoundIDs::goRId;
    CGameStart::triggerSound = CSoundFactory::triggerVemoSound;
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

void Teardown() {
    CGameStart::triggerSound = nullptr;
    CBikeSoundObject::gameStarted = nullptr;
    if (g_view) g_view->stopSFX(false);  // a race left while paused gives the front end its sound back
    delete g_mixer;
    g_mixer = nullptr;
    CSoundObject::clearParamCache();
    delete g_view;  // with its bin, every sound object and their readers
    g_view = nullptr;
}

}  // namespace racesound
