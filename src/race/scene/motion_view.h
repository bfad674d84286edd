// The base of the skinned, animated things drawn in a 3D view (each racer's rider and bike): a private
// copy of the model's skeleton, one motion playing with a second one that can be blended in, the pose
// turned into a bone palette, level of detail by distance, the scene lights by world type (or a strobe),
// and skinned drawing. This class never advances its frame itself: the derived views do.
//
// Motions are sub-files of a packed master file (the common-objects file), addressed by index; times
// are seconds, one step is 1/60 s.
#pragma once

#include <cstdint>

#include "engine/anim/anim_format.h"
#include "engine/anim/skeleton.h"
#include "game/view/view_object_3d.h"

class CModelObject;
struct _FS_GEO_HEADER;

class CMotionView : public C3DViewObject {
public:
    static constexpr float kStep = 1.0f / 60.0f;
    // Option bits the race sets: riders are drawn with 0x2000, bikes with 0x4000; 0x40 is a debug bit.
    static constexpr uint32_t kDrawRiders = 0x2000, kDrawBikes = 0x4000;
    // Race state the views read; the race sets them at set-up.
    static uint32_t raceOptions;
    static int splitScreen;
    // Seconds of game time; the rider view doubles a step when more than 0.03 s passed since its last.
    static float gameTime;

    // `mirror` is not read here (the rider view takes it as its first mirror flag). Without a description
    // whose first geometry carries a skeleton, the view holds no pose and never draws.
    CMotionView(int modelObjectId, int descriptionId, int playerNumber, int motionIndex, unsigned int mirror,
                void* motionFile);
    ~CMotionView() override;
    CMotionView(const CMotionView&) = delete;
    CMotionView& operator=(const CMotionView&) = delete;

    void render(C3DView* view) override;
    void update(C3DView*, float) override {}
    void calculateLodDepth(C3DView* view, CModelObject* object) override;
    virtual void UpdateFrame(C3DView*, unsigned int) {}

    // Starts `motion`: as a blend (the current motion keeps playing until the derived view completes the
    // transition) when `blend` and either the frame is not exactly 0 or `forceBlend`; else at once.
    void LoadMotion(int motion, unsigned int reverse, bool forceBlend, bool blend);
    // Sets the blend motion without starting a transition; `startFrame` in 1/60 s steps.
    void SetBlendMotion(unsigned int motion, unsigned int startFrame, unsigned int reverse);
    void setBlendFrame(float t) { blendCurrentFrame = t; }
    // -1 means the last frame: the length less one step.
    void setCurrentFrame(float t) { currentFrame = t == -1.0f ? motionFrames - kStep : t; }
    // The three lights and the ambient colour: by world type, or a strobe when `flash` (outside pause).
    void setupLights(unsigned int flash);

    bool hasPose() const { return angleArray != nullptr; }
    // The motion block at sub-file `motion` of the motion file, or null.
    const _animation* motionBlock(int motion) const;
    // Samples `anim` at t into `pose`, mirrored when asked.
    void samplePose(_angle_array* pose, const _animation* anim, float t, bool mirror) const;
    void computePalette();

    int32_t numBones = 0;
    _angle_array* angleArray = nullptr;
    const _animation* anim = nullptr;
    _skeleton skel{0, nullptr};
    float currentFrame = 0.0f;
    _matrix4* bonePalette = nullptr;
    uint32_t reverse = 0;
    uint32_t direction = 0;  // 1 forward, 0 back, other values hold
    uint32_t currentMotion = 0;
    uint32_t doTransition = 0;
    uint32_t doMirror = 0;
    float motionFrames = 0.0f;
    _angle_array* blendAngleArray = nullptr;
    const _animation* blendAnim = nullptr;
    float blendCurrentFrame = 0.0f;
    int32_t blendMirror = 0;
    uint32_t blendMotion = 0;
    uint32_t blendReverse = 0;
    float blendMotionFrames = 0.0f;
    _matrix4 worldTransform;
    void* worldFile = nullptr;
    int32_t playerNumber = 0;
    uint8_t isCrashing = 0;
    float curLightLevel = 255.0f;
    int32_t curLightDir = 0;

protected:
    // The model matrix: the object's orientation and `position`, then the models' axis turn.
    static void modelMatrix(const CModelObject* object, const _vector3d& position, _matrix4* out);
    // Makes the model matrix current (with the view's matrices rebuilt for it, as the frustum test reads
    // them) and chooses the level of detail and clipping: the object's bounds are in the model's space.
    void clipWithModelMatrix(C3DView* view, CModelObject* object, const _matrix4& model);
    // The description's geometry for the current LOD (textures replaced), or null.
    _FS_GEO_HEADER* lodGeometry() const;
    // Hands the palette to the engine for the skinned draw.
    void setBoneArray() const;
    // The skinned draw of the current LOD's geometry with this pose, the texture cache off while it draws.
    void drawSkinned() const;
};

// The model object at `id` of the race's model, or null.
CModelObject* MotionViewObject(int id);
