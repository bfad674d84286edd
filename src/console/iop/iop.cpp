#include "console/iop/iop.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "console/cd/cd.h"
#include "console/iop/audio_module.h"
#include "console/iop/sif_rpc.h"

namespace console {
namespace {

constexpr int kMaxModules = 32;
constexpr int kMaxIopBlocks = 256;
constexpr uint32_t kIopAlign = 64;

char g_modules[kMaxModules][32];
int g_moduleCount = 0;
alignas(64) uint8_t g_iopMemory[kIopMemSize];

struct IopBlock {
    uint32_t addr;
    uint32_t size;
};
// Allocated blocks in address order; allocation is first fit in the gaps between them. A fixed table:
// the IOP has no heap of its own to grow into.
IopBlock g_blocks[kMaxIopBlocks];
int g_blockCount = 0;

const char* BaseName(const char* path) {
    const char* base = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') base = p + 1;
    return base;
}

}  // namespace

uint8_t* IopMemory() {
    return g_iopMemory;
}

bool IopModuleLoaded(const char* fileName) {
    for (int i = 0; i < g_moduleCount; ++i)
        if (strcasecmp(g_modules[i], fileName) == 0) return true;
    return false;
}

int IopLoadedModuleCount() {
    return g_moduleCount;
}

uint32_t IopHeapUsed() {
    uint32_t sum = 0;
    for (int i = 0; i < g_blockCount; ++i) sum += g_blocks[i].size;
    return sum;
}

void IopReset() {
    g_moduleCount = 0;
    g_blockCount = 0;
    AudioModuleReset();
    IopRpcReset();
}

}  // namespace console

using namespace console;

int sceSifRebootIop(const char*) {
    // A reboot drops every module and the heap; the replacement image itself needs no emulation.
    IopReset();
    return 1;
}

int sceSifSyncIop() {
    return 1;
}
int sceFsReset() {
    return 0;
}

int sceSifLoadModule(const char* path, int, const char*) {
    if (!path) return -1;
    // "cdrom0:\SYSTEM\PADMAN.IRX" -> the disc file \SYSTEM\PADMAN.IRX
    const char* discName = path;
    if (strncasecmp(discName, "cdrom0:", 7) == 0) discName += 7;
    sceCdlFILE entry;
    if (!sceCdSearchFile(&entry, discName)) return -1;
    if (g_moduleCount >= kMaxModules) return -1;
    const char* base = BaseName(discName);
    std::snprintf(g_modules[g_moduleCount], sizeof g_modules[0], "%s", base);
    char* semi = std::strchr(g_modules[g_moduleCount], ';');
    if (semi) *semi = 0;
    return g_moduleCount++;
}

// Called on every entry to the front end: it must not drop what was allocated before.
int sceSifInitIopHeap() {
    return 0;
}

void* sceSifAllocIopHeap(unsigned int size) {
    if (size == 0 || size > kIopMemSize || g_blockCount >= kMaxIopBlocks) return nullptr;
    uint32_t need = (size + kIopAlign - 1) & ~(kIopAlign - 1);
    uint32_t cursor = kIopHeapStart;
    int insertAt = g_blockCount;
    for (int i = 0; i <= g_blockCount; ++i) {
        uint32_t gapEnd = i < g_blockCount ? g_blocks[i].addr : kIopMemSize;
        if (gapEnd >= cursor && gapEnd - cursor >= need) {
            insertAt = i;
            break;
        }
        if (i == g_blockCount) return nullptr;
        cursor = g_blocks[i].addr + g_blocks[i].size;
    }
    std::memmove(&g_blocks[insertAt + 1], &g_blocks[insertAt], sizeof(IopBlock) * (g_blockCount - insertAt));
    g_blocks[insertAt] = {cursor, need};
    ++g_blockCount;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(cursor));
}

int sceSifFreeIopHeap(void* iopAddr) {
    uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(iopAddr));
    for (int i = 0; i < g_blockCount; ++i) {
        if (g_blocks[i].addr != addr) continue;
        std::memmove(&g_blocks[i], &g_blocks[i + 1], sizeof(IopBlock) * (g_blockCount - i - 1));
        --g_blockCount;
        return 0;
    }
    return -1;
}
