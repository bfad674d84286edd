// Local memory touched from outside the rasteriser threads (see rasterizer_bands.h): image data sent in,
// queued behind the primitives still drawing or reading there; reads back that wait only for the queued
// primitives drawing over the bytes read, and take what queued image data will land there.
#include "console/gs/rasterizer_bands.h"

#include <algorithm>
#include <cstring>

#include "console/gs/rasterizer_bands_internal.h"
#include "console/gs/rasterizer_internal.h"

namespace console::gs {

using namespace raster;
using namespace bands;

void RasterBands::DoCopy(const Copy& c, const uint8_t* from) {
    uint8_t* m = mem_.Data();
    for (uint32_t r = 0; r < c.rows; ++r)
        std::memcpy(m + ((c.dst + r * c.pitch) & kMask), from + r * size_t(c.rowBytes), c.rowBytes);
}

bool RasterBands::NeedsFor(uint32_t start, uint32_t bytes, bool write, bool primitives, uint64_t* need) {
    bool needs = false;
    auto add = [&](const uint64_t* pos) {
        if (needs) {
            MaxInto<kSlots>(need, pos);
        } else {
            std::memcpy(need, pos, sizeof(uint64_t) * kSlots);
        }
        needs = true;
    };
    auto clashes = [&](const uint64_t* bits) {
        return ForBlocks(start, bytes, kBlocks,
                         [&](uint32_t b0, uint32_t b1) { return AnyBits(bits, b0, b1); });
    };
    if (write && clashes(reads_)) {
        if (Drawn(readPos_)) {
            std::memset(reads_, 0, sizeof(reads_));
            ForgetTexture();
        } else {
            add(readPos_);
        }
    }
    if (write) {
        ForRegionsOver(Range{start, bytes}, [&](int k) {
            Region& g = regions_[k];
            if (Drawn(g.pos)) {
                RetireRegion(k);
            } else {
                add(g.pos);
            }
        });
    }
    for (int k = 0; k < layoutCount_; ++k) {
        if ((primitives && k == copyLayout_) || !clashes(layouts_[k].bits)) continue;
        uint64_t pos[kSlots];
        if (k == copyLayout_) {
            if (CopiesOver(Range{start, bytes}, pos)) add(pos);
        } else if (Drawn(layouts_[k].lastPos)) {
            ClearLayout(k);
        } else {
            add(layouts_[k].lastPos);
        }
    }
    return needs;
}

bool RasterBands::CopiesOver(const Range& r, uint64_t* need) {
    // The oldest ones drawn are let go.
    for (; copiesPending_ < copiesPushed_; ++copiesPending_) {
        const Copy& c = copies_[copiesPending_ % kCopies];
        if (drawnTo_[c.slot] <= c.pos && (drawnTo_[c.slot] = slots_[c.slot].done.load()) <= c.pos) break;
    }
    if (copiesPending_ == copiesPushed_ && copyLayout_ >= 0) {
        ClearLayout(copyLayout_);
        return false;
    }
    bool any = false;
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (drawnTo_[c.slot] > c.pos ||
            !Overlap(c.dst & kMask, (c.rows - 1) * c.pitch + c.rowBytes, r.start, r.bytes))
            continue;
        if (!any) std::memset(need, 0, sizeof(uint64_t) * kSlots);
        any = true;
        need[c.slot] = std::max(need[c.slot], c.pos + 1);
    }
    return any;
}

void RasterBands::Settle(uint32_t start, uint32_t bytes, bool write, Wait why) {
    if (!claimed_ || bytes == 0) return;
    bytes = std::min<uint32_t>(bytes, LocalMemory::kSize);
    uint64_t need[kSlots];
    if (NeedsFor(start & kMask, bytes, write, false, need)) Join(why);
}

void RasterBands::Write(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* data) {
    if (rows == 0 || rowBytes == 0) return;
    const uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    uint64_t need[kSlots];
    if (claimed_ && span <= LocalMemory::kSize && NeedsFor(dst & kMask, uint32_t(span), true, false, need)) {
        if (copyLayout_ < 0 && layoutCount_ == kLayouts) {
            Join(Wait::kLayouts);
        } else {
            // In pieces that fit the ring easily.
            const uint32_t per = std::max<uint32_t>(1, uint32_t(kCopyBytes / 4 / rowBytes));
            for (uint32_t r = 0; r < rows; r += per)
                QueueCopy(dst + r * pitch, rowBytes, pitch, std::min(per, rows - r),
                          data + size_t(r) * rowBytes, need);
            return;
        }
    }
    const Copy c{dst, rowBytes, pitch, rows, 0, 0, 0, 0};
    DoCopy(c, data);
}

