#include "race/scene/motion_view.h"

#include <cstring>

#include "engine/anim/anim_check.h"
#include "engine/anim/anim_decode.h"
#include "engine/anim/anim_pose.h"
#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/lights.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/resource_storage.h"
#include "game/model/bounding_box.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/object_description.h"
#include "game/model/pause_state.h"
#include "world/world_model.h"

uint32_t CMotionView::raceOptions = CMotionView::kDrawRiders | CMotionView::kDrawBikes;
int CMotionView::splitScreen = 0;
float CMotionView::gameTime = 0.0f;

namespace {

CObjectDescription* Description(int id) {
    return CResourceStorage<CObjectDescription>::instance().get(id);
}

CGeometry* FirstGeometry(const CObjectDescription* d) {
    if (!d || d->geometryIdList.empty()) return nullptr;
    return CResourceStorage<CGeometry>::instance().get(d->geometryIdList[0]);
}

// Light 0 shines from above and a little in front.
constexpr _ve_vector3d kLight0 = {-0.037f, 0.878f, 0.477f, 0.0f};

struct WorldLights {
    float c0[3];
    bool light1;
    float ambient[3];
};
constexpr WorldLights kWorldLights[6] = {
    {{128, 128, 128}, false, {36, 36, 36}},  // normal
    {{64, 64, 64}, false, {20, 20, 20}},     // night
    {{80, 80, 128}, false, {36, 36, 40}},    // winter
    {{128, 80, 80}, false, {40, 36, 36}},    // sunset
    {{128, 128, 128}, true, {38, 38, 38}},   // desert: a second light from behind
    {{128, 128, 128}, false, {28, 28, 28}},  // dark indoor
};

}  // namespace

CModelObject* MotionViewObject(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return m->objects[static_cast<size_t>(id)];
}

CMotionView::CMotionView(int modelObjectId_, int descriptionId_, int playerNumber_, int motionIndex,
                         unsigned int, void* motionFile)
    : C3DViewObject(modelObjectId_, descriptionId_), worldFile(motionFile), playerNumber(playerNumber_) {
    M4_Identity(&worldTransform);
    currentMotion = static_cast<uint32_t>(motionIndex);
    CGeometry* g = FirstGeometry(Description(descriptionId_));
    _geo_skeleton gs{0, nullptr};
    if (!g || !g->geo || !veEngineGetSkeleton(g->geo, &gs) || gs.boneCount <= 0) return;
    const uint32_t n = static_cast<uint32_t>(gs.boneCount);
    auto* bones = static_cast<_bone*>(x_fn_malloc(n * sizeof(_bone), __FILE__, __LINE__));
    if (!bones) return;
    static_assert(sizeof(_bone) == sizeof(_geo_bone));
    std::memcpy(bones, gs.bones, n * sizeof(_bone));
    skel = {n, bones};
    if (veAnimCheckSkeleton(&skel) != 0) return;
    angleArray = veAnimAllocAngleArray(&skel);
    blendAngleArray = veAnimAllocAngleArray(&skel);
    bonePalette = veAnimAllocBonePalette(&skel);
    if (!angleArray || !blendAngleArray || !bonePalette) {
        veAnimFreeAngleArray(angleArray);
        veAnimFreeAngleArray(blendAngleArray);
        veAnimFreeBonePalette(bonePalette);
        angleArray = blendAngleArray = nullptr;
        bonePalette = nullptr;
        return;
    }
    numBones = static_cast<int32_t>(veAnimGetNumBones(&skel));
    anim = motionBlock(motionIndex);
    motionFrames = anim ? veAnimGetAnimationLength(anim) : 0.0f;
    computePalette();
}

CMotionView::~CMotionView() {
    if (skel.boneArray) x_free(skel.boneArray);
    if (angleArray) veAnimFreeAngleArray(angleArray);
    if (blendAngleArray) veAnimFreeAngleArray(blendAngleArray);
    if (bonePalette) veAnimFreeBonePalette(bonePalette);
}

const _animation* CMotionView::motionBlock(int motion) const {
    if (!worldFile || motion < 0 || !hasPose()) return nullptr;
    CFileManager* files = GetFileManager();
    const int len = files->getSubFileLength(worldFile, static_cast<unsigned int>(motion));
    if (len < 0) return nullptr;
    // A block shorter than its header is refused by the check, with a line naming the file.
    auto* a = static_cast<_animation*>(files->loadSubFile(worldFile, static_cast<unsigned int>(motion)));
    if (!a || veAnimCheckAnimation(a, static_cast<uint32_t>(len), &skel) != 0) return nullptr;
    veAnimInitAnimation(a);
    veAnimAllocWorkingAnimation(a);
    return a;
}

void CMotionView::samplePose(_angle_array* pose, const _animation* a, float t, bool mirror) const {
    if (!pose || !a) return;
    veAnimGetAngle(pose, a, &skel, 0, t);
    if (mirror) veAnimMirrorAnglesFast(pose, &skel);
}

void CMotionView::computePalette() {
    if (hasPose()) veAnimGetMatriciesFast(bonePalette, angleArray, &skel, &worldTransform);
}

