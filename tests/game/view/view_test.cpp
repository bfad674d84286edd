// Views: viewports, the shared recycle bin (one object in two split-screen views is deleted once, and
// removal during an update walk is safe), level of detail, frustum clipping and geometry drawing.
#include "game/view/view_3d.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "engine/hal/engine_fixture.h"
#include "engine/hal/geometry_format.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/bitmap_format.h"
#include "engine/sys/heap.h"
#include "game/files/geometry.h"
#include "game/files/texture.h"
#include "game/model/bounding_model_object.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/pause_state.h"
#include "game/model/timer.h"
#include "game/view/util.h"
#include "game/view/view_object_3d.h"
#include "support/heap_image.h"

namespace {

using enginetest::EngineTest;
using enginetest::g_log;

int Count(const std::string& text, const std::string& needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

// A view object that counts its deletions and updates, and can remove itself.
struct Probe : C3DViewObject {
    Probe(int modelId, int* deletions) : C3DViewObject(modelId, -1), deletions_(deletions) {}
    ~Probe() override { ++*deletions_; }
    void update(C3DView* view, float) override {
        ++updates;
        if (removeSelf) view->removeObject(this);
    }
    void render(C3DView*) override { ++renders; }
    int* deletions_;
    int updates = 0;
    int renders = 0;
    bool removeSelf = false;
};

using HeapBytes = testsupport::HeapImage;

class ViewTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        CPauseState::pauseSwitch = 0;
        CPauseState::pauseDraw = 0;
        GetModel();
    }
    void TearDown() override {
        delete CModel::modelPtr;
        delete CTimer::timerPtr;
        CResourceStorage<CObjectDescription>::instance().deleteAll();
        CResourceStorage<CGeometry>::instance().deleteAll();
        CResourceStorage<CTexture>::instance().deleteAll();
        CUtil::raceViews = nullptr;
        CPauseState::pauseSwitch = 0;
        EngineTest::TearDown();
    }
    int addObject(CModelObject* o) {
        CModel::modelPtr->objects.push_back(o);
        return static_cast<int>(CModel::modelPtr->objects.size()) - 1;
    }
};

TEST_F(ViewTest, ViewportsStackFromTheTop) {
    C3DView full(0, 1);
    const _ve_view& f = full._view3d;
    EXPECT_EQ((std::array<int, 4>{f.originY, f.viewPortWidth, f.viewPortHeight, int(f.sytemFlags & 0x13)}),
              (std::array<int, 4>{0, 640, 448, 1}));
    EXPECT_EQ(f.nearPlane, 1.0f);
    EXPECT_EQ(f.farPlane, 131072.0f);
    EXPECT_EQ(full._view2d.zplane2d, (1.0f - 0.001f) * 16777215.0f);
    EXPECT_EQ(full._backView2d.zplane2d, (1.0f - 0.999999f) * 16777215.0f);
    C3DView bottom(1, 2);  // rows 224 to 447
    const _ve_view& b = bottom._view3d;
    EXPECT_EQ((std::array<int, 4>{b.originY, b.viewPortWidth, b.viewPortHeight, int(b.sytemFlags & 0x13)}),
              (std::array<int, 4>{224, 640, 224, 17}));
    EXPECT_EQ(bottom._backView2d.originY, 224);
    EXPECT_EQ(veDisplayGetActiveView(), &bottom._view3d);
    bottom.setFarPlane(300000.0f);
    EXPECT_EQ(bottom._view3d.farPlane, 300000.0f);
    EXPECT_EQ(veEngineFarPlane, 300000.0f);
}

TEST_F(ViewTest, RemovalReachesEveryViewAndOnlyTheBinDeletes) {
    int deletions = 0;
    auto* top = new C3DView(0, 2);
    auto* bottom = new C3DView(1, 2);
    auto* shared = new Probe(-1, &deletions);
    auto* keep = new Probe(-1, &deletions);
    top->insertObject(shared);
    top->insertObject(keep);
    bottom->insertObject(keep);
    bottom->insertObject(shared);
    top->removeObject(shared);
    EXPECT_EQ(deletions, 0);
    EXPECT_EQ(top->_objects[0], nullptr);
    EXPECT_EQ(top->_objects[1], keep);  // other ids do not shift
    EXPECT_EQ(bottom->_objects[1], nullptr);
    g_log.clear();
    top->update(0.0f);
    bottom->render();
    EXPECT_EQ(Count(g_log, "object not found (object_id=0)\n"), 1);
    EXPECT_EQ(Count(g_log, "object not found (object_id=1)\n"), 1);
    EXPECT_EQ(keep->updates, 1);
    EXPECT_EQ(keep->renders, 1);
    // Race teardown: the first 3D view destroyed takes every 3D view object with it, and the other
    // view keeps no pointer to them.
    delete bottom;
    EXPECT_EQ(deletions, 2);
    EXPECT_EQ(top->_objects[1], nullptr);
    delete top;
    EXPECT_EQ(deletions, 2);
}

