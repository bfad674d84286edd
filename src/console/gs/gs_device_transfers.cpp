// Image transfers: host to local memory, local to host and local to local.
#include "console/gs/gs_device.h"

#include <algorithm>
#include <cstring>

#include "console/gs/gs_log.h"

namespace console::gs {
namespace {

// Bytes one pixel takes in an image stream (host-to-local and back); 0 for 4-bit pixels. Only 24-bit pixels
// differ from their size in local memory: the stream packs them into three bytes.
int StreamBytes(uint32_t psm) {
    return psm == kPsmCt24 || psm == kPsmZ24 ? 3 : PsmBytes(psm);
}

}  // namespace

bool GsDevice::RectInside(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y, uint32_t w,
                          uint32_t h, uint32_t* stride) const {
    const int bytes = PsmBytes(psm);
    if (bytes < 0) return false;
    // A buffer width of 0 packs the rectangle's rows back to back (palettes are uploaded that way).
    *stride = bw ? bw * 64u : w;
    const uint64_t lastIndex = uint64_t(y + h - 1) * *stride + x + w;  // one past the last pixel
    const uint64_t endByte =
        uint64_t(bp) * LocalMemory::kBlockBytes + (bytes ? lastIndex * uint64_t(bytes) : (lastIndex + 1) / 2);
    return endByte <= LocalMemory::kSize;
}

void GsDevice::SettleTransfer(const Transfer& t, bool write) const {
    if (!bands_ || !t.active) return;
    // The rows' bytes from the first pixel to one past the last (whole rows between).
    const int bytes = PsmBytes(t.psm);
    const uint64_t first = uint64_t(t.y0) * t.stride + t.x0,
                   end = uint64_t(t.y0 + t.h - 1) * t.stride + t.x0 + t.w;
    const uint64_t a = bytes ? first * uint64_t(bytes) : first / 2,
                   b = bytes ? end * uint64_t(bytes) : (end + 1) / 2;
    bands_->Settle(uint32_t(t.base + a), uint32_t(b - a), write, RasterBands::Wait::kTransfer);
}

bool GsDevice::OpenTransfer(Transfer& t, const char* what, const char* side, uint32_t bp, uint32_t bw,
                            uint32_t psm, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    t = Transfer{};
    if (w == 0 || h == 0) return false;
    t.base = bp * LocalMemory::kBlockBytes;
    t.psm = psm;
    t.x0 = x;
    t.y0 = y;
    t.w = w;
    t.h = h;
    if (StreamBytes(psm) < 0 || !RectInside(bp, bw, psm, x, y, w, h, &t.stride)) {
        GsLogf("GS: %s transfer outside local memory (%sBP 0x%X %sBW %u PSM 0x%X, %ux%u at %u,%u) ignored\n",
               what, side, bp, side, bw, psm, w, h, x, y);
        return false;
    }
    t.active = true;
    return true;
}

void GsDevice::StartTransfer() {
    const uint32_t dir = uint32_t(trxdir_.XDIR);
    const uint32_t w = uint32_t(trxreg_.RRW), h = uint32_t(trxreg_.RRH);
    if (dir == kXdirNone) {
        hostToLocal_.active = false;
        localToHost_.active = false;
        return;
    }
    if (dir == kXdirHostToLocal) {
        discardImage_ = true;  // whatever happens, the IMAGE data that follows belongs to this transfer
        OpenTransfer(hostToLocal_, "host-to-local", "D", uint32_t(bitbltbuf_.DBP), uint32_t(bitbltbuf_.DBW),
                     uint32_t(bitbltbuf_.DPSM), uint32_t(trxpos_.DSAX), uint32_t(trxpos_.DSAY), w, h);
        return;
    }
    if (dir == kXdirLocalToHost) {
        if (OpenTransfer(localToHost_, "local-to-host", "S", uint32_t(bitbltbuf_.SBP),
                         uint32_t(bitbltbuf_.SBW), uint32_t(bitbltbuf_.SPSM), uint32_t(trxpos_.SSAX),
                         uint32_t(trxpos_.SSAY), w, h))
            SettleTransfer(localToHost_, false);
        return;
    }
    Flush();
    LocalToLocal();
}

void GsDevice::LocalToLocal() {
    const uint32_t w = uint32_t(trxreg_.RRW), h = uint32_t(trxreg_.RRH);
    if (w == 0 || h == 0) return;
    const uint32_t spsm = uint32_t(bitbltbuf_.SPSM), dpsm = uint32_t(bitbltbuf_.DPSM);
    uint32_t sstride = 0, dstride = 0;
    const bool ok = PsmBytes(spsm) == PsmBytes(dpsm) &&
                    RectInside(uint32_t(bitbltbuf_.SBP), uint32_t(bitbltbuf_.SBW), spsm,
                               uint32_t(trxpos_.SSAX), uint32_t(trxpos_.SSAY), w, h, &sstride) &&
                    RectInside(uint32_t(bitbltbuf_.DBP), uint32_t(bitbltbuf_.DBW), dpsm,
                               uint32_t(trxpos_.DSAX), uint32_t(trxpos_.DSAY), w, h, &dstride);
    if (!ok) {
        GsLogf("GS: local-to-local transfer outside local memory or between formats 0x%X/0x%X ignored\n",
               spsm, dpsm);
        return;
    }
    textures_.WrittenAnywhere();
    // Rows packed back to back when a width is 0, as for the other directions.
    const uint32_t sbp = uint32_t(bitbltbuf_.SBP), dbp = uint32_t(bitbltbuf_.DBP);
    const uint32_t sbw = sstride / 64u, dbw = dstride / 64u;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t sx = uint32_t(trxpos_.SSAX) + x, sy = uint32_t(trxpos_.SSAY) + y;
            const uint32_t dx = uint32_t(trxpos_.DSAX) + x, dy = uint32_t(trxpos_.DSAY) + y;
            uint32_t v;
            if (sstride % 64 == 0) {
                v = mem_.ReadPixel(sbp, sbw, spsm, sx, sy);
            } else {
                v = mem_.ReadPixel(sbp, 0, spsm, sy * sstride + sx, 0);
            }
            if (dstride % 64 == 0) {
                mem_.WritePixel(dbp, dbw, dpsm, dx, dy, v);
            } else {
                mem_.WritePixel(dbp, 0, dpsm, dy * dstride + dx, 0, v);
            }
        }
    }
}

