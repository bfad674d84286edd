// The front end's music: the console sound view over its own audio memory manager, playing one stream
// of the front-end playlist at a time (the menu tune, the title screen's stream, the credits' stream).
#include "audio/music_playlists.h"
#include "audio/ps2_audio_memory_manager.h"
#include "audio/ps2_sound_view.h"
#include "frontend/screens/frontend.h"

CSoundView* FE_MakeMusicView(CAudioMemoryManager** memoryManager) {
    auto* amm = new CPS2AudioMemoryManager;
    *memoryManager = amm;
    return new CPS2SoundView(*amm);
}

const char* FE_StreamName(int entry) {
    return entry >= 0 && entry < kFrontEndStreams ? fe_playlist[entry] : nullptr;
}

void FE_PlayStream(int entry) {
    if (entry < 0 || entry >= kFrontEndStreams) return;
    if (PS2MusicPlay) {
        PS2MusicPlay->setPlaylist(1, &fe_playlist[entry]);
        PS2MusicPlay->playlistSetSong(0);
        PS2MusicPlay->pauseMusic(false);
    }
    currentmusic = static_cast<int8_t>(entry);
}
