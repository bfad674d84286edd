#include "race/hud/hud_text.h"

#include <cmath>
#include <cstdio>

namespace hudtext {

namespace {
void MinSec(float t, int& minutes, float& seconds) {
    minutes = static_cast<int>(std::floor(t / 60.0f));
    seconds = t - 60.0f * static_cast<float>(minutes);
}
}  // namespace

void FormatTime(char* out, size_t n, float t) {
    int m;
    float s;
    MinSec(t, m, s);
    std::snprintf(out, n, s < 10.0f ? "%i.0%2.2f" : "%i.%2.2f", m, static_cast<double>(s));
}

float TimeLeft(int durationSeconds, float raceTime) {
    return std::fmax(0.0f, static_cast<float>(durationSeconds) - raceTime);
}

void FormatLastLap(char* out, size_t n, float delta) {
    char t[32];
    FormatTime(t, sizeof t, std::fabs(delta));
    std::snprintf(out, n, "Last Lap %c%s", delta < 0.0f ? '-' : '+', t);
}

void FormatFastestLap(char* out, size_t n, float fastest) {
    if (fastest >= 1e8f)
        std::snprintf(out, n, "N/A");
    else
        FormatTime(out, n, fastest);
}

int SpeedDigits(float reading) {
    return static_cast<int>(0.01f * 0.6f * 3.6f * reading);
}

int StuntSegments(int percent, int nitros) {
    if (percent == 0 || nitros >= 5) return 0;
    int n = static_cast<int>(static_cast<float>(percent) / 12.5f);
    while (n >= 9) n -= 8;
    return n > 0 ? n : 0;
}

int CountdownFrame(float e) {
    if (e > 3.0f && e <= 4.0f) return 0;
    if (e > 2.0f && e <= 3.0f) return 1;
    if (e > 1.0f && e <= 2.0f) return 2;
    return -1;
}

MapWindow PlaceMap(float u, float v) {
    MapWindow w{};
    const float left = 246.0f - 256.0f * u, top = 155.0f - 256.0f * v;
    w.left = left > 182.0f ? left : 182.0f;
    w.top = top > 91.0f ? top : 91.0f;
    w.right = 502.0f - 256.0f * u < 310.0f ? 502.0f - 256.0f * u : 310.0f;
    w.bottom = 411.0f - 256.0f * v < 219.0f ? 411.0f - 256.0f * v : 219.0f;
    const float uw = u < 0.0f ? u + 1.0f : u, vw = v < 0.0f ? v + 1.0f : v;
    w.s0 = 0.75f + uw;
    w.t0 = 0.75f - vw;
    w.s1 = 1.25f + uw;
    w.t1 = 1.25f - vw;
    return w;
}

void MapScissor(const MapWindow& w, unsigned& x0, unsigned& y0, unsigned& x1, unsigned& y1) {
    auto u = [](float f) { return f > 0.0f ? static_cast<unsigned>(f) : 0u; };
    x0 = u(w.left + 320.0f);
    x1 = u(w.right + 320.0f);
    y0 = u(241.0f - w.bottom);
    y1 = u(236.0f - w.top);
}

bool InMapWindow(float gx, float gy) {
    return gx > 181.0f && gx < 309.0f && gy > 90.0f && gy < 218.0f;
}

bool EdgeArrow(float& gx, float& gy, float& angle) {
    bool hit = false;
    if (gx < 186.0f) gx = 186.0f, angle = 3.92699f, hit = true;
    if (gy < 94.0f) gy = 94.0f, angle = 2.35619f, hit = true;
    if (gx > 304.0f) gx = 304.0f, angle = 0.785398f, hit = true;
    if (gy > 219.0f) gy = 219.0f, angle = 5.49779f, hit = true;
    return hit;
}

int BuildStuntLines(const StuntJump& j, char (*lines)[50]) {
    int k = 0;
    const int stunts = j.count < 0 ? 0 : (j.count > 3 ? 3 : j.count);
    for (int s = 0; s < stunts; ++s) {
        std::snprintf(lines[k++], 50, "%.30s %d", j.names[s], j.scores[s]);
        if (j.repeats[s] > 0)
            std::snprintf(lines[k++], 50, "Repeat -%d",
                          j.repeats[s] < j.scores[s] ? j.repeats[s] : j.scores[s] - 100);
    }
    if (j.multiplier >= 2) {
        std::snprintf(lines[k++], 50, "Score %d", j.total / j.multiplier);
        std::snprintf(lines[k++], 50, "Multiplier x%d", j.multiplier);
    }
    std::snprintf(lines[k++], 50, "----------");
    std::snprintf(lines[k++], 50, "Total %d", j.total);
    return k;
}

}  // namespace hudtext
