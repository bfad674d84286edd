#include "engine/hal/sound.h"

#include <cmath>
#include <cstring>

#include "console/mem/addr.h"
#include "console/spu/adpcm.h"
#include "engine/hal/sound_hw.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/loaded_files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
int32_t maxSamples = 50;
int32_t numMCBS = 70;
float masterVolume = 1.0f;
int32_t speakerConfig = 0;
_Sample* samples = nullptr;
_SampleInstance instances[kSoundVoices];
_SoundMCB* mcbs = nullptr;
_SoundMCB* freeMCB = nullptr;
_SoundMCB* usedMCB = nullptr;
int soundSystemInitialized = 0;
}  // namespace engine

namespace {

constexpr int32_t kMaxSampleRate = 192000;

void ClearInstance(_SampleInstance* in) {
    const int32_t channel = in->channel;
    std::memset(in, 0, sizeof *in);
    in->channel = channel;
}

bool InstanceInUse(const _SampleInstance* in) {
    return in && (in->status & kInstanceInUse);
}

bool PanFinite(const _Pan5Dot1& p) {
    return std::isfinite(p.panLR) && std::isfinite(p.panFB) && std::isfinite(p.panVolume) &&
           std::isfinite(p.centerVolume) && std::isfinite(p.lfeVolume);
}

// The parameters every sample must have before any of it reaches the hardware.
const char* HeaderProblem(const _SampleHeaderRam& h) {
    if (h.length <= 0) return "length is not positive";
    if (static_cast<uint32_t>(h.length) > kSoundMemTop - kSoundMemBottom + 1)
        return "length exceeds sound memory";
    if (h.length % kAdpcmBlockBytes != 0) return "length is not whole 16-byte blocks";
    if (h.sampleRate <= 0 || h.sampleRate > kMaxSampleRate) return "sample rate out of range";
    if (h.envelope > 1) return "envelope is not 0 or 1";
    if (!PanFinite(h.pan)) return "pan is not finite";
    return nullptr;
}

void SendPan(_SampleInstance* in) {
    veSoundHardwareSetChannelPan(in->channel, &in->currentPan);
}

}  // namespace

void veSoundSetMaxSamples(int count) {
    if (soundSystemInitialized) return;  // the table is already sized
    maxSamples = count;
    numMCBS = count + 20;
}

void veSoundSetSpeakerConfig(int config) {
    speakerConfig = config & 0xF;
}
int veSoundGetMaxSamples() {
    return maxSamples;
}
int veSoundGetSpeakerConfig() {
    return speakerConfig;
}
void veSoundSetMasterVolume(float volume) {
    masterVolume = volume;
}

int veSoundInit() {
    if (soundSystemInitialized) return 0;
    soundSystemInitialized = 1;
    const int hw = veSoundHardwareInit();
    veSoundAllocAllSamples();
    veSoundInitAllSampleInstances();
    veSoundInitMemory();
    if (hw < 0) x_printf("veSoundInit: sound hardware could not be set up\n");
    return hw < 0 ? -1 : 0;
}

void veSoundAllocAllSamples() {
    samples = nullptr;
    if (maxSamples <= 0) {
        maxSamples = 0;
        return;
    }
    const uint32_t bytes = static_cast<uint32_t>(maxSamples) * sizeof(_Sample);
    samples = static_cast<_Sample*>(x_fn_malloc(bytes, __FILE__, __LINE__));
    if (!samples) {
        x_printf("veSoundAllocAllSamples: no memory for %d samples\n", maxSamples);
        maxSamples = 0;
        return;
    }
    std::memset(samples, 0, bytes);
}

void veSoundInitAllSampleInstances() {
    veSoundHardwareStopAllChannels();
    for (int i = 0; i < kSoundVoices; ++i) {
        std::memset(&instances[i], 0, sizeof instances[i]);
        instances[i].channel = i;
    }
}

