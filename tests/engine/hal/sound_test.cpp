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
                           const std::vector<std::vector<uint8_t>>& blocks,
                           _Pan5Dot1 pan = {0.0f, -1.0f, 1.0f, 0.0f, 0.0f}) {
    std::vector<uint8_t> data;
    for (const auto& b : blocks) data.insert(data.end(), b.begin(), b.end());
    return BuildSampleImage({rate, looped, envelope, pan}, data);
}

std::vector<uint8_t> LoopedSquare(int32_t rate) {
    return Image(rate, true, 1, {SquareBlock(2, kAdpcmFlagLoopStart | kAdpcmFlagLoopEnd | kAdpcmFlagRepeat)});
}

int FreeMcbCount() {
    int n = 0;
    for (_SoundMCB* m = engine::freeMCB; m; m = m->next) ++n;
    return n;
}

class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        console::ClockReset();
        console::SdRemoteReset();
        veSoundReset();
        veSoundSetMaxSamples(120);
        veSoundSetSpeakerConfig(3);
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
    void Frame() {
        veSoundMaintenance();
        console::ClockTickVblank();
        console::SpuCatchUp();
    }
    testsupport::DriverModules modules_;
    std::vector<int16_t> out_;
};

TEST_F(Sound, SettingsAndTables) {
    EXPECT_EQ(engine::maxSamples, 120);
    EXPECT_EQ(engine::numMCBS, 140);
    EXPECT_EQ(engine::speakerConfig, 3);
    veSoundSetSpeakerConfig(0x13);
    EXPECT_EQ(engine::speakerConfig, 3);
    veSoundSetMaxSamples(10);  // too late: the table is sized
    EXPECT_EQ(engine::maxSamples, 120);
    for (int i = 0; i < kSoundVoices; ++i) EXPECT_EQ(engine::instances[i].channel, i);
    EXPECT_EQ(FreeMcbCount(), 139);
    veSoundReset();
    EXPECT_EQ(engine::maxSamples, 50);
    EXPECT_EQ(engine::numMCBS, 70);
    EXPECT_FLOAT_EQ(engine::masterVolume, 1.0f);
}

TEST_F(Sound, FirstFitAllocatorSplitsAndMerges) {
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
    ASSERT_NE(engine::usedMCB, nullptr);
    EXPECT_EQ(engine::usedMCB->next, nullptr);
    EXPECT_EQ(engine::usedMCB->address, 0x15010u);
    EXPECT_EQ(engine::usedMCB->size, 0x1EAFF0u);
    EXPECT_EQ(engine::usedMCB->status, 0u);
    EXPECT_EQ(FreeMcbCount(), 139);
    EXPECT_EQ(veSoundAllocMem(0), 0u);
    EXPECT_EQ(veSoundAllocMem(0x1EAFF1), 0u);
}

