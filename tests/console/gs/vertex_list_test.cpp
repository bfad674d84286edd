// Vertex lists (PACKED packets of ST, RGBAQ, XYZ or RGBAQ, XYZ) go from the GIF to the GS as whole
// vertices. Random streams of them, mixed with other register lists, A+D and REGLIST packets that change
// the primitive, context, offsets, UV and FOG, cut into random deliveries on two paths, must leave the GS
// exactly as register-by-register decoding does: registers, the vertex queue, the Q the GIF keeps, the
// primitives counted and every pixel and depth.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "gs_test_util.h"

namespace gstest {
namespace {

using console::gif::kFlgPacked;
using console::gif::kFlgReglist;

struct Stream {
    std::vector<Qw> qws;
    void Tag(uint32_t nloop, uint32_t flg, uint32_t nreg, uint64_t regs, bool pre, uint32_t prim) {
        const GifTag t = MakeGifTag(nloop, true, flg, nreg, regs, pre, prim);
        Qw q;
        std::memcpy(&q, &t, 16);
        qws.push_back(q);
    }
    void Words(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
        qws.push_back(Qw{a | (uint64_t(b) << 32), c | (uint64_t(d) << 32)});
    }
};

uint32_t FloatWord(Rng& rnd) {
    using L = std::numeric_limits<float>;
    const float odd[] = {1.0f, 0.0f, -2.5f, 1e30f, L::infinity(), L::quiet_NaN()};
    const float f = rnd(8) == 0 ? odd[rnd(6)] : 0.25f + float(rnd(1000)) / 250.0f;
    uint32_t w;
    std::memcpy(&w, &f, 4);
    return w;
}

// The data quadword of one PACKED descriptor.
void PackedData(Stream& s, Rng& rnd, uint32_t desc) {
    const uint32_t adc = rnd(5) == 0 ? 1u << 15 : 0u;
    switch (desc) {
        case console::gif::kPackedSt:
        case console::gif::kPackedUv:
            s.Words(FloatWord(rnd), FloatWord(rnd), FloatWord(rnd), rnd(1u << 31));
            return;
        case console::gif::kPackedXyz2:
        case console::gif::kPackedXyz3:
        case console::gif::kPackedXyzf2:
        case console::gif::kPackedXyzf3:
            // Around the 64 x 64 frame (which the second context's offset moves), upper bits set now and
            // then.
            s.Words(uint32_t(int(rnd(80 * 16)) - 128) & (rnd(6) ? 0xFFFFu : ~0u),
                    uint32_t(int(rnd(80 * 16)) - 128) & (rnd(6) ? 0xFFFFu : ~0u), rnd(1u << 31) * 2 + rnd(2),
                    rnd(1u << 14) | adc | (rnd(1u << 16) << 16));
            return;
        default:
            s.Words(rnd(1u << 31) * 2 + rnd(2), rnd(1u << 31) * 2 + rnd(2), rnd(1u << 31) * 2 + rnd(2),
                    rnd(1u << 31) * 2 + rnd(2));
            return;
    }
}

uint32_t RandomXyzDesc(Rng& rnd) {
    const uint32_t d[] = {console::gif::kPackedXyz2, console::gif::kPackedXyz2, console::gif::kPackedXyz3,
                          console::gif::kPackedXyzf2, console::gif::kPackedXyzf3};
    return d[rnd(5)];
}

uint64_t RandomPrim(Rng& rnd) {
    return Prim(rnd(8), rnd(2), rnd(2), rnd(3) == 0, rnd(2), rnd(4) == 0, rnd(3) == 0);
}

// A random stream of `packets` packets.
Stream RandomStream(Rng& rnd, int packets) {
    Stream s;
    for (int k = 0; k < packets; ++k) {
        const uint32_t kind = rnd(10);
        const bool pre = rnd(3) != 0;
        const uint32_t prim = uint32_t(RandomPrim(rnd));
        if (kind < 6) {
            // A vertex list: one to five vertices a loop (eight without ST), now and then an empty packet.
            const bool withSt = kind < 4;
            const uint32_t per = withSt ? 3 : 2, verts = 1 + rnd(withSt ? 5 : 8);
            uint64_t regs = 0;
            for (uint32_t v = 0; v < verts; ++v) {
                const uint64_t group =
                    withSt ? (uint64_t(RandomXyzDesc(rnd)) << 8) | 0x12 : (RandomXyzDesc(rnd) << 4) | 1;
                regs |= group << (4 * per * v);
            }
            const uint32_t nloop = rnd(12) == 0 ? 0 : 1 + rnd(24);
            s.Tag(nloop, kFlgPacked, (per * verts) & 0xF, regs, pre, prim);
            for (uint32_t l = 0; l < nloop; ++l)
                for (uint32_t r = 0; r < per * verts; ++r)
                    PackedData(s, rnd, uint32_t(regs >> (4 * r)) & 0xF);
        } else if (kind < 8) {
            // Lists that are nearly vertex lists: UV, FOG, A+D or another order among them.
            const uint32_t nreg = 1 + rnd(8);
            const uint32_t pool[] = {console::gif::kPackedSt,    console::gif::kPackedRgbaq,
                                     console::gif::kPackedUv,    console::gif::kPackedXyz2,
                                     console::gif::kPackedXyzf2, console::gif::kPackedFog,
                                     console::gif::kPackedXyz3};
            uint64_t regs = 0;
            for (uint32_t r = 0; r < nreg; ++r) regs |= uint64_t(pool[rnd(7)]) << (4 * r);
            const uint32_t nloop = 1 + rnd(10);
            s.Tag(nloop, kFlgPacked, nreg, regs, pre, prim);
            for (uint32_t l = 0; l < nloop; ++l)
                for (uint32_t r = 0; r < nreg; ++r) PackedData(s, rnd, uint32_t(regs >> (4 * r)) & 0xF);
        } else if (kind < 9) {
            // A+D: the primitive, the attribute source, the second context's offset, UV, FOG, ST, RGBAQ.
            const uint32_t n = 1 + rnd(4);
            s.Tag(n, kFlgPacked, 1, 0xE, false, 0);
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t regs[] = {kRegPrim, kRegPrmodecont, kRegPrmode, kRegXyoffset_2,
                                         kRegUv,   kRegFog,        kRegSt,     kRegRgbaq};
                const uint32_t reg = regs[rnd(8)];
                uint64_t v = (uint64_t(rnd(1u << 31)) << 33) ^ rnd(1u << 31);
                if (reg == kRegPrim || reg == kRegPrmode) v = RandomPrim(rnd);
                if (reg == kRegPrmodecont) v = rnd(4) != 0;
                if (reg == kRegXyoffset_2) v = uint64_t(rnd(64 * 16)) | (uint64_t(rnd(64 * 16)) << 32);
                s.Words(uint32_t(v), uint32_t(v >> 32), reg, 0);
            }
        } else {
            // REGLIST vertices: RGBAQ, ST, XYZ2 pairs of 64-bit values (an odd count pads).
            const uint32_t nloop = 1 + rnd(6);
            s.Tag(nloop, kFlgReglist, 3, 0x521, pre, prim);
            for (uint32_t q = 0; q < (nloop * 3 + 1) / 2; ++q)
                s.Words(rnd(1u << 31), FloatWord(rnd), uint32_t(rnd(80 * 16)) | (rnd(80 * 16) << 16),
                        rnd(1u << 20));
        }
    }
    return s;
}

struct Outcome {
    std::vector<uint64_t> regs;
    std::vector<uint32_t> queue;
    uint64_t prims;
    std::vector<uint32_t> pixels;
    bool operator==(const Outcome&) const = default;
};

// Triangle lists as the geometry programs send them (ST, RGBAQ, XYZ2 with PRIM in the tag), the tag's
// PRIM mostly the value it already has, with A+D writes between packets of the drawing registers that
// PRIM leaves alone (blending, tests, texture, fog, offset) and of PRIM itself, the same or another; now
// and then a strip, fan, sprite or line list and a loop of RGBAQ, XYZ only.
Stream TriangleStream(Rng& rnd, int packets) {
    Stream s;
    const uint64_t prims[] = {Prim(kPrimTriangle, true, true), Prim(kPrimTriangle, true, true, false, true),
                              Prim(kPrimTriangle, false, false, true)};
    uint64_t prim = prims[0];
    for (int k = 0; k < packets; ++k) {
        const uint32_t kind = rnd(10);
        if (kind < 7) {
            const uint32_t other = rnd(8);
            uint64_t p = other == 0 ? RandomPrim(rnd) : (other == 1 ? prims[rnd(3)] : prim);
            if (rnd(4) != 0) prim = p;
            const bool withSt = rnd(5) != 0;
            const bool xyzf = rnd(6) == 0;
            const uint64_t regs = withSt ? (xyzf ? 0x412 : 0x512) : (xyzf ? 0x41 : 0x51);
            const uint32_t nreg = withSt ? 3 : 2;
            const uint32_t nloop = rnd(16) == 0 ? 0 : 1 + rnd(30);
            s.Tag(nloop, kFlgPacked, nreg, regs, rnd(6) != 0, uint32_t(p));
            for (uint32_t l = 0; l < nloop; ++l)
                for (uint32_t r = 0; r < nreg; ++r) PackedData(s, rnd, uint32_t(regs >> (4 * r)) & 0xF);
        } else {
            const uint32_t n = 1 + rnd(3);
            s.Tag(n, kFlgPacked, 1, 0xE, false, 0);
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t reg = kRegPrim;
                uint64_t v = prim;
                switch (rnd(8)) {
                    case 0:
                        reg = kRegAlpha_1;
                        v = rnd(2) ? 0x44 : 0x48;
                        break;
                    case 1:
                        reg = kRegTest_1;
                        v = TestReg(true, rnd(2) ? kZtstAlways : kZtstGequal);
                        break;
                    case 2:
                        reg = kRegTex0_1;
                        v = Tex0(0x100, 1, kPsmCt32, 5, 5, rnd(2) != 0, rnd(2) ? kTfxModulate : kTfxDecal);
                        break;
                    case 3:
                        reg = kRegFog;
                        v = uint64_t(rnd(256)) << 56;
                        break;
                    case 4:
                        reg = kRegXyoffset_1;
                        v = uint64_t(rnd(8) * 16) | (uint64_t(rnd(8) * 16) << 32);
                        break;
                    case 5:
                        v = prims[rnd(3)];
                        break;
                    default:
                        break;  // PRIM again as it is
                }
                s.Words(uint32_t(v), uint32_t(v >> 32), reg, 0);
            }
        }
    }
    return s;
}

