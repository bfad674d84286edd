// The packed master file: one disc file holding many sub-files, used in place after loading.
//
//   u32 N                      number of sub-files
//   u32 entry[N + 1]           entry & ~15: byte offset of sub-file i (16-aligned);
//                              entry & 15: padding bytes at the end of its slot;
//                              entry[N] & ~15: end of the last slot
//   u32 labelFirst[L + 1]      label l holds sub-files labelFirst[l] .. labelFirst[l+1] - 1
//   ...                        up to the first sub-file; the slack left by 16-byte alignment repeats the
//                              last labelFirst value, so it reads as empty labels
//   sub-file data, each slot 16-aligned
//
// All fields are little-endian. The number of labels is not stored: the label table runs from
// 8 + 4N up to the first sub-file. The reader is CFileManager; MasterFileWriter builds images.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "console/mem/format_check.h"

namespace masterfile {

inline constexpr uint32_t kAlign = 16;
inline constexpr uint32_t kOffsetMask = ~15u;
inline constexpr uint32_t kPadMask = 15u;
// Far more than any master file holds; keeps every size computation inside 32 bits.
inline constexpr uint32_t kMaxSubFiles = 1u << 20;

inline uint32_t ReadU32(const void* image, uint32_t byteOffset) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(image) + byteOffset, 4);
    return v;
}

inline uint32_t EntryOffset(uint32_t index) {
    return 4 + 4 * index;
}
inline uint32_t LabelTableOffset(uint32_t subFileCount) {
    return 8 + 4 * subFileCount;
}

// Result of checking an image against its length. On failure `why` names the first fault found; the
// counts are set when the image is good.
struct Check : FormatCheck {
    uint32_t subFiles = 0;
    uint32_t labelEntries = 0;  // labelFirst[0..labelEntries-1]
};

// Checks the whole image: count, entries, slots and label table, so later lookups need only the image.
Check Validate(const void* image, uint32_t length);

}  // namespace masterfile

// Builds a packed master file in memory.
class MasterFileWriter {
public:
    // Starts a new label: the sub-files added from now on belong to it.
    void beginLabel();
    // Appends a sub-file; returns its index.
    int add(const std::vector<uint8_t>& bytes);
    int add(const void* data, size_t size);
    int subFileCount() const { return static_cast<int>(subFiles_.size()); }
    std::vector<uint8_t> build() const;

private:
    std::vector<std::vector<uint8_t>> subFiles_;
    std::vector<uint32_t> labelFirst_;
};