TEST_F(Sound, ExactFitNeedsNoControlBlockAndAnEmptyPoolRefusesSplits) {
    const int before = FreeMcbCount();
    EXPECT_EQ(veSoundAllocMem(0x1EAFF0), 0x15010u);
    EXPECT_EQ(FreeMcbCount(), before);
    EXPECT_EQ(veSoundFreeMem(0x15010), 0);
    // Take every control block out of the pool: memory is free but cannot be split.
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
    auto refused = [](std::vector<uint8_t> img, uint32_t size) {
        return veSoundCheckSampleImage(img.data(), size, nullptr) == -1;
    };
    auto field = [&](int offset, int32_t value) {
        std::vector<uint8_t> img = good;
        std::memcpy(img.data() + offset, &value, 4);
        return img;
    };
    EXPECT_TRUE(refused(good, 63));                   // no room for the header
    EXPECT_TRUE(refused(good, 64 + 16));              // data runs past the end
    EXPECT_TRUE(refused(field(0, 0x7FFFFFF0), 96));   // length past the end (and memory)
    EXPECT_TRUE(refused(field(0, -16), 96));          // negative length
    EXPECT_TRUE(refused(field(0, 24), 96));           // not whole blocks
    EXPECT_TRUE(refused(field(8, 0), 96));            // rate 0
    EXPECT_TRUE(refused(field(8, 1000000), 96));      // rate beyond the pitch register
    EXPECT_TRUE(refused(field(12, 2), 96));           // no envelope 2
    EXPECT_TRUE(refused(field(16, 0x7FC00000), 96));  // NaN pan
    EXPECT_TRUE(refused(field(4, 1), 96));            // says looped, data does not repeat
    std::vector<uint8_t> img = good;
    img[64] = 0x0D;  // shift 13
    EXPECT_TRUE(refused(img, 96));
    img = good;
    img[64 + 16] = 0x5C;  // filter 5
    EXPECT_TRUE(refused(img, 96));
    img = good;
    img[64 + 16 + 1] = 0;  // last block does not end the sound
    EXPECT_TRUE(refused(img, 96));
    EXPECT_EQ(veSoundCheckSampleImage(nullptr, 100, nullptr), -1);
    // Creation refuses the same header faults even without the image size.
    std::vector<uint8_t> bad = field(12, 7);
    EXPECT_EQ(veSoundCreateSampleFromPointer(bad.data(), bad.data() + 64, 1, 0), nullptr);
    bad = field(0, 0);
    EXPECT_EQ(veSoundCreateSampleFromPointer(bad.data(), bad.data() + 64, 0, 0), nullptr);
    EXPECT_EQ(engine::samples[0].status, 0);
}

TEST_F(Sound, StorageZeroSampleIsSentAtCreationAndStaysResident) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->status, kSampleInUse | kSamplePermanent | kSampleSent | kSampleLoops);
    EXPECT_EQ(s->soundRam, 0x15010u);
    EXPECT_EQ(std::memcmp(console::SpuMemory() + 0x15010, img.data() + 64, 16), 0);
    EXPECT_EQ(veSoundGetSampleRate(s), 48000);
    EXPECT_EQ(veSoundGetSampleLength(s), 16);
    EXPECT_EQ(veSoundGetSampleEnvelope(s), 1u);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    ASSERT_NE(in, nullptr);
    veSoundStartSampleInstance(in);
    Frame();
    veSoundDestroySampleInstance(in);
    EXPECT_EQ(s->soundRam, 0x15010u);  // permanent: still resident with no instance
    EXPECT_EQ(s->status & kSampleInUse, kSampleInUse);
    veSoundDestroySample(s, 1);
    EXPECT_EQ(s->status, 0);
    EXPECT_EQ(engine::usedMCB->size, 0x1EAFF0u);  // memory back
}

// A storage-0 sample that gets no sound memory is refused rather than written at address 0.
TEST_F(Sound, StorageZeroWithoutMemoryIsRefused) {
    ASSERT_NE(veSoundAllocMem(0x1EAFF0 - 8), 0u);
    const std::vector<uint8_t> fill(64, 0x5A);
    console::SpuWriteMemory(0, fill.data(), 64);
    const std::vector<uint8_t> img = LoopedSquare(48000);
    EXPECT_EQ(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0),
              nullptr);
    EXPECT_EQ(engine::samples[0].status, 0);  // the slot is free again
    EXPECT_EQ(console::SpuMemory()[0], 0x5A);
}

// Data that cannot reach sound memory (no I/O-processor memory to stage it in) refuses the sample and
// gives its sound memory back.
TEST_F(Sound, StorageZeroWhoseDataCannotBeSentIsRefused) {
    std::vector<void*> blocks;
    while (void* p = sceSifAllocIopHeap(64 * 1024)) blocks.push_back(p);
    while (void* p = sceSifAllocIopHeap(64)) blocks.push_back(p);
    const std::vector<uint8_t> img = LoopedSquare(48000);
    EXPECT_EQ(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0),
              nullptr);
    EXPECT_EQ(engine::samples[0].status, 0);
    EXPECT_EQ(engine::usedMCB->size, 0x1EAFF0u);
    EXPECT_EQ(engine::usedMCB->status, 0u);
    for (void* p : blocks) sceSifFreeIopHeap(p);
    EXPECT_NE(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0),
              nullptr);
}

