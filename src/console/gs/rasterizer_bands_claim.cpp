// A primitive's claim (see rasterizer_bands.h): the rows it can cover, the bytes it writes and the texels
// it reads, checked against what the queue touches for the list positions it must wait for, then
// recorded. Most primitives repeat the claim of the one before (ClaimQuickly).
#include "console/gs/rasterizer_bands.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "console/gs/rasterizer_bands_internal.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;
using namespace bands;

namespace {

// The largest texel coordinate a wrap mode gives on one axis.
uint32_t MaxTexel(uint32_t mode, uint32_t log2Size, uint32_t mn, uint32_t mx) {
    switch (mode) {
        case 0:
        case 1:
            return (1u << log2Size) - 1u;
        case 2:
            return std::max(mn, mx);
        default:
            return mn | mx;
    }
}

// The texel rows (inclusive) a primitive can read. A sprite's coordinates run linearly between its
// corners', so it reads the rows between its corners' (two to spare each way for filtering and rounding):
// clamped to the texture, or as they are when they lie inside it (repeating changes none of them). Other
// primitives may read any row.
struct TexelRows {
    uint32_t first, last;
};
TexelRows SpriteTexelRows(PrimKind kind, const DrawState& st, const GsVertex* v) {
    const TexelRows all{0, UINT32_MAX};
    if (kind != PrimKind::kSprite || (st.wmt != 0 && st.wmt != 1)) return all;
    double t[2];
    for (int i = 0; i < 2; ++i) {
        if (st.uvTexels) {
            t[i] = v[i].v / 16.0;
        } else {
            t[i] = (v[i].q != 0.0f ? double(v[i].t) / double(v[i].q) : 0.0) * double(1u << st.th);
        }
        if (!(std::fabs(t[i]) < 1e7)) return all;  // NaN too
    }
    const int64_t top = int64_t(1) << st.th;
    int64_t lo = int64_t(std::floor(std::min(t[0], t[1]))) - 2;
    int64_t hi = int64_t(std::floor(std::max(t[0], t[1]))) + 2;
    if (st.wmt == 0 && (lo < 0 || hi >= top)) return all;
    lo = std::clamp<int64_t>(lo, 0, top - 1);
    hi = std::clamp<int64_t>(hi, 0, top - 1);
    return TexelRows{uint32_t(lo), uint32_t(hi)};
}

}  // namespace

void RasterBands::Claimed::Need(const uint64_t* pos, Wait w) {
    if (!needs) {
        std::memcpy(need, pos, sizeof(need));
        needs = true;
        why = w;
        return;
    }
    MaxInto<kSlots>(need, pos);
}

RasterBands::Fit RasterBands::Claim(PrimKind kind, const DrawState& st, uint64_t version, const GsVertex* v,
                                    int count, Claimed* c) {
    const Box box = CoveredBox(st, v, count);
    if (box.xa > box.xb || box.ya > box.yb) return Fit::kEmpty;
    c->first = int(box.ya);
    c->last = int(box.yb);
    if (version != 0 && quick_.version == version && quick_.kind == kind && quick_.gen == claimGen_ &&
        quick_.span >= 0 && ClaimQuickly(st, box.xa, box.xb, box.ya, box.yb, c)) {
        ++stats_.quickClaims;
        return Fit::kFits;
    }
    // Worked out afresh; the state's spans found unfit stay so (they depend on nothing else).
    const bool unfit = quick_.version == version && quick_.span < 0;
    quick_.version = 0;
    c->layout[0] = c->layout[1] = -1;
    c->reads = false;
    c->needs = false;

    Writes w;
    if (!BuffersWritten(st, box, &w)) return Fit::kSelfClash;
    Range tex{0, 0};
    if (st.textured) {
        tex = TexelsRead(kind, st, v);
        if (ReadsOwnWrites(st, w, tex)) return Fit::kSelfClash;
    }

    // Against what the queue touches: reads against every layout's writes, writes against the reads and
    // against the other layouts' writes. A clash makes the primitive wait, in the workers, for the list
    // positions of what it clashes with.
    const bool writesRead = ClaimWrites(w, c);
    // Its writes met what the queue holds: the next primitive's likely do too, and are worked out afresh.
    const bool writesMet = c->needs || writesRead;
    if (layoutCount_ + NewLayouts(w, *c) > kLayouts) {
        clashWhy_ = Wait::kLayouts;
        return Fit::kQueueClash;
    }
    // A write into what textures read: the texture last read is checked afresh next time.
    if (writesRead) ForgetTexture();
    const bool plainRead = ClaimTexels(tex, c);

    // It fits: record what it touches.
    int mark[2];
    RecordWrites(w, c, mark);
    if (plainRead)
        ForBlocks(tex.start, tex.bytes, kBlocks,
                  [&](uint32_t b0, uint32_t b1) { return SetBits(reads_, b0, b1); });
    c->reads = tex.bytes != 0 && c->region < 0;
    claimed_ = true;
    // Kept for the next primitive (a sprite's texels depend on its corners: not kept).
    if (version != 0 && kind != PrimKind::kSprite && quickClaims_ && !writesMet)
        KeepClaim(kind, version, w, mark, *c, tex, unfit);
    return Fit::kFits;
}