void veSoundInitMemory() {
    veSoundHardwareInitMemory();
    freeMCB = usedMCB = nullptr;
    mcbs = nullptr;
    if (numMCBS <= 0) return;
    const uint32_t bytes = static_cast<uint32_t>(numMCBS) * sizeof(_SoundMCB);
    mcbs = static_cast<_SoundMCB*>(x_fn_malloc(bytes, __FILE__, __LINE__));
    if (!mcbs) {
        x_printf("veSoundInitMemory: no memory for %d control blocks\n", numMCBS);
        return;
    }
    std::memset(mcbs, 0, bytes);
    for (int i = 0; i < numMCBS; ++i) mcbs[i].next = i + 1 < numMCBS ? &mcbs[i + 1] : nullptr;
    freeMCB = mcbs;
    usedMCB = veSoundAllocMCB();
    usedMCB->address = soundMemBottom;
    usedMCB->size = soundMemTop - soundMemBottom + 1;
    usedMCB->status = 0;
    usedMCB->next = usedMCB->prev = nullptr;
}

_SoundMCB* veSoundAllocMCB() {
    _SoundMCB* m = freeMCB;
    if (m) freeMCB = m->next;
    return m;
}

namespace {
void ReleaseMCB(_SoundMCB* m) {
    m->next = freeMCB;
    m->prev = nullptr;
    freeMCB = m;
}
}  // namespace

uint32_t veSoundAllocMem(uint32_t size) {
    if (size == 0) return 0;
    _SoundMCB* b = usedMCB;
    while (b && (b->status != 0 || b->size < size)) b = b->next;
    if (!b) return 0;
    if (b->size == size) {
        b->status = 1;
        return b->address;
    }
    _SoundMCB* rest = veSoundAllocMCB();
    if (!rest) return 0;
    rest->address = b->address + size;
    rest->size = b->size - size;
    rest->status = 0;
    rest->next = b->next;
    if (b->next) b->next->prev = rest;
    rest->prev = b;
    b->next = rest;
    b->size = size;
    b->status = 1;
    return b->address;
}

int veSoundFreeMem(uint32_t address) {
    _SoundMCB* b = usedMCB;
    while (b && b->address != address) b = b->next;
    if (!b || b->status != 1) return -1;
    _SoundMCB* prev = b->prev;
    if (prev && prev->status == 0) {
        prev->size += b->size;
        prev->next = b->next;
        if (b->next) b->next->prev = prev;
        ReleaseMCB(b);
        b = prev;
    }
    _SoundMCB* next = b->next;
    if (next && next->status == 0) {
        b->size += next->size;
        b->next = next->next;
        if (next->next) next->next->prev = b;
        ReleaseMCB(next);
    }
    b->status = 0;
    return 0;
}

FormatCheck CheckSampleImage(const void* image, uint32_t size, _SampleHeaderRam* out) {
    // Each refusal is one log line: "veSound: " and the reason.
    auto refuse = [image](const FormatCheck& c) {
        x_printf("%sveSound: %s\n", x_FileOf(image), c.why);
        return c;
    };
    if (!image || size < kSampleHeaderDiscBytes)
        return refuse(FormatCheck::Fail("sample image of %u bytes has no 64-byte header", image ? size : 0u));
    _SampleHeaderDisc disc;
    std::memcpy(&disc, image, sizeof disc);
    _SampleHeaderRam h;
    std::memcpy(&h, &disc, sizeof h);
    if (const char* why = HeaderProblem(h)) return refuse(FormatCheck::Fail("bad sample header: %s", why));
    if (static_cast<uint32_t>(h.length) > size - kSampleHeaderDiscBytes)
        return refuse(FormatCheck::Fail("sample data of %d bytes runs past the end of its %u-byte image",
                                        h.length, size));
    const uint8_t* data = static_cast<const uint8_t*>(image) + kSampleHeaderDiscBytes;
    const int blocks = h.length / kAdpcmBlockBytes;
    for (int i = 0; i < blocks; ++i)
        if (!AdpcmHeaderValid(data[i * kAdpcmBlockBytes]))
            return refuse(FormatCheck::Fail("sample block %d has a bad shift or filter", i));
    const uint8_t lastFlags = data[(blocks - 1) * kAdpcmBlockBytes + 1];
    const bool repeats = (lastFlags & kAdpcmFlagRepeat) != 0;
    if (!(lastFlags & kAdpcmFlagLoopEnd) || repeats != (h.looped != 0))
        return refuse(
            FormatCheck::Fail("sample data does not end as its header says (looped %d, last flags 0x%02x)",
                              h.looped, lastFlags));
    if (out) *out = h;
    return FormatCheck::Pass();
}

