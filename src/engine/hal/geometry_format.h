// Builds geometry blocks (engine/hal/geometry.h) from simple meshes: triangle lists per material, each
// material with its texture, packed into VU1 subpackets as engine/vu1/geometry_programs.h describes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/hal/geometry.h"
#include "engine/sys/bitmap_format.h"

struct GeoVertex {
    float x = 0, y = 0, z = 0;
    float s = 0, t = 0;
    float nx = 0, ny = 0, nz = 0;  // lit blocks: the unit normal
    uint32_t rgba = 0x80808080;    // pre-lit blocks: r in the low byte, 128 = 1.0
};

struct GeoMaterial {
    std::vector<GeoVertex> triangles;  // three vertices a triangle, outward faces wound right-handed
    BitmapImage texture;               // 8-bit (256 colours) or 4-bit (16), or 16/32-bit without palette
    int32_t materialId = 0;
};

struct GeoMesh {
    uint16_t geoType = kGeoFamily16 | kGeoPreLit;
    float scale = 1.0f;
    std::vector<GeoMaterial> materials;
};

// The block image; empty when the mesh cannot be written (no triangles in a material, a count not a
// multiple of 3, a texture the table cannot hold with 16-byte alignment).
std::vector<uint8_t> WriteGeometry(const GeoMesh& mesh);

// Appends a bitmap as a block's material table holds it: header (pixdata 0: the pixels follow), pixels,
// palette. False when the pixels are not whole quadwords or the palette not whole quadwords of 1..256.
bool AppendGeoBitmap(std::vector<uint8_t>& out, const BitmapImage& image);
// Palette order the GS reads 8-bit palettes in: entries 8-15 and 16-23 of every 32 swapped.
std::vector<uint32_t> Csm1Palette(const std::vector<uint32_t>& palette);

// A square 8-bit texture of `size` pixels: a checker of two colours in cells of `cell` pixels.
BitmapImage CheckerTexture(uint32_t size, uint32_t cell, uint32_t rgbaA, uint32_t rgbaB);

// Meshes (one material each, using `texture`; pre-lit vertices take `rgba`, lit ones their normals).
// A box centred on the origin with half-extents hx, hy, hz; each face split into n x n quads.
GeoMaterial MakeBox(float hx, float hy, float hz, int n, uint32_t rgba, const BitmapImage& texture);
// A closed cylinder along y, centred on the origin, with `segments` sides.
GeoMaterial MakeCylinder(float radius, float height, int segments, uint32_t rgba, const BitmapImage& texture);
// A ground plane in x-z at y = 0, facing -y (up on a screen whose y grows downwards), tiles x tiles.
GeoMaterial MakeGroundPlane(float width, float depth, int tiles, uint32_t rgba, const BitmapImage& texture);

// A copy of `m` turned by the row-major 3 x 3 rotation `rot` (row vectors: p' = p rot) and moved by t.
GeoMaterial Placed(const GeoMaterial& m, const float rot[9], float tx, float ty, float tz);
// Adds the triangles of `part` to `into` (the texture of `into` is kept).
void Append(GeoMaterial& into, const GeoMaterial& part);