// Vertex lists of every make-up the device builds whole vertices for in its own way: with and without ST,
// every XYZ form plain (XYZ2, XYZ3), every one fogged (XYZF2, XYZF3), and the two kinds mixed in one loop;
// triangle lists, strips, fans and sprites; now and then an A+D write of the offset, FOG, UV or ST between.
Stream FormStream(Rng& rnd, int packets) {
    Stream s;
    const uint32_t plain[] = {console::gif::kPackedXyz2, console::gif::kPackedXyz3},
                   fogged[] = {console::gif::kPackedXyzf2, console::gif::kPackedXyzf3};
    for (int k = 0; k < packets; ++k) {
        if (rnd(5) == 0) {
            s.Tag(1, kFlgPacked, 1, 0xE, false, 0);
            const uint32_t regs[] = {kRegXyoffset_1, kRegFog, kRegUv, kRegSt};
            const uint32_t reg = regs[rnd(4)];
            const uint64_t v = reg == kRegXyoffset_1 ? uint64_t(rnd(8) * 16) | (uint64_t(rnd(8) * 16) << 32)
                                                     : (uint64_t(rnd(1u << 31)) << 32) | rnd(1u << 31);
            s.Words(uint32_t(v), uint32_t(v >> 32), reg, 0);
            continue;
        }
        const bool withSt = rnd(2) != 0;
        const uint32_t per = withSt ? 3 : 2, verts = 1 + rnd(withSt ? 5 : 7), mix = rnd(3);
        uint64_t regs = 0;
        for (uint32_t v = 0; v < verts; ++v) {
            const bool f = mix == 2 ? rnd(2) != 0 : mix == 1;
            const uint64_t xyz = f ? fogged[rnd(4) == 0] : plain[rnd(4) == 0];
            regs |= (withSt ? (xyz << 8) | 0x12 : (xyz << 4) | 1) << (4 * per * v);
        }
        const uint32_t kinds[] = {kPrimTriangle, kPrimTriangle, kPrimTriangleStrip, kPrimTriangleFan,
                                  kPrimSprite};
        const uint32_t nloop = 1 + rnd(12);
        s.Tag(nloop, kFlgPacked, (per * verts) & 0xF, regs, true,
              uint32_t(Prim(kinds[rnd(5)], rnd(2), rnd(2), rnd(3) == 0, rnd(2), rnd(3) == 0, false)));
        for (uint32_t l = 0; l < nloop; ++l)
            for (uint32_t r = 0; r < per * verts; ++r) PackedData(s, rnd, uint32_t(regs >> (4 * r)) & 0xF);
    }
    return s;
}

