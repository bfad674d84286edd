// Feeds arbitrary bytes to the sample checks and, whatever they say, plays them on the sound processor:
// the checked image as the engine would start it, and the raw bytes as ADPCM placed at the very top of
// sound memory, where a decoder that misread flags or lengths would run off the end.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "engine/hal/sound_hw.h"

namespace {

void Play(uint32_t addr, uint16_t pitch, int frames) {
    console::SpuWriteAddress(console::kSdStartAddr, addr);
    console::SpuWriteParam(console::kSdPitch, pitch);
    console::SpuWriteParam(console::kSdVolL, 0x3FFF);
    console::SpuWriteParam(console::kSdVolR, 0x3FFF);
    console::SpuWriteParam(console::kSdAdsr1, 0x000F);
    console::SpuWriteParam(console::kSdAdsr2, 0x0010);
    console::SpuWriteSwitch(console::kSdKeyOn, 1);
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    console::SpuMix(out.data(), frames);
    console::SpuWriteSwitch(console::kSdKeyOff, 1);
    console::SpuMix(out.data(), frames);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Every input starts from the same sound processor (memory, voices and decoded blocks reset), so a
    // crash file reproduces on its own.
    console::SpuReset();
    console::SpuWriteParam(console::kSdMasterVolL, 0x3FFF);
    console::SpuWriteParam(console::kSdMasterVolR, 0x3FFF);
    _SampleHeaderRam h;
    if (veSoundCheckSampleImage(data, static_cast<uint32_t>(size), &h) == 0) {
        console::SpuWriteMemory(kSoundMemBottom, data + kSampleHeaderDiscBytes,
                                static_cast<uint32_t>(h.length));
        Play(kSoundMemBottom, static_cast<uint16_t>(veSoundHardwareRateToPitch(h.sampleRate)), 2000);
    }
    // Raw bytes, whole blocks, ending exactly at the top of sound memory; pitch from the first bytes.
    const uint32_t raw = static_cast<uint32_t>(size) & ~15u;
    if (raw > 0 && raw <= console::kSpuMemSize) {
        const uint32_t at = console::kSpuMemSize - raw;
        console::SpuWriteMemory(at, data, raw);
        const uint16_t pitch = static_cast<uint16_t>(size >= 2 ? (data[0] | data[1] << 8) : 0x1000);
        Play(at, pitch, 600);
    }
    return 0;
}
