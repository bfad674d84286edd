#include "console/stage/dma_stage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "../gs/gs_test_util.h"
#include "console/dma/dma.h"
#include "console/gs/gs_library.h"
#include "console/gs/gs_log.h"
#include "console/kernel/hw_registers.h"
#include "console/kernel/intc.h"
#include "console/kernel/vsync.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "console/vu/microprogram.h"
#include "console/vu/vu_memory.h"

namespace {

using console::dma::StageMode;
using namespace gstest;

// Memory the chains and packets live in (static, so inside the program image the controller accepts).
alignas(16) uint64_t g_mem[1 << 16];

constexpr uint32_t kCopyProgram = 0x5EA6E;

// A VU1 program that sends the GIF packet stored after a count at TOPS (count in the first word) on PATH1.
class CopyToPath1 : public console::vu::Microprogram {
public:
    const char* Name() const override { return "copy"; }
    void Call(console::vu::VuState& vu, uint32_t) override {
        const uint32_t n = vu.mem->Qw(vu.tops)[0];
        const uint32_t* q = nullptr;
        if (vu.mem->Span(vu.tops + 1, n, &q)) console::vu::KickPath1(q, n);
    }
};
CopyToPath1 g_copy;

constexpr uint32_t kWindowProgram = 0x5EA70;

// The same, but through a buffer of its own that every call reuses, with the packet's colour (its RGBAQ
// quadword, the second after the tag) marked with the drawing window the program is given: a window
// other than the one the GS holds when the packet arrives, or a buffer not copied in time, changes the
// frame.
class WindowToPath1 : public console::vu::Microprogram {
public:
    const char* Name() const override { return "window"; }
    void Call(console::vu::VuState& vu, uint32_t) override {
        const uint32_t n = vu.mem->Qw(vu.tops)[0];
        const uint32_t* q = nullptr;
        if (n < 3 || n > 16 || !vu.mem->Span(vu.tops + 1, n, &q)) return;
        std::memcpy(buf_, q, n * 16);
        const GsDevice::DrawWindow w = console::vu::DrawWindowFor(Prim(kPrimSprite));
        buf_[8] =
            (buf_[8] & ~0xFFu) | (uint32_t(w.scx0 * 5 + w.scy0 * 3 + w.scx1 + w.ofx / 16 + w.ofy) & 0xFF);
        console::vu::KickPath1(buf_, n);
        std::memset(buf_, 0xEE, sizeof buf_);
    }

private:
    uint32_t buf_[64];
};
WindowToPath1 g_window;

constexpr uint32_t kLogProgram = 0x5EA71;

// Text for stdout held in order with the stage, as the game's program holds all of its output: queued
// behind the stage's work on its first thread, printed after the stage drained on the game's.
void PrintInOrder(const char* line) {
    if (!console::dma::StageOrderOutput(1, line, std::strlen(line))) std::fputs(line, stdout);
}

// Says which sprite it sends, then sends it.
class LogThenPath1 : public console::vu::Microprogram {
public:
    const char* Name() const override { return "log"; }
    void Call(console::vu::VuState& vu, uint32_t) override {
        const uint32_t n = vu.mem->Qw(vu.tops)[0];
        const uint32_t* q = nullptr;
        if (n < 3 || !vu.mem->Span(vu.tops + 1, n, &q)) return;
        char line[64];
        std::snprintf(line, sizeof line, "vu1: sprite %08X\n", q[8]);
        PrintInOrder(line);
        console::vu::KickPath1(q, n);
    }
};
LogThenPath1 g_log;

constexpr uint32_t kReserveProgram = 0x5EA72;
std::atomic<int> g_roomsGiven{0};

// Sends the first of two GIF packets stored after a count at TOPS built in room reserved in the GIF's
// queue, where there is a queue, else in a buffer of its own that it kicks. The count's words: the first
// packet's length, the room asked for (at least that), whether to print a line while the room is open
// (naming the sprite) and the length of the second packet, which is kicked while the room is open. A
// first packet of no quadwords gives the room back unused.
class ReserveToPath1 : public console::vu::Microprogram {
public:
    const char* Name() const override { return "reserve"; }
    void Call(console::vu::VuState& vu, uint32_t) override {
        const uint32_t* w = vu.mem->Qw(vu.tops);
        const uint32_t n = w[0], room = std::max(w[0], w[1]), log = w[2], extra = w[3];
        const uint32_t* q = nullptr;
        if (n > 64 || !vu.mem->Span(vu.tops + 1, n + extra, &q)) return;
        void* given = console::vu::ReservePath1(room);
        if (given) ++g_roomsGiven;
        uint8_t* dst = given ? static_cast<uint8_t*>(given) : reinterpret_cast<uint8_t*>(buf_);
        // The tag first, then whatever else goes out meanwhile, then the rest of the packet.
        if (n > 0) std::memcpy(dst, q, 16);
        if (log && n >= 3) {
            char line[64];
            std::snprintf(line, sizeof line, "vu1: reserved for sprite %08X\n", q[8]);
            PrintInOrder(line);
        }
        if (extra) console::vu::KickPath1(q + 4 * n, extra);
        if (n > 1) std::memcpy(dst + 16, q + 4, (n - 1) * 16);
        if (given) {
            console::vu::CommitPath1(n);
        } else if (n > 0) {
            console::vu::KickPath1(buf_, n);
        }
        std::memset(buf_, 0xEE, sizeof buf_);
    }

private:
    uint32_t buf_[64 * 4];
};
ReserveToPath1 g_reserve;

uint64_t Tag(uint32_t id, uint32_t qwc, uint32_t addr = 0) {
    return uint64_t(qwc) | (uint64_t(id) << 28) | (uint64_t(addr) << 32);
}

int g_ends[3];
int CountEnd(int ch) {
    ++g_ends[ch];
    return 1;
}

// Builds chains and packets one after another in g_mem.
class Arena {
public:
    uint64_t* Take(size_t qwords) {
        uint64_t* p = g_mem + used_ * 2;
        used_ += qwords;
        return p;
    }
    uint64_t* Put(const std::vector<Qw>& q) {
        uint64_t* p = Take(q.size());
        std::memcpy(p, q.data(), q.size() * 16);
        return p;
    }
    // A VIF1 chain that uploads the copy program, unpacks `packet` at TOPS and calls the program.
    uint64_t* Vif1Chain(const std::vector<Qw>& packet) {
        const uint32_t n = uint32_t(packet.size());
        uint64_t* c = Take(4 + n + 2);
        c[0] = Tag(1, 1);
        c[1] = uint64_t(0x4A010000u) << 32;  // MPG of one program id
        c[2] = kCopyProgram;
        c[3] = 0;
        c[4] = Tag(1, 1 + n);
        c[5] = uint64_t(0x6C008000u | ((1 + n) << 16)) << 32;  // UNPACK V4-32 to TOPS
        c[6] = n;
        c[7] = 0;
        std::memcpy(c + 8, packet.data(), n * 16);
        c[8 + 2 * n] = Tag(7, 0);
        c[9 + 2 * n] = uint64_t(0x14000000u) << 32;  // MSCAL
        return c;
    }
    // The same through the window program.
    uint64_t* WindowChain(const std::vector<Qw>& packet) {
        uint64_t* c = Vif1Chain(packet);
        c[2] = kWindowProgram;
        return c;
    }
    // A VIF1 chain that sends `packet` to the GIF with a DIRECT code that is not quadword-aligned: its
    // first two words in the code's own block, the next two in the following tag's VIF words, the rest
    // in that tag's block.
    uint64_t* DirectChain(const std::vector<Qw>& packet) {
        const uint32_t n = uint32_t(packet.size());
        std::vector<uint32_t> w(4 * n);
        std::memcpy(w.data(), packet.data(), 16 * n);
        uint64_t* c = Take(n + 3);
        c[0] = Tag(1, 1);
        c[1] = 0;                                        // NOP, NOP
        c[2] = uint64_t(0x50000000u | n) << 32;          // NOP, DIRECT n
        c[3] = w[0] | (uint64_t(w[1]) << 32);            // its first two words
        c[4] = Tag(1, n - 1);                            // the next tag
        c[5] = w[2] | (uint64_t(w[3]) << 32);            // carries two more
        std::memcpy(c + 6, w.data() + 4, 16 * (n - 1));  // and the rest follows it
        c[6 + 2 * (n - 1)] = Tag(7, 0);
        c[7 + 2 * (n - 1)] = 0;
        return c;
    }

private:
    size_t used_ = 0;
};

std::vector<Qw> SpritePacket(int x0, int y0, int x1, int y1, uint32_t rgba) {
    AdPacket p;
    p.Set(kRegPrim, Prim(kPrimSprite))
        .Set(kRegRgbaq, Rgbaq(rgba & 0xFF, (rgba >> 8) & 0xFF, (rgba >> 16) & 0xFF, rgba >> 24))
        .Set(kRegXyz2, Xyz(x0 << 4, y0 << 4, 0))
        .Set(kRegXyz2, Xyz(x1 << 4, y1 << 4, 0));
    return p.Build();
}

// The 64 x 64 frame every case draws into: depth written but always passing.
std::vector<Qw> FrameSetupPacket() {
    AdPacket setup;
    setup.Set(kRegFrame_1, Frame(0, 1, kPsmCt32))
        .Set(kRegZbuf_1, Zbuf(2, kPsmZ24, true))
        .Set(kRegXyoffset_1, 0)
        .Set(kRegScissor_1, Scissor(0, 63, 0, 63))
        .Set(kRegTest_1, TestReg(true, kZtstAlways));
    return setup.Build();
}

class DmaStageTest : public ::testing::Test {
protected:
    void SetUp() override {
        console::dma::SetStageMode(StageMode::kInline);
        console::dma::DmaReset();
        console::IntcReset();
        console::vif::Vif0().Reset();
        console::vif::Vif1().Reset();
        console::vu::Vu1Memory().Clear();
        console::gif::Gif().Reset();
        Gs().Reset(true);
        console::vu::RegisterMicroprogram(kCopyProgram, &g_copy);
        console::vu::RegisterMicroprogram(kWindowProgram, &g_window);
        console::vu::RegisterMicroprogram(kLogProgram, &g_log);
        console::vu::RegisterMicroprogram(kReserveProgram, &g_reserve);
        std::memset(g_ends, 0, sizeof g_ends);
        AddDmacHandler(1, CountEnd, -1);
        AddDmacHandler(2, CountEnd, -1);
        EnableDmac(1);
        EnableDmac(2);
        ch1_ = sceDmaGetChan(1);
        ch1_->chcr.TTE = 1;
        ch2_ = sceDmaGetChan(2);
    }
    void TearDown() override {
        console::dma::SetStageMode(StageMode::kInline);
        Gs().SetRasterThreads(1);
        console::IntcReset();
    }

