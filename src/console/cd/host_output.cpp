#include "console/cd/host_output.h"

#include <cstring>

namespace console {
namespace {
char g_outDir[512];
}

void SetOutputDirectory(const char* dir) {
    std::snprintf(g_outDir, sizeof g_outDir, "%s", dir ? dir : "");
}

const char* OutputDirectory() {
    return g_outDir;
}

std::FILE* OutputOpen(const char* name) {
    if (!name || !g_outDir[0]) return nullptr;
    const char* base = name;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    if (!*base) return nullptr;
    char path[1024];
    int n = std::snprintf(path, sizeof path, "%s/%s", g_outDir, base);
    if (n < 0 || n >= static_cast<int>(sizeof path)) return nullptr;
    return std::fopen(path, "wb");
}

}  // namespace console
