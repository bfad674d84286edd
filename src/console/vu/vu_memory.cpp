#include "console/vu/vu_memory.h"

namespace console::vu {

VuMemory& Vu1Memory() {
    static VuMemory mem(kVu1Qwords);
    return mem;
}

VuMemory& Vu0Memory() {
    static VuMemory mem(kVu0Qwords);
    return mem;
}

}  // namespace console::vu
