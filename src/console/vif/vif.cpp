#include "console/vif/vif.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "console/stage/dma_stage.h"

namespace console::vif {
namespace {

bool g_fastUnpack = true;

uint32_t Extend(uint32_t v, int bits, bool unsignedData) {
    if (unsignedData || bits == 32) return v;
    const uint32_t sign = 1u << (bits - 1);
    return (v ^ sign) - sign;
}

// One element of an unpack's payload at `e` into `data`: its fields (vn + 1 of vl's size, or a 5:5:5:1
// colour), a single one copied to all four. Returns how many fields it fills.
int ReadElement(const uint8_t* e, uint32_t vn, uint32_t vl, bool usn, uint32_t* data) {
    if (vl == 3) {
        uint16_t v;
        std::memcpy(&v, e, 2);
        data[0] = (v & 0x1F) << 3;
        data[1] = ((v >> 5) & 0x1F) << 3;
        data[2] = ((v >> 10) & 0x1F) << 3;
        data[3] = ((v >> 15) & 1) << 7;
        return 4;
    }
    const int comps = static_cast<int>(vn + 1);
    for (int c = 0; c < comps; ++c) {
        uint32_t v = 0;
        if (vl == 0) {
            std::memcpy(&v, e + c * 4, 4);
        } else if (vl == 1) {
            uint16_t h;
            std::memcpy(&h, e + c * 2, 2);
            v = Extend(h, 16, usn);
        } else {
            v = Extend(e[c], 8, usn);
        }
        data[c] = v;
    }
    // A single value fills all four fields.
    if (comps == 1) {
        data[1] = data[2] = data[3] = data[0];
        return 4;
    }
    return comps;
}

}  // namespace

Vif& Vif0() {
    static Vif v(0);
    return v;
}

Vif& Vif1() {
    static Vif v(1);
    return v;
}

Vif::Vif(int unit) : unit_(unit), mem_(unit == 0 ? &vu::Vu0Memory() : &vu::Vu1Memory()) {
    Reset();
}

void Vif::Reset() {
    state_ = State::Command;
    code_ = 0;
    need_ = 0;
    have_ = 0;
    cl_ = wl_ = 4;
    mode_ = mask_ = 0;
    std::memset(row_, 0, sizeof row_);
    std::memset(col_, 0, sizeof col_);
    base_ = unit_ == 1 ? kVu1DefaultBase : 0;
    ofst_ = itop_ = mark_ = 0;
    program_ = 0;
    std::memset(vi_, 0, sizeof vi_);
}

void Vif::Fail(const char* what, uint32_t code) {
    console::dma::StageLogf("vif%d: %s (code 0x%08X); rest of the transfer dropped\n", unit_, what, code);
    ++errors_;
    state_ = State::Drop;
    have_ = 0;
    need_ = 0;
}

void Vif::Write(const uint32_t* w, size_t count) {
    size_t i = 0;
    while (i < count) {
        switch (state_) {
            case State::Command:
                i += Command(w + i, count - i);
                break;
            case State::Stmask:
                mask_ = w[i++];
                state_ = State::Command;
                break;
            case State::Strow:
            case State::Stcol:
                buf_[have_++] = w[i++];
                if (have_ == 4) {
                    std::memcpy(state_ == State::Strow ? row_ : col_, buf_, sizeof row_);
                    have_ = 0;
                    state_ = State::Command;
                }
                break;
            case State::Mpg:
                i += MpgWords(w + i, count - i);
                break;
            case State::Direct:
                i += DirectWords(w + i, count - i);
                break;
            case State::Unpack:
                i += UnpackWords(w + i, count - i);
                break;
            case State::Drop:
                i = count;
                break;
        }
    }
}

size_t Vif::MpgWords(const uint32_t* w, size_t count) {
    const size_t take = need_ < count ? need_ : count;
    if (have_ == 0 && take > 0) {
        buf_[0] = w[0];
        have_ = 1;
    }
    need_ -= take;
    if (need_ == 0) {
        // The payload carries the program's id, not its code.
        program_ = buf_[0];
        have_ = 0;
        state_ = State::Command;
    }
    return take;
}

size_t Vif::DirectWords(const uint32_t* w, size_t count) {
    size_t i = 0;
    if (have_ > 0) {
        // A quadword split between pieces of the stream: gathered first.
        while (have_ < 4 && i < count) buf_[have_++] = w[i++];
        if (have_ < 4) return i;
        console::dma::StageGifWrite(2, buf_, 1);
        have_ = 0;
        need_ -= 4;
    } else {
        size_t qw = count / 4;
        if (qw > need_ / 4) qw = need_ / 4;
        if (qw > 0) {
            console::dma::StageGifWrite(2, w, qw);
            i += qw * 4;
            need_ -= qw * 4;
        }
        if (need_ > 0 && i < count && count - i < 4) {
            while (i < count) buf_[have_++] = w[i++];
        }
    }
    if (need_ == 0) state_ = State::Command;
    return i;
}

size_t Vif::UnpackWords(const uint32_t* w, size_t count) {
    if (have_ == 0 && need_ <= count) {
        // The whole payload is in this piece of the stream: unpacked from where it lies.
        FinishUnpack(w);
        const size_t took = need_;
        need_ = 0;
        state_ = State::Command;
        return took;
    }
    const size_t take = need_ < count ? need_ : count;
    std::memcpy(buf_ + have_, w, take * 4);
    have_ += take;
    need_ -= take;
    if (need_ == 0) {
        FinishUnpack(buf_);
        have_ = 0;
        state_ = State::Command;
    }
    return take;
}

size_t Vif::Command(const uint32_t* w, size_t) {
    const uint32_t code = w[0];
    code_ = code;
    const uint32_t cmd = (code >> 24) & 0x7F;
    const uint32_t num = (code >> 16) & 0xFF;
    const uint32_t imm = code & 0xFFFF;
    if ((cmd & 0x60) == 0x60) {
        StartUnpack(code);
        return 1;
    }
    switch (cmd) {
        case kVifNop:
        case kVifFlushe:
        case kVifFlush:
        case kVifFlusha:
        case kVifMskpath3:
            break;
        case kVifMark:
            mark_ = imm;
            break;
        case kVifStcycl:
            cl_ = imm & 0xFF;
            wl_ = (imm >> 8) & 0xFF;
            break;
        case kVifOffset:
            ofst_ = imm & 0x3FF;
            break;
        case kVifBase:
            base_ = imm & 0x3FF;
            break;
        case kVifItop:
            itop_ = imm & 0x3FF;
            break;
        case kVifStmod:
            mode_ = imm & 3;
            break;
        case kVifMscal:
        case kVifMscalf:
            Run(false, imm);
            break;
        case kVifMscnt:
            Run(true, 0);
            break;
        case kVifStmask:
            state_ = State::Stmask;
            break;
        case kVifStrow:
            have_ = 0;
            state_ = State::Strow;
            break;
        case kVifStcol:
            have_ = 0;
            state_ = State::Stcol;
            break;
        case kVifMpg:
            have_ = 0;
            need_ = static_cast<size_t>(num == 0 ? 256 : num) * 2;
            state_ = State::Mpg;
            break;
        case kVifDirect:
        case kVifDirectHl:
            if (unit_ != 1) {
                Fail("DIRECT on VIF0", code);
                break;
            }
            have_ = 0;
            need_ = static_cast<size_t>(imm == 0 ? 65536 : imm) * 4;
            state_ = State::Direct;
            break;
        default:
            Fail("unknown VIF code", code);
            break;
    }
    return 1;
}

void Vif::StartUnpack(uint32_t code) {
    const uint32_t cmd = (code >> 24) & 0x7F;
    const uint32_t vn = (cmd >> 2) & 3, vl = cmd & 3;
    if (vl == 3 && vn != 3) {
        Fail("UNPACK format without a meaning", code);
        return;
    }
    const uint32_t num = ((code >> 16) & 0xFF) == 0 ? 256 : (code >> 16) & 0xFF;
    const uint32_t elemBits = vl == 3 ? 16 : (vn + 1) * (32u >> vl);
    uint32_t elements = num;
    if (wl_ > cl_ && cl_ > 0) elements = (num / wl_) * cl_ + (num % wl_ < cl_ ? num % wl_ : cl_);
    need_ = (static_cast<size_t>(elements) * elemBits + 31) / 32;
    have_ = 0;
    state_ = need_ == 0 ? State::Command : State::Unpack;
    if (need_ == 0) FinishUnpack(buf_);
}

bool Vif::FastUnpack(bool on) {
    const bool old = g_fastUnpack;
    g_fastUnpack = on;
    return old;
}

void Vif::UnpackWhole(const uint32_t* src, uint32_t addr, uint32_t num, uint32_t vl, bool usn) {
    if (vl == 0) {
        // V4-32: a copy, in runs up to where the memory wraps.
        uint32_t at = mem_->Wrap(addr);
        while (num > 0) {
            const uint32_t run = std::min(num, mem_->Qwords() - at);
            std::memcpy(mem_->Qw(at), src, size_t(run) * 16);
            src += run * 4;
            num -= run;
            at = 0;
        }
        return;
    }
    uint32_t i = 0;
    if (vl == 1) {
        // V4-16: four halfwords an element, zero- or sign-extended.
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        for (; i + 2 <= num; i += 2) {
            const __m128i h = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2));
            __m128i lo, hi;
            if (usn) {
                lo = _mm_unpacklo_epi16(h, zero);
                hi = _mm_unpackhi_epi16(h, zero);
            } else {
                lo = _mm_srai_epi32(_mm_unpacklo_epi16(zero, h), 16);
                hi = _mm_srai_epi32(_mm_unpackhi_epi16(zero, h), 16);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(mem_->Qw(addr + i)), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(mem_->Qw(addr + i + 1)), hi);
        }
#endif
        for (; i < num; ++i) {
            uint16_t h[4];
            std::memcpy(h, src + i * 2, 8);
            uint32_t* q = mem_->Qw(addr + i);
            for (int c = 0; c < 4; ++c) q[c] = usn ? h[c] : uint32_t(int32_t(int16_t(h[c])));
        }
        return;
    }
    // V4-8: four bytes an element.
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= num; i += 4) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i q[4];
        if (usn) {
            const __m128i lo = _mm_unpacklo_epi8(b, zero), hi = _mm_unpackhi_epi8(b, zero);
            q[0] = _mm_unpacklo_epi16(lo, zero);
            q[1] = _mm_unpackhi_epi16(lo, zero);
            q[2] = _mm_unpacklo_epi16(hi, zero);
            q[3] = _mm_unpackhi_epi16(hi, zero);
        } else {
            // Each byte to the top of its word, then shifted down with its sign.
            const __m128i lo = _mm_unpacklo_epi8(zero, b), hi = _mm_unpackhi_epi8(zero, b);
            q[0] = _mm_srai_epi32(_mm_unpacklo_epi16(zero, lo), 24);
            q[1] = _mm_srai_epi32(_mm_unpackhi_epi16(zero, lo), 24);
            q[2] = _mm_srai_epi32(_mm_unpacklo_epi16(zero, hi), 24);
            q[3] = _mm_srai_epi32(_mm_unpackhi_epi16(zero, hi), 24);
        }
        for (uint32_t k = 0; k < 4; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(mem_->Qw(addr + i + k)), q[k]);
    }
