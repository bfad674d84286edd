// The console's sound view: the step and frame order of the sound view, plus the music and effect
// control through server 2 of the I/O processor's audio module. The binding and the module's set-up are
// shared by every console sound view: the first one built sets the module up, the last one destroyed
// shuts it down.
#pragma once

#include <cstdint>

#include "audio/audio_memory_manager.h"
#include "audio/sound_view.h"
#include "console/iop/sif_rpc.h"

class CPS2AudioMemoryManager;

class CPS2SoundView : public CSoundView {
public:
    explicit CPS2SoundView(CAudioMemoryManager& memoryManager);
    ~CPS2SoundView() override;

    void update(float time) override { stepSources(time); }
    void render() override { renderSources(); }

    // Copies the names (at most 64 bytes each) into I/O-processor memory, which the module then owns.
    void setPlaylist(int count, char** names) override;
    void playlistSkip(int count) override;
    void playlistSetSong(int song) override;
    void setVolume(float music, float effects) override;
    void pauseMusic(bool pause) override;
    // Tells the module to stop effects, then mutes (0) or restores (0x3FFF) both cores' master volume.
    void stopSFX(bool stop) override;

    CPS2AudioMemoryManager* ps2amm;  // null when the view was given another kind of manager
    uint32_t samplesSent = 0;
    float lastUpdate = 0;
    CAudioBuffer outputBuffer;
    void* lastTransferDest = nullptr;

    static int initCount;
    static sceSifClientData binding;
    static uint32_t nextTransferDest;

private:
    void Init();
};