    // A 64 x 64 frame drawn by a mix of VIF1 chains (through the VU1 program and PATH1), GIF channel
    // packets, image uploads and direct sceGsPutDrawEnv writes, each overlapping the ones before; the
    // buffers are not touched again before the final sync. Returns the frame.
    std::vector<uint32_t> DrawScene(StageMode mode, int rasterThreads, bool checkDeferred = false) {
        Gs().SetRasterThreads(rasterThreads);
        console::dma::SetStageMode(mode);
        Arena a;
        const std::vector<Qw> setupQw = FrameSetupPacket();
        EXPECT_EQ(sceDmaSendN(ch2_, a.Put(setupQw), int(setupQw.size())), 0);
        const uint64_t drawnBefore = Gs().PrimitivesDrawn();
        Rng rng{7};
        int kicks = 1;
        for (int i = 0; i < 120; ++i) {
            if (checkDeferred && i == 8) {
                // Nothing queued has run before the first direct write, which waits for it all.
                EXPECT_EQ(Gs().PrimitivesDrawn(), drawnBefore);
                EXPECT_EQ(console::vif::Vif1().ResidentProgram(), 0u);
            }
            const int x = int(rng(56)), y = int(rng(56));
            const std::vector<Qw> sprite =
                SpritePacket(x, y, x + 2 + int(rng(20)), y + 2 + int(rng(20)), 0xFF000000u | (rng(1u << 24)));
            if (i % 7 == 3) {
                EXPECT_EQ(sceDmaSendN(ch2_, a.Put(sprite), int(sprite.size())), 0);
            } else if (i % 11 == 5) {
                // A 4 x 4 image written over what is there.
                uint32_t pixels[16];
                for (uint32_t& p : pixels) p = rng(1u << 30);
                AdPacket t;
                t.Set(kRegBitbltbuf, Bitbltbuf(0, 0, 0, 0, 1, kPsmCt32))
                    .Set(kRegTrxpos, Trxpos(0, 0, uint32_t(x), uint32_t(y)))
                    .Set(kRegTrxreg, Trxreg(4, 4))
                    .Set(kRegTrxdir, kXdirHostToLocal);
                std::vector<Qw> q = t.Build();
                const std::vector<Qw> img = ImagePacket(pixels, sizeof pixels);
                q.insert(q.end(), img.begin(), img.end());
                EXPECT_EQ(sceDmaSendN(ch2_, a.Put(q), int(q.size())), 0);
            } else if (i % 13 == 8) {
                // Straight to the GS from the caller's thread, between two queued transfers.
                const std::vector<Qw> q = SpritePacket(x, y, x + 3, y + 3, 0xFF00FF00u);
                sceGsPutDrawEnv(reinterpret_cast<const sceGifTag*>(q.data()));
                continue;
            } else {
                EXPECT_EQ(sceDmaSend(ch1_, a.Vif1Chain(sprite)), 0);
            }
            ++kicks;
        }
        // The end interrupts ran at the kicks, whatever the mode.
        EXPECT_EQ(g_ends[1] + g_ends[2], kicks);
        sceDmaSync(ch1_, 0, 0);
        std::vector<uint32_t> frame;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                frame.push_back(Gs().Memory().ReadPixel(0, 1, kPsmCt32, uint32_t(x), uint32_t(y)));
        return frame;
    }

