#include "engine/hal/geometry_skinned_format.h"

#include <algorithm>
#include <cfloat>
#include <cstring>
#include <map>

#include "engine/anim/anim_format.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/vu1/skinned_programs.h"

namespace {

void Put(std::vector<uint8_t>& out, const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    out.insert(out.end(), b, b + n);
}
void Put32(std::vector<uint8_t>& out, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    const uint32_t w[4] = {a, b, c, d};
    Put(out, w, 16);
}
uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

constexpr uint32_t kStripTriangles = engine::vu1::kSkinMaxStripVertices / 3;

struct Group {
    std::vector<uint16_t> bones;    // skeleton indices, slot = position
    std::vector<size_t> triangles;  // first vertex of each triangle
    uint32_t Slot(uint16_t bone) const {
        return uint32_t(std::find(bones.begin(), bones.end(), bone) - bones.begin());
    }
};

// Triangles in order into groups of at most 12 bones.
bool MakeGroups(const SkinMaterial& m, std::vector<Group>& groups) {
    groups.clear();
    for (size_t t = 0; t < m.triangles.size(); t += 3) {
        std::vector<uint16_t> need;
        for (size_t k = 0; k < 3; ++k) {
            const SkinVertex& v = m.triangles[t + k];
            for (uint16_t b : {v.boneA, v.boneB})
                if (std::find(need.begin(), need.end(), b) == need.end()) need.push_back(b);
        }
        if (need.size() > 12) return false;
        if (groups.empty()) groups.emplace_back();
        Group* g = &groups.back();
        size_t extra = 0;
        for (uint16_t b : need) extra += g->Slot(b) == g->bones.size();
        if (g->bones.size() + extra > 12) {
            groups.emplace_back();
            g = &groups.back();
        }
        for (uint16_t b : need)
            if (g->Slot(b) == g->bones.size()) g->bones.push_back(b);
        g->triangles.push_back(t);
    }
    return true;
}

// One subpacket: info, [group header], strip vertex data, execute command, [VU0 block].
void PutStrip(std::vector<uint8_t>& out, const SkinMaterial& m, const Group& g, size_t firstTri, size_t tris,
              bool header, bool vu0, bool lit, int context, uint32_t subpackets) {
    const uint32_t n = static_cast<uint32_t>(3 * tris);
    const uint32_t geo = header ? ((4 + 2 * uint32_t(g.bones.size()) + 15) & ~15u) : 0;
    const uint32_t vsize = 48 + 48 * n;
    const uint32_t esize = 16;
    const uint32_t next = geo + vsize + esize + (vu0 ? 32 + 64 * n : 0);
    Put32(out, next, geo, vsize, esize);
    if (header) {
        std::vector<uint8_t> h(geo, 0);
        const uint16_t count = static_cast<uint16_t>(subpackets), nb = static_cast<uint16_t>(g.bones.size());
        std::memcpy(&h[0], &count, 2);
        std::memcpy(&h[2], &nb, 2);
        for (size_t k = 0; k < g.bones.size(); ++k) std::memcpy(&h[4 + 2 * k], &g.bones[k], 2);
        Put(out, h.data(), h.size());
    }
    Put32(out, 0, 0, 0, 0x6C008006u | ((2 + 3 * n) << 16));
    Put32(out, n, 0, 0, 0);
    const uint64_t prim = 3 | (1u << 3) | (1u << 4) | (uint64_t(context) << 9);
    const uint64_t tag[2] = {(1ull << 15) | (1ull << 46) | (prim << 47) | (3ull << 60), 0x512};
    Put(out, tag, 16);
    auto vertex = [&](size_t i) -> const SkinVertex& {
        return m.triangles[g.triangles[firstTri + i / 3] + i % 3];
    };
    for (uint32_t i = 0; i < n; ++i) {
        const SkinVertex& s = vertex(i);
        Put32(out, Bits(s.v.x), Bits(s.v.y), Bits(s.v.z), Bits(s.weightA));
        Put32(out, Bits(s.v.s), Bits(s.v.t), g.Slot(s.boneA), g.Slot(s.boneB));
        if (lit)
            Put32(out, Bits(s.v.nx), Bits(s.v.ny), Bits(s.v.nz), 0);
        else
            Put32(out, s.v.rgba & 0xFF, (s.v.rgba >> 8) & 0xFF, (s.v.rgba >> 16) & 0xFF, s.v.rgba >> 24);
    }
    Put32(out, 0x17000000, 0, 0, 0);  // MSCNT
    if (!vu0) return;
    Put32(out, 0, 0, 0, 0x6C000030u | ((4 * n) << 16));
    for (uint32_t i = 0; i < n; ++i) {
        const SkinVertex& s = vertex(i);
        Put32(out, Bits(s.v.x), Bits(s.v.y), Bits(s.v.z), Bits(1.0f));
        Put32(out, Bits(s.v.nx), Bits(s.v.ny), Bits(s.v.nz), 0);
        Put32(out, Bits(s.v.s), Bits(s.v.t), 0, 0);
        Put32(out, Bits(s.weightA), 0, g.Slot(s.boneA), g.Slot(s.boneB));
    }
    Put32(out, 0x14000000, 0, 0, 0);  // MSCAL 0
}

}  // namespace