int veSoundCheckSampleImage(const void* image, uint32_t size, _SampleHeaderRam* out) {
    return CheckSampleImage(image, size, out).ok ? 0 : -1;
}

namespace {

// The sample's data into I/O processor memory: at `address` (given), else in memory taken for it.
// False after the log line when there is no room or the copy fails.
bool PlaceInIopRam(_Sample* s, const void* data, uint32_t address, uint32_t length) {
    s->mainRam = 0;
    uint32_t iop = address;
    if (iop) {
        s->status |= kSampleIopRamGiven;
    } else {
        iop = veSoundAllocIopRam(length);
        if (iop == 0) {
            x_printf("veSoundCreateSampleFromPointer: no I/O processor memory for %u bytes\n", length);
            return false;
        }
    }
    s->iopRam = iop;
    if (data && veSoundHardwareDownloadSampleToIOP(s, Addr32(data)) < 0) {
        x_printf("veSoundCreateSampleFromPointer: sample data could not be copied\n");
        if (!(s->status & kSampleIopRamGiven)) veSoundFreeIopRam(iop);
        return false;
    }
    s->status &= ~(kSampleSoundRamGiven | kSamplePermanent | kSampleSent);
    s->soundRam = 0;
    return true;
}

// The sample's data into sound memory for good: at `address` (given), else in memory taken for it.
// False after the log line when there is no room or the data cannot be sent.
bool PlaceInSoundRam(_Sample* s, const void* data, uint32_t address, uint32_t length) {
    s->mainRam = 0;
    s->status |= kSamplePermanent;
    uint32_t spu = address;
    if (spu) {
        s->status |= kSampleSoundRamGiven;
    } else {
        spu = veSoundAllocMem(length);
        if (spu == 0) {
            // Carrying on at address 0 would write over the system's part of sound memory.
            x_printf("veSoundCreateSampleFromPointer: no sound memory for %u bytes\n", length);
            return false;
        }
    }
    s->soundRam = spu;
    if (data && veSoundHardwareDownloadSample(s, Addr32(data)) < 0) {
        // A permanent sample whose data never arrived would play whatever was there before.
        x_printf("veSoundCreateSampleFromPointer: sample data could not be sent\n");
        if (!(s->status & kSampleSoundRamGiven)) veSoundFreeMem(spu);
        return false;
    }
    s->status |= kSampleSent;
    return true;
}

}  // namespace

_Sample* veSoundCreateSampleFromPointer(const void* header, const void* data, int storage, uint32_t address) {
    if (!header || !samples) return nullptr;
    _SampleHeaderRam h;
    std::memcpy(&h, header, sizeof h);
    if (const char* why = HeaderProblem(h)) {
        x_printf("veSoundCreateSampleFromPointer: bad sample header: %s\n", why);
        return nullptr;
    }
    if ((storage == kSampleStorageSoundRam || storage == kSampleStorageIopRam ||
         storage == kSampleStorageMainRam) &&
        !data && !(storage == kSampleStorageSoundRam && address) &&
        !(storage == kSampleStorageIopRam && address)) {
        x_printf("veSoundCreateSampleFromPointer: no sample data\n");
        return nullptr;
    }
    _Sample* s = nullptr;
    for (int i = 0; i < maxSamples && !s; ++i)
        if (!(samples[i].status & kSampleInUse)) s = &samples[i];
    if (!s) return nullptr;
    std::memset(s, 0, sizeof *s);
    s->status = kSampleInUse;
    s->header = h;
    s->iopRam = 0;
    if (h.looped) s->status |= kSampleLoops;
    const uint32_t length = static_cast<uint32_t>(h.length);
    bool placed = true;
    switch (storage) {
        case kSampleStorageIopRam:
            placed = PlaceInIopRam(s, data, address, length);
            break;
        case kSampleStorageMainRam:
            s->mainRam = Addr32(data);
            s->status &= ~(kSampleSoundRamGiven | kSamplePermanent | kSampleSent);
            s->soundRam = 0;
            break;
        case kSampleStorageSoundRam:
            placed = PlaceInSoundRam(s, data, address, length);
            break;
        default:
            break;
    }
    if (!placed) {
        std::memset(s, 0, sizeof *s);  // the slot free again
        return nullptr;
    }
    return s;
}

