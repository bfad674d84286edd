#include "audio/sound_tuning_format.h"

#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

const char* const kFieldNames[13] = {"music volume",       "effects volume",     "engine volume",
                                     "checkpoint volume",  "collision volume",   "landing volume",
                                     "announcer volume",   "crowd volume",       "announcer frequency",
                                     "crowd frequency",    "engine group limit", "impact group limit",
                                     "effects group limit"};

bool Fail(std::string* fault, const std::string& what) {
    if (fault) *fault = what;
    return false;
}

bool FloatInRange(float v, float top, int field, std::string* fault) {
    if (std::isfinite(v) && v >= 0.0f && v <= top) return true;
    char text[96];
    std::snprintf(text, sizeof text, "%s %g is outside 0..%g", kFieldNames[field], static_cast<double>(v),
                  static_cast<double>(top));
    return Fail(fault, text);
}

}  // namespace

SoundTuning DefaultSoundTuning() {
    SoundTuning t;
    // Music, effects, engine, checkpoint, collision, landing, announcer, crowd. The music at full: the
    // music setting (2 of 10 out of the box) scales it, and under a race's engines it is heard at that.
    const float volumes[8] = {1.0f, 0.9f, 0.4f, 0.9f, 1.0f, 0.9f, 0.8f, 0.6f};
    for (int i = 0; i < 8; ++i) t.volumes[i] = volumes[i];
    t.announcerFrequency = 0.004f;  // chances per sound step
    t.crowdFrequency = 0.006f;
    t.groupLimits[0] = 8;  // engines
    t.groupLimits[1] = 6;  // landings, grunts, collisions
    t.groupLimits[2] = 6;  // everything else
    return t;
}

bool CheckSoundTuning(const SoundTuning& t, std::string* fault) {
    for (int i = 0; i < 8; ++i)
        if (!FloatInRange(t.volumes[i], kSoundTuningMaxVolume, i, fault)) return false;
    if (!FloatInRange(t.announcerFrequency, kSoundTuningMaxFrequency, 8, fault)) return false;
    if (!FloatInRange(t.crowdFrequency, kSoundTuningMaxFrequency, 9, fault)) return false;
    for (int i = 0; i < 3; ++i) {
        if (t.groupLimits[i] >= 1 && t.groupLimits[i] <= kSoundTuningMaxGroupLimit) continue;
        char text[96];
        std::snprintf(text, sizeof text, "%s %d is outside 1..%d", kFieldNames[10 + i], t.groupLimits[i],
                      kSoundTuningMaxGroupLimit);
        return Fail(fault, text);
    }
    return true;
}

bool ReadSoundTuning(const char* text, size_t length, SoundTuning* out, std::string* fault) {
    if (!text) return Fail(fault, "no text");
    if (length > kSoundTuningMaxBytes) return Fail(fault, "longer than 256 bytes");
    const std::string s(text, length);
    if (s.find('\0') != std::string::npos) return Fail(fault, "holds a zero byte");
    SoundTuning t;
    float* v = t.volumes;
    int used = 0;
    const int n = std::sscanf(s.c_str(), "%f %f %f %f %f %f %f %f %f %f %d %d %d%n", &v[0], &v[1], &v[2],
                              &v[3], &v[4], &v[5], &v[6], &v[7], &t.announcerFrequency, &t.crowdFrequency,
                              &t.groupLimits[0], &t.groupLimits[1], &t.groupLimits[2], &used);
    if (n < 13) {
        const int field = n < 0 ? 0 : n;
        return Fail(fault, std::string(field == 0 && s.find_first_not_of(" \t\r\n") == std::string::npos
                                           ? "empty"
                                           : "no " + std::string(kFieldNames[field])));
    }
    for (size_t i = static_cast<size_t>(used); i < s.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(s[i]))) return Fail(fault, "text after the last field");
    if (!CheckSoundTuning(t, fault)) return false;
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
