// The sample data the engine loads into sound memory: the sound processor's 4-bit ADPCM blocks
// (block layout, flags, filters and the decoder step are defined once, in console/spu/adpcm.h). Code
// above the engine that writes or checks sample data (the disc writer) takes the format from here.
#pragma once

#include "console/spu/adpcm.h"