RasterBands::Box RasterBands::CoveredBox(const DrawState& st, const GsVertex* v, int count) {
    // Its vertices' box with a pixel to spare, inside the scissor.
    int32_t minX = v[0].x, maxX = v[0].x, minY = v[0].y, maxY = v[0].y;
    for (int i = 1; i < count; ++i) {
        minX = std::min(minX, v[i].x);
        maxX = std::max(maxX, v[i].x);
        minY = std::min(minY, v[i].y);
        maxY = std::max(maxY, v[i].y);
    }
    // (An arithmetic shift rounds down: the pixel under a 12.4 coordinate, negative ones too.)
    return Box{std::max<int64_t>(int64_t(minX >> 4) - 1, st.scx0),
               std::min<int64_t>(int64_t(maxX >> 4) + 1, st.scx1),
               std::max<int64_t>(int64_t(minY >> 4) - 1, st.scy0),
               std::min<int64_t>(int64_t(maxY >> 4) + 1, st.scy1)};
}

bool RasterBands::BuffersWritten(const DrawState& st, const Box& box, Writes* w) {
    // A row's last group of four may rewrite up to three pixels past its end (inside the row).
    auto add = [&](uint32_t base, uint32_t bpp) {
        const uint64_t width = uint64_t(st.fbw) * 64u;
        if (width == 0 || uint64_t(box.xb) >= width) return false;  // rows would share bytes
        if (uint64_t(box.yb - box.ya + 1) * width * bpp > LocalMemory::kSize) return false;
        const uint64_t xe = std::min<uint64_t>(uint64_t(box.xb) + 3u, width - 1);
        const uint64_t first = (uint64_t(box.ya) * width + uint64_t(box.xa)) * bpp,
                       end = (uint64_t(box.yb) * width + xe + 1) * bpp;
        w->use[w->count++] =
            BufferWrite{base, st.fbw, bpp, Range{uint32_t((base + first) & kMask), uint32_t(end - first)}};
        return true;
    };
    if (!add(st.fbBase, st.fpsm == kPsmCt32 || st.fpsm == kPsmCt24 ? 4u : 2u)) return false;
    if (st.zte && !add(st.zBase, st.zpsm == kPsmZ16 || st.zpsm == kPsmZ16S ? 2u : 4u)) return false;
    const BufferWrite& a = w->use[0];
    const BufferWrite& b = w->use[1];
    return !(w->count == 2 && !a.SameLayout(b.base, b.width, b.bpp) &&
             Overlap(a.r.start, a.r.bytes, b.r.start, b.r.bytes));
}

RasterBands::Range RasterBands::TexelsRead(PrimKind kind, const DrawState& st, const GsVertex* v) {
    TexelRows rowsRead = SpriteTexelRows(kind, st, v);
    const uint32_t umax = MaxTexel(st.wms, st.tw, st.minu, st.maxu);
    const uint32_t vmax = std::min(MaxTexel(st.wmt, st.th, st.minv, st.maxv), rowsRead.last);
    const uint64_t firstTexel = uint64_t(std::min(rowsRead.first, vmax)) * st.tbw * 64u;
    const uint64_t last = uint64_t(vmax) * st.tbw * 64u + umax;
    auto byteOf = [&](uint64_t texel) -> uint64_t {
        switch (st.tpsm) {
            case kPsmT8:
                return texel;
            case kPsmT4:
                return texel / 2;
            case kPsmCt16:
            case kPsmCt16S:
                return texel * 2;
            default:
                return texel * 4;
        }
    };
    const uint64_t from = byteOf(firstTexel),
                   bytes = byteOf(last) + (st.tpsm == kPsmT4 ? 1 : byteOf(1)) - from;
    return Range{(st.tBase + uint32_t(from)) & kMask,
                 uint32_t(std::min<uint64_t>(bytes + 64, LocalMemory::kSize))};
}

