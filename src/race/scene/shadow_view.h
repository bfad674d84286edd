// Racer shadows. CShadowMotionView draws the racer's bike and rider shadow models, posed like the
// racer's motion views and flattened onto the ground along the light, into a small render target seen
// from straight above, then redraws the terrain cells under the racer with that picture, blended and
// fading with the viewer's distance. While the bike crashes, rider and bike get a picture each.
// CShadowView is the plain base: one object's shadow model sheared flat onto the terrain.
#pragma once

#include <cstdint>
#include <vector>

#include "game/core/qz_math.h"
#include "game/model/bounding_box.h"
#include "game/view/view_object_3d.h"

class CMotionView;
class CModelObject;
class CGeometry;
struct ve_texture_handle;

// The display size to come back to after drawing into a render target: 640 x 448 shared by the humans.
extern uint32_t GAME_WIDTH, GAME_HEIGHT;

class CShadowView : public C3DViewObject {
public:
    static constexpr uint32_t kShadowsOn = 0x8000;
    // The race's option mask (bit 0x8000: shadows on); the race sets it.
    static uint32_t raceOptions;
    // The light direction: (0, 0, 1) through the scene's light turn.
    static qzVector3d lightDirection();

    CShadowView(int modelObjectId, int descriptionId) : C3DViewObject(modelObjectId, descriptionId) {}
    void render(C3DView* view) override;
    void update(C3DView*, float) override {}
};

class CShadowMotionView : public CShadowView {
public:
    static constexpr int kMaxVerts = 500;
    static qzVector3d vertList[kMaxVerts];
    // The shadow models' turns before their object's rotation: riding (half a turn about z), and for
    // bodies as they lie (a quarter turn about x, then half a turn about z). Built by the constructor.
    static _matrix4 preRotateMat, crashPreRotateMat;

    // Alpha of a shadow seen from `depth` (squared distance / 10000) with fade depth `fade`; below 10
    // the shadow is not drawn.
    static int shadowAlpha(uint32_t depth, float fade);

    // `humans` (1 or 2) sets GAME_WIDTH and GAME_HEIGHT.
    CShadowMotionView(int modelObjectId, int descriptionId, CMotionView* model1View, int model2Id,
                      int desc2Id, CMotionView* model2View, int racer, unsigned int humans);

    void addLightSource(qzVector3d light);
    void render(C3DView* view) override;
    void renderShadow(C3DView* view, qzVector3d& lightSource);
    // The matrix placing `model`'s shadow model flattened on the terrain along `lightSource`: a riding
    // bike by its pitch, roll and heading, then preRotateMat; the rider's body or a crashing bike by its
    // orientation, then crashPreRotateMat.
    void createModelMatrix(CModelObject* model, qzVector3d& lightSource, _matrix4& modelMatrix);

    CBoundingBox bikeBox, riderBox, riderBikeBox, bikeGridBox, riderGridBox, riderBikeGridBox;
    CMotionView* _model1View;
    CMotionView* _model2View;
    int32_t _model2Id;
    int32_t _desc2Id;
    float _shadowFadeDist;
    std::vector<qzVector3d> _lightSources;

    // What the last render did: pictures made, terrain passes drawn, and the description of each
    // picture's first model in order (for the crash case: the rider's first).
    int texturesMade = 0;
    int passesDrawn = 0;
    int32_t pictureOrder[2] = {-1, -1};

private:
    int32_t racer_;
    ve_texture_handle* createShadowTexture(CGeometry** shadowGeom, CMotionView** objView,
                                           _matrix4* objLocalToWorld, CBoundingBox* shadowBox,
                                           unsigned int numGeoms);
    void setupCamera(_ve_view* shadowView, CBoundingBox* shadowBox);
    // Lays the picture on the terrain cells of vertList, skipping cells away from `footprint`.
    void applyTexture(C3DView* aView, int width, int depth, ve_texture_handle* shadowTex,
                      const CBoundingBox& footprint);
    // The terrain cells under `box` into vertList and `grid`; false when there are none or too many.
    bool areaUnder(CBoundingBox& box, CBoundingBox& grid, int& nx, int& nz);
    int32_t lod() const;
    // The racer's bike and rider views, when the race made them, from the view's objects.
    void adoptViews(C3DView* view);
};

// The box of `geom`'s corners (z halved) through `mat`.
void transformBBox(const CGeometry* geom, const _matrix4* mat, CBoundingBox& newBox);
