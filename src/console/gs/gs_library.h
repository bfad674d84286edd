// The graphics library calls the game makes (sceGs*): building register sets in memory, sending them to
// the graphics synthesizer stand-in at once, display settings and reading an image back. Register sets are
// A+D pairs (a 64-bit image, then the 64-bit register address) so they can follow a GIF tag directly.
#pragma once

#include <cstdint>

#include "console/gif/gif_tag.h"
#include "console/gs/gs_registers.h"

// Drawing environment of context 1 (8 A+D pairs, 128 bytes).
struct sceGsDrawEnv1 {
    console::gs::GsFrame frame1;
    uint64_t frame1addr;
    console::gs::GsZbuf zbuf1;
    uint64_t zbuf1addr;
    console::gs::GsXyoffset xyoffset1;
    uint64_t xyoffset1addr;
    console::gs::GsScissor scissor1;
    uint64_t scissor1addr;
    console::gs::GsPrmodecont prmodecont;
    uint64_t prmodecontaddr;
    console::gs::GsColclamp colclamp;
    uint64_t colclampaddr;
    console::gs::GsDthe dthe;
    uint64_t dtheaddr;
    console::gs::GsTest test1;
    uint64_t test1addr;
};

// The same for context 2 (its own register addresses).
struct sceGsDrawEnv2 {
    console::gs::GsFrame frame2;
    uint64_t frame2addr;
    console::gs::GsZbuf zbuf2;
    uint64_t zbuf2addr;
    console::gs::GsXyoffset xyoffset2;
    uint64_t xyoffset2addr;
    console::gs::GsScissor scissor2;
    uint64_t scissor2addr;
    console::gs::GsPrmodecont prmodecont;
    uint64_t prmodecontaddr;
    console::gs::GsColclamp colclamp;
    uint64_t colclampaddr;
    console::gs::GsDthe dthe;
    uint64_t dtheaddr;
    console::gs::GsTest test2;
    uint64_t test2addr;
};

// A clear: Z test ALWAYS, a sprite of colour and depth over a rectangle, then the caller's Z test back
// (6 A+D pairs, 96 bytes).
struct sceGsClear {
    console::gs::GsTest testa;
    uint64_t testaaddr;
    console::gs::GsPrim prim;
    uint64_t primaddr;
    console::gs::GsRgbaq rgbaq;
    uint64_t rgbaqaddr;
    console::gs::GsXyz xyz2a;
    uint64_t xyz2aaddr;
    console::gs::GsXyz xyz2b;
    uint64_t xyz2baddr;
    console::gs::GsTest testb;
    uint64_t testbaddr;
};

// The alpha environment (4 A+D pairs): ALPHA, PABE, TEXA, FBA.
struct sceGsAlphaEnv {
    console::gs::GsAlpha alpha1;
    uint64_t alpha1addr;
    console::gs::GsPabe pabe;
    uint64_t pabeaddr;
    console::gs::GsTexa texa;
    uint64_t texaaddr;
    console::gs::GsFba fba1;
    uint64_t fba1addr;
};

// Display settings, written to the privileged registers by sceGsPutDispEnv.
struct sceGsDispEnv {
    console::gs::GsPmode pmode;
    console::gs::GsSmode2 smode2;
    console::gs::GsDispfb dispfb;
    console::gs::GsDisplay display;
    console::gs::GsBgcolor bgcolor;
};

// A prepared local-to-host copy of a rectangle.
struct sceGsStoreImage {
    console::gs::GsBitbltbuf bitbltbuf;
    console::gs::GsTrxpos trxpos;
    console::gs::GsTrxreg trxreg;
};

// Interlace and field modes of sceGsResetGraph.
inline constexpr int SCE_GS_NOINTERLACE = 0;
inline constexpr int SCE_GS_INTERLACE = 1;
inline constexpr int SCE_GS_NTSC = 2;
inline constexpr int SCE_GS_FIELD = 0;
inline constexpr int SCE_GS_FRAME = 1;

// mode 0: full reset (registers, paths and local memory cleared); mode 1: registers and paths only,
// local memory kept. Returns 0.
int sceGsResetGraph(short mode, short inter, short omode, short ffmode);
// Drops any half-sent GIF packet on every path.
void sceGsResetPath();
// Waits until every path has been sent (the geometry stage drained). Returns 0.
int sceGsSyncPath(int mode, uint16_t timeout);

// Default drawing environment: FRAME page 0 in psm, width w (FBW rounded up to 64 pixels); ZBUF after the
// frame buffer in zpsm; XYOFFSET so the w x h area is centred at (2048, 2048); SCISSOR 0..w-1 x 0..h-1;
// PRMODECONT 1; COLCLAMP 1; DTHE 0; TEST with ZTE 1 and ZTST = ztest. When zpsm is not a Z format (or
// ztest is 0) there is no Z buffer: Z writes are masked so a target without one is never written as Z.
// Returns the number of A+D quadwords (8).
int sceGsSetDefDrawEnv(sceGsDrawEnv1* draw, short psm, short w, short h, short ztest, short zpsm);
int sceGsSetDefDrawEnv2(sceGsDrawEnv2* draw, short psm, short w, short h, short ztest, short zpsm);

// Clear sprite over (x, y, w, h) in window pixels (x, y are primitive coordinates before XYOFFSET, in
// pixels), colour (r, g, b, a) and depth z; ztest is restored afterwards (testb = ZTE 1, ZTST ztest).
// Returns the number of A+D quadwords (6).
int sceGsSetDefClear(sceGsClear* cp, short ztest, short x, short y, short w, short h, uint8_t r, uint8_t g,
                     uint8_t b, uint8_t a, uint32_t z);
int sceGsSetDefClear2(sceGsClear* cp, short ztest, short x, short y, short w, short h, uint8_t r, uint8_t g,
                      uint8_t b, uint8_t a, uint32_t z);

// ALPHA 0x44 ((Cs - Cd) * As + Cd), PABE off, TEXA TA0 0x00 TA1 0x80, FBA 0. Returns 4.
int sceGsSetDefAlphaEnv(sceGsAlphaEnv* ap, short pabe);

// Display of a w x h buffer at page 0 in psm, centred on screen, moved by (dx, dy).
void sceGsSetDefDispEnv(sceGsDispEnv* disp, short psm, short w, short h, short dx, short dy);
void sceGsPutDispEnv(const sceGsDispEnv* disp);

// XYOFFSET = centre minus half the scissor size, plus half a pixel down when halfoff is non-zero (the odd
// field). Returns 0.
int sceGsSetHalfOffset(sceGsDrawEnv1* draw, short centerx, short centery, short halfoff);
int sceGsSetHalfOffset2(sceGsDrawEnv2* draw, short centerx, short centery, short halfoff);

// Sends the GIF packet that starts at the tag (PACKED/REGLIST/IMAGE, NLOOP loops) at once, on PATH3.
// Returns 0.
int sceGsPutDrawEnv(const sceGifTag* giftag);

// Local-to-host copy of (x, y, w, h) from the buffer at block sbp, width sbw (64-pixel units), format spsm.
int sceGsSetDefStoreImage(sceGsStoreImage* sp, short sbp, short sbw, short spsm, short x, short y, short w,
                          short h);
// Copies the prepared rectangle into dstaddr, rows top to bottom, packed. Returns 0, or -1 when the
// rectangle or format is invalid (nothing written then).
int sceGsExecStoreImage(const sceGsStoreImage* sp, void* dstaddr);

// GIF intermittent mode: transfers are synchronous here, so it has no effect.
void sceDevGifPutImtMode(int imt);
