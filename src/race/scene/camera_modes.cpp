// The race camera's own modes: free flight, the orbit pan about the bike, the sweep before the start,
// the crash framing and the track-camera pan.
#include <cmath>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "game/core/random.h"
#include "game/model/model.h"
#include "race/scene/camera.h"
#include "world/spline_manager.h"

namespace {

constexpr float kRadToDeg = 57.2957764f;
constexpr float kDegToRad = 0.0174532924f;
constexpr float kMaxRho = 900.0f;

// acos with its argument held to [-1, 1], so rounding never gives NaN.
double SafeAcos(double v) {
    return std::acos(std::fmax(-1.0, std::fmin(1.0, v)));
}

// The bike's centre of mass 80 ahead and 200 up: what the orbit pan swings about.
qzVector3d OrbitCentre(const KineticBike& bike, const qzVector3d& flatForward) {
    qzVector3d c = bike.bikeCenterOfMassPos + flatForward * 80.0f;
    c.y -= 200.0f;
    return c;
}

// Horizontal part of v, unit length (`fallback` for a vertical or zero v); its length goes to `mag`.
qzVector3d FlatUnit(const qzVector3d& v, float& mag, const qzVector3d& fallback) {
    qzVector3d f(v.x, 0.0f, v.z);
    qzMath::qzMathVectorLength(&mag, &f);
    if (!(mag > 0.0f)) return fallback;
    qzMath::qzMathVectorNormalize(&f);
    return f;
}

}  // namespace

void CCamera::UpdateModeFree() {
    qzQuaternion q = qOrientation;
    qzMatrix4 r;
    if (freeCamButtons & (FREECAM_PITCH_UP | FREECAM_PITCH_DOWN | FREECAM_YAW_LEFT | FREECAM_YAW_RIGHT)) {
        Q_SetupMatrix(&q, &r);
        const _vector3d a = {r[0], r[4], r[8]};
        const _vector3d y = {0.0f, 1.0f, 0.0f};
        auto turn = [&q](const _vector3d& axis, float angle) {
            qzQuaternion t;
            Q_SetupFromAxisAngle(&t, &axis, angle);
            Q_PostMultOn(&q, &t);
        };
        if (freeCamButtons & FREECAM_PITCH_UP) turn(a, X_PI * rotationMultXY);
        if (freeCamButtons & FREECAM_PITCH_DOWN) turn(a, -X_PI * rotationMultXY);
        if (freeCamButtons & FREECAM_YAW_LEFT) turn(y, X_PI * rotationMultXZ);
        if (freeCamButtons & FREECAM_YAW_RIGHT) turn(y, -X_PI * rotationMultXZ);
        Q_Normalize(&q);
        qOrientation = q;
    }
    Q_SetupMatrix(&q, &r);
    const qzVector3d right(r[0], r[4], r[8]), up(r[1], r[5], r[9]), forward(r[2], r[6], r[10]);
    const float t = translationMult;
    qzVector3d move;
    if (freeCamButtons & FREECAM_BACK) move = move - forward * t;
    if (freeCamButtons & FREECAM_AHEAD) move = move + forward * t;
    if (freeCamButtons & FREECAM_LEFT) move = move - right * t;
    if (freeCamButtons & FREECAM_RIGHT) move = move + right * t;
    if (freeCamButtons & FREECAM_UP) move = move + up * t;
    if (freeCamButtons & FREECAM_DOWN) move = move - up * t;
    position = position + move;
    forwardVec = forward;
    upVec = up;
    rightVec = right;
    lookPos = position + forward * 10.0f;
    placeHudArrow();
}

