#include "race/scene/particle_system.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "game/model/model.h"
#include "race/scene/camera.h"

CParticleSystem* CParticleSystem::instance = nullptr;
uint32_t CParticleSystem::raceOptions = CParticleSystem::kParticlesOn;
uint32_t CParticleSystem::numViews = 1;

namespace {

// Row vector times the upper 3x3 of m.
qzVector3d Turn(const _matrix4& m, const qzVector3d& c) {
    return qzVector3d(c.x * m.M[0] + c.y * m.M[4] + c.z * m.M[8], c.x * m.M[1] + c.y * m.M[5] + c.z * m.M[9],
                      c.x * m.M[2] + c.y * m.M[6] + c.z * m.M[10]);
}

uint32_t Views() {
    return CParticleSystem::numViews >= 2 ? 2 : 1;
}

}  // namespace

// ---- particles ----

CParticle::CParticle()
    : type(NONE_PARTICLE),
      state(DEAD_PARTICLE),
      flags(0),
      duration(0),
      time(0.0f),
      gravity(0.0f),
      texID(-1),
      z(0.0f),
      particle(nullptr),
      waitTime(0) {}

void CParticle::kill() {
    state = DEAD_PARTICLE;
    if (!block) return;
    block->available[index] = 1;
    ++block->freeCount;
    --block->usedCount;
}

void CParticle::stepColor() {
    color.r = static_cast<uint8_t>(color.r + colorRate.r);
    color.g = static_cast<uint8_t>(color.g + colorRate.g);
    color.b = static_cast<uint8_t>(color.b + colorRate.b);
    color.a = static_cast<uint8_t>(color.a + colorRate.a);
}

void CLineParticle::lineUpdateParticle() {
    if (state != ALIVE_PARTICLE) return;
    if (duration == 0) {
        kill();
        return;
    }
    const qzVector3d last = pos;
    if (flags & PARTICLE_GRAVITY) vel.y += gravity;
    if (flags & PARTICLE_MOVE) pos = pos + vel;
    stepColor();
    worldVerts[1] = pos;
    worldVerts[0] = pos + (last - pos) * scale;
    time += 1.0f;
    --duration;
}

void CTriParticle::triUpdateParticle() {
    if (state != ALIVE_PARTICLE) return;
    if (duration == 0) {
        kill();
        return;
    }
    if (flags & PARTICLE_GRAVITY) vel.y += gravity;
    if (flags & PARTICLE_MOVE) pos = pos + vel;
    stepColor();
    qzVector3d c[3] = {verts[0], verts[1], verts[2]};
    if (flags & PARTICLE_EXPAND)
        for (qzVector3d& k : c) k = k + (k * expand) * time;
    _matrix4 m;
    if (flags & PARTICLE_FACE_CAMERA) {
        m = CParticleSystem::getInstance()->faceCameraMat[viewIndex & 1];
    } else {
        rot = rot + angVel;
        M4_SetRotationsXYZ(&m, rot.x, rot.y, rot.z);
    }
    for (int i = 0; i < 3; ++i) worldVerts[i] = pos + Turn(m, c[i]);
    time += 1.0f;
    --duration;
}

void CQuadParticle::quadUpdateParticle() {
    if (state == WAITING_PARTICLE) {
        if (--waitTime == 0) {
            state = ALIVE_PARTICLE;
            block->available[index] = 0;
            --block->freeCount;
            ++block->usedCount;
        }
        return;
    }
    if (state != ALIVE_PARTICLE) return;
    if (particles::loadLevel() == particles::kVerySlow) duration = 0;
    if (duration == 0) {
        kill();
        return;
    }
    if (flags & PARTICLE_DIRECTION) vel = vel + directionVector;
    if (flags & PARTICLE_GRAVITY) vel.y += gravity;
    if (flags & PARTICLE_MOVE) pos = pos + vel;
    stepColor();
    qzVector3d corner2;
    if (!(flags & PARTICLE_NO_SHAPE)) {
        const float hx = size.x * 0.5f, hy = size.y * 0.5f, hz = size.z * 0.5f;
        // Corner signs in the two axes of the quad's plane.
        const float sa[4] = {-1, -1, 1, 1}, sb[4] = {-1, 1, 1, -1};
        qzVector3d c[4];
        for (int i = 0; i < 4; ++i) {
            if (size.z == 0.0f)
                c[i] = qzVector3d(sa[i] * hx, sb[i] * hy, 0.0f);
            else if (size.y == 0.0f)
                c[i] = qzVector3d(sa[i] * hx, 0.0f, sb[i] * hz);
            else
                c[i] = qzVector3d(0.0f, sa[i] * hy, sb[i] * hz);
        }
        if (flags & PARTICLE_EXPAND)
            for (qzVector3d& k : c) k = k + (k * expand) * time;
        corner2 = c[2];
        if (flags & PARTICLE_FACE_CAMERA) {
            const _matrix4& m = CParticleSystem::getInstance()->faceCameraMat[viewIndex & 1];
            for (int i = 0; i < 4; ++i) worldVerts[i] = pos + Turn(m, c[i]);
        }
    }
    time += 1.0f;
    --duration;
    if (!(flags & PARTICLE_NO_SHAPE) && duration == 0 && particle) {
        auto* child = static_cast<CQuadParticle*>(particle);
        if (flags & PARTICLE_INHERIT) {
            child->size = corner2 * 2.0f;
            child->pos = pos;
            child->color = color;
        }
        child->state = WAITING_PARTICLE;
        child->waitTime = 1;
    }
}

