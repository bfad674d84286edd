// The motion views: frame and blend rules, lights, level of detail, the bike's wheels and suspension, the
// rider's choosers and stunt records, inverse kinematics, and the hands and feet over a raced lap.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bike/components/bike_suspension.h"
#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "engine/anim/anim_decode.h"
#include "engine/hal/display.h"
#include "engine/hal/engine_fixture.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/lights.h"
#include "engine/hal/view_matrices.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/view/view_3d.h"
#include "host/png_writer.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"
#include "race/scene/bike_motion_view.h"
#include "race/scene/rider_view.h"
#include "support/bike_race.h"
#include "support/heap_image.h"

namespace {

using testsupport::HeapImage;
using namespace riderview;

constexpr float kStep = CMotionView::kStep;

// The disc's motions, rider and bike models, registered once.
struct Disc {
    HeapImage motions{Build()};
    HeapImage rider{WriteCommonGeometry(9)}, bike{WriteCommonGeometry(2)};
    int riderDesc = Describe(rider), bikeDesc = Describe(bike);
    static std::vector<uint8_t> Build() {
        MasterFileWriter w;
        w.beginLabel();
        for (int i = 0; i <= 75; ++i) {
            std::vector<uint8_t> m = WriteCommonMotion(i);
            w.add(m.empty() ? std::vector<uint8_t>(16, 0) : m);
        }
        return w.build();
    }
    static int Describe(const HeapImage& g) {
        auto* d = new CObjectDescription();
        for (int k = 0; k < 3; ++k)
            d->geometryIdList.push_back(CResourceStorage<CGeometry>::instance().add(new CGeometry(g.p)));
        return CResourceStorage<CObjectDescription>::instance().add(d);
    }
    static Disc& Get() {
        static Disc d;
        return d;
    }
};

float Length(const _animation* a) {
    return veAnimGetAnimationLength(a);
}

// One human bike (object 0) with its rider (object 1) and both views.
struct Rig : ::testing::Test {
    Rig() {
        CModel* model = GetModel();
        bike = new KineticBike;
        bike->frame.forwardDir = qzVector3d(0, 0, 1);
        bike->frame.rightDir = qzVector3d(1, 0, 0);
        bike->frame.upDir = qzVector3d(0, 1, 0);
        rider = new CRiderModel(0, -1);
        model->objects.insert(model->objects.end(), {bike, rider});
        bike->rider = rider;
        bikeView = std::make_unique<CKineticPhysicsView>(0, disc.bikeDesc, 0, kBikeStop, 0, disc.motions.p);
        view = std::make_unique<CRiderView>(1, disc.riderDesc, 0, kStop, 0, disc.motions.p);
        view->SetBlendMotion(kStop, 0, 0);
        view->SetBikeView(bikeView.get());
        CMotionView::gameTime = 0.0f;
    }
    ~Rig() override {
        view.reset();
        bikeView.reset();
        delete CModel::modelPtr;
    }
    // One drawn frame at 60 Hz game time (never late).
    void Frame(int n = 1) {
        for (int i = 0; i < n; ++i) {
            CMotionView::gameTime += kStep;
            view->UpdateFrame(nullptr, 0);
        }
    }
    Disc& disc = Disc::Get();
    KineticBike* bike;
    CRiderModel* rider;
    std::unique_ptr<CKineticPhysicsView> bikeView;
    std::unique_ptr<CRiderView> view;
};

TEST_F(Rig, MotionViewFramesBlendsLightsAndDetail) {
    ASSERT_TRUE(view->hasPose());
    ASSERT_EQ(view->skel.boneCount, 27u);
    // Without a description (or its geometry) there is no skeleton: the view holds no pose, steps and
    // draws nothing.
    for (int desc : {-1, 100000}) {
        CRiderView bare(1, desc, 0, kStop, 0, disc.motions.p);
        EXPECT_FALSE(bare.hasPose());
        bare.UpdateFrame(nullptr, 0);
        bare.render(nullptr);
    }
    view->LoadMotion(kRide, 0, false, false);
    view->setCurrentFrame(-1.0f);
    EXPECT_FLOAT_EQ(view->currentFrame, Length(view->anim) - kStep);
    view->setCurrentFrame(0.25f);
    EXPECT_EQ(view->currentFrame, 0.25f);

    // A blend asked for at frame exactly 0 loads at once, unless forced; elsewhere it transitions.
    view->currentFrame = 0.0f;
    view->LoadMotion(kTurn, 1, false, true);
    EXPECT_EQ(view->doTransition, 0u);
    EXPECT_EQ(view->currentMotion, static_cast<uint32_t>(kTurn));
    view->LoadMotion(kAccel, 0, true, true);
    EXPECT_EQ(view->doTransition, 1u);
    EXPECT_EQ(view->currentMotion, static_cast<uint32_t>(kTurn));
    EXPECT_EQ(view->blendMotion, static_cast<uint32_t>(kAccel));

    std::vector<float> levels;
    for (int i = 0; i < 7; ++i) {
        view->setupLights(1);
        levels.push_back(view->curLightLevel);
    }
    EXPECT_EQ(levels, (std::vector<float>{128, 53, 0, 75, 128, 53, 0}));
    // The colour matrix the lit paths read follows the lights: light 0 at the last level, lights 1 and 2
    // off, the flash's ambient last.
    const float* colours = veLightGetColorMatrix()->M;
    EXPECT_EQ(std::vector<float>(colours, colours + 16),
              (std::vector<float>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 36, 36, 36, 0}));
    view->setupLights(1);
    EXPECT_EQ(std::vector<float>(colours, colours + 4), (std::vector<float>{75, 75, 75, 0}));

