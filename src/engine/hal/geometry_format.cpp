#include "engine/hal/geometry_format.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "engine/vu1/geometry_programs.h"

namespace {

void Put(std::vector<uint8_t>& out, const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}
void Put32(std::vector<uint8_t>& out, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    Put(out, w, 16);
}
void PutF(std::vector<uint8_t>& out, float a, float b, float c, float d) {
    const float w[4] = {a, b, c, d};
    Put(out, w, 16);
}

// The subpackets of one material: batches of the family's triangle count.
std::vector<uint8_t> Packet(const GeoMaterial& m, bool lit, bool family32, int context,
                            uint32_t* numPackets) {
    std::vector<uint8_t> out;
    const size_t perBatch =
        3 * (family32 ? engine::vu1::kGeoBatchTriangles32 : engine::vu1::kGeoBatchTriangles16);
    *numPackets = 0;
    for (size_t first = 0; first < m.triangles.size(); first += perBatch) {
        const uint32_t n = static_cast<uint32_t>(std::min(perBatch, m.triangles.size() - first));
        const uint32_t next = 80 + 48 * n;
        Put32(out, next, 64, 64 + 48 * n, 0);  // the info record
        Put32(out, 0, 0, 0, 0x6C028000);       // UNPACK V4-32, 2 qw to TOPS + 0
        Put32(out, n, 0, 0, 0);
        const uint64_t prim = 3 | (1u << 3) | (1u << 4) | (uint64_t(context) << 9);
        const uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (prim << 47) | (3ull << 60), 0x512};
        Put(out, tag, 16);
        Put32(out, 0, 0, 0, 0x6C008002u | ((3 * n) << 16));  // UNPACK V4-32, 3n qw to TOPS + 2
        for (uint32_t i = 0; i < n; ++i) {
            const GeoVertex& v = m.triangles[first + i];
            PutF(out, v.x, v.y, v.z, 1.0f);
            PutF(out, v.s, v.t, 1.0f, 0.0f);
            if (lit)
                PutF(out, v.nx, v.ny, v.nz, 0.0f);
            else
                Put32(out, v.rgba & 0xFF, (v.rgba >> 8) & 0xFF, (v.rgba >> 16) & 0xFF, v.rgba >> 24);
        }
        Put32(out, 0x17000000, 0, 0, 0);  // MSCNT
        ++*numPackets;
    }
    return out;
}

void Quad(GeoMaterial& m, const float a[3], const float b[3], const float c[3], const float d[3],
          const float n[3], uint32_t rgba, float s0, float t0, float s1, float t1) {
    auto v = [&](const float* p, float s, float t) {
        GeoVertex g;
        g.x = p[0], g.y = p[1], g.z = p[2];
        g.s = s, g.t = t;
        g.nx = n[0], g.ny = n[1], g.nz = n[2];
        g.rgba = rgba;
        return g;
    };
    // a b c d run around the quad so that (b - a) x (c - a) is the outward normal.
    for (const GeoVertex& g :
         {v(a, s0, t0), v(b, s1, t0), v(c, s1, t1), v(a, s0, t0), v(c, s1, t1), v(d, s0, t1)})
        m.triangles.push_back(g);
}

}  // namespace

bool AppendGeoBitmap(std::vector<uint8_t>& out, const BitmapImage& img) {
    _FS_BITMAP h = MakeBitmapHeader(img);
    h.pixdata = 0;
    h.coldata = 0;
    const uint64_t px = veEngineGeoBitmapPixelBytes(&h);
    if (img.pixels.size() != px || px % 16 != 0) return false;
    if (h.palettized && (h.numColors == 0 || h.numColors > 256 || h.numColors % 4 != 0)) return false;
    Put(out, &h, sizeof h);
    Put(out, img.pixels.data(), img.pixels.size());
    for (uint32_t c : img.palette) Put(out, &c, 4);
    return true;
}

std::vector<uint32_t> Csm1Palette(const std::vector<uint32_t>& p) {
    std::vector<uint32_t> out(p.size());
    for (size_t i = 0; i < p.size(); ++i) {
        const size_t pos = (i & ~size_t(0x18)) | ((i & 8) << 1) | ((i & 16) >> 1);
        if (pos < out.size()) out[pos] = p[i];
    }
    return out;
}

