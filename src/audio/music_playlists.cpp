#include "audio/music_playlists.h"

namespace {
char kMenu[] = "cdrom0:\\AUDIO\\MENUTUNE.STM";
char kTitle[] = "cdrom0:\\AUDIO\\TITLE.STM";
char kCredits[] = "cdrom0:\\AUDIO\\CREDITS.STM";
char kRace[kRaceStreams][32] = {
    "cdrom0:\\AUDIO\\HOLESHOT.STM", "cdrom0:\\AUDIO\\BERMS.STM",   "cdrom0:\\AUDIO\\WHOOPS.STM",
    "cdrom0:\\AUDIO\\TABLETOP.STM", "cdrom0:\\AUDIO\\ROOSTER.STM", "cdrom0:\\AUDIO\\TRIPLES.STM",
    "cdrom0:\\AUDIO\\SCRUB.STM",    "cdrom0:\\AUDIO\\REDLINE.STM", "cdrom0:\\AUDIO\\MUDRUN.STM"};
}  // namespace

char* fe_playlist[kFrontEndStreams] = {kMenu, kTitle, kCredits};
char* race_playlist[kRaceStreams] = {kRace[0], kRace[1], kRace[2], kRace[3], kRace[4],
                                     kRace[5], kRace[6], kRace[7], kRace[8]};