void veSoundDestroySample(_Sample* sample, int clear) {
    if (!sample || !(sample->status & kSampleInUse)) return;
    for (_SampleInstance& in : instances) {
        if (in.sample != sample) continue;
        if (in.status & kInstancePlaying) veSoundHardwareStopChannel(in.channel);
        ClearInstance(&in);
    }
    // Every instance of it is gone now.
    sample->useCount = 0;
    if (sample->soundRam && !(sample->status & kSampleSoundRamGiven)) {
        veSoundFreeMem(sample->soundRam);
        sample->soundRam = 0;
    }
    if (sample->iopRam && !(sample->status & kSampleIopRamGiven)) {
        veSoundFreeIopRam(sample->iopRam);
        sample->iopRam = 0;
    }
    if (clear) std::memset(sample, 0, sizeof *sample);
}

int32_t veSoundGetSampleRate(const _Sample* sample) {
    return sample ? sample->header.sampleRate : 0;
}
uint32_t veSoundGetSampleEnvelope(const _Sample* sample) {
    return sample ? sample->header.envelope : 0;
}
int32_t veSoundGetSampleLength(const _Sample* sample) {
    return sample ? sample->header.length : 0;
}
void veSoundGetSamplePan(const _Sample* sample, _Pan5Dot1* out) {
    if (sample && out) *out = sample->header.pan;
}

_SampleInstance* veSoundCreateSampleInstance(_Sample* sample, int32_t rate, uint32_t envelope,
                                             const _Pan5Dot1* pan) {
    if (!sample || !(sample->status & kSampleInUse)) return nullptr;
    _SampleInstance* in = nullptr;
    for (int i = 0; i < kSoundVoices && !in; ++i)
        if (!(instances[i].status & kInstanceInUse)) in = &instances[i];
    if (!in) return nullptr;
    if (in->status & kInstancePlaying) veSoundHardwareStopChannel(in->channel);
    ClearInstance(in);
    in->status = kInstanceInUse;
    in->sample = sample;
    sample->useCount += 1;
    veSoundHardwareInitChannel(in);
    in->currentSampleRate = -1;
    in->envelope = static_cast<uint32_t>(-1);
    in->panValid = 0;
    if (rate != -1) {
        veSoundHardwareSetChannelRate(in->channel, rate);
        in->currentSampleRate = rate;
    }
    if (envelope != static_cast<uint32_t>(-1)) {
        veSoundHardwareSetChannelEnvelope(in->channel, envelope);
        in->envelope = envelope;
    }
    if (pan) {
        veSoundHardwareSetChannelPan(in->channel, pan);
        in->currentPan = *pan;
        in->panValid = 1;
    }
    return in;
}

void veSoundStartSampleInstance(_SampleInstance* in) {
    if (!InstanceInUse(in) || !in->sample) return;
    _Sample* s = in->sample;
    if (s->soundRam == 0) {
        const uint32_t spu = veSoundAllocMem(static_cast<uint32_t>(s->header.length));
        if (spu == 0) {
            // No sound memory: the voice is not keyed on, and the instance goes at the next maintenance.
            x_printf("veSoundStartSampleInstance: no sound memory for %d bytes\n", s->header.length);
            in->status |= kInstanceStopPending;
            return;
        }
        s->soundRam = spu;
        if (veSoundHardwareDownloadSample(s, s->mainRam) < 0) {
            veSoundFreeMem(spu);
            s->soundRam = 0;
            x_printf("veSoundStartSampleInstance: sample data could not be sent\n");
            in->status |= kInstanceStopPending;
            return;
        }
        s->status |= kSampleSent;
    }
    if (in->currentSampleRate == -1) in->currentSampleRate = s->header.sampleRate;
    veSoundHardwareSetChannelRate(in->channel, in->currentSampleRate);
    if (in->envelope == static_cast<uint32_t>(-1)) in->envelope = s->header.envelope;
    veSoundHardwareSetChannelEnvelope(in->channel, in->envelope);
    if (!in->panValid) {
        in->currentPan = s->header.pan;
        in->panValid = 1;
    }
    SendPan(in);
    in->sampleRateTicks = 0;
    in->panTicks = 0;
    veSoundHardwareSetChannelAddress(in->channel, s->soundRam, s->header.length);
    veSoundHardwareStartChannel(in->channel, s->header.looped);
    in->status |= kInstanceStarted;
}

