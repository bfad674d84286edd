// The mud and dust the bikes throw up: one process-wide system keeping every particle of a race in
// pooled blocks of one shape each (lines, triangles, quads). An emitter hands it a filled-in template;
// the system makes one live copy per human view, steps each copy twice per model update (gravity,
// motion, colour fade, growth, turning to face the camera), culls the depth-tested ones against their
// view and lists, per view, what the particle view draws (depth-tested particles far to near, then
// the others).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "bike/particle_sink.h"
#include "game/core/qz_math.h"
#include "game/model/object_system.h"

struct _ve_view;

enum ParticleType : int32_t {
    NONE_PARTICLE = 0,
    LINE_PARTICLE = 1,
    TRI_PARTICLE = 2,
    QUAD_PARTICLE = 3,
    NUM_PARTICLE_TYPES = 4,
};

enum ParticleState : int32_t {
    DEAD_PARTICLE = 0,
    ALIVE_PARTICLE = 1,
    DORMANT_PARTICLE = 2,
    WAITING_PARTICLE = 3,
};

enum ParticleFlags : uint32_t {
    PARTICLE_GRAVITY = 0x01,
    PARTICLE_MOVE = 0x02,
    PARTICLE_EXPAND = 0x04,
    PARTICLE_FACE_CAMERA = 0x08,
    PARTICLE_ZSORT = 0x10,
    PARTICLE_INHERIT = 0x20,
    PARTICLE_NO_SHAPE = 0x40,
    PARTICLE_DIRECTION = 0x80,
};

struct CColorRGBA {
    uint8_t r, g, b, a;
    CColorRGBA() = default;
    CColorRGBA(uint8_t r_, uint8_t g_, uint8_t b_, uint8_t a_) : r(r_), g(g_), b(b_), a(a_) {}
};

struct CColorRateRGBA {
    int8_t r, g, b, a;
    CColorRateRGBA() = default;
    CColorRateRGBA(int8_t r_, int8_t g_, int8_t b_, int8_t a_) : r(r_), g(g_), b(b_), a(a_) {}
};

class CParticleBlock;

class CParticle {
public:
    CParticle();
    virtual ~CParticle() = default;
    CParticle(const CParticle&) = default;
    CParticle& operator=(const CParticle&) = default;

    // Frees the slot: dead, available again.
    void kill();
    // Colour plus rate, each channel wrapping modulo 256.
    void stepColor();

    ParticleType type;
    ParticleState state;
    uint32_t flags;
    uint32_t duration;
    float time;
    qzVector3d pos, rot, vel;
    float gravity;
    int32_t texID;
    float z;
    CColorRGBA color{0, 0, 0, 0};
    CColorRateRGBA colorRate{0, 0, 0, 0};
    float scale = 0.0f;
    CParticle* particle;
    uint32_t waitTime;
    CParticleBlock* block = nullptr;
    uint32_t index = 0;
    float directionSpeed = 0.0f;
    qzVector3d directionVector;
    uint32_t viewIndex = 0;
};

class CLineParticle : public CParticle {
public:
    void lineUpdateParticle();
    qzVector3d worldVerts[2];
};

class CTriParticle : public CParticle {
public:
    void triUpdateParticle();
    float u[3] = {0, 0, 0}, v[3] = {0, 0, 0};
    qzVector3d verts[3];
    qzVector3d angVel;
    float expand = 0.0f;
    qzVector3d worldVerts[3];
};

class CQuadParticle : public CParticle {
public:
    void quadUpdateParticle();
    qzVector3d size;
    qzVector3d angVel;
    float expand = 0.0f;
    qzVector3d worldVerts[4];
};

// A pool of one shape.
class CParticleBlock {
public:
    static constexpr uint32_t kLines = 50, kTris = 32, kQuads = 100;
    static uint32_t capacityOf(ParticleType type);

    explicit CParticleBlock(ParticleType type);
    virtual ~CParticleBlock() = default;
    CParticleBlock(const CParticleBlock&) = delete;
    CParticleBlock& operator=(const CParticleBlock&) = delete;

    CParticle* at(uint32_t i);
    // Runs the shape's step of slot i.
    void step(uint32_t i);

    ParticleType type;
    std::unique_ptr<CQuadParticle[]> qParticle;
    std::unique_ptr<CTriParticle[]> tParticle;
    std::unique_ptr<CLineParticle[]> lParticle;
    std::unique_ptr<uint8_t[]> available;
    uint32_t freeCount;
    uint32_t usedCount = 0;
    uint32_t particleCount;
};

class CParticleSystem : public CObjectSystem, public particles::Sink {
public:
    static constexpr uint32_t kParticlesOn = 0x10000;
    static CParticleSystem* instance;
    // The race's option mask (bit 0x10000: particles on) and number of human views; the race sets them.
    static uint32_t raceOptions;
    static uint32_t numViews;
    // The existing system, or a new one.
    static CParticleSystem* getInstance();

    CParticleSystem();
    ~CParticleSystem() override;
    CParticleSystem(const CParticleSystem&) = delete;
    CParticleSystem& operator=(const CParticleSystem&) = delete;

    CParticleBlock* getParticleBlock(ParticleType type);
    CParticle* emitDormantParticle(CParticle* particle);
    void emitParticle(CParticle* particle);
    // The bike's emitters: a quad template into the system.
    void emitParticle(const particles::QuadParticle& particle) override;

    void update(float time) override;
    void doAction(const CPacket&, float) override {}
    void updateState(float) {}

    std::vector<std::unique_ptr<CParticleBlock>> block;
    uint32_t maxParticleNum = 3000;
    uint8_t maxParticleNumEnabledFlag = 0;
    uint32_t currentParticleNum = 0;
    uint32_t maxParticleNumDraw = 2000;
    _matrix4 faceCameraMat[2];
    qzVector3d lastCamForward[2];
    uint8_t useNewFaceCameraMat[2] = {0, 0};
    int32_t cameraId[2] = {-1, -1};
    float zFarClip = 6000.0f;
    _ve_view* viewPtr[2] = {nullptr, nullptr};
    std::vector<CParticle*> sortPList[2];

private:
    void readCamera(uint32_t v);
    void depthTest(CParticle* p);
    qzVector3d camPos_[2], camForward_[2], camRight_[2];
};

int particleCompareZ(const void* arg1, const void* arg2);
