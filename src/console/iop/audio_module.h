// The I/O processor's audio memory module ("BRNX_AMM.IRX"), resident in the stand-in and reached through
// two remote-call servers (sif_rpc.h). The records below are the bytes the main processor sends.
//
// Server 1, audio memory:
//   fn 1 (waits)   AmmTransferRecord: copy `size` bytes of I/O-processor memory into sound memory
//   fn 3 (waits)   no data: nothing to do (every copy is finished before the call returns)
//   fn 4 (no wait) up to 40 AmmFetchRecords: copy `len` bytes from I/O-processor memory (isIop 1) or sound
//                  memory (0) at `src` into main memory at `dst`; records beyond 40 or out of range are
//                  skipped
// Server 2, music:
//   fn 0 set-up (_vetmInitData)   fn 2 pause   fn 3 resume   fn 4 volumes (_vetmVolumeRequest)
//   fn 5 stop effects (nothing to stop here: the game mutes effects through the master volume)
//   fn 7 playlist (_vetmPlaylist)   fn 8 play song / skip songs (_vetmPlaylistCtl)   fn 9 shut down
//
// Music: after set-up the module is paused until fn 3. fn 7 hands the module a table of 64-byte stream
// names in I/O-processor memory (names are read up to 64 bytes, terminated or not); the module owns the
// table and frees it at the next fn 7 or at shut-down. fn 8 {1, n} starts entry n, {0, n} moves n entries
// on. At the end of a stream the next entry plays, wrapping after the last, so a one-entry playlist loops.
// A stream that cannot be read is skipped with a log line; when none can, the music stops.
//
// Streams (music_stream_format.h) are read from the disc 32 sectors at a time into the module's own
// buffer, decoded, brought to 48 kHz by linear interpolation, scaled by the music volume and added at the
// sound processor's output stage; the effects volume scales the voices' sum there. The module does not
// report through the set-up record's notify address (the game never reads it).
#pragma once

#include <cstdint>

struct _vetmInitData {
    uint32_t inSize;
    uint32_t inSizePadded;
    uint32_t outSize;
    uint32_t eeNotifyAddr;
};
struct _vetmVolumeRequest {
    float musicVol;
    float sfxVol;
    uint32_t pad1;
    uint32_t pad2;
};
struct _vetmPlaylist {
    uint32_t nEntries;
    uint32_t entries;  // I/O-processor address of nEntries _vetmFileStreamRequests
    uint32_t nextEntry;
    uint32_t pad[3];
};
struct _vetmFileStreamRequest {
    char fname[64];
};
struct _vetmPlaylistCtl {
    uint32_t cmd;  // 1 play song `val`, 0 skip `val` songs
    uint32_t val;
    uint32_t pad[4];
};
struct AmmTransferRecord {
    uint32_t spuAddr;
    uint32_t iopAddr;
    uint32_t size;
    uint32_t zero;
};
struct AmmFetchRecord {
    uint32_t src;    // aligned to 4
    uint32_t dst;    // main memory, aligned to 16
    uint32_t len;    // a multiple of 16
    uint32_t isIop;  // 1: src is I/O-processor memory, 0: sound memory
};
static_assert(sizeof(_vetmPlaylist) == 24 && sizeof(_vetmPlaylistCtl) == 24 && sizeof(AmmFetchRecord) == 16);

namespace console {

inline constexpr uint32_t kAmmMemoryServer = 0x0B7A0001;
inline constexpr uint32_t kAmmMusicServer = 0x0B7A0002;

enum AmmMemoryFunction : unsigned { kAmmToSoundMemory = 1, kAmmSync = 3, kAmmFetch = 4 };
enum AmmMusicFunction : unsigned {
    kAmmSetUp = 0,
    kAmmPause = 2,
    kAmmResume = 3,
    kAmmVolume = 4,
    kAmmStopEffects = 5,
    kAmmPlaylist = 7,
    kAmmSongControl = 8,
    kAmmShutDown = 9
};
inline constexpr int kAmmMaxFetchRecords = 40;
inline constexpr uint32_t kAmmMaxSongs = 64;

// What the module is doing, for tests and diagnostics.
struct AmmMusicStatus {
    bool setUp;
    bool paused;
    bool playing;  // a stream is open
    int songCount;
    int song;  // playlist entry playing, -1 none
    float musicVol;
    float sfxVol;
    uint32_t tableAddr;  // the playlist table the module holds (0 none)
    uint32_t stopEffectsCalls;
    uint64_t songsStarted;
    uint64_t framesPlayed;  // 48 kHz frames of music added to the output
    char name[65];          // the stream playing
};
AmmMusicStatus AmmMusic();

// Power-on (and I/O-processor reboot): shut down, no playlist.
void AudioModuleReset();

// The servers' functions (sif_rpc.h).
const void* AmmMemoryServe(unsigned int fno, void* data, int size);
const void* AmmMusicServe(unsigned int fno, void* data, int size);

}  // namespace console
