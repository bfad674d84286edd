#include "engine/hal/sound_hw.h"

#include <cmath>
#include <cstring>

#include "console/iop/iop.h"
#include "console/mem/addr.h"
#include "console/spu/sd_remote.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
_SoundBatch Batch[1];
int nBatches = 1;
uint32_t BatchOnIOP = 0;
}  // namespace engine
// Envelope 0 and 1: near-instant attack to full level; envelope 0 releases more slowly.
const uint16_t adsr1[2] = {0x000F, 0x0001};
const uint16_t adsr2[2] = {0x0010, 0x0040};
namespace engine {
uint32_t soundMemBottom = kSoundMemBottom;
uint32_t soundMemTop = kSoundMemTop;
int soundHardwareInitialized = 0;
}  // namespace engine

namespace {

constexpr uint16_t kRegVolL = 0x0000;
constexpr uint16_t kRegVolR = 0x0100;
constexpr uint16_t kRegPitch = 0x0200;
constexpr uint16_t kRegAdsr1 = 0x0300;
constexpr uint16_t kRegAdsr2 = 0x0400;
constexpr uint16_t kRegMasterL = 0x0980;
constexpr uint16_t kRegMasterR = 0x0A80;
constexpr uint16_t kRegKeyOn = 0x1500;
constexpr uint16_t kRegKeyOff = 0x1600;
constexpr uint16_t kRegEndFlags = 0x1700;
constexpr uint16_t kRegStartAddr = 0x2040;
constexpr uint16_t kRegCoreAttr = 0x000A;
constexpr int kVoicesPerCore = 24;

int CoreOf(int voice) {
    return voice < kVoicesPerCore ? 0 : 1;
}
int VoiceInCore(int voice) {
    return voice < kVoicesPerCore ? voice : voice - kVoicesPerCore;
}
bool ValidVoice(int voice) {
    return voice >= 0 && voice < kSoundVoices;
}
uint16_t Entry(uint16_t code, int voice) {
    return static_cast<uint16_t>(code | VoiceInCore(voice) << 1 | CoreOf(voice));
}

float Clamp(float v, float lo, float hi) {
    if (!(v >= lo)) return lo;  // also NaN
    return v > hi ? hi : v;
}

// 2x - x^2/16383 in unsigned integers: louder in the middle of the range, 0 and 0x3FFF fixed.
uint32_t LoudnessCurve(uint32_t x) {
    if (x > 0x3FFF) x = 0x3FFF;
    const uint32_t out = 2 * x - (x * x) / 16383u;
    return out > 0x3FFF ? 0x3FFF : out;
}

// trunc(16383 * master * share * v), held to 0..16383 (a master volume beyond 0..1 must not wrap).
uint32_t ScaledVolume(double share) {
    double x = 16383.0 * static_cast<double>(masterVolume) * share;
    if (!(x > 0.0)) return 0;
    if (x > 16383.0) x = 16383.0;
    return static_cast<uint32_t>(x);
}

}  // namespace

int veSoundHardwareAddToBatch(int batch, int command, uint16_t entry, uint32_t value) {
    if (batch < 0 || batch >= nBatches) return -1;
    _SoundBatch& b = Batch[batch];
    for (uint32_t i = 0; i < b.count; ++i) {
        _SoundBatchEntry& e = b.entries[i];
        if (e.command != command || e.entry != entry) continue;
        e.value = command == kSoundBatchCommandSwitch ? (e.value | value) : value;
        return 0;
    }
    if (b.count >= static_cast<uint32_t>(kSoundBatchEntries)) return -1;
    b.entries[b.count++] = {static_cast<uint16_t>(command), entry, value};
    return 0;
}

int veSoundHardwareSendBatch() {
    int result = 0;
    for (int b = 0; b < nBatches; ++b) {
        _SoundBatch& batch = Batch[b];
        if (batch.count == 0) continue;
        // The host has no data cache to write back before the transfer.
        if (sceSdTransToIOP(batch.entries, BatchOnIOP, batch.count * sizeof(_SoundBatchEntry), 1) < 0) {
            result = -1;  // kept for the next frame's send
            continue;
        }
        if (sceSdRemote(1, kSdCmdProcBatch, BatchOnIOP, 0, batch.count) < 0) result = -1;
        batch.count = 0;
        sceSdRemote(1, kSdCmdGetSwitch, kRegEndFlags | static_cast<uint32_t>(b));
    }
    return result;
}