    sceDmaChan* ch1_ = nullptr;
    sceDmaChan* ch2_ = nullptr;
};

TEST_F(DmaStageTest, EveryModeDrawsTheSameFrame) {
    const std::vector<uint32_t> ref = DrawScene(StageMode::kInline, 1);
    size_t lit = 0;
    for (uint32_t p : ref) lit += p != 0;
    EXPECT_GT(lit, ref.size() / 2);
    struct Case {
        StageMode mode;
        int threads;
    };
    for (const Case c : {Case{StageMode::kThread, 1}, Case{StageMode::kThread, 4},
                         Case{StageMode::kDeferred, 1}, Case{StageMode::kDeferred, 3}}) {
        SetUp();
        const std::vector<uint32_t> got = DrawScene(c.mode, c.threads, c.mode == StageMode::kDeferred);
        EXPECT_EQ(got, ref) << "mode " << int(c.mode) << ", " << c.threads << " raster threads";
    }
}

TEST_F(DmaStageTest, SyncPointsSeeEverythingSentBefore) {
    console::dma::SetStageMode(StageMode::kThread);
    Arena a;
    const std::vector<Qw> s = FrameSetupPacket();
    sceDmaSendN(ch2_, a.Put(s), int(s.size()));
    for (int round = 0; round < 20; ++round) {
        const uint32_t colour = 0xFF000000u | uint32_t(round * 0x010203 + 1);
        sceDmaSend(ch1_, a.Vif1Chain(SpritePacket(0, 0, 8, 8, colour)));
        // A local-to-host copy reads what the chain drew, without an explicit wait.
        sceGsStoreImage store;
        sceGsSetDefStoreImage(&store, 0, 1, kPsmCt32, 0, 0, 8, 8);
        uint32_t got[64] = {};
        ASSERT_EQ(sceGsExecStoreImage(&store, got), 0);
        EXPECT_EQ(got[0], colour);
        EXPECT_EQ(got[63], colour);
    }
    // Re-registering a program waits for the stage, which may be running the old one.
    sceDmaSend(ch1_, a.Vif1Chain(SpritePacket(0, 0, 1, 1, 0xFF0000FFu)));
    EXPECT_TRUE(console::vu::RegisterMicroprogram(kCopyProgram, &g_copy));
    EXPECT_EQ(Gs().Memory().ReadPixel(0, 1, kPsmCt32, 0, 0), 0xFF0000FFu);
}

TEST_F(DmaStageTest, MoreItemsThanTheQueueHoldsAllRunInOrder) {
    Arena a;
    const std::vector<Qw> s = SpritePacket(0, 0, 1, 1, 0xFF000001u);
    const std::vector<Qw> setupQw = FrameSetupPacket();
    uint64_t* setupAt = a.Put(setupQw);
    // 40,000 transfers of two items each: the queue (65,536 items) fills and wraps.
    std::vector<uint64_t*> packets;
    for (int i = 0; i < 256; ++i)
        packets.push_back(
            a.Put(SpritePacket(i % 64, i / 64, i % 64 + 1, i / 64 + 1, 0xFF000000u | uint32_t(i))));
    for (StageMode mode : {StageMode::kThread, StageMode::kDeferred}) {
        SetUp();
        console::dma::SetStageMode(mode);
        const console::dma::StageStats before = console::dma::GetStageStats();
        sceDmaSendN(ch2_, setupAt, int(setupQw.size()));
        const uint64_t drawn = Gs().PrimitivesDrawn();
        constexpr int kSends = 40000;
        for (int i = 0; i < kSends; ++i) sceDmaSendN(ch2_, packets[size_t(i) % 256], int(s.size()));
        sceDmaSync(ch2_, 0, 0);
        EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + kSends);
        // The last sprite drawn at each pixel is the last one sent there.
        EXPECT_EQ(Gs().Memory().ReadPixel(0, 1, kPsmCt32, 3, 1), 0xFF000000u | 67u);
        const console::dma::StageStats after = console::dma::GetStageStats();
        EXPECT_EQ(after.items - before.items, uint64_t(2 * kSends + 2));
        if (mode == StageMode::kDeferred) {
            EXPECT_GT(after.fullWaits, before.fullWaits);
        }
    }
}

