#include "game/files/master_file_format.h"

namespace masterfile {

Check Validate(const void* image, uint32_t length) {
    Check c;
    if (!image || length < 12) {
        c.SetFail("file too short for its header");
        return c;
    }
    const uint32_t n = ReadU32(image, 0);
    if (n > kMaxSubFiles || LabelTableOffset(n) + 4 > length) {
        c.SetFail("sub-file count does not fit the file");
        return c;
    }
    const uint32_t tableStart = LabelTableOffset(n);
    const uint32_t firstData = ReadU32(image, EntryOffset(0)) & kOffsetMask;
    if (firstData < tableStart + 4) {
        c.SetFail("first sub-file overlaps the index");
        return c;
    }
    if (firstData > length) {
        c.SetFail("sub-file offset past the end of the file");
        return c;
    }
    uint32_t prev = firstData;
    for (uint32_t i = 0; i <= n; ++i) {
        const uint32_t e = ReadU32(image, EntryOffset(i));
        const uint32_t off = e & kOffsetMask;
        if (off > length) {
            c.SetFail("sub-file offset past the end of the file");
            return c;
        }
        if (off < prev) {
            c.SetFail("sub-file offsets out of order");
            return c;
        }
        if (i < n) {
            const uint32_t next = ReadU32(image, EntryOffset(i + 1)) & kOffsetMask;
            if (next >= off && (e & kPadMask) > next - off) {
                c.SetFail("sub-file padding larger than its slot");
                return c;
            }
        }
        prev = off;
    }
    const uint32_t labelEntries = (firstData - tableStart) / 4;
    for (uint32_t l = 0; l < labelEntries; ++l) {
        if (ReadU32(image, tableStart + 4 * l) > n) {
            c.SetFail("label table names a sub-file that does not exist");
            return c;
        }
    }
    c.subFiles = n;
    c.labelEntries = labelEntries;
    return c;
}

}  // namespace masterfile

// ---- writer ----

namespace {
void PutU32(std::vector<uint8_t>& out, uint32_t offset, uint32_t v) {
    std::memcpy(out.data() + offset, &v, 4);
}
uint32_t Align16(uint32_t v) {
    return (v + 15) & ~15u;
}
}  // namespace

void MasterFileWriter::beginLabel() {
    labelFirst_.push_back(static_cast<uint32_t>(subFiles_.size()));
}

int MasterFileWriter::add(const std::vector<uint8_t>& bytes) {
    subFiles_.push_back(bytes);
    return static_cast<int>(subFiles_.size()) - 1;
}

int MasterFileWriter::add(const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    return add(std::vector<uint8_t>(p, p + size));
}

std::vector<uint8_t> MasterFileWriter::build() const {
    const uint32_t n = static_cast<uint32_t>(subFiles_.size());
    // The label table always closes with the end index, so the last label has an end to read.
    std::vector<uint32_t> labels = labelFirst_;
    labels.push_back(n);
    const uint32_t tableStart = masterfile::LabelTableOffset(n);
    const uint32_t firstData = Align16(tableStart + 4 * static_cast<uint32_t>(labels.size()));
    uint32_t size = firstData;
    for (const auto& s : subFiles_) size += Align16(static_cast<uint32_t>(s.size()));
    std::vector<uint8_t> out(size, 0);
    PutU32(out, 0, n);
    uint32_t offset = firstData;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t len = static_cast<uint32_t>(subFiles_[i].size());
        const uint32_t pad = Align16(len) - len;
        PutU32(out, masterfile::EntryOffset(i), offset | pad);
        if (len) std::memcpy(out.data() + offset, subFiles_[i].data(), len);
        offset += Align16(len);
    }
    PutU32(out, masterfile::EntryOffset(n), offset);
    // Slack up to the first sub-file repeats the end index: it reads as empty labels.
    for (uint32_t at = tableStart, l = 0; at < firstData; at += 4, ++l)
        PutU32(out, at, l < labels.size() ? labels[l] : n);
    return out;
}
