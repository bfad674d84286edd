// The common-objects sub-files of the race HUD and its fonts. The game and the disc writer both name
// them here.
#pragma once

namespace common {

inline constexpr int kDigitalFont = 142;   // "digital.fnt": the speed digits
inline constexpr int kUni25Font = 144;     // "uni25.fnt": track bonus text
inline constexpr int kUniSmallFont = 146;  // "unism.fnt": stunt list
// Preload light states 0..2, all drawn over the speedometer dial.
inline constexpr int kPreloadLight0 = 163;
inline constexpr int kPreloadLights = 3;
inline constexpr int kRadarBracket = 166;
inline constexpr int kSpeedDial = 167;
inline constexpr int kStatBox = 168;
inline constexpr int kStatBoxFreestyle = 211;
inline constexpr int kMapArrow = 171;
// The next checkpoint's blinking blip, 20 frames.
inline constexpr int kBlip0 = 172;
inline constexpr int kBlipFrames = 20;
inline constexpr int kGuideArrowGeometry = 193;
// Stunt-advantage segments 1..8 and nitro lights 1..5, overlays on the stat box's corner of the dial.
inline constexpr int kStuntSegment0 = 198;
inline constexpr int kStuntSegments = 8;
inline constexpr int kNitroLight0 = 206;
inline constexpr int kNitroLights = 5;

constexpr bool IsHudPicture(int i) {
    return (i >= kPreloadLight0 && i <= kSpeedDial + 1) || i == kMapArrow ||
           (i >= kBlip0 && i < kBlip0 + kBlipFrames) || (i >= kStuntSegment0 && i <= kStatBoxFreestyle);
}

constexpr const char* HudFontName(int i) {
    switch (i) {
        case kDigitalFont:
            return "digital.fnt";
        case kUni25Font:
            return "uni25.fnt";
        case kUniSmallFont:
            return "unism.fnt";
        default:
            return nullptr;
    }
}

}  // namespace common
