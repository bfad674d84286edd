// The terrain programs of VU1: full-detail rows, low-detail strips and the seam bands between subtiles.
//
// VU1 memory as the terrain renderer's packets leave it (quadwords):
//   0-11    local-to-screen, local-to-clip, clip-to-screen (the unskinned view record; the terrain is
//           drawn with an identity local-to-world)
//   32      (g, scaleHeight, g, 256 scaleHeight) floats: grid spacing and the height of one sample step
//   33      (x0, 128, z0, 1/56) floats: the subtile's origin in grid cells, vertex colour, texture step
//   34      (0, 0, 0, cells) with cells an integer (the seam blocks)
//   35      (64, block, 8, -4) integers; block 0 the right seam, 1 the lower seam
//   36, 37  GIF tag templates: the base pass (context 1) and the detail pass (context 2, blended)
//   39-52   height row buffer A (V4-16 unsigned: 56 samples), 446-459 buffer B; rows alternate A, B
//   39, 40  seam: this subtile's border count (x of the qword) and its vertices (V4-8: x, yLow, z, yHi)
//   440,441 seam: the neighbour's border count and vertices
//   64      low detail: strip count m; 65 .. 64 + m strip tags (low 15 bits of the first word: vertex
//           count); 128 .. the vertices of all strips in tag order (V4-8: x, yLow, z, yHi)
//
// Full detail: MSCAL 1 takes row 0; each MSCNT takes the next row and draws the cells between it and the
// row before as triangles split like the ground's collision (even rows from (c + 1, r) to (c, r + 1),
// odd rows from (c, r) to (c + 1, r + 1)), once with the base tag and once with the detail tag.
// Low detail: MSCNT draws each strip as a triangle strip. Seams: MSCAL 1 joins the two borders, both
// sorted along the border, into one band of triangles.
#pragma once

#include <cstdint>

#include "engine/vu1/programs.h"

namespace engine::vu1 {

inline constexpr uint32_t kTerrainParamsAt = 32;
inline constexpr uint32_t kTerrainTagsAt = 36;
inline constexpr uint32_t kTerrainRowA = 39;
inline constexpr uint32_t kTerrainRowB = 446;
inline constexpr uint32_t kTerrainOwnStripAt = 39;
inline constexpr uint32_t kTerrainOtherStripAt = 440;
inline constexpr uint32_t kTerrainLowDetailAt = 64;
inline constexpr uint32_t kTerrainLowDetailVertsAt = 128;
inline constexpr uint32_t kTerrainMaxLowDetailVerts = 255;
// Texture repeats of the detail bitmap across one subtile, and the detail pass's vertex alpha.
inline constexpr float kTerrainDetailRepeat = 8.0f;
inline constexpr float kTerrainDetailAlpha = 40.0f;
inline constexpr float kTerrainDetailFar = 6000.0f;  // depth where the detail has faded out

class TerrainProgram : public Microprogram {
public:
    enum class Kind { FullDetail, LowDetail, Seam };
    TerrainProgram(const char* name, Kind kind, bool clip, bool detail)
        : name_(name), kind_(kind), clip_(clip), detail_(detail) {}
    const char* Name() const override { return name_; }
    void Call(VuState& vu, uint32_t entry) override;
    void Continue(VuState& vu) override;

    static uint64_t TrianglesDrawn();
    // Whether full detail keeps a row's vertices for the next row (on by default; tests turn it off to
    // compare). Returns the previous setting.
    static bool KeepRows(bool keep);
    // Whether full detail makes a row's vertices four at a time (on by default where the processor
    // allows; tests turn it off to compare). Returns the previous setting.
    static bool FourAtATime(bool on);
    // Whether rows are made eight at a time where the processor has AVX2 (on by default where it does;
    // tests turn it off to compare). Returns the previous setting.
    static bool EightAtATime(bool on);
    struct Rows;  // full detail: the grid rows' vertices, kept from one MSCNT to the next

    // What the programs make of a grid vertex before drawing: clip-space position, texture coordinates,
    // plane outcode, position after the divide, whether it fits the GS range, and then the words it
    // goes out as in the base pass and (with the detail pass) the detail pass.
    struct VertexWords {
        float c[4], s, t, dx, dy;
        uint32_t out;
        bool fits;
        uint32_t base[12], detail[12];
    };
    // For tests: the vertices of grid points (cx[i], cz[i]) at height samples[i] under the matrices and
    // parameters in `mem`, made as FourAtATime and EightAtATime say (a last group of fewer than four one
    // by one).
    static void MakeVertices(const VuMemory& mem, const float* cx, const float* cz, const uint32_t* samples,
                             uint32_t n, bool detail, VertexWords* out);

private:
    void FullDetailRows(VuState& vu);
    void LowDetail(VuState& vu);
    void Seam(VuState& vu);

    const char* name_;
    Kind kind_;
    bool clip_;
    bool detail_;
    uint32_t row_ = 0;  // full detail: the row the next MSCNT brings
};

// Registers the terrain programs under their ids (called by RegisterEnginePrograms).
void RegisterTerrainPrograms();

}  // namespace engine::vu1
