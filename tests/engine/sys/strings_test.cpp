#include "engine/sys/strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

TEST(Strings, LengthCopyConcatenate) {
    EXPECT_EQ(x_strlen(""), 0);
    EXPECT_EQ(x_strlen("motocross"), 9);
    char buf[32];
    EXPECT_EQ(x_strcpy(buf, "dirt"), buf);
    EXPECT_STREQ(buf, "dirt");
    EXPECT_EQ(x_strcat(buf, " bike"), buf);
    EXPECT_STREQ(buf, "dirt bike");
}

TEST(Strings, StrncpyPadsOrLeavesUnterminated) {
    char buf[8];
    std::memset(buf, 'X', sizeof buf);
    x_strncpy(buf, "ab", 5);  // two characters and three NULs, nothing beyond n
    EXPECT_EQ(std::memcmp(buf, "ab\0\0\0XXX", 8), 0);
    std::memset(buf, 'X', sizeof buf);
    x_strncpy(buf, "abcdef", 3);  // first three characters, no NUL
    EXPECT_EQ(std::memcmp(buf, "abcXXXXX", 8), 0);
    std::memset(buf, 'X', sizeof buf);
    x_strncpy(buf, "abc", 3);  // exactly n: no NUL either
    EXPECT_EQ(std::memcmp(buf, "abcXXXXX", 8), 0);
    x_strncpy(buf, "q", 0);
    EXPECT_EQ(buf[0], 'a');
}

TEST(Strings, CompareAsUnsignedBytes) {
    EXPECT_EQ(x_strcmp("abc", "abc"), 0);
    EXPECT_LT(x_strcmp("abc", "abd"), 0);
    EXPECT_GT(x_strcmp("abcd", "abc"), 0);
    EXPECT_EQ(x_strcmp("b", "a"), 1);     // the difference of the bytes
    EXPECT_GT(x_strcmp("\xE9", "z"), 0);  // 0xE9 sorts after 'z' (0x7A)
    EXPECT_EQ(x_strcmp("\xE9", "z"), 0xE9 - 0x7A);
    EXPECT_EQ(x_strncmp("abcX", "abcY", 3), 0);
    EXPECT_LT(x_strncmp("abcX", "abcY", 4), 0);
    EXPECT_EQ(x_strncmp("abc", "xyz", 0), 0);
    EXPECT_EQ(x_strncmp("ab", "ab", 10), 0);  // stops at the NUL
    EXPECT_GT(x_strncmp("a\xFF", "a\x01", 2), 0);
}

TEST(Strings, ToUpper) {
    char s[] = "Baja-04 indoor \xE9z";
    EXPECT_EQ(x_strtoupper(s), s);
    EXPECT_STREQ(s, "BAJA-04 INDOOR \xE9Z");  // other bytes unchanged
    EXPECT_EQ(x_strtoupper(nullptr), nullptr);
}

TEST(Memory, FillsTouchExactlyTheirRange) {
    alignas(16) uint8_t buf[96];
    // Unaligned start, 40 bytes: head bytes, 16-byte blocks and tail all filled, nothing outside.
    std::memset(buf, 0, sizeof buf);
    uint8_t* end = static_cast<uint8_t*>(veMemSet(buf + 3, 0xAB, 40));
    EXPECT_EQ(end, buf + 43);
    for (int i = 0; i < 96; ++i) EXPECT_EQ(buf[i], (i >= 3 && i < 43) ? 0xAB : 0) << i;
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(veMemSet16(buf + 16, 0x1FF, 32), buf + 48);  // only the low byte of the value
    for (int i = 0; i < 96; ++i) EXPECT_EQ(buf[i], (i >= 16 && i < 48) ? 0xFF : 0) << i;
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(veMemSet8(buf + 8, 7, 24), buf + 32);
    for (int i = 0; i < 96; ++i) EXPECT_EQ(buf[i], (i >= 8 && i < 32) ? 7 : 0) << i;
    std::memset(buf, 0, sizeof buf);
    EXPECT_EQ(x_memset(buf + 1, 0x5A, 10), buf + 1);  // x_memset returns the destination
    for (int i = 0; i < 96; ++i) EXPECT_EQ(buf[i], (i >= 1 && i < 11) ? 0x5A : 0) << i;
    EXPECT_EQ(x_memset(buf, 1, 0), buf);
    EXPECT_EQ(buf[0], 0);
}

TEST(Memory, Copies) {
    alignas(16) uint8_t src[64], dst[64];
    for (int i = 0; i < 64; ++i) src[i] = static_cast<uint8_t>(i * 7);
    std::memset(dst, 0, sizeof dst);
    EXPECT_EQ(veMemCpy(dst + 1, src + 5, 37), dst + 38);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(dst[i], (i >= 1 && i < 38) ? src[i + 4] : 0) << i;
    std::memset(dst, 0, sizeof dst);
    EXPECT_EQ(x_memcpy(dst, src, 64), dst + 64);
    EXPECT_EQ(std::memcmp(dst, src, 64), 0);
    EXPECT_EQ(x_memcpy(dst, src, 0), dst);  // nothing copied, destination returned
}

int CompareInt(const void* a, const void* b) {
    const int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

int g_compares = 0;
int CountingCompare(const void* a, const void* b) {
    ++g_compares;
    return CompareInt(a, b);
}

TEST(Sort, SortsAllSizesAndPatterns) {
    std::mt19937 rng(12345);
    for (int n = 0; n < 70; ++n) {
        for (int pattern = 0; pattern < 5; ++pattern) {
            std::vector<int> v(n);
            for (int i = 0; i < n; ++i) {
                switch (pattern) {
                    case 0:
                        v[i] = static_cast<int>(rng() % 1000);
                        break;
                    case 1:
                        v[i] = i;
                        break;
                    case 2:
                        v[i] = n - i;
                        break;
                    case 3:
                        v[i] = static_cast<int>(rng() % 3);
                        break;  // many duplicates
                    default:
                        v[i] = 5;
                        break;
                }
            }
            std::vector<int> expect = v;
            std::sort(expect.begin(), expect.end());
            x_qsort(v.data(), n, sizeof(int), CompareInt);
            ASSERT_EQ(v, expect) << "n=" << n << " pattern=" << pattern;
        }
    }
}

TEST(Sort, ThreeElementsUseOnlyTheInsertionPass) {
    // Three elements: finding the sentinel takes 2 compares, inserting the other two at most 2 each.
    int v[3] = {3, 1, 2};
    g_compares = 0;
    x_qsort(v, 3, sizeof(int), CountingCompare);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], 3);
    EXPECT_LE(g_compares, 6);
}

struct Glyph {  // 24-byte records sorted by a 16-bit code, as the text batching does
    uint8_t body[22];
    uint16_t code;
};

int CompareGlyph(const void* a, const void* b) {
    return static_cast<int>(static_cast<const Glyph*>(a)->code) -
           static_cast<int>(static_cast<const Glyph*>(b)->code);
}

TEST(Sort, WideRecordsKeepTheirBytes) {
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
}

int g_flip = 0;
int Inconsistent(const void*, const void*) {
    return (g_flip++ % 3) - 1;
}

TEST(Sort, InconsistentCompareStaysInsideTheArray) {
    // A broken compare gives no useful order, but must not read or write outside the array
    // (checked by the sanitizer build) and keeps every element.
    std::vector<int> v(300);
    for (int i = 0; i < 300; ++i) v[i] = i;
    x_qsort(v.data(), 300, sizeof(int), Inconsistent);
    std::sort(v.begin(), v.end());
    for (int i = 0; i < 300; ++i) ASSERT_EQ(v[i], i);
}

}  // namespace
