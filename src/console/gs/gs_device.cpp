// The device as a whole: the one instance, its rasteriser threads and the reset to its power-on state.
// The rest of GsDevice is in gs_device_*.cpp by role.
#include "console/gs/gs_device.h"

#include <sched.h>
#include <algorithm>
#include <cstring>

namespace console::gs {

GsDevice& Gs() {
    static GsDevice device;
    return device;
}

// The row list stays out of the game's heap, so the heap's figures (and the addresses the log shows) do
// not depend on how many rasteriser threads draw.
GsDevice::GsDevice() : rast_(mem_, true) {
    Reset(true);
}

GsDevice::~GsDevice() {
    RasterBands::Destroy(bands_);
}

void GsDevice::SetRasterThreads(int threads) {
    if (threads == RasterThreads()) return;
    RasterBands::Destroy(bands_);
    textures_.Release();
    bands_ = threads > 1 ? RasterBands::Create(mem_, threads) : nullptr;
}

void GsDevice::Reset(bool clearMemory) {
    Flush();
    // Nothing worked out before the reset is kept: the expansions and the drawing state go, so what the
    // device does next depends only on what it is sent from now on (versions keep counting, so nothing
    // prepared for an earlier state is taken for a later one).
    textures_ = PaletteTextures();
    state_ = DrawState{};
    if (clearMemory) mem_.Clear();
    std::memset(ctx_, 0, sizeof(ctx_));
    prim_ = {};
    prmode_ = {};
    prmodecont_ = RegFrom<GsPrmodecont>(1);
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(0x3F800000) << 32);  // Q = 1.0
    st_ = {};
    uv_ = {};
    fog_ = {};
    texa_ = {};
    fogcol_ = {};
    texclut_ = {};
    dthe_ = {};
    colclamp_ = RegFrom<GsColclamp>(1);
    pabe_ = {};
    bitbltbuf_ = {};
    trxpos_ = {};
    trxreg_ = {};
    trxdir_ = RegFrom<GsTrxdir>(kXdirNone);
    scanmsk_ = dimx_ = texflush_ = 0;
    queued_ = 0;
    stateDirty_ = true;
    std::memset(clut_, 0, sizeof(clut_));
    clutPending_ = false;
    hostToLocal_ = Transfer{};
    localToHost_ = Transfer{};
    discardImage_ = false;
    pmode_ = smode1_ = smode2_ = bgcolor_ = imr_ = 0;
    dispfb_[0] = dispfb_[1] = display_[0] = display_[1] = 0;
    csr_ = 0;
}

int GsDevice::DefaultRasterThreads() {
    cpu_set_t set;
    CPU_ZERO(&set);
    const int cpus = sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    return std::clamp(cpus, 1, 4);
}

}  // namespace console::gs
