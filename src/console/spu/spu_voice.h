// One voice of the sound processor: registers, ADPCM decoding from sound memory, envelope and its
// share of the mix.
//
// Pitch: 0x1000 plays one source sample per 48 kHz output sample; the register holds 14 bits, so larger
// values play at 0x3FFF. Output samples are interpolated linearly between neighbouring source samples.
//
// Envelope (a simplified reading of the two ADSR registers; the game uses only two settings):
//   ADSR1 bits 8-14 attack rate a: the level rises linearly from 0 to full in 2^(a/8) output samples.
//   Decay and sustain fields are not modelled: after the attack the level stays full until key-off.
//   ADSR2 bits 0-4 release rate r: after key-off the level falls linearly to 0 in 4 * 2^(r/2) output
//   samples, and the voice then stops (its end flag reads 1, as for any voice that is not sounding).
#pragma once

#include <cstdint>

#include "console/spu/adpcm.h"

namespace console {

inline constexpr uint32_t kSpuMemSize = 2 * 1024 * 1024;
inline constexpr uint16_t kSpuMaxPitch = 0x3FFF;
inline constexpr uint16_t kSpuMaxVolume = 0x3FFF;
inline constexpr int32_t kSpuEnvelopeFull = 0x8000;
// Most frames one mix call handles (the mixer works in chunks of this size).
inline constexpr int kSpuMixMaxFrames = 256;

enum class SpuEnvelopePhase : uint8_t { Off, Attack, Sustain, Release };

class SpuVoice {
public:
    void reset();
    // Restarts at the start address: clears the end flag and starts the attack.
    void keyOn(const uint8_t* mem);
    // Enters the release (nothing happens to a voice that is not sounding).
    void keyOff();
    // Adds `frames` output samples of this voice to the accumulators. masterL/R: the core's master
    // volume (0..0x3FFF).
    void mix(const uint8_t* mem, int32_t* accL, int32_t* accR, int frames, int32_t masterL, int32_t masterR);

    bool sounding() const { return phase_ != SpuEnvelopePhase::Off; }
    bool endFlag() const { return endFlag_; }
    void setEndFlag(bool on) { endFlag_ = on; }
    SpuEnvelopePhase phase() const { return phase_; }
    int32_t level() const { return level_; }
    uint32_t currentAddress() const { return blockAddr_; }
    uint32_t loopAddress() const { return loopAddr_; }

    // Registers, written by the sound library.
    uint16_t volL = 0;
    uint16_t volR = 0;
    uint16_t pitch = 0;
    uint16_t adsr1 = 0;
    uint16_t adsr2 = 0;
    uint32_t startAddr = 0;

private:
    // Blocks a steady stretch of one mix call can pass: 256 samples at the highest pitch.
    static constexpr int kWindowBlocks = (kSpuMixMaxFrames * kSpuMaxPitch / 4096) / kAdpcmBlockSamples + 2;

    void loadBlock(const uint8_t* mem, uint32_t addr);
    void decodeBlock(const uint8_t* mem, uint32_t addr, int16_t* out);
    // Moves on after the current block's 28 samples, decoding the next into `out`; false when the voice
    // stopped (end without repeat, or the end of memory).
    bool advance(const uint8_t* mem, int16_t* out);
    bool nextBlock(const uint8_t* mem);
    int mixSustain(const uint8_t* mem, int32_t* accL, int32_t* accR, int frames, int32_t masterL,
                   int32_t masterR, uint32_t step);
    void stop();

    SpuEnvelopePhase phase_ = SpuEnvelopePhase::Off;
    bool endFlag_ = true;
    int32_t level_ = 0;
    int32_t attackStep_ = 0;
    int32_t releaseStep_ = 0;
    uint32_t blockAddr_ = 0;
    uint32_t loopAddr_ = 0;
    uint8_t blockFlags_ = 0;
    uint32_t pos_ = 0;  // position in the block, 1/4096 source samples
    int32_t h1_ = 0;
    int32_t h2_ = 0;
    // buf_[0] is the last sample of the previous block, buf_[1..28] the current block.
    int16_t buf_[kAdpcmBlockSamples + 1] = {};
};

}  // namespace console