TEST_F(ViewTest, AnObjectRemovingItselfDuringTheUpdateWalkIsSafe) {
    int deletions = 0;
    auto* top = new C3DView(0, 2);
    auto* bottom = new C3DView(1, 2);
    auto* self = new Probe(-1, &deletions);
    self->removeSelf = true;
    auto* after = new Probe(-1, &deletions);
    top->insertObject(self);
    top->insertObject(after);
    bottom->insertObject(self);
    top->update(0.0f);
    EXPECT_EQ(self->updates, 1);  // still alive after removing itself
    EXPECT_EQ(after->updates, 1);
    EXPECT_EQ(bottom->_objects[0], nullptr);
    bottom->update(0.0f);
    EXPECT_EQ(self->updates, 1);
    EXPECT_EQ(deletions, 0);
    delete top;
    delete bottom;
    EXPECT_EQ(deletions, 2);
}

TEST_F(ViewTest, BaseViewObjectWithoutModelObjectLeavesOnItsFirstUpdate) {
    C3DView view(0, 1);
    auto* screenFixed = new C3DViewObject(-1, -1);
    auto* placed = new C3DViewObject(0, -1);
    view.insertObject(screenFixed);
    view.insertObject(placed);
    view.update(0.0f);
    EXPECT_EQ(view._objects[0], nullptr);
    EXPECT_EQ(view._objects[1], placed);
    EXPECT_EQ(placed->clipType, CLIP_TYPE_OBJECTCULL);
    EXPECT_EQ(placed->drawWithClipping, CLIP_NONE);
}

TEST_F(ViewTest, LevelOfDetailFromTheSquaredDistance) {
    C3DView view(0, 1);
    auto* camera = new CModelObject();
    view._cameraID = addObject(camera);
    auto* thing = new CModelObject();
    addObject(thing);
    C3DViewObject::objectLod1DepthSquared = 100;
    C3DViewObject::objectLod2DepthSquared = 400;
    C3DViewObject::objectFarClipDepthSquared = 900;
    C3DViewObject vo(1, -1);
    camera->position = qzVector3d(5, 7, 9);
    // Distance; the depth (squared distance / 10000) and level, and the clip flag, left as it was until
    // the object is past the far clip.
    const struct {
        float d;
        uint32_t depth;
        int lod;
        int clip;
    } cases[] = {{1000.0f, 100, 0, CLIP_NONE},  // depth exactly the first threshold
                 {1005.0f, 101, 1, CLIP_NONE},
                 {2000.0f, 400, 1, CLIP_NONE},
                 {2003.0f, 401, 2, CLIP_NONE},
                 {3000.0f, 900, 2, CLIP_NONE},
                 {3002.0f, 901, -1, CLIP_OFFSCREEN},
                 {1.0e20f, 0xFFFFFFFFu, -1, CLIP_OFFSCREEN}};  // far beyond the 32-bit range of depths
    for (const auto& c : cases) {
        thing->position = qzVector3d(5 + c.d, 7, 9);
        vo.calculateLodDepth(&view, thing);
        EXPECT_EQ(vo.depth, c.depth) << c.d;
        EXPECT_EQ(vo.LOD, c.lod) << c.d;
        EXPECT_EQ(vo.drawWithClipping, c.clip) << c.d;
    }
}

TEST_F(ViewTest, ClippingAgainstTheFrustum) {
    C3DView view(0, 1);
    view._cameraID = addObject(new CModelObject());
    auto* box = new CBoundingModelObject();
    addObject(box);
    C3DViewObject::objectLod1DepthSquared = 1000000;
    C3DViewObject::objectLod2DepthSquared = 2000000;
    C3DViewObject::objectFarClipDepthSquared = 3000000;
    M4_Identity(&view._view3d.cameraMatrix);
    _matrix4 identity;
    M4_Identity(&identity);
    veEngineBeginFrame();
    veEngineSetLocalToWorld(&identity);
    veDisplayActivateView(&view._view3d);
    veEngineBuildView(&view._view3d);
    C3DViewObject vo(1, -1);
    // The camera looks along +z.
    box->bBox.setBoundingBox(-10, -10, 500, 10, 10, 520);
    vo.calculateLodDepthClip(&view, box);
    EXPECT_EQ(vo.drawWithClipping, CLIP_NONE);
    EXPECT_EQ(vo.LOD, 0);
    box->bBox.setBoundingBox(-10, -10, -20, 10, 10, 520);  // through the near plane
    vo.calculateLodDepthClip(&view, box);
    EXPECT_EQ(vo.drawWithClipping, CLIP_TRICULL);
    box->bBox.setBoundingBox(-10, -10, -520, 10, 10, -500);  // behind the camera
    vo.calculateLodDepthClip(&view, box);
    EXPECT_EQ(vo.drawWithClipping, CLIP_OFFSCREEN);
    EXPECT_EQ(vo.LOD, -1);
    EXPECT_EQ(vo.depth, 3000100u);
    // An object without a corner set keeps its flag.
    auto* bare = new CModelObject();
    addObject(bare);
    vo.drawWithClipping = CLIP_TRICULL;
    vo.calculateLodDepthClip(&view, bare);
    EXPECT_EQ(vo.drawWithClipping, CLIP_TRICULL);
    EXPECT_EQ(vo.LOD, 0);
    veEngineEndFrame();
}

