#include "kinetic/collide/collidable.h"

namespace Kinetic {

uint32_t Collidable::m_nextFreeID = 0;

}  // namespace Kinetic
