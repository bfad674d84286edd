// Helpers for the graphics tests: a packet builder for A+D register writes and image data, and a fresh
// graphics synthesizer with its own GIF for each test.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/gif/gif_interpreter.h"
#include "console/gif/gif_tag.h"
#include "console/gs/gs_device.h"
#include "console/gs/gs_log.h"
#include "console/gs/gs_registers.h"

namespace gstest {

using namespace console::gs;
using console::gif::GifInterpreter;
using console::gif::GifTag;
using console::gif::MakeGifTag;

struct Qw {
    uint64_t lo, hi;
};

// Collects A+D writes into one PACKED packet.
class AdPacket {
public:
    AdPacket& Set(uint32_t reg, uint64_t value) {
        regs_.push_back({value, reg});
        return *this;
    }
    std::vector<Qw> Build() const {
        std::vector<Qw> out;
        const GifTag tag = MakeGifTag(uint32_t(regs_.size()), true, console::gif::kFlgPacked, 1, 0xE);
        Qw t;
        std::memcpy(&t, &tag, 16);
        out.push_back(t);
        out.insert(out.end(), regs_.begin(), regs_.end());
        return out;
    }

private:
    std::vector<Qw> regs_;
};

inline std::vector<Qw> ImagePacket(const void* data, size_t bytes) {
    std::vector<Qw> out;
    const size_t qwc = (bytes + 15) / 16;
    const GifTag tag = MakeGifTag(uint32_t(qwc), true, console::gif::kFlgImage, 0, 0);
    Qw t;
    std::memcpy(&t, &tag, 16);
    out.push_back(t);
    std::vector<Qw> body(qwc, Qw{0, 0});
    std::memcpy(body.data(), data, bytes);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline uint64_t Xyz(int x, int y, uint32_t z) {
    return uint64_t(uint32_t(x) & 0xFFFF) | (uint64_t(uint32_t(y) & 0xFFFF) << 16) | (uint64_t(z) << 32);
}
inline uint64_t Rgbaq(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return r | (g << 8) | (b << 16) | (uint64_t(a) << 24) | (uint64_t(0x3F800000u) << 32);
}
inline uint64_t Uv(uint32_t u16, uint32_t v16) {
    return (u16 & 0x3FFF) | (uint64_t(v16 & 0x3FFF) << 16);
}
inline uint64_t St(float s, float t) {
    uint32_t a, b;
    std::memcpy(&a, &s, 4);
    std::memcpy(&b, &t, 4);
    return a | (uint64_t(b) << 32);
}
inline uint64_t Prim(uint32_t type, bool iip = false, bool tme = false, bool fge = false, bool abe = false,
                     bool fst = false, uint32_t ctxt = 0) {
    return type | (uint64_t(iip) << 3) | (uint64_t(tme) << 4) | (uint64_t(fge) << 5) | (uint64_t(abe) << 6) |
           (uint64_t(fst) << 8) | (uint64_t(ctxt) << 9);
}
inline uint64_t Frame(uint32_t fbp, uint32_t fbw, uint32_t psm, uint32_t fbmsk = 0) {
    return fbp | (uint64_t(fbw) << 16) | (uint64_t(psm) << 24) | (uint64_t(fbmsk) << 32);
}
inline uint64_t Zbuf(uint32_t zbp, uint32_t psm, bool zmsk) {
    return zbp | (uint64_t(psm & 0xF) << 24) | (uint64_t(zmsk) << 32);
}
inline uint64_t Scissor(uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    return x0 | (uint64_t(x1) << 16) | (uint64_t(y0) << 32) | (uint64_t(y1) << 48);
}
inline uint64_t TestReg(bool zte, uint32_t ztst) {
    return (uint64_t(zte) << 16) | (uint64_t(ztst) << 17);
}
inline uint64_t Tex0(uint32_t tbp, uint32_t tbw, uint32_t psm, uint32_t tw, uint32_t th, bool tcc,
                     uint32_t tfx, uint32_t cbp = 0, uint32_t cpsm = 0, uint32_t csm = 0, uint32_t csa = 0,
                     uint32_t cld = 0) {
    return tbp | (uint64_t(tbw) << 14) | (uint64_t(psm) << 20) | (uint64_t(tw) << 26) | (uint64_t(th) << 30) |
           (uint64_t(tcc) << 34) | (uint64_t(tfx) << 35) | (uint64_t(cbp) << 37) | (uint64_t(cpsm) << 51) |
           (uint64_t(csm) << 55) | (uint64_t(csa) << 56) | (uint64_t(cld) << 61);
}
inline uint64_t Bitbltbuf(uint32_t sbp, uint32_t sbw, uint32_t spsm, uint32_t dbp, uint32_t dbw,
                          uint32_t dpsm) {
    return sbp | (uint64_t(sbw) << 16) | (uint64_t(spsm) << 24) | (uint64_t(dbp) << 32) |
           (uint64_t(dbw) << 48) | (uint64_t(dpsm) << 56);
}
inline uint64_t Trxpos(uint32_t sx, uint32_t sy, uint32_t dx, uint32_t dy) {
    return sx | (uint64_t(sy) << 16) | (uint64_t(dx) << 32) | (uint64_t(dy) << 48);
}
inline uint64_t Trxreg(uint32_t w, uint32_t h) {
    return w | (uint64_t(h) << 32);
}

// A small deterministic generator for random scenes.
struct Rng {
    uint32_t seed;
    uint32_t operator()(uint32_t m) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % m;
    }
};

// Sends every primitive through the general (scalar) path while it lives (when `general`): the scalar
// spans, and the general row walk for every triangle (no short path for small ones).
struct GeneralPath {
    explicit GeneralPath(bool general)
        : old(Rasterizer::ForceGeneralSpans(general)), oldSetup(Rasterizer::ForceGeneralSetup(general)) {}
    ~GeneralPath() {
        Rasterizer::ForceGeneralSpans(old);
        Rasterizer::ForceGeneralSetup(oldSetup);
    }
    bool old, oldSetup;
};

// Captures GS/GIF log lines for the lifetime of the object.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        old_ = SetGsLogSink(&Sink);
    }
    ~LogCapture() { SetGsLogSink(old_); }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> l;
        return l;
    }
    bool Contains(const std::string& s) const {
        for (const auto& l : lines())
            if (l.find(s) != std::string::npos) return true;
        return false;
    }

