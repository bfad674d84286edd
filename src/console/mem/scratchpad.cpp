#include "console/mem/scratchpad.h"

namespace console {
alignas(kScratchpadSize) uint8_t g_scratchpad[kScratchpadSize];
}