void CMotionView::LoadMotion(int motion, unsigned int reverse_, bool forceBlend, bool blend) {
    const _animation* a = motionBlock(motion);
    const float length = a ? veAnimGetAnimationLength(a) : 0.0f;
    if (blend && (currentFrame != 0.0f || forceBlend)) {
        blendAnim = a;
        blendCurrentFrame = 0.0f;
        blendMotionFrames = length;
        blendMotion = static_cast<uint32_t>(motion);
        blendReverse = reverse_;
        doTransition = 1;
        return;
    }
    anim = a;
    currentFrame = 0.0f;
    currentMotion = static_cast<uint32_t>(motion);
    motionFrames = length;
    reverse = reverse_;
    doTransition = 0;
}

void CMotionView::SetBlendMotion(unsigned int motion, unsigned int startFrame, unsigned int reverse_) {
    blendAnim = motionBlock(static_cast<int>(motion));
    blendCurrentFrame = static_cast<float>(startFrame) / 60.0f;
    blendMotionFrames = blendAnim ? veAnimGetAnimationLength(blendAnim) : 0.0f;
    blendMotion = motion;
    blendReverse = reverse_;
}

void CMotionView::setupLights(unsigned int flash) {
    _ve_vector3d d0 = {0, 0, 0, 0}, c0 = {128, 128, 128, 0}, d1 = {0, 0, 0, 0}, c1 = {0, 0, 0, 0};
    const _ve_vector3d off = {0, 0, 0, 0};
    _ve_vector3d amb;
    if (flash && CPauseState::pauseSwitch != 1) {
        curLightLevel += curLightDir ? 75.0f : -75.0f;
        if (curLightLevel > 128.0f) {
            curLightLevel = 128.0f;
            curLightDir = 0;
        } else if (curLightLevel < 0.0f) {
            curLightLevel = 0.0f;
            curLightDir = 1;
        }
        d0 = kLight0;
        c0 = {curLightLevel, curLightLevel, curLightLevel, 0};
        amb = {36, 36, 36, 0};
    } else {
        const int type = CWorldModel::worldType;
        const WorldLights& w = kWorldLights[type >= 0 && type < 6 ? type : 0];
        d0 = kLight0;
        c0 = {w.c0[0], w.c0[1], w.c0[2], 0};
        if (w.light1) {
            d1 = {-0.037f, 0.878f, -0.477f, 0.0f};
            c1 = {64, 64, 64, 0};
        }
        amb = {w.ambient[0], w.ambient[1], w.ambient[2], 0};
    }
    veLightSetLightDirection(0, &d0);
    veLightSetColor(0, &c0);
    veLightSetLightDirection(1, &d1);
    veLightSetColor(1, &c1);
    veLightSetLightDirection(2, &off);
    veLightSetColor(2, &off);
    veLightSetAmbient(&amb);
    // The lit drawing paths read the colours through the colour matrix.
    veLightCreateLightColorMatrix();
}

void CMotionView::calculateLodDepth(C3DView* view, CModelObject* object) {
    C3DViewObject::calculateLodDepth(view, object);
    if (LOD == -1) return;
    if (view->viewNum == playerNumber && splitScreen == 0)
        LOD = 0;
    else
        LOD = depth > objectLod1DepthSquared ? 2 : 1;
}

void CMotionView::modelMatrix(const CModelObject* object, const _vector3d& position, _matrix4* out) {
    _matrix4 m, axes;
    Q_SetupMatrix(&object->qOrientation, &m);
    M4_SetTranslation(&m, &position);
    M4_SetRotationsXYZ(&axes, X_HALF_PI, 0.0f, X_PI);
    M4_Mult(out, &m, &axes);
}

void CMotionView::clipWithModelMatrix(C3DView* view, CModelObject* object, const _matrix4& model) {
    veEngineSetLocalToWorld(&model);
    veEngineBuildView(&view->_view3d);
    calculateLodDepthClip(view, object);
}

_FS_GEO_HEADER* CMotionView::lodGeometry() const {
    const CObjectDescription* d = Description(descriptionId);
    if (!d || LOD < 0 || static_cast<size_t>(LOD) >= d->geometryIdList.size()) return nullptr;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(d->geometryIdList[static_cast<size_t>(LOD)]);
    if (!g || !g->geo) return nullptr;
    if (LOD < 5) g->replaceTextures(&d->textureIdList[LOD]);
    return g->geo;
}

void CMotionView::setBoneArray() const {
    _geo_skeleton gs{static_cast<int32_t>(skel.boneCount), nullptr};
    veEngineSetBoneArray(bonePalette, &gs);
}

void CMotionView::render(C3DView* view) {
    CModelObject* object = MotionViewObject(modelObjectId);
    if (!object || !hasPose() || !(raceOptions & kDrawRiders)) return;
    _matrix4 m;
    modelMatrix(object, object->position, &m);
    setupLights(0);
    veDisplayActivateView(&view->_view3d);  // resets the local-to-world matrix: set it after
    clipWithModelMatrix(view, object, m);
    if (LOD == -1) return;
    drawSkinned();
}

void CMotionView::drawSkinned() const {
    setBoneArray();
    veDisplaySetMode(0x4000200);
    _FS_GEO_HEADER* g = lodGeometry();
    if (!g) return;
    veTextureDisableCache();
    veEngineDrawGeometry(g);
    veEngineReSetLocalToWorld();
    veTextureEnableCache();
}
