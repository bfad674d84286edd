// The lower half of the engine's sound module: voice operations become register writes of the sound
// processor (two cores of 24 voices), collected in one batch per frame and handed to the remote sound
// library; sample data goes from main memory through I/O-processor memory into sound memory; the
// voices' end flags are read each frame; a 5.1 pan becomes the two volumes of a voice.
//
// Engine voice c is voice c of core 0 for c < 24, else voice c - 24 of core 1; a register entry is the
// register code | voice << 1 | core. Functions return 0 on success and -1 when a batch entry was refused
// or a remote call failed, unless said otherwise.
#pragma once

#include <cstdint>

#include "engine/hal/sound.h"

struct _SoundBatchEntry {
    uint16_t command;  // 1 parameter, 2 switch (values ORed within a frame), 3 address, 4 attribute
    uint16_t entry;
    uint32_t value;
};
static_assert(sizeof(_SoundBatchEntry) == 8);

inline constexpr int kSoundBatchEntries = 512;
inline constexpr uint32_t kSoundBatchOnIopBytes = 0x1000;

struct _SoundBatch {
    _SoundBatchEntry entries[kSoundBatchEntries];
    uint32_t count;
};

inline constexpr int kSoundBatchCommandParam = 1;
inline constexpr int kSoundBatchCommandSwitch = 2;
inline constexpr int kSoundBatchCommandAddress = 3;
inline constexpr int kSoundBatchCommandAttribute = 4;

inline constexpr uint32_t kSoundMemBottom = 0x15010;
inline constexpr uint32_t kSoundMemTop = 0x1FFFFF;

namespace engine {
extern _SoundBatch Batch[1];
extern int nBatches;
extern uint32_t BatchOnIOP;
}  // namespace engine
extern const uint16_t adsr1[2];
extern const uint16_t adsr2[2];
namespace engine {
extern uint32_t soundMemBottom;
extern uint32_t soundMemTop;
extern int soundHardwareInitialized;
}  // namespace engine

// 1 on success; -1 on any failure or when already initialised.
int veSoundHardwareInit();
int veSoundHardwareInitMemory();
int veSoundHardwareInitChannel(_SampleInstance* instance);
int veSoundHardwareSetChannelAddress(int voice, uint32_t address, int length);
int veSoundHardwareStartChannel(int voice, int looped);
int veSoundHardwareStopChannel(int voice);
int veSoundHardwareStopAllChannels();
int veSoundHardwareSetChannelEnvelope(int voice, uint32_t envelope);
int veSoundHardwareSetChannelRate(int voice, int32_t rate);
int veSoundHardwareSetChannelPan(int voice, const _Pan5Dot1* pan);
int veSoundHardwareDownloadSample(_Sample* sample, uint32_t data);
int veSoundHardwareDownloadSampleToIOP(_Sample* sample, uint32_t data);
uint32_t veSoundAllocIopRam(uint32_t size);
int veSoundFreeIopRam(uint32_t address);
int veSoundHardwareMaintenance();
int veSoundHardwareFinishMaintenance();
int veSoundHardwareAddToBatch(int batch, int command, uint16_t entry, uint32_t value);
int veSoundHardwareSendBatch();

// Pitch register value for a rate in Hz: (rate << 12) / 48000, kept within 0..0x3FFF.
uint32_t veSoundHardwareRateToPitch(int32_t rate);
// The two volumes a pan gives (what veSoundHardwareSetChannelPan writes).
void veSoundHardwarePanToVolumes(const _Pan5Dot1* pan, uint32_t* left, uint32_t* right);
// True while a key-on of this voice waits in the batch (not yet sent to the hardware).
bool veSoundHardwareKeyOnQueued(int voice);
// Back to uninitialised with an empty batch (tests).
void veSoundHardwareReset();
