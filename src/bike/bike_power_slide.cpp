// KineticBike::powerSlideHandler: accelerating and braking power slides (handling states 5 to 8).
#include "bike/bike_power_slide.h"

#include "bike/kinetic_bike.h"

void KineticBike::powerSlideHandler(bool, bool) {}
