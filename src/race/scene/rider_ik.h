// Hand and foot inverse kinematics for a rider on his bike: the physics moves the whole rider by a
// displacement (he leans forward, back and sideways); each limb, a two-bone chain, is then solved so
// that its end reaches where the animation had put it before the body moved, keeping the hands on the
// bars and the feet on the pegs.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

class CRiderView;

enum _IKType : int32_t {
    IK_DUMMY = -1,
    IK_TYPE_LIMB_TO_TARGETPOS = 0,
    IK_TYPE_LIMB_TO_STD = 1,
    IK_NUM_TYPES = 2,
};

struct _ikProcess;
using IKTargetFunc = void (*)(CRiderView*, _ikProcess*, qzVector3d*);

struct _ikProcess {
    _IKType type = IK_DUMMY;
    uint32_t animPart = 0;
    uint32_t limb = 0;  // end bone of the limb (hand or foot)
    uint32_t opponentsID = 0;
    uint32_t bone = 0;
    uint32_t flags = 0;
    float percent = 0.0f;
    float currentPercent = 0.0f;
    qzVector3d totalDisplace, displace;
    qzVector3d target;  // where the limb's end must reach, model space
    IKTargetFunc getTargetFunc = nullptr;
};

namespace ik {
// End bones of the limbs.
inline constexpr uint32_t kRightHand = 13, kLeftHand = 8, kRightFoot = 25, kLeftFoot = 20;
// The solve stops once the end is within 0.8 units of its target (squared), after at most 10 passes.
inline constexpr float kCloseEnough = 0.64f;
inline constexpr int kMaxPasses = 10;
}  // namespace ik

bool IK_SetupRightHand(_ikProcess* p, unsigned int type);
bool IK_SetupLeftHand(_ikProcess* p, unsigned int type);
bool IK_SetupRightFoot(_ikProcess* p, unsigned int type);
bool IK_SetupLeftFoot(_ikProcess* p, unsigned int type);
void IK_SetFlag(_ikProcess* p, unsigned short flag);
// The animated position of the process's limb end, from the view's bone palette.
void IK_GetStandardScaleTarget(CRiderView* view, _ikProcess* p, qzVector3d* out);
void IK_ServiceProcess(CRiderView* view, _ikProcess* p);
// Solves one limb and writes its three joint rotations into the view's pose. Returns the passes run
// (0 when the target lay out of reach and the limb was pointed at it).
int IK_CalculateIKVector(CRiderView* view, _ikProcess* p);
