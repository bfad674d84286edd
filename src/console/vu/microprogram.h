// Microprograms. A VIF MPG transfer on this stand-in carries no machine code, only a program id in the
// first 32-bit word of its payload. The VIF records which program the unit holds, and MSCAL/MSCNT run the
// C++ object registered under that id on the unit's data memory. Programs send their output to the
// graphics synthesizer as GIF packets on PATH1, in order. The console registers no programs itself: the
// code that uploads programs registers the objects behind its ids.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/gs/gs_device.h"
#include "console/vu/vu_memory.h"

namespace console::vu {

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

inline constexpr size_t kMaxMicroprograms = 64;

// The program registered under an id, or null.
Microprogram* FindMicroprogram(uint32_t id);
// Adds or replaces a program. Returns false for id 0, a null program or a full registry.
bool RegisterMicroprogram(uint32_t id, Microprogram* program);

// Sends a GIF packet built by a program (PATH1); the transfer ends when the program returns. The packet
// is taken (or copied) at once: the program may reuse its buffer.
void KickPath1(const void* qwords, size_t qwc);
// Room for a PATH1 packet of up to `qwc` quadwords built in place, where the packet would otherwise be
// copied to be queued; null where KickPath1 takes the packet at once (build it elsewhere and kick it).
// CommitPath1 sends the first `qwc` quadwords written there (0 sends nothing) and ends the reservation;
// one reservation is open at a time.
void* ReservePath1(size_t qwc);
void CommitPath1(size_t qwc);
// Where primitives a program sends with PRIM `prim` can draw: the window of the GS's registers as they
// will stand when the program's output reaches them (programs may run ahead of the GS).
gs::GsDevice::DrawWindow DrawWindowFor(uint64_t prim);

}  // namespace console::vu
