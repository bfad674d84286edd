// The particle system against a camera at the origin looking down +z (right +x): block pooling, the
// depth test's edges, colour wrap, lifetime in updates, the slowest load level, split-screen copies,
// far-to-near order, and the particle view's draw cap and texture reuse.
#include "race/scene/particle_system.h"

#include <gtest/gtest.h>

#include "engine/hal/engine.h"
#include "game/model/model.h"
#include "game/view/view_3d.h"
#include "race/scene/camera.h"
#include "race/scene/particle_view.h"
#include "support/world_view_scene.h"

namespace {

class ParticleSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        CModel* model = GetModel();
        cam = new CCamera;
        cam->forwardVec = qzVector3d(0, 0, 1);
        cam->rightVec = qzVector3d(1, 0, 0);
        cam->upVec = qzVector3d(0, -1, 0);
        model->objects.push_back(cam);
        CParticleSystem::raceOptions = CParticleSystem::kParticlesOn;
        CParticleSystem::numViews = 1;
        ps = new CParticleSystem;
        ps->cameraId[0] = ps->cameraId[1] = 0;
        particles::setLoadLevelSource(&level);
    }
    void TearDown() override {
        delete ps;
        delete CModel::modelPtr;
        particles::setLoadLevelSource(nullptr);
    }
    // A live quad at (x, 0, z), `duration` steps long.
    static CQuadParticle Quad(float x, float z, uint32_t flags, uint32_t duration = 10) {
        CQuadParticle q;
        q.type = QUAD_PARTICLE;
        q.flags = flags;
        q.duration = duration;
        q.pos = qzVector3d(x, 0, z);
        q.size = qzVector3d(4, 0, 4);
        return q;
    }
    CParticle* emit(CQuadParticle q) {
        ps->emitParticle(&q);
        CParticleBlock* b = ps->block.back().get();
        for (uint32_t i = b->particleCount; i-- > 0;)
            if (!b->available[i]) return b->at(i);
        return nullptr;
    }
    void killAll() {
        for (auto& b : ps->block)
            for (uint32_t i = 0; i < b->particleCount; ++i)
                if (!b->available[i]) b->at(i)->kill();
    }
    bool listed(const CParticle* p, int v = 0) const {
        for (const CParticle* q : ps->sortPList[v])
            if (q == p) return true;
        return false;
    }

    int32_t level = particles::kVeryFast;
    CCamera* cam = nullptr;
    CParticleSystem* ps = nullptr;
};

TEST_F(ParticleSystemTest, QuadBlocksStopAtTheLimit) {
    CQuadParticle q = Quad(0, 100, 0);
    for (int i = 0; i < 2900; ++i) ps->emitParticle(&q);
    EXPECT_EQ(ps->block.size(), 29u);
    EXPECT_EQ(ps->getParticleBlock(QUAD_PARTICLE), nullptr);
    ps->emitParticle(&q);  // no room: dropped
    EXPECT_EQ(ps->block.size(), 29u);
    // A freed slot is handed out again, the lowest of the first block.
    ps->block[0]->at(7)->kill();
    ps->block[0]->at(3)->kill();
    EXPECT_EQ(ps->emitDormantParticle(&q), ps->block[0]->at(3));
}

TEST_F(ParticleSystemTest, DepthTestEdges) {
    struct Row {
        float x, z;
        bool alive, listed;
    } rows[] = {
        {0, 0, true, false},     {0, 6000, true, true},    {0, 6001, false, false}, {100, 100, true, false},
        {110, 100, true, false}, {111, 100, false, false}, {-99, 100, true, true},  {0, -1, false, false},
    };
    for (const Row& r : rows) {
        CParticle* p = emit(Quad(r.x, r.z, PARTICLE_ZSORT));
        ps->update(0);
        EXPECT_EQ(p->state == ALIVE_PARTICLE, r.alive) << r.x << "," << r.z;
        EXPECT_EQ(listed(p), r.listed) << r.x << "," << r.z;
        // Unsorted particles are listed wherever they are.
        CParticle* u = emit(Quad(r.x, r.z, 0));
        ps->update(0);
        EXPECT_TRUE(listed(u)) << r.x << "," << r.z;
        killAll();
    }
}

