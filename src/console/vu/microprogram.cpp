#include "console/vu/microprogram.h"

#include <map>

#include "console/gif/gif_interpreter.h"
#include "console/vu/geometry_programs.h"
#include "console/vu/primitive_program.h"

namespace console::vu {
namespace {

std::map<uint32_t, Microprogram*>& Registry() {
    static std::map<uint32_t, Microprogram*> programs;
    static bool builtins = false;
    if (!builtins) {
        builtins = true;
        static PrimitiveProgram primitive;
        programs[kProgPrimitive] = &primitive;
        RegisterGeometryPrograms();
    }
    return programs;
}

}  // namespace

Microprogram* FindMicroprogram(uint32_t id) {
    auto& r = Registry();
    auto it = r.find(id);
    return it == r.end() ? nullptr : it->second;
}

bool RegisterMicroprogram(uint32_t id, Microprogram* program) {
    if (id == 0 || !program) return false;
    Registry()[id] = program;
    return true;
}

void KickPath1(const void* qwords, size_t qwc) {
    gif::Gif().Write(1, qwords, qwc);
}

}  // namespace console::vu
