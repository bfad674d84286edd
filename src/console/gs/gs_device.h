// The graphics synthesizer stand-in: general registers of both drawing contexts, the vertex queue that
// turns XYZ writes into primitives, image transfers between the host and local memory, the privileged
// (display) registers and the readout of the displayed picture. Packets reach it through the GIF
// interpreter; the library calls (sceGs*) and the kernel's vertical blank use it directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/gs/gs_registers.h"
#include "console/gs/local_memory.h"
#include "console/gs/rasterizer.h"
#include "console/gs/rasterizer_bands.h"
#include "console/gs/rasterizer_palette.h"

namespace console::gs {

class GsDevice {
public:
    static constexpr int kDisplayWidth = 640;
    static constexpr int kDisplayHeight = 448;

    GsDevice();
    ~GsDevice();
    GsDevice(const GsDevice&) = delete;
    GsDevice& operator=(const GsDevice&) = delete;

    // Rasteriser threads: 1 draws every primitive on the caller's thread as it arrives; more share the
    // screen's bands out among that many workers, with the same pixels. Drains what is queued first.
    void SetRasterThreads(int threads);
    // The thread count for this machine: one per processor the program may run on, at most four (the
    // fill of a 640 x 448 frame gains little past that, and the game's own thread needs a processor too).
    static int DefaultRasterThreads();
    int RasterThreads() const { return bands_ ? bands_->Threads() : 1; }
    // Waits until every queued primitive is drawn (anything that reads local memory does this itself).
    void Flush(RasterBands::Wait why = RasterBands::Wait::kFlush) const {
        if (bands_) bands_->Join(why);
    }
    // The rasteriser threads (null: one thread), for their counters.
    RasterBands* Bands() const { return bands_; }

    // Registers and privileged registers back to their power-on values; local memory cleared when asked.
    void Reset(bool clearMemory);

    // Where primitives sent with the PRIM register value `prim` can draw, as the registers stand now: the
    // offset subtracted from their XYZ coordinates (12.4 fixed point) and the scissor (inclusive window
    // pixels) of the context they draw through. Geometry programs drop triangles outside it before
    // sending them.
    struct DrawWindow {
        int32_t ofx, ofy;
        int32_t scx0, scx1, scy0, scy1;
    };
    DrawWindow WindowFor(uint64_t prim) const;

    // One general-register write (an A+D pair). Unknown addresses are logged and ignored.
    void WriteReg(uint32_t addr, uint64_t value);
    uint64_t ReadReg(uint32_t addr) const;

    // Vertices as a PACKED vertex list carries them, `count` of them from `qw`: each the quadwords of ST
    // (when `withSt`), RGBAQ and XYZ. Vertex i's XYZ goes to xyzAddr[i % forms] (XYZ2, XYZ3, XYZF2 or
    // XYZF3; the ADC bit of its data makes XYZ2 and XYZF2 the ones that do not draw). ST's third word is
    // the Q of the RGBAQ that follows; without ST the Q is *qbits; *qbits is left with the last ST's.
    // The same registers, vertex queue and primitives as the writes one register at a time, with the
    // drawing context's offset and the other vertex registers read once.
    void WritePackedVertices(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                             uint32_t forms, uint32_t* qbits);
    // The vertices waiting in the queue for the next kick (at most 3); returns how many.
    int QueuedVertices(GsVertex* out) const;

    // IMAGE data for the active host-to-local transfer. Data past the transfer's rectangle is discarded.
    void WriteImage(const uint8_t* data, size_t bytes);
    // The GIF calls this when an IMAGE packet ends: later IMAGE data needs a new transfer.
    void EndImagePacket() { discardImage_ = false; }
    // Local-to-host: copies up to `bytes` of the active local-to-host transfer into dst, returns the count.
    size_t ReadImage(uint8_t* dst, size_t bytes);

    // Privileged registers by console address (0x12000000..0x12001FFF).
    void WritePriv(uint32_t addr, uint64_t value);
    uint64_t ReadPriv(uint32_t addr) const;
    // The vertical blank flips the field bit of CSR.
    void ToggleField();
    bool FieldBit() const { return (csr_ & kCsrFieldBit) != 0; }

    // The displayed picture: 640 x 448 RGBA bytes (R first), alpha forced to 255, from the enabled read
    // circuit's DISPFB (circuit 1 first). A progressive presentation: the field row offset is ignored.
    // Returns false (and writes black) when no circuit is enabled.
    bool ReadDisplay(uint8_t* rgba) const;

