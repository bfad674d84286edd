// The trackside camera on a straight waypoint line, the world and out-of-bounds view objects' levels of
// detail, and racer shadows over a flat world (fade, split-screen size, crash pictures, missing models).
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "engine/hal/engine.h"
#include "engine/hal/geometry_format.h"
#include "game/files/geometry.h"
#include "game/files/object_type_table.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "kinetic/dynamics/rigid_body.h"
#include "mkdisc/scene_art.h"
#include "race/scene/shadow_view.h"
#include "race/scene/sky_view.h"
#include "race/scene/track_camera.h"
#include "race/scene/world_view_object.h"
#include "support/heap_image.h"
#include "support/world_view_scene.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"
#include "world/world_fixture.h"

namespace {

// ---- trackside camera ----

_TrackCameraRecord Cam(float x, float z, uint32_t type = 1) {
    _TrackCameraRecord r{};
    r.pos[0] = x;
    r.pos[2] = z;
    r.dir[2] = 1.0f;
    r.type = type;
    return r;
}

class TrackCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        CModel* model = GetModel();
        bike = new KineticBike;
        model->objects.push_back(bike);
        // The waypoint line along x at z 400, its time equal to x.
        SplineSection s;
        for (float x = 0; x <= 4000; x += 50)
            s[CSplineManager::WayPoint].points.push_back(SplinePointFromWorld(x, 0, 400, 1.0f, 50.0f, 4));
        bytes_ = WriteSplineSection(s);
        CSplineManager::getSplineManager()->loadSplines(bytes_.data(), bytes_.size(), 50.0f, 4);
    }
    void TearDown() override {
        CSplineManager::cleanUp();
        delete CModel::modelPtr;
    }
    void at(float x) {
        bike->position = qzVector3d(x, 0, 400);
        bike->laps.curWayTime = x;
    }
    KineticBike* bike = nullptr;
    std::vector<uint8_t> bytes_;
};

TEST_F(TrackCameraTest, RecordsNearestAndOneStepAdvance) {
    std::vector<_TrackCameraRecord> recs = {Cam(0, 400), Cam(1000, 400), Cam(2000, 400), Cam(3000, 400, 2),
                                            Cam(0, 0, 0)};
    CTrackCamera cam;
    EXPECT_EQ(cam.loadAndAdvance(recs.data(), recs.size() * 48), recs.data() + 5);
    EXPECT_EQ(cam._numCameras, 4u);
    // Without an ending record the scan stops at the data's end.
    CTrackCamera open;
    EXPECT_EQ(open.loadAndAdvance(recs.data(), 2 * 48 + 20), reinterpret_cast<uint8_t*>(recs.data()) + 96);
    EXPECT_EQ(open._numCameras, 2u);

    at(500);  // halfway between records 0 and 1: the earlier
    cam.aimAt(0, bike);
    EXPECT_EQ(cam._currentIndex, 0);
    at(2900);  // nearest to record 3, yet the camera moves one record per selection
    for (int expect : {1, 2, 3}) {
        cam.update(1.0f / 60);
        EXPECT_EQ(cam._currentIndex, expect);
    }
    EXPECT_EQ(cam.Mode, CAMMODE_TRACKCAM_PAN);  // type 2 turns to follow
}

TEST_F(TrackCameraTest, PansWithoutRecordsFarAwayAndAfter600Frames) {
    CTrackCamera none;
    none.aimAt(0, bike);
    none.update(1.0f / 60);
    const float theta = none.theta;
    none.update(1.0f / 60);
    EXPECT_EQ(none.Mode, CAMMODE_PAN);
    EXPECT_LT(none.theta, theta);

    std::vector<_TrackCameraRecord> recs = {Cam(0, 400), Cam(1000, 400), Cam(2000, 400), Cam(0, 0, 0)};
    CTrackCamera cam;
    cam.loadAndAdvance(recs.data(), recs.size() * 48);
    at(100);
    cam.aimAt(0, bike);
    for (int i = 0; i < 601; ++i) cam.update(1.0f / 60);
    EXPECT_EQ(cam.Mode, CAMMODE_HOLD);
    EXPECT_EQ(cam._switchToFollow, 1);
    at(900);  // the next cut becomes the orbit
    cam.update(1.0f / 60);
    EXPECT_EQ(cam.Mode, CAMMODE_PAN);
    EXPECT_EQ(cam._inFollow, 1);
    // Far from every record: the orbit too.
    CTrackCamera far;
    far.loadAndAdvance(recs.data(), recs.size() * 48);
    at(100);
    far.aimAt(0, bike);
    bike->position.z = 20000;
    far.update(1.0f / 60);
    EXPECT_EQ(far.Mode, CAMMODE_PAN);
}

