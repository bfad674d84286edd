// Something outside the vehicle that adjusts it once per step, after the friction parameters are filled
// and before the friction solve.
#pragma once

namespace Kinetic {

class KineticVehicle;

class ExternalVehicleController {
public:
    virtual void update(KineticVehicle& vehicle) = 0;
    virtual ~ExternalVehicleController() = default;
};

}  // namespace Kinetic
