// The rasteriser spread over worker threads. The screen is cut into horizontal bands of 16 rows, grouped
// into kSlots slots (band b belongs to slot b % kSlots). Every primitive is queued once, and listed in each
// slot whose rows it can reach. A slot's list is drawn in order by one thread at a time: any idle worker
// takes the next stretch of any slot nobody is drawing, so work goes to whichever thread is free and a
// slow or descheduled thread holds up only the stretch it took. A pixel is then drawn by one thread at a
// time, in the order its primitives came, so the result is the same bit for bit as one thread drawing
// everything.
//
// That holds while no worker reads or writes memory another one writes out of turn: the queue keeps, per
// 256-byte block of local memory, which buffer layout writes it and which blocks textures read, and for
// each layout and for the reads how far each slot's list reaches with them. A primitive that reads what a
// queued one writes (a picture drawn, then used as a texture), or writes what one reads or what another
// layout writes, is queued with a dependency: the slots' list positions that must be drawn before it. A
// thread that reaches it in a slot before those are drawn leaves the slot and takes other work, so the
// caller does not wait. One that overlaps itself that way (a texture read from its own frame) is drawn by
// the caller alone after the queue drains. Image data sent into local memory over bytes queued
// primitives still read or draw is queued too, behind them (its bytes copied), and what is queued after it
// and touches those bytes waits for it in the same way. Everything else outside drawing that touches local
// memory (reads back to the host, the display readout) waits for the queued primitives it clashes with.
//
// The caller's thread (the game's) never owns a slot: it queues, and when it has to wait for the workers
// it takes stretches of work too, so waiting costs it no more than drawing. Idle workers poll for some tens
// of microseconds and then sleep; one is woken whenever a good batch of work has gathered (and a worker that
// finds more work than it can take wakes another), all of them when the caller waits.
//
// The workers never use the program's heap: it belongs to the game's own thread.
#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"

namespace console::gs {

enum class PrimKind : uint8_t { kPoint, kLine, kTriangle, kSprite };

class RasterBands {
public:
    static constexpr int kMaxThreads = 16;

    // Why the caller waits for the workers.
    enum class Wait : uint8_t {
        kFlush,           // outside access to local memory
        kDisplay,         // the display readout
        kTransfer,        // an image transfer over what queued primitives touch
        kPalette,         // a palette load from what queued primitives write
        kTexture,         // an expanded palette texture made from what queued primitives write
        kRetire,          // retired palette expansions released
        kReadAfterWrite,  // a primitive reading what a queued one writes (a picture drawn, then a texture)
        kWriteAfterRead,  // a primitive writing what a queued one reads, or through another buffer layout
        kLayouts,         // more buffer layouts than the queue tracks
        kAlone,           // a primitive the caller draws alone (it reads what it writes)
        kStates,          // the ring of drawing states full
        kPalettes,        // the ring of palette copies full
        kDependencies,    // the ring of dependencies full
        kCommands,        // the ring of commands full
        kCount
    };
    // Counters for measuring (bench and tests): plain counts are always kept, times only while timing is on.
    struct Stats {
        uint64_t requests[int(Wait::kCount)] = {};      // waits asked for that found something to wait for
        double waitSeconds[int(Wait::kCount)] = {};     // the caller's time in those waits (timing on)
        double drawSeconds = 0;                         // of which drawing stretches itself (timing on)
        uint64_t commands = 0;                          // primitives queued
        uint64_t listed = 0;                            // slot entries made for them (each one a set-up)
        uint64_t stretches = 0;                         // stretches the caller drew while waiting
        uint64_t wakes = 0;                             // wake-up calls to sleeping workers
        uint64_t callerSleeps = 0;                      // times the caller slept waiting
        uint64_t dependencies[int(Wait::kCount)] = {};  // primitives queued behind others instead of a wait
        uint64_t dependencyRecords = 0;                 // the distinct dependencies made for them
        uint64_t transfers = 0;                         // image data queued behind primitives
        uint64_t quickClaims = 0;                       // primitives claimed from the one before's findings
    };
    const Stats& Statistics() const { return stats_; }
    void ResetStatistics() { stats_ = Stats{}; }
    void SetTiming(bool on) { timing_ = on; }
    // For tests: while held, the workers take no work (the caller still draws whatever it waits for), so
    // what gets queued behind what does not depend on how fast they draw.
    void SetHeld(bool held);
    // For tests: off, every primitive's claim is worked out afresh (see QuickClaim).
    void SetQuickClaims(bool on) {
        quickClaims_ = on;
        quick_.version = 0;
    }

