#include "mkdisc/models.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/anim/anim_format.h"
#include "engine/sys/bitmap_format.h"
#include "game/files/master_file_format.h"
#include "mkdisc/motions.h"
#include "mkdisc/team_colours.h"

namespace {

// A soft dark oval-ish shadow: a small ground quad with a dark, half-transparent texture.
GeoMesh Shadow(float width, float length) {
    GeoMesh mesh;
    mesh.materials.push_back(
        MakeGroundPlane(width, length, 1, 0x80808080, CheckerTexture(8, 8, 0x40101010, 0x40101010)));
    return mesh;
}

}  // namespace

std::vector<uint8_t> WriteCommonGeometry(int index) {
    switch (index) {
        case 0:  // bike, coarsest level of detail first
        case 1:
        case 2:
            return WriteSkinnedGeometry(BikeMesh(2 - index));
        case 6:
            return WriteGeometry(Shadow(0.6f, 1.8f));
        case 7:  // rider, coarsest level of detail first
        case 8:
        case 9:
            return WriteSkinnedGeometry(RiderGearMesh(9 - index));
        case 10:
            return WriteGeometry(Shadow(0.7f, 0.9f));
        default:
            return {};
    }
}

namespace {

// ---- skinned parts ---------------------------------------------------------------------------------------

// An 8-bit texture painted by `index(x, y)` from `colours` (RGBA, alpha 0x80 = opaque on the GS scale).
BitmapImage Paint(uint32_t size, const std::vector<uint32_t>& colours, uint8_t (*index)(uint32_t, uint32_t)) {
    BitmapImage img;
    img.width = img.height = size;
    img.bitsPerPixel = 8;
    img.pixels.resize(size_t(size) * size);
    for (uint32_t y = 0; y < size; ++y)
        for (uint32_t x = 0; x < size; ++x) img.pixels[y * size + x] = index(x, y);
    std::vector<uint32_t> pal(256, 0);
    for (size_t i = 0; i < colours.size() && i < 256; ++i) pal[i] = colours[i];
    img.palette = Csm1Palette(pal);
    return img;
}

// The sun the models' colours are baked with (model space, y up), and the shade a face takes from it.
uint32_t Shade(uint32_t rgba, float nx, float ny, float nz) {
    const float l = 0.55f + 0.45f * std::max(0.0f, nx * 0.35f + ny * 0.8f + nz * 0.48f);
    auto ch = [&](int shift) {
        return uint32_t(std::min(255.0f, float((rgba >> shift) & 0xFF) * l)) << shift;
    };
    return ch(0) | ch(8) | ch(16) | (rgba & 0xFF000000u);
}

struct Frame3 {
    float rot[9];
};

// A basis whose y axis runs along `dir` (x kept as level as it can be).
Frame3 Along(float dx, float dy, float dz) {
    const float len = std::sqrt(dx * dx + dy * dy + dz * dz);
    const float y[3] = {dx / len, dy / len, dz / len};
    float ref[3] = {1, 0, 0};
    if (std::fabs(y[0]) > 0.9f) ref[0] = 0, ref[2] = 1;
    float z[3] = {ref[1] * y[2] - ref[2] * y[1], ref[2] * y[0] - ref[0] * y[2],
                  ref[0] * y[1] - ref[1] * y[0]};
    const float zl = std::sqrt(z[0] * z[0] + z[1] * z[1] + z[2] * z[2]);
    for (float& c : z) c /= zl;
    const float x[3] = {y[1] * z[2] - y[2] * z[1], y[2] * z[0] - y[0] * z[2], y[0] * z[1] - y[1] * z[0]};
    return {{x[0], x[1], x[2], y[0], y[1], y[2], z[0], z[1], z[2]}};
}

class SkinBuilder {
public:
    explicit SkinBuilder(std::vector<_bone> bones, size_t materials) : bones_(std::move(bones)) {
        mesh_.preLit = true;
        mesh_.skeleton = bones_;
        mesh_.materials.resize(materials);
        for (size_t i = 0; i < materials; ++i) mesh_.materials[i].materialId = int32_t(i);
    }
    void texture(size_t m, const BitmapImage& t) { mesh_.materials[m].texture = t; }
    // Adds a placed part bound to `bone`, its colour shaded by its faces.
    void add(size_t m, const GeoMaterial& part, int bone, uint32_t rgba) {
        for (const GeoVertex& v : part.triangles) {
            SkinVertex s;
            s.v = v;
            s.v.rgba = Shade(rgba, v.nx, v.ny, v.nz);
            s.boneA = s.boneB = uint16_t(bone);
            mesh_.materials[m].triangles.push_back(s);
        }
    }
    // A box of half-widths w (across) and d (depth) from point a to point b.
    void limb(size_t m, _vector3d a, _vector3d b, float w, float d, int bone, uint32_t rgba) {
        const Frame3 f = Along(b.x - a.x, b.y - a.y, b.z - a.z);
        const float len =
            std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
        add(m,
            Placed(MakeBox(w, len * 0.5f, d, 1, rgba, mesh_.materials[m].texture), f.rot, (a.x + b.x) * 0.5f,
                   (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f),
            bone, rgba);
    }
    void box(size_t m, _vector3d c, float hx, float hy, float hz, int bone, uint32_t rgba) {
        static const float kId[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        add(m, Placed(MakeBox(hx, hy, hz, 1, rgba, mesh_.materials[m].texture), kId, c.x, c.y, c.z), bone,
            rgba);
    }
    // A cylinder of `radius` and `width` about an axle along x at c.
    void wheel(size_t m, _vector3d c, float radius, float width, int segments, int bone, uint32_t rgba) {
        static const float kAxle[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
        add(m,
            Placed(MakeCylinder(radius, width, segments, rgba, mesh_.materials[m].texture), kAxle, c.x, c.y,
                   c.z),
            bone, rgba);
    }
    // A cylinder from a to b.
    void tube(size_t m, _vector3d a, _vector3d b, float radius, int segments, int bone, uint32_t rgba) {
        const Frame3 f = Along(b.x - a.x, b.y - a.y, b.z - a.z);
        const float len =
            std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
        add(m,
            Placed(MakeCylinder(radius, len, segments, rgba, mesh_.materials[m].texture), f.rot,
                   (a.x + b.x) * 0.5f, (a.y + b.y) * 0.5f, (a.z + b.z) * 0.5f),
            bone, rgba);
    }
    const _vector3d& at(int bone) const { return bones_[size_t(bone)].globalPos; }
    SkinMesh take() { return std::move(mesh_); }

private:
    std::vector<_bone> bones_;
    SkinMesh mesh_;
};

constexpr uint32_t kWhite = 0x80F0F0F0u, kBlack = 0x80202020u, kGrey = 0x80707070u, kSilver = 0x80B8B8C0u;

_vector3d Off(const _vector3d& p, float x, float y, float z) {
    return {p.x + x, p.y + y, p.z + z};
}

}  // namespace

// Team textures: a base colour with a second colour in bands (jersey), a stripe over the crown (helmet) and
// a slash (plastics).
BitmapImage RiderJerseyTexture(uint32_t base, uint32_t trim) {
    return Paint(32, {base, trim}, [](uint32_t, uint32_t y) -> uint8_t { return (y / 4) % 4 == 3; });
}
BitmapImage RiderHelmetTexture(uint32_t base, uint32_t trim) {
    return Paint(32, {base, trim, 0x80202020u}, [](uint32_t x, uint32_t) -> uint8_t {
        return x >= 12 && x < 20 ? 1 : x >= 10 && x < 22 ? 2 : 0;
    });
}
BitmapImage BikePlasticsTexture(uint32_t base, uint32_t trim) {
    return Paint(32, {base, trim}, [](uint32_t x, uint32_t y) -> uint8_t { return (x + y) / 5 % 4 == 0; });
}

// The rider in gear: jersey and pants (material 0, the team's texture), helmet (1), boots, gloves, goggles
// and body armour (2). `detail` 0 is the finest.
SkinMesh RiderGearMesh(int detail) {
    SkinBuilder b(RiderSkeletonBones(), 3);
    b.texture(0, RiderJerseyTexture(0x80F07020u, 0x80F0F0F0u));
    b.texture(1, RiderHelmetTexture(0x80F07020u, 0x80F0F0F0u));
    b.texture(2, CheckerTexture(16, 16, 0x80FFFFFFu, 0x80FFFFFFu));
    const uint32_t jersey = 0x80808080u,
                   pants = 0x80383030u;  // jersey and helmet take their texture's colours
    // Torso: hips, belly, chest with the jersey over body armour.
    b.limb(0, b.at(0), b.at(2), 15, 11, 1, pants);
    b.limb(0, b.at(2), b.at(4), 17, 12, 2, jersey);
    if (detail < 2)
        b.limb(2, Off(b.at(3), 0, -6, 9), Off(b.at(3), 0, 10, 9), 13, 3, 3, kGrey);  // chest plate
    b.limb(2, b.at(4), Off(b.at(4), 0, 6, 0), 9, 9, 4, kBlack);                      // neck brace
    // Helmet with peak, chin bar and goggles.
    const _vector3d head = b.at(15);
    b.box(1, Off(head, 0, 10, 0), 12, 13, 14, 15, jersey);
    b.box(1, Off(head, 0, 21, 14), 11, 2, 9, 15, jersey);                       // peak
    b.box(1, Off(head, 0, 2, 14), 8, 5, 4, 15, jersey);                         // chin bar
    b.box(2, Off(head, 0, 12, 13), 10, 3, 2, 15, kBlack);                       // goggles
    if (detail == 0) b.box(2, Off(head, 0, 12, 15), 6, 2, 1, 15, 0x8080C0E0u);  // the lens catching the sky
    for (int side : {0, 5}) {
        const int shoulder = 6 + side, elbow = 7 + side, hand = 8 + side;
        b.limb(0, b.at(5 + side), b.at(shoulder), 6, 6, 5 + side, jersey);
        b.limb(0, b.at(shoulder), b.at(elbow), 5.5f, 5.5f, shoulder, jersey);
        b.limb(0, b.at(elbow), b.at(hand), 4.5f, 4.5f, elbow, jersey);
        if (detail < 2) b.box(2, b.at(elbow), 5, 5, 5, elbow, kGrey);  // elbow pad
        b.limb(2, b.at(hand), b.at(hand + 1), 4, 4.5f, hand, kBlack);  // glove
        const int thigh = 18 + side, knee = 19 + side, foot = 20 + side;
        b.limb(0, b.at(thigh), b.at(knee), 8, 8, thigh, pants);
        b.limb(2, b.at(knee), Off(b.at(foot), 0, 14, 0), 6.5f, 6.5f, knee, kWhite);  // boot leg
        if (detail < 2) b.box(2, Off(b.at(knee), 0, -4, 4), 5, 7, 3, knee, kGrey);   // knee brace
        b.limb(2, Off(b.at(foot), 0, 2, -6), b.at(foot + 1), 5, 5, foot, kBlack);    // boot foot
    }
    return b.take();
}

// The motocross bike: plastics (material 0, the team's texture), wheels (1), frame, engine and metal (2).
SkinMesh BikeMesh(int detail) {
    SkinBuilder b(BikeSkeletonBones(), 3);
    b.texture(0, BikePlasticsTexture(0x8010C0F0u, 0x80F0F0F0u));
    b.texture(1, Paint(32, {0x80484848u, 0x80202020u},
                       [](uint32_t x, uint32_t y) -> uint8_t { return (x / 4 + y / 4) % 2; }));
    b.texture(2, CheckerTexture(16, 16, 0x80FFFFFFu, 0x80FFFFFFu));
    const int seg = detail == 0 ? 18 : detail == 1 ? 12 : 7;
    const uint32_t paint = 0x80808080u;
    // Wheels: knobbly tyre, silver rim and hub.
    for (int w : {4, 11}) {
        const _vector3d c = b.at(w);
        b.wheel(1, c, 33, 11, seg, w, 0x80808080u);
        b.wheel(2, c, 25, 11.6f, seg, w, kSilver);
        if (detail < 2) b.wheel(2, c, 6, 16, 8, w, kGrey);
    }
    // Front: fork legs from the head to the axle, bars, number plate and fender.
    const _vector3d head = b.at(1), axle = b.at(4), bars = b.at(2);
    for (float x : {-7.0f, 7.0f}) {
        b.tube(2, Off(head, x, 8, -3), Off(head, x, -14, 8), 2.6f, 6, 1, 0x8040A0C0u);  // stanchions
        b.tube(2, Off(axle, x, 22, -10), Off(axle, x, 0, 0), 3.0f, 6, 3, kBlack);       // lower legs
    }
    b.tube(2, Off(bars, -40, 0, 0), Off(bars, 40, 0, 0), 1.4f, 6, 2, kSilver);  // handlebar
    b.box(2, Off(bars, 36, 0, 0), 5, 2.2f, 2.2f, 2, kBlack);                    // grips
    b.box(2, Off(bars, -36, 0, 0), 5, 2.2f, 2.2f, 2, kBlack);
    b.box(0, Off(head, 0, 8, 10), 14, 12, 2, 1, paint);                      // number plate
    b.limb(0, Off(axle, 0, 38, -22), Off(axle, 0, 40, 26), 9, 2, 3, paint);  // front fender
    // Body: tank and shrouds, seat, side panels, rear fender.
    b.limb(0, Off(head, 0, 2, -8), {0, 26, -2}, 12, 9, 0, paint);  // tank
    b.limb(0, {0, 22, 40}, {0, 0, 40}, 18, 9, 0, paint);           // shrouds
    b.limb(2, {0, 30, -8}, {0, 30, -70}, 11, 4, 0, kBlack);        // seat
    b.limb(0, {0, 16, -30}, {0, 16, -70}, 13, 8, 0, paint);        // side panels
    b.limb(0, {0, 28, -70}, {0, 22, -110}, 10, 2, 0, paint);       // rear fender
    // Frame, engine, exhaust, swing arm, pegs.
    b.tube(2, Off(head, 0, 0, -4), {0, -14, 20}, 2.4f, 6, 0, kGrey);
    b.box(2, b.at(8), 10, 14, 16, 8, 0x80505058u);                  // engine
    b.tube(2, {-12, -4, 26}, {-14, 16, -40}, 3.0f, 6, 9, kSilver);  // header pipe
    b.tube(2, {-14, 16, -40}, b.at(9), 5.0f, 8, 9, kSilver);        // silencer
    for (float x : {-8.0f, 8.0f})
        b.tube(2, Off(b.at(10), x, 0, 0), Off(b.at(11), x, 0, 6), 2.5f, 6, 10, kSilver);  // swing arm
    b.box(2, b.at(6), 6, 1.5f, 3, 6, kGrey);
    b.box(2, b.at(7), 6, 1.5f, 3, 7, kGrey);
    return b.take();
}

namespace {

SkinMesh BoxPerBone(const std::vector<_bone>& bones, float half, uint32_t rgba, bool vu0, uint32_t a,
                    uint32_t b) {
    SkinMesh mesh;
    mesh.vu0 = vu0;
    mesh.preLit = !vu0;
    mesh.skeleton = bones;
    SkinMaterial mat;
    mat.texture = CheckerTexture(16, 4, a, b);
    for (size_t i = 0; i < bones.size(); ++i) {
        static const float kId[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const _vector3d& p = bones[i].globalPos;
        const GeoMaterial box = Placed(MakeBox(half, half, half, 1, rgba, mat.texture), kId, p.x, p.y, p.z);
        for (const GeoVertex& v : box.triangles) {
            SkinVertex s;
            s.v = v;
            s.boneA = s.boneB = static_cast<uint16_t>(i);
            mat.triangles.push_back(s);
        }
    }
    mesh.materials.push_back(std::move(mat));
    return mesh;
}

}  // namespace

SkinMesh RiderSkinMesh(bool vu0) {
    return BoxPerBone(RiderSkeletonBones(), 3.0f, 0x80A06040u, vu0, 0xFF2040C0u, 0xFFE0E0E0u);
}
SkinMesh BikeSkinMesh(bool vu0) {
    return BoxPerBone(BikeSkeletonBones(), 5.0f, 0x804060C0u, vu0, 0xFF20C0E0u, 0xFF303030u);
}
std::vector<uint8_t> WriteRiderSkinnedGeometry(bool vu0) {
    return WriteSkinnedGeometry(RiderSkinMesh(vu0));
}
std::vector<uint8_t> WriteBikeSkinnedGeometry(bool vu0) {
    return WriteSkinnedGeometry(BikeSkinMesh(vu0));
}

// ---- team textures ---------------------------------------------------------------------------------------

namespace {

std::vector<uint8_t> Named(BitmapImage img, const char* prefix, int n) {
    char name[16];
    std::snprintf(name, sizeof name, "%s%02d", prefix, n);
    img.texName = name;
    return WriteBitmap(img);
}

std::vector<uint8_t> Packed(const std::vector<std::vector<uint8_t>>& subFiles) {
    MasterFileWriter w;
    w.beginLabel();
    for (const auto& f : subFiles) w.add(f);
    return w.build();
}

}  // namespace

std::vector<uint8_t> WriteTeamTexture(int subFile) {
    if (subFile >= 76 && subFile <= 95) {  // rider model k: jersey, helmet
        const int k = (subFile - 76) / 2;
        return (subFile - 76) % 2 ? Named(RiderHelmetTexture(kTeamBase[k], kTeamTrim[k]), "helmet", k)
                                  : Named(RiderJerseyTexture(kTeamBase[k], kTeamTrim[k]), "jersey", k);
    }
    if (subFile >= 96 && subFile <= 115) {  // bike model k, far and middle levels
        const int k = (subFile - 96) % 10;
        return Named(BikePlasticsTexture(kTeamBase[k], kTeamTrim[k]), "plastic", k);
    }
    if (subFile >= 116 && subFile <= 125) {  // rider model k, far level: the jersey alone
        const int k = subFile - 116;
        return Named(RiderJerseyTexture(kTeamBase[k], kTeamTrim[k]), "jersfar", k);
    }
    return {};
}

std::vector<uint8_t> WriteHiResRiderFile(int model) {
    const int k = model % 10;
    return Packed({Named(RiderJerseyTexture(kTeamBase[k], kTeamTrim[k]), "hijersey", k),
                   Named(RiderHelmetTexture(kTeamBase[k], kTeamTrim[k]), "hihelmet", k)});
}

std::vector<uint8_t> WriteHiResBikeFile(int model) {
    const int k = model % 10;
    return Packed({Named(BikePlasticsTexture(kTeamBase[k], kTeamTrim[k]), "hiplastic", k)});
}
