// The console's sound view: the step and frame order of the sound view, plus the music and effect
// control through the I/O processor's audio module (defined with the music control code).
#pragma once

#include "audio/sound_view.h"

class CPS2SoundView : public CSoundView {
public:
    explicit CPS2SoundView(CAudioMemoryManager& memoryManager);
    ~CPS2SoundView() override;

    void update(float time) override { stepSources(time); }
    void render() override { renderSources(); }

    void setPlaylist(int count, char** names) override;
    void playlistSkip(int count) override;
    void playlistSetSong(int song) override;
    void setVolume(float music, float effects) override;
    void pauseMusic(bool pause) override;
    void stopSFX(bool stop) override;
};