// ---- blocks ----

uint32_t CParticleBlock::capacityOf(ParticleType type) {
    switch (type) {
        case LINE_PARTICLE:
            return kLines;
        case TRI_PARTICLE:
            return kTris;
        case QUAD_PARTICLE:
            return kQuads;
        default:
            return 0;
    }
}

CParticleBlock::CParticleBlock(ParticleType t)
    : type(t), freeCount(capacityOf(t)), particleCount(capacityOf(t)) {
    if (t == LINE_PARTICLE) lParticle = std::make_unique<CLineParticle[]>(particleCount);
    if (t == TRI_PARTICLE) tParticle = std::make_unique<CTriParticle[]>(particleCount);
    if (t == QUAD_PARTICLE) qParticle = std::make_unique<CQuadParticle[]>(particleCount);
    available = std::make_unique<uint8_t[]>(particleCount);
    for (uint32_t i = 0; i < particleCount; ++i) available[i] = 1;
}

CParticle* CParticleBlock::at(uint32_t i) {
    if (qParticle) return &qParticle[i];
    if (tParticle) return &tParticle[i];
    if (lParticle) return &lParticle[i];
    return nullptr;
}

void CParticleBlock::step(uint32_t i) {
    if (qParticle) qParticle[i].quadUpdateParticle();
    if (tParticle) tParticle[i].triUpdateParticle();
    if (lParticle) lParticle[i].lineUpdateParticle();
}

// ---- the system ----

CParticleSystem* CParticleSystem::getInstance() {
    if (!instance) instance = new CParticleSystem();
    return instance;
}

CParticleSystem::CParticleSystem() {
    for (int v = 0; v < 2; ++v) {
        sortPList[v].reserve(5000);
        lastCamForward[v] = qzVector3d(0.0f, 1.0f, 0.0f);
        M4_Identity(&faceCameraMat[v]);
    }
    instance = this;
}

CParticleSystem::~CParticleSystem() {
    if (particles::sink() == this) particles::setSink(nullptr);
    for (auto& l : sortPList) l.clear();
    block.clear();
    if (instance == this) instance = nullptr;
}

CParticleBlock* CParticleSystem::getParticleBlock(ParticleType type) {
    uint32_t sum = 0, last = 0;
    for (auto& b : block) {
        if (b->type == type && b->freeCount != 0) return b.get();
        last = CParticleBlock::capacityOf(b->type);
        sum += last;
    }
    if (CParticleBlock::capacityOf(type) == 0 || sum + last >= maxParticleNum) return nullptr;
    block.push_back(std::make_unique<CParticleBlock>(type));
    return block.back().get();
}

CParticle* CParticleSystem::emitDormantParticle(CParticle* particle) {
    CParticleBlock* b = particle ? getParticleBlock(particle->type) : nullptr;
    if (!b) return nullptr;
    uint32_t i = 0;
    while (i < b->particleCount && !b->available[i]) ++i;
    if (i == b->particleCount) return nullptr;
    CParticle* copy = b->at(i);
    switch (b->type) {
        case LINE_PARTICLE:
            *static_cast<CLineParticle*>(copy) = *static_cast<CLineParticle*>(particle);
            break;
        case TRI_PARTICLE:
            *static_cast<CTriParticle*>(copy) = *static_cast<CTriParticle*>(particle);
            break;
        default:
            *static_cast<CQuadParticle*>(copy) = *static_cast<CQuadParticle*>(particle);
            break;
    }
    copy->type = b->type;
    copy->block = b;
    copy->index = i;
    copy->state = DORMANT_PARTICLE;
    // No emitter starts a child particle: copies never carry one.
    copy->particle = nullptr;
    return copy;
}

void CParticleSystem::emitParticle(CParticle* particle) {
    for (uint32_t v = 0; v < Views(); ++v) {
        CParticle* copy = emitDormantParticle(particle);
        if (!copy) continue;
        copy->state = ALIVE_PARTICLE;
        copy->block->available[copy->index] = 0;
        --copy->block->freeCount;
        ++copy->block->usedCount;
        copy->viewIndex = v;
    }
}

