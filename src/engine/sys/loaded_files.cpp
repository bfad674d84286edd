#include "engine/sys/loaded_files.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/sys/files.h"

namespace {

struct LoadedFile {
    const uint8_t* image;
    uint32_t length;
    char prefix[80];  // "NAME: "
};

LoadedFile g_files[kLoadedFileSlots];
int g_count = 0;

}  // namespace

void x_NoteLoadedFile(const void* image, uint32_t length, const char* name) {
    if (!image || !name) return;
    x_ForgetLoadedFile(image);
    if (g_count == kLoadedFileSlots) {
        std::memmove(&g_files[0], &g_files[1], sizeof(LoadedFile) * (kLoadedFileSlots - 1));
        --g_count;
    }
    LoadedFile& f = g_files[g_count++];
    f.image = static_cast<const uint8_t*>(image);
    f.length = length;
    std::snprintf(f.prefix, sizeof f.prefix, "%s: ", name);
}

void x_ForgetLoadedFile(const void* image) {
    for (int i = 0; i < g_count; ++i) {
        if (g_files[i].image != image) continue;
        std::memmove(&g_files[i], &g_files[i + 1], sizeof(LoadedFile) * static_cast<size_t>(g_count - i - 1));
        --g_count;
        return;
    }
}

const char* x_FileOf(const void* p) {
    const auto b = reinterpret_cast<uintptr_t>(p);
    if (!b) return "";
    // Newest first: a freed image forgotten late must not shadow the file now at its address.
    for (int i = g_count - 1; i >= 0; --i) {
        const LoadedFile& f = g_files[i];
        const auto at = reinterpret_cast<uintptr_t>(f.image);
        if (b >= at && b - at <= f.length) return f.prefix;
    }
    return "";
}

FormatCheck x_RefuseInFile(const void* p, const char* format, ...) {
    FormatCheck c;
    va_list args;
    va_start(args, format);
    c.FailV(format, args);
    va_end(args);
    x_printf("%s%s\n", x_FileOf(p), c.why);
    return c;
}