private:
    static void Sink(const char* line) { lines().push_back(line); }
    GsLogSink old_;
};

// A graphics synthesizer of its own, a 64 x 64 CT32 frame at page 0 (FBW 1) and a Z24 buffer at page 2,
// window offset 0, scissor over the frame, Z test ALWAYS.
class Fixture {
public:
    explicit Fixture(int threads = 1) : gs(std::make_unique<GsDevice>()), gif(*gs) {
        gs->SetRasterThreads(threads);
        AdPacket p;
        p.Set(kRegFrame_1, Frame(0, 1, kPsmCt32))
            .Set(kRegZbuf_1, Zbuf(2, kPsmZ24, false))
            .Set(kRegXyoffset_1, 0)
            .Set(kRegScissor_1, Scissor(0, 63, 0, 63))
            .Set(kRegTest_1, TestReg(true, kZtstAlways));
        Send(p);
    }
    void Send(const std::vector<Qw>& q) { gif.Write(3, q.data(), q.size()); }
    void Send(const AdPacket& p) { Send(p.Build()); }
    uint32_t Pixel(int x, int y, uint32_t fbp = 0, uint32_t fbw = 1) const {
        return gs->Memory().ReadPixel(fbp * 32, fbw, kPsmCt32, uint32_t(x), uint32_t(y));
    }
    uint32_t Depth(int x, int y) const {
        return gs->Memory().ReadPixel(2 * 32, 1, kPsmZ24, uint32_t(x), uint32_t(y));
    }
    // Starts a host-to-local transfer of a w x h rectangle at (x, y) of a buffer at block `dbp`.
    void StartUpload(uint32_t dbp, uint32_t dbw, uint32_t psm, uint32_t w, uint32_t h, uint32_t x = 0,
                     uint32_t y = 0) {
        AdPacket p;
        p.Set(kRegBitbltbuf, Bitbltbuf(0, 0, 0, dbp, dbw, psm))
            .Set(kRegTrxpos, Trxpos(0, 0, x, y))
            .Set(kRegTrxreg, Trxreg(w, h))
            .Set(kRegTrxdir, kXdirHostToLocal);
        Send(p);
    }
    void Upload(uint32_t dbp, uint32_t dbw, uint32_t psm, uint32_t w, uint32_t h, const void* data,
                size_t bytes) {
        StartUpload(dbp, dbw, psm, w, h);
        Send(ImagePacket(data, bytes));
    }
    // The 64 x 64 frame at `fbp` and the depth buffer, interleaved, for comparing whole scenes.
    std::vector<uint32_t> Snapshot(uint32_t fbp = 0) const {
        std::vector<uint32_t> out;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                out.push_back(Pixel(x, y, fbp));
                out.push_back(Depth(x, y));
            }
        return out;
    }
    // A flat sprite over pixels [x0, x1) x [y0, y1).
    void Sprite(AdPacket& p, int x0, int y0, int x1, int y1, uint32_t rgba, uint32_t z, bool abe = false) {
        p.Set(kRegPrim, Prim(kPrimSprite, false, false, false, abe))
            .Set(kRegRgbaq, Rgbaq(rgba & 255, (rgba >> 8) & 255, (rgba >> 16) & 255, rgba >> 24))
            .Set(kRegXyz2, Xyz(x0 * 16, y0 * 16, z))
            .Set(kRegXyz2, Xyz(x1 * 16, y1 * 16, z));
    }
    std::unique_ptr<GsDevice> gs;
    GifInterpreter gif;
};

}  // namespace gstest