#endif
    for (; i < num; ++i) {
        uint8_t b[4];
        std::memcpy(b, src + i, 4);
        uint32_t* q = mem_->Qw(addr + i);
        for (int c = 0; c < 4; ++c) q[c] = usn ? b[c] : uint32_t(int32_t(int8_t(b[c])));
    }
}

void Vif::FinishUnpack(const uint32_t* src) {
    const uint32_t code = code_;
    const uint32_t cmd = (code >> 24) & 0x7F;
    const uint32_t vn = (cmd >> 2) & 3, vl = cmd & 3;
    const bool masked = (cmd & 0x10) != 0;
    const uint32_t num = ((code >> 16) & 0xFF) == 0 ? 256 : (code >> 16) & 0xFF;
    const bool usn = (code & 0x4000) != 0;
    uint32_t addr = code & 0x3FF;
    if (code & 0x8000) addr += base_;
    const uint32_t elemBytes = (vl == 3 ? 16 : (vn + 1) * (32u >> vl)) / 8;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(src);
    const uint32_t cl = cl_ ? cl_ : 1, wl = wl_ ? wl_ : 1;
    const bool fill = wl > cl;
    // The common cases: four fields an element of 32, 16 or 8 bits, unmasked, unchanged by the row
    // register, written to one quadword after another.
    if (vn == 3 && vl != 3 && !masked && mode_ == 0 && cl == wl) {
        if (g_fastUnpack) {
            UnpackWhole(src, addr, num, vl, usn);
            return;
        }
        if (vl == 0) {
            for (uint32_t i = 0; i < num; ++i) std::memcpy(mem_->Qw(addr + i), src + i * 4, 16);
            return;
        }
    }

    for (uint32_t i = 0; i < num; ++i) {
        uint32_t dest, j, elem = 0;
        bool hasData = true;
        if (fill) {
            j = i % wl;
            dest = addr + i;
            hasData = j < cl;
            elem = (i / wl) * cl + j;
        } else {
            j = i % wl;
            dest = addr + (i / wl) * cl + j;
            elem = i;
        }
        uint32_t data[4] = {0, 0, 0, 0};
        const int comps =
            hasData ? ReadElement(bytes + static_cast<size_t>(elem) * elemBytes, vn, vl, usn, data) : 0;
        WriteFields(mem_->Qw(dest), data, comps, hasData, masked, j < 3 ? j : 3);
    }
}

