// The remote sound library: the main processor's calls into the sound driver on the I/O processor,
// which programs the sound processor (spu.h). Every call finishes the work before it returns.
//
// sceSdRemote(wait, command, args...) - arguments are 32-bit values (I/O-processor and sound-memory
// addresses are numbers, not pointers):
//   0x8000 (0)                                 initialise: silence every voice, keep sound memory
//   0x8010 (entry, value)                      set a parameter register now
//   0x8030 (entry, value)                      set a switch register now (key on, key off)
//   0x8040 (entry)                             read a switch register (end flags 0x1700 | core)
//   0x80B0 (iopAddr, 0, count)                 process `count` batch entries read from I/O-processor
//                                              memory, 8 bytes each: u16 command, u16 entry, u32 value;
//                                              command 1 parameter, 2 switch, 3 address, 4 attribute
//   0x80D0 (channel, mode, iopAddr, spuAddr, size)  copy I/O-processor memory into sound memory
//   0x80F0 (channel, wait)                     wait for that copy (already done): returns 1
// Results: 0 (or the value read) on success, -1 on failure: library not bound, unknown command, a
// register entry that names nothing, or a memory range outside either memory (nothing is copied).
#pragma once

#include <cstdint>

inline constexpr int kSdCmdInit = 0x8000;
inline constexpr int kSdCmdSetParam = 0x8010;
inline constexpr int kSdCmdSetSwitch = 0x8030;
inline constexpr int kSdCmdGetSwitch = 0x8040;
inline constexpr int kSdCmdProcBatch = 0x80B0;
inline constexpr int kSdCmdVoiceTrans = 0x80D0;
inline constexpr int kSdCmdVoiceTransStatus = 0x80F0;

inline constexpr uint16_t kSdBatchParam = 1;
inline constexpr uint16_t kSdBatchSwitch = 2;
inline constexpr uint16_t kSdBatchAddress = 3;
inline constexpr uint16_t kSdBatchAttribute = 4;
inline constexpr uint32_t kSdBatchEntryBytes = 8;

// Binds the library: fails (-1) unless the sound driver modules ("LIBSD.IRX", "SDRDRV.IRX") are loaded
// on the I/O processor.
int sceSdRemoteInit();
int sceSdRemote(int wait, int command, uint32_t a1 = 0, uint32_t a2 = 0, uint32_t a3 = 0, uint32_t a4 = 0,
                uint32_t a5 = 0);
// Copies main memory into I/O-processor memory. Negative when the range leaves I/O-processor memory.
int sceSdTransToIOP(const void* src, uint32_t iopAddr, uint32_t size, int wait);

namespace console {
// Back to power-on: unbound, and the sound processor reset.
void SdRemoteReset();
bool SdRemoteBound();
// Voice transfers (0x80D0) that copied data since the last reset: how often sample data was sent.
uint64_t SdRemoteVoiceTransferCount();
}  // namespace console
