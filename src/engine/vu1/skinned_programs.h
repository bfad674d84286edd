// The skinned VU1 programs (vertex cache): vu1VertexCacheMicroCode (pre-lit), vertexCacheLit16 (lit) and
// vu1VertexCacheInst (pre-lit, the clip display mode's choice).
//
// VU1 memory from the skinned view packet: 0-3 local-to-screen, 4-7 light matrix, 8-11 colour matrix,
// 12-59 bones 0-11 (four rows each). The packet ends with MSCAL 0, which only takes the new matrices and
// forgets a clip packet.
//
// Skinned strip data (what the skinned geometry writer emits; offsets in bytes from the strip's vertex
// data, which the subpacket info's second word points at):
//   0   NOP, NOP, NOP, UNPACK V4-32 of 2 + 3n qw to TOPS+6 with FLG
//   16  vertex count n (a multiple of 3, at most kSkinMaxStripVertices), three zero words    -> TOPS+6
//   32  GIF tag template (PRIM triangle list; the program sets NLOOP, EOP, PACKED ST/RGBAQ/XYZ2) -> TOPS+7
//   48  n vertices of 3 qw                                                                   -> TOPS+8
//       (x, y, z, weight a) floats; (s, t) floats and bone slots a, b (u32, 0-11, or 15 = no bone);
//       pre-lit: (r, g, b, a) integers on the GS scale; lit: the normal (nx, ny, nz, 0) floats
//   48 + 48n  the execute command: MSCNT, NOP, NOP, NOP
// A vertex is placed at weight a times its position through bone a plus (1 - weight a) times its
// position through bone b (normals likewise through the bones' 3 x 3 parts).
//
// Clip packet (display mode 0x4000000, sent between a strip's data and its execute command): TOPS+0 =
// (8, 0, 0, 0) from a V4-16 unpack marks it, TOPS+1-4 the local-to-clip matrix, TOPS+5 the RGBA scale
// (carried, not read), then MSCNT. That MSCNT only latches the clip matrix: the strip's own execute
// command then draws it clipped against |x|, |y|, |z| <= w. Without a clip packet a triangle with a vertex
// behind the eye or off the GS coordinate range is dropped.
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

inline constexpr uint32_t kProgIPreLit16 = 0x0201;
inline constexpr uint32_t kProgIPreLitTCull16 = 0x0202;
inline constexpr uint32_t kProgVertexCache = 0x0203;
inline constexpr uint32_t kProgVertexCacheLit16 = 0x0204;
inline constexpr uint32_t kProgVertexCacheInst = 0x0205;

inline constexpr uint32_t kSkinMaxStripVertices = 48;
inline constexpr uint32_t kSkinNoBone = 15;
inline constexpr uint32_t kSkinClipMarker = 8;
// Where a strip's header lands relative to TOPS (clear of the clip packet at TOPS+0..5).
inline constexpr uint32_t kSkinStripAt = 6;

// The 12 bone matrices at qw .. qw + 47 into bones[0-11], and the identity into bones[12], the matrix a
// vertex uses for bone slot kSkinNoBone.
void ReadBones(const VuMemory& mem, uint32_t qw, float bones[13][16]);

class SkinnedProgram : public Microprogram {
public:
    SkinnedProgram(const char* name, bool lit) : name_(name), lit_(lit) {}
    const char* Name() const override { return name_; }
    void Call(VuState& vu, uint32_t entry) override;
    void Continue(VuState& vu) override;

    // Strips refused as malformed, and triangles drawn, since start-up.
    static uint64_t StripsRefused();
    static uint64_t TrianglesDrawn();

private:
    const char* name_;
    bool lit_;
    bool clip_ = false;
    float l2c_[16] = {};
};

}  // namespace engine::vu1