    // `threads` drawing threads (2..kMaxThreads): threads - 1 workers, and the caller, which draws too
    // whenever it waits for them. Null when the threads cannot be started.
    static RasterBands* Create(LocalMemory& mem, int threads);
    static void Destroy(RasterBands* bands);

    // Queues a primitive drawn with `st`; `stateVersion` changes whenever the state does. Returns false when
    // the primitive cannot be shared out: the queue is drained and the caller draws it itself.
    bool Queue(PrimKind kind, const DrawState& st, uint64_t stateVersion, const GsVertex* v);
    // Waits until every queued primitive is drawn; `why` is counted.
    void Join(Wait why = Wait::kFlush);
    // Waits for the queued primitives that touch local memory bytes [start, start + bytes) in a way that
    // clashes with the caller's access (a write clashes with any use, a read with writes only). Transfers
    // and palette loads call this instead of Join, so they do not stall the workers over unrelated work.
    void Settle(uint32_t start, uint32_t bytes, bool write, Wait why);
    // Image data into local memory: `rows` rows of `rowBytes` bytes from `data`, the first at byte `dst`,
    // each next one `pitch` bytes on (none past the end of local memory). Copied now when nothing queued
    // touches those bytes, else queued behind what does; the primitives queued later wait for it.
    void Write(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* data);
    // Local memory bytes [start, start + bytes) (wrapping) as they will be once the queue is drawn: taken
    // from image data still queued where it lands there, after waiting (`why`) only for queued primitives
    // drawing over them. Copied into `out`.
    void Read(uint32_t start, uint32_t bytes, uint8_t* out, Wait why);
    // The same for `rows` rows of `rowBytes` bytes, each `pitch` bytes after the one before (what lies
    // between them is neither read nor waited for when it can be told apart): returns where row r starts
    // at r * pitch, `out` (laid out so) or local memory itself when nothing queued lands there.
    const uint8_t* Bytes(uint32_t start, uint32_t rowBytes, uint32_t pitch, uint32_t rows, uint8_t* out,
                         Wait why);
    // Pixels the workers have processed (complete after Join).
    uint64_t PixelsProcessed() const;
    int Threads() const { return threads_; }

    // Slots of bands; a primitive's rows are drawn slot by slot.
    static constexpr int kSlots = 32;

private:
    static constexpr uint32_t kCommands = 16384, kStates = 4096, kPalettes = 512, kDeps = 256;
    // A slot's list entry: the command's position in the queue, and its dependency (0: none, else the
    // index in deps_ plus one) in the low bits.
    static constexpr int kDepBits = 9;
    static_assert(kDeps < (1u << kDepBits), "a dependency index fits its bits");
    // Commands are published this many at a time (and whenever the producer waits); sleeping workers are
    // woken once kWakeBatch have gathered. A thread takes at most kStretch commands of a slot at once.
    static constexpr uint32_t kBatch = 32, kWakeBatch = 512, kStretch = 64;
    // How many commands ahead the queue's lines are fetched for writing.
    static constexpr uint32_t kAhead = 12;
    static constexpr uint32_t kBlocks = LocalMemory::kSize / LocalMemory::kBlockBytes;
    static constexpr uint32_t kWords = kBlocks / 64;
    static constexpr int kLayouts = 12;
    static_assert(kSlots <= 32, "a command's slots are bits of a 32-bit word");