int veSoundHardwareInit() {
    if (soundHardwareInitialized) return -1;
    if (sceSdRemoteInit() < 0) return -1;
    if (sceSdRemote(1, kSdCmdInit, 0) < 0) return -1;
    if (sceSifInitIopHeap() < 0) return -1;
    const uint32_t iop =
        static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sceSifAllocIopHeap(kSoundBatchOnIopBytes)));
    if (iop == 0) return -1;
    BatchOnIOP = iop;
    for (_SoundBatch& b : Batch) b.count = 0;
    for (uint16_t core = 0; core < 2; ++core) {
        veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, kRegMasterL | core, 0x3FFF);
        veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, kRegMasterR | core, 0x3FFF);
    }
    veSoundHardwareAddToBatch(0, kSoundBatchCommandAttribute, kRegCoreAttr, 0x80);
    if (veSoundHardwareSendBatch() < 0) return -1;
    soundHardwareInitialized = 1;
    return 1;
}

int veSoundHardwareInitMemory() {
    soundMemBottom = kSoundMemBottom;
    soundMemTop = kSoundMemTop;
    return 0;
}

int veSoundHardwareInitChannel(_SampleInstance*) {
    return 0;
}

int veSoundHardwareSetChannelAddress(int voice, uint32_t address, int) {
    if (!ValidVoice(voice)) return -1;
    return veSoundHardwareAddToBatch(0, kSoundBatchCommandAddress, Entry(kRegStartAddr, voice), address);
}

int veSoundHardwareStartChannel(int voice, int) {
    if (!ValidVoice(voice)) return -1;
    return veSoundHardwareAddToBatch(0, kSoundBatchCommandSwitch, kRegKeyOn | CoreOf(voice),
                                     1u << VoiceInCore(voice));
}

int veSoundHardwareStopChannel(int voice) {
    if (!ValidVoice(voice)) return -1;
    instances[voice].status =
        (instances[voice].status & ~(kInstancePlaying | kInstanceStarted)) | kInstanceStopPending;
    return veSoundHardwareAddToBatch(0, kSoundBatchCommandSwitch, kRegKeyOff | CoreOf(voice),
                                     1u << VoiceInCore(voice));
}

int veSoundHardwareStopAllChannels() {
    for (_SampleInstance& in : instances)
        in.status = (in.status & ~(kInstancePlaying | kInstanceStarted)) | kInstanceStopPending;
    int r = 0;
    if (sceSdRemote(1, kSdCmdSetSwitch, kRegKeyOff, 0xFFFFFF) < 0) r = -1;
    if (sceSdRemote(1, kSdCmdSetSwitch, kRegKeyOff | 1u, 0xFFFFFF) < 0) r = -1;
    return r;
}

int veSoundHardwareSetChannelEnvelope(int voice, uint32_t envelope) {
    // Only two envelopes exist; anything else would index past the tables.
    if (!ValidVoice(voice) || envelope > 1) return -1;
    int r = veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, Entry(kRegAdsr1, voice), adsr1[envelope]);
    if (veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, Entry(kRegAdsr2, voice), adsr2[envelope]) < 0)
        r = -1;
    return r;
}

uint32_t veSoundHardwareRateToPitch(int32_t rate) {
    if (rate <= 0) return 0;
    // In 64 bits: rate << 12 overflows 32 bits above 524,287 Hz.
    const int64_t pitch = (static_cast<int64_t>(rate) << 12) / 48000;
    return pitch > 0x3FFF ? 0x3FFFu : static_cast<uint32_t>(pitch);
}

int veSoundHardwareSetChannelRate(int voice, int32_t rate) {
    if (!ValidVoice(voice)) return -1;
    return veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, Entry(kRegPitch, voice),
                                     veSoundHardwareRateToPitch(rate));
}

void veSoundHardwarePanToVolumes(const _Pan5Dot1* pan, uint32_t* left, uint32_t* right) {
    *left = *right = 0;
    if (!pan) return;
    const float lr = Clamp(pan->panLR, -1.0f, 1.0f);
    const float fb = Clamp(pan->panFB, -1.0f, 1.0f);
    float source;
    bool main = false;
    if (pan->panVolume != 0.0f && !std::isnan(pan->panVolume)) {
        source = pan->panVolume;
        main = true;
    } else if (pan->centerVolume != 0.0f && !std::isnan(pan->centerVolume)) {
        source = pan->centerVolume;
    } else if (pan->lfeVolume != 0.0f && !std::isnan(pan->lfeVolume)) {
        source = pan->lfeVolume;
    } else {
        return;
    }
    const double v = Clamp(source, 0.0f, 1.0f);
    double p = (static_cast<double>(lr) + 1.0) / 2.0;
    const double q = (static_cast<double>(fb) + 1.0) / 2.0;
    double back = 1.0;
    if (!main) {
        p = 0.5;
    } else if (speakerConfig == 3) {
        back = 1.0 - q;
    } else if (speakerConfig != 1) {
        p = 0.5;
    }
    *left = LoudnessCurve(ScaledVolume((1.0 - p) * v * back));
    *right = LoudnessCurve(ScaledVolume(p * v * back));
}

