// libFuzzer target for the envelope map reader. The input is copied to a buffer of exactly its size from
// the C library's allocator, so AddressSanitizer sees any read past its end; an accepted map is evaluated
// everywhere it could be asked (below, at, between and beyond its points), as the sound objects do.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "audio/envelope.h"
#include "audio/envelope_map_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto* image = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (!image) return 0;
    if (size) std::memcpy(image, data, size);
    CEnvelopeMap map;
    const bool ok = map.load(image, static_cast<uint32_t>(size));
    if (ok != envmap::Validate(image, static_cast<uint32_t>(size)).ok) std::abort();
    volatile float sink = 0.0f;
    for (const auto& [in, outs] : map.data) {
        for (const auto& [out, env] : outs) {
            const float xs[] = {-1e30f, -1.0f, 0.0f, 0.5f, 1e30f, NAN};
            for (float x : xs) sink = sink + env->value(x);
            for (const auto& [x, y] : env->values)
                sink = sink + env->value(x) + env->value(std::nextafter(x, 1e38f));
        }
    }
    std::free(image);
    return 0;
}