bool RasterBands::ReadsOwnWrites(const DrawState& st, const Writes& w, const Range& tex) {
    // A depth buffer that is only read (masked) may share bytes with the texture: both are reads.
    for (int i = 0; i < w.count; ++i)
        if (!(i == 1 && st.zmsk) && Overlap(tex.start, tex.bytes, w.use[i].r.start, w.use[i].r.bytes))
            return true;
    return false;
}

bool RasterBands::ClaimWrites(const Writes& w, Claimed* c) {
    bool writesRead = false;
    for (int i = 0; i < w.count; ++i) {
        c->layout[i] = WriteAgainstLayouts(i, w.use[i], c);
        writesRead |= WriteAgainstReads(w.use[i], c);
    }
    return writesRead;
}

int RasterBands::WriteAgainstLayouts(int i, const BufferWrite& u, Claimed* c) {
    const uint32_t ub0 = u.r.start / LocalMemory::kBlockBytes,
                   ub1 = (u.r.start + u.r.bytes - 1) / LocalMemory::kBlockBytes;
    // Known to lie in its own layout and outside every other's lo..hi since the layouts last changed.
    KnownWrite& kw = known_[i];
    if (kw.gen == layoutsGen_ && kw.layout >= 0 && kw.base == u.base && kw.width == u.width &&
        kw.bpp == u.bpp && ub0 >= kw.lo && ub1 <= kw.hi)
        return kw.layout;
    kw = KnownWrite{layoutsGen_, u.base, u.width, u.bpp, -1, 0, kBlocks - 1};
    if (ub1 >= kBlocks) kw.hi = 0;  // wrapping: not kept
    for (int k = 0; k < layoutCount_; ++k) {
        const LayoutKey& key = keys_[k];
        if (u.SameLayout(key.base, key.width, key.bpp)) {
            kw.layout = k;
            continue;
        }
        // (A range wrapping past the end is looked at in full.)
        if (key.lo <= key.hi) {
            if (ub1 < key.lo) kw.hi = std::min(kw.hi, key.lo - 1);
            if (ub0 > key.hi) kw.lo = std::max(kw.lo, key.hi + 1);
        }
        if (ub1 < kBlocks && (ub1 < key.lo || ub0 > key.hi)) continue;
        kw.hi = 0;  // it meets another layout: looked at in full next time
        const Layout& l = layouts_[k];
        if (!ForBlocks(u.r.start, u.r.bytes, kBlocks,
                       [&](uint32_t b0, uint32_t b1) { return l.Any(b0, b1); }))
            continue;
        if (k == copyLayout_) {
            uint64_t pos[kSlots];
            if (CopiesOver(u.r, pos)) c->Need(pos, Wait::kWriteAfterRead);
        } else if (Drawn(l.lastPos)) {
            ClearLayout(k);
        } else {
            c->Need(l.lastPos, Wait::kWriteAfterRead);
        }
    }
    return kw.layout;
}

bool RasterBands::WriteAgainstReads(const BufferWrite& u, Claimed* c) {
    bool writesRead = false;
    if (ForBlocks(u.r.start, u.r.bytes, kBlocks,
                  [&](uint32_t b0, uint32_t b1) { return AnyBits(reads_, b0, b1); })) {
        if (Drawn(readPos_)) {
            // Every queued plain read is drawn: none left to clash with.
            std::memset(reads_, 0, sizeof(reads_));
            ForgetTexture();
        } else {
            c->Need(readPos_, Wait::kWriteAfterRead);
            writesRead = true;
        }
    }
    ForRegionsOver(u.r, [&](int k) {
        Region& g = regions_[k];
        if (Drawn(g.pos)) {
            RetireRegion(k);  // read by everything that reads it: forgotten
        } else {
            c->Need(g.pos, Wait::kWriteAfterRead);
            writesRead = true;
        }
    });
    return writesRead;
}