    // Level of detail: camera at the origin, the rider on the z axis.
    auto* camera = new CModelObject;
    CModel::modelPtr->objects.push_back(camera);
    C3DView v(0, 1);
    v._cameraID = 2;
    C3DViewObject::objectLod1DepthSquared = 100;
    C3DViewObject::objectFarClipDepthSquared = 100000;
    struct Row {
        int viewNum, split;
        float depth;  // squared distance / 10000
        int lod;
    } rows[] = {{0, 0, 100, 0}, {0, 1, 100, 1}, {1, 0, 100, 1},
                {1, 0, 101, 2}, {0, 1, 101, 2}, {1, 0, 100001, -1}};
    for (const Row& r : rows) {
        v.viewNum = r.viewNum;
        CMotionView::splitScreen = r.split;
        rider->position = qzVector3d(0, 0, std::sqrt(r.depth * 10000.0f) + 0.001f);
        view->calculateLodDepth(&v, rider);
        EXPECT_EQ(view->LOD, r.lod) << r.viewNum << " " << r.split << " " << r.depth;
    }
    CMotionView::splitScreen = 0;
}

TEST_F(Rig, WheelsSpinAndSuspensionFollowsThePhysics) {
    const float cap = X_TWO_PI * CKineticPhysicsView::kMaxRpm / 3600.0f;
    const float perRpm = X_TWO_PI / 60.0f;  // spin velocity of one turn a minute
    struct Row {
        float angle, rpm, expected;
    } rows[] = {{1.0f, 2.3f, 1.0f},
                {1.0f, -2.3f, 1.0f},
                {0.0f, 500.0f, cap},
                {0.0f, -500.0f, cap},
                {0.0f, 100.0f, X_TWO_PI * 100.0f / 3600.0f},
                {3.1f, 231.0f, std::fmod(3.1f + X_TWO_PI * 231.0f / 3600.0f, X_PI)}};
    for (const Row& r : rows)
        EXPECT_NEAR(CKineticPhysicsView::SpinWheel(r.angle, r.rpm * perRpm), r.expected, 1e-5f) << r.rpm;

    Kinetic::knDefaultSuspensionBP bp(2);
    Kinetic::CBikeSuspension sus(bp);
    sus.suspensionRestLength = {0.5f, 0.5f};
    sus.suspensionCurrentLength = {0.4f, 0.3f};
    bike->m_suspension = &sus;
    bike->ground.wheelInfo[0].m_isInContact = true;
    bikeView->applySuspension(*bike);
    const float a = -20.0f + 1.75f * 100.0f * 0.2f;
    EXPECT_NEAR(bikeView->swingArmAngle, 25.0f * a / 50.0f / 100.0f, 1e-6f);
    const float h = 25.0f * (-20.0f + 1.2f * 100.0f * 0.1f) / 50.0f - 25.0f;
    EXPECT_NEAR(bikeView->skel.boneArray[3].parentToBone.y, h * std::sin(-4.23f), 1e-4f);
    bike->crash.lockSuspension = 1;
    bikeView->applySuspension(*bike);
    EXPECT_NEAR(bikeView->swingArmAngle, 25.0f * 8.0f / 50.0f / 100.0f, 1e-6f);
    // High up the fork and arm keep their last pose.
    bike->crash.lockSuspension = 0;
    bike->ground.wheelInfo[0].m_isInContact = false;
    bike->ground.distToGroundLevel[1] = 21.0f;
    bikeView->applySuspension(*bike);
    EXPECT_NEAR(bikeView->swingArmAngle, 25.0f * 8.0f / 50.0f / 100.0f, 1e-6f);
    bike->m_suspension = nullptr;
}