BitmapImage CheckerTexture(uint32_t size, uint32_t cell, uint32_t a, uint32_t b) {
    BitmapImage img;
    img.width = img.height = size;
    img.bitsPerPixel = 8;
    img.pixels.resize(size_t(size) * size);
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) img.pixels[y * size + x] = ((x / cell + y / cell) & 1) ? 1 : 0;
    std::vector<uint32_t> pal(256, 0);
    pal[0] = a;
    pal[1] = b;
    img.palette = Csm1Palette(pal);
    return img;
}

std::vector<uint8_t> WriteGeometry(const GeoMesh& mesh) {
    const bool lit = !(mesh.geoType & kGeoPreLit);
    const bool family32 = (mesh.geoType & kGeoFamily32) && !(mesh.geoType & kGeoFamily16);
    if (mesh.materials.empty() || mesh.materials.size() > size_t(kGeoMaxMaterials)) return {};
    _FS_GEO_HEADER h{};
    h.geoType = mesh.geoType & ~(kGeoSkeleton | kGeoSkinnedVu0 | kGeoSkinnedVu1);
    h.numMeshes = 1;
    h.numMaterials = static_cast<int32_t>(mesh.materials.size());
    h.scaleXYZ = mesh.scale;
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    std::vector<uint8_t> records;
    for (size_t i = 0; i < mesh.materials.size(); ++i) {
        const GeoMaterial& m = mesh.materials[i];
        if (m.triangles.empty() || m.triangles.size() % 3 != 0) return {};
        for (const GeoVertex& v : m.triangles) {
            const float p[3] = {v.x, v.y, v.z};
            for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
        }
        uint32_t numPackets = 0;
        const std::vector<uint8_t> packet = Packet(m, lit, family32, static_cast<int>(i & 1), &numPackets);
        _FS_GEO_MATERIAL rec{};
        rec.materialId = m.materialId;
        rec.numTriangles = static_cast<int32_t>(m.triangles.size() / 3);
        rec.numPackets = numPackets;
        rec.numVerts = static_cast<uint32_t>(m.triangles.size());
        rec.packetLength = static_cast<uint32_t>(packet.size() / 16);
        Put(records, &rec, sizeof rec);
        records.insert(records.end(), packet.begin(), packet.end());
        h.numTriangles += rec.numTriangles;
    }
    // Corners 1-4 are the near face (z low) in order around it, 5-8 the far face.
    const float box[8][3] = {{lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]},
                             {lo[0], hi[1], lo[2]}, {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]},
                             {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]}};
    for (int c = 0; c < 8; ++c) {
        for (int k = 0; k < 3; ++k) h.bBox.corner[c][k] = box[c][k];
        h.bBox.corner[c][3] = 1.0f;
    }
    h.materialOffset = static_cast<uint32_t>(sizeof h + records.size());
    const uint32_t slots = (static_cast<uint32_t>(mesh.materials.size()) + 3) & ~3u;
    h.vertexInfoOffset = 0;
    h.vertexInfoSize = 0;

    std::vector<uint8_t> out;
    Put(out, &h, sizeof h);
    out.insert(out.end(), records.begin(), records.end());
    out.resize(out.size() + 4 * slots, 0);
    for (const GeoMaterial& m : mesh.materials)
        if (!AppendGeoBitmap(out, m.texture)) return {};
    return out;
}

GeoMaterial MakeBox(float hx, float hy, float hz, int n, uint32_t rgba, const BitmapImage& texture) {
    GeoMaterial m;
    m.texture = texture;
    if (n < 1) n = 1;
    // For each face: its normal and two in-plane axes u, v with u x v = normal.
    struct Face {
        float n[3], u[3], v[3];
    };
    static constexpr Face kFaces[6] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
        {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}}, {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}},
    };
    const float ext[3] = {hx, hy, hz};
    for (const Face& f : kFaces) {
        auto point = [&](float a, float b, float out[3]) {
            for (int k = 0; k < 3; ++k) out[k] = (f.n[k] + f.u[k] * a + f.v[k] * b) * ext[k];
        };
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                const float a0 = -1 + 2.0f * i / n, a1 = -1 + 2.0f * (i + 1) / n;
                const float b0 = -1 + 2.0f * j / n, b1 = -1 + 2.0f * (j + 1) / n;
                float p0[3], p1[3], p2[3], p3[3];
                point(a0, b0, p0);
                point(a1, b0, p1);
                point(a1, b1, p2);
                point(a0, b1, p3);
                Quad(m, p0, p1, p2, p3, f.n, rgba, float(i) / n, float(j) / n, float(i + 1) / n,
                     float(j + 1) / n);
            }
    }
    return m;
}

