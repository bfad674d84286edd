// VIF0 and VIF1: the interfaces in front of the vector units. They read a stream of 32-bit VIF codes
// (command in bits 24-31, NUM in 16-23, IMM in 0-15) with their data, as the DMA controller delivers it,
// and unpack vertex data into the unit's memory, upload and start microprograms, and (VIF1 only) pass
// DIRECT data to the GIF on PATH2. The stream is parsed incrementally: a code and its data may arrive in
// different DMA transfers of one chain. A code this stand-in does not know, or a code that VIF0 does
// not have, drops the rest of the transfer with a log line: its data could not be told from codes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/vu/microprogram.h"
#include "console/vu/vu_memory.h"

namespace console::vif {

// VIF command bytes (bit 7, the interrupt flag, is ignored).
enum VifCmd : uint8_t {
    kVifNop = 0x00,
    kVifStcycl = 0x01,
    kVifOffset = 0x02,
    kVifBase = 0x03,
    kVifItop = 0x04,
    kVifStmod = 0x05,
    kVifMskpath3 = 0x06,
    kVifMark = 0x07,
    kVifFlushe = 0x10,
    kVifFlush = 0x11,
    kVifFlusha = 0x13,
    kVifMscal = 0x14,
    kVifMscalf = 0x15,
    kVifMscnt = 0x17,
    kVifStmask = 0x20,
    kVifStrow = 0x30,
    kVifStcol = 0x31,
    kVifMpg = 0x4A,
    kVifDirect = 0x50,
    kVifDirectHl = 0x51,
    kVifUnpack = 0x60,  // 0x60-0x7F
};

// The double-buffer base VU1 uses when nobody sets one: clear of the matrices and view records at the
// bottom of VU1 memory (0-59). Transfers run synchronously, so one buffer suffices and TOPS stays put.
inline constexpr uint32_t kVu1DefaultBase = 60;

class Vif {
public:
    explicit Vif(int unit);

    // Feeds `count` words of the stream.
    void Write(const uint32_t* words, size_t count);
    // The DMA transfer ended: an incomplete code is logged and dropped; the GIF's PATH2 packet too.
    void EndTransfer();
    // Power-on state: registers cleared, nothing resident, memory kept.
    void Reset();

    int Unit() const { return unit_; }
    vu::VuMemory& Memory() { return *mem_; }
    uint32_t Tops() const { return base_; }
    uint32_t Itop() const { return itop_; }
    uint32_t Mode() const { return mode_; }
    uint32_t Mask() const { return mask_; }
    uint32_t Row(int i) const { return row_[i & 3]; }
    uint32_t CycleCl() const { return cl_; }
    uint32_t CycleWl() const { return wl_; }
    // The id of the resident microprogram (0 = none) and how many codes were refused.
    uint32_t ResidentProgram() const { return program_; }
    uint64_t Errors() const { return errors_; }
    // Integer registers handed to programs (VU0 programs read counts from them).
    int32_t* IntRegs() { return vi_; }
    // Whether the common UNPACK formats take their own loops rather than the general one (on by
    // default; tests turn it off to compare). Returns the previous setting.
    static bool FastUnpack(bool on);

private:
    enum class State { Command, Stmask, Strow, Stcol, Mpg, Direct, Unpack, Drop };

    size_t Command(const uint32_t* words, size_t count);
    // The payload words of an MPG, a DIRECT and an UNPACK, from a piece of the stream of `count` words;
    // each returns the words it took.
    size_t MpgWords(const uint32_t* w, size_t count);
    size_t DirectWords(const uint32_t* w, size_t count);
    size_t UnpackWords(const uint32_t* w, size_t count);
    void StartUnpack(uint32_t code);
    // Unpacks the current code's payload from `src` (the stream itself, or buf_ when it came in pieces).
    void FinishUnpack(const uint32_t* src);
    // One quadword of the general unpack: the element's fields `data` (`comps` of them, none when the
    // write cycle has no data) into `q` as the mask for row `r` and the mode say.
    void WriteFields(uint32_t* q, const uint32_t* data, int comps, bool hasData, bool masked, uint32_t r);
    // V4-32, V4-16 or V4-8 (vl 0, 1, 2), unmasked, mode 0, one quadword after another from `addr`.
    void UnpackWhole(const uint32_t* src, uint32_t addr, uint32_t num, uint32_t vl, bool usn);
    void Run(bool cont, uint32_t entry);
    void Fail(const char* what, uint32_t code);

    int unit_;
    vu::VuMemory* mem_;
    State state_ = State::Command;
    uint32_t code_ = 0;
    size_t need_ = 0;  // words still expected for the current code

    uint32_t cl_ = 0, wl_ = 0, mode_ = 0, mask_ = 0, row_[4] = {}, col_[4] = {};
    uint32_t base_ = 0, ofst_ = 0, itop_ = 0, mark_ = 0;
    uint32_t program_ = 0;
    int32_t vi_[16] = {};
    uint64_t errors_ = 0;

    // Data of the code being collected (STROW/STCOL/MPG first word/UNPACK payload/DIRECT partial qw).
    uint32_t buf_[1024 + 4];
    size_t have_ = 0;
};

Vif& Vif0();
Vif& Vif1();

}  // namespace console::vif

// Library resets: VIF0 back to power-on and VU0's memory cleared (VU1 likewise).
void sceDevVif0Reset();
void sceDevVu0Reset();
void sceDevVif1Reset();
void sceDevVu1Reset();
