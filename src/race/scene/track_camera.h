// The trackside camera a player watches after the finish: it cuts between fixed positions along the
// track (read from the world file) as the bike moves along its racing line, and now and then swings
// into a slow orbit around the bike instead.
#pragma once

#include <cstddef>
#include <cstdint>

#include "race/scene/camera.h"
#include "world/world_file_format.h"

class KineticBike;

class CTrackCamera : public CCamera {
public:
    static constexpr uint32_t kFramesBeforePan = 600;
    static constexpr float kPanDistance = 12000.0f;

    CTrackCamera();

    void update(float dt) override;
    void doAction(const CPacket&, float) override {}

    // Takes the records at `data` (at most `bytes` long) and returns the first byte after the ending
    // record (or the end of the data when no record ends the list).
    const void* loadAndAdvance(const void* data, size_t bytes);
    void findBikeOnTrack(KineticBike* bike);
    int selectTrackCamBySpline(KineticBike* bike);
    void selectTrackCam();
    // Starts watching `bikeId` from the nearest record.
    void aimAt(int bikeId, KineticBike* bike);

    uint32_t _numCameras = 0;
    const _TrackCameraRecord* _cameraInfo = nullptr;
    int32_t _currentIndex = -1;
    int32_t _prevIndex = -1;
    int32_t _enabled = 0;
    uint32_t _switchCount = 0;
    uint32_t _prevMode = 0;
    int32_t _inFollow = 0;
    int32_t _switchToFollow = 0;
    int32_t _firstTime = 1;
    uint32_t _leftRightChoice = 2;
    uint32_t _upDownChoice = 0;
};
