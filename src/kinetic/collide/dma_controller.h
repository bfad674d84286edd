// Copies blocks into the scratchpad. On this platform the copy is a plain memcpy that completes at once,
// so the results are those of ordinary memory and waiting is a no-op.
#pragma once

namespace Kinetic {

class DMAController {
public:
    static void sendToSPR(const void* source, void* scratchpadAddress, unsigned int quadwords);
    static void waitForChannel(int channel) { (void)channel; }
};

}  // namespace Kinetic