// A start with no sound memory does not key the voice on; the instance goes at the next maintenance.
TEST_F(Sound, StartWithoutMemoryDoesNotKeyOn) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageMainRam, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(veSoundAllocMem(0x1EAFF0 - 8), 0u);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    ASSERT_NE(in, nullptr);
    const std::vector<uint8_t> fill(64, 0x5A);
    console::SpuWriteMemory(0, fill.data(), 64);
    veSoundStartSampleInstance(in);
    EXPECT_FALSE(veSoundHardwareKeyOnQueued(in->channel));
    EXPECT_EQ(s->soundRam, 0u);
    EXPECT_EQ(console::SpuMemory()[0], 0x5A);
    Frame();
    EXPECT_FALSE(console::SpuGetVoice(0, 0).sounding());
    EXPECT_EQ(engine::instances[0].status, 0);
    EXPECT_EQ(s->useCount, 0u);
}

TEST_F(Sound, MainMemorySampleIsSentOnceForOverlappingInstances) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageMainRam, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->soundRam, 0u);
    EXPECT_EQ(console::SdRemoteVoiceTransferCount(), 0u);
    _SampleInstance* a = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    _SampleInstance* b = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->channel, 1);
    EXPECT_EQ(s->useCount, 2u);
    veSoundStartSampleInstance(a);
    veSoundStartSampleInstance(b);
    EXPECT_EQ(console::SdRemoteVoiceTransferCount(), 1u);
    Frame();
    veSoundDestroySampleInstance(a);
    EXPECT_NE(s->soundRam, 0u);  // b still plays it
    veSoundDestroySampleInstance(b);
    EXPECT_EQ(s->soundRam, 0u);
    EXPECT_EQ(s->status & kSampleInUse, kSampleInUse);  // kept in the table
    a = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(a);
    EXPECT_EQ(console::SdRemoteVoiceTransferCount(), 2u);
}

TEST_F(Sound, IopSampleIsCopiedThereAndFreedWithItsLastInstance) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    const uint32_t heapBefore = console::IopHeapUsed();
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageIopRam, 0);
    ASSERT_NE(s, nullptr);
    ASSERT_NE(s->iopRam, 0u);
    EXPECT_EQ(std::memcmp(console::IopMemory() + s->iopRam, img.data() + 64, 16), 0);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(in);
    EXPECT_EQ(std::memcmp(console::SpuMemory() + s->soundRam, img.data() + 64, 16), 0);
    veSoundDestroySampleInstance(in);
    EXPECT_EQ(s->iopRam, 0u);
    EXPECT_EQ(console::IopHeapUsed(), heapBefore);
}

TEST_F(Sound, TheFortyNinthInstanceIsRefusedAndSlotsAreReused) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    std::vector<_SampleInstance*> all;
    for (int i = 0; i < 48; ++i)
        all.push_back(veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr));
    for (int i = 0; i < 48; ++i) ASSERT_EQ(all[i], &engine::instances[i]);
    EXPECT_EQ(veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr), nullptr);
    veSoundDestroySampleInstance(all[17]);
    EXPECT_EQ(veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr), &engine::instances[17]);
    EXPECT_EQ(veSoundCreateSampleInstance(nullptr, -1, 0, nullptr), nullptr);
}

