#include "audio/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/envelope_map_format.h"
#include "engine/sys/loaded_files.h"
#include "support/heap_image.h"
#include "support/log_capture.h"

namespace {

using envmap::InputBlock;

struct Loaded {
    explicit Loaded(const std::vector<InputBlock>& blocks) : bytes(envmap::Write(blocks)), image(bytes) {
        ok = map.load(image.p, static_cast<uint32_t>(image.size));
    }
    std::vector<uint8_t> bytes;
    testsupport::HeapImage image;
    CEnvelopeMap map;
    bool ok;
};

TEST(EnvelopeMap, PointsSortedAndEvaluatedFromTheDefault) {
    // (0, 1): descending points, default 1. (1, 2): a repeated x. (0, 1) again in a second block replaces
    // nothing here; (2, 4) given twice replaces the first (the sanitizer build sees a leak otherwise).
    Loaded f({{0, {{1, 1.0f, {{10.0f, 0.0f}, {2.0f, 1.0f}}}}},
              {1, {{2, 0.0f, {{4.0f, 0.2f}, {4.0f, 0.8f}, {8.0f, 1.0f}}}}},
              {2, {{4, 0.0f, {{1.0f, 9.0f}}}, {4, 0.0f, {{1.0f, 0.25f}}}}}});
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.map(0, 1).values.front().first, 2.0f);
    struct Case {
        int in, out;
        float x, want;
    } cases[] = {
        {0, 1, 6.0f, 0.5f},   {0, 1, 20.0f, 0.0f},   {0, 1, 1.0f, 1.0f},
        {1, 2, 4.0f, 0.8f},   {1, 2, 2.0f, 0.1f},    {1, 2, 6.0f, 0.9f},
        {2, 4, 0.5f, 0.125f}, {2, 4, -1.0f, -0.25f}, {5, 1, 3.0f, 0.0f},  // missing: made empty, its default
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(f.map(c.in, c.out).value(c.x), c.want) << c.in << "," << c.out << " at " << c.x;
    EXPECT_EQ(f.map.data[1][2]->values.size(), 3u);
}

TEST(EnvelopeMap, EmptyMapGivesDefaults) {
    Loaded f({});
    ASSERT_TRUE(f.ok);
    EXPECT_TRUE(f.map.data.empty());
    CEnvelope& e = f.map(0, 1);
    e.defaultValue = 0.5f;
    EXPECT_EQ(e.value(123.0f), 0.5f);
}

TEST(EnvelopeMap, TruncatedOversizedAndNonFiniteImagesAreRefused) {
    const std::vector<uint8_t> good = envmap::Write({{0, {{1, 0.5f, {{1.0f, 1.0f}, {2.0f, 0.0f}}}}}});
    for (size_t n = 0; n < good.size(); ++n) {
        testsupport::HeapImage img(good, n);
        CEnvelopeMap map;
        EXPECT_FALSE(map.load(img.p, static_cast<uint32_t>(n))) << n;
        EXPECT_TRUE(map.data.empty());
    }
    auto patched = [&](size_t at, uint32_t v) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
        return envmap::Validate(b.data(), static_cast<uint32_t>(b.size())).ok;
    };
    EXPECT_FALSE(patched(0, 0xFFFFFFFFu));   // input count
    EXPECT_FALSE(patched(8, 0x20000000u));   // output count
    EXPECT_FALSE(patched(20, 3));            // point count
    EXPECT_FALSE(patched(24, 0x7FC00000u));  // a NaN x
    EXPECT_TRUE(patched(0, 1));
    // A refusal names the disc file the map came from.
    testsupport::HeapImage cut(good, 6);
    x_NoteLoadedFile(cut.p, 6, "AUDIO\\qz02Audi.bin");
    testsupport::LogCapture log;
    CEnvelopeMap map;
    EXPECT_FALSE(map.load(cut.p, 6));
    EXPECT_TRUE(log.has("AUDIO\\qz02Audi.bin: CEnvelopeMap: bad envelope map")) << log.text();
    x_ForgetLoadedFile(cut.p);
}

}  // namespace
