#include "console/spu/sd_remote.h"

#include <cstring>

#include "console/iop/iop.h"
#include "console/spu/spu.h"

namespace console {
namespace {

bool g_bound = false;
uint64_t g_voiceTransfers = 0;

bool IopRange(uint32_t addr, uint32_t size) {
    return addr <= kIopMemSize && size <= kIopMemSize - addr;
}

uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool ApplyBatchEntry(uint16_t command, uint32_t entry, uint32_t value) {
    switch (command) {
        case kSdBatchParam:
            return SpuWriteParam(entry, value);
        case kSdBatchSwitch:
            return SpuWriteSwitch(entry, value);
        case kSdBatchAddress:
            return SpuWriteAddress(entry, value);
        case kSdBatchAttribute:
            return SpuWriteAttribute(entry, value);
        default:
            return false;
    }
}

int ProcessBatch(uint32_t iopAddr, uint32_t count) {
    if (count > kIopMemSize / kSdBatchEntryBytes || !IopRange(iopAddr, count * kSdBatchEntryBytes)) return -1;
    const uint8_t* p = IopMemory() + iopAddr;
    bool ok = true;
    // Entries apply in order; a bad one is skipped and reported, the rest still apply.
    for (uint32_t i = 0; i < count; ++i, p += kSdBatchEntryBytes)
        ok = ApplyBatchEntry(ReadU16(p), ReadU16(p + 2), ReadU32(p + 4)) && ok;
    return ok ? 0 : -1;
}

}  // namespace

void SdRemoteReset() {
    g_bound = false;
    g_voiceTransfers = 0;
    SpuReset();
}

bool SdRemoteBound() {
    return g_bound;
}
uint64_t SdRemoteVoiceTransferCount() {
    return g_voiceTransfers;
}

}  // namespace console

using namespace console;

int sceSdRemoteInit() {
    g_bound = IopModuleLoaded("LIBSD.IRX") && IopModuleLoaded("SDRDRV.IRX");
    return g_bound ? 0 : -1;
}

int sceSdRemote(int, int command, uint32_t a1, uint32_t a2, uint32_t a3, uint32_t a4, uint32_t a5) {
    if (!g_bound) return -1;
    // Whatever was due before this call is mixed with the registers as they were.
    SpuCatchUp();
    switch (command) {
        case kSdCmdInit:
            SpuInitVoices();
            return 0;
        case kSdCmdSetParam:
            return SpuWriteParam(a1, a2) ? 0 : -1;
        case kSdCmdSetSwitch:
            return SpuWriteSwitch(a1, a2) ? 0 : -1;
        case kSdCmdGetSwitch: {
            const int64_t v = SpuReadSwitch(a1);
            return v < 0 ? -1 : static_cast<int>(v);
        }
        case kSdCmdProcBatch:
            return ProcessBatch(a1, a3);
        case kSdCmdVoiceTrans:
            if (a1 > 1 || !IopRange(a3, a5) || !SpuWriteMemory(a4, IopMemory() + a3, a5)) return -1;
            ++g_voiceTransfers;
            return 0;
        case kSdCmdVoiceTransStatus:
            return a1 > 1 ? -1 : 1;
        default:
            return -1;
    }
}

int sceSdTransToIOP(const void* src, uint32_t iopAddr, uint32_t size, int) {
    if (!src || !IopRange(iopAddr, size)) return -1;
    if (size) std::memmove(IopMemory() + iopAddr, src, size);
    return 0;
}
