// The sound processor's 4-bit ADPCM, defined once here for the decoder (the voices) and the encoder
// (the disc writer) alike.
//
// Sound data is a run of 16-byte blocks, each holding 28 samples:
//   byte 0      low nibble: shift (0..12), high nibble: filter (0..4)
//   byte 1      flags: bit 0 loop end, bit 1 repeat, bit 2 loop start
//   bytes 2-15  28 signed 4-bit samples, the low nibble of each byte first
// A sample s decodes as  sum = (s << 12 >> shift) + (h1 * kAdpcmFilterPos[f] + h2 * kAdpcmFilterNeg[f]) / 64,
// the division truncating toward zero (as C's integer division does), and the output is the sum
// clamped to 16 bits. h1 and h2 are the two previous sums of the voice, NOT clamped: after a sample
// clips, the prediction goes on from the sum. This is ffmpeg's decoder for this block format, bit for
// bit (a test decodes random blocks of every filter and shift through ffmpeg when it is installed), so
// a sample made by a tool that checks its output with ffmpeg plays here as it did there. Decoders that
// keep the clamped sample as history (the console's own sound processor among them) give the same
// samples for as long as no sum leaves 16 bits; our encoder (adpcm_encoder.h) picks, for each block, a
// filter and shift whose sums all stay within 16 bits whenever one exists, so what it writes sounds the
// same in both kinds of decoder. Decoders that round or floor the filter term instead differ by about
// one step on most predicted samples, more where the filters' gain carries the difference along.
//
// Where ffmpeg does otherwise: a block whose flags have bits 0-2 all set (loop end, repeat and loop
// start on one block, which our encoder writes only for a looped sound of a single block) plays as
// silence there and as written here; a header with filter 5..15 stops ffmpeg's decoding and shift
// 13..15 shifts further there, while here both are clamped (below). And the history is held within
// +-2^23 so that no input can overflow the filter's arithmetic: a stream of one filter never comes
// near it (its sums stay below 3.8 million), so only crafted data is affected.
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
inline constexpr int32_t kAdpcmHistoryLimit = 1 << 23;
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

// The filter term: the prediction from the last two sums, divided by 64 truncating toward zero.
inline int32_t AdpcmPredict(int filter, int32_t h1, int32_t h2) {
    return (h1 * kAdpcmFilterPos[filter] + h2 * kAdpcmFilterNeg[filter]) / 64;
}

// One decoding step before the 16-bit limit: the scaled nibble (0..15, two's complement) plus the
// prediction.
inline int32_t AdpcmUnclamped(int nibble, int shift, int filter, int32_t h1, int32_t h2) {
    return (static_cast<int16_t>(static_cast<uint16_t>(nibble << 12)) >> shift) +
           AdpcmPredict(filter, h1, h2);
}

// One decoding step: nibble (0..15, two's complement) to a 16-bit sample; the sum before the limit
// becomes the newest history.
inline int16_t AdpcmDecodeNibble(int nibble, int shift, int filter, int32_t* h1, int32_t* h2) {
    const int32_t s = AdpcmUnclamped(nibble, shift, filter, *h1, *h2);
    *h2 = *h1;
    *h1 = s;
    // Rarely taken: as a predicted branch the limit stays off the sample-to-sample dependency chain.
    if (__builtin_expect(s != static_cast<int16_t>(s), 0)) {
        if (s > kAdpcmHistoryLimit) *h1 = kAdpcmHistoryLimit;
        if (s < -kAdpcmHistoryLimit) *h1 = -kAdpcmHistoryLimit;
        return s > 0 ? 32767 : -32768;
    }
    return static_cast<int16_t>(s);
}

// Decodes one 16-byte block into 28 samples; returns the block's flags.
uint8_t AdpcmDecodeBlock(const uint8_t* block, int16_t* out, int32_t* h1, int32_t* h2);
