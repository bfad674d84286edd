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

bool FloatInRange(float v, float top, int field, FormatCheck* c) {
    if (std::isfinite(v) && v >= 0.0f && v <= top) return true;
    return c->SetFail("%s %g is outside 0..%g", kFieldNames[field], static_cast<double>(v),
                      static_cast<double>(top));
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

FormatCheck CheckSoundTuning(const SoundTuning& t) {
    FormatCheck c;
    for (int i = 0; i < 8; ++i)
        if (!FloatInRange(t.volumes[i], kSoundTuningMaxVolume, i, &c)) return c;
    if (!FloatInRange(t.announcerFrequency, kSoundTuningMaxFrequency, 8, &c)) return c;
    if (!FloatInRange(t.crowdFrequency, kSoundTuningMaxFrequency, 9, &c)) return c;
    for (int i = 0; i < 3; ++i) {
        if (t.groupLimits[i] >= 1 && t.groupLimits[i] <= kSoundTuningMaxGroupLimit) continue;
        return FormatCheck::Fail("%s %d is outside 1..%d", kFieldNames[10 + i], t.groupLimits[i],
                                 kSoundTuningMaxGroupLimit);
    }
    return c;
}

FormatCheck ReadSoundTuning(const char* text, size_t length, SoundTuning* out) {
    if (!text) return FormatCheck::Fail("no text");
    if (length > kSoundTuningMaxBytes) return FormatCheck::Fail("longer than 256 bytes");
    const std::string s(text, length);
    if (s.find('\0') != std::string::npos) return FormatCheck::Fail("holds a zero byte");
    SoundTuning t;
    float* v = t.volumes;
    int used = 0;
    const int n = std::sscanf(s.c_str(), "%f %f %f %f %f %f %f %f %f %f %d %d %d%n", &v[0], &v[1], &v[2],
                              &v[3], &v[4], &v[5], &v[6], &v[7], &t.announcerFrequency, &t.crowdFrequency,
                              &t.groupLimits[0], &t.groupLimits[1], &t.groupLimits[2], &used);
    if (n < 13) {
        const int field = n < 0 ? 0 : n;
        if (field == 0 && s.find_first_not_of(" \t\r\n") == std::string::npos)
            return FormatCheck::Fail("empty");
        return FormatCheck::Fail("no %s", kFieldNames[field]);
    }
    for (size_t i = static_cast<size_t>(used); i < s.size(); ++i)
        if (!std::isspace(static_cast<unsigned char>(s[i])))
            return FormatCheck::Fail("text after the last field");
    const FormatCheck c = CheckSoundTuning(t);
    if (c.ok) *out = t;
    return c;
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