TEST_F(Rig, StandingTurningLateFramesAndHeadTurn) {
    // Standing exactly still: the foot goes down; moving again runs it back to frame 0.
    bike->status.flags = 1u << BIKE_ON_GROUND;
    Frame();
    EXPECT_EQ(view->currentMotion, static_cast<uint32_t>(kStop));
    EXPECT_EQ(view->startDone, 1);
    Frame(20);
    const float down = view->currentFrame;
    EXPECT_GT(down, 0.0f);
    bike->frame.linearVelocityMag = 1.0f;
    Frame();
    EXPECT_LT(view->currentFrame, down);
    Frame(60);
    EXPECT_EQ(view->startDone, 0);

    // A turn never goes past |roll| / 40 of the turn motion.
    bike->status.flags |= 1u << BIKE_LEFT_TURN;
    bike->ground.bikeRoll = 10.0f;
    Frame(40);
    ASSERT_EQ(view->currentMotion, static_cast<uint32_t>(kTurn));
    EXPECT_LE(view->currentFrame, view->motionFrames * 0.25f + 1e-6f);
    EXPECT_GT(view->currentFrame, view->motionFrames * 0.25f - 2.0f * kStep);

    // A frame after more than 0.03 s of game time steps twice.
    bike->status.flags = 1u << BIKE_ON_GROUND;
    bike->ground.bikeRoll = 0.0f;
    Frame(60);
    ASSERT_EQ(view->currentMotion, static_cast<uint32_t>(kRide));
    view->currentFrame = 0.1f;
    view->direction = 1;
    CMotionView::gameTime += 1.0f / 30.0f;
    view->UpdateFrame(nullptr, 0);
    EXPECT_NEAR(view->currentFrame, 0.1f + 2.0f * kStep, 1e-5f);

    // The head follows a rival at most 1 degree a frame and never past 45 degrees.
    KineticBike rival;
    KineticBike::racers[1] = &rival;
    rival.position = qzVector3d(50, 0, 1);  // level with us, to the right
    bike->laps.startRace = 1;
    bike->laps.currentCheckPoint = rival.laps.currentCheckPoint = 1;
    rival.laps.curWayTime = bike->laps.curWayTime + 5.0f;
    float last = view->currentAngle, most = 0.0f;
    for (int i = 0; i < 120; ++i) {
        Frame();
        EXPECT_LE(std::fabs(view->currentAngle - last), 0.0174534f);
        last = view->currentAngle;
        most = std::max(most, std::fabs(last));
    }
    EXPECT_NEAR(most, X_PI / 4.0f, 1e-4f);
    KineticBike::racers[1] = nullptr;
}

