#include "game/files/file_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "game/files/master_file_format.h"
#include "support/heap_image.h"
#include "support/temp_dir.h"

namespace {

using masterfile::EntryOffset;
using masterfile::LabelTableOffset;
using testsupport::HeapImage;

void PutU32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    std::memcpy(v.data() + at, &x, 4);
}

// Label 0: one 32-byte sub-file; label 1: a 29-byte one (3 pad bytes) and a 32-byte one. Sub-files at
// 0x20, 0x40 and 0x60; the label table {0, 1, 3} fills the index exactly.
std::vector<uint8_t> ThreeSubFiles() {
    MasterFileWriter w;
    w.beginLabel();
    w.add(testsupport::Pattern(32, 1));
    w.beginLabel();
    w.add(testsupport::Pattern(29, 2));
    w.add(testsupport::Pattern(32, 3));
    return w.build();
}

TEST(MasterFile, SubFilesAndLabelsComeFromTheIndex) {
    auto bytes = ThreeSubFiles();
    ASSERT_EQ(bytes.size(), 0x80u);
    ASSERT_TRUE(masterfile::Validate(bytes.data(), static_cast<uint32_t>(bytes.size())).ok);
    HeapImage img(bytes);
    CFileManager fm;
    auto* base = img.p;
    EXPECT_EQ(fm.getSubFileCount(img.p), 3);
    const struct { int at, length; } subFiles[] = {{0x20, 32}, {0x40, 29}, {0x60, 32}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(fm.loadSubFile(img.p, i), base + subFiles[i].at) << i;
        EXPECT_EQ(fm.getSubFileLength(img.p, i), subFiles[i].length) << i;
        EXPECT_EQ(0, std::memcmp(fm.loadSubFile(img.p, i),
                                 testsupport::Pattern(subFiles[i].length, i + 1).data(), subFiles[i].length));
    }
    EXPECT_EQ(fm.getLabelIndex(img.p, 1), 1);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 0), 1);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 1), 2);
    EXPECT_EQ(fm.loadSubFileLabel(img.p, 1, 1), base + 0x60);
    // Out of range: null, a negative length, no sub-files.
    EXPECT_EQ(fm.loadSubFile(img.p, 3), nullptr);
    EXPECT_LT(fm.getSubFileLength(img.p, 3), 0);
    EXPECT_EQ(fm.loadSubFileLabel(img.p, 1, 2), nullptr);
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 2), 0);  // the closing entry reads as an empty label
    EXPECT_EQ(fm.getSubfileCountForLabel(img.p, 99), 0);
    EXPECT_EQ(fm.getLabelIndex(img.p, 99), -1);
    EXPECT_EQ(fm.getSubFileCount(nullptr), 0);
    EXPECT_EQ(fm.loadSubFile(nullptr, 0), nullptr);
}

TEST(MasterFile, EmptyLabelsAndSubFilesKeepEverySlotAligned) {
    MasterFileWriter w;
    w.beginLabel();
    w.add(std::vector<uint8_t>{1, 2, 3});
    w.add(std::vector<uint8_t>(16, 7));
    w.beginLabel();  // empty label
    w.beginLabel();
    w.add(std::vector<uint8_t>{});
    w.add(testsupport::Pattern(1000));
    auto bytes = w.build();
    auto check = masterfile::Validate(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_TRUE(check.ok) << check.why;
    HeapImage img(bytes);
    CFileManager fm;
    EXPECT_EQ(fm.getSubFileCount(img.p), 4);
    const int lengths[] = {3, 16, 0, 1000}, perLabel[] = {2, 0, 2};
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(fm.getSubFileLength(img.p, i), lengths[i]) << i;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(fm.loadSubFile(img.p, i)) % 16, 0u) << i;
    }
    for (int l = 0; l < 3; ++l) EXPECT_EQ(fm.getSubfileCountForLabel(img.p, l), perLabel[l]) << l;
    EXPECT_EQ(0, std::memcmp(fm.loadSubFileLabel(img.p, 2, 1), testsupport::Pattern(1000).data(), 1000));
}

TEST(MasterFile, MalformedImagesAreRefused) {
    const auto good = ThreeSubFiles();
    const uint32_t labels = LabelTableOffset(3);
    const struct {
        const char* what;
        std::vector<std::pair<uint32_t, uint32_t>> patches;  // (offset, value)
        size_t keep;                                         // bytes kept of the image
    } cases[] = {
        {"shorter than a header", {}, 8},
        {"truncated inside the last sub-file", {}, 0x70},
        {"empty", {}, 0},
        {"count far past the file", {{0, 0x40000000}}, SIZE_MAX},
        {"count whose table runs past the first sub-file", {{0, 30}}, SIZE_MAX},
        {"offset past the end", {{EntryOffset(2), 0x1000}}, SIZE_MAX},
        {"offsets out of order", {{EntryOffset(1), 0x70}}, SIZE_MAX},
        {"first sub-file over the index", {{EntryOffset(0), 0x10}}, SIZE_MAX},
        {"label naming a missing sub-file", {{labels + 8, 9}}, SIZE_MAX},
        // 15 pad bytes in sub-file 0's 32-byte slot are fine, but not once its slot is empty.
        {"padding larger than the slot", {{EntryOffset(0), 0x2F}, {EntryOffset(1), 0x20}}, SIZE_MAX},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> v(good.begin(), good.begin() + static_cast<long>(std::min(c.keep, good.size())));
        for (auto [at, value] : c.patches) PutU32(v, at, value);
        auto check = masterfile::Validate(v.data(), static_cast<uint32_t>(v.size()));
        EXPECT_FALSE(check.ok) << c.what;
        EXPECT_STRNE(check.why, "") << c.what;
    }
    auto padded = good;
    PutU32(padded, EntryOffset(0), 0x2F);
    EXPECT_TRUE(masterfile::Validate(padded.data(), static_cast<uint32_t>(padded.size())).ok);
}

}  // namespace
