// libFuzzer target for the animation reader. The first input byte picks the skeleton (the sample rider,
// the sample bike, or a 34-bone chain that every routed channel fits), the rest is the block. The block is
// copied to a buffer of exactly its size from the C library's allocator, so AddressSanitizer sees any read
// past its end. Accepted blocks are sampled at awkward times, mirrored or not, then blended, mirrored and
// turned into a palette.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_format.h"
#include "engine/anim/anim_pose.h"
#include "engine/sys/files.h"
#include "mkdisc/motions.h"

namespace {

std::vector<_bone> ChainBones(uint32_t n) {
    std::vector<_bone> b(n);
    std::memset(b.data(), 0, n * sizeof(_bone));
    for (uint32_t i = 0; i < n; ++i) {
        b[i].boneID = i;
        b[i].parentID = i ? i - 1 : 0;
        b[i].parentToBone = {0.0f, 1.0f, 0.0f};
    }
    b[9].mirrorID = 16;
    b[16].mirrorID = 9;
    return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::vector<_bone> skeletons[3] = {RiderSkeletonBones(), BikeSkeletonBones(), ChainBones(34)};
    // ANIM_FUZZ_LOG=1 shows the refusal lines (to see why a seed is refused).
    static const bool log = [] {
        if (std::getenv("ANIM_FUZZ_LOG")) x_InitSTDIO();
        return true;
    }();
    (void)log;
    if (size < 1 || size > (1u << 20)) return 0;
    std::vector<_bone>& bones = skeletons[data[0] % 3];
    const _skeleton skel{static_cast<uint32_t>(bones.size()), bones.data()};
    const size_t n = size - 1;
    auto* block = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    if (!block) return 0;
    if (n) std::memcpy(block, data + 1, n);
    const auto* anim = reinterpret_cast<const _animation*>(block);
    if (veAnimCheckAnimation(anim, static_cast<uint32_t>(n), &skel) == 0) {
        _angle_array* a = veAnimAllocAngleArray(&skel);
        _angle_array* b = veAnimAllocAngleArray(&skel);
        _matrix4* pal = veAnimAllocBonePalette(&skel);
        const float length = veAnimGetAnimationLength(anim);
        const float times[] = {-1.0f, 0.0f, 0.5f * length, length, length + 1.0f, 1e30f, NAN, 0.017f};
        for (float t : times) {
            veAnimGetAngle(a, anim, &skel, 0, t);
            veAnimGetAngle(b, anim, &skel, 1, t);
            veAnimMirrorAnglesFast(b, &skel);
            veAnimBlendMotion(a, a, b, &skel, 0.4f);
            veAnimGetMatriciesFast(pal, a, &skel, nullptr);
            _vector3d p;
            veAnimGetBonePositionFast(&p, pal, &skel, static_cast<uint16_t>(skel.boneCount - 1));
        }
        veAnimFreeBonePalette(pal);
        veAnimFreeAngleArray(a);
        veAnimFreeAngleArray(b);
    }
    std::free(block);
    return 0;
}
