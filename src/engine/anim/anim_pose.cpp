#include "engine/anim/anim_pose.h"

#include "engine/sys/files.h"
#include "engine/sys/heap.h"

namespace {

uint32_t PoseBones(const _skeleton* skel) {
    if (!skel || skel->boneCount == 0 || skel->boneCount > kAnimMaxBones) return 0;
    return skel->boneCount;
}

// Rotation of q with translation t.
void LocalMatrix(_matrix4* m, const _quaternion* q, const _vector3d* t) {
    Q_SetupMatrix(q, m);
    M4_SetTranslation(m, t);
}

}  // namespace

uint32_t veAnimGetNumBones(const _skeleton* skel) {
    return skel ? skel->boneCount : 0;
}

_angle_array* veAnimAllocAngleArray(const _skeleton* skel) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) {
        x_printf("veAnimAllocAngleArray: bone count %u, 1 to 40; no pose\n", skel ? skel->boneCount : 0u);
        return nullptr;
    }
    auto* pose = static_cast<_angle_array*>(x_fn_malloc(
        static_cast<uint32_t>(sizeof(_angle_array) + sizeof(_quaternion) * bones), __FILE__, __LINE__));
    if (!pose) return nullptr;
    V3_Zero(&pose->rootPosition);
    // Only version 6 writes the heading; a defined value keeps poses of other encodings repeatable.
    pose->rootOrientation = 0.0f;
    for (uint32_t i = 0; i < bones; ++i) Q_Identity(&pose->angles[i]);
    return pose;
}

void veAnimFreeAngleArray(_angle_array* pose) {
    x_free(pose);
}

_matrix4* veAnimAllocBonePalette(const _skeleton* skel) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) {
        x_printf("veAnimAllocBonePalette: bone count %u, 1 to 40; no palette\n", skel ? skel->boneCount : 0u);
        return nullptr;
    }
    return static_cast<_matrix4*>(
        x_fn_malloc(static_cast<uint32_t>(sizeof(_matrix4) * bones), __FILE__, __LINE__));
}

void veAnimFreeBonePalette(_matrix4* palette) {
    x_free(palette);
}

void veAnimInitAnimation(_animation* anim) {
    switch (AnimHeader(anim).versionID) {
        case 1:
        case 2:
            veAnimQtnInitAnimation(anim);
            break;
        case 3:
        case 6:
            veAnimHermiteInitAnimation(anim);
            break;
        default:
            break;
    }
}

void veAnimAllocWorkingAnimation(_animation* anim) {
    switch (AnimHeader(anim).versionID) {
        case 1:
        case 2:
            veAnimQtnAllocWorkingAnimation(anim);
            break;
        case 3:
        case 6:
            veAnimHermiteAllocWorkingAnimation(anim);
            break;
        default:
            break;
    }
}

void veAnimGetAngle(_angle_array* pose, const _animation* anim, const _skeleton* skel, int mirror, float t) {
    const _animation h = AnimHeader(anim);
    switch (h.versionID) {
        case 1:
            veAnimQtnGetAngle(pose, anim, skel, t);
            break;
        case 2:
            veAnimCompressedQtnGetAngle(pose, anim, skel, t);
            break;
        case 3:
            veAnimHermiteGetAngle(pose, anim, skel, t);
            break;
        case 6:
            if (h.revisionID == 1 && h.subRevisionID == 0)
                veAnimHermiteGetAngle_DVO_1(pose, anim, skel, mirror, t);
            else if (h.revisionID == 1 && h.subRevisionID == 1)
                veAnimHermiteGetAngle_DVO_1_1(pose, anim, skel, mirror, t);
            else if (h.revisionID == 2)
                veAnimHermiteGetAngle_DVO_2_Intro(pose, anim, skel, mirror, t);
            break;
        default:
            break;
    }
}

void veAnimBlendMotion(_angle_array* out, const _angle_array* a, const _angle_array* b, const _skeleton* skel,
                       float w) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    _vector3d pa, pb;
    V3_Scale(&pa, &a->rootPosition, 1.0f - w);
    V3_Scale(&pb, &b->rootPosition, w);
    V3_Add(&out->rootPosition, &pa, &pb);
    for (uint32_t i = 0; i < bones; ++i) Q_BlendSpherical(&out->angles[i], &a->angles[i], &b->angles[i], w);
}

void veAnimMirrorAnglesFast(_angle_array* pose, const _skeleton* skel) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    pose->rootPosition.x = -pose->rootPosition.x;
    for (uint32_t i = 0; i < bones; ++i) Q_NegateX(&pose->angles[i], &pose->angles[i]);
    for (uint32_t i = 0; i < bones; ++i) {
        const uint32_t m = skel->boneArray[i].mirrorID;
        if (m > i && m < bones) {  // each pair once; a twin outside the skeleton is ignored
            const _quaternion q = pose->angles[i];
            pose->angles[i] = pose->angles[m];
            pose->angles[m] = q;
        }
    }
}

void veAnimGetMatriciesFast(_matrix4* palette, const _angle_array* pose, const _skeleton* skel,
                            const _matrix4* base) {
    const uint32_t bones = PoseBones(skel);
    if (!bones) return;
    _matrix4 m;
    LocalMatrix(&m, &pose->angles[0], &pose->rootPosition);
    if (base)
        M4_Mult(&palette[0], base, &m);
    else
        palette[0] = m;
    for (uint32_t i = 1; i < bones; ++i) {
        const _bone& b = skel->boneArray[i];
        // Parents precede children; a skeleton that breaks this was refused by its check, and hanging
        // such a bone on the root keeps the build inside the palette.
        const uint32_t parent = b.parentID < i ? b.parentID : 0;
        LocalMatrix(&m, &pose->angles[i], &b.parentToBone);
        M4_Mult(&palette[i], &palette[parent], &m);
    }
}

void veAnimGetBonePositionFast(_vector3d* out, const _matrix4* palette, const _skeleton* skel,
                               uint16_t bone) {
    if (skel && bone >= skel->boneCount) {
        V3_Zero(out);
        return;
    }
    M4_GetTranslation(&palette[bone], out);
}
