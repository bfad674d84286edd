// What the bike's emitters hand to the particle system: a quad particle record filled on the stack and
// copied by the system, the system's entry point as a small interface, and the race's load level that
// thins the emitters' work.
//
// The emitters run their whole algorithm (accumulators, filters, random draws) whether or not a sink is
// installed, so the random sequence of a race does not depend on whether anything draws its particles.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

namespace particles {

// The race's load level, fastest first.
enum LoadLevel : int32_t {
    kVeryFast = 0,
    kFast = 1,
    kNormal = 2,
    kSlow = 3,
    kVerySlow = 4,
};

enum ParticleType : int32_t {
    kNoParticle = 0,
    kLineParticle = 1,
    kTriParticle = 2,
    kQuadParticle = 3,
};

struct ColorRGBA {
    uint8_t r = 0, g = 0, b = 0, a = 0;
};

// Signed per-frame steps of each channel.
struct ColorRateRGBA {
    int8_t r = 0, g = 0, b = 0, a = 0;
};

// One quad particle as an emitter describes it.
struct QuadParticle {
    int32_t type = kQuadParticle;
    uint32_t flags = 0;
    int32_t duration = 0;  // frames
    float time = 0.0f;
    qzVector3d pos, rot, vel;
    float gravity = 0.0f;
    int32_t texID = -1;
    ColorRGBA color;
    ColorRateRGBA colorRate;
    qzVector3d size;  // full edge lengths; the zero component picks the quad's plane
    float expand = 0.0f;
};

// The particle system's side: takes a copy of each emitted record.
class Sink {
public:
    virtual ~Sink() = default;
    virtual void emitParticle(const QuadParticle& particle) = 0;
};

namespace detail {
inline Sink* sink = nullptr;
inline const int32_t* loadLevelSource = nullptr;
}  // namespace detail

// The race's particle system, or null (the particles go nowhere).
inline Sink* sink() {
    return detail::sink;
}
inline void setSink(Sink* s) {
    detail::sink = s;
}

// The race points this at its own load level once; until then (and after it is cleared with null) the
// level is kVeryFast.
inline void setLoadLevelSource(const int32_t* level) {
    detail::loadLevelSource = level;
}
inline int32_t loadLevel() {
    return detail::loadLevelSource ? *detail::loadLevelSource : kVeryFast;
}

}  // namespace particles
