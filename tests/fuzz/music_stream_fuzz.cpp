// Music stream files: the check, and decoding every block of what it accepts.
#include <cstddef>
#include <cstdint>

#include "console/iop/music_stream_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!stm::Check(data, size).ok) return 0;
    stm::Header h;
    stm::CheckHeader(data, size, size, &h);
    stm::ChannelDecoder dec[stm::kMaxChannels];
    int16_t out[28];
    for (uint32_t f = 0; f < h.blockFrames; ++f)
        for (int c = 0; c < h.channels; ++c)
            dec[c].decode(data + stm::kHeaderBytes + f * h.frameBytes() + 16 * c, out);
    return 0;
}
