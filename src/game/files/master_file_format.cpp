#include "game/files/master_file_format.h"

namespace masterfile {

Check Validate(const void* image, uint32_t length) {
    Check c{false, "", 0, 0};
    if (!image || length < 12) {
        c.why = "file too short for its header";
        return c;
    }
    const uint32_t n = ReadU32(image, 0);
    if (n > kMaxSubFiles || LabelTableOffset(n) + 4 > length) {
        c.why = "sub-file count does not fit the file";
        return c;
    }
    const uint32_t tableStart = LabelTableOffset(n);
    const uint32_t firstData = ReadU32(image, EntryOffset(0)) & kOffsetMask;
    if (firstData < tableStart + 4) {
        c.why = "first sub-file overlaps the index";
        return c;
    }
    if (firstData > length) {
        c.why = "sub-file offset past the end of the file";
        return c;
    }
    uint32_t prev = firstData;
    for (uint32_t i = 0; i <= n; ++i) {
        const uint32_t e = ReadU32(image, EntryOffset(i));
        const uint32_t off = e & kOffsetMask;
        if (off > length) {
            c.why = "sub-file offset past the end of the file";
            return c;
        }
        if (off < prev) {
            c.why = "sub-file offsets out of order";
            return c;
        }
        if (i < n) {
            const uint32_t next = ReadU32(image, EntryOffset(i + 1)) & kOffsetMask;
            if (next >= off && (e & kPadMask) > next - off) {
                c.why = "sub-file padding larger than its slot";
                return c;
            }
        }
        prev = off;
    }
    const uint32_t labelEntries = (firstData - tableStart) / 4;
    for (uint32_t l = 0; l < labelEntries; ++l) {
        if (ReadU32(image, tableStart + 4 * l) > n) {
            c.why = "label table names a sub-file that does not exist";
            return c;
        }
    }
    c.ok = true;
    c.why = "";
    c.subFiles = n;
    c.labelEntries = labelEntries;
    return c;
}

}  // namespace masterfile
