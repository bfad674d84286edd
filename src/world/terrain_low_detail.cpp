#include "world/terrain_low_detail.h"

#include <cstring>

namespace lowdetail {
namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
uint32_t Get32(const void* p, size_t at) {
    uint32_t v;
    std::memcpy(&v, static_cast<const uint8_t*>(p) + at, 4);
    return v;
}

}  // namespace

std::vector<uint8_t> Build(const uint16_t* samples, int step) {
    if (step < 1 || 55 % step != 0) step = 5;
    const int side = 55 / step + 1;  // vertices along a border
    const int perStrip = 2 * side;
    const int stripsPerPacket = static_cast<int>(kMaxPacketVerts) / perStrip;
    const int strips = side - 1;
    std::vector<uint8_t> b(kFirstPacketAt, 0);
    uint32_t packets = 0;
    for (int first = 0; first < strips; first += stripsPerPacket) {
        const int m = strips - first < stripsPerPacket ? strips - first : stripsPerPacket;
        const uint32_t nv = static_cast<uint32_t>(m * perStrip);
        const uint32_t qw = 3 + static_cast<uint32_t>(m) + (nv + 3) / 4 + 1;
        const size_t at = b.size();
        b.resize(at + 16 * size_t(qw), 0);
        Put32(b, at, qw);
        Put32(b, at + 12, 0x6C000000u | ((1u + m) << 16) | 64u);
        Put32(b, at + 16, static_cast<uint32_t>(m));
        for (int s = 0; s < m; ++s)
            Put32(b, at + 32 + 16 * size_t(s),
                  static_cast<uint32_t>(perStrip) | (first + s + 1 == strips ? 0x8000u : 0));
        Put32(b, at + 44 + 16 * size_t(m), 0x6E000000u | (nv << 16) | 0x4000u | 128u);
        uint8_t* v = b.data() + at + 48 + 16 * size_t(m);
        for (int s = 0; s < m; ++s) {
            const int r0 = (first + s) * step, r1 = r0 + step;
            for (int c = 0; c < side; ++c)
                for (int r : {r0, r1}) {
                    const int x = c * step;
                    const uint16_t h = samples[r * 56 + x];
                    v[0] = static_cast<uint8_t>(x);
                    v[1] = static_cast<uint8_t>(h & 0xFF);
                    v[2] = static_cast<uint8_t>(r);
                    v[3] = static_cast<uint8_t>(h >> 8);
                    v += 4;
                }
        }
        Put32(b, at + 16 * size_t(qw - 1), 0x17000000u);
        ++packets;
    }
    Put32(b, 8, 1);  // one material: the subtile's colour bitmap
    Put32(b, kCountAt, packets);
    return b;
}

uint32_t PacketCount(const void* block) {
    return Get32(block, kCountAt);
}

const uint8_t* Packet(const void* block, uint32_t k, uint32_t* quadwords) {
    const auto* p = static_cast<const uint8_t*>(block) + kFirstPacketAt;
    for (uint32_t i = 0; i < k; ++i) p += 16 * size_t(Get32(p, 0));
    *quadwords = Get32(p, 0);
    return p;
}

FormatCheck Check(const void* block, size_t length) {
    if (!block || length < kFirstPacketAt)
        return FormatCheck::Fail("block missing or shorter than its %u-byte header", kFirstPacketAt);
    const uint32_t n = PacketCount(block);
    // Every subtile has terrain: a block of no packets would leave a hole where the subtile lies.
    if (n == 0) return FormatCheck::Fail("no packets (a subtile's terrain has at least 1)");
    if (n > kMaxPackets) return FormatCheck::Fail("%u packets, at most %u", n, kMaxPackets);
    size_t at = kFirstPacketAt;
    for (uint32_t k = 0; k < n; ++k) {
        if (at + 48 > length) return FormatCheck::Fail("packet %u header past the end", k);
        const uint32_t qw = Get32(block, at), m = Get32(block, at + 16);
        if (m == 0 || m > 60) return FormatCheck::Fail("packet %u has %u strips, 1 to 60", k, m);
        if (qw < 4 + m || at + 16 * size_t(qw) > length)
            return FormatCheck::Fail("packet %u of %u quadwords does not fit", k, qw);
        uint32_t verts = 0;
        for (uint32_t s = 0; s < m; ++s) verts += Get32(block, at + 32 + 16 * size_t(s)) & 0x7FFF;
        if (verts > kMaxPacketVerts) return FormatCheck::Fail("packet %u has %u vertices", k, verts);
        if (3 + m + (verts + 3) / 4 + 1 != qw)
            return FormatCheck::Fail("packet %u length %u does not match its strips", k, qw);
        const auto* v = static_cast<const uint8_t*>(block) + at + 48 + 16 * size_t(m);
        for (uint32_t i = 0; i < verts; ++i)
            if (v[4 * i] > 55 || v[4 * i + 2] > 55)
                return FormatCheck::Fail("packet %u vertex %u lies outside the subtile", k, i);
        at += 16 * size_t(qw);
    }
    return FormatCheck::Pass();
}

}  // namespace lowdetail