// ---- view objects ----

TEST(SceneViewObjects, LevelsOfDetailAndWaking) {
    testsupport::BootEngineOnce();
    CModel* model = GetModel();
    auto* camera = new CModelObject();
    auto* thing = new CModelObject();
    model->objects = {camera, thing};
    C3DView view(0, 1);
    view._cameraID = 0;
    CViewObjectClip clip(1, -1);
    clip.overrideObjectLod1DepthSquared = 100;
    clip.overrideObjectLod2DepthSquared = 400;
    clip.overrideObjectFarClipDepthSquared = 900;
    // (x, y) giving depths exactly at and one above each threshold.
    const struct {
        float x, y;
        int lod;
    } rows[] = {{1000, 0, 0}, {1000, 100, 1}, {2000, 0, 1}, {2000, 100, 2}, {3000, 0, 2}, {3000, 100, -1}};
    for (const auto& r : rows) {
        thing->position = qzVector3d(r.x, r.y, 0);
        clip.calculateLodDepth(&view, thing);
        EXPECT_EQ(clip.LOD, r.lod) << r.x << "," << r.y;
    }

    // Beyond the far threshold only type 29 is drawn (at LOD 2).
    C3DViewObject::objectFarClipDepthSquared = 900;
    _Info info{};
    auto* d = new CObjectDescription();
    d->typeInfo = &info;
    const int desc = CResourceStorage<CObjectDescription>::instance().add(d);
    thing->position = qzVector3d(3000, 100, 0);
    for (uint8_t type : {uint8_t(29), uint8_t(3)}) {
        info.objType = type;
        CWorldViewObject o(1, desc);
        o.render(&view);
        EXPECT_EQ(o.LOD, type == 29 ? 2 : -1);
    }

    // A dynamic object within LOD 0 is kept awake and unpinned.
    auto* dyn = new CKineticDynamicRigidObject(desc);
    model->objects.push_back(dyn);
    dyn->activeTime = 5;
    dyn->getRigidBody(0)->setPinned(true);
    CWorldViewObject o(2, desc);
    o.render(&view);
    EXPECT_EQ(dyn->activeTime, 60);
    EXPECT_FALSE(dyn->getRigidBody(0)->isPinned());
    delete CModel::modelPtr;
    CResourceStorage<CObjectDescription>::instance().deleteAll();
}

// A scaled block scales local-to-world while it draws; the sky and the world's objects undo it after, so
// that nothing drawn next inherits the scale.
TEST(SceneViewObjects, ABlocksScaleIsUndoneAfterItsDraw) {
    testsupport::BootEngineOnce();
    GeoMesh mesh;
    mesh.materials.push_back(
        MakeBox(10, 10, 10, 1, 0x80808080, CheckerTexture(16, 4, 0xFF0000FF, 0xFF00FF00)));
    mesh.scale = 2.0f;
    testsupport::HeapImage block(WriteGeometry(mesh));
    ASSERT_GT(block.size, 0u);
    const int geo =
        CResourceStorage<CGeometry>::instance().add(LoadGeometry(block.p, static_cast<int>(block.size), 0));
    auto* d = new CObjectDescription();
    d->geometryIdList = {geo, geo, geo};
    const int desc = CResourceStorage<CObjectDescription>::instance().add(d);
    CModel* model = GetModel();
    auto* camera = new CModelObject();
    auto* thing = new CModelObject(desc);
    thing->position = qzVector3d(0, 0, 100);
    thing->qOrientation.S = 1.0f;
    camera->qOrientation.S = 1.0f;
    model->objects = {camera, thing};
    C3DView view(0, 1);
    view._cameraID = 0;
    C3DViewObject::objectLod1DepthSquared = 100;
    C3DViewObject::objectLod2DepthSquared = 200;
    C3DViewObject::objectFarClipDepthSquared = 900;
    CWorldViewObject world(1, desc);
    CViewObjectClip clip(1, desc);
    CSkyViewObject sky(1, desc);
    veEngineBeginFrame();
    clip.overrideObjectLod1DepthSquared = 100;
    clip.overrideObjectLod2DepthSquared = 200;
    clip.overrideObjectFarClipDepthSquared = 900;
    for (C3DViewObject* o : std::initializer_list<C3DViewObject*>{&world, &clip, &sky}) {
        o->render(&view);
        EXPECT_EQ(o->LOD, 0);
        for (int k : {0, 5, 10}) EXPECT_FLOAT_EQ(veEngineLocalToWorld->M[k], 1.0f) << k;
    }
    veEngineEndFrame();
    delete CModel::modelPtr;
    CResourceStorage<CObjectDescription>::instance().deleteAll();
    CResourceStorage<CGeometry>::instance().deleteAll();
}