int RasterBands::NewLayouts(const Writes& w, const Claimed& c) const {
    // (The depth buffer may share the frame's layout, new too: one between them.)
    int n = 0;
    for (int i = 0; i < w.count; ++i)
        if (c.layout[i] < 0 &&
            !(i == 1 && c.layout[0] < 0 && w.use[0].SameLayout(w.use[1].base, w.use[1].width, w.use[1].bpp)))
            ++n;
    return n;
}

bool RasterBands::ClaimTexels(const Range& tex, Claimed* c) {
    // The same texture as the last primitive's, claimed since the queue last drained: no write has
    // reached it since (writes are checked against the reads), its blocks are marked already, and it
    // waits for what that one waited for.
    const bool texKnown = tex.bytes && claimed_ && tex.start == lastTex_.start && tex.bytes == lastTex_.bytes;
    if (texKnown && lastTexNeeds_) c->Need(lastTexNeed_, Wait::kReadAfterWrite);
    c->region = texKnown ? lastRegion_ : -1;
    if (!tex.bytes || texKnown) return false;
    uint64_t texNeed[kSlots];
    const bool texNeeds = WritesUnder(tex, texNeed);
    if (texNeeds) c->Need(texNeed, Wait::kReadAfterWrite);
    lastTex_ = tex;
    lastTexNeeds_ = texNeeds;
    if (texNeeds) std::memcpy(lastTexNeed_, texNeed, sizeof(texNeed));
    // Its reads kept with the others of the same range.
    c->region = RegionFor(tex);
    lastRegion_ = c->region;
    return c->region < 0;
}

bool RasterBands::WritesUnder(const Range& tex, uint64_t* need) {
    bool needs = false;
    const uint32_t tb0 = tex.start / LocalMemory::kBlockBytes,
                   tb1 = (tex.start + tex.bytes - 1) / LocalMemory::kBlockBytes;
    for (int k = 0; k < layoutCount_; ++k) {
        if (tb1 < kBlocks && (tb1 < keys_[k].lo || tb0 > keys_[k].hi)) continue;
        const Layout& l = layouts_[k];
        if (!ForBlocks(tex.start, tex.bytes, kBlocks,
                       [&](uint32_t b0, uint32_t b1) { return l.Any(b0, b1); }))
            continue;
        uint64_t copyPos[kSlots];
        const uint64_t* pos = l.lastPos;
        if (k == copyLayout_) {
            // Only the queued image data it reads.
            if (!CopiesOver(tex, copyPos)) continue;
            pos = copyPos;
        } else if (Drawn(l.lastPos)) {
            continue;
        }
        if (needs) {
            MaxInto<kSlots>(need, pos);
        } else {
            std::memcpy(need, pos, sizeof(uint64_t) * kSlots);
        }
        needs = true;
    }
    return needs;
}

void RasterBands::RecordWrites(const Writes& w, Claimed* c, int* mark) {
    for (int i = 0; i < w.count; ++i) {
        const BufferWrite& u = w.use[i];
        if (c->layout[i] < 0) {
            // A layout new to the queue (the depth buffer may share the frame's, just added).
            for (int k = 0; k < layoutCount_; ++k)
                if (u.SameLayout(keys_[k].base, keys_[k].width, keys_[k].bpp)) c->layout[i] = k;
            if (c->layout[i] < 0) c->layout[i] = AddLayout(u.base, u.width, u.bpp);
        }
        Layout& l = layouts_[c->layout[i]];
        ForBlocks(u.r.start, u.r.bytes, kBlocks, [&](uint32_t b0, uint32_t b1) {
            l.Mark(b0, b1);
            return false;
        });
        SyncKey(c->layout[i]);
    }
    mark[0] = c->layout[0];
    mark[1] = c->layout[1];
    if (w.count == 2 && c->layout[1] == c->layout[0]) c->layout[1] = -1;
}