void GsDevice::PutPixelFromStream(const uint8_t* src) {
    Transfer& t = hostToLocal_;
    const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
    const int bytes = PsmBytes(t.psm);
    const uint32_t a = t.base + index * uint32_t(bytes);
    switch (t.psm) {
        case kPsmCt32:
        case kPsmZ32:
            mem_.Write32(a, uint32_t(src[0]) | (src[1] << 8) | (src[2] << 16) | (uint32_t(src[3]) << 24));
            break;
        case kPsmCt24:
        case kPsmZ24:
            mem_.Write32(a, (mem_.Read32(a) & 0xFF000000u) | src[0] | (src[1] << 8) | (src[2] << 16));
            break;
        default:
            mem_.Write16(a, uint16_t(src[0] | (src[1] << 8)));
            break;
    }
}

void GsDevice::PutRows(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* src) {
    // Texels sent again as memory holds them need no copying (on one thread: with threads the copy is
    // queued behind the primitives anyway).
    if (textures_.Uploaded(dst, rowBytes, pitch, rows, src) && !bands_) return;
    if (bands_) {
        bands_->Write(dst, rowBytes, pitch, rows, src);
        return;
    }
    for (uint32_t r = 0; r < rows; ++r)
        std::memcpy(mem_.Data() + ((dst + r * pitch) & LocalMemory::kMask), src + size_t(r) * rowBytes,
                    rowBytes);
}

