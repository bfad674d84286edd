// The privileged registers and what the display circuits show.
#include "console/gs/gs_device.h"

#include <cstring>

namespace console::gs {

void GsDevice::WritePriv(uint32_t addr, uint64_t value) {
    switch (addr) {
        case kPrivPmode:
            pmode_ = value;
            break;
        case kPrivSmode1:
            smode1_ = value;
            break;
        case kPrivSmode2:
            smode2_ = value;
            break;
        case kPrivDispfb1:
            dispfb_[0] = value;
            break;
        case kPrivDisplay1:
            display_[0] = value;
            break;
        case kPrivDispfb2:
            dispfb_[1] = value;
            break;
        case kPrivDisplay2:
            display_[1] = value;
            break;
        case kPrivBgcolor:
            bgcolor_ = value;
            break;
        case kPrivCsr:
            // Bit 9 resets the drawing side; the field bit belongs to the video timing and is read-only.
            if (value & (1u << 9)) Reset(false);
            break;
        case kPrivImr:
            imr_ = value;
            break;
        default:
            break;  // timing registers of the video output: nothing to model
    }
}

uint64_t GsDevice::ReadPriv(uint32_t addr) const {
    switch (addr) {
        case kPrivPmode:
            return pmode_;
        case kPrivSmode1:
            return smode1_;
        case kPrivSmode2:
            return smode2_;
        case kPrivDispfb1:
            return dispfb_[0];
        case kPrivDisplay1:
            return display_[0];
        case kPrivDispfb2:
            return dispfb_[1];
        case kPrivDisplay2:
            return display_[1];
        case kPrivBgcolor:
            return bgcolor_;
        case kPrivCsr:
            return csr_;
        case kPrivImr:
            return imr_;
        default:
            return 0;
    }
}

void GsDevice::ToggleField() {
    csr_ ^= kCsrFieldBit;
}

bool GsDevice::ReadDisplay(uint8_t* rgba) const {
    Flush(RasterBands::Wait::kDisplay);
    const GsPmode pm = RegFrom<GsPmode>(pmode_);
    int circuit = -1;
    if (pm.EN1) {
        circuit = 0;
    } else if (pm.EN2) {
        circuit = 1;
    }
    const size_t total = size_t(kDisplayWidth) * kDisplayHeight;
    if (circuit < 0) {
        for (size_t i = 0; i < total; ++i) {
            rgba[i * 4 + 0] = rgba[i * 4 + 1] = rgba[i * 4 + 2] = 0;
            rgba[i * 4 + 3] = 255;
        }
        return false;
    }
    const GsDispfb fb = RegFrom<GsDispfb>(dispfb_[circuit]);
    const uint32_t bp = uint32_t(fb.FBP) * (LocalMemory::kPageBytes / LocalMemory::kBlockBytes);
    uint32_t psm = uint32_t(fb.PSM);
    if (psm != kPsmCt32 && psm != kPsmCt24 && psm != kPsmCt16 && psm != kPsmCt16S) psm = kPsmCt32;
    for (int y = 0; y < kDisplayHeight; ++y) {
        const uint32_t rowAddr = LocalMemory::PixelAddress(bp, uint32_t(fb.FBW), psm, 0, uint32_t(y));
        if (psm == kPsmCt32 && rowAddr + uint32_t(kDisplayWidth) * 4u <= LocalMemory::kSize) {
            // The usual case: whole rows straight out of memory, alpha made opaque.
            uint8_t* o = rgba + size_t(y) * kDisplayWidth * 4;
            std::memcpy(o, mem_.Data() + rowAddr, size_t(kDisplayWidth) * 4);
            for (int x = 0; x < kDisplayWidth; ++x) o[x * 4 + 3] = 255;
            continue;
        }
        for (int x = 0; x < kDisplayWidth; ++x) {
            const uint32_t c = mem_.ReadPixel(bp, uint32_t(fb.FBW), psm, uint32_t(x), uint32_t(y));
            uint8_t* o = rgba + (size_t(y) * kDisplayWidth + size_t(x)) * 4;
            o[0] = uint8_t(c);
            o[1] = uint8_t(c >> 8);
            o[2] = uint8_t(c >> 16);
            o[3] = 255;
        }
    }
    return true;
}

}  // namespace console::gs
