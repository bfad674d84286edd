// The console's audio memory manager: server 1 of the I/O processor's audio module does the copying.
// Fetches queued in a step go out as batches of at most 40 records, sent without waiting; a step with more
// requests sends several batches. Sound memory is taken from the engine's sound-memory allocator, never
// from a cursor of its own, so it cannot hand out memory the engine's samples use.
#pragma once

#include <vector>

#include "audio/audio_memory_manager.h"
#include "console/iop/audio_module.h"
#include "console/iop/sif_rpc.h"

class CPS2AudioMemoryManager : public CAudioMemoryManager {
public:
    struct request {
        int32_t pos;
        int32_t len;
        const char* source;
        CAudioBufferAlias buffer;
        uint32_t location;
    };

    // The first manager of the process sets up remote calls and binds server 1, retrying until bound.
    CPS2AudioMemoryManager();
    ~CPS2AudioMemoryManager() override = default;

    void fetchIntoBuffer(int id, CAudioBuffer& buffer, unsigned int pos, unsigned int len) override;
    void getPadLengths(int id, const CAudioBuffer& buffer, unsigned int pos, unsigned int len,
                       unsigned int& before, unsigned int& after) const override;
    // Returns where the data now is: a sound-memory address (flags |= 0x30) or, when sound memory is full,
    // an I/O-processor address (flags |= 0x40); null when the I/O-processor heap is out.
    char* allocateSoundMemory(char* data, int size, unsigned int& flags) override;
    void freeSoundMemory(char* address, int size, unsigned int flags) override;
    void processRequests() override;
    void cleanupRequests() override;

    std::vector<request> requests;
    AmmFetchRecord iop_rpcData[console::kAmmMaxFetchRecords] = {};
    AmmFetchRecord spu_rpcData[console::kAmmMaxFetchRecords] = {};

    // End of the last block placed in sound memory (informational: the engine's allocator decides).
    static uint32_t nextFreeSpuAddr;
    static bool initialized;
    static sceSifClientData binding;

private:
    void sendBatch(int count);
};

// Binds a server of the audio module, as the game does: bind, poll up to 10000 times, and again until bound.
void AmmBind(sceSifClientData& client, unsigned int server);