// What the stage leaves behind for the game to see: the frame, the GS registers and VIF1's state.
struct Outcome {
    std::vector<uint32_t> frame;
    std::vector<uint64_t> regs;
    uint32_t tops, itop, program;
    bool operator==(const Outcome&) const = default;
};

// Many small packets on all three paths, interleaved: sprites on the GIF channel (PATH3), drawing-window
// changes there too, sprites through VU1 programs (PATH1), one of which marks each sprite with the window
// it is given, and sprites sent by DIRECT codes that straddle transfers (PATH2).
Outcome Interleaved(StageMode mode, int rasterThreads, sceDmaChan* ch1, sceDmaChan* ch2) {
    Gs().SetRasterThreads(rasterThreads);
    console::dma::SetStageMode(mode);
    Arena a;
    const std::vector<Qw> setupQw = FrameSetupPacket();
    sceDmaSendN(ch2, a.Put(setupQw), int(setupQw.size()));
    Rng rng{3};
    for (int i = 0; i < 1500; ++i) {
        const int x = int(rng(60)), y = int(rng(60));
        const std::vector<Qw> sprite =
            SpritePacket(x, y, x + 1 + int(rng(6)), y + 1 + int(rng(6)), 0xFF000000u | rng(1u << 24));
        switch (rng(5)) {
            case 0:
                sceDmaSendN(ch2, a.Put(sprite), int(sprite.size()));
                break;
            case 1: {
                AdPacket w;
                w.Set(kRegScissor_1, Scissor(rng(16), 40 + rng(24), rng(16), 40 + rng(24)))
                    .Set(kRegXyoffset_1, (uint64_t(rng(3) * 16) << 32) | (rng(3) * 16));
                const std::vector<Qw> q = w.Build();
                sceDmaSendN(ch2, a.Put(q), int(q.size()));
                break;
            }
            case 2:
                sceDmaSend(ch1, a.WindowChain(sprite));
                break;
            case 3:
                sceDmaSend(ch1, a.DirectChain(sprite));
                break;
            default:
                sceDmaSend(ch1, a.Vif1Chain(sprite));
                break;
        }
    }
    sceDmaSync(ch1, 0, 0);
    Outcome o;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            o.frame.push_back(Gs().Memory().ReadPixel(0, 1, kPsmCt32, uint32_t(x), uint32_t(y)));
    for (uint32_t r : {kRegPrim, kRegRgbaq, kRegScissor_1, kRegXyoffset_1, kRegTest_1})
        o.regs.push_back(Gs().ReadReg(r));
    const console::vif::Vif& v = console::vif::Vif1();
    o.tops = v.Tops();
    o.itop = v.Itop();
    o.program = v.ResidentProgram();
    return o;
}

TEST_F(DmaStageTest, ManySmallPacketsOnEveryPathGiveTheSameResultInEveryMode) {
    const uint64_t errors = console::vif::Vif1().Errors();
    const Outcome ref = Interleaved(StageMode::kInline, 1, ch1_, ch2_);
    EXPECT_EQ(console::vif::Vif1().Errors(), errors);
    // The window marks vary: the programs were given more than one window.
    size_t marks[256] = {};
    for (uint32_t p : ref.frame) ++marks[p & 0xFF];
    EXPECT_GT(std::count_if(std::begin(marks), std::end(marks), [](size_t m) { return m > 0; }), 8);
    struct Case {
        StageMode mode;
        int threads;
    };
    for (const Case c : {Case{StageMode::kThread, 1}, Case{StageMode::kThread, 4},
                         Case{StageMode::kDeferred, 1}, Case{StageMode::kDeferred, 3}}) {
        SetUp();
        const Outcome got = Interleaved(c.mode, c.threads, ch1_, ch2_);
        EXPECT_EQ(got.frame, ref.frame) << "mode " << int(c.mode) << ", " << c.threads << " raster threads";
        EXPECT_EQ(got.regs, ref.regs) << "mode " << int(c.mode);
        EXPECT_EQ(got.tops, ref.tops);
        EXPECT_EQ(got.itop, ref.itop);
        EXPECT_EQ(got.program, ref.program);
    }
}

// Every place where the game meets the hardware again waits for both halves of the stage: VU1's work and
// the GIF's and GS's behind it.
TEST_F(DmaStageTest, EveryMeetingPointWaitsForBothHalves) {
    uint32_t pixels[4];
    sceGsStoreImage store;
    StageMode mode = StageMode::kDeferred;
    const std::pair<const char*, std::function<void()>> points[] = {
        {"VIF1 DMA wait", [&] { sceDmaSync(ch1_, 0, 0); }},
        {"GIF DMA wait", [&] { sceDmaSync(ch2_, 0, 0); }},
        {"path wait", [] { sceGsSyncPath(0, 0); }},
        {"path reset", [] { sceGsResetPath(); }},
        {"image read back",
         [&] {
             sceGsSetDefStoreImage(&store, 0, 1, kPsmCt32, 0, 0, 2, 2);
             sceGsExecStoreImage(&store, pixels);
         }},
        {"GS status write", [] { console::HwWrite32(console::kRegGsCsr, 0); }},
        {"VIF1 reset", [] { sceDevVif1Reset(); }},
        {"VU1 reset", [] { sceDevVu1Reset(); }},
        {"program registered", [] { console::vu::RegisterMicroprogram(kCopyProgram, &g_copy); }},
        {"stage mode set", [&] { console::dma::SetStageMode(mode); }},
        {"DMA channels reset", [] { sceDmaReset(0); }},
        {"DMA reset", [] { console::dma::DmaReset(); }},
        {"GS reset", [] { sceGsResetGraph(0, 1, 2, 1); }},
    };
    for (StageMode m : {StageMode::kDeferred, StageMode::kThread}) {
        SetUp();
        mode = m;
        console::dma::SetStageMode(m);
        for (const auto& [name, meet] : points) {
            Arena a;
            ch1_->chcr.TTE = 1;
            const uint64_t drawn = Gs().PrimitivesDrawn();
            const std::vector<Qw> sprite = SpritePacket(0, 0, 2, 2, 0xFF123456u);
            sceDmaSend(ch1_, a.WindowChain(sprite));
            const uint64_t* direct = a.DirectChain(sprite);
            sceDmaSend(ch1_, direct);
            sceDmaSendN(ch2_, a.Put(sprite), int(sprite.size()));
            if (m == StageMode::kDeferred) {
                EXPECT_EQ(Gs().PrimitivesDrawn(), drawn) << name;
            }
            meet();
            EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + 3) << name << ", mode " << int(m);
        }
    }
}

