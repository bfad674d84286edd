#include "engine/hal/sound.h"
#include "engine/hal/sound_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "console/iop/iop.h"
#include "console/kernel/clock.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"
#include "engine/hal/sound_hw.h"

namespace {

using testsupport::ConstantBlock;
using testsupport::SquareBlock;

// A sample image: 64-byte header, then the blocks.
std::vector<uint8_t> Image(int32_t rate, bool looped, uint32_t envelope,
                           const std::vector<std::vector<uint8_t>>& blocks) {
    std::vector<uint8_t> data;
    for (const auto& b : blocks) data.insert(data.end(), b.begin(), b.end());
    return BuildSampleImage({rate, looped, envelope, {0.0f, -1.0f, 1.0f, 0.0f, 0.0f}}, data);
}

std::vector<uint8_t> LoopedSquare(int32_t rate) {
    return Image(rate, true, 1, {SquareBlock(2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
}

_Sample* Create(const std::vector<uint8_t>& img, int storage) {
    return veSoundCreateSampleFromPointer(img.data(), img.data() + 64, storage, 0);
}

_SampleInstance* Instance(_Sample* s, const _Pan5Dot1* pan = nullptr) {
    return veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), pan);
}

int FreeMcbCount() {
    int n = 0;
    for (_SoundMCB* m = engine::freeMCB; m; m = m->next) ++n;
    return n;
}

// Fills the I/O processor's heap; returns the blocks to give back.
std::vector<void*> FillIopHeap() {
    std::vector<void*> blocks;
    while (void* p = sceSifAllocIopHeap(64 * 1024)) blocks.push_back(p);
    while (void* p = sceSifAllocIopHeap(64)) blocks.push_back(p);
    return blocks;
}

class Sound : public ::testing::Test {
protected:
    void SetUp() override { Init(3); }
    void Init(int speakers, int maxSamples = 120) {
        console::ClockReset();
        console::SdRemoteReset();
        veSoundReset();
        veSoundSetMaxSamples(maxSamples);
        veSoundSetSpeakerConfig(speakers);
        ASSERT_EQ(veSoundInit(), 0);
        console::SpuSetSink(&Sound::Capture, this);
    }
    void TearDown() override {
        console::SpuSetSink(nullptr, nullptr);
        veSoundReset();
    }
    static void Capture(const int16_t* s, int n, void* self) {
        auto& out = static_cast<Sound*>(self)->out_;
        out.insert(out.end(), s, s + 2 * n);
    }
    // One game frame: the game's calls, then the sound maintenance, then a vertical blank.
    void Frame(int n = 1) {
        for (int i = 0; i < n; ++i) {
            veSoundMaintenance();
            console::ClockTickVblank();
            console::SpuCatchUp();
        }
    }
    // Sound memory is one free block again.
    static void ExpectMemoryFree() {
        ASSERT_NE(engine::usedMCB, nullptr);
        EXPECT_EQ(engine::usedMCB->next, nullptr);
        EXPECT_EQ(engine::usedMCB->address, 0x15010u);
        EXPECT_EQ(engine::usedMCB->size, 0x1EAFF0u);
        EXPECT_EQ(engine::usedMCB->status, 0u);
    }
    testsupport::DriverModules modules_;
    std::vector<int16_t> out_;
};

TEST_F(Sound, FirstFitAllocatorSplitsMergesAndNeedsControlBlocksToSplit) {
    const uint32_t a = veSoundAllocMem(100);
    const uint32_t b = veSoundAllocMem(100);
    EXPECT_EQ(a, 0x15010u);
    EXPECT_EQ(b, 0x15074u);
    EXPECT_EQ(veSoundFreeMem(a + 4), -1);  // inside a block, not its start
    EXPECT_EQ(veSoundFreeMem(a), 0);
    EXPECT_EQ(veSoundFreeMem(a), -1);   // already free
    EXPECT_EQ(veSoundAllocMem(60), a);  // first fit reuses the hole
    EXPECT_EQ(veSoundFreeMem(a), 0);
    EXPECT_EQ(veSoundFreeMem(b), 0);
    ExpectMemoryFree();
    EXPECT_EQ(FreeMcbCount(), 139);
    EXPECT_EQ(veSoundAllocMem(0), 0u);
    EXPECT_EQ(veSoundAllocMem(0x1EAFF1), 0u);
    // An exact fit takes no control block; with the pool empty, memory is free but cannot be split.
    EXPECT_EQ(veSoundAllocMem(0x1EAFF0), 0x15010u);
    EXPECT_EQ(FreeMcbCount(), 139);
    EXPECT_EQ(veSoundFreeMem(0x15010), 0);
    while (veSoundAllocMCB()) {
    }
    EXPECT_EQ(veSoundAllocMem(100), 0u);
    EXPECT_EQ(veSoundAllocMem(0x1EAFF0), 0x15010u);
}

TEST_F(Sound, CheckSampleImageRefusesBadHeadersAndData) {
    const std::vector<uint8_t> good =
        Image(22050, false, 0, {ConstantBlock(1, 4, 0), ConstantBlock(1, 4, kAdpcmFlagLoopEnd)});
    _SampleHeaderRam h;
    ASSERT_EQ(veSoundCheckSampleImage(good.data(), static_cast<uint32_t>(good.size()), &h), 0);
    EXPECT_EQ(h.length, 32);
    EXPECT_EQ(h.sampleRate, 22050);
    EXPECT_EQ(veSoundCheckSampleImage(LoopedSquare(48000).data(), 80, nullptr), 0);
    EXPECT_EQ(veSoundCheckSampleImage(nullptr, 100, nullptr), -1);
    EXPECT_EQ(veSoundCheckSampleImage(good.data(), 63, nullptr), -1);       // no room for the header
    EXPECT_EQ(veSoundCheckSampleImage(good.data(), 64 + 16, nullptr), -1);  // data runs past the end
    struct Patch {
        int offset;
        int32_t value;
    };
    const Patch fields[] = {
        {0, 0x7FFFFFF0},   // length past the end (and memory)
        {0, -16},          // negative length
        {0, 24},           // not whole blocks
        {8, 0},            // rate 0
        {8, 1000000},      // rate beyond the pitch register
        {12, 2},           // no envelope 2
        {16, 0x7FC00000},  // NaN pan
        {4, 1},            // says looped, data does not repeat
    };
    for (const Patch& p : fields) {
        std::vector<uint8_t> img = good;
        std::memcpy(img.data() + p.offset, &p.value, 4);
        EXPECT_EQ(veSoundCheckSampleImage(img.data(), 96, nullptr), -1) << p.offset << " " << p.value;
    }
    // Shift 13, filter 5, last block not ending the sound.
    for (auto [at, byte] : {std::pair{64, 0x0D}, {64 + 16, 0x5C}, {64 + 16 + 1, 0}}) {
        std::vector<uint8_t> img = good;
        img[at] = uint8_t(byte);
        EXPECT_EQ(veSoundCheckSampleImage(img.data(), 96, nullptr), -1) << at;
    }
    // Creation refuses the same header faults even without the image size.
    for (const Patch& p : {Patch{12, 7}, Patch{0, 0}}) {
        std::vector<uint8_t> bad = good;
        std::memcpy(bad.data() + p.offset, &p.value, 4);
        EXPECT_EQ(Create(bad, p.offset ? 1 : 0), nullptr);
    }
    EXPECT_EQ(engine::samples[0].status, 0);
}

TEST_F(Sound, StorageZeroSampleIsSentAtCreationAndStaysResident) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = Create(img, kSampleStorageSoundRam);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->status, kSampleInUse | kSamplePermanent | kSampleSent | kSampleLoops);
    EXPECT_EQ(s->soundRam, 0x15010u);
    EXPECT_EQ(std::memcmp(console::SpuMemory() + 0x15010, img.data() + 64, 16), 0);
    EXPECT_EQ(veSoundGetSampleRate(s), 48000);
    EXPECT_EQ(veSoundGetSampleLength(s), 16);
    EXPECT_EQ(veSoundGetSampleEnvelope(s), 1u);
    _SampleInstance* in = Instance(s);
    ASSERT_NE(in, nullptr);
    veSoundStartSampleInstance(in);
    Frame();
    veSoundDestroySampleInstance(in);
    EXPECT_EQ(s->soundRam, 0x15010u);  // permanent: still resident with no instance
    veSoundDestroySample(s, 1);
    EXPECT_EQ(s->status, 0);
    ExpectMemoryFree();
}