Outcome RunStreams(uint32_t seed, bool vertexLists, int threads = 1,
                   Stream (*makeStream)(Rng&, int) = RandomStream) {
    const bool old = GifInterpreter::AllowVertexLists(vertexLists);
    Fixture f(threads);
    Rng rnd{seed};
    for (uint32_t i = 0; i < 32 * 64; ++i) f.gs->Memory().Write32(0x100 * 256 + i * 4, rnd(1u << 31) * 2);
    AdPacket p;
    // The second context draws into the same frame through its own offset and scissor.
    p.Set(kRegFrame_2, Frame(0, 1, kPsmCt32))
        .Set(kRegZbuf_2, Zbuf(2, kPsmZ24, false))
        .Set(kRegScissor_2, Scissor(0, 63, 0, 63))
        .Set(kRegTest_2, TestReg(true, kZtstGequal))
        .Set(kRegAlpha_1, 0x44)
        .Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 5, 5, true, kTfxModulate))
        .Set(kRegTex0_2, Tex0(0x100, 1, kPsmCt32, 5, 5, false, kTfxDecal))
        .Set(kRegTex1_1, 0x60)
        .Set(kRegFogcol, 0x405060);
    f.Send(p);
    const Stream a = makeStream(rnd, 40), b = makeStream(rnd, 20);
    // Deliveries of 1 to 40 quadwords, from one stream or the other (path 3 and path 1).
    size_t ia = 0, ib = 0;
    while (ia < a.qws.size() || ib < b.qws.size()) {
        const bool fromA = ib == b.qws.size() || (ia < a.qws.size() && rnd(3) != 0);
        const Stream& s = fromA ? a : b;
        size_t& at = fromA ? ia : ib;
        const size_t n = std::min<size_t>(1 + rnd(40), s.qws.size() - at);
        f.gif.Write(fromA ? 3 : 1, s.qws.data() + at, n);
        at += n;
    }
    Outcome o;
    o.prims = f.gs->PrimitivesDrawn();
    for (uint32_t r = 0; r <= 0x63; ++r) o.regs.push_back(f.gs->ReadReg(r));
    GsVertex q[3];
    const int n = f.gs->QueuedVertices(q);
    for (int i = 0; i < n; ++i) {
        uint32_t st[3];
        std::memcpy(&st[0], &q[i].s, 4);
        std::memcpy(&st[1], &q[i].t, 4);
        std::memcpy(&st[2], &q[i].q, 4);
        o.queue.insert(o.queue.end(), {uint32_t(q[i].x), uint32_t(q[i].y), q[i].z, q[i].r, q[i].g, q[i].b,
                                       q[i].a, st[0], st[1], st[2], q[i].u, q[i].v, q[i].fog});
    }
    // The Q the GIF keeps for the next RGBAQ: a lone PACKED RGBAQ shows it.
    Stream last;
    last.Tag(1, kFlgPacked, 1, console::gif::kPackedRgbaq, false, 0);
    last.Words(1, 2, 3, 4);
    f.gif.Write(2, last.qws.data(), last.qws.size());
    o.regs.push_back(f.gs->ReadReg(kRegRgbaq));
    o.pixels = f.Snapshot();
    GifInterpreter::AllowVertexLists(old);
    return o;
}

