// The immediate-mode primitive program. Input in VU1 memory:
//   0-3   local-to-screen matrix (rows; points are row vectors, translation in row 3)
//   4-7   local-to-clip matrix   (all zero for a 2D view)
//   8-11  clip-to-screen matrix
//   TOPS+0  (2, 1, 0, 0)        integers: quadwords a vertex takes in the output, loops per vertex
//   TOPS+1  (2n, 0, 0, 0)
//   TOPS+2  GIF tag: NLOOP n, EOP, PRE with PRIM, PACKED, 3 registers ST, RGBAQ, XYZ2
//   TOPS+3  n vertices of 3 quadwords: (x, y, z, w) floats, (s, t, q, pad) floats, (r, g, b, a) integers
// Output: the GIF tag, then per vertex ST, RGBAQ, XYZ2, kicked on PATH1.
//
// 3D view: each point (x, y, z, 1) goes through local-to-screen and is divided by the resulting w; S, T
// and Q are multiplied by 1 / w too, for perspective-correct texturing. A primitive with a vertex at or
// behind the eye (w <= 0) or outside the GS coordinate range is dropped rather than drawn wrapped.
// 2D view (the local-to-clip matrix is zero): x and y are scaled and offset by local-to-screen and the
// vertex's z, already the view's running depth, is used as it is, once, clamped to the 24-bit Z range.
// Colours are on the GS scale (128 = 1.0) and clamped to 255.
//
// Each primitive packet ends with MSCNT: the continuation draws the primitive at TOPS. A call (MSCAL) draws
// nothing: the view packets end with MSCAL 0 for whatever program is resident, and with this one resident
// (the last thing drawn was a primitive) the buffer at TOPS still holds an earlier primitive, which would
// be drawn again with the new view's matrices.
#pragma once

#include "engine/vu1/programs.h"

namespace engine::vu1 {

class PrimitiveProgram : public Microprogram {
public:
    const char* Name() const override { return "primitiveMicroCode"; }
    void Call(VuState&, uint32_t) override {}
    void Continue(VuState& vu) override;

    // Primitives dropped (bad input or out of range) since start-up, for tests.
    static uint64_t Dropped();
};

}  // namespace engine::vu1
