// What the track's triggers (pickups, target landing and jump areas) reach of a bike that rides through
// one: its race statistics, and its bonus-pickup flag. The bike is a floor above the world, so the
// triggers know it only through this small interface, which the bike's floor installs (every bike does
// when it is built); until then no model object is a rider and the triggers change nothing.
#pragma once

class CModelObject;
class CStats;

namespace triggers {

// The bike's side.
class Riders {
public:
    virtual ~Riders() = default;
    // The race statistics of `object` when it is a bike, else null.
    virtual CStats* statsOf(CModelObject* object) = 0;
    // Raises the bonus-pickup flag of `object`, a bike (statsOf gave its statistics).
    virtual void raiseBonusPickup(CModelObject* object) = 0;
};

namespace detail {
inline Riders* riders = nullptr;
}  // namespace detail

// The installed side, or null (nothing is a rider).
inline Riders* riders() {
    return detail::riders;
}
inline void setRiders(Riders* r) {
    detail::riders = r;
}

// The statistics of `object` when it is a bike, else null (also while no side is installed).
inline CStats* statsOf(CModelObject* object) {
    return detail::riders ? detail::riders->statsOf(object) : nullptr;
}

}  // namespace triggers
