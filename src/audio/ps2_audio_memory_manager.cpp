#include "audio/ps2_audio_memory_manager.h"

#include <cstring>

#include "audio/sound_storage.h"
#include "console/iop/iop.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/spu/sd_remote.h"
#include "engine/hal/sound.h"
#include "engine/sys/heap.h"

uint32_t CPS2AudioMemoryManager::nextFreeSpuAddr = 0x15010;
bool CPS2AudioMemoryManager::initialized = false;
sceSifClientData CPS2AudioMemoryManager::binding;

namespace {

constexpr uint32_t kSpuTop = 0x1FFFFF;

uint32_t IopAddr(const void* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

const char* SoundData(int id) {
    const CSoundStorage* s = CResourceStorage<CSoundStorage>::instance().get(id);
    return s ? static_cast<const char*>(s->pSound) : nullptr;
}

}  // namespace

CAudioBuffer::CAudioBuffer(int length, int streams) : len(length), nStreams(streams < 2 ? streams : 2) {
    for (int i = 0; i < nStreams; ++i)
        data[i] = static_cast<char*>(x_fn_malloc(static_cast<uint32_t>(length), __FILE__, __LINE__));
}

CAudioBuffer::~CAudioBuffer() {
    for (char*& p : data) {
        if (p) x_free(p);
        p = nullptr;
    }
}

CAudioBufferAlias::CAudioBufferAlias(const CAudioBuffer& other, int offset, int length) {
    len = length < 0 ? other.len - offset : length;
    nStreams = other.nStreams;
    for (int i = 0; i < 2; ++i) data[i] = other.data[i] ? other.data[i] + offset : nullptr;
}

CAudioBufferAlias::CAudioBufferAlias(const CAudioBufferAlias& other) : CAudioBuffer() {
    len = other.len;
    nStreams = other.nStreams;
    data[0] = other.data[0];
    data[1] = other.data[1];
}

CAudioBufferAlias::~CAudioBufferAlias() {
    data[0] = data[1] = nullptr;
}

void AmmBind(sceSifClientData& client, unsigned int server) {
    for (;;) {
        sceSifBindRpc(&client, server, 0);
        for (int i = 0; i < 10000; ++i)
            if (client.serve) return;
    }
}

CPS2AudioMemoryManager::CPS2AudioMemoryManager() {
    nextFreeSpuAddr = 0x15010;
    if (!initialized) {
        sceSifInitRpc(0);
        AmmBind(binding, console::kAmmMemoryServer);
        initialized = true;
    }
}

void CPS2AudioMemoryManager::fetchIntoBuffer(int id, CAudioBuffer& buffer, unsigned int pos,
                                             unsigned int len) {
    const CSoundStorage* s = CResourceStorage<CSoundStorage>::instance().get(id);
    if (!s) return;
    requests.push_back({static_cast<int32_t>(pos), static_cast<int32_t>(len),
                        static_cast<const char*>(s->pSound), CAudioBufferAlias(buffer, 0, -1),
                        s->soundFlags & kAmmLocMask});
}

void CPS2AudioMemoryManager::getPadLengths(int id, const CAudioBuffer& buffer, unsigned int pos,
                                           unsigned int len, unsigned int& before,
                                           unsigned int& after) const {
    const uint32_t first = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(buffer.data[0])) % 16;
    const uint32_t src = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(SoundData(id)) + pos);
    before = (first ? 16 - first : 0) + src % 4;
    after = (16 - (len + before) % 16) % 16;
}

char* CPS2AudioMemoryManager::allocateSoundMemory(char* data, int size, unsigned int& flags) {
    if (size <= 0) return nullptr;
    void* iop = sceSifAllocIopHeap(static_cast<unsigned int>(size));
    if (!iop) return nullptr;
    sceSdTransToIOP(data, IopAddr(iop), static_cast<uint32_t>(size), 1);
    char* result;
    const uint32_t rounded = static_cast<uint32_t>(size + (size & 1));
    const uint32_t spu = veSoundAllocMem(rounded);
    if (spu && spu + rounded < kSpuTop) {
        nextFreeSpuAddr = spu + rounded;
        AmmTransferRecord r{spu, IopAddr(iop), static_cast<uint32_t>(size), 0};
        sceSifCallRpc(&binding, console::kAmmToSoundMemory, 0, &r, sizeof r, nullptr, 0, nullptr, nullptr);
        sceSifFreeIopHeap(iop);
        flags |= kAmmLocSoundMemory;
        result = reinterpret_cast<char*>(static_cast<uintptr_t>(spu));
    } else {
        if (spu) veSoundFreeMem(spu);
        flags |= kAmmLocIopMemory;
        result = static_cast<char*>(iop);
    }
    sceSifCallRpc(&binding, console::kAmmSync, 0, nullptr, 0, nullptr, 0, nullptr, nullptr);
    return result;
}

void CPS2AudioMemoryManager::freeSoundMemory(char* address, int, unsigned int flags) {
    const uint32_t loc = flags & kAmmLocMask;
    if (loc == kAmmLocIopMemory) sceSifFreeIopHeap(address);
    if (loc == kAmmLocSoundMemory) veSoundFreeMem(IopAddr(address));
}

void CPS2AudioMemoryManager::sendBatch(int count) {
    if (count == 0) return;
    sceSifCallRpc(&binding, console::kAmmFetch, SIF_RPCM_NOWAIT, spu_rpcData,
                  count * static_cast<int>(sizeof(AmmFetchRecord)), nullptr, 0, nullptr, nullptr);
}

void CPS2AudioMemoryManager::processRequests() {
    if (requests.empty()) return;
    int n = 0;
    for (const request& r : requests) {
        const uintptr_t from = reinterpret_cast<uintptr_t>(r.source) + static_cast<uint32_t>(r.pos);
        const uintptr_t src = from & ~uintptr_t{3};
        const uintptr_t to = reinterpret_cast<uintptr_t>(r.buffer.data[0]);
        const uintptr_t dst = (to + 15) & ~uintptr_t{15};
        const uint32_t len = (static_cast<uint32_t>(r.len) + static_cast<uint32_t>(from - src) + 15) & ~15u;
        if (r.location == kAmmLocMainMemory) {
            std::memmove(reinterpret_cast<void*>(dst), reinterpret_cast<const void*>(src), len);
        } else if (r.location == kAmmLocIopMemory || r.location == kAmmLocSoundMemory) {
            spu_rpcData[n++] = {static_cast<uint32_t>(src), Addr32(reinterpret_cast<void*>(dst)), len,
                                r.location == kAmmLocIopMemory ? 1u : 0u};
            if (n == console::kAmmMaxFetchRecords) {
                sendBatch(n);
                n = 0;
            }
        }
    }
    sceSifSetDChain();
    FlushCache(0);
    sendBatch(n);
}

void CPS2AudioMemoryManager::cleanupRequests() {
    requests.clear();
}
