#include "audio/envelope_params.h"

const parmInfo QZEnvelopeParams[kEnvelopeOutputKinds] = {
    {"Wave Group", 0.0f, 20.0f, 0.0f, "wave"},
    {"Volume", 0.0f, 1.0f, 0.5f, "x"},
    {"Pan", 0.0f, 1.0f, 0.5f, "R"},
    {"Pitch", 0.5f, 2.0f, 1.0f, "x"},
    {"Surround Pan", 0.0f, 1.0f, 0.5f, "B"},
};
