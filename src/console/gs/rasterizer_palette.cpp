#include "console/gs/rasterizer_palette.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "console/gs/gs_registers.h"
#include "console/gs/local_memory.h"
#include "console/gs/rasterizer_bands.h"

namespace console::gs {
namespace {
constexpr size_t kPaletteBytes = 256 * sizeof(uint32_t);
std::atomic<bool> wholeUploads{true};
std::atomic<bool> probes{true};
}  // namespace

bool PaletteTextures::AllowWholeUploads(bool allow) {
    return wholeUploads.exchange(allow);
}

bool PaletteTextures::AllowProbes(bool allow) {
    return probes.exchange(allow);
}

bool PaletteTextures::OverlapWrapping(Range a, Range b) {
    // Each range as at most two pieces that do not wrap.
    struct Piece {
        uint64_t s, e;
    };
    auto pieces = [](Range r, Piece* out) {
        const uint64_t size = LocalMemory::kSize;
        if (r.bytes == 0) return 0;
        if (r.bytes >= size) {
            out[0] = {0, size};
            return 1;
        }
        const uint64_t s = r.start & LocalMemory::kMask, e = s + r.bytes;
        if (e <= size) {
            out[0] = {s, e};
            return 1;
        }
        out[0] = {s, size};
        out[1] = {0, e - size};
        return 2;
    };
    Piece pa[2], pb[2];
    const int na = pieces(a, pa), nb = pieces(b, pb);
    for (int i = 0; i < na; ++i)
        for (int j = 0; j < nb; ++j)
            if (pa[i].s < pb[j].e && pb[j].s < pa[i].e) return true;
    return false;
}

void PaletteTextures::Check(DrawState& st, uint64_t& versions, const uint8_t* mem, RasterBands* bands) {
    // What a primitive with this state may write: the frame's rows inside the scissor, and the depth
    // buffer's when depth is written (four bytes a pixel whatever the format, which only widens them).
    writeCount_ = 0;
    const uint64_t rowBytes = uint64_t(st.fbw) * 64u * 4u;
    auto rows = [&](uint32_t base) {
        const uint64_t first = uint64_t(std::max(st.scy0, 0)) * rowBytes;
        const uint64_t end =
            uint64_t(std::max(st.scy1, 0)) * rowBytes + (uint64_t(std::max(st.scx1, 0)) + 1u) * 4u;
        writes_[writeCount_++] =
            Range{uint32_t((base + first) & LocalMemory::kMask), end > first ? end - first : 0};
    };
    rows(st.fbBase);
    if (st.zte && !st.zmsk) rows(st.zBase);

    const uint32_t* want = Expansion(st, mem, bands);
    if (st.texels32 != want) {
        st.texels32 = want;
        st.version = ++versions;
    }
    checkedVersion_ = st.version;
    checkedGen_ = gen_;
    stateWritesKept_ = WritesReachWatched();
    if (stateWritesKept_) SuspectWrites();
}

PaletteTextures::Range PaletteTextures::WatchedSpan() {
    if (watchedGen_ != gen_) {
        // Expansions never wrap round the end of local memory (see Expansion).
        uint64_t lo = LocalMemory::kSize, hi = 0;
        for (const Entry& e : kept_) {
            if (!Watched(e)) continue;
            lo = std::min<uint64_t>(lo, e.source.start);
            hi = std::max<uint64_t>(hi, e.source.start + e.source.bytes);
        }
        watched_ = hi > lo ? Range{uint32_t(lo), hi - lo} : Range{0, 0};
        watchedGen_ = gen_;
    }
    return watched_;
}

bool PaletteTextures::WritesReachWatched() {
    const Range span = WatchedSpan();
    bool any = false;
    for (int w = 0; w < writeCount_; ++w) any = any || Overlap(span, writes_[w]);
    if (!any) return false;
    for (const Entry& e : kept_)
        for (int w = 0; w < writeCount_; ++w)
            if (Watched(e) && Overlap(e.source, writes_[w])) return true;
    return false;
}

bool PaletteTextures::Unchanged(const Entry& e, const uint8_t* texels) {
    const size_t w = size_t(1) << e.tw, h = size_t(1) << e.th, stride = size_t(e.tbw) * 64u;
    for (size_t v = 0; v < h; ++v)
        if (std::memcmp(e.indices.get() + v * w, texels + v * stride, w) != 0) return false;
    return true;
}

const uint32_t* PaletteTextures::Expansion(const DrawState& st, const uint8_t* mem, RasterBands* bands) {
    if (!st.textured || st.tpsm != kPsmT8 || !st.texFast || !st.clut) return nullptr;
    const uint64_t w = uint64_t(1) << st.tw, h = uint64_t(1) << st.th, stride = uint64_t(st.tbw) * 64u;
    // Texel v * stride + u for every u < w, v < h (what the wrapped coordinates reach).
    const uint64_t count = (h - 1) * stride + w;
    if (count > kMaxTexels || uint64_t(st.tBase) + count > LocalMemory::kSize) return nullptr;
    const Range source{st.tBase, count};
    // A texture the primitive draws into changes under it: read from memory as it is drawn.
    for (int i = 0; i < writeCount_; ++i)
        if (Overlap(source, writes_[i])) return nullptr;
    // The texels as the primitive will find them: with threads, once the queued primitives drawing into
    // them are drawn, and with image data still queued there taken where it waits.
    const uint8_t* texels = mem + st.tBase;
    auto settle = [&]() {
        if (!bands) return;
        if (scratchBytes_ < count) {
            scratch_.reset(static_cast<uint8_t*>(std::malloc(size_t(count))));
            scratchBytes_ = scratch_ ? size_t(count) : 0;
        }
        texels = scratch_ ? bands->Bytes(st.tBase, uint32_t(w), uint32_t(stride), uint32_t(h), scratch_.get(),
                                         RasterBands::Wait::kTexture)
                          : nullptr;
    };
    // Several expansions may have the same texture and palette: texels uploaded into the same place in
    // turn (the riders' pictures, say). The current one if it is known, else a suspect one whose texels
    // are those in memory now.
    // Those known to hold first (any of them will do): a suspect one is checked against memory.
    bool settled = false;
    const uint64_t texture = TextureKey(st.tBase, st.tbw, st.tw, st.th);
    auto same = [&](size_t i) {
        return keys_[i].texture == texture &&
               std::memcmp(kept_[i].palette.get(), st.clut, kPaletteBytes) == 0;
    };
    // One pass: the first that holds is taken at once; the suspect ones with the palette are checked
    // afterwards, in order.
    uint16_t suspects[kMaxKept];
    size_t nSuspects = 0;
    for (size_t i = 0; i < kept_.size(); ++i) {
        if (!same(i)) continue;
        if (!kept_[i].suspect) {
            keys_[i].lastUse = ++clock_;
            return kept_[i].texels.get();
        }
        suspects[nSuspects++] = uint16_t(i);
    }
    for (size_t k = 0; k < nSuspects; ++k) {
        const size_t i = suspects[k];
        Entry& e = kept_[i];
        if (!settled) settle();
        settled = true;
        if (!texels) return nullptr;
        if (!Unchanged(e, texels)) continue;
        e.suspect = false;
        watchedGen_ = 0;
        ++confirmed_;
        keys_[i].lastUse = ++clock_;
        return e.texels.get();
    }
    while (!kept_.empty() && (keptTexels_ + count > kMaxKeptTexels || kept_.size() >= kMaxKept)) {
        size_t oldest = 0;
        for (size_t i = 1; i < kept_.size(); ++i)
            if (keys_[i].lastUse < keys_[oldest].lastUse) oldest = i;
        Retire(oldest, bands);
    }
    if (!settled) settle();
    if (!texels) return nullptr;
    Entry e{st.tBase, st.tbw,        st.tw, st.th,   source, nullptr, nullptr,
            nullptr,  size_t(count), false, nullptr, 0,      0,       0};
    e.rowsSeen.reset(static_cast<uint64_t*>(std::calloc(kRowWords, sizeof(uint64_t))));
    if (!e.rowsSeen) return nullptr;
    e.palette.reset(static_cast<uint32_t*>(std::malloc(kPaletteBytes)));
    if (!e.palette) return nullptr;
    std::memcpy(e.palette.get(), st.clut, kPaletteBytes);
    // Only the texels of the texture's rows are written (what lies between them is never read).
    e.texels.reset(static_cast<uint32_t*>(std::malloc(size_t(count) * sizeof(uint32_t))));
    e.indices.reset(static_cast<uint8_t*>(std::malloc(size_t(w * h))));
    if (!e.texels || !e.indices) return nullptr;
    for (size_t v = 0; v < size_t(h); ++v) {
        const uint8_t* src = texels + v * size_t(stride);
        uint32_t* out = e.texels.get() + v * size_t(stride);
        std::memcpy(e.indices.get() + v * size_t(w), src, size_t(w));
        const uint32_t* palette = e.palette.get();
        for (size_t u = 0; u < size_t(w); ++u) out[u] = palette[src[u]];
    }
    if (w >= 8) {
        e.probeAt = uint32_t((h / 2) * stride + w / 2 - 4);
        std::memcpy(&e.probe, texels + e.probeAt, 8);
    }
    keptTexels_ += size_t(count);
    ++expansions_;
    kept_.push_back(std::move(e));
    keys_.push_back(Key{texture, st.tBase, uint32_t(st.tBase + count), ++clock_});
    Bucket(kept_.size() - 1, true);
    watchedGen_ = 0;
    return kept_.back().texels.get();
}

void PaletteTextures::Bucket(size_t index, bool in) {
    const uint64_t bit = uint64_t(1) << (index % 64);
    for (uint32_t b = keys_[index].start >> kBucketShift, last = (keys_[index].end - 1) >> kBucketShift;
         b <= last; ++b) {
        if (in) {
            buckets_[b][index / 64] |= bit;
        } else {
            buckets_[b][index / 64] &= ~bit;
        }
    }
}

void PaletteTextures::Retire(size_t index, RasterBands* bands) {
    Entry& e = kept_[index];
    keptTexels_ -= e.count;
    if (bands) {
        // Queued primitives may still read it.
        retiredTexels_ += e.count;
        retired_.push_back(std::move(e.texels));
    }
    // Order does not matter: two kept with the same texture and palette that both hold have the same
    // texels.
    Bucket(index, false);
    if (index + 1 != kept_.size()) {
        Bucket(kept_.size() - 1, false);
        kept_[index] = std::move(kept_.back());
        keys_[index] = keys_.back();
        Bucket(index, true);
    }
    kept_.pop_back();
    keys_.pop_back();
    ++gen_;
    if (bands && retiredTexels_ > kMaxKeptTexels) {
        bands->Join(RasterBands::Wait::kRetire);
        Release();
    }
}

void PaletteTextures::SuspectWrites() {
    for (Entry& e : kept_)
        for (int w = 0; w < writeCount_; ++w)
            if (Overlap(e.source, writes_[w])) MakeSuspect(e);
    stateWritesKept_ = false;
    ++gen_;
}

void PaletteTextures::Written(uint32_t start, uint64_t bytes) {
    const Range r{start, bytes};
    if (!Overlap(WatchedSpan(), r)) return;
    for (Entry& e : kept_) {
        if (Watched(e) && Overlap(e.source, r)) {
            MakeSuspect(e);
            ++gen_;
        }
    }
}

void PaletteTextures::WrittenAnywhere() {
    for (Entry& e : kept_) MakeSuspect(e);
    ++gen_;
}

bool PaletteTextures::Uploaded(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                               const uint8_t* data) {
    if (rows == 0 || rowBytes == 0) return false;
    dst &= LocalMemory::kMask;
    const Range all{dst, uint64_t(rows - 1) * pitch + rowBytes};
    // The data's bytes back to back (one row, or rows with no gap), for finding it all inside one texture.
    const bool packed = rows == 1 || pitch == rowBytes;
    bool held = false;
    auto meet = [&](size_t i) {
        Entry& e = kept_[i];
        // Suspect with no row seen rewritten: another texture's texels over it change nothing known.
        const bool knownNothing = e.suspect && e.seen == 0, heldBefore = !e.suspect;
        if (!UploadMatches(e, dst, rowBytes, pitch, rows, data)) {
            MakeSuspect(e);
            if (!knownNothing) ++gen_;
        } else if (heldBefore) {
            // A texture as wide as its buffer has no bytes between its rows: all of the data compared.
            held = held || (packed && uint64_t(e.tbw) * 64u == (uint64_t(1) << e.tw) && dst >= e.tBase &&
                            uint64_t(dst) + all.bytes <= uint64_t(e.tBase) + e.count);
        } else if (e.suspect && e.seen == (uint32_t(1) << e.th)) {
            e.suspect = false;
            ++confirmed_;
            ++gen_;  // the state's writes are checked against it again
        }
    };
    if (dst + all.bytes > LocalMemory::kSize) {
        for (size_t i = 0; i < kept_.size(); ++i)
            if (Overlap(kept_[i].source, all)) meet(i);
        return false;
    }
    // Sources never wrap, nor does the upload: the kept made from bytes in the 64 KiB blocks it reaches,
    // in order, each with one interval test.
    const uint64_t end = dst + all.bytes;
    uint64_t near[kBucketWords] = {};
    for (uint32_t b = dst >> kBucketShift, last = uint32_t((end - 1) >> kBucketShift); b <= last; ++b)
        for (size_t k = 0; k < kBucketWords; ++k) near[k] |= buckets_[b][k];
    for (size_t k = 0; k < kBucketWords; ++k) {
        for (uint64_t bits = near[k]; bits != 0; bits &= bits - 1) {
            const size_t i = k * 64 + size_t(__builtin_ctzll(bits));
            if (keys_[i].start < end && dst < keys_[i].end) meet(i);
        }
    }
    return held;
}

bool PaletteTextures::UploadMatches(Entry& e, uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                                    const uint8_t* data) {
    const uint64_t w = uint64_t(1) << e.tw, h = uint64_t(1) << e.th, stride = uint64_t(e.tbw) * 64u;
    // The probe, when one data row (not wrapping) rewrites all of it: the comparisons below take in its
    // bytes, so a difference there is their outcome.
    if (w >= 8 && (rows == 1 || pitch >= rowBytes) && probes.load(std::memory_order_relaxed) &&
        uint64_t(dst) + uint64_t(rows - 1) * pitch + rowBytes <= LocalMemory::kSize) {
        const uint64_t at = uint64_t(e.tBase) + e.probeAt;
        if (at >= dst) {
            const uint64_t off = at - dst, r = rows == 1 ? 0 : off / pitch,
                           col = rows == 1 ? off : off % pitch;
            if (r < rows && col + 8 <= rowBytes) {
                uint64_t got;
                std::memcpy(&got, data + r * rowBytes + col, 8);
                if (got != e.probe) return false;
            }
        }
    }
    // Texels uploaded in rows that are the texture's rows, back to back in memory as in the upload (a
    // texture as wide as its buffer): one comparison for all of them.
    const uint64_t end = uint64_t(dst) + uint64_t(rows) * rowBytes;
    if (rowBytes == w && pitch == w && stride == w && end <= LocalMemory::kSize &&
        wholeUploads.load(std::memory_order_relaxed) &&
        (dst >= e.tBase ? dst - e.tBase : e.tBase - dst) % w == 0) {
        const uint64_t lo = std::max<uint64_t>(dst, e.tBase), hi = std::min<uint64_t>(end, e.tBase + e.count);
        if (lo >= hi) return true;
        if (std::memcmp(data + (lo - dst), e.indices.get() + (lo - e.tBase), size_t(hi - lo)) != 0)
            return false;
        if (e.suspect) {
            // Every texture row in there was rewritten whole by one data row.
            const uint32_t seenBefore = e.seen;
            for (uint64_t v = (lo - e.tBase) / w, last = (hi - e.tBase) / w; v < last; ++v) {
                const uint64_t bit = uint64_t(1) << (v % 64);
                if (e.rowsSeen[v / 64] & bit) continue;
                e.rowsSeen[v / 64] |= bit;
                ++e.seen;
            }
            if (seenBefore == 0 && e.seen != 0) watchedGen_ = 0;
        }
        return true;
    }
    // Each data row against the texture rows it meets (the source lies inside local memory).
    for (uint32_t r = 0; r < rows; ++r) {
        const uint64_t a = (uint64_t(dst) + uint64_t(r) * pitch) & LocalMemory::kMask, b = a + rowBytes;
        if (b <= e.tBase || a >= e.tBase + e.count) continue;
        if (stride == 0) {
            // A buffer width of 0: every texture row reads the same texels, those of row 0 (its source).
            const uint64_t lo = std::max<uint64_t>(a, e.tBase), hi = std::min<uint64_t>(b, e.tBase + w);
            if (std::memcmp(data + size_t(r) * rowBytes + (lo - a), e.indices.get() + (lo - e.tBase),
                            size_t(hi - lo)) != 0)
                return false;
            // Rewritten whole, it is every row rewritten.
            if (e.suspect && lo == e.tBase && hi == e.tBase + w && e.seen != h) {
                if (e.seen == 0) watchedGen_ = 0;
                for (uint64_t v = 0; v < h; ++v) e.rowsSeen[v / 64] |= uint64_t(1) << (v % 64);
                e.seen = uint32_t(h);
            }
            continue;
        }
        const uint64_t v0 = a > e.tBase ? (a - e.tBase) / stride : 0;
        const uint64_t v1 = std::min(h - 1, (b - 1 - e.tBase) / stride);
        for (uint64_t v = v0; v <= v1; ++v) {
            const uint64_t rs = e.tBase + v * stride, lo = std::max(a, rs), hi = std::min(b, rs + w);
            if (lo >= hi) continue;
            if (std::memcmp(data + size_t(r) * rowBytes + (lo - a), e.indices.get() + v * w + (lo - rs),
                            size_t(hi - lo)) != 0)
                return false;
            if (e.suspect && lo == rs && hi == rs + w && !(e.rowsSeen[v / 64] >> (v % 64) & 1)) {
                e.rowsSeen[v / 64] |= uint64_t(1) << (v % 64);
                if (e.seen++ == 0) watchedGen_ = 0;
            }
        }
    }
    return true;
}

}  // namespace console::gs