GeoMaterial MakeCylinder(float radius, float height, int segments, uint32_t rgba,
                         const BitmapImage& texture) {
    GeoMaterial m;
    m.texture = texture;
    if (segments < 3) segments = 3;
    const float h = height / 2;
    const float up[3] = {0, -1, 0}, down[3] = {0, 1, 0};
    const float top[3] = {0, -h, 0}, bottom[3] = {0, h, 0};
    for (int i = 0; i < segments; ++i) {
        const float a0 = 2.0f * float(M_PI) * i / segments, a1 = 2.0f * float(M_PI) * (i + 1) / segments;
        const float c0 = std::cos(a0), s0 = std::sin(a0), c1 = std::cos(a1), s1 = std::sin(a1);
        const float p0[3] = {radius * c0, -h, radius * s0}, p1[3] = {radius * c1, -h, radius * s1};
        const float p2[3] = {radius * c1, h, radius * s1}, p3[3] = {radius * c0, h, radius * s0};
        const float am = (a0 + a1) / 2;
        const float n[3] = {std::cos(am), 0, std::sin(am)};
        // p1 p0 p3 p2 around the side quad: (p0 - p1) x (p3 - p1) points outwards.
        Quad(m, p1, p0, p3, p2, n, rgba, float(i + 1) / segments, 0, float(i) / segments, 1);
        auto tri = [&](const float* a, const float* b, const float* c, const float* nn) {
            for (const float* p : {a, b, c}) {
                GeoVertex g;
                g.x = p[0], g.y = p[1], g.z = p[2];
                g.s = 0.5f + p[0] / (2 * radius);
                g.t = 0.5f + p[2] / (2 * radius);
                g.nx = nn[0], g.ny = nn[1], g.nz = nn[2];
                g.rgba = rgba;
                m.triangles.push_back(g);
            }
        };
        tri(top, p0, p1, up);
        tri(bottom, p2, p3, down);
    }
    return m;
}

GeoMaterial MakeGroundPlane(float width, float depth, int tiles, uint32_t rgba, const BitmapImage& texture) {
    GeoMaterial m;
    m.texture = texture;
    if (tiles < 1) tiles = 1;
    const float n[3] = {0, -1, 0};
    for (int i = 0; i < tiles; ++i)
        for (int j = 0; j < tiles; ++j) {
            const float x0 = -width / 2 + width * i / tiles, x1 = -width / 2 + width * (i + 1) / tiles;
            const float z0 = -depth / 2 + depth * j / tiles, z1 = -depth / 2 + depth * (j + 1) / tiles;
            const float a[3] = {x0, 0, z0}, b[3] = {x0, 0, z1}, c[3] = {x1, 0, z1}, d[3] = {x1, 0, z0};
            Quad(m, a, d, c, b, n, rgba, 0, 0, 1, 1);
        }
    return m;
}

GeoMaterial Placed(const GeoMaterial& m, const float rot[9], float tx, float ty, float tz) {
    GeoMaterial out = m;
    for (GeoVertex& v : out.triangles) {
        const float p[3] = {v.x, v.y, v.z}, n[3] = {v.nx, v.ny, v.nz};
        v.x = p[0] * rot[0] + p[1] * rot[3] + p[2] * rot[6] + tx;
        v.y = p[0] * rot[1] + p[1] * rot[4] + p[2] * rot[7] + ty;
        v.z = p[0] * rot[2] + p[1] * rot[5] + p[2] * rot[8] + tz;
        v.nx = n[0] * rot[0] + n[1] * rot[3] + n[2] * rot[6];
        v.ny = n[0] * rot[1] + n[1] * rot[4] + n[2] * rot[7];
        v.nz = n[0] * rot[2] + n[1] * rot[5] + n[2] * rot[8];
    }
    return out;
}

void Append(GeoMaterial& into, const GeoMaterial& part) {
    into.triangles.insert(into.triangles.end(), part.triangles.begin(), part.triangles.end());
}
