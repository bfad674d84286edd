// VU1 microprogram selection. Each program is a small DMA chain in the program's data: a count tag whose
// VIF words are NOP and STCYCL 4/4 and whose data set the VIF mask, mode and row registers, then the
// upload (MPG) whose payload names the program, then an end tag. A program is queued for upload as a DMA
// task only when the selection changes.
#pragma once

#include <cstdint>

struct alignas(16) _ve_microcode {
    uint32_t words[20];  // five quadwords
};

extern const _ve_microcode primitiveMicroCode;
extern const _ve_microcode vuPreLit16;

// The chain of the resident program (null after a reset: the next selection uploads again).
extern const _ve_microcode* veEngineCurrentMicroCode;

// Queues `code` unless it is already the selected program.
void veEngineHardwareSetMicroCode(const _ve_microcode* code);
void veEngineSetPrimitiveMicroCode();
void veEngineHardwareSetDefaultMicroCode();
void veEngineResetMicroCode();