// The vertex-list run against the register-write run of the same stream, part by part (the first that
// differs is the one reported).
void ExpectSameOutcome(const Outcome& fast, const Outcome& one, uint32_t seed) {
    ASSERT_EQ(fast.regs, one.regs) << "seed " << seed;
    ASSERT_EQ(fast.queue, one.queue) << "seed " << seed;
    ASSERT_EQ(fast.prims, one.prims) << "seed " << seed;
    ASSERT_EQ(fast.pixels, one.pixels) << "seed " << seed;
}

TEST(GifVertexLists, RandomTagStreamsLeaveTheGsAsRegisterWritesDo) {
    int drawn = 0, queued = 0;
    for (uint32_t seed = 1; seed <= 60; ++seed) {
        const Outcome fast = RunStreams(seed, true);
        const Outcome one = RunStreams(seed, false);
        ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(fast, one, seed));
        if (seed % 10 == 0) {
            ASSERT_EQ(RunStreams(seed, true, 3), fast) << "threaded, seed " << seed;
        }
        drawn += fast.prims > 50;
        queued += !fast.queue.empty();
    }
    // The streams draw plenty and leave vertices waiting now and then.
    EXPECT_EQ(drawn, 60);
    EXPECT_GT(queued, 10);
}

TEST(GifVertexLists, TriangleListsWithDrawingRegistersChangedBetweenPacketsMatchRegisterWrites) {
    int drawn = 0;
    for (uint32_t seed = 100; seed < 160; ++seed) {
        const Outcome fast = RunStreams(seed, true, 1, TriangleStream);
        const Outcome one = RunStreams(seed, false, 1, TriangleStream);
        ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(fast, one, seed));
        if (seed % 15 == 0) {
            ASSERT_EQ(RunStreams(seed, true, 4, TriangleStream), fast) << "threaded, seed " << seed;
        }
        drawn += fast.prims > 100;
    }
    EXPECT_EQ(drawn, 60);
}

