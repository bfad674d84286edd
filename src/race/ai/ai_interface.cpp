#include "race/ai/ai_interface.h"

#include <memory>
#include <utility>

#include "bike/kinetic_bike.h"
#include "engine/sys/files.h"
#include "race/ai/ai_modules.h"
#include "world/spline_manager.h"

void CAIInterface::setActiveObject(int bikeId) {
    // Made before the old ones go, as the heap has always seen it.
    std::unique_ptr<CAIDecisionModule> modules[] = {
        std::make_unique<CAISplineDM>(), std::make_unique<CAIAvoidDM>(), std::make_unique<CAIStuntDM>(),
        std::make_unique<CAIBlockDM>(), std::make_unique<CAIPreLoadDM>()};
    decisionMaker.reset();
    for (std::unique_ptr<CAIDecisionModule>& m : modules) decisionMaker.loadModule(std::move(m));
    decisionMaker.bikeID = bikeId;
    bikeControl.initWithBikeID(bikeId);
}

void CAIInterface::setDifficulty(int difficulty) {
    decisionMaker.difficulty = decisionMaker.useDifficulty = int16_t(difficulty);
}

void CAIInterface::startPos(float wayTime, float sideOffset) {
    KineticBike* bike = AIBikeById(decisionMaker.bikeID);
    if (bike) bike->laps.curWayTime = wayTime;
    CSplineManager* sm = CSplineManager::getSplineManager();
    qzVector3d p, d;
    if (!sm->getPoint(wayTime, CSplineManager::WayPoint, p, d)) {
        p = qzVector3d(4000.0f, -15000.0f, 4000.0f);
        d = qzVector3d(0.0f, 0.0f, 1.0f);
    }
    bLapped = sm->bStartLapped;
    qzMath::qzMathVectorNormalize(&d);
    const qzVector3d side(-d.z, d.y, d.x);
    p = p + side * sideOffset;
    if (bike) bike->setStartPos(p, d);
}

void CAIInterface::processAI(std::vector<CPacket>& packets, int numFrames) {
    if (KineticBike* bike = AIBikeById(decisionMaker.bikeID)) recoverIfStuck(*bike);
    CAIControlPacket order;
    decisionMaker.createOrders(order, numFrames);
    bikeControl.TranslateAndAppend(order, packets, decisionMaker.bAltLine != 0, numFrames);
}

void CAIInterface::advanceWayPos(KineticBike& bike) {
    CSplineManager* sm = CSplineManager::getSplineManager();
    const float old = bike.laps.curWayTime;
    const float now =
        sm->advanceControlTime(old, bike.position, static_cast<unsigned char>(bike.laps.currentCheckPoint));
    bike.laps.curWayTime = now;
    qzVector3d p, d;
    if (sm->getPoint(old, CSplineManager::WayPoint, p, d)) {
        qzMath::qzMathVectorNormalize(&d);
        bike.maybeFlashWrongWay(d, old < 10000.0f ? bike.position : p);
    }
    if (!bLapped && sm->isPastLap(now)) {
        bike.setCurLap(bike.laps.curLap + 1);
        bLapped = 1;
    }
    if (now < old) bLapped = 0;
    if (now != wayStillAt || bike.laps.frameCountForMessage < wayStillSince) {
        wayStillAt = now;
        wayStillSince = bike.laps.frameCountForMessage;
        wayStillReported = 0;
    } else if (!wayStillReported && bike.laps.frameCountForMessage - wayStillSince >= kStillReportSteps) {
        x_printf("Way time stands still: bike %d (%s) at %.0f for %u s, at x %.0f z %.0f\n",
                 decisionMaker.bikeID, bike.isCPU ? "computer" : "player", static_cast<double>(now),
                 kStillReportSteps / 60, static_cast<double>(bike.position.x),
                 static_cast<double>(bike.position.z));
        wayStillReported = 1;
    }
}

void CAIInterface::recoverIfStuck(KineticBike& bike) {
    // Counted in the bike's own steps: a paused race (no steps) stands nobody still.
    const uint32_t step = bike.laps.frameCountForMessage;
    if (bike.laps.curWayTime != drivenWayAt || step < drivenStep) {
        drivenWayAt = bike.laps.curWayTime;
        drivenStep = step;
        return;
    }
    // A crash runs its course (it puts the bike back by itself, often behind its way time).
    if (step - drivenStep < kRecoverSteps || bike.crash.crashing || bike.crash.crashState != 0) return;
    drivenStep = step;
    qzVector3d p, d;
    if (!CSplineManager::getSplineManager()->getPoint(bike.laps.curWayTime, CSplineManager::WayPoint, p, d))
        return;
    x_printf("Rider put back on the track: bike %d at way time %.0f, from x %.0f z %.0f\n",
             decisionMaker.bikeID, static_cast<double>(bike.laps.curWayTime),
             static_cast<double>(bike.position.x), static_cast<double>(bike.position.z));
    qzMath::qzMathVectorNormalize(&d);
    bike.setStartPos(p, d);
}
