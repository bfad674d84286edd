#include "engine/vu1/programs.h"

#include "engine/vu1/geometry_programs.h"
#include "engine/vu1/instanced_programs.h"
#include "engine/vu1/primitive_program.h"
#include "engine/vu1/skinned_programs.h"
#include "engine/vu1/terrain_programs.h"
#include "engine/vu1/vu0_deform.h"

namespace engine::vu1 {

void RegisterEnginePrograms() {
    static bool done = false;
    if (done) return;
    done = true;
    static GeometryProgram geometry[] = {
        GeometryProgram({"vuPreLit16", false, false, false, false, 0}),
        GeometryProgram({"vuPreLitSCull16", false, true, false, false, 0}),
        GeometryProgram({"vuPreLitTCull16", false, false, true, false, 0}),
        GeometryProgram({"vuPreLitTClip16", false, false, false, true, 0}),
        GeometryProgram({"vuRGBAOverWrite16ObjectCull", false, false, false, false, 2}),
        GeometryProgram({"vuRGBAScale16ObjectCull", false, false, false, false, 1}),
        GeometryProgram({"vuLit16", true, false, false, false, 0}),
        GeometryProgram({"vuLitTCull16", true, false, true, false, 0}),
        GeometryProgram({"vu1TransNoLightNoClipNoCull", false, false, false, false, 0}),
        GeometryProgram({"vuPreLitTClip32", false, false, false, true, 0}),
        GeometryProgram({"vu1TransLightNoClipNoCull32", true, false, false, false, 0}),
    };
    const uint32_t geometryIds[] = {
        kProgPreLit16,        kProgPreLitSCull16, kProgPreLitTCull16, kProgPreLitTClip16,
        kProgRGBAOverWrite16, kProgRGBAScale16,   kProgLit16,         kProgLitTCull16,
        kProgPreLit32,        kProgPreLitTClip32, kProgLit32};
    static_assert(sizeof geometry / sizeof geometry[0] == sizeof geometryIds / sizeof geometryIds[0]);
    for (size_t i = 0; i < sizeof geometryIds / sizeof geometryIds[0]; ++i)
        console::vu::RegisterMicroprogram(geometryIds[i], &geometry[i]);

    static PrimitiveProgram primitive;
    static SkinnedProgram preLit("vu1VertexCacheMicroCode", false);
    static SkinnedProgram lit("vertexCacheLit16", true);
    static SkinnedProgram inst("vu1VertexCacheInst", false);
    static InstancedProgram iPreLit("vuIPreLit16", false);
    static InstancedProgram iPreLitCull("vuIPreLitTCull16", true);
    static Vu0DeformProgram deform;
    console::vu::RegisterMicroprogram(kProgPrimitive, &primitive);
    console::vu::RegisterMicroprogram(kProgVertexCache, &preLit);
    console::vu::RegisterMicroprogram(kProgVertexCacheLit16, &lit);
    console::vu::RegisterMicroprogram(kProgVertexCacheInst, &inst);
    console::vu::RegisterMicroprogram(kProgIPreLit16, &iPreLit);
    console::vu::RegisterMicroprogram(kProgIPreLitTCull16, &iPreLitCull);
    console::vu::RegisterMicroprogram(kProgVu0Deform16, &deform);
    RegisterTerrainPrograms();
}

}  // namespace engine::vu1