TEST_F(ViewTest, RenderDrawsTheGeometryOfItsLevelWithItsTextures) {
    GeoMesh mesh;
    mesh.materials.push_back(
        MakeBox(10, 10, 10, 1, 0x80808080, CheckerTexture(16, 4, 0xFF0000FF, 0xFF00FF00)));
    mesh.materials.push_back(MakeBox(5, 5, 5, 1, 0x80808080, CheckerTexture(16, 4, 0xFFFF0000, 0xFF00FF00)));
    mesh.scale = 2.0f;  // the draw scales local-to-world by it
    HeapBytes block(WriteGeometry(mesh));
    ASSERT_GT(block.size, 0u);
    CGeometry* g = LoadGeometry(block.p, static_cast<int>(block.size), 0);
    ASSERT_NE(g, nullptr);
    const int geometryId = CResourceStorage<CGeometry>::instance().add(g);
    HeapBytes image(WriteBitmap(CheckerTexture(16, 4, 0xFF123456, 0xFF654321)));
    const int textureId =
        CResourceStorage<CTexture>::instance().add(LoadTexture(image.p, static_cast<int>(image.size), 0));
    auto* d = new CObjectDescription();
    d->geometryIdList = {geometryId, geometryId};  // two levels only
    d->textureIdList[0] = {textureId, 99};         // 99 is not a texture: the slot is emptied
    const int descriptionId = CResourceStorage<CObjectDescription>::instance().add(d);

    C3DView view(0, 1);
    view._cameraID = addObject(new CModelObject());
    auto* thing = new CModelObject(descriptionId);
    thing->position = qzVector3d(0, 0, 500);
    thing->qOrientation.S = 1.0f;
    const int thingId = addObject(thing);
    _ve_view elsewhere{};
    veDisplayCreateView3D(&elsewhere, 0, 0, 64, 64, 1, 1.0f, 1000.0f);
    uint32_t* slots = veEngineGetGeoMaterialTbl(g->geo);
    const uint32_t before = slots[0];

    veEngineBeginFrame();
    C3DViewObject vo(thingId, descriptionId);
    vo.clipType = CLIP_TYPE_TRICLIP;
    veDisplaySetActiveView(&elsewhere);
    vo.LOD = 2;  // the description has no third level: nothing is drawn
    vo.render(&view);
    EXPECT_EQ(veDisplayGetActiveView(), &elsewhere);
    EXPECT_EQ(slots[0], before);
    EXPECT_EQ(veDisplayGetMode() & 0x80000, 0x80000u);
    vo.LOD = -1;
    vo.render(&view);
    EXPECT_EQ(veDisplayGetActiveView(), &elsewhere);
    vo.LOD = 0;
    vo.render(&view);
    EXPECT_EQ(veDisplayGetActiveView(), &view._view3d);
    EXPECT_EQ(slots[0], Addr32(&CResourceStorage<CTexture>::instance().get(textureId)->fsBitmap));
    EXPECT_EQ(slots[1], 0u);
    // The block's scale is undone after the draw: the next draw starts from the object's placement.
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[0], 1.0f);
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[5], 1.0f);
    EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[14], 500.0f);
    // A view object whose model object was removed, or whose description is unknown, draws nothing.
    veDisplaySetActiveView(&elsewhere);
    C3DViewObject gone(57, descriptionId), unknown(thingId, 57);
    gone.render(&view);
    unknown.render(&view);
    EXPECT_EQ(veDisplayGetActiveView(), &elsewhere);
    veEngineEndFrame();
    // The geometries are given back as loaded while their file is still held.
    CResourceStorage<CGeometry>::instance().deleteAll();
}

// A camera object that counts its updates and its set-ups.
struct CountingCamera : CModelObject {
    void update(float) override { ++updates; }
    int updates = 0;
    int setups = 0;
};

TEST_F(ViewTest, TheFirstViewsCameraMovesWhilePausedWithoutThePauseMenuAndSetsUpTheView) {
    C3DView view(0, 1);
    auto* camera = new CountingCamera();
    view._cameraID = addObject(camera);
    C3DView* views[1] = {&view};
    CUtil::raceViews = views;
    CPauseState::pauseSwitch = 1;
    CPauseState::pauseDraw = 1;
    CModel::modelPtr->update(1.0f);
    EXPECT_EQ(camera->updates, 0);  // the pause menu holds the picture
    CPauseState::pauseDraw = 0;
    CModel::modelPtr->update(1.0f);
    EXPECT_EQ(camera->updates, 1);
    CPauseState::pauseSwitch = 0;
    CModel::modelPtr->update(1.0f);
    EXPECT_EQ(camera->updates, 2);  // the ordinary walk
    // Rendering lets the camera set up the view first.
    static CountingCamera* seen = nullptr;
    C3DView::setupCamera = [](CModelObject* c, C3DView*) {
        seen = static_cast<CountingCamera*>(c);
        ++seen->setups;
    };
    view.render();
    C3DView::setupCamera = nullptr;
    EXPECT_EQ(camera->setups, 1);
}

}  // namespace
