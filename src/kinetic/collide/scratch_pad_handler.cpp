#include "kinetic/collide/scratch_pad_handler.h"

namespace Kinetic {

uint8_t* ScratchPadHandler::m_next = console::g_scratchpad + ScratchPadHandler::kFirstOffset;

}  // namespace Kinetic
