// The few memory-mapped hardware registers the engine touches directly when it starts a DMA transfer:
// the DMA status (D_STAT), the GIF mode (GIF_MODE) and VIF1's reset/stall control (VIF1_FBRST), plus
// the graphics synthesizer's CSR, whose FIELD bit tells the vertical-blank handler which field is shown.
// Transfers run synchronously here, so interrupt masks and stalls have nothing to act on: writes are
// kept (so that a read returns what the game wrote) and otherwise ignored. The DMA controller's own
// registers (D_STAT among them) belong to console/dma/dma_registers.h; reads and writes here reach them.
#pragma once

#include <cstdint>

namespace console {

inline constexpr uint32_t kRegDStat = 0x1000E010u;
inline constexpr uint32_t kRegGifMode = 0x10003010u;
inline constexpr uint32_t kRegVif1Fbrst = 0x10003C10u;
inline constexpr uint32_t kRegGsCsr = 0x12001000u;

// D_STAT: the low 16 bits are per-channel status flags (written 1 to clear), bits 16-31 the interrupt
// masks (written 1 to toggle), as the hardware does.
uint32_t HwRead32(uint32_t addr);
void HwWrite32(uint32_t addr, uint32_t value);
// The GS privileged registers are 64-bit.
uint64_t HwRead64(uint32_t addr);

// Power-on values.
void HwRegistersReset();

}  // namespace console