int veSoundHardwareSetChannelPan(int voice, const _Pan5Dot1* pan) {
    if (!ValidVoice(voice)) return -1;
    uint32_t l, r;
    veSoundHardwarePanToVolumes(pan, &l, &r);
    int result = veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, Entry(kRegVolL, voice), l);
    if (veSoundHardwareAddToBatch(0, kSoundBatchCommandParam, Entry(kRegVolR, voice), r) < 0) result = -1;
    return result;
}

int veSoundHardwareDownloadSample(_Sample* sample, uint32_t data) {
    // Sound memory at 0 belongs to the system: a sample without its own block is never written.
    if (!sample || sample->soundRam == 0 || sample->header.length <= 0) return -1;
    const uint32_t length = static_cast<uint32_t>(sample->header.length);
    uint32_t from = sample->iopRam;
    uint32_t staging = 0;
    int result = 0;
    if (from == 0) {
        staging = veSoundAllocIopRam(length);
        if (staging == 0) {
            x_printf("veSoundHardwareDownloadSample: no I/O processor memory for %u bytes\n", length);
            return -1;
        }
        if (data == 0 || sceSdTransToIOP(Ptr<const void>(data), staging, length, 1) < 0) result = -1;
        from = staging;
    }
    if (result == 0) {
        if (sceSdRemote(1, kSdCmdVoiceTrans, 0, 0, from, sample->soundRam, length) < 0) result = -1;
        if (sceSdRemote(1, kSdCmdVoiceTransStatus, 0, 1) < 0) result = -1;
    }
    if (staging) veSoundFreeIopRam(staging);
    return result;
}

int veSoundHardwareDownloadSampleToIOP(_Sample* sample, uint32_t data) {
    if (!sample || sample->iopRam == 0 || data == 0 || sample->header.length <= 0) return -1;
    return sceSdTransToIOP(Ptr<const void>(data), sample->iopRam,
                           static_cast<uint32_t>(sample->header.length), 1) < 0
               ? -1
               : 0;
}

uint32_t veSoundAllocIopRam(uint32_t size) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sceSifAllocIopHeap(size)));
}

int veSoundFreeIopRam(uint32_t address) {
    return sceSifFreeIopHeap(reinterpret_cast<void*>(static_cast<uintptr_t>(address))) == 0 ? 0 : -1;
}

bool veSoundHardwareKeyOnQueued(int voice) {
    if (!ValidVoice(voice)) return false;
    const uint16_t entry = static_cast<uint16_t>(kRegKeyOn | CoreOf(voice));
    const _SoundBatch& b = Batch[0];
    for (uint32_t i = 0; i < b.count; ++i)
        if (b.entries[i].command == kSoundBatchCommandSwitch && b.entries[i].entry == entry)
            return (b.entries[i].value >> VoiceInCore(voice)) & 1u;
    return false;
}

namespace {
bool SampleInTable(const _Sample* s) {
    return s && samples && s >= samples && s < samples + maxSamples;
}
}  // namespace

int veSoundHardwareMaintenance() {
    int result = 0;
    for (int core = 0; core < 2; ++core) {
        const int flags = sceSdRemote(1, kSdCmdGetSwitch, kRegEndFlags | static_cast<uint32_t>(core));
        if (flags == -1) {
            result = -1;
            continue;
        }
        for (int k = 0; k < kVoicesPerCore; ++k) {
            const int voice = core * kVoicesPerCore + k;
            _SampleInstance& in = instances[voice];
            const bool ended = (static_cast<uint32_t>(flags) >> k) & 1u;
            if (in.status & kInstanceStopPending) continue;
            if ((in.status & kInstanceInUse) && SampleInTable(in.sample) &&
                (in.sample->status & kSampleLoops)) {
                in.status = (in.status | kInstancePlaying) & ~kInstanceStarted;
                continue;
            }
            if (in.status & kInstanceStarted) {
                // Its key-on has not reached the voice yet: the flag still belongs to the last sound.
                if (veSoundHardwareKeyOnQueued(voice)) continue;
                in.status &= ~kInstanceStarted;
                if (ended)
                    in.status = (in.status & ~kInstancePlaying) | kInstanceStopPending;
                else
                    in.status |= kInstancePlaying;
                continue;
            }
            if (ended) {
                if (in.status & kInstancePlaying)
                    in.status = (in.status & ~kInstancePlaying) | kInstanceStopPending;
            } else {
                in.status |= kInstancePlaying;
            }
        }
    }
    return result;
}

int veSoundHardwareFinishMaintenance() {
    return veSoundHardwareSendBatch();
}

void veSoundHardwareReset() {
    for (_SoundBatch& b : Batch) b.count = 0;
    BatchOnIOP = 0;
    soundHardwareInitialized = 0;
    soundMemBottom = kSoundMemBottom;
    soundMemTop = kSoundMemTop;
}
