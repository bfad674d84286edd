// The music streams on the disc: the front end's three (the menu tune, the title screen's and the
// credits') and the race's nine, as the playlists hand them to the sound view.
#pragma once

inline constexpr int kFrontEndStreams = 3;
inline constexpr int kRaceStreams = 9;

// "cdrom0:\AUDIO\MENUTUNE.STM", then the title screen's and the credits' streams.
extern char* fe_playlist[kFrontEndStreams];
extern char* race_playlist[kRaceStreams];
