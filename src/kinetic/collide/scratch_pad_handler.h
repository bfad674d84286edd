// The engine's stack of working blocks in the console's 16 KB scratchpad. `m_next` is the first free
// byte; a block is taken only when it ends within the scratchpad, the pointer advances by the block's
// whole size and moves back by the same amount when the block is given back. A block that does not fit
// is not taken: its user works in ordinary memory instead, with the same results.
//
// The stack starts halfway in: the graphics engine keeps its working matrices and bone array in the
// scratchpad's first 4 KB from start-up on, and the physics runs between its draws.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/scratchpad.h"

namespace Kinetic {

class ScratchPadHandler {
public:
    static constexpr uint32_t kFirstOffset = console::kScratchpadSize / 2;

    static uint8_t* m_next;

    static uint8_t* areaEnd() { return console::Scratchpad() + console::kScratchpadSize; }
    // A block of `bytes` at `m_next`, or null (and nothing taken) when it would not end within the area.
    static void* take(size_t bytes) {
        if (bytes > static_cast<size_t>(areaEnd() - m_next)) return nullptr;
        void* block = m_next;
        m_next += bytes;
        return block;
    }
    // Gives back the block taken last, of `bytes`.
    static void giveBack(size_t bytes) { m_next -= bytes; }
};

}  // namespace Kinetic
