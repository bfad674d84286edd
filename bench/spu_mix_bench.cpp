// Mixing cost of the sound processor stand-in: 48 voices sounding at once (both cores full), each
// looping a synthesised sample at its own pitch, mixed to one second of 48 kHz stereo per iteration.
#include <benchmark/benchmark.h>

#include <vector>

#include "console/kernel/clock.h"
#include "console/spu/adpcm_encoder.h"
#include "console/spu/block_cache.h"
#include "console/spu/spu.h"
#include "engine/hal/sound_format.h"
#include "mkdisc/sounds.h"

namespace {

void SetUpVoices() {
    console::ClockReset();
    console::SpuReset();
    const std::vector<int16_t> pcm = SynthEngine(120.0, 22050, 22050, 9000);
    const std::vector<uint8_t> adpcm = AdpcmEncode(pcm.data(), pcm.size(), true);
    const uint32_t addr = 0x20000;
    console::SpuWriteMemory(addr, adpcm.data(), static_cast<uint32_t>(adpcm.size()));
    for (uint32_t core = 0; core < 2; ++core) {
        console::SpuWriteParam(console::kSdMasterVolL | core, 0x3FFF);
        console::SpuWriteParam(console::kSdMasterVolR | core, 0x3FFF);
        for (uint32_t v = 0; v < 24; ++v) {
            const uint32_t e = v << 1 | core;
            console::SpuWriteAddress(console::kSdStartAddr | e, addr + (v * 7 % 50) * 16);
            console::SpuWriteParam(console::kSdPitch | e, 0x600 + (v + 24 * core) * 0x61);
            console::SpuWriteParam(console::kSdVolL | e, 0x0400 + v * 0x100);
            console::SpuWriteParam(console::kSdVolR | e, 0x1C00 - v * 0x80);
            console::SpuWriteParam(console::kSdAdsr1 | e, 0x000F);
            console::SpuWriteParam(console::kSdAdsr2 | e, 0x0010);
        }
        console::SpuWriteSwitch(console::kSdKeyOn | core, console::kSpuAllVoices);
    }
}

void BM_SpuMix48VoicesOneSecond(benchmark::State& state) {
    SetUpVoices();
    std::vector<int16_t> out(2 * 48000);
    int sounding = 0;
    for (auto _ : state) {
        console::SpuMix(out.data(), 48000);
        benchmark::DoNotOptimize(out.data());
    }
    for (int core = 0; core < 2; ++core)
        for (int v = 0; v < 24; ++v) sounding += console::SpuGetVoice(core, v).sounding();
    state.counters["voices"] = sounding;
}
BENCHMARK(BM_SpuMix48VoicesOneSecond)->Unit(benchmark::kMillisecond);

// The same with the decoded-block cache emptied before every 256-frame chunk: the cost when no block
// is ever reused (sounds that do not loop).
void BM_SpuMix48VoicesOneSecondDecodingEveryBlock(benchmark::State& state) {
    SetUpVoices();
    std::vector<int16_t> out(2 * 256);
    for (auto _ : state) {
        for (int done = 0; done < 48000; done += 256) {
            console::SpuDecodedBlocks().invalidate();
            console::SpuMix(out.data(), 48000 - done < 256 ? 48000 - done : 256);
        }
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_SpuMix48VoicesOneSecondDecodingEveryBlock)->Unit(benchmark::kMillisecond);

}  // namespace