void CCamera::anglesFromPanVec() {
    qzMath::qzMathVectorLength(&rho, &panVec);
    if (!(rho > 0.0f)) {
        // On the centre itself: level, on +x.
        phi = 90.0f;
        theta = 0.0f;
        return;
    }
    phi = static_cast<float>(SafeAcos(-panVec.y / rho)) * kRadToDeg;
    const double across = static_cast<double>(rho) * std::sin(phi * kDegToRad);
    theta = across != 0.0 ? static_cast<float>(SafeAcos(panVec.x / across)) * kRadToDeg : 0.0f;
    if (panVec.z < 0.0f) theta = 360.0f - theta;
}

void CCamera::panCam(int direction, int amount) {
    panCam(static_cast<unsigned int>(direction), static_cast<unsigned int>(amount < 0 ? 0 : amount));
}

void CCamera::panCam(unsigned int direction, unsigned int amount) {
    if (Mode != CAMMODE_PAN) {
        Mode = CAMMODE_PAN;
        freeCamButtons = 0;
        prevPanCam = 0.0f;
        toPanCam = 0.0f;
        if (KineticBike* bike = targetBike()) {
            SetupBikeParams(bike);
            panVec = position - OrbitCentre(*bike, flatYForward);
            anglesFromPanVec();
        }
    }
    toPanCam = std::fmin(toPanCam + 0.02f, 1.0f);
    const float f = static_cast<float>(amount) / 255.0f;
    switch (direction) {
        case 0:
            phi -= 1.5f * f;
            break;
        case 1:
            phi += 1.5f * f;
            break;
        case 2:
            theta -= 2.0f * f;
            break;
        case 3:
            theta += 2.0f * f;
            break;
        default:
            break;
    }
    positionPanCam(rho, phi, theta);
    rho = std::fmin(rho + 5.0f, kMaxRho);
}

void CCamera::positionPanCam(float r, float ph, float th) {
    if (Mode != CAMMODE_PAN) {
        Mode = CAMMODE_PAN;
        freeCamButtons = 0;
        prevPanCam = 1.0f;
        toPanCam = 1.0f;
    }
    ph = std::fmax(45.0f, std::fmin(ph, 130.0f));
    double t = th;
    if (t < 0.0) t = std::fmod(360.0 + t, 360.0);
    if (t > 359.0) t = std::fmod(t, 360.0);
    const double p = static_cast<double>(ph * kDegToRad);
    t = static_cast<double>(static_cast<float>(t) * kDegToRad);
    panVec =
        qzVector3d(static_cast<float>(r * std::sin(p) * std::cos(t)), static_cast<float>(-r * std::cos(p)),
                   static_cast<float>(r * std::sin(p) * std::sin(t)));
}

void CCamera::UpdateModePan() {
    KineticBike* bike = targetBike();
    if (!bike) return;
    const qzVector3d b = bike->bikeCenterOfMassPos;
    SetupBikeParams(bike);
    FigureLookPos();
    const qzVector3d c = OrbitCentre(*bike, flatYForward);
    tryLookPos = tryLookPos + (c - tryLookPos) * toPanCam;
    snapLook();
    qzVector3d o = c + panVec;
    if (panFreeze == 0) {
        toPanCam = std::fmax(toPanCam - 0.005f, 0.0f);
        if (toPanCam < prevPanCam) {
            if (toPanCam == 0.0f) {
                prevPanCam = toPanCam = 0.0f;
                SetMode(CAMMODE_FOLLOW);
                return;
            }
            FigureTargetPos();
            MoveCam();
            o = position + (o - position) * toPanCam;
            panVec = o - c;
            anglesFromPanVec();
        }
    }
    prevPanCam = toPanCam;
    const float floor = std::fmin(groundHeightAt(o.x, o.z) - 100.0f, b.y - 100.0f);
    if (floor < o.y) o.y = floor;
    position = o;
}

