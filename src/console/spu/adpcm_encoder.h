// Encodes 16-bit PCM into the sound processor's ADPCM blocks (layout in console/spu/adpcm.h): for each
// block of 28 samples it tries every filter and shift and keeps the one whose decoded output is
// closest among those whose sums never leave 16 bits (so decoders that keep the clamped sample and
// those that keep the sum play it alike), tracking the decoder's own history so errors do not build
// up. Only when every candidate clips does it take the one with the fewest clipped sums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A one-shot sample ends with a block flagged loop end; a looping one starts with a loop-start block
// and ends with loop end + repeat, so it plays its blocks round and round. The input is padded with
// silence to whole blocks; no input gives one silent block.
std::vector<uint8_t> AdpcmEncode(const int16_t* pcm, size_t count, bool loop);

// Decodes whole blocks (for checking the encoder and in tests); stops after a block flagged loop end.
std::vector<int16_t> AdpcmDecodeAll(const uint8_t* data, size_t size);
