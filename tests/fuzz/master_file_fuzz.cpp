// Feeds arbitrary bytes to the master-file checks and, when they pass, to every lookup.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    void* image = x_fn_malloc(static_cast<uint32_t>(size ? size : 1), "", 0);
    if (!image) return 0;
    std::memcpy(image, data, size);
    masterfile::Check c = masterfile::Validate(image, static_cast<uint32_t>(size));
    if (c.ok) {
        CFileManager fm;
        const int n = fm.getSubFileCount(image);
        volatile uint8_t sink = 0;
        for (int i = 0; i <= n && i < 4096; ++i) {
            auto* sub = static_cast<uint8_t*>(fm.loadSubFile(image, static_cast<unsigned>(i)));
            int len = fm.getSubFileLength(image, static_cast<unsigned>(i));
            if (sub && len > 0) sink = static_cast<uint8_t>(sink + sub[0] + sub[len - 1]);
        }
        // By label, as the game reads them: a sub-file is read only as far as its length (an empty one,
        // at the end of the image, points just past it).
        for (unsigned l = 0; l < 64; ++l) {
            int count = fm.getSubfileCountForLabel(image, l);
            const int first = fm.getLabelIndex(image, l);
            for (int k = 0; k <= count && k < 64; ++k) {
                auto* sub = static_cast<uint8_t*>(fm.loadSubFileLabel(image, l, static_cast<unsigned>(k)));
                if (!sub) continue;
                const auto index = static_cast<unsigned>(first + k);
                if (first < 0 || sub != fm.loadSubFile(image, index)) __builtin_trap();
                int len = fm.getSubFileLength(image, index);
                if (len > 0) sink = static_cast<uint8_t>(sink + sub[0] + sub[len - 1]);
            }
        }
        (void)sink;
    }
    x_free(image);
    return 0;
}
