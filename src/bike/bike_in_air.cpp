// KineticBike::inAirHandler: pitch, air turns, whips and lean in the air (handling state 10).
#include "bike/bike_in_air.h"

#include "bike/kinetic_bike.h"

void KineticBike::inAirHandler() {}
