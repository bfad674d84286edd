// Race progress of a bike and the readings other parts of the game take from it: the off-track mark
// and the checkpoints crossed each step, the laps the race hands over, the HUD speedometer and the
// drawn wheels' suspension offsets.
#include "bike/bike_laps.h"

#include "bike/components/bike_suspension.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/files.h"
#include "engine/sys/math.h"
#include "game/core/global_options.h"
#include "game/model/global_time.h"
#include "world/subtile_model.h"
#include "world/terrain_type.h"

namespace bikelaps {

unsigned PathSamples(float length, int gridSize) {
    if (!(length > 0.0f) || gridSize <= 0) return 1;
    const float n = length / (0.5f * static_cast<float>(gridSize));
    return n < static_cast<float>(kMaxPathSamples) ? static_cast<unsigned>(n) + 1 : kMaxPathSamples;
}

}  // namespace bikelaps

namespace {

// Off-track surfaces (codes 59 to 107) and the automatic-crash code 126; 58 itself does not count.
bool IsOffTrackCode(unsigned t) {
    return (t >= 59 && t <= 107) || t == 126;
}

constexpr float kStill = 0.925926f;    // m/s; slower reads 0
constexpr uint32_t kSettleSteps = 30;  // steps after a placing that read 0
constexpr float kLockedWheelOffset = 8.0f;
constexpr float kSecondsPerMinute = 60.0f;
constexpr float kModelUnitsPerMetre = 100.0f;  // the speedometer reads model units per second / 60
constexpr float kWheelRestOffset = -20.0f;     // model units along up of a wheel at rest length
constexpr float kFrontTravelScale = 1.2f;      // drawn travel per unit of suspension travel, front ...
constexpr float kBackTravelScale = 1.75f;      // ... and back

}  // namespace

void KineticBike::checkPoint() {
    const unsigned t = CTerrainType::getInstance()->getTypeAtPoint(ground.bikePos.x, ground.bikePos.z);
    laps.isOffTrack = crash.crashState == 0 && IsOffTrackCode(t) ? 1 : 0;
    checkTerrainPoint();
    laps.lastPos = ground.bikePos;
}

void KineticBike::checkTerrainPoint() {
    const CTerrainType* terrain = CTerrainType::getInstance();
    const float dx = ground.bikePos.x - laps.lastPos.x, dz = ground.bikePos.z - laps.lastPos.z;
    const float length = x_sqrt(dx * dx + dz * dz);
    const unsigned n = bikelaps::PathSamples(length, CSubtileModel::gridSize);
    const float k = n > 1 ? 0.5f * static_cast<float>(CSubtileModel::gridSize) / length : 0.0f;
    for (unsigned i = 0; i < n; ++i) {
        const float s = k * static_cast<float>(i);
        const unsigned c = terrain->getCheckPoint(laps.lastPos.x + dx * s, laps.lastPos.z + dz * s);
        if (c == laps.currentCheckPoint) {
            ++laps.currentCheckPoint;
            laps.isOffTrack = 0;
            laps.trackToHudOffTrack = bikelaps::kHudOnTrack;
            laps.trackToHudMissedCheckPoint = bikelaps::kHudCheckPointTaken;
        } else if (c < bikelaps::kNoCheckPoint && c > laps.currentCheckPoint && !isCPU) {
            x_printf("Missed checkpoint: %u, at %u\n", laps.currentCheckPoint, c);
            laps.trackToHudMissedCheckPoint = bikelaps::kHudCheckPointMissed;
        }
    }
}

void KineticBike::setCurLap(int lap) {
    if (lap != 0) {
        bikeStats.setLapTime(globalTime);
        const int32_t count = bikeStats.currentLapCount;
        const float t = count > 0 ? bikeStats.lapTimes[count - 1] : CStats::startTime;
        const float minutes = x_floor(t / kSecondsPerMinute);
        x_printf("********LAP Time %f\n", static_cast<double>(t));
        x_printf("********Time %i.%2.2f\n", static_cast<int>(minutes),
                 static_cast<double>(t - kSecondsPerMinute * minutes));
        bikeStats._currentLapTimeStamp = globalTime;
        laps.currentCheckPoint = 0;
        if (lap == gameOptions.duration) bikeStats.finishTime = bikeStats.raceTime;
    }
    laps.curLap = lap;
}

float KineticBike::getSpeedometerReading() {
    float s = 0.0f;
    if (crash.crashState == 0 && crash.postCrashCounter >= kSettleSteps) {
        if (air.inAir)
            s = frame.inAirLinearVelocityMag;
        else if (crash.movingForward)
            s = frame.linearVelocityMag;
    }
    if (s < kStill) s = 0.0f;
    return ride.speedometerFilter.step(kModelUnitsPerMetre * s * speedScale);
}

float KineticBike::getFrontWheelSuspensionCompression() const {
    if (crash.lockSuspension) return kLockedWheelOffset;
    const auto* sus = static_cast<const Kinetic::CBikeSuspension*>(m_suspension);
    if (!sus || sus->suspensionCurrentLength.size() < 2) return kWheelRestOffset;
    return kWheelRestOffset + kFrontTravelScale * kModelUnitsPerMetre *
                                  (sus->suspensionRestLength[0] - sus->suspensionCurrentLength[0]);
}

float KineticBike::getBackWheelSuspensionCompression() const {
    if (crash.lockSuspension) return kLockedWheelOffset;
    const auto* sus = static_cast<const Kinetic::CBikeSuspension*>(m_suspension);
    if (!sus || sus->suspensionCurrentLength.size() < 2) return kWheelRestOffset;
    return kWheelRestOffset + kBackTravelScale * kModelUnitsPerMetre *
                                  (sus->suspensionRestLength[1] - sus->suspensionCurrentLength[1]);
}
