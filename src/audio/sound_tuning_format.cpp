#include "audio/sound_tuning_format.h"

#include <cstdio>

bool ReadSoundTuning(const char* text, size_t length, SoundTuning* out) {
    if (!text || length > kSoundTuningMaxBytes) return false;
    const std::string s(text, length);
    SoundTuning t;
    float* v = t.volumes;
    const int n = std::sscanf(s.c_str(), "%f %f %f %f %f %f %f %f %f %f %d %d %d", &v[0], &v[1], &v[2], &v[3],
                              &v[4], &v[5], &v[6], &v[7], &t.announcerFrequency, &t.crowdFrequency,
                              &t.groupLimits[0], &t.groupLimits[1], &t.groupLimits[2]);
    if (n != 13) return false;
    *out = t;
    return true;
}

std::string WriteSoundTuning(const SoundTuning& t) {
    std::string s;
    char field[32];
    for (float v : t.volumes) {
        std::snprintf(field, sizeof field, "%f ", static_cast<double>(v));
        s += field;
    }
    std::snprintf(field, sizeof field, "%f %f ", static_cast<double>(t.announcerFrequency),
                  static_cast<double>(t.crowdFrequency));
    s += field;
    std::snprintf(field, sizeof field, "%d %d %d\n", t.groupLimits[0], t.groupLimits[1], t.groupLimits[2]);
    return s + field;
}