void RasterBands::KeepClaim(PrimKind kind, uint64_t version, const Writes& w, const int* mark,
                            const Claimed& c, const Range& tex, bool unfit) {
    QuickClaim& q = quick_;
    q.version = version;
    q.gen = claimGen_;
    q.kind = kind;
    q.uses = w.count;
    for (int i = 0; i < w.count; ++i) {
        q.base[i] = w.use[i].base;
        q.bpp[i] = w.use[i].bpp;
        q.mark[i] = mark[i];
        q.layout[i] = c.layout[i];
    }
    if (w.count == 1) q.layout[1] = -1;
    q.tex = tex;
    q.span = unfit ? -1 : 0;
    q.lo[0] = q.lo[1] = 1;
    q.hi[0] = q.hi[1] = 0;
    q.markedLo[0] = q.markedLo[1] = 1;
    q.markedHi[0] = q.markedHi[1] = 0;
    for (int i = 0; i < w.count; ++i) {
        const uint32_t b0 = w.use[i].r.start / LocalMemory::kBlockBytes,
                       b1 = (w.use[i].r.start + w.use[i].r.bytes - 1) / LocalMemory::kBlockBytes;
        if (b1 < kBlocks) {  // (not when wrapping: two runs)
            q.markedLo[i] = b0;
            q.markedHi[i] = b1;
        }
    }
}

bool RasterBands::QuickSpans(const DrawState& st, const uint32_t* b0, const uint32_t* b1) {
    QuickClaim& q = quick_;
    for (int i = 0; i < q.uses; ++i) {
        // Blocks within eight words either side looked at: wide enough for the next few primitives.
        constexpr uint32_t kReach = 8;
        const uint32_t w0 = b0[i] / 64 >= kReach ? b0[i] / 64 - kReach : 0,
                       w1 = std::min(b1[i] / 64 + kReach, kWords - 1);
        uint64_t all[kWords];
        for (uint32_t w = w0; w <= w1; ++w) all[w] = reads_[w];
        // The texture reads queued there, by their own ranges (their blocks' bits are let go late).
        const uint32_t a0 = w0 * 64, a1 = w1 * 64 + 63;
        ForRegionsOver(Range{a0 * LocalMemory::kBlockBytes, (a1 - a0 + 1) * LocalMemory::kBlockBytes},
                       [&](int k) {
                           const Range& t = regions_[k].tex;
                           ForBlocks(t.start, t.bytes, kBlocks, [&](uint32_t r0, uint32_t r1) {
                               r0 = std::max(r0, a0);
                               r1 = std::min(r1, a1);
                               if (r0 <= r1) SetBits(all, r0, r1);
                               return false;
                           });
                       });
        for (int k = 0; k < layoutCount_; ++k) {
            if (k == q.mark[i] || keys_[k].lo > keys_[k].hi || keys_[k].hi / 64 < w0 || keys_[k].lo / 64 > w1)
                continue;
            const uint64_t* bits = layouts_[k].bits;
            for (uint32_t w = w0; w <= w1; ++w) all[w] |= bits[w];
        }
        if (AnyBits(all, b0[i], b1[i])) return false;
        // The clear span around them.
        uint32_t lo = w0 * 64, hi = w1 * 64 + 63;
        for (uint32_t w = b0[i] / 64 + 1; w-- > w0;) {
            const uint64_t m = all[w] & (w == b0[i] / 64 ? (uint64_t(1) << (b0[i] % 64)) - 1 : ~0ull);
            if (m) {
                lo = w * 64 + 64 - uint32_t(__builtin_clzll(m));
                break;
            }
        }
        for (uint32_t w = b1[i] / 64; w <= w1; ++w) {
            const uint64_t m = all[w] & (w == b1[i] / 64 ? (~0ull << (b1[i] % 64)) << 1 : ~0ull);
            if (m) {
                hi = w * 64 + uint32_t(__builtin_ctzll(m)) - 1;
                break;
            }
        }
        q.lo[i] = lo;
        q.hi[i] = hi;
    }
    return true;
}