    LocalMemory& Memory() {
        Flush();
        textures_.WrittenAnywhere();  // the caller may write anything
        return mem_;
    }
    const LocalMemory& Memory() const {
        Flush();
        return mem_;
    }
    uint64_t PixelsProcessed() const {
        Flush();
        return rast_.PixelsProcessed() + (bands_ ? bands_->PixelsProcessed() : 0);
    }
    uint64_t PrimitivesDrawn() const { return prims_; }

private:
    struct Context {
        GsTex0 tex0;
        GsClamp clamp;
        GsTex1 tex1;
        GsXyoffset xyoffset;
        GsScissor scissor;
        GsAlpha alpha;
        GsTest test;
        GsFba fba;
        GsFrame frame;
        GsZbuf zbuf;
        uint64_t miptbp1, miptbp2;
    };
    struct Transfer {
        bool active = false;
        uint32_t base = 0, stride = 0, psm = 0;
        uint32_t x0 = 0, y0 = 0, w = 0, h = 0;
        uint32_t x = 0, y = 0;  // next pixel, relative
        uint8_t carry[4] = {};
        uint32_t carryBytes = 0;
    };
    // Waits for the queued primitives that clash with an active transfer's rectangle.
    void SettleTransfer(const Transfer& t, bool write) const;

    // WriteReg's groups; each returns false for a register not in it.
    bool WriteContextReg(uint32_t addr, uint64_t value);   // the registers each drawing context has twice
    bool WriteModeReg(uint32_t addr, uint64_t value);      // the drawing modes the two contexts share
    bool WriteTransferReg(uint32_t addr, uint64_t value);  // image transfers
    static bool IsPaletted(uint32_t psm) { return psm == kPsmT8 || psm == kPsmT4; }
    // A TEX0 value written (by TEX0 or TEX2): asks for the CLUT load it names.
    void SetTex0(GsTex0& t, GsTex0 value);

    // An XYZ register write (XYZ2, XYZ3, XYZF2 or XYZF3) with the vertex registers as they stand.
    void WriteXyz(uint32_t addr, uint64_t value);
    void Kick(bool draw);
    void Draw();
    // Draw for the third vertex of a triangle list.
    inline void DrawListTriangle();
    // WritePackedVertices with every form fogged (XYZF2, XYZF3) or none; drawForms: the forms that draw,
    // by bit.
    template <bool kSt, bool kFogged>
    void PackedVertexRun(const uint8_t* qw, size_t count, uint32_t drawForms, uint32_t forms);
    void WritePackedVerticesMixed(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                                  uint32_t forms, uint32_t* qbits);
    void BuildState();
    void LoadClut();
    void StartTransfer();
    // Sets `t` up for a rectangle of local memory; false (and `t` inactive) for an empty one or one outside
    // local memory, which is logged with the register side's name ("D" or "S").
    bool OpenTransfer(Transfer& t, const char* what, const char* side, uint32_t bp, uint32_t bw, uint32_t psm,
                      uint32_t x, uint32_t y, uint32_t w, uint32_t h);
    void LocalToLocal();
    bool RectInside(uint32_t bp, uint32_t bw, uint32_t psm, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                    uint32_t* stride) const;
    void PutPixelFromStream(const uint8_t* src);
    // Host-to-local image data in rows (see RasterBands::Write), queued behind the primitives that touch
    // those bytes when there are threads.
    void PutRows(uint32_t dst, uint32_t rowBytes, uint32_t pitch, uint32_t rows, const uint8_t* src);

    LocalMemory mem_;
    Rasterizer rast_;
    Context ctx_[2];
    GsPrim prim_;
    GsPrmode prmode_;
    GsPrmodecont prmodecont_;
    GsRgbaq rgbaq_;
    GsSt st_;
    GsUv uv_;
    GsFog fog_;
    GsTexa texa_;
    GsFogcol fogcol_;
    GsTexclut texclut_;
    GsDthe dthe_;
    GsColclamp colclamp_;
    GsPabe pabe_;
    GsBitbltbuf bitbltbuf_;
    GsTrxpos trxpos_;
    GsTrxreg trxreg_;
    GsTrxdir trxdir_;
    uint64_t scanmsk_ = 0, dimx_ = 0, texflush_ = 0;

    GsVertex queue_[3]{};
    int queued_ = 0;
    uint32_t qbitsIn_ = 0;  // the Q the GIF keeps, for a vertex list without ST
    uint64_t prims_ = 0;

    DrawState state_;
    bool stateDirty_ = true;
    uint64_t stateVersion_ = 0;     // counts rebuilds of state_
    RasterBands* bands_ = nullptr;  // null: one thread
    PaletteTextures textures_;      // 8-bit palette textures expanded for the vector spans

    // The CLUT buffer: loaded from local memory at the first draw after a TEX0 write asked for it.
    uint32_t clut_[512];
    bool clutPending_ = false;
    GsTex0 clutTex0_{};

    Transfer hostToLocal_;
    Transfer localToHost_;
    bool discardImage_ = false;  // IMAGE data after a started transfer's rectangle is dropped without a word

    // Privileged registers.
    uint64_t pmode_ = 0, smode1_ = 0, smode2_ = 0, dispfb_[2] = {}, display_[2] = {}, bgcolor_ = 0;
    uint64_t csr_ = 0, imr_ = 0;
};

// The console's one graphics synthesizer.
GsDevice& Gs();

}  // namespace console::gs