// The vertical blank, a drawing environment the game sends and memory given back wait until the first
// half has read every transfer (the game may write over their data at once) while the GS may go on
// drawing; the field and the GS's own registers wait for nothing. Whatever looks at the drawing later
// sees all of it, drawn from what the transfers held when they were read.
TEST_F(DmaStageTest, TheBlankWaitsOnlyUntilTheTransfersAreRead) {
    const std::vector<Qw> drawEnv = AdPacket().Set(kRegTest_1, TestReg(true, kZtstAlways)).Build();
    const uint64_t* given = nullptr;
    struct Point {
        const char* name;
        bool readsTransfers;
        std::function<void()> meet;
    };
    const Point points[] = {
        {"vertical blank", true, [] { console::VsyncDeliver(); }},
        {"drawing environment", true,
         [&] { sceGsPutDrawEnv(reinterpret_cast<const sceGifTag*>(drawEnv.data())); }},
        {"memory given back", true, [&] { console::dma::StageDrainIfReading(given, 16); }},
        {"field read", false, [] { console::VsyncOddField(); }},
        {"GS status read", false, [] { console::HwRead32(console::kRegGsCsr); }},
        {"GS register read", false, [] { console::HwRead64(kPrivBase); }},
    };
    for (StageMode m : {StageMode::kDeferred, StageMode::kThread}) {
        SetUp();
        console::dma::SetStageMode(m);
        Arena a;
        const std::vector<Qw> setup = FrameSetupPacket();
        sceDmaSendN(ch2_, a.Put(setup), int(setup.size()));
        sceGsSyncPath(0, 0);
        uint32_t colour = 0xFF102030u;
        for (const Point& p : points) {
            colour += 0x00010101u;
            const uint64_t drawn = Gs().PrimitivesDrawn();
            uint64_t* const start = a.Take(0);
            // Three sprites, each over the last, through a VU1 program, a DIRECT code and the GIF channel.
            sceDmaSend(ch1_, a.Vif1Chain(SpritePacket(0, 0, 4, 4, colour - 2)));
            const uint64_t* direct = a.DirectChain(SpritePacket(0, 0, 4, 4, colour - 1));
            sceDmaSend(ch1_, direct);
            given = direct + 6;
            const std::vector<Qw> last = SpritePacket(0, 0, 4, 4, colour);
            sceDmaSendN(ch2_, a.Put(last), int(last.size()));
            p.meet();
            if (m == StageMode::kDeferred) {
                EXPECT_EQ(Gs().PrimitivesDrawn(), drawn) << p.name;
            }
            // The game's next lists over the data: too early unless the point waited for it to be read.
            if (p.readsTransfers) std::memset(start, 0, size_t(a.Take(0) - start) * 8);
            sceGsSyncPath(0, 0);
            EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + 3) << p.name << ", mode " << int(m);
            EXPECT_EQ(Gs().Memory().ReadPixel(0, 1, kPsmCt32, 3, 3), colour) << p.name << ", mode " << int(m);
        }
    }
}

// The GS draws at most one frame behind: a blank waits for what was sent before the blank before it.
TEST_F(DmaStageTest, TheGsIsAtMostAFrameBehind) {
    console::dma::SetStageMode(StageMode::kDeferred);
    Arena a;
    const std::vector<Qw> setup = FrameSetupPacket();
    sceDmaSendN(ch2_, a.Put(setup), int(setup.size()));
    sceGsSyncPath(0, 0);
    const uint64_t drawn = Gs().PrimitivesDrawn();
    for (int frame = 0; frame < 4; ++frame) {
        sceDmaSend(ch1_, a.Vif1Chain(SpritePacket(0, 0, 2, 2, 0xFF000000u | uint32_t(frame))));
        console::VsyncDeliver();
        // The frame's own sprite waits (deferred: as late as it may); the one before it is drawn.
        EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + uint64_t(frame)) << "frame " << frame;
    }
    sceGsSyncPath(0, 0);
    EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + 4);
}

// A blank that takes the GS's queue over to catch up with the frame before leaves the next frame's work to
// the stage's thread, which gave its queue up and may have gone to sleep meanwhile: that work is drawn with
// nothing more sent.
TEST_F(DmaStageTest, WhatABlankLeavesQueuedIsDrawnWithNothingMoreSent) {
    console::dma::SetStageMode(StageMode::kThread);
    Arena a;
    const std::vector<Qw> s = FrameSetupPacket();
    sceDmaSendN(ch2_, a.Put(s), int(s.size()));
    // Whole-frame sprites enough that the second blank finds the GS still drawing them.
    const std::vector<Qw> whole = SpritePacket(0, 0, 64, 64, 0xFF102030u);
    uint64_t* wholeAt = a.Put(whole);
    for (int i = 0; i < 4000; ++i) sceDmaSendN(ch2_, wholeAt, int(whole.size()));
    console::VsyncDeliver();
    const std::vector<Qw> next = SpritePacket(0, 0, 1, 1, 0xFF0000FFu);
    sceDmaSendN(ch2_, a.Put(next), int(next.size()));
    console::VsyncDeliver();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    console::dma::StageStats st = console::dma::GetStageStats();
    while (st.gifRun != st.gifItems && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        st = console::dma::GetStageStats();
    }
    EXPECT_EQ(st.gifRun, st.gifItems);
    sceGsSyncPath(0, 0);
    EXPECT_EQ(Gs().Memory().ReadPixel(0, 1, kPsmCt32, 0, 0), 0xFF0000FFu);
}

