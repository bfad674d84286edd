// KineticBike::straightHandler and wheelieTurnHandler: coasting, accelerating, braking, wheelies and
// the stoppie (handling states 0, 1, 2, 11 to 14).
#include "bike/bike_straight.h"

#include "bike/kinetic_bike.h"

void KineticBike::straightHandler() {}
void KineticBike::wheelieTurnHandler(bool) {}
