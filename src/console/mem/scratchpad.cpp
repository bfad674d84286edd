#include "console/mem/scratchpad.h"

namespace console {
alignas(64) uint8_t g_scratchpad[kScratchpadSize];
}
