// Microprograms. The engine uploads each vector-unit program as a VIF MPG transfer; on this stand-in the
// upload's payload carries no machine code, only the program's id in its first 32-bit word. The VIF
// records which program the unit holds, and MSCAL/MSCNT run the C++ object registered under that id on
// the unit's data memory. Programs send their output to the graphics synthesizer as GIF packets on
// PATH1, in order.
//
// Program ids (the first word of an MPG payload):
//   0x0001-0x00FF  unskinned geometry families (pre-lit, lit, cull, clip, RGBA scale/overwrite)
//   0x0100         immediate-mode primitives
//   0x0200-0x02FF  skinned and instanced geometry
//   0x0300-0x03FF  terrain
//   0x0400-0x04FF  VU0 programs (skin deformation)
//
// VU1 data memory as the engine's packets use it: 0-11 the primitive program's three matrices, 0-19 the
// unskinned view record, 0-59 the skinned one; TOPS (60 unless a BASE code moves it) is where each
// program's input packet starts; instanced geometry is unpacked to fixed addresses from 0x20A.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/vu/vu_memory.h"

namespace console::vu {

inline constexpr uint32_t kProgPrimitive = 0x0100;

// What a program sees of its unit when it runs.
struct VuState {
    int unit;        // 0 or 1
    VuMemory* mem;   // the unit's data memory
    uint32_t tops;   // the VIF's TOPS at the time of the call (double-buffer base of the input)
    uint32_t itop;   // the VIF's ITOP
    int32_t vi[16];  // integer registers a host may preset (VU0 programs read counts from them)
};

class Microprogram {
public:
    virtual ~Microprogram() = default;
    virtual const char* Name() const = 0;
    // MSCAL: start at `entry` (the micro address given with the call).
    virtual void Call(VuState& vu, uint32_t entry) = 0;
    // MSCNT: carry on where the last call stopped; by default the same as starting at entry 0.
    virtual void Continue(VuState& vu) { Call(vu, 0); }
};

// The program registered under an id, or null. The built-in programs are registered on first use.
Microprogram* FindMicroprogram(uint32_t id);
// Adds or replaces a program (tests, later program families). Returns false for id 0 or a null program.
bool RegisterMicroprogram(uint32_t id, Microprogram* program);

// Sends a GIF packet built by a program (PATH1); the transfer ends when the program returns.
void KickPath1(const void* qwords, size_t qwc);

}  // namespace console::vu