void veSoundStopSampleInstance(_SampleInstance* in) {
    if (!InstanceInUse(in)) return;
    veSoundHardwareStopChannel(in->channel);
}

void veSoundDestroySampleInstance(_SampleInstance* in) {
    if (!InstanceInUse(in)) return;
    _Sample* s = in->sample;
    if (s && s->useCount > 0) {
        s->useCount -= 1;
        if (s->useCount == 0 && !(s->status & kSamplePermanent)) veSoundDestroySample(s, 0);
    }
    if (in->status & kInstancePlaying) veSoundHardwareStopChannel(in->channel);
    ClearInstance(in);
}

void veSoundSetSampleInstanceRate(_SampleInstance* in, int32_t rate, int32_t ticks) {
    if (!InstanceInUse(in)) return;
    if (ticks < 2) ticks = 1;
    in->desiredSampleRate = rate;
    if (in->status & kInstancePlaying) {
        in->deltaSampleRate =
            static_cast<int32_t>((static_cast<int64_t>(rate) - in->currentSampleRate) / ticks);
        in->sampleRateTicks = ticks;
    } else {
        in->currentSampleRate = rate;
        in->sampleRateTicks = 1;
    }
}

void veSoundSetSampleInstancePan(_SampleInstance* in, const _Pan5Dot1* pan, int32_t ticks) {
    if (!InstanceInUse(in) || !pan) return;
    if (ticks < 2) ticks = 1;
    in->desiredPan = *pan;
    if (in->status & kInstancePlaying) {
        const float t = static_cast<float>(ticks);
        in->deltaPan.panLR = (pan->panLR - in->currentPan.panLR) / t;
        in->deltaPan.panFB = (pan->panFB - in->currentPan.panFB) / t;
        in->deltaPan.panVolume = (pan->panVolume - in->currentPan.panVolume) / t;
        in->deltaPan.centerVolume = (pan->centerVolume - in->currentPan.centerVolume) / t;
        in->deltaPan.lfeVolume = (pan->lfeVolume - in->currentPan.lfeVolume) / t;
        in->panTicks = ticks;
    } else {
        in->currentPan = *pan;
        in->panValid = 1;
        in->panTicks = 1;
    }
}

void veSoundMaintenance() {
    veSoundHardwareMaintenance();
    for (_SampleInstance& in : instances) {
        if (!(in.status & kInstanceInUse)) continue;
        if (!(in.status &
              (kInstancePlaying | kInstanceStopPending | kInstancePauseRequested | kInstancePaused)))
            continue;
        if (in.status & kInstanceStopPending) {
            veSoundDestroySampleInstance(&in);
            continue;
        }
        if (in.status & kInstancePaused) continue;
        if (in.status & kInstancePauseRequested) {
            in.status = (in.status & ~kInstancePauseRequested) | kInstancePaused;
            in.currentSampleRate = 0;
            veSoundHardwareSetChannelRate(in.channel, 0);
            continue;
        }
        if (in.sampleRateTicks != 0) {
            if (--in.sampleRateTicks != 0)
                in.currentSampleRate += in.deltaSampleRate;
            else
                in.currentSampleRate = in.desiredSampleRate;
            veSoundHardwareSetChannelRate(in.channel, in.currentSampleRate);
        }
        if (in.panTicks != 0) {
            if (--in.panTicks != 0) {
                in.currentPan.panLR += in.deltaPan.panLR;
                in.currentPan.panFB += in.deltaPan.panFB;
                in.currentPan.panVolume += in.deltaPan.panVolume;
                in.currentPan.centerVolume += in.deltaPan.centerVolume;
                in.currentPan.lfeVolume += in.deltaPan.lfeVolume;
            } else {
                in.currentPan = in.desiredPan;
            }
            SendPan(&in);
        }
    }
    veSoundHardwareFinishMaintenance();
}

void veSoundReset() {
    if (samples) x_free(samples);
    if (mcbs) x_free(mcbs);
    samples = nullptr;
    mcbs = freeMCB = usedMCB = nullptr;
    maxSamples = 50;
    numMCBS = 70;
    masterVolume = 1.0f;
    speakerConfig = 0;
    soundSystemInitialized = 0;
    for (int i = 0; i < kSoundVoices; ++i) {
        std::memset(&instances[i], 0, sizeof instances[i]);
        instances[i].channel = i;
    }
    veSoundHardwareReset();
}