TEST_F(Rig, StuntsRecordedLandedAndBounded) {
    for (int s = 0; s < 12; ++s) {
        bike->riderAttributes.riderStuntList.push_back(static_cast<uint16_t>(kFirstStunt + s));
        bike->riderAttributes.bikeStuntList.push_back(0xFFFF);
    }
    bike->crash.postCrashHitGround = 1;
    bike->ground.distToGroundLevel[1] = 200.0f;
    bike->status.flags = 1u << BIKE_INAIR;
    bike->input.bikePacket = 1u << BIKEACTION_STUNT;
    view->holdStunt = 1;
    bike->input.pressed[BIKEACTION_STUNT] = -3;
    Frame();
    CStats& st = bike->bikeStats;
    ASSERT_EQ(st.numStuntsThisJump, 1);
    EXPECT_EQ(st.stuntsPerformedThisJump[0], 3);
    EXPECT_EQ(st.stuntPointValue[0], 800);
    EXPECT_STREQ(st.stuntName[0], stuntNames[3]);
    EXPECT_EQ(view->doMirror, 1u);
    EXPECT_EQ(bike->crash.stuntCrashFlag, 1);  // landing now would crash
    // Out-of-range presses start nothing; a ninth stunt in one jump plays but is not recorded.
    for (int p : {40, -40}) {
        view->riderState = kRiding;
        bike->input.pressed[BIKEACTION_STUNT] = p;
        Frame();
        EXPECT_EQ(st.numStuntsThisJump, 1);
    }
    for (int k = 1; k < 10; ++k) {
        view->riderState = kRiding;
        view->doStunt(bike, k, 0);
    }
    EXPECT_EQ(st.numStuntsThisJump, CStats::kMaxStuntsPerJump);
    EXPECT_EQ(view->doTransition ? view->blendMotion : view->currentMotion,
              static_cast<uint32_t>(kFirstStunt + 9));
    // The preload and wheelie motions may be landed and never held; table flags at their indices.
    struct Row {
        uint32_t motion;
        bool land, hold;
    } rows[] = {{kPreload, true, false},          {kWheelie, true, false},    {kFirstStunt + 11, true, true},
                {kFirstStunt + 13, false, false}, {kFirstStunt, false, true}, {kRide, false, false}};
    for (const Row& r : rows) {
        EXPECT_EQ(CanLand(r.motion), r.land) << r.motion;
        EXPECT_EQ(CanHold(r.motion), r.hold) << r.motion;
    }
}

TEST_F(Rig, InverseKinematicsReachesPointsAndPlacesRiders) {
    ASSERT_NE(view->pIk, nullptr);
    view->LoadMotion(kRide, 0, false, false);
    view->samplePose(view->angleArray, view->anim, 0.0f, false);
    view->computePalette();
    _ikProcess* hand = view->pIk[0].get();
    const qzVector3d shoulder(view->bonePalette[11].M[12], view->bonePalette[11].M[13],
                              view->bonePalette[11].M[14]);
    // Out of reach: both segments point at the target, no passes.
    hand->target = shoulder + qzVector3d(0, 0, 500);
    EXPECT_EQ(IK_CalculateIKVector(view.get(), hand), 0);
    view->computePalette();
    for (int b : {12, 13}) {
        const _matrix4& m = view->bonePalette[b];
        EXPECT_NEAR(m.M[12], shoulder.x, 0.01f);
        EXPECT_NEAR(m.M[13], shoulder.y, 0.01f);
        EXPECT_GT(m.M[14], shoulder.z);
    }
    // In reach: solved to within 0.8 units.
    view->samplePose(view->angleArray, view->anim, 0.0f, false);
    view->computePalette();
    qzVector3d end;
    IK_GetStandardScaleTarget(view.get(), hand, &end);
    hand->target = end + qzVector3d(3, -4, -6);
    EXPECT_GE(IK_CalculateIKVector(view.get(), hand), 1);
    view->computePalette();
    qzVector3d got;
    IK_GetStandardScaleTarget(view.get(), hand, &got);
    EXPECT_LE((got - hand->target) * (got - hand->target), 0.64f);

    // Placement: a crashed rider is left where he is; a computer rider sits exactly at the bike.
    bike->position = qzVector3d(10, 20, 30);
    rider->position = qzVector3d(1, 2, 3);
    rider->riderState = CRiderModel::kFreeCrash;
    view->IKMotion(rider, bike);
    EXPECT_EQ(rider->position.x, 1.0f);
    rider->riderState = CRiderModel::kOnBike;
    bike->isCPU = 1;
    view->IKMotion(rider, bike);
    EXPECT_EQ(rider->position.z, 30.0f);
}

