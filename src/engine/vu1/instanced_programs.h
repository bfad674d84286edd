// The instanced VU1 programs vuIPreLit16 and vuIPreLitTCull16: one pre-lit geometry batch, uploaded once,
// drawn under many matrices.
//
// VU1 memory: 0 = instance count (u32) and, in its second word, the matrices per instance (1, or 2 when
// each local-to-screen is followed by its local-to-clip); 1-54 one colour per instance (r, g, b, a floats
// on the GS scale: 128 leaves the vertex colour as it is); 55.. the matrices; 0x20A the batch, moved
// there by the instancing patch of the unskinned packet convention (geometry_programs.h): 0x20A vertex
// count n, 0x20B the GIF tag template, 0x20C.. 3n qw of vertices (x, y, z, 1), (s, t, 1, 0), (r, g, b, a).
//
// MSCAL 0 takes nothing; MSCNT draws the batch once per instance. An instance with a local-to-clip matrix
// is clipped against it; one without drops triangles with a vertex behind the eye or off the GS range.
// vuIPreLitTCull16 also drops back faces (clockwise on the screen, y down).
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

inline constexpr uint32_t kInstBatchAt = 0x20A;
inline constexpr uint32_t kInstColoursAt = 1;
inline constexpr uint32_t kInstMatricesAt = 0x37;
inline constexpr uint32_t kInstMaxInstances = 54;

class InstancedProgram : public Microprogram {
public:
    InstancedProgram(const char* name, bool cull) : name_(name), cull_(cull) {}
    const char* Name() const override { return name_; }
    void Call(VuState&, uint32_t) override {}
    void Continue(VuState& vu) override;

    static uint64_t InstancesDrawn();
    static uint64_t PacketsRefused();

private:
    const char* name_;
    bool cull_;
};

}  // namespace engine::vu1