void RasterBands::QueueCopy(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                            const uint8_t* data, const uint64_t* need) {
    ++claimGen_;
    if (copyLayout_ < 0) copyLayout_ = AddLayout(0, 0, 0);  // no primitive's layout has width 0
    // Room in the ring (the bytes of one copy lie in one piece) and in the list of copies: the oldest
    // copies there drawn first.
    const uint64_t total = uint64_t(rows) * rowBytes;
    uint64_t at = copyBytes_;
    if (at % kCopyBytes + total > kCopyBytes) at += kCopyBytes - at % kCopyBytes;
    const uint64_t end = at + total;
    for (; copiesPending_ < copiesPushed_; ++copiesPending_) {
        const Copy& old = copies_[copiesPending_ % kCopies];
        if (old.command < floor_) continue;
        if (old.data + kCopyBytes >= end && copiesPushed_ - copiesPending_ < kCopies) break;
        WaitDone(old.command + 1, Wait::kTransfer);
    }
    std::memcpy(copyData_ + at % kCopyBytes, data, size_t(total));
    copyBytes_ = end;
    if (queued_ >= kCommands) WaitDone(queued_ - kCommands + 1, Wait::kCommands);
    Claimed cl;
    cl.needs = true;
    cl.why = Wait::kTransfer;
    std::memcpy(cl.need, need, sizeof(cl.need));
    const uint64_t entry = (queued_ << kDepBits) | DepFor(cl);
    // Listed in the slot with the least left to draw (often one no band of the screen uses): it waits
    // there for what it depends on without holding up much behind it.
    int best = 0;
    uint64_t least = ~0ull;
    for (int i = 0; i < kSlots; ++i) {
        const uint64_t left = listed_[i] - std::min(listed_[i], drawnTo_[i]);
        if (left < least) {
            least = left;
            best = i;
        }
    }
    const uint32_t index = uint32_t(copiesPushed_ % kCopies);
    Slot& sl = slots_[best];
    copies_[index] = Copy{dst, rowBytes, pitch, rows, at, queued_, best, listed_[best]};
    ++copiesPushed_;
    Command& c = commands_[queued_ % kCommands];
    c.kind = kCopy;
    c.state = index;
    sl.list[listed_[best] % kCommands].store(entry, std::memory_order_relaxed);
    const uint64_t listed = ++listed_[best];
    unpublished_ |= 1u << best;
    Layout& l = layouts_[copyLayout_];
    l.lastPos[best] = listed;
    const uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    ForBlocks(dst & kMask, uint32_t(span), kBlocks, [&](uint32_t b0, uint32_t b1) {
        l.Mark(b0, b1);
        return false;
    });
    SyncKey(copyLayout_);
    // What reads the last texture read waits for this too when it lands there.
    if (Overlap(dst & kMask, uint32_t(span), lastTex_.start, lastTex_.bytes)) ForgetTexture();
    claimed_ = true;
    ++stats_.transfers;
    ++queued_;
    if (queued_ - handedOut_ >= kBatch) Publish(false);
}

bool RasterBands::CopiedLast(const Shape& s) {
    // Every byte of the rows lands from copies queued after every primitive drawing there (NeedsFor has
    // let go of the layouts drawn): a palette or a texture sent, say.
    const uint32_t span = (s.rows - 1) * s.pitch + s.rowBytes;
    uint64_t after = 0;
    for (int l = 0; l < layoutCount_; ++l)
        if (l != copyLayout_ && layouts_[l].lastCommand >= after &&
            ForBlocks(s.start, span, kBlocks,
                      [&](uint32_t b0, uint32_t b1) { return layouts_[l].Any(b0, b1); }))
            after = layouts_[l].lastCommand + 1;
    uint8_t* covered = covered_;
    std::memset(covered, 0, span);
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (c.command < after) continue;
        for (uint32_t r = 0; r < c.rows; ++r) {
            const uint32_t a = (c.dst + r * c.pitch) & kMask;
            const uint64_t lo = std::max<uint64_t>(a, s.start),
                           hi = std::min<uint64_t>(uint64_t(a) + c.rowBytes, uint64_t(s.start) + span);
            if (lo < hi) std::memset(covered + (lo - s.start), 1, size_t(hi - lo));
        }
    }
    for (uint32_t r = 0; r < s.rows; ++r)
        for (uint32_t i = r * s.pitch; i < r * s.pitch + s.rowBytes; ++i)
            if (!covered[i]) return false;
    return true;
}

