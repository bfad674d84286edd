#include "engine/hal/sound.h"

namespace {
int g_maxSamples = 0;
int g_speakerConfig = 0;
}  // namespace

void veSoundSetMaxSamples(int count) { g_maxSamples = count; }
void veSoundSetSpeakerConfig(int config) { g_speakerConfig = config; }
int veSoundGetMaxSamples() { return g_maxSamples; }
int veSoundGetSpeakerConfig() { return g_speakerConfig; }
int veSoundInit() { return 0; }