TEST_F(ParticleSystemTest, StepsColourAndLifetime) {
    CQuadParticle q = Quad(0, 100, 0);
    q.state = ALIVE_PARTICLE;
    q.color = CColorRGBA(0, 0, 0, 2);
    q.colorRate = CColorRateRGBA(0, 0, 0, -3);
    q.quadUpdateParticle();
    EXPECT_EQ(q.color.a, 255);

    // Two steps an update: 40 steps are listed for 20 updates.
    CParticle* p = emit(Quad(0, 100, 0, 40));
    int updates = 0;
    for (ps->update(0); listed(p); ps->update(0)) ++updates;
    EXPECT_EQ(updates, 20);
    EXPECT_EQ(ps->block[0]->usedCount, 0u);

    // At the slowest level quads die at their first step.
    level = particles::kVerySlow;
    p = emit(Quad(0, 100, 0, 40));
    ps->update(0);
    EXPECT_EQ(p->state, DEAD_PARTICLE);
    EXPECT_FALSE(listed(p));

    // Options off: live particles stand still.
    level = particles::kVeryFast;
    p = emit(Quad(0, 100, PARTICLE_MOVE, 40));
    p->vel = qzVector3d(1, 0, 0);
    CParticleSystem::raceOptions = 0;
    ps->update(0);
    EXPECT_EQ(p->pos.x, 0.0f);
    EXPECT_EQ(p->duration, 40u);
}

TEST_F(ParticleSystemTest, SplitScreenCopiesAndFarToNearOrder) {
    CParticleSystem::numViews = 2;
    CQuadParticle q = Quad(0, 100, 0);
    ps->emitParticle(&q);
    ASSERT_EQ(ps->block[0]->usedCount, 2u);
    EXPECT_EQ(ps->block[0]->at(0)->viewIndex, 0u);
    EXPECT_EQ(ps->block[0]->at(1)->viewIndex, 1u);
    ps->update(0);
    EXPECT_EQ(ps->sortPList[0].size(), 1u);
    EXPECT_EQ(ps->sortPList[1].size(), 1u);

    CParticleSystem::numViews = 1;
    for (float z : {100.0f, 300.0f, 200.0f}) emit(Quad(0, z, PARTICLE_ZSORT));
    ps->update(0);
    ASSERT_EQ(ps->sortPList[0].size(), 4u);
    EXPECT_EQ(ps->sortPList[0][0]->z, 300.0f);
    EXPECT_EQ(ps->sortPList[0][1]->z, 200.0f);
    EXPECT_EQ(ps->sortPList[0][2]->z, 100.0f);
    EXPECT_EQ(ps->sortPList[0][3]->flags, 0u);  // the unsorted one comes last
}

TEST_F(ParticleSystemTest, ViewDrawsAtMostTheCapAndReusesTextures) {
    testsupport::BootEngineOnce();
    C3DView view(0, 1);
    ps->viewPtr[0] = &view._view3d;
    CParticleView pv(0, -1);
    std::vector<CQuadParticle> quads(2500, Quad(0, 100, 0));
    for (CQuadParticle& q : quads) ps->sortPList[0].push_back(&q);
    veEngineBeginFrame();
    pv.render(&view);
    EXPECT_EQ(pv.drawn, 2000u);

    // Same texture twice: one load; a line between them makes the second load again.
    CLineParticle line;
    line.type = LINE_PARTICLE;
    quads[0].texID = quads[1].texID = quads[3].texID = 5;
    ps->sortPList[0] = {&quads[0], &quads[1], &line, &quads[3]};
    pv.render(&view);
    EXPECT_EQ(pv.drawn, 4u);
    EXPECT_EQ(pv.textureLoads, 2u);

    // Options off or a view the system does not know: nothing.
    CParticleSystem::raceOptions = 0;
    pv.render(&view);
    EXPECT_EQ(pv.drawn, 0u);
    CParticleSystem::raceOptions = CParticleSystem::kParticlesOn;
    C3DView other(0, 1);
    pv.render(&other);
    EXPECT_EQ(pv.drawn, 0u);
    veEngineEndFrame();
}

}  // namespace
