// Loads sounds out of packed master files into the process-wide sound store, makes readers for sound
// ids, plays one-shot sounds, and keeps the default envelope map.
#pragma once

#include <cstdint>

class CEnvelopeMap;
class CSoundReader;
class CSoundStorage;

class CSoundFactory {
public:
    // Sub-file `index` of a loaded master file as a sample at `location` (kVemoLoc*). Returns the sound
    // id, or -1 when the sub-file is missing or bad, or the engine has no room for it (logged).
    static int loadSound(void* file, int index, uint32_t location);
    // A new reader for the id (the caller owns it), or null for an id that names no engine sample.
    static CSoundReader* getReader(int id);
    // Plays the sound once at its own rate, envelope and pan; the voice is left to the engine.
    static void triggerVemoSound(int id);
    // Loads sub-file kEnvelopeMapSubFile of the audio master file as the default envelope map.
    // False (and no default map) when the sub-file is missing or bad.
    static bool initDefaultEnvelopes(void* file);
    static CEnvelopeMap* getDefaultEnvelopes();
    static uint32_t getFlagsForSoundId(int id);
    static CSoundStorage* getSoundById(int id);

    static int32_t defEnvId;
};

inline constexpr unsigned kEnvelopeMapSubFile = 82;