    // A command is a primitive, or image data to copy (kind kCopy: `state` indexes writes_).
    struct alignas(64) Command {
        PrimKind kind;
        uint32_t state;
        GsVertex v[3];
    };
    static constexpr PrimKind kCopy = PrimKind(4);
    // Image data queued: rows as Write takes them, the bytes at `data` in the ring writeData_ (a position
    // counted from the start, taken modulo its size), and the command that copies them.
    struct Copy {
        uint32_t dst, rowBytes, pitch, rows;
        uint64_t data, command;
        int slot;      // the slot it is listed in
        uint64_t pos;  // and its place in that slot's list
    };
    static constexpr uint32_t kCopies = 512;
    static constexpr uint64_t kCopyBytes = uint64_t(2) << 20;
    struct StateSlot {
        DrawState st;
    };
    // The producer's own notes on a state slot, apart from the state the workers read (written with
    // every primitive: on the state's cache lines they would take those lines from the workers).
    struct StateUse {
        uint64_t lastCommand;  // the last command drawn with it (the slot is free once that is done)
        int palette;           // the palette slot it draws with (-1: none)
    };
    // A palette as it was when a state using it was queued (the device's may be reloaded meanwhile).
    struct PaletteSlot {
        uint32_t clut[256];
        uint32_t entries;  // how many of them were copied
    };
    // List positions, per slot, that must be drawn before the commands that name it.
    struct Dep {
        std::atomic<uint64_t> pos[kSlots];
        std::atomic<bool> met{false};  // known drawn (set under a slot's lock by the thread that found it)
        uint64_t lastCommand = 0;      // the last command that names it (the producer's)
    };
    // One slot's list of commands (indices into the queue, in order) and how far it is drawn.
    // (What the producer writes and what the workers write each have a cache line of their own; the
    // entries queued are counted apart, in listed_[], all slots' counts on a few lines of the producer's.)
    struct alignas(64) Slot {
        std::atomic<uint64_t> published{0};         // entries the workers may draw
        alignas(64) std::atomic<uint64_t> done{0};  // entries drawn
        std::atomic<bool> busy{false};              // a thread is drawing a stretch of it
        // The commands' entries (written before they are published, read after).
        alignas(64) std::atomic<uint64_t> list[kCommands];
    };
    struct alignas(64) Worker {
        Worker(RasterBands* o, LocalMemory& mem) : owner(o), rast(mem, true) {}
        RasterBands* owner;
        pthread_t thread{};
        int start = 0;  // the slot it looks at first (the last one it drew: its rows are in its cache)
        Rasterizer rast;
    };
    // A byte range of local memory a primitive touches: [start, start + bytes), wrapping at the end.
    struct Range {
        uint32_t start, bytes;
    };
    // Blocks written through one buffer layout: the same layout maps a row to the same bytes, so two
    // primitives through it never share a pixel across bands.
    struct Layout {
        uint32_t base, width, bpp;
        uint64_t lastPos[kSlots];  // per slot, the list length after its last command through the layout
        uint64_t lastCommand;      // and that command
        uint32_t lo, hi;           // the blocks marked lie in lo..hi (none when lo > hi)
        uint64_t bits[kWords];
        void Clear() {
            std::memset(lastPos, 0, sizeof(lastPos));
            lastCommand = 0;
            std::memset(bits, 0, sizeof(bits));
            lo = kBlocks;
            hi = 0;
        }
        // Whether any of blocks b0..b1 is marked.
        bool Any(uint32_t b0, uint32_t b1) const;
        void Mark(uint32_t b0, uint32_t b1);
    };
    // What the loops over the layouts look at first, kept together: each layout's key and lo..hi.
    struct LayoutKey {
        uint32_t base, width, bpp, lo, hi;
    };
    void SyncKey(int k) {
        const Layout& l = layouts_[k];
        if (keys_[k].lo != l.lo || keys_[k].hi != l.hi || keys_[k].base != l.base ||
            keys_[k].width != l.width || keys_[k].bpp != l.bpp)
            ++layoutsGen_;
        keys_[k] = LayoutKey{l.base, l.width, l.bpp, l.lo, l.hi};
    }
    // Per buffer a primitive writes (frame, depth): the last layout found for it and the blocks around
    // its write known to lie outside every other layout's lo..hi, while layoutsGen_ stays as it was.
    struct KnownWrite {
        uint64_t gen = 0;
        uint32_t base = 0, width = 0, bpp = 0;
        int layout = -1;
        uint32_t lo = 1, hi = 0;
    };
    KnownWrite known_[2];
    uint64_t layoutsGen_ = 1;  // changes whenever a layout or its lo..hi does
    // Lets go of the layouts whose writes are all drawn (their blocks clash with nothing any more).
    void PruneLayouts();
    // The texture reads queued, one record per byte range read (the same texture read again shares it),
    // each with its own list positions: what later writes over a texture waits only for the primitives
    // that read it. Found by range through a hash table, and by place through lists per 64 KiB of local
    // memory (a range over more than two of them is on a list of its own, looked through every time).
    struct Region {
        Range tex;
        bool live;  // false once every read of it is known drawn
        int bucket[2];
        int next[2], prev[2];  // its neighbours on each of its lists (-1: none)
        uint64_t pos[kSlots];
    };
    static constexpr int kRegions = 1024, kRegionHash = 4096, kBucketShift = 16;
    static constexpr int kBuckets = int(LocalMemory::kSize >> kBucketShift), kWide = kBuckets;
    // The record for reads of `tex` (made, or live again, when needed); -1 when the records are full.
    int RegionFor(const Range& tex);
    void LinkRegion(int k);
    // Every read of the record is drawn: off its lists, and its blocks let go when nothing else is there.
    void RetireRegion(int k);
    // Calls fn(record index) for each live record whose range may meet `r` (some more than once); fn
    // may retire it.
    template <class Fn>
    void ForRegionsOver(const Range& r, Fn fn);
    // kEmpty: the primitive cannot cover a pixel inside the scissor.
    enum class Fit { kFits, kEmpty, kQueueClash, kSelfClash };
    // What a primitive touches, as Claim works it out: the rows it can cover (inclusive), the layouts it
    // writes through (-1: none), whether it reads a texture, and the list positions it must wait for.
    struct Claimed {
        int first, last;
        int layout[2];
        bool reads;
        int region;  // the record of reads it is one of (-1: a plain texture read, or none)
        bool needs;
        Wait why;
        uint64_t need[kSlots];
        // Waits for the list positions `pos` too (`why`: the first reason it waits).
        void Need(const uint64_t* pos, Wait why);
    };
    // The pixels a primitive can cover (inclusive).
    struct Box {
        int64_t xa, xb, ya, yb;
    };
    // A buffer a primitive writes (the frame, or the depth buffer when tested): its layout and the bytes
    // it can reach through it.
    struct BufferWrite {
        uint32_t base, width, bpp;
        Range r;
        bool SameLayout(uint32_t b, uint32_t w, uint32_t p) const {
            return base == b && width == w && bpp == p;
        }
    };
    struct Writes {
        BufferWrite use[2];
        int count = 0;
    };

