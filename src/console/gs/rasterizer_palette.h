// 8-bit palette textures expanded once to 32-bit texels, so that the vector spans read a texel with one
// load instead of an index and then its palette entry. The device keeps an expansion while the texture's
// texels and its palette stay as they were: transfers into local memory, primitives drawing over the
// texture's bytes and outside access to local memory make the expansions they may reach suspect, and a
// suspect one is used again only when its texels are found unchanged (the game uploads the same texels
// again and again); a palette load gives the state a new version, and the next primitive looks the
// texture up with the new palette.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

namespace console::gs {

class RasterBands;

class PaletteTextures {
public:
    // Texels of the largest texture expanded (a 1024 x 1024 texture), the most kept at once, and the most
    // expansions kept (a race frame goes through some seventy textures and palettes in turn: fewer kept
    // would make every one of them again each frame).
    static constexpr size_t kMaxTexels = size_t(1) << 20, kMaxKeptTexels = size_t(4) << 20, kMaxKept = 256;

    // Before a primitive is drawn with the device's state `st`: points st.texels32 at the expansion of its
    // 8-bit palette texture (made now when none is current, after the queued primitives drawing into the
    // texture's bytes are done), or at nothing (another kind of texture, one that wraps round the end of
    // local memory or is too large, or one the state draws into itself), and gives st a new version from
    // `versions` when that changes it. Then makes the expansions the primitive's frame and depth writes
    // may reach suspect. `bands`: the rasteriser threads (null: one thread, primitives drawn as they come).
    void BeforeDraw(DrawState& st, uint64_t& versions, const uint8_t* mem, RasterBands* bands) {
        if (st.version == checkedVersion_ && gen_ == checkedGen_) {
            if (stateWritesKept_) SuspectWrites();
            return;
        }
        Check(st, versions, mem, bands);
    }
    // Local memory bytes [start, start + bytes) (wrapping past its end) were written, or may have been.
    void Written(uint32_t start, uint64_t bytes);
    // Image data was sent into local memory: `rows` rows of `rowBytes` bytes from `data`, the first at
    // byte `dst`, each next `pitch` bytes on (none past the end of local memory). An expansion whose
    // indices it rewrites with other values is suspect; one it rewrites with its own is not changed, and
    // a suspect one is known good again once every row of it has been rewritten so. Returns true when
    // memory is known to hold the data already: every byte of it lies in the texels of one expansion that
    // held before and was rewritten with its own indices.
    bool Uploaded(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* data);
    // Rows uploaded back to back over the rows of a texture as wide as its buffer are compared with its
    // expansion in one comparison, with the same outcome as row by row. Off: always row by row (for comparing
    // the two). Returns the previous setting.
    static bool AllowWholeUploads(bool allow);
    // Uploads are first compared with eight indices from the middle of each expansion they meet, kept
    // beside it (most uploads over a kept texture bring another one): a difference there settles it without
    // reading the expansion's indices, with the same outcome as the whole comparison. Off: never (for
    // comparing the two). Returns the previous setting.
    static bool AllowProbes(bool allow);
    // Anything in local memory may have been written.
    void WrittenAnywhere();
    // Nothing queued reads retired expansions any more (the threads are joined): their memory goes.
    void Release() {
        retired_.clear();
        retiredTexels_ = 0;
    }
    // Expansions made, and suspect ones found unchanged, since construction (tests).
    uint64_t Expansions() const { return expansions_; }
    uint64_t Confirmed() const { return confirmed_; }

private:
    struct Range {
        uint32_t start;
        uint64_t bytes;
    };
    // Everything here lives in the C library's heap: the game's heap and its figures stay the game's.
    struct Free {
        void operator()(void* p) const { std::free(p); }
    };
    using Texels = std::unique_ptr<uint32_t[], Free>;
    using Bytes = std::unique_ptr<uint8_t[], Free>;
    using RowBits = std::unique_ptr<uint64_t[], Free>;
    static constexpr size_t kRowWords = 16;  // 1024 rows
    template <class T>
    using HostVector = std::vector<T, RowAllocator<T>>;
    struct Entry {
        uint32_t tBase, tbw, tw, th;
        Range source;
        Texels palette;  // 256 entries (apart, so that looking the kept through touches little memory)
        Texels texels;
        Bytes indices;  // the texels' indices, rows of 2^tw packed, as expanded
        size_t count;
        bool suspect;
        // While suspect: the rows rewritten since with the indices expanded (kRowWords words of bits,
        // apart like the palette), and how many.
        RowBits rowsSeen;
        uint32_t seen;
        // Eight indices from the middle of its middle row (textures at least eight wide), and where they
        // are from the texture's base.
        uint64_t probe;
        uint32_t probeAt;
    };
    // Of each kept expansion, in the same order: its texture and the bytes it was made from, packed
    // together so that looking the kept through for a texture or an upload reads little memory.
    struct Key {
        uint64_t texture;     // see TextureKey
        uint32_t start, end;  // the source's bytes (never wrapping round the end of local memory)
        uint64_t lastUse;
    };
    static uint64_t TextureKey(uint32_t tBase, uint32_t tbw, uint32_t tw, uint32_t th) {
        return uint64_t(tBase) | (uint64_t(tbw) << 32) | (uint64_t(tw) << 40) | (uint64_t(th) << 48);
    }
    // Which kept expansions (bits by index) were made from bytes in each 64 KiB of local memory, so that
    // an upload looks at the few it may meet.
    static constexpr uint32_t kBucketShift = 16, kBuckets = LocalMemory::kSize >> kBucketShift;
    static constexpr size_t kBucketWords = (kMaxKept + 63) / 64;
    void Bucket(size_t index, bool in);
    // An upload's rows compared with the rows of one expansion it meets (see Uploaded): false when it
    // rewrites some of them with other indices.
    bool UploadMatches(Entry& e, uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows,
                       const uint8_t* data);
    static void MakeSuspect(Entry& e) {
        e.suspect = true;
        std::memset(e.rowsSeen.get(), 0, kRowWords * sizeof(uint64_t));
        e.seen = 0;
    }
    void Check(DrawState& st, uint64_t& versions, const uint8_t* mem, RasterBands* bands);
    const uint32_t* Expansion(const DrawState& st, const uint8_t* mem, RasterBands* bands);
    // Makes the kept expansions that the current state's writes reach suspect.
    void SuspectWrites();
    // Whether a write there changes what is known of the expansion: it holds, or some of its rows were
    // found rewritten with its own indices.
    static bool Watched(const Entry& e) { return !e.suspect || e.seen != 0; }
    // Whether the current state's writes reach a watched expansion.
    bool WritesReachWatched();
    // Bytes within which every watched expansion was made from.
    Range WatchedSpan();
    void Retire(size_t index, RasterBands* bands);
    // Whether a suspect expansion's indices are still those of its texels (from its base on).
    static bool Unchanged(const Entry& e, const uint8_t* texels);
    static bool Overlap(Range a, Range b) {
        const uint64_t size = LocalMemory::kSize, as = a.start & LocalMemory::kMask,
                       bs = b.start & LocalMemory::kMask;
        if (as + a.bytes <= size && bs + b.bytes <= size)
            return as < bs + b.bytes && bs < as + a.bytes && a.bytes && b.bytes;
        return OverlapWrapping(a, b);
    }
    static bool OverlapWrapping(Range a, Range b);

    HostVector<Entry> kept_{RowAllocator<Entry>(true)};
    HostVector<Key> keys_{RowAllocator<Key>(true)};
    uint64_t buckets_[kBuckets][kBucketWords] = {};
    HostVector<Texels> retired_{RowAllocator<Texels>(true)};
    size_t keptTexels_ = 0, retiredTexels_ = 0;
    Bytes scratch_;  // a texture's bytes as read through the rasteriser threads
    size_t scratchBytes_ = 0;
    uint64_t gen_ = 1, checkedGen_ = 0, checkedVersion_ = 0, clock_ = 0, expansions_ = 0, confirmed_ = 0;
    // The watched expansions were made from bytes within `watched_` while `watchedGen_` is `gen_` (an
    // expansion made, found unchanged or starting to be seen rewritten sets it to 0), so that most writes
    // are cleared by one test.
    Range watched_ = {};
    uint64_t watchedGen_ = 0;
    // The checked state's frame and depth writes, and whether they reach a watched expansion.
    Range writes_[2] = {};
    int writeCount_ = 0;
    bool stateWritesKept_ = false;
};

}  // namespace console::gs
