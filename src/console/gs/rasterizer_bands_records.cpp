// What the queued primitives touch, as the rasteriser threads keep it (see rasterizer_bands.h): the
// blocks written through each buffer layout, and the records of texture reads by byte range. Let go of
// as the slots are drawn, and all at once when the queue drains.
#include "console/gs/rasterizer_bands.h"

#include <algorithm>
#include <cstring>

#include "console/gs/rasterizer_bands_internal.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;
using namespace bands;

bool RasterBands::Layout::Any(uint32_t b0, uint32_t b1) const {
    return b1 >= lo && b0 <= hi && AnyBits(bits, b0, b1);
}

void RasterBands::Layout::Mark(uint32_t b0, uint32_t b1) {
    lo = std::min(lo, b0);
    hi = std::max(hi, b1);
    SetBits(bits, b0, b1);
}

int RasterBands::RegionFor(const Range& tex) {
    uint32_t h = ((tex.start * 0x9E3779B1u) ^ (tex.bytes * 0x85EBCA6Bu)) >> 20;
    for (int probe = 0; probe < 64; ++probe, h = (h + 1) % kRegionHash) {
        const int k = regionHash_[h];
        if (k >= 0) {
            Region& g = regions_[k];
            if (g.tex.start != tex.start || g.tex.bytes != tex.bytes) continue;
            if (!g.live) {
                std::memset(g.pos, 0, sizeof(g.pos));
                LinkRegion(k);
            }
            return k;
        }
        if (regionCount_ == kRegions) return -1;
        const int n = regionCount_++;
        regionHash_[h] = n;
        Region& g = regions_[n];
        g.tex = tex;
        std::memset(g.pos, 0, sizeof(g.pos));
        const int b0 = int(tex.start >> kBucketShift),
                  b1 = int((uint64_t(tex.start) + tex.bytes - 1) >> kBucketShift);
        g.bucket[0] = g.bucket[1] = -1;
        if (b1 - b0 > 1) {
            g.bucket[0] = kWide;
        } else {
            g.bucket[0] = b0;
            if (b1 != b0) g.bucket[1] = b1 % kBuckets;
        }
        LinkRegion(n);
        return n;
    }
    return -1;
}

void RasterBands::LinkRegion(int k) {
    Region& g = regions_[k];
    g.live = true;
    ++claimGen_;
    for (int j = 0; j < 2; ++j) {
        g.next[j] = g.prev[j] = -1;
        if (g.bucket[j] < 0) continue;
        const int head = bucketHead_[g.bucket[j]];
        g.next[j] = head;
        if (head >= 0) {
            Region& h = regions_[head];
            h.prev[h.bucket[0] == g.bucket[j] ? 0 : 1] = k;
        }
        bucketHead_[g.bucket[j]] = k;
    }
    ForBlocks(g.tex.start, g.tex.bytes, kBlocks,
              [&](uint32_t a, uint32_t b) { return SetBits(regionBits_, a, b); });
}

void RasterBands::RetireRegion(int k) {
    Region& g = regions_[k];
    g.live = false;
    ++claimGen_;
    if (k == lastRegion_) ForgetTexture();
    for (int j = 0; j < 2; ++j) {
        const int b = g.bucket[j];
        if (b < 0) continue;
        if (g.prev[j] >= 0) {
            Region& p = regions_[g.prev[j]];
            p.next[p.bucket[0] == b ? 0 : 1] = g.next[j];
        } else {
            bucketHead_[b] = g.next[j];
        }
        if (g.next[j] >= 0) {
            Region& n = regions_[g.next[j]];
            n.prev[n.bucket[0] == b ? 0 : 1] = g.prev[j];
        }
    }
    // Blocks of 64 KiB with no record over them any more are let go (none, while a wide one lives).
    if (bucketHead_[kWide] >= 0) return;
    auto trim = [&](int b) {
        if (bucketHead_[b] < 0)
            std::memset(regionBits_ + b * (kWords / kBuckets), 0, sizeof(uint64_t) * (kWords / kBuckets));
    };
    if (g.bucket[0] == kWide) {
        for (int b = 0; b < kBuckets; ++b) trim(b);
        return;
    }
    for (int j = 0; j < 2; ++j)
        if (g.bucket[j] >= 0) trim(g.bucket[j]);
}

void RasterBands::ForgetTexture() {
    ++claimGen_;
    lastTex_ = Range{0, 0};
    lastTexNeeds_ = false;
    lastRegion_ = -1;
}

int RasterBands::AddLayout(uint32_t base, uint32_t width, uint32_t bpp) {
    const int k = layoutCount_++;
    Layout& l = layouts_[k];
    l.base = base;
    l.width = width;
    l.bpp = bpp;
    l.Clear();
    keys_[k] = LayoutKey{base, width, bpp, l.lo, l.hi};
    ++layoutsGen_;
    return k;
}

void RasterBands::ClearLayout(int k) {
    ForgetTexture();  // its blocks may have been marked as written
    layouts_[k].Clear();
    SyncKey(k);
    if (k == copyLayout_) copiesPending_ = copiesPushed_;
}

void RasterBands::PruneLayouts() {
    for (int i = 0; i < kSlots; ++i) drawnTo_[i] = slots_[i].done.load();
    for (int k = layoutCount_ - 1; k >= 0; --k) {
        if (k == copyLayout_) continue;
        if (Behind<kSlots>(layouts_[k].lastPos, drawnTo_) != 0) continue;
        const int last = --layoutCount_;
        if (k != last) {
            layouts_[k] = layouts_[last];
            keys_[k] = keys_[last];
            if (copyLayout_ == last) copyLayout_ = k;
        }
        ForgetTexture();
        ++layoutsGen_;
    }
}

void RasterBands::ClearClaims() {
    floor_ = queued_;  // called with every command drawn
    copiesPending_ = copiesPushed_;
    copyLayout_ = -1;
    ++layoutsGen_;
    ++claimGen_;
    if (!claimed_) return;
    std::memset(reads_, 0, sizeof(reads_));
    std::memset(readPos_, 0, sizeof(readPos_));
    if (regionCount_) {
        regionCount_ = 0;
        std::memset(regionBits_, 0, sizeof(regionBits_));
        std::fill(std::begin(regionHash_), std::end(regionHash_), -1);
        std::fill(std::begin(bucketHead_), std::end(bucketHead_), -1);
    }
    lastRegion_ = -1;
    layoutCount_ = 0;
    lastTex_ = Range{0, 0};
    lastTexNeeds_ = false;
    claimed_ = false;
}

}  // namespace console::gs