TEST(GifVertexLists, PlainFoggedAndMixedXyzFormsMatchRegisterWrites) {
    int drawn = 0, queued = 0;
    for (uint32_t seed = 300; seed < 360; ++seed) {
        const Outcome fast = RunStreams(seed, true, 1, FormStream);
        const Outcome one = RunStreams(seed, false, 1, FormStream);
        ASSERT_NO_FATAL_FAILURE(ExpectSameOutcome(fast, one, seed));
        if (seed % 20 == 0) {
            ASSERT_EQ(RunStreams(seed, true, 2, FormStream), fast) << "threaded, seed " << seed;
        }
        drawn += fast.prims > 50;
        queued += !fast.queue.empty();
    }
    EXPECT_EQ(drawn, 60);
    EXPECT_GT(queued, 10);
}

// PRIM written again with the value it has keeps the drawing state only while nothing else that the state
// is made from changed: triangles drawn after a blending, texture or attribute-source change (PRIM then
// written again as it was) or after PRIM itself changed come out as they do from a device that only ever
// saw the second setting.
TEST(GifVertexLists, PrimWrittenAgainWithItsValueStillSeesOtherRegistersChange) {
    const uint64_t prim = Prim(kPrimTriangle, true, true, false, true);
    auto triangles = [](Fixture& f, uint64_t p, uint32_t z) {
        Stream s;
        s.Tag(6, kFlgPacked, 3, 0x512, true, uint32_t(p));
        const int xs[6] = {0, 60, 0, 60, 60, 5}, ys[6] = {0, 0, 60, 4, 60, 60};
        for (int v = 0; v < 6; ++v) {
            s.Words(0x3F000000u + uint32_t(v) * 0x100000u, 0x3E800000u, 0x3F800000u, 0);
            s.Words(40u * uint32_t(v), 200, 90, 128);
            s.Words(uint32_t(xs[v] * 16), uint32_t(ys[v] * 16), z, 0);
        }
        f.gif.Write(3, s.qws.data(), s.qws.size());
    };
    for (int change = 0; change < 4; ++change) {
        Fixture both, second;
        Rng rnd{uint32_t(7 + change)};
        for (uint32_t i = 0; i < 32 * 64; ++i) {
            const uint32_t c = rnd(1u << 31) * 2;
            both.gs->Memory().Write32(0x100 * 256 + i * 4, c);
            second.gs->Memory().Write32(0x100 * 256 + i * 4, c);
        }
        // The first setting: drawn with by one device only. Then both draw with the second.
        AdPacket first;
        first.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 5, 5, true, kTfxModulate))
            .Set(kRegAlpha_1, 0x44)
            .Set(kRegPrmodecont, 1);
        both.Send(first);
        second.Send(first);
        triangles(both, prim, 50);
        AdPacket next;
        uint64_t prim2 = prim;
        if (change == 0) next.Set(kRegAlpha_1, 0x48);
        if (change == 1) next.Set(kRegTex0_1, Tex0(0x100, 1, kPsmCt32, 4, 5, false, kTfxDecal));
        if (change == 2) next.Set(kRegPrmode, Prim(0, false, false)).Set(kRegPrmodecont, 0);
        if (change == 3) prim2 = Prim(kPrimTriangle, false, false);
        next.Set(kRegPrim, prim2);
        both.Send(next);
        second.Send(next);
        // The first device's frame and depth made what the second's are, so only the second drawing shows.
        for (uint32_t i = 0; i < 2 * 64 * 64; ++i)
            both.gs->Memory().Write32(i * 4, second.gs->Memory().Read32(i * 4));
        triangles(both, prim2, 40);
        triangles(second, prim2, 40);
        EXPECT_EQ(both.Snapshot(), second.Snapshot()) << "change " << change;
        EXPECT_EQ(both.gs->PrimitivesDrawn(), 4u);
    }
}

