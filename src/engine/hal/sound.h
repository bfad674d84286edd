// Sound layer settings made before veSoundInit.
#pragma once

void veSoundSetMaxSamples(int count);
void veSoundSetSpeakerConfig(int config);
int veSoundGetMaxSamples();
int veSoundGetSpeakerConfig();
int veSoundInit();
