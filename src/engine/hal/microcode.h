// VU1 microprogram selection. Each program is a small DMA chain in the program's data: a count tag whose
// VIF words are NOP and STCYCL 4/4 and whose data set the VIF mask, mode and row registers, then the
// upload (MPG) whose payload names the program, then an end tag. A program is queued for upload as a DMA
// task only when the selection's flag word changes.
#pragma once

#include <cstdint>

struct alignas(16) _ve_microcode {
    uint32_t words[20];  // five quadwords
};

// Unskinned geometry.
extern const _ve_microcode vuPreLit16;
extern const _ve_microcode vuPreLitSCull16;
extern const _ve_microcode vuPreLitTCull16;
extern const _ve_microcode vuPreLitTClip16;
extern const _ve_microcode vuRGBAOverWrite16ObjectCull;
extern const _ve_microcode vuRGBAScale16ObjectCull;
extern const _ve_microcode vuLit16;
extern const _ve_microcode vuLitTCull16;
extern const _ve_microcode vu1TransNoLightNoClipNoCull;
extern const _ve_microcode vuPreLitTClip32;
extern const _ve_microcode vu1TransLightNoClipNoCull32;
// Instanced and skinned geometry (programs 0x0201-0x0205 of the registry).
extern const _ve_microcode vuIPreLit16;
extern const _ve_microcode vuIPreLitTCull16;
extern const _ve_microcode vu1VertexCacheMicroCode;
extern const _ve_microcode vertexCacheLit16;
extern const _ve_microcode vu1VertexCacheInst;
// Immediate-mode primitives.
extern const _ve_microcode primitiveMicroCode;

// The chain of the resident program (null after a reset) and the flag word it was selected with.
extern const _ve_microcode* veEngineCurrentMicroCode;
extern uint32_t veEngineMicroCodeFlags;
extern int veEngineMicroCodeFlagsValid;

// Selection flags.
inline constexpr uint32_t kMicroPreLit16 = 0x800;
inline constexpr uint32_t kMicroPreLit32 = 0x1000;
inline constexpr uint32_t kMicroLit16 = 0x2000;
inline constexpr uint32_t kMicroLit32 = 0x4000;
inline constexpr uint32_t kMicroSkinned = 0x8000;
inline constexpr uint32_t kMicroPrimitive = 0x10000;

// The program the selection table picks for a flag word and cull argument (null: none matches).
const _ve_microcode* veEngineChooseMicroCode(uint32_t flags, int cull);
// Selects by flag word: nothing happens when the flags equal the last selection's; otherwise the flags
// are remembered and the chosen program, if any, is queued.
void veEngineHardwareSetMicroCode(uint32_t flags, int cull);
// flags = base with the display mode's RGBA bits (0x400000 scale, 0x800000 overwrite: those modes draw
// through the RGBA programs whether or not the block crosses the frustum), and with the mode's bits
// 0xF0000 (screen cull, triangle cull, clip) when cull is non-zero.
void veEngineSetMicroCode(uint32_t base, int cull);
void veEngineSetPrimitiveMicroCode();
void veEngineHardwareSetDefaultMicroCode();
void veEngineResetMicroCode();
