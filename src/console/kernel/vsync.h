// Vertical blanks. The console raises one 60 times a second and the graphics library calls the game's
// handler from it; the game waits for them at the start of a frame and with sceGsSyncV.
//
// There is no interrupt thread. Blanks are delivered on the main thread whenever it waits for one:
// - deterministic clock (headless, tests): each wait delivers exactly one blank, which advances the
//   virtual clock by 1/60 s, so runs repeat bit for bit;
// - real-time clock (window): a wait first delivers the blanks whose time has already passed (a slow
//   frame misses none of them, up to a small cap), otherwise sleeps until the next 60 Hz boundary.
// Delivering a blank advances the clock, flips the GS field bit and calls the installed handler.
#pragma once

#include <cstdint>

using VsyncHandlerFn = int (*)(int);

// Waits for the next vertical blank; returns 1 when it began the odd field (CSR FIELD bit clear), else 0.
int sceGsSyncV(int mode);
// Installs the handler called at every vertical blank (null removes it); returns the previous one.
VsyncHandlerFn sceGsSyncVCallback(VsyncHandlerFn handler);

namespace console {

// Waits as sceGsSyncV does, without the return value.
void VsyncWait();
// Delivers one blank now, whatever the clock mode. Returns the number delivered so far.
uint64_t VsyncDeliver();
uint64_t VsyncCount();
// The field the last blank began: odd when the CSR FIELD bit is clear.
bool VsyncOddField();
// No handler, no blanks delivered.
void VsyncReset();

}  // namespace console
