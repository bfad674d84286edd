// The unskinned geometry programs of VU1 (pre-lit and lit, batches of 16 and 32, screen cull, triangle
// cull, clipping, RGBA scale and overwrite).
//
// Inputs in VU1 memory, from the unskinned view packet:
//   0-3 local-to-screen, 4-7 local-to-clip, 8-11 clip-to-screen, 12-15 light matrix, 16-19 colour matrix
//   (rows; points are row vectors with the translation in row 3). The RGBA programs read row 16 as the
//   colour scale (1.0 = unchanged) or the colour that replaces the vertex colours.
//
// Geometry packet convention (what the geometry writer emits and these programs read). One subpacket's
// data, after its 16-byte info record (offsets in bytes from the start of the data):
//   0   NOP, NOP, NOP, UNPACK V4-32 of 2 qw to TOPS+0 with FLG (0x6C028000)
//   16  header: vertex count n (u32, a multiple of 3), then three zero words
//   32  GIF tag template: PRIM (triangle, Gouraud, texture and GS context bits) with PRE, PACKED,
//       3 registers ST, RGBAQ, XYZ2; the programs replace NLOOP and set EOP
//   48  NOP, NOP, NOP, UNPACK V4-32 of 3n qw to TOPS+2 with FLG   (offsetToSubPacketGeometry = 64)
//   64  n vertices of 3 qw: (x, y, z, 1) floats; (s, t, 1, 0) floats; pre-lit: (r, g, b, a) integers on
//       the GS scale (128 = 1.0), lit: the unit normal (nx, ny, nz, 0) floats
//   64 + 48n  MSCNT, NOP, NOP, NOP                                     (offsetToExecuteVifCommand)
// offsetToNextSubPacket = 80 + 48n. Every info word is below 2^24 so that VIF1 reads the info record as
// no-operation codes. Instanced drawing moves the two unpacks to the fixed area at 0x20A and clears the
// MSCNT; n is at most kGeoMaxBatchVertices so that a subpacket fits both above TOPS and above 0x20A.
//
// The view packet ends with MSCAL 0: entry 0 only takes the new matrices (they are read from VU1 memory
// when the geometry is drawn). The geometry's MSCNT draws the batch at TOPS.
//
// Behaviour: vertices in batches of three are triangles. Each vertex goes through local-to-screen and
// is divided by w; S and T are divided by w and Q = 1/w for perspective-correct texturing. Lit programs
// colour a vertex ambient + sum_k colour_k * max(0, n . light_k) (light rows point towards the lights),
// alpha 128. Programs without clipping drop a triangle with a vertex at or behind the eye or outside the
// GS coordinate range rather than drawing it wrapped. Screen cull drops triangles wholly off one side of
// the screen (0..4095 around the 2048 centre of the drawing range); triangle cull also drops back faces:
// a triangle is front-facing when its vertices run counter-clockwise on the screen (y down), which is
// a right-handed outward winding ((b - a) x (c - a) points at the viewer) in a camera space with x right,
// y down, z forward. Clipping programs clip each triangle against |x|, |y|, |z| <= w in clip space,
// map the pieces through clip-to-screen and draw them as a fan.
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

// Program ids of the unskinned family (first word of the MPG payload).
inline constexpr uint32_t kProgPreLit16 = 0x0001;
inline constexpr uint32_t kProgPreLitSCull16 = 0x0002;
inline constexpr uint32_t kProgPreLitTCull16 = 0x0003;
inline constexpr uint32_t kProgPreLitTClip16 = 0x0004;
inline constexpr uint32_t kProgRGBAOverWrite16 = 0x0005;
inline constexpr uint32_t kProgRGBAScale16 = 0x0006;
inline constexpr uint32_t kProgLit16 = 0x0007;
inline constexpr uint32_t kProgLitTCull16 = 0x0008;
inline constexpr uint32_t kProgPreLit32 = 0x0009;
inline constexpr uint32_t kProgPreLitTClip32 = 0x000A;
inline constexpr uint32_t kProgLit32 = 0x000B;

// Largest vertex count of one subpacket (a V4-32 unpack moves at most 255 quadwords: 3 x 84 = 252).
inline constexpr uint32_t kGeoMaxBatchVertices = 84;
// The batch sizes of the "16" and "32" families, in triangles.
inline constexpr uint32_t kGeoBatchTriangles16 = 16;
inline constexpr uint32_t kGeoBatchTriangles32 = 28;

struct GeometryProgramConfig {
    const char* name;
    bool lit;
    bool screenCull;
    bool triangleCull;
    bool clip;
    int rgba;  // 0 plain, 1 scale by row 16, 2 overwrite with row 16
};

class GeometryProgram : public Microprogram {
public:
    explicit GeometryProgram(const GeometryProgramConfig& c) : c_(c) {}
    const char* Name() const override { return c_.name; }
    void Call(VuState& vu, uint32_t entry) override;
    void Continue(VuState& vu) override;

    // Triangles drawn, dropped as back-facing or off-screen, and refused packets since start-up.
    static uint64_t TrianglesDrawn();
    static uint64_t TrianglesCulled();
    static uint64_t PacketsRefused();

private:
    GeometryProgramConfig c_;
};

}  // namespace engine::vu1
