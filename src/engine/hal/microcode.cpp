#include "engine/hal/microcode.h"

#include "engine/hal/display.h"
#include "engine/hal/dma_tasks.h"
#include "engine/vu1/geometry_programs.h"
#include "engine/vu1/instanced_programs.h"
#include "engine/vu1/skinned_programs.h"

namespace {

// CNT of 3 quadwords (VIF words NOP, STCYCL 4/4): STMASK 0, STMOD 0, STROW 0 0 0 0, MPG of one
// instruction at micro address 0 whose first word is the program id; then END.
constexpr _ve_microcode Chain(uint32_t id) {
    return _ve_microcode{{
        3 | (1u << 28), 0,  0x00000000, 0x01000404, 0x20000000, 0, 0x05000000, 0x30000000, 0, 0, 0, 0,
        0x4A010000,     id, 0,          0x00000000, (7u << 28), 0, 0,          0,
    }};
}

using namespace engine::vu1;

}  // namespace

const _ve_microcode vuPreLit16 = Chain(kProgPreLit16);
const _ve_microcode vuPreLitSCull16 = Chain(kProgPreLitSCull16);
const _ve_microcode vuPreLitTCull16 = Chain(kProgPreLitTCull16);
const _ve_microcode vuPreLitTClip16 = Chain(kProgPreLitTClip16);
const _ve_microcode vuRGBAOverWrite16ObjectCull = Chain(kProgRGBAOverWrite16);
const _ve_microcode vuRGBAScale16ObjectCull = Chain(kProgRGBAScale16);
const _ve_microcode vuLit16 = Chain(kProgLit16);
const _ve_microcode vuLitTCull16 = Chain(kProgLitTCull16);
const _ve_microcode vu1TransNoLightNoClipNoCull = Chain(kProgPreLit32);
const _ve_microcode vuPreLitTClip32 = Chain(kProgPreLitTClip32);
const _ve_microcode vu1TransLightNoClipNoCull32 = Chain(kProgLit32);
const _ve_microcode vuIPreLit16 = Chain(kProgIPreLit16);
const _ve_microcode vuIPreLitTCull16 = Chain(kProgIPreLitTCull16);
const _ve_microcode vu1VertexCacheMicroCode = Chain(kProgVertexCache);
const _ve_microcode vertexCacheLit16 = Chain(kProgVertexCacheLit16);
const _ve_microcode vu1VertexCacheInst = Chain(kProgVertexCacheInst);
const _ve_microcode primitiveMicroCode = Chain(kProgPrimitive);

const _ve_microcode* veEngineCurrentMicroCode = nullptr;
uint32_t veEngineMicroCodeFlags = 0;
int veEngineMicroCodeFlagsValid = 0;

const _ve_microcode* veEngineChooseMicroCode(uint32_t f, int cull) {
    auto has = [f](uint32_t bits) { return (f & bits) == bits; };
    if (has(0x8000 | 0x800 | 0x80000)) return &vu1VertexCacheInst;
    if (has(0x8000 | 0x800)) return &vu1VertexCacheMicroCode;
    if (has(0x8000)) return &vertexCacheLit16;
    if (has(0x10000)) return &primitiveMicroCode;
    if (cull && has(0x800 | 0x20000)) return &vuPreLitSCull16;
    if (cull && has(0x800 | 0x40000)) return &vuPreLitTCull16;
    if (cull && has(0x800 | 0x80000)) return &vuPreLitTClip16;
    if (has(0x800 | 0x800000)) return &vuRGBAOverWrite16ObjectCull;
    if (has(0x800 | 0x400000)) return &vuRGBAScale16ObjectCull;
    if (has(0x800)) return &vuPreLit16;
    if (cull && has(0x1000 | 0x80000)) return &vuPreLitTClip32;
    if (has(0x1000)) return &vu1TransNoLightNoClipNoCull;
    if (has(0x2000 | 0x40000)) return &vuLitTCull16;
    if (has(0x2000)) return &vuLit16;
    if (has(0x4000)) return &vu1TransLightNoClipNoCull32;
    if (has(0x20000)) return &vuIPreLitTCull16;
    if (has(0x40000)) return &vuIPreLit16;
    return nullptr;
}

void veEngineHardwareSetMicroCode(uint32_t flags, int cull) {
    engine::vu1::RegisterEnginePrograms();
    if (veEngineMicroCodeFlagsValid && flags == veEngineMicroCodeFlags) return;
    veEngineMicroCodeFlags = flags;
    veEngineMicroCodeFlagsValid = 1;
    const _ve_microcode* code = veEngineChooseMicroCode(flags, cull);
    if (!code) return;
    veEngineCurrentMicroCode = code;
    veDmaSendVuMicroCode(code);
}

void veEngineSetMicroCode(uint32_t base, int cull) {
    const uint32_t mode = veDisplayGetMode();
    uint32_t flags = base | (mode & 0xC00000);
    if (cull) flags |= mode & 0xF0000;
    veEngineHardwareSetMicroCode(flags, cull);
}

void veEngineSetPrimitiveMicroCode() {
    veEngineHardwareSetMicroCode(kMicroPrimitive, 0);
}
void veEngineHardwareSetDefaultMicroCode() {
    veEngineSetMicroCode(kMicroPreLit16, 0);
}

void veEngineResetMicroCode() {
    veEngineCurrentMicroCode = nullptr;
    veEngineMicroCodeFlagsValid = 0;
}
