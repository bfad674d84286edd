// Copies into the scratchpad by the DMA controller's channel 9 (main memory to scratchpad), and the wait
// for a channel's transfer to end before what it wrote is read. It holds nothing: it drives the
// controller's registers (console/dma/dma_registers.h).
#pragma once

namespace Kinetic {

class DMAController {
public:
    static constexpr int kToScratchpadChannel = 9;

    // Starts a copy of `quadwords` 16-byte units from `source` to `scratchpad`, an address inside the
    // scratchpad (only its offset within the 16 KB counts).
    static void sendToSPR(const void* source, void* scratchpad, unsigned int quadwords);
    // Waits until `channel` (0-9) has ended its transfer, then clears its status and takes it out of the
    // channels the condition line waits for.
    static void waitForChannel(int channel);
};

}  // namespace Kinetic
