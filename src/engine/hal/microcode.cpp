#include "engine/hal/microcode.h"

#include "console/vu/microprogram.h"
#include "engine/hal/dma_tasks.h"

namespace {

// CNT of 3 quadwords (VIF words NOP, STCYCL 4/4): STMASK 0, STMOD 0, STROW 0 0 0 0, MPG of one
// instruction at micro address 0 whose first word is the program id; then END.
constexpr _ve_microcode Chain(uint32_t id) {
    return _ve_microcode{{
        3 | (1u << 28), 0, 0x00000000, 0x01000404,
        0x20000000, 0, 0x05000000, 0x30000000,
        0, 0, 0, 0,
        0x4A010000, id, 0, 0x00000000,
        (7u << 28), 0, 0, 0,
    }};
}

// Program id of the pre-lit batches of 16 (unskinned geometry family).
constexpr uint32_t kProgPreLit16 = 0x0001;

}  // namespace

const _ve_microcode primitiveMicroCode = Chain(console::vu::kProgPrimitive);
const _ve_microcode vuPreLit16 = Chain(kProgPreLit16);
const _ve_microcode* veEngineCurrentMicroCode = nullptr;

void veEngineHardwareSetMicroCode(const _ve_microcode* code) {
    if (!code || code == veEngineCurrentMicroCode) return;
    veEngineCurrentMicroCode = code;
    veDmaSendVuMicroCode(code);
}

void veEngineSetPrimitiveMicroCode() { veEngineHardwareSetMicroCode(&primitiveMicroCode); }
void veEngineHardwareSetDefaultMicroCode() { veEngineHardwareSetMicroCode(&vuPreLit16); }
void veEngineResetMicroCode() { veEngineCurrentMicroCode = nullptr; }
