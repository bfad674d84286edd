// The bike's power band (engine torque by RPM) and speed band (engine boost by speed key, lifted inside
// the turbo windows). Both look up by bracketing the argument between the nearest points below and above
// and interpolating; outside the table the nearest end point answers. The bike creates them and its
// engine component owns them.
#pragma once

#include <vector>

struct PowerBand {
    unsigned rpm;
    unsigned torque;
};

struct SpeedBand {
    unsigned velocity;
    float boost;
};

struct TurboBand {
    unsigned minVel;
    unsigned maxVel;
    unsigned optVel;
    float scale;
};

class CPowerBands {
public:
    // Replaces the torque of a point at exactly `rpm`, else appends a point.
    void setTorque(unsigned rpm, unsigned torque);
    // 0 for an empty table.
    float getTorque(unsigned rpm) const;

    std::vector<PowerBand> powerBands;
};

class CSpeedBands {
public:
    // Replaces the boost of a point at exactly `velocity`, else appends a point.
    void setBoost(unsigned velocity, float boost);
    // Appends a turbo window with its optimum halfway; windows are never replaced.
    void setTurbo(unsigned minVel, unsigned maxVel, float scale);
    // The band's boost times the factor of the first turbo window strictly containing `velocity`
    // (1 outside every window); 0 for an empty band.
    float getBoost(unsigned velocity) const;

    std::vector<SpeedBand> speedBands;
    std::vector<TurboBand> turboBands;
};