// Without sound memory, or without I/O-processor memory to stage the data in, a storage-0 sample is
// refused (not written at address 0, its memory given back) and a start does not key the voice on.
TEST_F(Sound, WithoutMemoryNothingIsWrittenOrKeyedOn) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    std::vector<void*> blocks = FillIopHeap();
    EXPECT_EQ(Create(img, kSampleStorageSoundRam), nullptr);
    EXPECT_EQ(engine::samples[0].status, 0);
    ExpectMemoryFree();
    for (void* p : blocks) sceSifFreeIopHeap(p);

    _Sample* s = Create(img, kSampleStorageMainRam);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(veSoundAllocMem(0x1EAFF0 - 8), 0u);
    const std::vector<uint8_t> fill(64, 0x5A);
    console::SpuWriteMemory(0, fill.data(), 64);
    EXPECT_EQ(Create(img, kSampleStorageSoundRam), nullptr);
    EXPECT_EQ(engine::samples[1].status, 0);  // the slot is free again
    _SampleInstance* in = Instance(s);
    ASSERT_NE(in, nullptr);
    veSoundStartSampleInstance(in);
    EXPECT_FALSE(veSoundHardwareKeyOnQueued(in->channel));
    EXPECT_EQ(s->soundRam, 0u);
    EXPECT_EQ(console::SpuMemory()[0], 0x5A);
    Frame();  // the instance goes at the next maintenance
    EXPECT_FALSE(console::SpuGetVoice(0, 0).sounding());
    EXPECT_EQ(engine::instances[0].status, 0);
    EXPECT_EQ(s->useCount, 0u);
}