// The lines the stage's units print (a VU1 program, VIF1, the GIF) and the game's own come out in the
// same order in every mode.
std::string PrintedLines(StageMode mode, sceDmaChan* ch1, sceDmaChan* ch2) {
    console::dma::SetStageMode(mode);
    const console::gs::GsLogSink old = console::gs::SetGsLogSink(&PrintInOrder);
    testing::internal::CaptureStdout();
    Arena a;
    for (int i = 0; i < 40; ++i) {
        const std::vector<Qw> sprite = SpritePacket(i, 0, i + 1, 1, 0xFF000000u | uint32_t(i));
        uint64_t* logged = a.Vif1Chain(sprite);
        logged[2] = kLogProgram;
        sceDmaSend(ch1, logged);
        if (i % 3 == 0) {
            // DIRECT of four quadwords given one: VIF1 and the GIF both report the cut.
            uint64_t* c = a.Take(2);
            c[0] = Tag(7, 1);
            c[1] = uint64_t(0x50000004u) << 32;
            const GifTag t = MakeGifTag(3, true, console::gif::kFlgPacked, 1, 0xE);
            std::memcpy(c + 2, &t, 16);
            sceDmaSend(ch1, c);
        }
        if (i % 4 == 1) {
            // A GIF channel packet cut short.
            const std::vector<Qw> cut(sprite.begin(), sprite.begin() + 2);
            sceDmaSendN(ch2, a.Put(cut), int(cut.size()));
        }
        char line[32];
        std::snprintf(line, sizeof line, "game: frame %d\n", i);
        PrintInOrder(line);
    }
    sceDmaSync(ch1, 0, 0);
    std::fflush(stdout);
    console::gs::SetGsLogSink(old);
    return testing::internal::GetCapturedStdout();
}

TEST_F(DmaStageTest, PrintedLinesKeepTheirOrderInEveryMode) {
    const std::string ref = PrintedLines(StageMode::kInline, ch1_, ch2_);
    EXPECT_NE(ref.find("vu1: sprite FF000003\nvif1: transfer ended inside code 0x50000004"),
              std::string::npos);
    EXPECT_NE(ref.find("GIF: PATH2 packet cut short"), std::string::npos);
    EXPECT_NE(ref.find("GIF: PATH3 packet cut short"), std::string::npos);
    for (StageMode mode : {StageMode::kThread, StageMode::kDeferred}) {
        SetUp();
        EXPECT_EQ(PrintedLines(mode, ch1_, ch2_), ref) << "mode " << int(mode);
    }
}

// Enough image data to fill the second half's ring of copies over and over, lines of every length from
// the game between the transfers (queued in that ring too, so that copies after them start anywhere) and
// packets cut short, which the GIF reports while a full ring is being emptied: the same text and the same
// pictures in every mode.
struct Printed {
    std::string text;
    std::vector<uint32_t> image;
};
Printed ManyImagesAndLines(StageMode mode, sceDmaChan* ch2) {
    console::dma::SetStageMode(mode);
    const console::gs::GsLogSink old = console::gs::SetGsLogSink(&PrintInOrder);
    testing::internal::CaptureStdout();
    std::vector<uint32_t> pixels(128 * 128);
    for (int i = 0; i < 160; ++i) {
        Arena a;  // each transfer is read before the next overwrites it (the DMA wait below)
        for (size_t k = 0; k < pixels.size(); ++k) pixels[k] = uint32_t(k * 2654435761u) ^ uint32_t(i);
        AdPacket t;
        t.Set(kRegBitbltbuf, Bitbltbuf(0, 0, 0, 512, 2, kPsmCt32))
            .Set(kRegTrxpos, Trxpos(0, 0, 0, uint32_t(i % 3)))
            .Set(kRegTrxreg, Trxreg(128, 125))
            .Set(kRegTrxdir, kXdirHostToLocal);
        std::vector<Qw> q = t.Build();
        const std::vector<Qw> img = ImagePacket(pixels.data(), 128 * 125 * 4);
        q.insert(q.end(), img.begin(), img.end());
        if (i % 9 == 4) q.resize(q.size() - 1);  // cut short: the GIF says so
        sceDmaSendN(ch2, a.Put(q), int(q.size()));
        std::string line = "game " + std::to_string(i) + std::string(size_t(i % 17), '.') + "\n";
        PrintInOrder(line.c_str());
        console::dma::StageDrainIfReading(g_mem, sizeof g_mem);
    }
    sceGsSyncPath(0, 0);
    std::fflush(stdout);
    console::gs::SetGsLogSink(old);
    Printed out;
    out.text = testing::internal::GetCapturedStdout();
    for (uint32_t y = 0; y < 128; ++y)
        for (uint32_t x = 0; x < 128; ++x)
            out.image.push_back(Gs().Memory().ReadPixel(512, 2, kPsmCt32, x, y));
    return out;
}

TEST_F(DmaStageTest, AFullRingOfCopiesLosesNothingAndKeepsTheLinesInOrder) {
    const Printed ref = ManyImagesAndLines(StageMode::kInline, ch2_);
    EXPECT_NE(ref.text.find("game 159......\n"), std::string::npos);
    EXPECT_NE(ref.text.find("GIF: PATH3 packet cut short"), std::string::npos);
    for (StageMode mode : {StageMode::kThread, StageMode::kDeferred}) {
        SetUp();
        const Printed got = ManyImagesAndLines(mode, ch2_);
        EXPECT_EQ(got.text, ref.text) << "mode " << int(mode);
        EXPECT_TRUE(got.image == ref.image) << "mode " << int(mode);
    }
}

// The GIF's lines slowed down: the first half of the stage runs ahead and fills the second's queue.
void SlowPrint(const char* line) {
    usleep(300);
    PrintInOrder(line);
}

struct Reserved {
    std::vector<uint32_t> frame;
    std::string printed;
    int rooms;
    uint64_t fullWaits;
};