void CParticleSystem::emitParticle(const particles::QuadParticle& q) {
    CQuadParticle p;
    p.type = QUAD_PARTICLE;
    p.flags = q.flags;
    p.duration = q.duration < 0 ? 0u : static_cast<uint32_t>(q.duration);
    p.time = q.time;
    p.pos = q.pos;
    p.rot = q.rot;
    p.vel = q.vel;
    p.gravity = q.gravity;
    p.texID = q.texID;
    p.color = CColorRGBA(q.color.r, q.color.g, q.color.b, q.color.a);
    p.colorRate = CColorRateRGBA(q.colorRate.r, q.colorRate.g, q.colorRate.b, q.colorRate.a);
    p.size = q.size;
    p.expand = q.expand;
    for (qzVector3d& w : p.worldVerts) w = q.pos;
    emitParticle(&p);
}

void CParticleSystem::readCamera(uint32_t v) {
    CModel* m = CModel::modelPtr;
    const int id = cameraId[v];
    auto* cam = m && id >= 0 && static_cast<size_t>(id) < m->objects.size()
                    ? dynamic_cast<CCamera*>(m->objects[static_cast<size_t>(id)])
                    : nullptr;
    if (cam) {
        camPos_[v] = cam->position;
        camForward_[v] = cam->forwardVec;
        camRight_[v] = cam->rightVec;
    }
    const qzVector3d& f = camForward_[v];
    if (lastCamForward[v] * f < 0.85f) {
        const qzVector3d up = cam ? cam->upVec : qzVector3d(0.0f, -1.0f, 0.0f);
        _matrix4& m = faceCameraMat[v];
        M4_Identity(&m);
        const qzVector3d* rows[3] = {&camRight_[v], &f, &up};
        for (int r = 0; r < 3; ++r) {
            m.M[4 * r] = rows[r]->x;
            m.M[4 * r + 1] = rows[r]->y;
            m.M[4 * r + 2] = rows[r]->z;
        }
        useNewFaceCameraMat[v] = 1;
        lastCamForward[v] = f;
    } else {
        useNewFaceCameraMat[v] = 0;
    }
    sortPList[v].clear();
}

void CParticleSystem::depthTest(CParticle* p) {
    const uint32_t v = p->viewIndex & 1;
    const qzVector3d d = p->pos - camPos_[v];
    p->z = d * camForward_[v];
    if (p->z < 0.0f) {
        p->kill();
        return;
    }
    if (p->z == 0.0f) return;
    const float x = std::fabs(d * camRight_[v]);
    if (x < p->z) {
        if (p->z <= zFarClip)
            sortPList[v].push_back(p);
        else
            p->kill();
    } else if (x > 1.1f * p->z) {
        p->kill();
    }
}

int particleCompareZ(const void* arg1, const void* arg2) {
    const CParticle* a = *static_cast<CParticle* const*>(arg1);
    const CParticle* b = *static_cast<CParticle* const*>(arg2);
    return a->z < b->z ? 1 : a->z > b->z ? -1 : 0;
}

void CParticleSystem::update(float) {
    if (!(raceOptions & kParticlesOn)) return;
    const uint32_t views = Views();
    for (uint32_t v = 0; v < views; ++v) readCamera(v);
    for (auto& b : block) {
        if (b->usedCount == 0) continue;
        for (uint32_t i = 0; i < b->particleCount; ++i) {
            if (b->available[i]) continue;
            b->step(i);
            CParticle* p = b->at(i);
            if (p->state == ALIVE_PARTICLE && (p->flags & PARTICLE_ZSORT)) depthTest(p);
        }
    }
    if (particles::loadLevel() < particles::kSlow)
        for (uint32_t v = 0; v < views; ++v)
            if (!sortPList[v].empty())
                // A stable sort, as the C library's qsort does here, but with its scratch from the engine
                // heap: the C library's malloc would take a fresh block for every sort of more than 128
                // particles, which a sanitizer's quarantine keeps for a long time.
                std::stable_sort(
                    sortPList[v].begin(), sortPList[v].end(),
                    [](CParticle* const& a, CParticle* const& b) { return particleCompareZ(&a, &b) < 0; });
    for (auto& b : block) {
        if (b->usedCount == 0) continue;
        for (uint32_t i = 0; i < b->particleCount; ++i) {
            if (b->available[i]) continue;
            b->step(i);
            CParticle* p = b->at(i);
            if (p->state == ALIVE_PARTICLE && !(p->flags & PARTICLE_ZSORT))
                sortPList[p->viewIndex & 1].push_back(p);
        }
    }
}
