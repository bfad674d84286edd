// The race's sound tuning as read from the disc: "AUDIO\sound.txt" (sound_tuning_format.h) loaded and
// checked, or the defaults with one log line naming the file and the fault when it is missing or
// unusable.
#pragma once

#include "audio/sound_tuning_format.h"

SoundTuning LoadSoundTuning();