// Sprites built in reserved room of every size up to a megabyte (a few times more than the queue's byte
// ring holds between them: it wraps, and it fills while the GIF's lines are slowed), some with a line
// printed or a second packet sent while the room is open, some given back unused; with sprites on the
// GIF channel between them and packets there cut short (the GIF reports them).
Reserved ReserveAndSend(StageMode mode, sceDmaChan* ch1, sceDmaChan* ch2) {
    console::dma::SetStageMode(mode);
    const console::gs::GsLogSink old = console::gs::SetGsLogSink(&SlowPrint);
    testing::internal::CaptureStdout();
    const int rooms = g_roomsGiven;
    const uint64_t fullWaits = console::dma::GetStageStats().gifFullWaits;
    Arena a;
    const std::vector<Qw> setupQw = FrameSetupPacket();
    sceDmaSendN(ch2, a.Put(setupQw), int(setupQw.size()));
    Rng rng{11};
    for (int i = 0; i < 400; ++i) {
        const int x = int(rng(60)), y = int(rng(60));
        std::vector<Qw> sprite =
            SpritePacket(x, y, x + 1 + int(rng(6)), y + 1 + int(rng(6)), 0xFF000000u | rng(1u << 24));
        const uint32_t n = rng(9) == 0 ? 0 : uint32_t(sprite.size());
        const uint32_t room = std::array<uint32_t, 4>{n, 100, 5000, 65000}[rng(4)];
        const bool log = rng(3) == 0;
        std::vector<Qw> packet(sprite.begin(), sprite.begin() + n);
        uint32_t extra = 0;
        if (rng(4) == 0) {
            const std::vector<Qw> other = SpritePacket(y, x, y + 2, x + 2, 0xFF000000u | rng(1u << 24));
            packet.insert(packet.end(), other.begin(), other.end());
            extra = uint32_t(other.size());
        }
        if (packet.empty()) packet.push_back(Qw{});
        uint64_t* c = a.Vif1Chain(packet);
        c[2] = kReserveProgram;
        c[6] = n | (uint64_t(room) << 32);
        c[7] = uint64_t(log) | (uint64_t(extra) << 32);
        sceDmaSend(ch1, c);
        if (i % 5 == 2) sceDmaSendN(ch2, a.Put(sprite), int(sprite.size()));
        if (i % 17 == 3) {
            const std::vector<Qw> cut(sprite.begin(), sprite.begin() + 2);
            sceDmaSendN(ch2, a.Put(cut), int(cut.size()));
        }
    }
    sceDmaSync(ch1, 0, 0);
    std::fflush(stdout);
    console::gs::SetGsLogSink(old);
    Reserved r;
    r.printed = testing::internal::GetCapturedStdout();
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            r.frame.push_back(Gs().Memory().ReadPixel(0, 1, kPsmCt32, uint32_t(x), uint32_t(y)));
    r.rooms = g_roomsGiven - rooms;
    r.fullWaits = console::dma::GetStageStats().gifFullWaits - fullWaits;
    return r;
}

TEST_F(DmaStageTest, PacketsBuiltInReservedRoomGoOutAsIfCopied) {
    const Reserved ref = ReserveAndSend(StageMode::kInline, ch1_, ch2_);
    EXPECT_EQ(ref.rooms, 0) << "no queue inline: the program kicks its own buffer";
    EXPECT_NE(ref.printed.find("vu1: reserved for sprite"), std::string::npos);
    EXPECT_NE(ref.printed.find("GIF: PATH3 packet cut short"), std::string::npos);
    size_t lit = 0;
    for (uint32_t p : ref.frame) lit += p != 0;
    EXPECT_GT(lit, ref.frame.size() / 2);
    for (StageMode mode : {StageMode::kThread, StageMode::kDeferred, StageMode::kThread}) {
        SetUp();
        const Reserved got = ReserveAndSend(mode, ch1_, ch2_);
        EXPECT_EQ(got.frame, ref.frame) << "mode " << int(mode);
        EXPECT_EQ(got.printed, ref.printed) << "mode " << int(mode);
        // Wherever the first half queues for the second (on its thread, or deferred on the game's) it
        // is given room.
        EXPECT_GT(got.rooms, 300) << "mode " << int(mode);
        if (mode == StageMode::kThread) {
            EXPECT_GT(got.fullWaits, 0u) << "the byte ring filled up";
        }
    }
}

// The room is one piece wherever the byte ring wraps, one room at a time, and none off the stage's
// threads or for more than the ring can spare.
TEST_F(DmaStageTest, RoomIsOnePieceAndOnlyOnTheStagesFirstThread) {
    console::dma::SetStageMode(StageMode::kThread);
    EXPECT_EQ(console::dma::StageGifReserve(10), nullptr) << "the game's thread sends to the GIF at once";
    console::dma::StageGifCommit(1, 0);  // nothing open: nothing happens
    static int given, secondRefused, tooLargeRefused, wraps;
    static uintptr_t lowest, highestEnd;
    struct Probe : console::vu::Microprogram {
        const char* Name() const override { return "probe"; }
        void Call(console::vu::VuState&, uint32_t) override {
            constexpr size_t kRoom = 19000;  // 300 KB: the 8 MB ring wraps every 28 rooms
            uintptr_t last = 0;
            for (int k = 0; k < 100; ++k) {
                uint8_t* r = static_cast<uint8_t*>(console::vu::ReservePath1(kRoom));
                if (!r) continue;
                ++given;
                secondRefused += console::vu::ReservePath1(1) == nullptr;
                const uintptr_t at = reinterpret_cast<uintptr_t>(r);
                lowest = std::min(lowest, at);
                highestEnd = std::max(highestEnd, at + kRoom * 16);
                wraps += at < last;
                last = at;
                std::memset(r, 0, kRoom * 16);  // every byte of it may be written
                // A line queued while the room is open keeps the room from being given back.
                console::dma::StageOrderOutput(1, "probe\n", 6);
                // A tag of no loops: the GIF reads it and waits for the next.
                const GifTag t = MakeGifTag(0, true, console::gif::kFlgPacked, 1, 0xE);
                std::memcpy(r, &t, 16);
                console::vu::CommitPath1(1);
            }
            tooLargeRefused = console::vu::ReservePath1(size_t(16) << 20) == nullptr;
        }
    } probe;
    given = secondRefused = tooLargeRefused = wraps = 0;
    lowest = UINTPTR_MAX;
    highestEnd = 0;
    console::vu::RegisterMicroprogram(0x5EA73, &probe);
    testing::internal::CaptureStdout();
    alignas(16) static const uint32_t kCall[4] = {0x4A010000u, 0x5EA73, 0, 0x14000000u};
    console::dma::StagePushData(SCE_DMA_VIF1, reinterpret_cast<const uint8_t*>(kCall), 1);
    console::dma::StagePushEnd(SCE_DMA_VIF1);
    console::dma::StageDrain();
    std::fflush(stdout);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(given, 100);
    EXPECT_EQ(secondRefused, 100);
    EXPECT_EQ(tooLargeRefused, 1);
    EXPECT_GE(wraps, 3);
    EXPECT_LE(highestEnd - lowest, size_t(8) << 20) << "every room inside the ring";
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 100);
    console::dma::SetStageMode(StageMode::kInline);
    console::vu::RegisterMicroprogram(0x5EA73, &g_copy);
}

