#include "console/spu/adpcm.h"

uint8_t AdpcmDecodeBlock(const uint8_t* block, int16_t* out, int32_t* h1, int32_t* h2) {
    const int shift = AdpcmShift(block[0]);
    const int filter = AdpcmFilter(block[0]);
    for (int i = 0; i < kAdpcmBlockSamples / 2; ++i) {
        const uint8_t b = block[2 + i];
        out[2 * i] = AdpcmDecodeNibble(b & 0x0F, shift, filter, h1, h2);
        out[2 * i + 1] = AdpcmDecodeNibble(b >> 4, shift, filter, h1, h2);
    }
    return block[1];
}
