// Puts the I/O processor's driver modules on a scratch disc and loads them, as the boot does, so the
// pad and sound libraries can bind. Also small helpers for measuring mixed sound.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "support/temp_dir.h"

namespace testsupport {

class DriverModules {
public:
    DriverModules() {
        static const char* const kModules[] = {"SIO2MAN.IRX", "MTAPMAN.IRX", "PADMAN.IRX", "LIBSD.IRX",
                                               "SDRDRV.IRX"};
        for (const char* m : kModules) dir_.write(std::string("SYSTEM/") + m, std::string("module"));
        console::CdMount(dir_.path().c_str());
        console::IopReset();
        for (const char* m : kModules)
            loaded_ +=
                sceSifLoadModule((std::string("cdrom0:\\SYSTEM\\") + m + ";1").c_str(), 0, nullptr) >= 0;
    }
    ~DriverModules() {
        console::IopReset();
        console::CdUnmount();
    }
    int loaded() const { return loaded_; }

private:
    TempDir dir_;
    int loaded_ = 0;
};

// Frequency of one channel of interleaved stereo, from the times of its rising zero crossings
// (interpolated between samples).
inline double MeasureFrequency(const std::vector<int16_t>& stereo, int channel, int rate) {
    std::vector<double> times;
    const size_t frames = stereo.size() / 2;
    for (size_t i = 1; i < frames; ++i) {
        const int a = stereo[2 * (i - 1) + channel];
        const int b = stereo[2 * i + channel];
        if (a < 0 && b >= 0) times.push_back(static_cast<double>(i - 1) + static_cast<double>(-a) / (b - a));
    }
    if (times.size() < 2) return 0.0;
    return (times.size() - 1) * static_cast<double>(rate) / (times.back() - times.front());
}

inline int PeakAbs(const std::vector<int16_t>& stereo, int channel, size_t from = 0, size_t to = SIZE_MAX) {
    int peak = 0;
    for (size_t i = from; i < stereo.size() / 2 && i < to; ++i)
        peak = std::max(peak, std::abs(int{stereo[2 * i + channel]}));
    return peak;
}

// One 16-byte ADPCM block of filter 0, shift 12 - nibble n decodes to exactly n - so tests can write
// sample values -8..7 directly; shift s scales them by 2^(12-s).
inline std::vector<uint8_t> RawBlock(const int (&values)[28], int shift, uint8_t flags) {
    std::vector<uint8_t> b(16, 0);
    b[0] = static_cast<uint8_t>(shift & 0x0F);
    b[1] = flags;
    for (int i = 0; i < 14; ++i)
        b[2 + i] = static_cast<uint8_t>((values[2 * i] & 0x0F) | (values[2 * i + 1] & 0x0F) << 4);
    return b;
}

// A square wave of period 28 samples: nibble 7 for 14 samples, then -8; the levels are 7 << (12 - shift)
// and -8 << (12 - shift) (shift 2: 7168 and -8192).
inline std::vector<uint8_t> SquareBlock(int shift, uint8_t flags) {
    int v[28];
    for (int i = 0; i < 28; ++i) v[i] = i < 14 ? 7 : -8;
    return RawBlock(v, shift, flags);
}

inline std::vector<uint8_t> ConstantBlock(int nibble, int shift, uint8_t flags) {
    int v[28];
    for (int& x : v) x = nibble;
    return RawBlock(v, shift, flags);
}

}  // namespace testsupport
