// The engine's sound module: a table of loaded samples, 48 voice instances that play them, and a
// first-fit allocator over the sound processor's memory. Everything that touches the hardware goes
// through the hardware layer (sound_hw.h); this module holds the bookkeeping. Main thread only.
#pragma once

#include <cstdint>

#include "console/mem/format_check.h"

struct _Pan5Dot1 {
    float panLR;         // -1 full left .. +1 full right
    float panFB;         // -1 front .. +1 back
    float panVolume;     // main volume 0..1
    float centerVolume;  // 0..1
    float lfeVolume;     // 0..1
};

// A sample's sound parameters.
struct _SampleHeaderRam {
    int32_t length;  // bytes of ADPCM data
    int32_t looped;  // non-zero: the sample loops
    int32_t sampleRate;
    uint32_t envelope;  // 0 or 1
    _Pan5Dot1 pan;
};

// The 64-byte header before each sample's data in the audio files (little-endian); the ADPCM data
// (console/spu/adpcm.h) follows at offset 64.
struct _SampleHeaderDisc {
    int32_t length;
    int32_t looped;
    int32_t sampleRate;
    uint32_t envelope;
    _Pan5Dot1 pan;
    uint8_t pad[28];
};
static_assert(sizeof(_SampleHeaderRam) == 36);
static_assert(sizeof(_SampleHeaderDisc) == 64);

inline constexpr uint32_t kSampleHeaderDiscBytes = 64;

// _Sample status bits.
inline constexpr int32_t kSampleInUse = 0x01;
inline constexpr int32_t kSampleSoundRamGiven = 0x02;  // sound-memory address given by the creator
inline constexpr int32_t kSamplePermanent = 0x04;      // storage 0: resident while the sample exists
inline constexpr int32_t kSampleSent = 0x20;
inline constexpr int32_t kSampleLoops = 0x40;
inline constexpr int32_t kSampleIopRamGiven = 0x80;

struct _Sample {
    int32_t status;
    uint32_t useCount;  // instances that refer to the sample
    uint32_t mainRam;   // storage 1: the data in main memory
    uint32_t soundRam;  // resident copy in sound memory, 0 when not resident
    uint32_t iopRam;    // storage 3: the copy in I/O-processor memory
    _SampleHeaderRam header;
};

// Storage kinds of veSoundCreateSampleFromPointer.
inline constexpr int kSampleStorageSoundRam = 0;
inline constexpr int kSampleStorageMainRam = 1;
inline constexpr int kSampleStorageIopRam = 3;

// _SampleInstance status bits.
inline constexpr int32_t kInstanceInUse = 0x01;
inline constexpr int32_t kInstancePlaying = 0x02;
inline constexpr int32_t kInstanceStopPending = 0x04;
inline constexpr int32_t kInstancePauseRequested = 0x08;
inline constexpr int32_t kInstancePaused = 0x10;
// Started: keyed on, not yet seen sounding. A sample that ends before the maintenance after its key-on
// never shows a cleared end flag; this bit lets that maintenance see it ended and reclaim the voice.
inline constexpr int32_t kInstanceStarted = 0x20;

struct _SampleInstance {
    int32_t status;
    int32_t channel;  // voice number = slot number
    int32_t sampleRateTicks;
    int32_t panTicks;
    int32_t panValid;
    uint32_t envelope;  // -1: the sample's own
    int32_t currentSampleRate;
    int32_t desiredSampleRate;
    int32_t deltaSampleRate;
    int32_t savedSampleRate;
    _Pan5Dot1 currentPan;
    _Pan5Dot1 desiredPan;
    _Pan5Dot1 deltaPan;
    _Sample* sample;
};

struct _SoundMCB {
    uint32_t address;
    uint32_t status;  // 0 free, 1 allocated
    uint32_t size;
    _SoundMCB* next;
    _SoundMCB* prev;
};

inline constexpr int kSoundVoices = 48;

// Settings (before veSoundInit) and tables.
namespace engine {
extern int32_t maxSamples;
extern int32_t numMCBS;
extern float masterVolume;
extern int32_t speakerConfig;
extern _Sample* samples;
extern _SampleInstance instances[kSoundVoices];
extern _SoundMCB* mcbs;
extern _SoundMCB* freeMCB;
extern _SoundMCB* usedMCB;
extern int soundSystemInitialized;
}  // namespace engine

int veSoundInit();
void veSoundSetMaxSamples(int count);
void veSoundSetSpeakerConfig(int config);
int veSoundGetMaxSamples();
int veSoundGetSpeakerConfig();
void veSoundSetMasterVolume(float volume);

void veSoundAllocAllSamples();
void veSoundInitAllSampleInstances();
void veSoundInitMemory();
_SoundMCB* veSoundAllocMCB();
uint32_t veSoundAllocMem(uint32_t size);
int veSoundFreeMem(uint32_t address);

// Checks a sample image (64-byte header, then ADPCM data) of `size` bytes before it is used: the
// length must be whole blocks inside the image and inside sound memory, the rate 1..192000 Hz, the
// envelope 0 or 1, the pan finite, every block header valid, and the last block must end the sound
// (loop end, with repeat exactly when the header says the sample loops). Refused with a log line (the
// reason after "veSound: ") when it is not usable; the header is copied to `out` when it is.
FormatCheck CheckSampleImage(const void* image, uint32_t size, _SampleHeaderRam* out);
// The same answer as 0 (usable) or -1 (refused).
int veSoundCheckSampleImage(const void* image, uint32_t size, _SampleHeaderRam* out);

_Sample* veSoundCreateSampleFromPointer(const void* header, const void* data, int storage, uint32_t address);
void veSoundDestroySample(_Sample* sample, int clear);
int32_t veSoundGetSampleRate(const _Sample* sample);
uint32_t veSoundGetSampleEnvelope(const _Sample* sample);
int32_t veSoundGetSampleLength(const _Sample* sample);
void veSoundGetSamplePan(const _Sample* sample, _Pan5Dot1* out);

_SampleInstance* veSoundCreateSampleInstance(_Sample* sample, int32_t rate, uint32_t envelope,
                                             const _Pan5Dot1* pan);
void veSoundStartSampleInstance(_SampleInstance* instance);
void veSoundStopSampleInstance(_SampleInstance* instance);
void veSoundDestroySampleInstance(_SampleInstance* instance);
void veSoundSetSampleInstanceRate(_SampleInstance* instance, int32_t rate, int32_t ticks);
void veSoundSetSampleInstancePan(_SampleInstance* instance, const _Pan5Dot1* pan, int32_t ticks);
void veSoundMaintenance();

// Back to the state before veSoundInit (settings to their defaults, tables freed, both layers
// uninitialised). For tests; the game never shuts sound down.
void veSoundReset();