    RasterBands(LocalMemory& mem, int threads);
    static void* ThreadMain(void* worker);
    void Run(Worker& w);
    void Draw(Rasterizer& rast, const Command& c);
    // Draws a stretch of the first slot from `start` on that has work and nobody drawing it; false when
    // there is none.
    bool DrawStretch(Rasterizer& rast, int& start);
    // Whether a slot has entries nobody is drawing whose first is free to draw (a guess: it may change).
    bool AnyWork() const;
    bool SlotReady(const Slot& sl) const;
    // Whether the positions a dependency names are drawn (`mark`: remember it, only under a slot's lock).
    bool DepMet(Dep& d, bool mark);
    // Every command before the returned one is drawn (as far as the commands published go).
    uint64_t DoneBelow() const;
    void WaitDone(uint64_t target, Wait why);
    void Publish(bool wakeAll);
    Fit Claim(PrimKind kind, const DrawState& st, uint64_t version, const GsVertex* v, int count, Claimed* c);
    // Claim's steps, in order.
    // The box of pixels the vertices can cover, inside the scissor.
    static Box CoveredBox(const DrawState& st, const GsVertex* v, int count);
    // The bytes the box's pixels take in the frame and (when tested) the depth buffer; false when the
    // primitive would share bytes between its own rows or buffers.
    static bool BuffersWritten(const DrawState& st, const Box& box, Writes* w);
    // The bytes of the texels it can read (with room for a vector load past the last one).
    static Range TexelsRead(PrimKind kind, const DrawState& st, const GsVertex* v);
    // Whether those share bytes with what it writes (a depth buffer only read may share them).
    static bool ReadsOwnWrites(const DrawState& st, const Writes& w, const Range& tex);
    // Its writes against what the queue holds: other layouts' writes, and the reads. Adds what they
    // must wait for to `c`, and the layouts they go through; true when they meet queued reads.
    bool ClaimWrites(const Writes& w, Claimed* c);
    // Use `i`'s write against the other layouts' writes; returns its own layout in the queue (-1: none).
    int WriteAgainstLayouts(int i, const BufferWrite& u, Claimed* c);
    // A write against the queued texture reads; true when it meets one not drawn yet.
    bool WriteAgainstReads(const BufferWrite& u, Claimed* c);
    // The layouts its writes would add to the queue.
    int NewLayouts(const Writes& w, const Claimed& c) const;
    // Its texture read against the queued writes, and the record it is kept in; true when it is a
    // plain read (no record had room).
    bool ClaimTexels(const Range& tex, Claimed* c);
    // The list positions of the queued writes over bytes `tex`; false when there are none.
    bool WritesUnder(const Range& tex, uint64_t* need);
    // Marks its writes in their layouts (making the new ones); `mark` gets the layout each use writes.
    void RecordWrites(const Writes& w, Claimed* c, int* mark);
    // Keeps the claim for the next primitive drawn with the same state (see QuickClaim).
    void KeepClaim(PrimKind kind, uint64_t version, const Writes& w, const int* mark, const Claimed& c,
                   const Range& tex, bool unfit);
    // Most primitives are drawn with the same state as the one before, over nearby pixels, with nothing
    // else queued between them: what Claim found for the last one holds for the next while the records
    // it looked at stay as they were (claimGen_), but for the bytes it writes. Those are checked against
    // a span of blocks around them that nothing queued reads or writes through another layout.
    struct QuickClaim {
        uint64_t version = 0;  // the state's (0: none kept)
        uint64_t gen = 0;      // claimGen_ then
        PrimKind kind{};
        int uses = 0;
        uint32_t base[2] = {}, bpp[2] = {};
        int mark[2] = {};    // the layout each use writes through
        int layout[2] = {};  // and as the claim gives them
        Range tex{0, 0};     // the texels it reads
        int span = 0;        // 0: the clear spans not worked out yet, 1: worked out, -1: none will do
        uint32_t lo[2] = {}, hi[2] = {};  // per use, blocks its writes may reach with nothing to clash with
        // Per use, blocks known marked in its layout already (by the claims repeated, or the one before):
        // marks only grow while the records stay as they were, so a write inside needs none.
        uint32_t markedLo[2] = {}, markedHi[2] = {};
    };
    QuickClaim quick_;
    // Changes whenever the records a claim looks at change other than by the claims QuickClaim repeats.
    uint64_t claimGen_ = 1;
    bool quickClaims_ = true;
    // The claim for a primitive covering pixels xa..xb, ya..yb drawn as quick_ says; false when it
    // cannot be told that way (nothing changed then).
    bool ClaimQuickly(const DrawState& st, int64_t xa, int64_t xb, int64_t ya, int64_t yb, Claimed* c);
    // Whether the state's scissor keeps quick_'s writes apart from each other and from its texels (then
    // its primitives can be claimed quickly at all).
    bool ScissorApart(const DrawState& st) const;
    // Marks the blocks `b0`..`b1` a quick claim writes (per use) in their layouts.
    void MarkQuickly(const uint32_t* b0, const uint32_t* b1);
    // Works out quick_'s clear spans around the blocks `b0`/`b1` a primitive writes; false when none fit.
    bool QuickSpans(const DrawState& st, const uint32_t* b0, const uint32_t* b1);
    // The entry's dependency field for a claim's needs (0: none), making a dependency when one is needed.
    uint64_t DepFor(const Claimed& c);
    // Whether the list positions are drawn, as far as the caller knows (its copy of the slots' progress,
    // read again when it does not say so).
    bool Drawn(const uint64_t* pos);
    // Every command before the returned one is drawn (the caller's, remembered).
    uint64_t Floor();
    void ClearClaims();
    // The list positions an access of bytes [start, start + bytes) must wait for: the queued reads of them
    // (when `write`) and the queued writes (all of them, or those of primitives only when `primitives`).
    // False when there are none.
    bool NeedsFor(uint32_t start, uint32_t bytes, bool write, bool primitives, uint64_t* need);
    // Queues image data (see Write) behind the list positions `need`.
    void QueueCopy(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* data,
                   const uint64_t* need);
    void DoCopy(const Copy& c, const uint8_t* from);
    // The list positions of the queued image data not yet drawn over bytes `r`; false when there is none.
    bool CopiesOver(const Range& r, uint64_t* need);
    // Whether image data still queued lands on every byte of [start, start + bytes) after all the queued
    // primitives drawing there.
    struct Shape {
        uint32_t start, rowBytes, pitch, rows;  // rows as Bytes takes them, not past the end of memory
    };
    bool CopiedLast(const Shape& s);
    void ReadPiece(const Shape& s, uint8_t* out);
    // The texture last read is checked afresh next time (what the queue touches changed).
    void ForgetTexture();
    // Forgets a layout's blocks once everything written through it is drawn.
    void ClearLayout(int k);
    // Adds a layout with no blocks marked; returns its index. Always a change of the layouts (for
    // KnownWrite), whatever the entry held before: a layout made again as an earlier one was still is one.
    int AddLayout(uint32_t base, uint32_t width, uint32_t bpp);

