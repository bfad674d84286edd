#include "bike/components/bands.h"

#include <cstddef>

namespace {

// The points below and above `key` nearest to it (starting from the first and last points), or the
// exact point. Returns the exact point's index or -1, and the bracket through lo/hi.
template <class Point, class Key>
int bracket(const std::vector<Point>& pts, unsigned key, Key keyOf, std::size_t& lo, std::size_t& hi) {
    lo = 0;
    hi = pts.size() - 1;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        const unsigned k = keyOf(pts[i]);
        if (k == key) return static_cast<int>(i);
        if (k < key && k > keyOf(pts[lo])) lo = i;
        if (k > key && k < keyOf(pts[hi])) hi = i;
    }
    return -1;
}

}  // namespace

void CPowerBands::setTorque(unsigned rpm, unsigned torque) {
    for (PowerBand& b : powerBands)
        if (b.rpm == rpm) {
            b.torque = torque;
            return;
        }
    powerBands.push_back({rpm, torque});
}

float CPowerBands::getTorque(unsigned rpm) const {
    if (powerBands.empty()) return 0.0f;
    std::size_t lo, hi;
    auto key = [](const PowerBand& b) { return b.rpm; };
    const int exact = bracket(powerBands, rpm, key, lo, hi);
    if (exact >= 0) return static_cast<float>(powerBands[static_cast<std::size_t>(exact)].torque);
    const PowerBand& l = powerBands[lo];
    const PowerBand& h = powerBands[hi];
    if (l.rpm == h.rpm) return static_cast<float>(h.torque);
    const float t = (static_cast<float>(rpm) - static_cast<float>(l.rpm)) /
                    (static_cast<float>(h.rpm) - static_cast<float>(l.rpm));
    return static_cast<float>(l.torque) + t * (static_cast<float>(h.torque) - static_cast<float>(l.torque));
}

void CSpeedBands::setBoost(unsigned velocity, float boost) {
    for (SpeedBand& b : speedBands)
        if (b.velocity == velocity) {
            b.boost = boost;
            return;
        }
    speedBands.push_back({velocity, boost});
}

void CSpeedBands::setTurbo(unsigned minVel, unsigned maxVel, float scale) {
    turboBands.push_back({minVel, maxVel, (minVel + maxVel) / 2, scale});
}

float CSpeedBands::getBoost(unsigned velocity) const {
    float t = 1.0f;
    const float v = static_cast<float>(velocity);
    for (const TurboBand& b : turboBands) {
        if (!(b.minVel < velocity && velocity < b.maxVel)) continue;
        const float lo = static_cast<float>(b.minVel);
        const float opt = static_cast<float>(b.optVel);
        const float hi = static_cast<float>(b.maxVel);
        if (velocity < b.optVel)
            t = 1.0f + b.scale * (v - lo) / (opt - lo);
        else if (velocity > b.optVel)
            t = 1.0f + b.scale * (1.0f - (v - opt) / (hi - opt));
        else
            t = 1.0f + b.scale;
        break;
    }
    if (speedBands.empty()) return 0.0f;
    std::size_t lo, hi;
    auto key = [](const SpeedBand& b) { return b.velocity; };
    const int exact = bracket(speedBands, velocity, key, lo, hi);
    if (exact >= 0) return t * speedBands[static_cast<std::size_t>(exact)].boost;
    const SpeedBand& l = speedBands[lo];
    const SpeedBand& h = speedBands[hi];
    if (l.velocity == h.velocity) return t * h.boost;
    const float f = (v - static_cast<float>(l.velocity)) /
                    (static_cast<float>(h.velocity) - static_cast<float>(l.velocity));
    return t * (l.boost + f * (h.boost - l.boost));
}
