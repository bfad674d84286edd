// The HUD's numbers and texts as pure functions of what it reads: time strings, the speed digits, the
// lit light segments, the radar's placement and edge arrow, the off-track countdown and the stunt list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace hudtext {

// The dark rim of the warnings printed over the course (font colour, alpha 0x80 opaque).
inline constexpr uint32_t kOutlineColour = 0x80000000u;
// The jump's trick lines: right-aligned under the radar (which ends at y -87), one line of the main
// font (14 high) every 20.
inline constexpr int kTrickListTop = -78, kTrickListStep = 20;
// The attract race's caption, right-aligned low on the right where the dial is in a race (the attract
// race has the dial, stat box and radar off), away from the guide arrow above the course.
inline constexpr int kDemoModeX = 260, kDemoModeY = 195, kPressStartX = 290, kPressStartY = 210;

// "m.ss.hh" with a zero before single-digit seconds ("1.05.25", "0.07.50").
void FormatTime(char* out, size_t n, float seconds);
// A freestyle session's time left: none once it has run out (the last step can overshoot the limit).
float TimeLeft(int durationSeconds, float raceTime);
// "Last Lap +m.ss.hh" when `delta` (previous lap minus this one) is 0 or more, else "Last Lap -...".
void FormatLastLap(char* out, size_t n, float delta);
// The fastest lap, "N/A" while no lap has been done (the time still holds 1e8).
void FormatFastestLap(char* out, size_t n, float fastest);
// Miles per hour from the speedometer's reading (100 x metres per second).
int SpeedDigits(float reading);
// Stunt-advantage segments lit for `percent` of the next level with `nitros` nitros in hand.
int StuntSegments(int percent, int nitros);
// Countdown card (0..2) for `elapsed` seconds off the track; -1 for none.
int CountdownFrame(float elapsed);

// The radar window for the reference racer at map offset (256 u, 256 v), u and v being its position
// over the world's extent before wrapping.
struct MapWindow {
    float s0, t0, s1, t1;            // texture coordinates of the top-left and bottom-right corners
    float left, top, right, bottom;  // clip in map points
};
MapWindow PlaceMap(float u, float v);
// Screen scissor of a clip in map points: columns x0..x1 and rows y0..y1 of the 640 x 448 screen.
void MapScissor(const MapWindow& w, unsigned& x0, unsigned& y0, unsigned& x1, unsigned& y1);
// True when map point (gx, gy) lies inside the window (blip or dot drawn).
bool InMapWindow(float gx, float gy);
// The edge arrow for the next checkpoint at map point (gx, gy): clamped point and angle; false when it
// lies within the window's edges (no arrow).
bool EdgeArrow(float& gx, float& gy, float& angle);

// The stunt list of one jump: at most 20 lines of 50 characters; returns the line count.
struct StuntJump {
    int count;  // stunts in the jump (only the first three are read)
    const char (*names)[30];
    const int32_t* scores;
    const int32_t* repeats;
    int32_t multiplier, total;
};
int BuildStuntLines(const StuntJump& jump, char (*lines)[50]);

}  // namespace hudtext