// ---- shadows ----

class ShadowTest : public ::testing::Test {
protected:
    ShadowTest()
        : scene(WriteWorldFile(worldtest::MakeWorld(2, 50, [](int, int) { return uint16_t(10); })), 2, 0x100,
                false),
          bikeShadow(WriteShadowGeometry(6)),
          riderShadow(WriteShadowGeometry(10)) {}
    void SetUp() override {
        auto& geos = CResourceStorage<CGeometry>::instance();
        const int sb = geos.add(LoadGeometry(bikeShadow.p, int(bikeShadow.size), 6));
        const int sr = geos.add(LoadGeometry(riderShadow.p, int(riderShadow.size), 10));
        auto& descs = CResourceStorage<CObjectDescription>::instance();
        for (int k = 0; k < 3; ++k) {
            auto* d = new CObjectDescription();
            d->geometryIdList = {k == 0 ? sb : sr};
            if (k < 2) d->shadowGeometryIdList = {k == 0 ? sb : sr};
            desc[k] = descs.add(d);
        }
        CModel* model = CModel::modelPtr;
        bike = new KineticBike;
        bike->descriptionId = desc[0];
        const float x = 400, z = 400, h = scene.world->getHeightAt(x, z);
        bike->position = qzVector3d(x, h - 60, z);
        bike->qOrientation.S = 1.0f;
        model->objects.push_back(bike);
        bikeId = int(model->objects.size()) - 1;
        rider = new CRiderModel(bikeId, desc[1]);
        rider->position = bike->position;
        rider->qOrientation.S = 1.0f;
        model->objects.push_back(rider);
        riderId = bikeId + 1;
        C3DViewObject::objectLod1DepthSquared = 400;
        scene.look(x, h - 300, z - 300, x, h, z);
    }
    void TearDown() override { CResourceStorage<CGeometry>::instance().deleteAll(); }

    // One frame of a shadow of racer (bike, rider description k).
    CShadowMotionView& draw(int riderDesc) {
        shadow = std::make_unique<CShadowMotionView>(bikeId, desc[0], nullptr, riderId, desc[riderDesc],
                                                     nullptr, 0, 1);
        shadow->addLightSource(CShadowView::lightDirection());
        veEngineBeginFrame();
        shadow->render(scene.view.get());
        veEngineEndFrame();
        return *shadow;
    }

    testsupport::WorldViewScene scene;
    testsupport::HeapImage bikeShadow, riderShadow;
    int desc[3] = {-1, -1, -1};
    int bikeId = -1, riderId = -1;
    KineticBike* bike = nullptr;
    CRiderModel* rider = nullptr;
    std::unique_ptr<CShadowMotionView> shadow;
};

TEST_F(ShadowTest, PicturesPerStateAndMissingModels) {
    const CShadowMotionView& one = draw(1);
    EXPECT_EQ(one.texturesMade, 1);
    EXPECT_EQ(one.passesDrawn, 1);
    EXPECT_EQ(one.pictureOrder[0], desc[0]);

    bike->crash.crashing = 1;
    const CShadowMotionView& two = draw(1);
    EXPECT_EQ(two.texturesMade, 2);
    EXPECT_EQ(two.passesDrawn, 2);
    EXPECT_EQ(two.pictureOrder[0], desc[1]);  // the rider first
    EXPECT_EQ(two.pictureOrder[1], desc[0]);

    bike->crash.crashing = 0;
    EXPECT_EQ(draw(2).texturesMade, 0);  // the rider has no shadow model: no shadow at all
}

