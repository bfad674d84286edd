// The envelope map file (sub-file 82 of the audio master file), little-endian, no header:
//
//   u32 inputCount
//   inputCount blocks:
//     i32 inputKind
//     u32 outputCount
//     outputCount envelopes:
//       i32 outputKind
//       f32 default
//       u32 pointCount
//       pointCount x (f32 x, f32 y)      in any order
//
// Bytes after the last block are ignored (sub-files are padded). CEnvelopeMap reads it; the writer
// below builds images for the disc and the tests.
#pragma once

#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace envmap {

inline constexpr uint32_t kBlockHeaderBytes = 8;      // inputKind, outputCount
inline constexpr uint32_t kEnvelopeHeaderBytes = 12;  // outputKind, default, pointCount
inline constexpr uint32_t kPointBytes = 8;

struct Point {
    float x;
    float y;
};
struct Envelope {
    int32_t outputKind;
    float defaultValue;
    std::vector<Point> points;
};
struct InputBlock {
    int32_t inputKind;
    std::vector<Envelope> envelopes;
};

// Result of checking an image: on failure `why` names the first fault; `bytes` is the size the map
// occupies when it is good.
struct Check : FormatCheck {
    uint32_t bytes = 0;
};

// Every count against the bytes that remain, every float finite.
Check Validate(const void* image, uint32_t length);

std::vector<uint8_t> Write(const std::vector<InputBlock>& blocks);

}  // namespace envmap
