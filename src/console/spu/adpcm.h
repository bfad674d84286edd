// The sound processor's 4-bit ADPCM, defined once here for the decoder (the voices) and the encoder
// (the disc writer) alike.
//
// Sound data is a run of 16-byte blocks, each holding 28 samples:
//   byte 0      low nibble: shift (0..12), high nibble: filter (0..4)
//   byte 1      flags: bit 0 loop end, bit 1 repeat, bit 2 loop start
//   bytes 2-15  28 signed 4-bit samples, the low nibble of each byte first
// A sample s decodes as  (s << 12 >> shift) + ((h1 * kAdpcmFilterPos[f] + h2 * kAdpcmFilterNeg[f]) >> 6),
// clamped to 16 bits, where h1 and h2 are the two previously decoded samples of the voice. The filter
// term is truncated by the arithmetic shift (toward minus infinity, no rounding term), as the widely used
// decoders do, so a sample made by any common tool sounds the same here.
//
// The history is the CLAMPED sample, the value that was output. That is what the sound processor keeps
// and what most decoders keep; a decoder that keeps the unclamped sum instead (ffmpeg's does) only
// differs once a sample has clipped, and our encoder never writes a nibble that clips when it can help it,
// so its output decodes the same either way. (ffmpeg also divides by 64 rather than shifting, which rounds
// a negative filter term toward zero: at most one step apart, and the filters' decay pulls it back.)
//
// Flags: a block with loop start marks where a repeat jumps back to. After the 28 samples of a block
// with loop end the voice raises its end flag and then either jumps back to the loop start (repeat set)
// or stops (repeat clear). A one-shot sample therefore ends with a block of flags 0x01; a looping
// sample starts with a block of flags 0x04 and ends with one of flags 0x03.
//
// Out-of-range headers (shift 13..15, filter 5..15) never come from our encoder; the decoder clamps them
// to shift 12 and filter 4 so that any bytes decode to something bounded.
#pragma once

#include <cstdint>

inline constexpr int kAdpcmBlockBytes = 16;
inline constexpr int kAdpcmBlockSamples = 28;

inline constexpr uint8_t kAdpcmFlagLoopEnd = 0x01;
inline constexpr uint8_t kAdpcmFlagRepeat = 0x02;
inline constexpr uint8_t kAdpcmFlagLoopStart = 0x04;

inline constexpr int kAdpcmMaxShift = 12;
inline constexpr int kAdpcmFilterCount = 5;
inline constexpr int kAdpcmFilterPos[kAdpcmFilterCount] = {0, 60, 115, 98, 122};
inline constexpr int kAdpcmFilterNeg[kAdpcmFilterCount] = {0, 0, -52, -55, -60};

inline int AdpcmShift(uint8_t header) {
    int s = header & 0x0F;
    return s > kAdpcmMaxShift ? kAdpcmMaxShift : s;
}
inline int AdpcmFilter(uint8_t header) {
    int f = header >> 4;
    return f >= kAdpcmFilterCount ? kAdpcmFilterCount - 1 : f;
}
inline bool AdpcmHeaderValid(uint8_t header) {
    return (header & 0x0F) <= kAdpcmMaxShift && (header >> 4) < kAdpcmFilterCount;
}

// The filter term: the prediction from the last two samples, truncated by an arithmetic shift.
inline int32_t AdpcmPredict(int filter, int32_t h1, int32_t h2) {
    return (h1 * kAdpcmFilterPos[filter] + h2 * kAdpcmFilterNeg[filter]) >> 6;
}

// One decoding step before the 16-bit limit: the scaled nibble (0..15, two's complement) plus the
// prediction.
inline int32_t AdpcmUnclamped(int nibble, int shift, int filter, int32_t h1, int32_t h2) {
    return (static_cast<int16_t>(static_cast<uint16_t>(nibble << 12)) >> shift) +
           AdpcmPredict(filter, h1, h2);
}

// One decoding step: nibble (0..15, two's complement) to a 16-bit sample; the clamped sample becomes
// the newest history.
inline int16_t AdpcmDecodeNibble(int nibble, int shift, int filter, int32_t* h1, int32_t* h2) {
    int32_t s = AdpcmUnclamped(nibble, shift, filter, *h1, *h2);
    // Rarely taken: as a predicted branch the limit stays off the sample-to-sample dependency chain.
    if (__builtin_expect(s != static_cast<int16_t>(s), 0)) s = s > 0 ? 32767 : -32768;
    *h2 = *h1;
    *h1 = s;
    return static_cast<int16_t>(s);
}

// Decodes one 16-byte block into 28 samples; returns the block's flags.
uint8_t AdpcmDecodeBlock(const uint8_t* block, int16_t* out, int32_t* h1, int32_t* h2);