    LocalMemory& mem_;
    int threads_;      // drawing threads: the workers and the caller
    int helpers_ = 0;  // worker threads started
    Worker* workers_[kMaxThreads] = {};
    Rasterizer self_;    // the caller's, when it draws while waiting
    int selfStart_ = 0;  // the slot it looks at first
    Command commands_[kCommands];
    StateSlot states_[kStates];
    StateUse stateUse_[kStates] = {};
    PaletteSlot palettes_[kPalettes];
    uint64_t paletteLast_[kPalettes] = {};  // the last command drawn with each palette slot (the producer's)
    uint64_t palettesPushed_ = 0;
    Slot slots_[kSlots];
    Dep deps_[kDeps];
    uint64_t depsPushed_ = 0;
    uint64_t lastNeed_[kSlots] = {};            // the positions of the last dependency made
    uint64_t floor_ = 0;                        // commands known drawn
    uint64_t drawnTo_[kSlots] = {};             // the slots' progress as the caller last read it
    uint64_t queued_ = 0;                       // commands queued
    alignas(64) uint64_t listed_[kSlots] = {};  // entries queued per slot
    uint32_t unpublished_ = 0;                  // the slots with entries queued since the last publish
    uint64_t handedOut_ = 0;                    // commands published
    uint64_t wokenAt_ = 0;                      // commands published when the sleepers were last woken
    uint64_t statesPushed_ = 0, lastVersion_ = 0;
    Copy copies_[kCopies];
    uint64_t copiesPushed_ = 0;
    uint64_t copiesPending_ = 0;  // the first copy that may not be done (every one before it is)
    uint64_t copyBytes_ = 0;      // bytes of the ring used so far
    uint8_t* copyData_ = nullptr;
    uint8_t* covered_ = nullptr;  // for Read: which bytes queued copies give (kCopyBytes of them)
    int copyLayout_ = -1;         // the layout entry (width 0) the queued copies' blocks are marked in
    alignas(64) std::atomic<uint32_t> wake_{0};
    std::atomic<int> sleepers_{0};
    std::atomic<bool> stop_{false};
    std::atomic<bool> held_{false};
    alignas(64) std::atomic<uint32_t> doneWake_{0};
    // The command count the producer waits for (none: all ones): the thread that gets there wakes it.
    std::atomic<uint64_t> waitTarget_{~0ull};
    // What the queued primitives touch.
    Layout layouts_[kLayouts];
    LayoutKey keys_[kLayouts] = {};
    int layoutCount_ = 0;
    // Reads past the records' room: their blocks, and per slot the list length after the last one.
    uint64_t reads_[kWords];
    uint64_t readPos_[kSlots] = {};
    Region regions_[kRegions];
    int regionCount_ = 0;
    int regionHash_[kRegionHash];
    int bucketHead_[kBuckets + 1];
    uint64_t regionBits_[kWords];  // the blocks of every record's range
    int lastRegion_ = -1;          // the record the last texture read is in (-1: a plain read)
    bool claimed_ = false;
    Range lastTex_{0, 0};                    // the texel range last marked as read
    bool lastTexNeeds_ = false;              // and whether reading it had to wait for writes then
    uint64_t lastTexNeed_[kSlots] = {};      // (for which list positions)
    Wait clashWhy_ = Wait::kReadAfterWrite;  // why the last claim clashed with the queue
    Stats stats_;
    bool timing_ = false;
};

}  // namespace console::gs