TEST_F(Sound, RateRampStepsAndLandsExactly) {
    const std::vector<uint8_t> img = LoopedSquare(22050);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    // Not playing yet: the rate applies at once with a counter of 1.
    veSoundSetSampleInstanceRate(in, 30000, 10);
    EXPECT_EQ(in->currentSampleRate, 30000);
    EXPECT_EQ(in->sampleRateTicks, 1);
    veSoundSetSampleInstanceRate(in, 22050, 1);
    veSoundStartSampleInstance(in);
    Frame();  // key-on sent
    Frame();  // playing
    ASSERT_TRUE(in->status & kInstancePlaying);
    EXPECT_EQ(console::SpuGetVoice(0, 0).pitch, 1881);
    veSoundSetSampleInstanceRate(in, 44100, 10);
    EXPECT_EQ(in->deltaSampleRate, 2205);
    for (int tick = 1; tick <= 10; ++tick) {
        Frame();
        const int expected = tick < 10 ? 22050 + 2205 * tick : 44100;
        EXPECT_EQ(in->currentSampleRate, expected) << tick;
        EXPECT_EQ(console::SpuGetVoice(0, 0).pitch, veSoundHardwareRateToPitch(expected)) << tick;
    }
    EXPECT_EQ(in->sampleRateTicks, 0);
    EXPECT_EQ(console::SpuGetVoice(0, 0).pitch, 3763);
    // Rate and pan on a free slot do nothing.
    veSoundDestroySampleInstance(in);
    veSoundSetSampleInstanceRate(in, 1000, 1);
    EXPECT_EQ(in->desiredSampleRate, 0);
}

TEST_F(Sound, PanRampReachesTheTargetAndPauseSilences) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    const _Pan5Dot1 left = {-1.0f, -1.0f, 1.0f, 0.0f, 0.0f};
    const _Pan5Dot1 right = {1.0f, -1.0f, 1.0f, 0.0f, 0.0f};
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), &left);
    veSoundStartSampleInstance(in);
    Frame();
    EXPECT_EQ(console::SpuGetVoice(0, 0).volL, 0x3FFF);
    EXPECT_EQ(console::SpuGetVoice(0, 0).volR, 0);
    Frame();
    veSoundSetSampleInstancePan(in, &right, 4);
    EXPECT_FLOAT_EQ(in->deltaPan.panLR, 0.5f);
    for (int i = 0; i < 4; ++i) Frame();
    EXPECT_FLOAT_EQ(in->currentPan.panLR, 1.0f);
    EXPECT_EQ(console::SpuGetVoice(0, 0).volL, 0);
    EXPECT_EQ(console::SpuGetVoice(0, 0).volR, 0x3FFF);
    in->status |= kInstancePauseRequested;
    Frame();
    EXPECT_TRUE(in->status & kInstancePaused);
    EXPECT_EQ(console::SpuGetVoice(0, 0).pitch, 0);
}

// End to end: a sample started through the engine comes out of the mixer at its rate's pitch, on the
// side its pan gives, at the volume the pan curve gives.
TEST_F(Sound, StartedSampleSoundsAtItsPitchPanAndVolume) {
    veSoundReset();
    veSoundSetMaxSamples(120);
    veSoundSetSpeakerConfig(1);
    ASSERT_EQ(veSoundInit(), 0);
    const _Pan5Dot1 left = {-1.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    const std::vector<uint8_t> img = LoopedSquare(24000);  // 24 kHz: 24000 / 28 Hz
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), &left);
    veSoundStartSampleInstance(in);
    out_.clear();
    for (int i = 0; i < 60; ++i) Frame();
    ASSERT_EQ(out_.size(), 2u * 48000);
    EXPECT_NEAR(testsupport::MeasureFrequency(out_, 0, 48000), 24000.0 / 28, 0.5);
    EXPECT_EQ(testsupport::PeakAbs(out_, 1), 0);
    // Square levels 7168 / -8192 at full volume (0x3FFF).
    EXPECT_NEAR(testsupport::PeakAbs(out_, 0), 8192, 8);
    // Centred, main volume 0.5, configuration 1: x = trunc(16383 * 0.5 * 0.5) = 4095 -> 7167 each side.
    const _Pan5Dot1 centre = {0.0f, 0.0f, 0.5f, 0.0f, 0.0f};
    veSoundSetSampleInstancePan(in, &centre, 1);
    Frame();
    out_.clear();
    for (int i = 0; i < 10; ++i) Frame();
    const double gain = 7167.0 / 16383.0;
    EXPECT_NEAR(testsupport::PeakAbs(out_, 0), 8192 * gain, 8);
    EXPECT_NEAR(testsupport::PeakAbs(out_, 1), 8192 * gain, 8);
}

