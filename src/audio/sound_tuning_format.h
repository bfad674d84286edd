// "AUDIO\sound.txt": the sound view's tuning, one line of text of at most 256 bytes:
//   eight volumes (music, effects, engine, checkpoint, collision, landing, announcer, crowd),
//   the announcer and crowd frequencies, then the three group limits, separated by white space.
// Only the first 256 bytes are read. Every volume is a gain of 0..1, the frequencies are chances per
// sound step (0..1) and a group limit is a count of the race mixer's channels (1..8); a value that is
// not a number, out of its range, a missing field or text after the last one makes the file unusable,
// and the race then takes DefaultSoundTuning() (sound_tuning.h loads, checks and logs).
#pragma once

#include <cstddef>
#include <string>

#include "console/mem/format_check.h"

inline constexpr const char* kSoundTuningFile = "AUDIO\\sound.txt";
inline constexpr size_t kSoundTuningMaxBytes = 256;
inline constexpr float kSoundTuningMaxVolume = 1.0f;
inline constexpr float kSoundTuningMaxFrequency = 1.0f;
inline constexpr int kSoundTuningMaxGroupLimit = 8;  // the race mixer's channels

struct SoundTuning {
    float volumes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    float announcerFrequency = 1.0f;
    float crowdFrequency = 1.0f;
    int groupLimits[3] = {8, 8, 8};
};

// The tuning the sample disc carries, and what the race uses when the file is missing or unusable.
SoundTuning DefaultSoundTuning();

// Parses and checks the file's text (at most kSoundTuningMaxBytes of it). Refused, saying what is wrong
// in a few words, when the text is longer than the reader's buffer, lacks a field, has text after the
// last field or a value outside its range; `out` is left alone then.
FormatCheck ReadSoundTuning(const char* text, size_t length, SoundTuning* out);
// The range check alone: refused with the fault of the first value outside its range.
FormatCheck CheckSoundTuning(const SoundTuning& tuning);
// The file's text.
std::string WriteSoundTuning(const SoundTuning& tuning);
