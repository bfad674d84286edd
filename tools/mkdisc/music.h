// The disc's music: short procedural pieces (driving rock and electronic loops, each in its own key and
// tempo) rendered to stereo and written as music streams. Every piece loops seamlessly: notes that ring
// past the end carry on at its start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MusicPiece {
    const char* file;  // disc path, "AUDIO/MENUTUNE.STM"
    int key;           // MIDI note of the tonic
    bool minor;
    double bpm;
    int bars;         // of four beats
    bool electronic;  // sequenced synth lead and four-on-the-floor kick instead of guitars
    uint32_t seed;
};

inline constexpr uint32_t kMusicRate = 32000;
// Every piece's loudness (RMS, both channels) and its highest sample, as fractions of full scale: -12.4
// and -3 dB.
inline constexpr double kMusicRms = 0.24, kMusicCeiling = 0.7;

// The twelve pieces: the front end's three, then the race's nine, in playlist order.
const std::vector<MusicPiece>& MusicPieces();
// Renders a piece: left and right channels of equal length (a whole number of ADPCM blocks), at the
// common loudness kMusicRms with no sample above kMusicCeiling.
void RenderMusic(const MusicPiece& piece, std::vector<int16_t>& left, std::vector<int16_t>& right);
// The stream file of a piece.
std::vector<uint8_t> MusicStreamFile(const MusicPiece& piece);
