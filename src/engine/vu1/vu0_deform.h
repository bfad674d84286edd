// vu0deform16: skin deformation on VU0. The engine unpacks 12 bone matrices to VU0 0-47, then for each
// strip its input block (NOP, NOP, NOP, UNPACK V4-32 of 4n qw to 48; the input; MSCAL 0, NOP, NOP, NOP)
// with the vertex count n preset in integer register vi[1]. Input per vertex, 4 qw:
//   (x, y, z, -) (nx, ny, nz, -) (s, t, -, -) (weight a, -, bone slot a, bone slot b)
// slots 0-11 or 15 (no bone) as u32, everything else floats. The program writes the deformed vertices
// from VU0 48 in the skinned strip layout (skinned_programs.h), 3 qw each, bound to no bone:
//   (x, y, z, 1) (s, t, 15, 15) (nx, ny, nz, 0)
// so that the lit vertex-cache program draws them unchanged by its own bones.
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

inline constexpr uint32_t kProgVu0Deform16 = 0x0401;
inline constexpr uint32_t kVu0BonesQw = 48;
inline constexpr uint32_t kVu0ResultsAt = 48;
inline constexpr uint32_t kVu0MaxVertices = 48;  // 48 + 4n qw of input fit VU0's 256

class Vu0DeformProgram : public Microprogram {
public:
    const char* Name() const override { return "vu0deform16"; }
    void Call(VuState& vu, uint32_t entry) override;
    static uint64_t StripsRefused();
};

}  // namespace engine::vu1
