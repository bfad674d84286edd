#include "race/scene/track_camera.h"

#include "bike/kinetic_bike.h"
#include "game/core/random.h"
#include "world/spline_manager.h"

namespace {

qzVector3d RecordPos(const _TrackCameraRecord& r) {
    return qzVector3d(r.pos[0], r.pos[1], r.pos[2]);
}

float Dist2(const qzVector3d& a, const qzVector3d& b) {
    float d;
    qzMath::qzMathVectorDistanceSquared(&d, &a, &b);
    return d;
}

}  // namespace

CTrackCamera::CTrackCamera() = default;

const void* CTrackCamera::loadAndAdvance(const void* data, size_t bytes) {
    _cameraInfo = static_cast<const _TrackCameraRecord*>(data);
    _numCameras = 0;
    const size_t fit = data ? bytes / sizeof(_TrackCameraRecord) : 0;
    while (_numCameras < fit && _cameraInfo[_numCameras].type != 0) ++_numCameras;
    const size_t used = _numCameras < fit ? _numCameras + 1 : fit;
    if (_numCameras == 0) _cameraInfo = nullptr;
    return static_cast<const uint8_t*>(data) + used * sizeof(_TrackCameraRecord);
}

void CTrackCamera::findBikeOnTrack(KineticBike* bike) {
    if (!bike || _numCameras == 0) return;
    float best = 0.0f;
    for (uint32_t i = 0; i < _numCameras; ++i) {
        const float d = Dist2(RecordPos(_cameraInfo[i]), bike->position);
        if (i == 0 || d < best) {
            best = d;
            _currentIndex = static_cast<int32_t>(i);
        }
    }
}

int CTrackCamera::selectTrackCamBySpline(KineticBike* bike) {
    if (_numCameras == 0 || _currentIndex < 0) return _currentIndex;
    qzVector3d p, dir;
    if (!CSplineManager::getSplineManager()->getPoint(bike->laps.curWayTime, CSplineManager::WayPoint, p,
                                                      dir))
        return _currentIndex;
    const uint32_t next = (static_cast<uint32_t>(_currentIndex) + 1) % _numCameras;
    return Dist2(RecordPos(_cameraInfo[next]), p) < Dist2(RecordPos(_cameraInfo[_currentIndex]), p)
               ? static_cast<int>(next)
               : _currentIndex;
}

void CTrackCamera::selectTrackCam() {
    KineticBike* bike = targetBike();
    if (!bike || _numCameras == 0) return;
    if (_currentIndex < 0) findBikeOnTrack(bike);
    _prevMode = Mode;
    if (!_firstTime) _prevIndex = _currentIndex;
    _firstTime = 0;
    if (selectTrackCamBySpline(bike) != _currentIndex) {
        _currentIndex = static_cast<int32_t>((static_cast<uint32_t>(_currentIndex) + 1) % _numCameras);
        _inFollow = 0;
    }
    if (_inFollow) return;
    const _TrackCameraRecord& r = _cameraInfo[_currentIndex];
    if (Dist2(RecordPos(r), bike->position) > kPanDistance * kPanDistance) {
        subMode = 0;
        SetMode(CAMMODE_PAN);
        return;
    }
    if (_prevIndex == _currentIndex) return;
    if (_switchToFollow) {
        SetMode(CAMMODE_PAN);
        _switchToFollow = 0;
        _inFollow = 1;
        return;
    }
    if (r.type == 1) {
        SetMode(CAMMODE_HOLD);
        position = RecordPos(r);
        tryLookPos = position + qzVector3d(r.dir[0], r.dir[1], r.dir[2]) * 10.0f;
    } else if (r.type == 2) {
        SetMode(CAMMODE_TRACKCAM_PAN);
        position = RecordPos(r);
    } else {
        _enabled = 0;
        cameraTargetId = -1;
        SetMode(CAMMODE_IDLE);
    }
    position.pad = r.pos[3];
    teleport = 1;
    filterUL.stabilize(0.0f);
    filterRL.stabilize(0.0f);
    filterFL.stabilize(0.0f);
}

void CTrackCamera::update(float dt) {
    if (!_enabled) return;
    if (_numCameras == 0) {
        panCam(2u, 30u);
        CCamera::update(dt);
        return;
    }
    if (_switchCount == kFramesBeforePan) {
        _switchToFollow = 1;
        _switchCount = 0;
    }
    if (!_inFollow) ++_switchCount;
    selectTrackCam();
    if (Mode == CAMMODE_PAN) {
        if (_prevMode != CAMMODE_PAN) {
            const auto distance = static_cast<float>(static_cast<int>(GetRandomNumber(500.0f, 800.0f)));
            const auto elevation = static_cast<float>(static_cast<int>(GetRandomNumber(30.0f, 100.0f)));
            const auto heading = static_cast<float>(static_cast<int>(GetRandomNumber(0.0f, 360.0f)));
            positionPanCam(distance, elevation, heading);
            _upDownChoice = elevation < 65.0f ? 1 : 0;
            _leftRightChoice = heading < 180.0f ? 2 : 3;
            panFreeze = 1;
            toPanCam = 1.0f;
            prevPanCam = 1.0f;
            _prevMode = CAMMODE_PAN;
        }
        panCam(_upDownChoice, 25u);
        panCam(_leftRightChoice, 40u);
    }
    CCamera::update(dt);
}

void CTrackCamera::aimAt(int bikeId, KineticBike* bike) {
    cameraTargetId = bikeId;
    findBikeOnTrack(bike);
    _firstTime = 1;
    _inFollow = 0;
    _switchToFollow = 0;
    _enabled = 1;
}