void CCamera::SetupPregameParams(KineticBike* bike) {
    const qzVector3d b = bike->bikeCenterOfMassPos;
    qzVector3d start = b + bike->frame.forwardDir * 1500.0f + bike->frame.rightDir * 800.0f;
    start.y -= 700.0f;
    SetupBikeParams(bike);
    qzVector3d end = hbPos;
    if (flatYForward.y < 0.99f) {
        end.y -= 150.0f;
        end = end - flatYForward * 350.0f;
    } else {
        end.x -= 350.0f;
    }
    startVec = start - b;
    endVec = end - b;
    const qzVector3d plusX(1.0f, 0.0f, 0.0f);
    const qzVector3d s = FlatUnit(startVec, startMag, plusX);
    const qzVector3d e = FlatUnit(endVec, endMag, s);
    offsetTheta = static_cast<float>(SafeAcos(s.x));
    if (s.z > 0.0f) offsetTheta = X_TWO_PI - offsetTheta;
    totalTheta = static_cast<float>(SafeAcos(s * e));
}

void CCamera::UpdateModePregame() {
    KineticBike* bike = targetBike();
    if (!bike) return;
    if (timeStep < 0.1f) SetupPregameParams(bike);
    const qzVector3d b = bike->bikeCenterOfMassPos;
    if (timeStep <= 1.0f) {
        const float m = startMag + timeStep * (endMag - startMag);
        const float angle = timeStep * totalTheta + offsetTheta;
        const qzVector3d p(m * std::cos(angle), endVec.y + (1.0f - timeStep) * (startVec.y - endVec.y),
                           -m * std::sin(angle));
        TargetPos = b + p;
        position = TargetPos;
        qzVector3d look;
        FigureLookGroundPos(look, 0.2419355f, 0.0f);
        lookPos = b + (look - b) * timeStep;
        timeStep += 0.005f;
    } else {
        timeStep = 0.0f;
        SetMode(CAMMODE_FOLLOW);
    }
}

void CCamera::UpdateModeCrash() {
    KineticBike* bike = targetBike();
    CModel* model = CModel::modelPtr;
    if (!bike || riderTargetId < 0 || static_cast<size_t>(riderTargetId) >= model->objects.size()) return;
    auto* body = dynamic_cast<CRiderModel*>(model->objects[static_cast<size_t>(riderTargetId)]);
    if (!body) return;
    const qzVector3d rider = body->riderCenterOfMassPos;
    const qzVector3d& bikeCentre = bike->bikeCenterOfMassPos;
    float d = 0.0f;
    qzMath::qzMathVectorDistance(&d, &bikeCentre, &rider);
    const float lo = bike->crash.crashType == 4 ? 750.0f : 500.0f;
    const float dist = std::fmax(lo, std::fmin(d, 1200.0f));
    qzVector3d focus;
    if (dist > 1199.9f) {
        focus = GetRandomNumber(0.0f, 1.0f) == 0.0f ? rider : bikeCentre;
    } else {
        focus = (bikeCentre + rider) * 0.5f;
    }
    qzVector3d look = focus;
    look.y -= 100.0f;
    SetupBikeParams(bike);
    FigureTargetPos();
    qzVector3d t = TargetPos;
    t.y -= std::fmin(100.0f + 0.2f * dist, 500.0f);
    t = t + flatYRight * std::fmax(1.2071068f * dist, 400.0f);
    t = t - flatYForward * std::fmax(0.8f * dist, 200.0f);
    TargetPos = t;
    tryLookPos = look;
    MoveCam();
    lazyLook();
}

void CCamera::UpdateModeTrackCamPan() {
    KineticBike* bike = targetBike();
    if (!bike) return;
    qzVector3d p, dir;
    const bool onLine =
        CSplineManager::getSplineManager()->getPoint(bike->laps.curWayTime, CSplineManager::WayPoint, p, dir);
    SetupBikeParams(bike);
    if (onLine) {
        const qzVector3d& centre = bike->bikeCenterOfMassPos;
        tryLookPos = (p + centre) * 0.5f;
        tryLookPos.y = centre.y;
    }
    if (teleport) {
        snapLook();
        teleport = 0;
    } else {
        lazyLook();
    }
}
