// The DMA controller's own memory-mapped registers: control (D_CTRL), status (D_STAT), priority control
// (D_PCR), and the registers of channel 9, which copies main memory into the scratchpad. Also the
// processor's DMA condition line, which a program polls to wait for the channels it has selected.
//
// Channel 9 runs in normal mode only: writing its control word with the start bit (0x100) and the
// from-memory bit (0x1) copies QWC quadwords from MADR to the scratchpad at SADR (bits 4-13, the quadword
// address within the 16 KB) as soon as the controller is enabled (D_CTRL bit 0), at once if it already
// is. When the copy is done the start bit clears, the channel's status bit is set and its end handlers
// run. A copy from outside known memory or past the scratchpad's end is logged and dropped; its status is
// still set, so that whoever waits for it is not left waiting.
//
// D_STAT: bits 0-9 are the channels' status flags, set when a transfer on the channel ends; the low 16
// bits are cleared by writing 1, the high 16 (the interrupt masks) toggled by writing 1.
// D_PCR: bits 0-9 select the channels the condition line waits for. The line is set when every selected
// channel has its status flag set (so also when none is selected).
#pragma once

#include <cstdint>

namespace console::dma {

inline constexpr uint32_t kRegDCtrl = 0x1000E000u;
inline constexpr uint32_t kRegDStat = 0x1000E010u;
inline constexpr uint32_t kRegDPcr = 0x1000E020u;
inline constexpr uint32_t kRegD9Chcr = 0x1000D400u;
inline constexpr uint32_t kRegD9Madr = 0x1000D410u;
inline constexpr uint32_t kRegD9Qwc = 0x1000D420u;
inline constexpr uint32_t kRegD9Tadr = 0x1000D430u;
inline constexpr uint32_t kRegD9Sadr = 0x1000D480u;

inline constexpr int kChannelToSpr = 9;

// Whether `addr` is one of the registers above.
bool IsRegister(uint32_t addr);
// Reads and writes them (an unknown address reads 0 and ignores the write).
uint32_t RegRead(uint32_t addr);
void RegWrite(uint32_t addr, uint32_t value);
// The condition line: set when every channel selected in D_PCR has its status flag set.
bool ConditionLine();

// Sets a channel's status flag (a transfer on it ended).
void RaiseStatus(int channel);
// Control, status, priority control and channel 9's scratchpad address back to power-on (zero).
void RegistersReset();

}  // namespace console::dma