bool RasterBands::ClaimQuickly(const DrawState& st, int64_t xa, int64_t xb, int64_t ya, int64_t yb,
                               Claimed* c) {
    QuickClaim& q = quick_;
    const uint64_t w = uint64_t(st.fbw) * 64u;
    if (q.span == 0) {
        q.span = -1;
        if (!ScissorApart(st)) return false;
        q.span = 1;
    }
    uint32_t b0[2], b1[2];
    bool inside = true;
    const uint64_t xe = std::min<uint64_t>(uint64_t(xb) + 3u, w - 1);
    for (int i = 0; i < q.uses; ++i) {
        const uint64_t first = q.base[i] + (uint64_t(ya) * w + uint64_t(xa)) * q.bpp[i],
                       end = q.base[i] + (uint64_t(yb) * w + xe + 1) * q.bpp[i];
        b0[i] = uint32_t(first / LocalMemory::kBlockBytes);
        b1[i] = uint32_t((end - 1) / LocalMemory::kBlockBytes);
        inside &= b0[i] >= q.lo[i] && b1[i] <= q.hi[i];
    }
    if (!inside && !QuickSpans(st, b0, b1)) return false;

    c->layout[0] = q.layout[0];
    c->layout[1] = q.layout[1];
    c->needs = false;
    if (q.tex.bytes == 0) {
        c->region = -1;
        c->reads = false;
    } else {
        // The same texture as the last primitive's (see Claim).
        c->region = lastRegion_;
        c->reads = c->region < 0;
        if (lastTexNeeds_) {
            // As far as the caller last looked (DepFor looks again).
            if (Behind<kSlots>(lastTexNeed_, drawnTo_) == 0) {
                lastTexNeeds_ = false;  // drawn for good
            } else {
                std::memcpy(c->need, lastTexNeed_, sizeof(c->need));
                c->needs = true;
                c->why = Wait::kReadAfterWrite;
            }
        }
    }
    MarkQuickly(b0, b1);
    return true;
}

bool RasterBands::ScissorApart(const DrawState& st) const {
    // Whatever a primitive drawn with the state covers lies inside the scissor: when the scissor's rows
    // of each buffer do not wrap, lie apart from the other buffer's and from the texels, no primitive
    // drawn with it clashes with itself, and its writes through one layout never reach the other's
    // blocks.
    const QuickClaim& q = quick_;
    const uint64_t w = uint64_t(st.fbw) * 64u;
    if (w == 0 || st.scx0 < 0 || st.scy0 < 0 || st.scx0 > st.scx1 || st.scy0 > st.scy1 ||
        uint64_t(st.scx1) >= w)
        return false;
    uint32_t s0[2], s1[2];
    for (int i = 0; i < q.uses; ++i) {
        if (uint64_t(st.scy1 - st.scy0 + 1) * w * q.bpp[i] > LocalMemory::kSize) return false;
        const uint64_t first = q.base[i] + (uint64_t(st.scy0) * w + uint64_t(st.scx0)) * q.bpp[i],
                       end = q.base[i] +
                             (uint64_t(st.scy1) * w + std::min<uint64_t>(uint64_t(st.scx1) + 3u, w - 1) + 1) *
                                 q.bpp[i];
        if (end > LocalMemory::kSize) return false;
        if (q.tex.bytes && !(i == 1 && st.zmsk) &&
            Overlap(q.tex.start, q.tex.bytes, uint32_t(first), uint32_t(end - first)))
            return false;
        s0[i] = uint32_t(first / LocalMemory::kBlockBytes);
        s1[i] = uint32_t((end - 1) / LocalMemory::kBlockBytes);
    }
    if (q.uses == 2 && q.mark[0] != q.mark[1] && s0[0] <= s1[1] && s0[1] <= s1[0]) return false;
    // The texture as the last claim left it (it is the last one read).
    return !(q.tex.bytes && (q.tex.start != lastTex_.start || q.tex.bytes != lastTex_.bytes));
}

void RasterBands::MarkQuickly(const uint32_t* b0, const uint32_t* b1) {
    QuickClaim& q = quick_;
    for (int i = 0; i < q.uses; ++i) {
        if (b0[i] >= q.markedLo[i] && b1[i] <= q.markedHi[i]) continue;  // marked already
        Layout& l = layouts_[q.mark[i]];
        SetBits(l.bits, b0[i], b1[i]);
        if (b0[i] < l.lo || b1[i] > l.hi) {
            l.lo = std::min(l.lo, b0[i]);
            l.hi = std::max(l.hi, b1[i]);
            SyncKey(q.mark[i]);
        }
        // One run of blocks known marked: joined with this one when they meet, else this one.
        if (q.markedLo[i] <= q.markedHi[i] && b0[i] <= q.markedHi[i] + 1 && b1[i] + 1 >= q.markedLo[i]) {
            q.markedLo[i] = std::min(q.markedLo[i], b0[i]);
            q.markedHi[i] = std::max(q.markedHi[i], b1[i]);
        } else {
            q.markedLo[i] = b0[i];
            q.markedHi[i] = b1[i];
        }
    }
}

}  // namespace console::gs