void GsDevice::WriteImage(const uint8_t* data, size_t bytes) {
    Transfer& t = hostToLocal_;
    if (!t.active) {
        if (!discardImage_)
            GsLogf("GIF: %zu bytes of IMAGE data with no host-to-local transfer ignored\n", bytes);
        return;
    }
    // Pixels written one at a time (4-bit ones, 24-bit ones, one split between packets) go straight into
    // memory once the queued primitives touching the rectangle are drawn; whole pixels as the stream holds
    // them are copied in rows, queued behind those primitives instead.
    bool settled = false;
    auto settle = [&]() {
        if (settled) return;
        settled = true;
        SettleTransfer(t, true);
        // Palette textures expanded from the rectangle's bytes are out of date.
        const int pb = PsmBytes(t.psm);
        const uint64_t first = uint64_t(t.y0) * t.stride + t.x0,
                       end = uint64_t(t.y0 + t.h - 1) * t.stride + t.x0 + t.w;
        const uint64_t a = pb ? first * uint64_t(pb) : first / 2, b = pb ? end * uint64_t(pb) : (end + 1) / 2;
        textures_.Written(uint32_t(t.base + a), b - a);
    };
    const int sb = StreamBytes(t.psm);
    size_t i = 0;
    while (i < bytes && t.active) {
        if (t.psm == kPsmT4) {
            settle();
            // Two pixels a byte, the first in the low nibble.
            const uint8_t b = data[i++];
            for (int half = 0; half < 2 && t.active; ++half) {
                const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
                const uint32_t a = t.base + (index >> 1);
                const uint8_t nib = half ? uint8_t(b >> 4) : uint8_t(b & 0xF);
                const uint8_t old = mem_.Read8(a);
                mem_.Write8(a,
                            (index & 1) ? uint8_t((old & 0x0F) | (nib << 4)) : uint8_t((old & 0xF0) | nib));
                if (++t.x == t.w) {
                    t.x = 0;
                    if (++t.y == t.h) t.active = false;
                }
            }
            continue;
        }
        if (t.carryBytes == 0 && (sb == 4 || sb == 2 || sb == 1) && bytes - i >= size_t(sb)) {
            // Whole pixels in a row: the stream and memory hold them alike. Whole rows at once when the
            // data starts a row.
            const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
            const uint32_t dst = t.base + index * uint32_t(sb), rowBytes = t.w * uint32_t(sb);
            const size_t rows = t.x == 0 ? std::min<size_t>((bytes - i) / rowBytes, t.h - t.y) : 0;
            if (rows > 1) {
                PutRows(dst, rowBytes, t.stride * uint32_t(sb), uint32_t(rows), data + i);
                i += rows * rowBytes;
                t.y += uint32_t(rows) - 1;
                t.x = t.w;
            } else {
                const uint32_t pixels = uint32_t(std::min<size_t>((bytes - i) / size_t(sb), t.w - t.x));
                PutRows(dst, pixels * uint32_t(sb), 0, 1, data + i);
                i += size_t(pixels) * size_t(sb);
                t.x += pixels;
            }
        } else {
            settle();
            t.carry[t.carryBytes++] = data[i++];
            if (t.carryBytes < uint32_t(sb)) continue;
            t.carryBytes = 0;
            PutPixelFromStream(t.carry);
            ++t.x;
        }
        if (t.x == t.w) {
            t.x = 0;
            if (++t.y == t.h) t.active = false;
        }
    }
}

size_t GsDevice::ReadImage(uint8_t* dst, size_t bytes) {
    Transfer& t = localToHost_;
    SettleTransfer(t, false);
    size_t out = 0;
    const int sb = StreamBytes(t.psm);
    while (t.active && out < bytes) {
        const uint32_t index = (t.y0 + t.y) * t.stride + t.x0 + t.x;
        if (t.psm == kPsmT4) {
            // Pairs of pixels per byte; an odd last pixel fills the low nibble.
            const uint32_t lo = mem_.Read8(t.base + (index >> 1)) >> ((index & 1) * 4) & 0xF;
            uint32_t hi = 0;
            ++t.x;
            if (t.x == t.w) {
                t.x = 0;
                if (++t.y == t.h) t.active = false;
            }
            if (t.active) {
                const uint32_t i2 = (t.y0 + t.y) * t.stride + t.x0 + t.x;
                hi = mem_.Read8(t.base + (i2 >> 1)) >> ((i2 & 1) * 4) & 0xF;
                if (++t.x == t.w) {
                    t.x = 0;
                    if (++t.y == t.h) t.active = false;
                }
            }
            dst[out++] = uint8_t(lo | (hi << 4));
            continue;
        }
        if (bytes - out < size_t(sb)) break;
        const uint32_t a = t.base + index * uint32_t(PsmBytes(t.psm));
        const uint32_t v = sb == 1 ? mem_.Read8(a) : (sb == 2 ? mem_.Read16(a) : mem_.Read32(a));
        for (int k = 0; k < sb; ++k) dst[out++] = uint8_t(v >> (8 * k));
        if (++t.x == t.w) {
            t.x = 0;
            if (++t.y == t.h) t.active = false;
        }
    }
    return out;
}

}  // namespace console::gs
