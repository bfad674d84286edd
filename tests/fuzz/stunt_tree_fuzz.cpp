// libFuzzer target for the stunt tree reader: any byte string is checked; an accepted tree is loaded for
// two racers, searched for every trick in both child orders with the computer riders' 32-entry list,
// and walked with presses taken from the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/heap.h"
#include "race/control/stunt_mgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    auto* tree = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(size ? size : 16), "", 0));
    if (!tree) return 0;
    if (size) std::memcpy(tree, data, size);
    const int bikes[2] = {3, 5};
    if (CStuntMgr* m = CStuntMgr::initialize(tree, size, 2, bikes)) {
        stuntDir dirs[32];
        stuntType type = STUNT_TYPE_INVALID;
        for (int n = 0; n <= STUNT_INVALID; ++n)
            for (unsigned bits = 0; bits < 2; ++bits)
                m->getInstructions(static_cast<stuntName>(n), dirs, 32, type, bits);
        m->setStuntType(3, static_cast<stuntType>(data[0] % 3));
        for (size_t i = 0; i < size && i < 64; ++i) {
            m->addButtonPress(3, static_cast<stuntDir>(data[i] % 6));
            m->getStunt(3, data[i] & 0x40, 15);
            m->isReversed(3);
            if (data[i] & 0x80) m->reset(3);
        }
        CStuntMgr::shutdown();
    }
    x_free(tree);
    return 0;
}
