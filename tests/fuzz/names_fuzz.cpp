// libFuzzer target for the credits' names reader ("frontend\names.txt"). The input is copied to a buffer
// of exactly its size from the C library's allocator, so AddressSanitizer sees any read past its end.
// Every name read must be NUL-terminated inside its 32 bytes and printable ASCII only; the slots past
// the names read keep what they held.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frontend/screens/names_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace namesfile;
    if (size > 2 * kMaxBytes) return 0;
    auto* text = static_cast<char*>(std::malloc(size ? size : 1));
    if (!text) return 0;
    if (size) std::memcpy(text, data, size);
    char out[9][kNameSize];
    std::memset(out, 'K', sizeof out);
    const Result r = ReadNames(text, size, out, 9, "frontend\\names.txt");
    if (r.names < 0 || r.names > 9 || (r.tooLong && r.names != 0)) std::abort();
    for (int i = 0; i < 9; ++i) {
        if (i >= r.names) {
            for (size_t k = 0; k < kNameSize; ++k)
                if (out[i][k] != 'K') std::abort();
            continue;
        }
        const void* end = std::memchr(out[i], '\0', kNameSize);
        if (!end) std::abort();
        for (const char* c = out[i]; c != end; ++c)
            if (*c < 0x20 || *c > 0x7E) std::abort();
    }
    std::free(text);
    return 0;
}