// A human racer's rider over a raced lap: after each drawn frame's IK every hand and foot is within 1 cm
// (one unit) of where the animation put it on the bar or peg.
TEST(RiderViewLap, HandsAndFeetStayOnBarsAndPegs) {
    Disc& disc = Disc::Get();
    biketest::RaceSim sim;
    KineticBike* bike = sim.driver->bikes[0];
    ASSERT_FALSE(bike->isCPU);
    const int bikeId = sim.riders[0]->bikeId;
    int riderId = -1;
    for (size_t i = 0; i < CModel::modelPtr->objects.size(); ++i)
        if (CModel::modelPtr->objects[i] == sim.riders[0]) riderId = static_cast<int>(i);
    CKineticPhysicsView bikeView(bikeId, disc.bikeDesc, 0, kBikeStop, 0, disc.motions.p);
    CRiderView view(riderId, disc.riderDesc, 0, kStop, 0, disc.motions.p);
    view.SetBlendMotion(kStop, 0, 0);
    view.SetBikeView(&bikeView);
    ASSERT_NE(view.pIk, nullptr);
    float worst = 0.0f;
    int solved = 0, frames = 0;
    for (int step = 0; step < 6000 && bike->laps.curLap < 1; ++step) {
        sim.Step();
        if (step % 2) continue;
        CMotionView::gameTime += 2.0f * kStep;
        view.UpdateFrame(nullptr, 0);
        ++frames;
        if (sim.riders[0]->riderState != CRiderModel::kOnBike) continue;
        for (int k = 0; k < 4; ++k) {
            qzVector3d at;
            IK_GetStandardScaleTarget(&view, view.pIk[k].get(), &at);
            const qzVector3d miss = at - view.pIk[k]->target;
            worst = std::max(worst, std::sqrt(miss * miss));
        }
        ++solved;
    }
    EXPECT_GE(bike->laps.curLap, 1);
    EXPECT_GT(solved, frames / 2);
    EXPECT_LE(worst, 1.0f);
    RecordProperty("worst_miss_units", std::to_string(worst));
}

}  // namespace

// The rider on his bike drawn side on, posed by the views: he sits above it (the jersey's pixels above
// the plastics'), and stays in frame in every pose. QZ_RIDER_PNG_DIR keeps the pictures.
struct RiderLook : enginetest::EngineTest {};