std::vector<uint8_t> WriteSkinnedGeometry(const SkinMesh& mesh) {
    const size_t bones = mesh.skeleton.size();
    if (bones == 0 || bones > size_t(kGeoMaxBones) || mesh.materials.empty() ||
        mesh.materials.size() > size_t(kGeoMaxMaterials))
        return {};
    const bool lit = mesh.vu0 || !mesh.preLit;
    _FS_GEO_HEADER h{};
    h.geoType = static_cast<uint16_t>((mesh.vu0 ? kGeoSkinnedVu0 : kGeoSkinnedVu1) | kGeoSkeleton |
                                      kGeoFamily16 | (lit ? 0 : kGeoPreLit));
    h.numMeshes = 1;
    h.numMaterials = static_cast<int32_t>(mesh.materials.size());
    h.scaleXYZ = mesh.scale;
    float lo[3] = {FLT_MAX, FLT_MAX, FLT_MAX}, hi[3] = {-FLT_MAX, -FLT_MAX, -FLT_MAX};
    std::vector<uint8_t> body;
    const uint32_t count = static_cast<uint32_t>(bones);
    Put32(body, count, 0, 0, 0);
    for (size_t i = 0; i < bones; ++i) {
        _geo_bone g{};
        static_assert(sizeof g == sizeof(_bone));
        std::memcpy(&g, &mesh.skeleton[i], sizeof g);
        g.boneID = static_cast<uint32_t>(i);
        if (i == 0) g.parentID = 0;
        Put(body, &g, sizeof g);
    }
    for (size_t mi = 0; mi < mesh.materials.size(); ++mi) {
        const SkinMaterial& m = mesh.materials[mi];
        if (m.triangles.empty() || m.triangles.size() % 3 != 0) return {};
        for (const SkinVertex& s : m.triangles) {
            if (s.boneA >= bones || s.boneB >= bones) return {};
            const float p[3] = {s.v.x, s.v.y, s.v.z};
            for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
        }
        std::vector<Group> groups;
        if (!MakeGroups(m, groups)) return {};
        const int32_t tris = static_cast<int32_t>(m.triangles.size() / 3);
        Put32(body, static_cast<uint32_t>(m.materialId), static_cast<uint32_t>(tris),
              static_cast<uint32_t>(groups.size()), static_cast<uint32_t>(m.triangles.size()));
        for (const Group& g : groups) {
            const uint32_t strips =
                static_cast<uint32_t>((g.triangles.size() + kStripTriangles - 1) / kStripTriangles);
            if (strips > 0xFFFF) return {};
            for (uint32_t s = 0; s < strips; ++s) {
                const size_t first = size_t(s) * kStripTriangles;
                const size_t n = std::min<size_t>(kStripTriangles, g.triangles.size() - first);
                PutStrip(body, m, g, first, n, s == 0, mesh.vu0, lit, static_cast<int>(mi & 1), strips);
            }
        }
        h.numTriangles += tris;
    }
    // The box is widened so that a model posed near its bind pose stays inside it.
    const float margin = 0.25f * std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    const float box[8][3] = {{lo[0], lo[1], lo[2]}, {hi[0], lo[1], lo[2]}, {hi[0], hi[1], lo[2]},
                             {lo[0], hi[1], lo[2]}, {lo[0], lo[1], hi[2]}, {hi[0], lo[1], hi[2]},
                             {hi[0], hi[1], hi[2]}, {lo[0], hi[1], hi[2]}};
    for (int c = 0; c < 8; ++c) {
        for (int k = 0; k < 3; ++k) {
            const float mid = (lo[k] + hi[k]) / 2;
            h.bBox.corner[c][k] = box[c][k] + (box[c][k] < mid ? -margin : margin);
        }
        h.bBox.corner[c][3] = 1.0f;
    }
    h.materialOffset = static_cast<uint32_t>(sizeof h + body.size());
    std::vector<uint8_t> out;
    Put(out, &h, sizeof h);
    out.insert(out.end(), body.begin(), body.end());
    out.resize(out.size() + 4 * ((mesh.materials.size() + 3) & ~size_t(3)), 0);
    for (const SkinMaterial& m : mesh.materials)
        if (!AppendGeoBitmap(out, m.texture)) return {};
    return out;
}
