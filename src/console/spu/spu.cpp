#include "console/spu/spu.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "console/kernel/clock.h"
#include "console/spu/block_cache.h"

namespace console {
namespace {

struct SpuCore {
    SpuVoice voices[kSpuVoicesPerCore];
    uint16_t masterL = 0;
    uint16_t masterR = 0;
    uint32_t attr = 0;
    uint32_t keyOn = 0;  // last values written, read back as the library does
    uint32_t keyOff = 0;
};

alignas(64) uint8_t g_spuMemory[kSpuMemSize];
SpuCore g_cores[kSpuCores];
SpuSink g_sink = nullptr;
SpuOutputStage g_stage = nullptr;
void* g_stageUser = nullptr;
void* g_sinkUser = nullptr;
uint64_t g_mixedFrames = 0;
float g_limiterCut = 0.0f;  // 1 - the limiter's gain
uint64_t g_limitedFrames = 0;

constexpr int kMixChunk = kSpuMixMaxFrames;

uint32_t Code(uint32_t entry) {
    return entry & 0xFFC0u;
}
int Core(uint32_t entry) {
    return static_cast<int>(entry & 1u);
}
int VoiceOf(uint32_t entry) {
    return static_cast<int>((entry >> 1) & 0x1Fu);
}

// Entries above 16 bits or naming voice 24..31 are not registers.
bool VoiceEntry(uint32_t entry) {
    return entry <= 0xFFFFu && VoiceOf(entry) < kSpuVoicesPerCore;
}
bool CoreEntry(uint32_t entry, uint32_t code) {
    return (entry & ~1u) == code;
}

uint64_t ClockFrames() {
    return ClockCycles() / kCpuCyclesPerOutputFrame;
}

// The output's peak limiter (spu.h): the gain that keeps each frame within the ceiling. The cut (not the
// gain) decays, so that it reaches 0 rather than stalling a rounding step short of unity.
void Limit(const int32_t* accL, const int32_t* accR, int16_t* out, int n) {
    constexpr float kKeep = 1.0f - 1.0f / (kSpuLimiterReleaseMs * kSpuOutputRate / 1000.0f);
    float cut = g_limiterCut;
    for (int i = 0; i < n; ++i) {
        const int32_t l = accL[i], r = accR[i];
        const int32_t peak = std::max(std::abs(l), std::abs(r));
        if (cut == 0.0f && peak <= kSpuLimiterCeiling) {
            out[2 * i] = static_cast<int16_t>(l);
            out[2 * i + 1] = static_cast<int16_t>(r);
            continue;
        }
        if (static_cast<float>(peak) * (1.0f - cut) > static_cast<float>(kSpuLimiterCeiling))
            cut = 1.0f - static_cast<float>(kSpuLimiterCeiling) / static_cast<float>(peak);
        ++g_limitedFrames;
        const float g = 1.0f - cut;
        // Truncation toward zero keeps |l * g| at or under the ceiling.
        out[2 * i] = static_cast<int16_t>(std::clamp(static_cast<float>(l) * g, -32767.0f, 32767.0f));
        out[2 * i + 1] = static_cast<int16_t>(std::clamp(static_cast<float>(r) * g, -32767.0f, 32767.0f));
        cut *= kKeep;
        if (cut < 1e-5f) cut = 0.0f;
    }
    g_limiterCut = cut;
}

}  // namespace

const uint8_t* SpuMemory() {
    return g_spuMemory;
}

void SpuInitVoices() {
    for (SpuCore& c : g_cores) {
        for (SpuVoice& v : c.voices) v.reset();
        c.masterL = c.masterR = 0;
        c.attr = 0;
        c.keyOn = c.keyOff = 0;
    }
    g_limiterCut = 0.0f;
}

void SpuReset() {
    std::memset(g_spuMemory, 0, sizeof g_spuMemory);
    SpuDecodedBlocks().invalidate();
    SpuInitVoices();
    g_sink = nullptr;
    g_sinkUser = nullptr;
    // Output starts now; time that passed before the reset is not owed.
    g_mixedFrames = ClockFrames();
}

bool SpuWriteParam(uint32_t entry, uint32_t value) {
    const uint16_t v = static_cast<uint16_t>(value);
    SpuCore& core = g_cores[Core(entry)];
    if (CoreEntry(entry, kSdMasterVolL)) {
        core.masterL = std::min<uint16_t>(v, kSpuMaxVolume);
        return true;
    }
    if (CoreEntry(entry, kSdMasterVolR)) {
        core.masterR = std::min<uint16_t>(v, kSpuMaxVolume);
        return true;
    }
    if (!VoiceEntry(entry)) return false;
    SpuVoice& voice = core.voices[VoiceOf(entry)];
    switch (Code(entry)) {
        case kSdVolL:
            voice.volL = std::min<uint16_t>(v, kSpuMaxVolume);
            return true;
        case kSdVolR:
            voice.volR = std::min<uint16_t>(v, kSpuMaxVolume);
            return true;
        case kSdPitch:
            voice.pitch = std::min<uint16_t>(v, kSpuMaxPitch);
            return true;
        case kSdAdsr1:
            voice.adsr1 = v;
            return true;
        case kSdAdsr2:
            voice.adsr2 = v;
            return true;
        default:
            return false;
    }
}

bool SpuWriteSwitch(uint32_t entry, uint32_t value) {
    SpuCore& core = g_cores[Core(entry)];
    const uint32_t mask = value & kSpuAllVoices;
    if (CoreEntry(entry, kSdKeyOn)) {
        core.keyOn = mask;
        for (int k = 0; k < kSpuVoicesPerCore; ++k)
            if (mask & (1u << k)) core.voices[k].keyOn(g_spuMemory);
        return true;
    }
    if (CoreEntry(entry, kSdKeyOff)) {
        core.keyOff = mask;
        for (int k = 0; k < kSpuVoicesPerCore; ++k)
            if (mask & (1u << k)) core.voices[k].keyOff();
        return true;
    }
    if (CoreEntry(entry, kSdEndFlags)) {
        // Writing the end-flag switch clears the flags of the voices named (the register is
        // read-mostly; the game never writes it).
        for (int k = 0; k < kSpuVoicesPerCore; ++k)
            if (mask & (1u << k)) core.voices[k].setEndFlag(false);
        return true;
    }
    return false;
}

int64_t SpuReadSwitch(uint32_t entry) {
    const SpuCore& core = g_cores[Core(entry)];
    if (CoreEntry(entry, kSdEndFlags)) {
        uint32_t flags = 0;
        for (int k = 0; k < kSpuVoicesPerCore; ++k)
            if (core.voices[k].endFlag()) flags |= 1u << k;
        return flags;
    }
    if (CoreEntry(entry, kSdKeyOn)) return core.keyOn;
    if (CoreEntry(entry, kSdKeyOff)) return core.keyOff;
    return -1;
}

bool SpuWriteAddress(uint32_t entry, uint32_t value) {
    if (!VoiceEntry(entry) || Code(entry) != kSdStartAddr) return false;
    // Addresses are bytes of sound memory; the voice starts at the block holding the address.
    g_cores[Core(entry)].voices[VoiceOf(entry)].startAddr = value % kSpuMemSize;
    return true;
}

bool SpuWriteAttribute(uint32_t entry, uint32_t value) {
    if (!CoreEntry(entry, kSdCoreAttr)) return false;
    g_cores[Core(entry)].attr = value & 0xFFFFu;
    return true;
}

bool SpuWriteMemory(uint32_t spuAddr, const uint8_t* src, uint32_t size) {
    if (spuAddr > kSpuMemSize || size > kSpuMemSize - spuAddr) return false;
    if (size) {
        std::memmove(g_spuMemory + spuAddr, src, size);
        SpuDecodedBlocks().invalidate();
    }
    return true;
}

void SpuMix(int16_t* out, int frames) {
    int32_t accL[kMixChunk];
    int32_t accR[kMixChunk];
    while (frames > 0) {
        const int n = std::min(frames, kMixChunk);
        std::memset(accL, 0, sizeof(int32_t) * n);
        std::memset(accR, 0, sizeof(int32_t) * n);
        for (SpuCore& core : g_cores)
            for (SpuVoice& v : core.voices)
                if (v.sounding()) v.mix(g_spuMemory, accL, accR, n, core.masterL, core.masterR);
        if (g_stage) g_stage(accL, accR, n, g_stageUser);
        Limit(accL, accR, out, n);
        out += 2 * n;
        frames -= n;
    }
}

void SpuSetOutputStage(SpuOutputStage stage, void* user) {
    g_stage = stage;
    g_stageUser = user;
}

void SpuSetSink(SpuSink sink, void* user) {
    g_sink = sink;
    g_sinkUser = user;
}

int SpuCatchUp() {
    const uint64_t target = ClockFrames();
    if (target < g_mixedFrames) {
        // The clock was reset underneath us: start again from its present.
        g_mixedFrames = target;
        return 0;
    }
    int total = 0;
    int16_t buf[2 * kMixChunk];
    while (g_mixedFrames < target) {
        const int n = static_cast<int>(std::min<uint64_t>(target - g_mixedFrames, kMixChunk));
        SpuMix(buf, n);
        if (g_sink) g_sink(buf, n, g_sinkUser);
        g_mixedFrames += static_cast<uint64_t>(n);
        total += n;
    }
    return total;
}

uint64_t SpuMixedFrames() {
    return g_mixedFrames;
}

uint64_t SpuLimitedFrames() {
    return g_limitedFrames;
}

float SpuLimiterGain() {
    return 1.0f - g_limiterCut;
}

const SpuVoice& SpuGetVoice(int core, int voice) {
    return g_cores[core & 1].voices[static_cast<unsigned>(voice) % kSpuVoicesPerCore];
}

uint16_t SpuMasterVolume(int core, int right) {
    return right ? g_cores[core & 1].masterR : g_cores[core & 1].masterL;
}

uint32_t SpuCoreAttribute(int core) {
    return g_cores[core & 1].attr;
}

}  // namespace console