// A triangle strip through a vertex list whose second vertex has the ADC bit: it is queued without a
// kick, so the strip draws one triangle fewer; Q comes from each vertex's own ST.
TEST(GifVertexLists, AdcBitAndQPerVertex) {
    Fixture f;
    Stream s;
    s.Tag(4, kFlgPacked, 3, 0x512, true, uint32_t(Prim(kPrimTriangleStrip, true)));
    const int xs[4] = {0, 40, 0, 40}, ys[4] = {0, 0, 40, 40};
    for (int v = 0; v < 4; ++v) {
        const float q = 1.0f + float(v);
        uint32_t qb;
        std::memcpy(&qb, &q, 4);
        s.Words(0, 0, qb, 0);
        s.Words(10u * uint32_t(v), 20, 30, 40);
        s.Words(uint32_t(xs[v] * 16), uint32_t(ys[v] * 16), 100, v == 2 ? 1u << 15 : 0u);
    }
    f.gif.Write(3, s.qws.data(), s.qws.size());
    EXPECT_EQ(f.gs->PrimitivesDrawn(), 1u);  // only the fourth vertex kicks (the second has no third)
    GsVertex q[3];
    ASSERT_EQ(f.gs->QueuedVertices(q), 2);
    EXPECT_EQ(q[0].x, 0);
    EXPECT_EQ(q[0].y, 40 * 16);
    EXPECT_EQ(q[1].r, 30);
    EXPECT_EQ(q[1].q, 4.0f);
    EXPECT_EQ(f.gs->ReadReg(kRegRgbaq) >> 32, 0x40800000u);  // Q = 4.0 left in RGBAQ
    EXPECT_NE(f.Pixel(30, 12), 0u);                          // the triangle (40,0) (0,40) (40,40) drawn
    EXPECT_EQ(f.Pixel(5, 5), 0u);                            // (0,0) (40,0) (0,40) was not
}

}  // namespace
}  // namespace gstest
