// One computer rider (or a human's bike after the finish): the decision maker with its five modules,
// the hands that work the bike controller, and the racer's progress along the waypoint line.
#pragma once

#include <cstdint>
#include <vector>

#include "race/ai/ai_bike_control.h"
#include "race/ai/ai_decision.h"

class CPacket;
class KineticBike;

class CAIInterface {
public:
    CAIInterface() = default;

    // Creates and loads the modules (spline, avoid, stunt, block, preload) for the bike with model object
    // id `bikeId` and binds the bike control to it.
    void setActiveObject(int bikeId);
    void setChaseTarget(int bikeId) { decisionMaker.chaseID = bikeId; }
    void setDifficulty(int difficulty);
    // Places the bike on the grid at way time `wayTime`, `sideOffset` units beside the line.
    void startPos(float wayTime, float sideOffset);
    // One AI step covering `numFrames` frames; appends the bike's packets.
    void processAI(std::vector<CPacket>& packets, int numFrames);
    // Moves the racer's way time along the waypoint line and counts its laps.
    void advanceWayPos(KineticBike& bike);
    // Called with every AI step of the bike the rider drives: a rider whose way time has stood still
    // for kRecoverSteps bike steps while it drove is put back on the track at its way time's point
    // (once a crash is over), as a player is after riding off the track. Nothing that wedges a bike,
    // keeps it from the next gate or crashes it again and again holds it for long.
    void recoverIfStuck(KineticBike& bike);

    CAIDecisionMaker decisionMaker;
    CAIBikeControl bikeControl;
    uint8_t bLapped = 0;  // the lap of the current way time was already counted

    // A racer whose way time stands still this long (bike steps, 60 a second) is reported once in the
    // log: a rider that has lost the line (circling, wedged) shows up in any long run.
    static constexpr uint32_t kStillReportSteps = 600;
    float wayStillAt = -1.0f;    // the way time last seen
    uint32_t wayStillSince = 0;  // the bike's step count when it was first seen there
    uint8_t wayStillReported = 0;

    // Five seconds of bike steps (60 a second): with a crash in progress running its course first,
    // still inside the report above.
    static constexpr uint32_t kRecoverSteps = 300;
    float drivenWayAt = -1.0f;  // the way time at the rider's last step
    uint32_t drivenStep = 0;    // the bike's step count when the way time last moved on
};
