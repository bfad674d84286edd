// The output (y) kinds of the envelope map, with the range and default of each. The input (x) kinds are
// 0 distance between source and listener, 1 left-right offset, 2 front-back offset (and 3, the impact
// speed the collision sounds use).
#pragma once

struct parmInfo {
    char name[28];
    float min;
    float max;
    float def;
    char units[8];
};

enum EnvelopeInputKind { kEnvInDistance = 0, kEnvInSide = 1, kEnvInFront = 2, kEnvInImpactSpeed = 3 };
enum EnvelopeOutputKind {
    kEnvOutWaveGroup = 0,
    kEnvOutVolume = 1,
    kEnvOutPan = 2,
    kEnvOutPitch = 3,
    kEnvOutSurroundPan = 4,
};
inline constexpr int kEnvelopeOutputKinds = 5;

extern const parmInfo QZEnvelopeParams[kEnvelopeOutputKinds];