TEST_F(Sound, IopSampleIsCopiedThereAndFreedWithItsLastInstance) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    const uint32_t heapBefore = console::IopHeapUsed();
    _Sample* s = Create(img, kSampleStorageIopRam);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->iopRam, 0u);
    EXPECT_EQ(std::memcmp(console::IopMemory() + s->iopRam, img.data() + 64, 16), 0);
    _SampleInstance* in = Instance(s);
    veSoundStartSampleInstance(in);
    EXPECT_EQ(std::memcmp(console::SpuMemory() + s->soundRam, img.data() + 64, 16), 0);
    veSoundDestroySampleInstance(in);
    EXPECT_EQ(s->iopRam, 0u);
    EXPECT_EQ(console::IopHeapUsed(), heapBefore);
}

TEST_F(Sound, RateAndPanRampStepAndLandExactlyAndPauseSilences) {
    const std::vector<uint8_t> img = LoopedSquare(22050);
    _Sample* s = Create(img, kSampleStorageSoundRam);
    const _Pan5Dot1 left = {-1.0f, -1.0f, 1.0f, 0.0f, 0.0f};
    const _Pan5Dot1 right = {1.0f, -1.0f, 1.0f, 0.0f, 0.0f};
    _SampleInstance* in = Instance(s, &left);
    // Not playing yet: the rate applies at once with a counter of 1.
    veSoundSetSampleInstanceRate(in, 30000, 10);
    EXPECT_EQ(in->currentSampleRate, 30000);
    EXPECT_EQ(in->sampleRateTicks, 1);
    veSoundSetSampleInstanceRate(in, 22050, 1);
    veSoundStartSampleInstance(in);
    Frame(2);  // key-on sent, then playing
    ASSERT_TRUE(in->status & kInstancePlaying);
    const console::SpuVoice& v = console::SpuGetVoice(0, 0);
    EXPECT_EQ(v.pitch, 1881);
    EXPECT_EQ(v.volL, 0x3FFF);
    EXPECT_EQ(v.volR, 0);
    veSoundSetSampleInstanceRate(in, 44100, 10);
    EXPECT_EQ(in->deltaSampleRate, 2205);
    veSoundSetSampleInstancePan(in, &right, 4);
    EXPECT_FLOAT_EQ(in->deltaPan.panLR, 0.5f);
    for (int tick = 1; tick <= 10; ++tick) {
        Frame();
        const int expected = tick < 10 ? 22050 + 2205 * tick : 44100;
        EXPECT_EQ(in->currentSampleRate, expected) << tick;
        EXPECT_EQ(v.pitch, veSoundHardwareRateToPitch(expected)) << tick;
    }
    EXPECT_EQ(in->sampleRateTicks, 0);
    EXPECT_EQ(v.pitch, 3763);
    EXPECT_FLOAT_EQ(in->currentPan.panLR, 1.0f);
    EXPECT_EQ(v.volL, 0);
    EXPECT_EQ(v.volR, 0x3FFF);
    in->status |= kInstancePauseRequested;
    Frame();
    EXPECT_TRUE(in->status & kInstancePaused);
    EXPECT_EQ(v.pitch, 0);
    // Rate on a free slot does nothing.
    veSoundDestroySampleInstance(in);
    veSoundSetSampleInstanceRate(in, 1000, 1);
    EXPECT_EQ(in->desiredSampleRate, 0);
}

// A one-shot sample shorter than a frame still frees its voice: the maintenance after its key-on sees
// its end flag set, makes it stop pending and frees the slot.
TEST_F(Sound, ShortOneShotSampleIsReclaimed) {
    const std::vector<uint8_t> img =
        Image(48000, false, 1, {ConstantBlock(5, 4, 0), ConstantBlock(5, 4, kAdpcmFlagLoopEnd)});
    _Sample* s = Create(img, kSampleStorageMainRam);
    _SampleInstance* in = Instance(s);
    veSoundStartSampleInstance(in);
    EXPECT_TRUE(in->status & kInstanceStarted);
    Frame();  // key-on sent; 56 samples play and end within the frame
    EXPECT_EQ(engine::instances[0].status, kInstanceInUse | kInstanceStarted);
    EXPECT_NE(console::SpuReadSwitch(0x1700) & 1, 0);
    EXPECT_GT(testsupport::PeakAbs(out_, 0), 900);  // it did sound (1280 at the centre pan's 0.75)
    veSoundHardwareMaintenance();
    EXPECT_EQ(engine::instances[0].status, kInstanceInUse | kInstanceStopPending);
    Frame();
    EXPECT_EQ(engine::instances[0].status, 0);
    EXPECT_EQ(s->soundRam, 0u);  // last instance gone: sound memory freed
}

}  // namespace