void Vif::WriteFields(uint32_t* q, const uint32_t* data, int comps, bool hasData, bool masked, uint32_t r) {
    for (int c = 0; c < 4; ++c) {
        uint32_t m = masked ? (mask_ >> (r * 8 + c * 2)) & 3 : 0;
        if (!hasData && m == 0) m = 1;
        if (m == 0 && c >= comps) m = 3;  // fields a V2/V3 element does not have are left alone
        switch (m) {
            case 0: {
                uint32_t v = data[c];
                if (mode_ == 1) {
                    v += row_[c];
                } else if (mode_ == 2) {
                    row_[c] += v;
                    v = row_[c];
                }
                q[c] = v;
                break;
            }
            case 1:
                q[c] = row_[c];
                break;
            case 2:
                q[c] = col_[r];
                break;
            default:
                break;
        }
    }
}

void Vif::Run(bool cont, uint32_t entry) {
    if (program_ == 0) {
        console::dma::StageLogf("vif%d: %s with no program resident\n", unit_, cont ? "MSCNT" : "MSCAL");
        ++errors_;
        return;
    }
    vu::Microprogram* p = vu::FindMicroprogram(program_);
    if (!p) {
        console::dma::StageLogf("vif%d: microprogram 0x%X is not known\n", unit_, program_);
        ++errors_;
        return;
    }
    vu::VuState st{};
    st.unit = unit_;
    st.mem = mem_;
    st.tops = base_;
    st.itop = itop_;
    std::memcpy(st.vi, vi_, sizeof vi_);
    if (cont) {
        p->Continue(st);
    } else {
        p->Call(st, entry);
    }
    std::memcpy(vi_, st.vi, sizeof vi_);
    if (unit_ == 1) console::dma::StageGifEnd(1);
}

void Vif::EndTransfer() {
    if (state_ != State::Command && state_ != State::Drop) {
        console::dma::StageLogf("vif%d: transfer ended inside code 0x%08X; it was dropped\n", unit_, code_);
        ++errors_;
    }
    state_ = State::Command;
    have_ = 0;
    need_ = 0;
    if (unit_ == 1) console::dma::StageGifEnd(2);
}

}  // namespace console::vif

void sceDevVif0Reset() {
    console::vif::Vif0().Reset();
}
void sceDevVu0Reset() {
    console::vu::Vu0Memory().Clear();
}
void sceDevVif1Reset() {
    console::dma::StageDrain();
    console::vif::Vif1().Reset();
}
void sceDevVu1Reset() {
    console::dma::StageDrain();
    console::vu::Vu1Memory().Clear();
}
