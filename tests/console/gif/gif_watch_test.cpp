#include "console/gif/gif_watch.h"

#include <gtest/gtest.h>

#include <vector>

#include "../gs/gs_test_util.h"

namespace {

using namespace gstest;
using console::gif::GifWatch;

std::vector<Qw> Tagged(const GifTag& tag, size_t qwords, Rng& rng) {
    std::vector<Qw> out(1 + qwords);
    std::memcpy(&out[0], &tag, 16);
    for (size_t i = 1; i <= qwords; ++i) out[i] = Qw{rng(1u << 30), uint64_t(rng(1u << 30)) << 16};
    return out;
}

// One random packet: A+D writes to the registers that place the drawing window (and to others), PACKED
// lists that mix A+D with other descriptors, vertex lists, REGLIST, IMAGE and disabled data. Vertices are
// kept off screen so that nothing costs time to draw.
std::vector<Qw> RandomPacket(Rng& rng) {
    static const uint32_t kRegs[] = {kRegXyoffset_1, kRegXyoffset_2, kRegScissor_1, kRegScissor_2,
                                     kRegPrmodecont, kRegPrmode,     kRegTest_1,    kRegFogcol};
    switch (rng(6)) {
        case 0:
        case 1: {
            AdPacket p;
            for (uint32_t n = 1 + rng(4); n > 0; --n)
                p.Set(kRegs[rng(8)],
                      (uint64_t(rng(1u << 30)) << 34) ^ (uint64_t(rng(1u << 30)) << 16) ^ rng(1u << 30));
            return p.Build();
        }
        case 2: {
            // RGBAQ, A+D, NOP: the A+D in the middle of each loop.
            const uint32_t loops = 1 + rng(3);
            std::vector<Qw> q =
                Tagged(MakeGifTag(loops, true, console::gif::kFlgPacked, 3, 0xFE1), 3 * loops, rng);
            for (uint32_t l = 0; l < loops; ++l) q[2 + 3 * l] = Qw{rng(1u << 11), kRegs[rng(8)]};
            return q;
        }
        case 3: {
            const uint32_t loops = 1 + rng(6);
            std::vector<Qw> q =
                Tagged(MakeGifTag(loops, true, console::gif::kFlgPacked, 3, 0x512), 3 * loops, rng);
            for (uint32_t l = 0; l < loops; ++l) q[3 + 3 * l] = Qw{0x0000FFFF0000FFFFull, 0};
            return q;
        }
        case 4: {
            // REGLIST of RGBAQ and UV, an odd count now and then.
            const uint32_t loops = 1 + rng(5), nreg = 1 + rng(2);
            return Tagged(MakeGifTag(loops, true, console::gif::kFlgReglist, nreg, 0x31),
                          (loops * nreg + 1) / 2, rng);
        }
        default: {
            const uint32_t n = 1 + rng(8);
            return Tagged(
                MakeGifTag(n, true, rng(2) ? console::gif::kFlgImage : console::gif::kFlgDisable, 0, 0), n,
                rng);
        }
    }
}

// The watch, given the same pieces of the same packets on three paths as the GIF (with transfers cut
// short in the middle of packets), keeps the window the GS holds, in either context.
TEST(GifWatchTest, KeepsTheWindowTheGsHoldsWhateverThePieces) {
    LogCapture quiet;
    Fixture f;
    GifWatch watch;
    watch.Load(*f.gs);
    Rng rng{11};
    for (int round = 0; round < 3000; ++round) {
        const int path = 1 + int(rng(3));
        const std::vector<Qw> q = RandomPacket(rng);
        // In up to three pieces; now and then the transfer ends before the last.
        const bool cut = rng(8) == 0;
        size_t at = 0;
        while (at < q.size()) {
            const size_t piece = std::min(q.size() - at, size_t(1 + rng(uint32_t(q.size()))));
            f.gif.Write(path, q.data() + at, piece);
            watch.Write(path, q.data() + at, piece);
            at += piece;
            if (cut && at < q.size()) break;
        }
        if (cut || rng(4) == 0) {
            f.gif.EndTransfer(path);
            watch.EndTransfer(path);
        }
        for (uint64_t prim : {Prim(kPrimTriangle), Prim(kPrimSprite, false, false, false, false, false, 1)}) {
            const GsDevice::DrawWindow a = f.gs->WindowFor(prim), b = watch.WindowFor(prim);
            ASSERT_EQ(a.ofx, b.ofx) << "round " << round;
            ASSERT_EQ(a.ofy, b.ofy) << "round " << round;
            ASSERT_EQ(a.scx0, b.scx0) << "round " << round;
            ASSERT_EQ(a.scx1, b.scx1) << "round " << round;
            ASSERT_EQ(a.scy0, b.scy0) << "round " << round;
            ASSERT_EQ(a.scy1, b.scy1) << "round " << round;
        }
    }
}

}  // namespace
