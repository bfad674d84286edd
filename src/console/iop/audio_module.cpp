#include "console/iop/audio_module.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "console/cd/cd.h"
#include "console/cd/disc_faults.h"
#include "console/iop/iop.h"
#include "console/iop/music_stream_format.h"
#include "console/mem/addr.h"
#include "console/spu/adpcm.h"
#include "console/spu/spu.h"

namespace console {
namespace {

constexpr uint32_t kWindowSectors = 32;
constexpr uint32_t kOutputRate = kSpuOutputRate;

// One open stream: where it is on the disc, the sectors in the window, and the decoder's position.
struct Stream {
    bool open = false;
    uint32_t lsn = 0;
    uint32_t fileSize = 0;
    stm::Header h{};
    uint32_t nextFrame = 0;  // next block frame to decode
    int16_t pcm[stm::kMaxChannels][kAdpcmBlockSamples] = {};
    int pcmPos = kAdpcmBlockSamples;
    stm::ChannelDecoder dec[stm::kMaxChannels];
    uint64_t winStart = 0;
    uint64_t winBytes = 0;
    uint32_t step = 0;          // source samples per output frame, 16.16
    bool badBlockSaid = false;  // a damaged block header was reported (once a stream)
};

struct Music {
    bool setUp = false;
    bool paused = true;
    float musicVol = 1.0f;
    float sfxVol = 1.0f;
    uint32_t notifyAddr = 0;
    uint32_t table = 0;  // I/O-processor address of the names
    uint32_t count = 0;
    int song = -1;
    uint32_t stopEffectsCalls = 0;
    uint64_t songsStarted = 0;
    uint64_t framesPlayed = 0;
    char name[65] = {};
    Stream s;
    // The two source samples the output is between, and how far (16.16).
    int32_t s0[stm::kMaxChannels] = {};
    int32_t s1[stm::kMaxChannels] = {};
    uint32_t frac = 0;
};

Music g_music;
alignas(16) uint8_t g_window[kWindowSectors * kCdSectorSize];

// ---- server 1 ----------------------------------------------------------------------------------------

bool IopRange(uint32_t addr, uint32_t size) {
    return addr <= kIopMemSize && size <= kIopMemSize - addr;
}
bool SpuRange(uint32_t addr, uint32_t size) {
    return addr <= kSpuMemSize && size <= kSpuMemSize - addr;
}

void Fetch(const AmmFetchRecord& r) {
    const uint8_t* src = nullptr;
    if (r.isIop == 1 && IopRange(r.src, r.len)) src = IopMemory() + r.src;
    if (r.isIop == 0 && SpuRange(r.src, r.len)) src = SpuMemory() + r.src;
    if (!src || r.dst == 0 || uint64_t{r.dst} + r.len > kAddrLimit) return;
    std::memcpy(Ptr<uint8_t>(r.dst), src, r.len);
}

// ---- streaming ---------------------------------------------------------------------------------------

void CloseStream() {
    g_music.s.open = false;
    g_music.name[0] = 0;
}

// The name of playlist entry `i`: at most 64 bytes, terminated or not.
void EntryName(uint32_t i, char* out) {
    std::memcpy(out, IopMemory() + g_music.table + i * sizeof(_vetmFileStreamRequest), 64);
    out[64] = 0;
}

bool ReadWindow(uint64_t offset) {
    Stream& s = g_music.s;
    const uint32_t sector = static_cast<uint32_t>(offset / kCdSectorSize);
    sceCdRMode mode{};
    if (!sceCdRead(s.lsn + sector, kWindowSectors, g_window, &mode) || sceCdSync(0) != 0) return false;
    s.winStart = uint64_t{sector} * kCdSectorSize;
    s.winBytes = sizeof g_window;
    return true;
}

bool OpenEntry(uint32_t i) {
    CloseStream();
    char name[65];
    EntryName(i, name);
    const char* discName = strncasecmp(name, "cdrom0:", 7) == 0 ? name + 7 : name;
    Stream& s = g_music.s;
    sceCdlFILE f;
    FormatCheck c = FormatCheck::Fail("not on the disc");
    const bool found = sceCdSearchFile(&f, discName) != 0;
    bool read = false;
    if (found) {
        s.lsn = f.lsn;
        s.fileSize = f.size;
        read = ReadWindow(0);
        c = !read ? FormatCheck::Fail("read error")
                  : stm::CheckHeader(g_window, sizeof g_window, f.size, &s.h);
    }
    if (!c.ok) {
        std::printf("AMM: cannot play %s: %s\n", name, c.why);
        // A stream that is not there or cannot be read is the disc's fault, one whose header is refused
        // is damaged: the music goes on without it, and the user hears of it.
        if (!found || !read)
            CdReportUnavailable(discName);
        else
            CdReportDamaged(discName, c.why);
        return false;
    }
    s.open = true;
    s.badBlockSaid = false;
    s.nextFrame = 0;
    s.pcmPos = kAdpcmBlockSamples;
    for (auto& d : s.dec) d.reset();
    s.step = static_cast<uint32_t>((uint64_t{s.h.sampleRate} << 16) / kOutputRate);
    g_music.song = static_cast<int>(i);
    ++g_music.songsStarted;
    std::memcpy(g_music.name, name, sizeof name);
    std::printf("AMM: playing %s\n", name);
    return true;
}

// Starts entry `first`, or the first readable entry after it; false when none is.
bool StartFrom(uint32_t first) {
    for (uint32_t k = 0; k < g_music.count; ++k)
        if (OpenEntry((first + k) % g_music.count)) return true;
    g_music.song = -1;
    return false;
}

// The next source sample of every channel into s1; moves on to the next entry at a stream's end.
bool Advance() {
    Stream& s = g_music.s;
    if (s.pcmPos == kAdpcmBlockSamples) {
        if (s.nextFrame == s.h.blockFrames &&
            !StartFrom((static_cast<uint32_t>(g_music.song) + 1) % g_music.count))
            return false;
        const uint64_t off = stm::kHeaderBytes + uint64_t{s.nextFrame} * s.h.frameBytes();
        if ((off < s.winStart || off + s.h.frameBytes() > s.winStart + s.winBytes) && !ReadWindow(off)) {
            std::printf("AMM: read error in %s\n", g_music.name);
            CloseStream();
            return false;
        }
        for (int c = 0; c < s.h.channels; ++c) {
            const uint8_t* block = g_window + (off - s.winStart) + 16u * c;
            if (AdpcmHeaderValid(block[0])) {
                s.dec[c].decode(block, s.pcm[c]);
                continue;
            }
            // Only the header is checked when a stream starts: a damaged block met while playing is
            // silence (the decoder starts afresh after it), said once a stream.
            if (!s.badBlockSaid)
                std::printf("AMM: %s: block frame %u has a bad shift or filter; played as silence\n",
                            g_music.name, s.nextFrame);
            s.badBlockSaid = true;
            std::fill(std::begin(s.pcm[c]), std::end(s.pcm[c]), int16_t{0});
            s.dec[c].reset();
        }
        ++s.nextFrame;
        s.pcmPos = 0;
    }
    for (int c = 0; c < stm::kMaxChannels; ++c) {
        g_music.s0[c] = g_music.s1[c];
        g_music.s1[c] = s.pcm[c < s.h.channels ? c : 0][s.pcmPos];
    }
    ++s.pcmPos;
    return true;
}

int32_t Gain(float v) {
    return static_cast<int32_t>(std::lround(std::clamp(v, 0.0f, 1.0f) * 32768.0f));
}

void OutputStage(int32_t* left, int32_t* right, int frames, void*) {
    Music& m = g_music;
    if (m.sfxVol < 1.0f) {
        const int32_t g = Gain(m.sfxVol);
        for (int i = 0; i < frames; ++i) {
            left[i] = static_cast<int32_t>((int64_t{left[i]} * g) >> 15);
            right[i] = static_cast<int32_t>((int64_t{right[i]} * g) >> 15);
        }
    }
    if (m.paused || !m.s.open) return;
    const int32_t g = Gain(m.musicVol);
    for (int i = 0; i < frames; ++i) {
        int32_t v[2];
        for (int c = 0; c < 2; ++c)
            v[c] = m.s0[c] + static_cast<int32_t>((int64_t{m.s1[c] - m.s0[c]} * m.frac) >> 16);
        left[i] += static_cast<int32_t>((int64_t{v[0]} * g) >> 15);
        right[i] += static_cast<int32_t>((int64_t{v[1]} * g) >> 15);
        ++m.framesPlayed;
        for (m.frac += m.s.step; m.frac >= 0x10000; m.frac -= 0x10000)
            if (!Advance()) return;
    }
}

void PlaySong(uint32_t entry) {
    if (g_music.count == 0) return;
    // From silence: the first output frame leads in from 0 to the stream's first sample.
    std::fill(std::begin(g_music.s1), std::end(g_music.s1), 0);
    g_music.frac = 0;
    if (StartFrom(entry % g_music.count)) Advance();
}

void DropTable() {
    if (g_music.table) sceSifFreeIopHeap(reinterpret_cast<void*>(static_cast<uintptr_t>(g_music.table)));
    g_music.table = 0;
    g_music.count = 0;
    g_music.song = -1;
    CloseStream();
}

void SetPlaylist(const _vetmPlaylist& p) {
    DropTable();
    if (p.nEntries == 0 || p.nEntries > kAmmMaxSongs ||
        !IopRange(p.entries, p.nEntries * uint32_t{sizeof(_vetmFileStreamRequest)}) || p.entries == 0) {
        std::printf("AMM: playlist of %u entries at 0x%X refused\n", p.nEntries, p.entries);
        return;
    }
    g_music.table = p.entries;
    g_music.count = p.nEntries;
}

void ShutDown() {
    DropTable();
    SpuSetOutputStage(nullptr, nullptr);
    const uint32_t stops = g_music.stopEffectsCalls;
    const uint64_t started = g_music.songsStarted, played = g_music.framesPlayed;
    g_music = Music{};
    g_music.stopEffectsCalls = stops;
    g_music.songsStarted = started;
    g_music.framesPlayed = played;
}

template <typename T>
bool Read(const void* data, int size, T* out) {
    if (size < static_cast<int>(sizeof(T))) return false;
    std::memcpy(out, data, sizeof(T));
    return true;
}

}  // namespace

const void* AmmMemoryServe(unsigned int fno, void* data, int size) {
    if (fno == kAmmToSoundMemory) {
        AmmTransferRecord r;
        if (Read(data, size, &r) && IopRange(r.iopAddr, r.size))
            SpuWriteMemory(r.spuAddr, IopMemory() + r.iopAddr, r.size);
    } else if (fno == kAmmFetch) {
        const int n = std::min(size / static_cast<int>(sizeof(AmmFetchRecord)), kAmmMaxFetchRecords);
        for (int i = 0; i < n; ++i) {
            AmmFetchRecord r;
            std::memcpy(&r, static_cast<const uint8_t*>(data) + i * sizeof r, sizeof r);
            Fetch(r);
        }
    }
    return nullptr;
}

const void* AmmMusicServe(unsigned int fno, void* data, int size) {
    Music& m = g_music;
    switch (fno) {
        case kAmmSetUp: {
            _vetmInitData d{};
            Read(data, size, &d);
            DropTable();
            m.setUp = true;
            m.paused = true;
            m.notifyAddr = d.eeNotifyAddr;
            SpuSetOutputStage(OutputStage, nullptr);
            break;
        }
        case kAmmPause:
            m.paused = true;
            break;
        case kAmmResume:
            m.paused = false;
            break;
        case kAmmVolume: {
            _vetmVolumeRequest v;
            if (Read(data, size, &v)) {
                m.musicVol = std::isfinite(v.musicVol) ? std::clamp(v.musicVol, 0.0f, 1.0f) : 0.0f;
                m.sfxVol = std::isfinite(v.sfxVol) ? std::clamp(v.sfxVol, 0.0f, 1.0f) : 0.0f;
            }
            break;
        }
        case kAmmStopEffects:
            ++m.stopEffectsCalls;
            break;
        case kAmmPlaylist: {
            _vetmPlaylist p;
            if (m.setUp && Read(data, size, &p)) SetPlaylist(p);
            break;
        }
        case kAmmSongControl: {
            _vetmPlaylistCtl c;
            if (!m.setUp || !Read(data, size, &c) || m.count == 0) break;
            if (c.cmd == 1) PlaySong(c.val);
            if (c.cmd == 0) PlaySong((static_cast<uint32_t>(m.song < 0 ? 0 : m.song) + c.val) % m.count);
            break;
        }
        case kAmmShutDown:
            ShutDown();
            break;
        default:
            break;
    }
    return nullptr;
}

AmmMusicStatus AmmMusic() {
    AmmMusicStatus st{};
    st.setUp = g_music.setUp;
    st.paused = g_music.paused;
    st.playing = g_music.s.open;
    st.songCount = static_cast<int>(g_music.count);
    st.song = g_music.song;
    st.musicVol = g_music.musicVol;
    st.sfxVol = g_music.sfxVol;
    st.tableAddr = g_music.table;
    st.stopEffectsCalls = g_music.stopEffectsCalls;
    st.songsStarted = g_music.songsStarted;
    st.framesPlayed = g_music.framesPlayed;
    std::memcpy(st.name, g_music.name, sizeof st.name);
    return st;
}

void AudioModuleReset() {
    // A reboot clears I/O-processor memory's heap under the module: forget the table without freeing it.
    g_music.table = 0;
    ShutDown();
    g_music = Music{};
}

}  // namespace console
