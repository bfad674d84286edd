#include "engine/sys/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(Strings, LengthCopyConcatenateUpper) {
    EXPECT_EQ(x_strlen(""), 0);
    EXPECT_EQ(x_strlen("motocross"), 9);
    char buf[32];
    EXPECT_EQ(x_strcpy(buf, "dirt"), buf);
    EXPECT_EQ(x_strcat(buf, " bike"), buf);
    EXPECT_STREQ(buf, "dirt bike");
    char s[] = "Baja-04 indoor \xE9z";
    EXPECT_EQ(x_strtoupper(s), s);
    EXPECT_STREQ(s, "BAJA-04 INDOOR \xE9Z");  // other bytes unchanged
    EXPECT_EQ(x_strtoupper(nullptr), nullptr);
}

TEST(Strings, StrncpyPadsOrLeavesUnterminated) {
    // Short source: characters then NULs up to n, nothing beyond; n or more characters: no NUL.
    const struct {
        const char* src;
        int n;
        const char* want;
    } cases[] = {
        {"ab", 5, "ab\0\0\0XXX"}, {"abcdef", 3, "abcXXXXX"}, {"abc", 3, "abcXXXXX"}, {"q", 0, "XXXXXXXX"}};
    for (const auto& c : cases) {
        char buf[8];
        std::memset(buf, 'X', sizeof buf);
        x_strncpy(buf, c.src, c.n);
        EXPECT_EQ(std::memcmp(buf, c.want, 8), 0) << c.src << " " << c.n;
    }
}

TEST(Strings, CompareAsUnsignedBytes) {
    // The difference of the first differing bytes, as unsigned: 0xE9 sorts after 'z' (0x7A).
    const struct {
        const char *a, *b;
        int n, want;  // n < 0: x_strcmp
    } cases[] = {{"abc", "abc", -1, 0},          {"abc", "abd", -1, -1}, {"abcd", "abc", -1, 'd'},
                 {"\xE9", "z", -1, 0xE9 - 0x7A}, {"abcX", "abcY", 3, 0}, {"abcX", "abcY", 4, -1},
                 {"abc", "xyz", 0, 0},           {"ab", "ab", 10, 0},    {"a\xFF", "a\x01", 2, 0xFE}};
    for (const auto& c : cases) {
        const int r = c.n < 0 ? x_strcmp(c.a, c.b) : x_strncmp(c.a, c.b, c.n);
        EXPECT_EQ(r > 0, c.want > 0) << c.a << " " << c.b << " " << c.n;
        EXPECT_EQ(r < 0, c.want < 0) << c.a << " " << c.b << " " << c.n;
        if (c.n < 0 && c.want > 1) {
            EXPECT_EQ(r, c.want) << c.a;
        }
    }
}

TEST(Memory, FillsAndCopiesTouchExactlyTheirRange) {
    alignas(16) uint8_t buf[96], src[96];
    for (int i = 0; i < 96; ++i) src[i] = static_cast<uint8_t>(i * 7);
    // Unaligned starts, head bytes, 16-byte blocks and tails; fills take only the low byte of the value.
    const struct {
        int op, from, n;
        int value;
        int returned;  // offset of the returned pointer
    } cases[] = {{0, 3, 40, 0xAB, 43}, {1, 16, 32, 0x1FF, 48}, {2, 8, 24, 7, 32},  {3, 1, 10, 0x5A, 1},
                 {3, 0, 0, 1, 0},      {4, 1, 37, -1, 38},     {5, 0, 64, -1, 64}, {5, 0, 0, -1, 0}};
    for (const auto& c : cases) {
        std::memset(buf, 0, sizeof buf);
        void* r = nullptr;
        switch (c.op) {
            case 0:
                r = veMemSet(buf + c.from, c.value, c.n);
                break;
            case 1:
                r = veMemSet16(buf + c.from, c.value, c.n);
                break;
            case 2:
                r = veMemSet8(buf + c.from, c.value, c.n);
                break;
            case 3:
                r = x_memset(buf + c.from, c.value, c.n);
                break;
            case 4:
                r = veMemCpy(buf + c.from, src + 5, c.n);
                break;
            default:
                r = x_memcpy(buf + c.from, src, c.n);
                break;
        }
        EXPECT_EQ(r, buf + c.returned) << c.op;
        for (int i = 0; i < 96; ++i) {
            const bool inside = i >= c.from && i < c.from + c.n;
            const int want = !inside ? 0 : c.op == 4 ? src[i + 4] : c.op == 5 ? src[i] : (c.value & 0xFF);
            ASSERT_EQ(buf[i], want) << c.op << " at " << i;
        }
    }
}

struct Glyph {  // 24-byte records sorted by a 16-bit code, as the text batching does
    uint8_t body[22];
    uint16_t code;
};

int CompareGlyph(const void* a, const void* b) {
    return static_cast<int>(static_cast<const Glyph*>(a)->code) -
           static_cast<int>(static_cast<const Glyph*>(b)->code);
}

int g_flip = 0;
int Inconsistent(const void*, const void*) {
    return (g_flip++ % 3) - 1;
}

TEST(Sort, WideRecordsKeepTheirBytesAndABrokenCompareStaysInsideTheArray) {
    std::mt19937 rng(7);
    std::vector<Glyph> g(200);
    for (size_t i = 0; i < g.size(); ++i) {
        g[i].code = static_cast<uint16_t>(rng() % 500);
        for (int k = 0; k < 22; ++k) g[i].body[k] = static_cast<uint8_t>(g[i].code * 3 + k);
    }
    x_qsort(g.data(), static_cast<int>(g.size()), sizeof(Glyph), CompareGlyph);
    for (size_t i = 0; i < g.size(); ++i) {
        if (i) {
            ASSERT_LE(g[i - 1].code, g[i].code);
        }
        for (int k = 0; k < 22; ++k) ASSERT_EQ(g[i].body[k], static_cast<uint8_t>(g[i].code * 3 + k));
    }
    // A broken compare gives no useful order, but must not read or write outside the array
    // (checked by the sanitizer build) and keeps every element.
    std::vector<int> v(300);
    for (int i = 0; i < 300; ++i) v[i] = i;
    x_qsort(v.data(), 300, sizeof(int), Inconsistent);
    std::sort(v.begin(), v.end());
    for (int i = 0; i < 300; ++i) ASSERT_EQ(v[i], i);
}

}  // namespace
