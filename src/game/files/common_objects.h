// The common-objects master file ("COMMON\qz02dat.bin"): what each sub-file holds, by index. The game's
// readers and the disc writer both name sub-files through these.
#pragma once

namespace common {

inline constexpr const char* kFile = "COMMON\\qz02dat.bin";
inline constexpr int kSubFiles = 213;

// Geometry blocks: the bike's levels of detail (finest first) and shadow, the rider's levels (finest
// is 9) and shadow.
inline constexpr int kBikeGeometry[3] = {0, 1, 2};
inline constexpr int kBikeShadow = 6;
inline constexpr int kRiderGeometry[3] = {9, 8, 7};
inline constexpr int kRiderShadow = 10;
// Collision data blocks: the bike's chassis, wheel and crash body (kBikeCollision + 0, 1, 2), and the
// rider.
inline constexpr int kBikeCollision = 3;
inline constexpr int kRiderCollision = 11;
// Motions: sub-files 12 to 75.
inline constexpr int kFirstMotion = 12;
inline constexpr int kLastMotion = 75;
// Fonts.
inline constexpr int kDebugFont = 139;
inline constexpr int kUni18Font = 143;
inline constexpr int kUni18YellowFont = 147;
inline constexpr int kUni25YellowFont = 148;
// The stunt tree (race/control/stunt_tree_format.h).
inline constexpr int kStuntTree = 212;

constexpr bool IsGeometry(int i) {
    return (i >= 0 && i <= 2) || (i >= 6 && i <= 10);
}
constexpr bool IsCollision(int i) {
    return (i >= 3 && i <= 5) || i == 11;
}
constexpr bool IsMotion(int i) {
    return i >= kFirstMotion && i <= kLastMotion;
}
// Graphics files: textures of the race's objects, HUD and pause images.
constexpr bool IsGraphic(int i) {
    return (i >= 76 && i <= 125) || i == 127 || i == 129 || (i >= 133 && i <= 138) || i == 161 || i == 169 ||
           i == 170 || (i >= 194 && i <= 197);
}
// The font in sub-file i, by file name, or nullptr.
constexpr const char* FontName(int i) {
    switch (i) {
        case kDebugFont:
            return "debug.fnt";
        case kUni18Font:
            return "uni18.fnt";
        case kUni18YellowFont:
            return "uni18yel.fnt";
        case kUni25YellowFont:
            return "uni25yel.fnt";
        default:
            return nullptr;
    }
}

}  // namespace common
