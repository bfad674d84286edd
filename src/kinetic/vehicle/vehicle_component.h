// Base of the nine vehicle component kinds: one update per vehicle step, run in a fixed order.
#pragma once

namespace Kinetic {

class KineticVehicle;

class VehicleComponent {
public:
    virtual ~VehicleComponent() = default;
    virtual void updateComponent() {}

    KineticVehicle* m_vehicle = nullptr;  // set when the vehicle adopts the component
};

}  // namespace Kinetic
