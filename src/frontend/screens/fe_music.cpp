// The front end's music: the menu-music view and the three front-end streams. The console sound view
// that plays streams is not in the game yet; until it is, the front end has no music view, the screens
// still record which stream they asked for (currentmusic) and nothing is heard.
#include "audio/sound_view.h"
#include "frontend/screens/frontend.h"

namespace {
// The menu tune, the title screen's stream and the credits' stream.
char kMenuTune[] = "cdrom0:\\AUDIO\\MENUTUNE.STM";
char kTitleTune[] = "cdrom0:\\AUDIO\\TITLE.STM";
char kCreditsTune[] = "cdrom0:\\AUDIO\\CREDITS.STM";
char* const kStreams[3] = {kMenuTune, kTitleTune, kCreditsTune};
}  // namespace

// Music seam: build the console sound view and its audio memory manager here once they exist.
CSoundView* FE_MakeMusicView(CAudioMemoryManager** memoryManager) {
    *memoryManager = nullptr;
    return nullptr;
}

const char* FE_StreamName(int entry) {
    return entry >= 0 && entry < 3 ? kStreams[entry] : nullptr;
}

void FE_PlayStream(int entry) {
    if (entry < 0 || entry > 2) return;
    if (PS2MusicPlay) {
        char* list[1] = {kStreams[entry]};
        PS2MusicPlay->setPlaylist(1, list);
        PS2MusicPlay->playlistSetSong(0);
        PS2MusicPlay->pauseMusic(false);
    }
    currentmusic = static_cast<int8_t>(entry);
}