TEST_F(DmaStageTest, BadChainsAreStillRefusedAtTheKick) {
    console::dma::SetStageMode(StageMode::kDeferred);
    Arena a;
    uint64_t* bad = a.Take(2);
    bad[0] = Tag(3, 4, 0x7FFFFFF0u);  // REF outside memory
    bad[1] = 0;
    const uint64_t dropped = console::dma::DroppedChains();
    const uint64_t vifErrors = console::vif::Vif1().Errors();
    const uint64_t items = console::dma::GetStageStats().items;
    EXPECT_EQ(sceDmaSend(ch1_, bad), 0);
    // Refused now, not when the stage would have reached it, and the end interrupt still raised.
    EXPECT_EQ(console::dma::DroppedChains(), dropped + 1);
    EXPECT_EQ(g_ends[1], 1);
    EXPECT_EQ(console::dma::GetStageStats().items, items + 1);  // only the transfer's end
    sceDmaSend(ch1_, a.Vif1Chain(SpritePacket(0, 0, 1, 1, 0xFF0000FFu)));
    EXPECT_EQ(console::vif::Vif1().ResidentProgram(), 0u);  // queued, not run
    sceDmaSync(ch1_, 0, 0);
    EXPECT_EQ(console::vif::Vif1().ResidentProgram(), kCopyProgram);
    EXPECT_EQ(console::vif::Vif1().Errors(), vifErrors);
}

TEST_F(DmaStageTest, Vif0RunsAtTheKickWhileTheStageQueues) {
    console::dma::SetStageMode(StageMode::kDeferred);
    Arena a;
    uint64_t* c = a.Take(4);
    c[0] = Tag(7, 1);
    c[1] = uint64_t(0x6C014005u) << 32;  // UNPACK one quadword to VU0 address 5
    c[2] = 0x1111111122222222ull;
    c[3] = 0x3333333344444444ull;
    sceDmaChan* ch0 = sceDmaGetChan(0);
    ch0->chcr.TTE = 1;
    console::vu::Vu0Memory().Clear();
    const uint64_t items = console::dma::GetStageStats().items;
    sceDmaSend(ch0, c);
    EXPECT_EQ(console::vu::Vu0Memory().Qw(5)[0], 0x22222222u);
    EXPECT_EQ(console::dma::GetStageStats().items, items);
}

// Memory given back to the heap waits for the transfers that read it, and only for those.
TEST_F(DmaStageTest, GivingMemoryBackWaitsOnlyForTransfersThatReadIt) {
    console::dma::SetStageMode(StageMode::kDeferred);
    Arena a;
    const std::vector<Qw> s = SpritePacket(0, 0, 1, 1, 0xFF000001u);
    uint64_t* packet = a.Put(s);
    uint64_t* elsewhere = a.Take(64);
    const uint64_t drawn = Gs().PrimitivesDrawn();
    sceDmaSendN(ch2_, packet, int(s.size()));
    const uint64_t waits = console::dma::GetStageStats().firstHalfDrains;
    console::dma::StageDrainIfReading(elsewhere, 64 * 16);
    EXPECT_EQ(console::dma::GetStageStats().firstHalfDrains, waits);
    console::dma::StageDrainIfReading(packet + 2 * (s.size() - 1), 8);  // the packet's last quadword
    EXPECT_EQ(console::dma::GetStageStats().firstHalfDrains, waits + 1);
    // Read, not necessarily drawn: the packet may be written over at once.
    std::memset(packet, 0, s.size() * 16);
    sceGsSyncPath(0, 0);
    EXPECT_EQ(Gs().PrimitivesDrawn(), drawn + 1);
}

// A program made after the stage's thread started, as the engine makes its programs on first use, and
// whose calls take a while: the process ends with some of them still queued.
std::atomic<bool> g_slowDestroyed{false};
std::atomic<int> g_slowCalls{0};
class SlowProgram : public console::vu::Microprogram {
public:
    ~SlowProgram() override { g_slowDestroyed = true; }
    const char* Name() const override { return "slow"; }
    void Call(console::vu::VuState&, uint32_t) override {
        if (g_slowDestroyed) {
            std::fputs("called after its destruction\n", stderr);
            _exit(3);
        }
        usleep(2000);
        ++g_slowCalls;
    }
};

// Starts the thread, makes and registers the program, queues 40 calls and ends the process while some are
// still queued. Exit code 0 when it got that far with calls left.
[[noreturn]] void ExitWithCallsQueued() {
    console::dma::SetStageMode(StageMode::kThread);
    static SlowProgram slow;
    console::vu::RegisterMicroprogram(0x5EA6F, &slow);
    // MPG of the program's id, then MSCAL: one quadword, sent 40 times.
    alignas(16) static const uint32_t kCall[4] = {0x4A010000u, 0x5EA6F, 0, 0x14000000u};
    for (int i = 0; i < 40; ++i)
        console::dma::StagePushData(SCE_DMA_VIF1, reinterpret_cast<const uint8_t*>(kCall), 1);
    console::dma::StagePushEnd(SCE_DMA_VIF1);
    while (g_slowCalls == 0) usleep(100);
    std::exit(g_slowCalls < 40 ? 0 : 4);  // 4: nothing was left queued, the case not met
}

// Exit handlers run in the reverse order of their registration: the stage's thread must stop (the rest of
// the queue running on the exiting thread) before the destructor of a program made after it started.
TEST(DmaStageExit, TheThreadStopsBeforeProgramsMadeAfterItStarted) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithCallsQueued(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
