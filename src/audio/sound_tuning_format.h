// "AUDIO\sound.txt": the sound view's tuning, one line of text of at most 256 bytes:
//   eight volumes (music a, music b, engine, checkpoint, collision, landing, announcer, crowd),
//   the announcer and crowd frequencies, then the three group limits, separated by spaces.
#pragma once

#include <cstddef>
#include <string>

inline constexpr const char* kSoundTuningFile = "AUDIO\\sound.txt";
inline constexpr size_t kSoundTuningMaxBytes = 256;

struct SoundTuning {
    float volumes[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    float announcerFrequency = 1.0f;
    float crowdFrequency = 1.0f;
    int groupLimits[3] = {8, 8, 8};
};

// Parses the file's text; false when it is longer than the reader's buffer or lacks a field.
bool ReadSoundTuning(const char* text, size_t length, SoundTuning* out);
// The file's text.
std::string WriteSoundTuning(const SoundTuning& tuning);