// The rows of a matrix (4 x 4, row-major, translation in the last row) against the expected ones.
void ExpectRows(const _matrix4& m, const std::array<float, 16>& want, const char* what) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.M[i], want[size_t(i)], 2e-3f) << what << " element " << i;
}

// The shadow models' turns, and the matrices that lay them on the ground: a riding bike from its pitch,
// roll and heading, a crashing bike and the rider from their orientations. The angles are chosen so that
// another order of the turns, or a turn the other way, gives a different answer.
TEST_F(ShadowTest, ModelMatricesFollowTheBikeOrTheBody) {
    CShadowMotionView& view = draw(1);
    ExpectRows(CShadowMotionView::preRotateMat, {-1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, "pre");
    ExpectRows(CShadowMotionView::crashPreRotateMat, {-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1},
               "crash pre");

    const float px = bike->position.x, pz = bike->position.z, h = scene.world->getHeightAt(px, pz);
    const float above = bike->position.y - h;  // -60: the bike is 60 units over the ground
    qzVector3d dir(1.0f, 2.0f, -1.0f);
    const float k0 = -0.4f * 1.0f / 2.0f, k2 = -0.4f * -1.0f / 2.0f;  // the shear along the light
    const float tx = px + above * k0, tz = pz + above * k2;           // the lift, sheared, then placed

    // Riding (pitch 30, roll 60, heading along +x): turned -30 degrees about x, -60 about z and 90 about
    // y, then half a turn about z first; each row's y then goes into the shear.
    const float s3 = std::sqrt(3.0f) / 2.0f;
    const float r[3][3] = {{0, s3, 0.5f}, {0.5f, -s3 / 2, 0.75f}, {s3, 0.25f, -s3 / 2}};
    auto sheared = [&](int i, int k) { return r[i][k] + r[i][1] * (k == 0 ? k0 : k2); };
    bike->ground.bikeRelativePitch = 30.0f;
    bike->ground.bikeRoll = 60.0f;
    bike->frame.forwardDir = qzVector3d(1.0f, 0.0f, 0.0f);
    _matrix4 m;
    view.createModelMatrix(bike, dir, m);
    ExpectRows(m,
               {sheared(0, 0), 0, sheared(0, 2), 0, sheared(1, 0), 0, sheared(1, 2), 0, sheared(2, 0), 0,
                sheared(2, 2), 0, tx, h, tz, 1},
               "riding");

    // Crashing, and the rider's body whatever the bike does: a quarter turn about y as the orientation,
    // after the crash turn.
    const float c = std::sqrt(0.5f);
    for (CModelObject* o : {static_cast<CModelObject*>(bike), static_cast<CModelObject*>(rider)}) {
        o->qOrientation.S = c;
        o->qOrientation.Axis = {0.0f, c, 0.0f};
    }
    const std::array<float, 16> body = {0, 0, 1, 0, 1, 0, 0, 0, k0, 0, k2, 0, tx, h, tz, 1};
    view.createModelMatrix(rider, dir, m);
    ExpectRows(m, body, "rider");
    bike->crash.crashing = 1;
    view.createModelMatrix(bike, dir, m);
    ExpectRows(m, body, "crashing");
}

TEST(Shadow, FadeAndDisplaySize) {
    const struct {
        uint32_t depth;
        int alpha;
    } rows[] = {{0, 80}, {200, 40}, {400, 0}, {900, 0}, {356, 8}};
    for (const auto& r : rows) EXPECT_EQ(CShadowMotionView::shadowAlpha(r.depth, 400.0f), r.alpha) << r.depth;
    for (unsigned humans : {1u, 2u}) {
        CShadowMotionView s(0, 0, nullptr, 1, 1, nullptr, 0, humans);
        EXPECT_EQ(GAME_HEIGHT, humans == 1 ? 448u : 224u);
        EXPECT_EQ(GAME_WIDTH, humans == 1 ? 640u : 320u);
    }
}

}  // namespace
