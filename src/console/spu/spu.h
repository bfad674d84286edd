// Stand-in for the sound processor: two cores of 24 voices over 2 MB of sound memory, mixed to 48 kHz
// stereo. The sound library (sd_remote.h) drives it through register writes; the host takes the mixed
// output through a sink.
//
// Register entries are numbered as the sound library numbers them: entry = code | voice << 1 | core.
// Output follows the console clock: SpuCatchUp() mixes every output sample due up to ClockCycles()
// (one per 6,144 cycles, so exactly 800 per vertical blank), and the sound library catches up before it
// changes a register, so a change lands at the sample it was made at. Runs with the same input give
// the same samples.
#pragma once

#include <cstdint>

#include "console/spu/spu_voice.h"

namespace console {

inline constexpr int kSpuCores = 2;
inline constexpr int kSpuVoicesPerCore = 24;
inline constexpr int kSpuOutputRate = 48000;
inline constexpr uint64_t kCpuCyclesPerOutputFrame = 6144;  // 294,912,000 / 48,000
inline constexpr uint32_t kSpuAllVoices = (1u << kSpuVoicesPerCore) - 1;

// Register codes.
inline constexpr uint32_t kSdVolL = 0x0000;
inline constexpr uint32_t kSdVolR = 0x0100;
inline constexpr uint32_t kSdPitch = 0x0200;
inline constexpr uint32_t kSdAdsr1 = 0x0300;
inline constexpr uint32_t kSdAdsr2 = 0x0400;
inline constexpr uint32_t kSdMasterVolL = 0x0980;
inline constexpr uint32_t kSdMasterVolR = 0x0A80;
inline constexpr uint32_t kSdKeyOn = 0x1500;
inline constexpr uint32_t kSdKeyOff = 0x1600;
inline constexpr uint32_t kSdEndFlags = 0x1700;
inline constexpr uint32_t kSdStartAddr = 0x2040;
inline constexpr uint32_t kSdCoreAttr = 0x000A;

// Read-only: writes go through SpuWriteMemory, which keeps the decoded-block cache honest.
const uint8_t* SpuMemory();

// Power-on: memory cleared, voices silent with their end flags set, all registers 0.
void SpuReset();
// The sound library's initialisation: every voice silenced and its registers cleared, master volumes
// 0; sound memory is kept.
void SpuInitVoices();

// Register access; false (or -1) for an entry that names no register of that kind.
bool SpuWriteParam(uint32_t entry, uint32_t value);
bool SpuWriteSwitch(uint32_t entry, uint32_t value);
int64_t SpuReadSwitch(uint32_t entry);
bool SpuWriteAddress(uint32_t entry, uint32_t value);
bool SpuWriteAttribute(uint32_t entry, uint32_t value);

// Copies into sound memory; false when the range does not fit.
bool SpuWriteMemory(uint32_t spuAddr, const uint8_t* src, uint32_t size);

// The output ends in a peak limiter rather than a hard 16-bit clip: when a frame of the sum (after the
// output stage) would pass kSpuLimiterCeiling (-1 dBFS), the gain of both sides drops at once to
// bring it to the ceiling, then returns toward unity with a time constant of kSpuLimiterReleaseMs. A
// moment where many voices peak together is heard a little quieter instead of clipped; below the
// ceiling, and once the gain is back, the output is the exact sum.
inline constexpr int32_t kSpuLimiterCeiling = 29204;  // 32767 at -1 dB
inline constexpr float kSpuLimiterReleaseMs = 80.0f;

// Mixes `frames` stereo frames (interleaved left, right) without looking at the clock. Used by
// SpuCatchUp, tests and benchmarks.
void SpuMix(int16_t* out, int frames);

// Output sink: receives every block SpuCatchUp mixes, in order.
using SpuSink = void (*)(const int16_t* stereo, int frames, void* user);
void SpuSetSink(SpuSink sink, void* user);
// The output stage: called for every mixed block with the voices' sums (master volumes applied), before
// the 16-bit limit. The I/O processor's audio module scales the effects and adds its music here. Kept
// across resets; null removes it.
using SpuOutputStage = void (*)(int32_t* left, int32_t* right, int frames, void* user);
void SpuSetOutputStage(SpuOutputStage stage, void* user);

// Mixes up to the clock's present. Returns the number of frames mixed.
int SpuCatchUp();
// Frames mixed by SpuCatchUp since the last reset.
uint64_t SpuMixedFrames();
// Output frames the limiter has scaled since power-on, and its gain now (1 = not limiting).
uint64_t SpuLimitedFrames();
float SpuLimiterGain();

// Read-only view of a voice, for tests and diagnostics.
const SpuVoice& SpuGetVoice(int core, int voice);
uint16_t SpuMasterVolume(int core, int right);
uint32_t SpuCoreAttribute(int core);

}  // namespace console