TEST_F(RiderLook, RiderSitsOnTheBikeInEveryPose) {
    HeapImage motions(Disc::Build());
    HeapImage riderGeo(WriteCommonGeometry(9)), bikeGeo(WriteCommonGeometry(2));
    const int riderDesc = Disc::Describe(riderGeo), bikeDesc = Disc::Describe(bikeGeo);
    CModel* model = GetModel();
    auto* bike = new KineticBike;
    auto* rider = new CRiderModel(0, -1);
    model->objects.insert(model->objects.end(), {bike, rider});
    CKineticPhysicsView bikeView(0, bikeDesc, 0, kBikeRide, 0, motions.p);
    CRiderView view(1, riderDesc, 0, kRide, 0, motions.p);
    static _ve_view v3d;
    veDisplayCreateView3D(&v3d, 0, 0, 640, 448, kViewCentred | kViewAspectFromViewport, 1.0f, 65535.0f);
    M4_Identity(&v3d.cameraMatrix);
    // Body axes (right, forward, up) onto the screen: forward to the right, up the screen.
    _matrix4 body, axes, m;
    M4_Identity(&body);
    const float rows[3][3] = {{0, 0, -1}, {1, 0, 0}, {0, -1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) body.M[4 * r + c] = rows[r][c];
    const _vector3d at = {0, 20, 420};
    M4_SetTranslation(&body, &at);
    M4_SetRotationsXYZ(&axes, X_HALF_PI, 0.0f, X_PI);
    M4_Mult(&m, &body, &axes);
    struct Shot {
        int riderMotion, bikeMotion;
        float t;
        int mirror;
        const char* name;
    } shots[] = {{kRide, kBikeRide, 0.0f, 0, "ride"},
                 {kTurn, kBikeRide, 0.45f, 0, "turn"},
                 {kStop, kBikeStop, 0.45f, 0, "stop"},
                 {kAccel, kBikeRide, 0.4f, 0, "accel"},
                 {kWheelie, kBikeWheelie, 0.55f, 0, "wheelie"},
                 {kSlide, kBikeSlide, 0.6f, 1, "slide"},
                 {kWhipMotion, kBikeWhip, 0.45f, 0, "whip"},
                 {35, kBikeRide, 0.45f, 0, "stunt35"},
                 {38, kBikeRide, 0.45f, 0, "stunt38"},
                 {39, kBikeRide, 0.45f, 0, "stunt39"},
                 {46, 47, 0.45f, 0, "stunt46"},
                 {44, 45, 0.45f, 0, "stunt44"},
                 {kCrashAirFront, kBikeRide, 0.3f, 0, "crash24"},
                 {kCrashRoll, kBikeRide, 0.2f, 0, "crash27"}};
    std::vector<uint8_t> rgba(640 * 448 * 4);
    for (const Shot& s : shots) {
        view.LoadMotion(s.riderMotion, 0, false, false);
        view.samplePose(view.angleArray, view.anim, s.t, s.mirror != 0);
        view.computePalette();
        bikeView.doStunt(s.bikeMotion, s.mirror);
        bikeView.currentFrame = s.t;
        bikeView.UpdateFrame(nullptr, 0);
        bikeView.computePalette();
        DrawAndRun([&] {
            veDisplayActivateView(&v3d);
            veDisplaySetMode(0);
            veEngineSetLocalToWorld(&m);
            for (CMotionView* mv : {static_cast<CMotionView*>(&bikeView), static_cast<CMotionView*>(&view)}) {
                _geo_skeleton gs{int32_t(mv->skel.boneCount), nullptr};
                veEngineSetBoneArray(mv->bonePalette, &gs);
                veEngineDrawGeometry(CResourceStorage<CGeometry>::instance()
                                         .get(CResourceStorage<CObjectDescription>::instance()
                                                  .get(mv->descriptionId)
                                                  ->geometryIdList[0])
                                         ->geo);
            }
        });
        veEngineEndFrame();
        // Rows holding the jersey's blue and the plastics' yellow.
        double jerseyY = 0, plasticY = 0;
        int jersey = 0, plastic = 0;
        for (int y = 0; y < 448; ++y)
            for (int x = 0; x < 640; ++x) {
                const uint32_t p = FramePixel(x, y);
                uint8_t* o = &rgba[size_t(y * 640 + x) * 4];
                o[0] = uint8_t(p), o[1] = uint8_t(p >> 8), o[2] = uint8_t(p >> 16), o[3] = 255;
                const int r = o[0], g = o[1], b = o[2];
                if (b > 120 && r < 90 && g < 150) ++jersey, jerseyY += y;
                if (r > 110 && g > 90 && b < 80) ++plastic, plasticY += y;
            }
        if (const char* dir = std::getenv("QZ_RIDER_PNG_DIR")) {
            host::Error err;
            host::WritePng(std::string(dir) + "/rider_" + s.name + ".png", rgba.data(), 640, 448, 4, true,
                           &err);
        }
        EXPECT_GT(jersey, 200) << s.name;
        EXPECT_GT(plastic, 200) << s.name;
        if (s.riderMotion == kRide && jersey && plastic) {
            EXPECT_LT(jerseyY / jersey, plasticY / plastic);
        }
    }
    delete CModel::modelPtr;
}