// A one-shot sample shorter than a frame still frees its voice: the maintenance after its key-on sees
// its end flag set, makes it stop pending and frees the slot.
TEST_F(Sound, ShortOneShotSampleIsReclaimed) {
    const std::vector<uint8_t> img =
        Image(48000, false, 1, {ConstantBlock(5, 4, 0), ConstantBlock(5, 4, kAdpcmFlagLoopEnd)});
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageMainRam, 0);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
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

TEST_F(Sound, LongOneShotPlaysThenEndsAndKeyOffReleases) {
    // 100 blocks of a constant at 48 kHz: 2800 samples, 3.5 frames.
    std::vector<std::vector<uint8_t>> blocks(100, ConstantBlock(5, 4, 0));
    blocks.back()[1] = kAdpcmFlagLoopEnd;
    const std::vector<uint8_t> img = Image(48000, false, 0, blocks);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageSoundRam, 0);
    _SampleInstance* in = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(in);
    Frame();
    Frame();
    EXPECT_EQ(in->status, kInstanceInUse | kInstancePlaying);
    EXPECT_EQ(console::SpuReadSwitch(0x1700) & 1, 0);  // sounding: end flag clear
    Frame();
    EXPECT_EQ(console::SpuReadSwitch(0x1700) & 1, 0);  // 2400 samples played
    Frame();  // ends at 2800: the next maintenance makes it stop pending and frees it
    EXPECT_EQ(in->status, kInstanceInUse | kInstancePlaying);
    EXPECT_NE(console::SpuReadSwitch(0x1700) & 1, 0);
    Frame();
    EXPECT_EQ(engine::instances[0].status, 0);
    // Key-off of a looping sound: released over envelope 0's release, then silent.
    const std::vector<uint8_t> loop = Image(48000, true, 0, {ConstantBlock(5, 4, 7)});
    _Sample* l = veSoundCreateSampleFromPointer(loop.data(), loop.data() + 64, kSampleStorageSoundRam, 0);
    in = veSoundCreateSampleInstance(l, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(in);
    Frame();
    Frame();
    EXPECT_TRUE(console::SpuGetVoice(0, 0).sounding());
    veSoundStopSampleInstance(in);
    EXPECT_TRUE(in->status & kInstanceStopPending);
    out_.clear();
    Frame();  // destroys the instance and sends the key-off
    Frame();
    Frame();
    EXPECT_EQ(engine::instances[0].status, 0);
    EXPECT_FALSE(console::SpuGetVoice(0, 0).sounding());
    EXPECT_EQ(testsupport::PeakAbs(out_, 0, 800 + 1100), 0);  // released within ~1024 samples
}

TEST_F(Sound, DestroyingASampleKeepsOrFreesItsSlot) {
    const std::vector<uint8_t> img = LoopedSquare(48000);
    _Sample* s = veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageMainRam, 0);
    _SampleInstance* a = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(a);
    veSoundDestroySample(s, 0);
    EXPECT_EQ(s->status & kSampleInUse, kSampleInUse);
    EXPECT_EQ(s->useCount, 0u);
    EXPECT_EQ(s->soundRam, 0u);
    EXPECT_EQ(a->status, 0);
    // Started again, it is sent anew; with clear 1 the slot goes to the next sample.
    a = veSoundCreateSampleInstance(s, -1, static_cast<uint32_t>(-1), nullptr);
    veSoundStartSampleInstance(a);
    EXPECT_NE(s->soundRam, 0u);
    veSoundDestroySample(s, 1);
    EXPECT_EQ(s->status, 0);
    EXPECT_EQ(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, kSampleStorageMainRam, 0), s);
}

TEST_F(Sound, FullSampleTableReturnsNull) {
    veSoundReset();
    veSoundSetMaxSamples(2);
    ASSERT_EQ(veSoundInit(), 0);
    const std::vector<uint8_t> img = LoopedSquare(48000);
    EXPECT_NE(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, 1, 0), nullptr);
    EXPECT_NE(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, 1, 0), nullptr);
    EXPECT_EQ(veSoundCreateSampleFromPointer(img.data(), img.data() + 64, 1, 0), nullptr);
}

}  // namespace
