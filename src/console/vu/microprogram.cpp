#include "console/vu/microprogram.h"

#include "console/stage/dma_stage.h"

namespace console::vu {
namespace {

// A fixed table: the registry takes nothing from the engine heap, whenever programs are registered.
struct Entry {
    uint32_t id;
    Microprogram* program;
};
Entry g_programs[kMaxMicroprograms];
size_t g_count = 0;

Entry* Lookup(uint32_t id) {
    for (size_t i = 0; i < g_count; ++i)
        if (g_programs[i].id == id) return &g_programs[i];
    return nullptr;
}

}  // namespace

Microprogram* FindMicroprogram(uint32_t id) {
    const Entry* e = id ? Lookup(id) : nullptr;
    return e ? e->program : nullptr;
}

bool RegisterMicroprogram(uint32_t id, Microprogram* program) {
    if (id == 0 || !program) return false;
    // The geometry stage looks programs up while it runs.
    console::dma::StageDrain();
    if (Entry* e = Lookup(id)) {
        e->program = program;
    } else if (g_count == kMaxMicroprograms) {
        return false;
    } else {
        g_programs[g_count++] = {id, program};
    }
    // Programs are usually static objects made just before they are registered: the stage's thread must
    // stop at exit before they are destroyed.
    console::dma::StageStopBeforeLaterStatics();
    return true;
}

void KickPath1(const void* qwords, size_t qwc) {
    console::dma::StageGifWrite(1, qwords, qwc);
}

void* ReservePath1(size_t qwc) {
    return console::dma::StageGifReserve(qwc);
}

void CommitPath1(size_t qwc) {
    console::dma::StageGifCommit(1, qwc);
}

gs::GsDevice::DrawWindow DrawWindowFor(uint64_t prim) {
    return console::dma::StageDrawWindowFor(prim);
}

}  // namespace console::vu
