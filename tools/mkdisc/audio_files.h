// The sample disc's audio files: the audio master file (engines, bike events, the start, the envelope
// map), the world object sound files, the indoor crowd and announcer file, the front end's sounds and
// the tuning file. Every sound is synthesised (audio_synth.h) and encoded in the sound processor's ADPCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Sub-file counts of the files.
inline constexpr int kAudioMasterSubFiles = 83;
inline constexpr int kIndoorSoundSubFiles = 22;

// Hands each file to `write` with its path under the disc ("AUDIO/qz02Audi.bin", ...). `worldFiles`
// are the world file names ("i04.bin") with whether each is indoor. Returns false when a write fails.
using AudioFileSink = bool (*)(const std::string& path, const std::vector<uint8_t>& image, void* ctx);
struct AudioWorld {
    std::string file;
    bool indoor;
};
bool WriteAudioFiles(const std::vector<AudioWorld>& worlds, AudioFileSink write, void* ctx);

// Single files, for the tests.
std::vector<uint8_t> BuildAudioMasterFile();
std::vector<uint8_t> BuildIndoorSoundFile();
// A world sound file: `indoor` worlds carry fewer sounds so that the indoor file still fits the engine's
// sample table. The last sub-file is the list of the sounds' names (not a sound).
std::vector<uint8_t> BuildWorldSoundFile(bool indoor, uint32_t seed);
// The hit sounds every world sound file starts with, as object types name them (1-based world sound
// numbers; 0 is none: a collision with such an object is silent).
inline constexpr uint8_t kHitSoundFence = 1, kHitSoundTyre = 2, kHitSoundHayBale = 3, kHitSoundBarrel = 4;
// The looping sounds after them, as object types name them for the objects heard all race long (0-based
// world sound indices; 0 is none): a grandstand's crowd, a generator, wind and birds. Indoor files end
// after the generator.
inline constexpr uint8_t kAmbientCrowd = 5, kAmbientGenerator = 6, kAmbientWind = 7, kAmbientBirds = 8;
inline constexpr int kWorldSoundsIndoor = 7, kWorldSoundsOutdoor = 9;
// The fallback world sound file: the same numbering, the indoor file's sounds.
std::vector<uint8_t> BuildDefaultObjectSoundFile();
std::vector<uint8_t> BuildEnvelopeMapFile();
std::string BuildSoundTuningText();