void RasterBands::ReadPiece(const Shape& s, uint8_t* out) {
    const uint32_t span = (s.rows - 1) * s.pitch + s.rowBytes;
    uint8_t* covered = covered_;
    std::memset(covered, 0, span);
    // Copies still queued, oldest first (a later one over the same bytes wins).
    for (uint64_t k = copiesPending_; k < copiesPushed_; ++k) {
        const Copy& c = copies_[k % kCopies];
        if (slots_[c.slot].done.load() > c.pos) continue;  // in memory already
        const uint8_t* from = copyData_ + c.data % kCopyBytes;
        for (uint32_t r = 0; r < c.rows; ++r) {
            const uint32_t a = (c.dst + r * c.pitch) & kMask;
            const uint64_t lo = std::max<uint64_t>(a, s.start),
                           hi = std::min<uint64_t>(uint64_t(a) + c.rowBytes, uint64_t(s.start) + span);
            if (lo >= hi) continue;
            std::memcpy(out + (lo - s.start), from + r * size_t(c.rowBytes) + (lo - a), size_t(hi - lo));
            std::memset(covered + (lo - s.start), 1, size_t(hi - lo));
        }
    }
    // The rest of the rows from memory (what lies between them is not read).
    const uint8_t* m = mem_.Data() + s.start;
    for (uint32_t r = 0; r < s.rows; ++r) {
        const uint32_t end = r * s.pitch + s.rowBytes;
        for (uint32_t i = r * s.pitch; i < end;) {
            if (covered[i]) {
                ++i;
                continue;
            }
            uint32_t j = i;
            while (j < end && !covered[j]) ++j;
            std::memcpy(out + i, m + i, j - i);
            i = j;
        }
    }
}

const uint8_t* RasterBands::Bytes(uint32_t start, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                                  uint8_t* out, Wait why) {
    start &= kMask;
    if (rows == 0 || rowBytes == 0) return out;
    uint64_t span = uint64_t(rows - 1) * pitch + rowBytes;
    if (rows > 1 && (pitch < rowBytes || start + span > LocalMemory::kSize)) {
        // Overlapping rows, or past the end: read in one piece.
        rowBytes = uint32_t(std::min<uint64_t>(span, LocalMemory::kSize));
        rows = 1;
        pitch = 0;
        span = rowBytes;
    }
    const uint32_t bytes = uint32_t(std::min<uint64_t>(span, LocalMemory::kSize));
    const Shape shape{start, rowBytes, pitch, rows};
    uint64_t need[kSlots];
    // Waits for primitives drawing over the bytes; reads larger than the ring wait for everything.
    if (claimed_ &&
        (bytes > kCopyBytes / 2 || (NeedsFor(start, bytes, false, true, need) && !CopiedLast(shape))))
        Join(why);
    const uint32_t first = std::min<uint32_t>(bytes, LocalMemory::kSize - start);
    const bool copies =
        claimed_ && copyLayout_ >= 0 && ForBlocks(start, bytes, kBlocks, [&](uint32_t b0, uint32_t b1) {
            return layouts_[copyLayout_].Any(b0, b1);
        });
    if (!copies) {
        if (first == bytes) return mem_.Data() + start;
        std::memcpy(out, mem_.Data() + start, first);
        std::memcpy(out + first, mem_.Data(), bytes - first);
        return out;
    }
    if (rows > 1 || first == bytes) {
        ReadPiece(shape, out);
        return out;
    }
    ReadPiece(Shape{start, first, 0, 1}, out);
    ReadPiece(Shape{0, bytes - first, 0, 1}, out + first);
    return out;
}

void RasterBands::Read(uint32_t start, uint32_t bytes, uint8_t* out, Wait why) {
    const uint8_t* from = Bytes(start, bytes, bytes, 1, out, why);
    if (from != out) std::memcpy(out, from, std::min<uint32_t>(bytes, LocalMemory::kSize));
}

}  // namespace console::gs
