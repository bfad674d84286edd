// KineticBike::turningHandler: turning left and right (handling states 3 and 4).
#include "bike/bike_turning.h"

#include "bike/kinetic_bike.h"

void KineticBike::turningHandler(bool) {}
