#include "kinetic/collide/gjk_support.h"

#include "console/dma/dma_memory.h"
#include "console/mem/addr.h"
#include "kinetic/collide/dma_controller.h"
#include "kinetic/collide/scratch_pad_handler.h"

namespace Kinetic {

static_assert(sizeof(Vector3) == 16, "a vertex is one quadword");

const Vector3* GJK_HillConvex::scanCopy(const Vector3* v, int n, const Vector3& b) {
    if (n <= 0 || !console::InAddrReach(v)) return scan(v, n, b);
    const size_t bytes = static_cast<size_t>(n) * sizeof(Vector3);
    // The channel copies whole quadwords to a quadword address, from memory it knows.
    if ((reinterpret_cast<uintptr_t>(ScratchPadHandler::m_next) & 15) != 0 ||
        !console::dma::Resolve(Addr32(v), bytes))
        return scan(v, n, b);
    void* block = ScratchPadHandler::take(bytes);
    if (!block) return scan(v, n, b);
    DMAController::sendToSPR(v, block, static_cast<unsigned int>(n));
    DMAController::waitForChannel(DMAController::kToScratchpadChannel);
    const Vector3* copy = static_cast<const Vector3*>(block);
    const Vector3* best = scan(copy, n, b);
    ScratchPadHandler::giveBack(bytes);
    return v + (best - copy);
}

}  // namespace Kinetic
