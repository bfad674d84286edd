#include "mkdisc/models.h"

#include "engine/anim/anim_format.h"
#include "mkdisc/motions.h"

namespace {

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
// Cylinder axis (y) turned onto x: a wheel's axle.
constexpr float kAxleX[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};

GeoMaterial Box(float hx, float hy, float hz, float x, float y, float z, const BitmapImage& t) {
    return Placed(MakeBox(hx, hy, hz, 1, 0x80808080, t), kIdentity, x, y, z);
}

// A motorbike along +z with its wheels on the ground (y = 0, up is -y): body and wheels as two
// materials; `segments` sets the wheels' roundness (the levels of detail differ in it).
GeoMesh Bike(int segments) {
    const BitmapImage paint = CheckerTexture(16, 8, 0x802020E0, 0x801818B0);
    const BitmapImage rubber = CheckerTexture(16, 4, 0x80282828, 0x80383838);
    GeoMaterial body;
    body.texture = paint;
    Append(body, Box(0.08f, 0.12f, 0.50f, 0, -0.60f, 0, paint));       // frame and tank
    Append(body, Box(0.12f, 0.04f, 0.25f, 0, -0.78f, -0.25f, paint));  // seat
    Append(body, Box(0.03f, 0.25f, 0.03f, 0, -0.58f, 0.62f, paint));   // fork
    Append(body, Box(0.35f, 0.02f, 0.02f, 0, -0.90f, 0.55f, paint));   // handlebar
    Append(body, Box(0.10f, 0.04f, 0.20f, 0, -0.70f, 0.72f, paint));   // front mudguard
    GeoMaterial wheels;
    wheels.texture = rubber;
    for (float z : {-0.70f, 0.70f})
        Append(wheels,
               Placed(MakeCylinder(0.33f, 0.12f, segments, 0x80808080, rubber), kAxleX, 0, -0.33f, z));
    GeoMesh mesh;
    mesh.materials = {body, wheels};
    return mesh;
}

// A seated rider over the bike's seat: legs, torso, arms to the handlebar, helmet.
GeoMesh Rider(int headSegments) {
    const BitmapImage suit = CheckerTexture(16, 8, 0x80E0E0E0, 0x8040A0F0);
    const BitmapImage helmet = CheckerTexture(16, 8, 0x8000C0F0, 0x80202020);
    GeoMaterial body;
    body.texture = suit;
    for (float x : {-0.13f, 0.13f}) {
        Append(body, Box(0.07f, 0.07f, 0.22f, x, -0.85f, -0.05f, suit));        // thigh
        Append(body, Box(0.06f, 0.22f, 0.06f, x, -0.60f, 0.15f, suit));         // shin
        Append(body, Box(0.05f, 0.05f, 0.22f, x * 1.7f, -1.30f, 0.30f, suit));  // arm
    }
    Append(body, Box(0.18f, 0.28f, 0.12f, 0, -1.18f, -0.05f, suit));  // torso
    GeoMaterial head;
    head.texture = helmet;
    if (headSegments >= 3)
        Append(head,
               Placed(MakeCylinder(0.13f, 0.26f, headSegments, 0x80808080, helmet), kIdentity, 0, -1.62f, 0));
    else
        Append(head, Box(0.13f, 0.13f, 0.13f, 0, -1.62f, 0, helmet));
    GeoMesh mesh;
    mesh.materials = {body, head};
    return mesh;
}

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
        case 0:
            return WriteGeometry(Bike(16));  // bike, finest level of detail
        case 1:
            return WriteGeometry(Bike(10));
        case 2:
            return WriteGeometry(Bike(6));
        case 6:
            return WriteGeometry(Shadow(0.6f, 1.8f));
        case 7:
            return WriteGeometry(Rider(0));  // rider, coarsest level of detail
        case 8:
            return WriteGeometry(Rider(6));
        case 9:
            return WriteGeometry(Rider(12));
        case 10:
            return WriteGeometry(Shadow(0.7f, 0.9f));
        default:
            return {};
    }
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
