// A bike's particles: the dust cloud's counter, how many exhaust, trail, mud, dust and dirt particles
// are owed, the colour filters of the trail, and the textures and particle blocks the race gave it.
#pragma once

#include <cstdint>

#include "bike/attributes.h"

struct BikeParticles {
    int32_t dustCloudCounter = 0;
    float numExhaustParticles = 0.0f, numTrailParticles = 0.0f, numMudParticles = 0.0f;
    float numFrontDustParticles = 0.0f, numBackDustParticles = 0.0f, numDirtParticles = 0.0f;
    CFilter particalFilterR, particalFilterG, particalFilterB;
    int32_t dustTexID = -1, mudTexID = -1, TrailTexID = -1, dirtTexID = -1;
    uint32_t dustParticleBlockID = 0, dirtParticleBlockID = 0, dirt2ParticleBlockID = 0;
    uint32_t mudParticleBlockID = 0, trailParticleBlockID = 0;
};
