#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "console/iop/audio_module.h"
#include "console/iop/music_stream_format.h"
#include "console/iop/sif_rpc.h"
#include "console/mem/addr.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/spu.h"
#include "support/temp_dir.h"

using namespace console;

namespace {

// A stream of a sine at `hz`, `seconds` long, sampled at `rate`.
std::vector<uint8_t> SineStream(double hz, double seconds, uint32_t rate, int channels = 2) {
    std::vector<int16_t> s(static_cast<size_t>(seconds * rate));
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * hz * i / rate));
    return stm::Write(std::vector<std::vector<int16_t>>(channels, s), rate);
}

class AudioModule : public ::testing::Test {
protected:
    void SetUp() override {
        dir_.write("AUDIO/A.STM", SineStream(440, 0.5, 32000));
        dir_.write("AUDIO/B.STM", SineStream(1000, 0.25, 48000, 1));
        dir_.write("AUDIO/BAD.STM", std::string("QZMS not really"));
        CdMount(dir_.path().c_str());
        IopReset();
        SpuReset();
        ASSERT_EQ(sceSifBindRpc(&music_, kAmmMusicServer, 0), 0);
        ASSERT_EQ(sceSifBindRpc(&memory_, kAmmMemoryServer, 0), 0);
        _vetmInitData d{8, 0, 0x2000, 0};
        call(music_, kAmmSetUp, &d, sizeof d);
    }
    void TearDown() override {
        call(music_, kAmmShutDown);
        IopReset();
        CdUnmount();
    }
    void call(sceSifClientData& c, unsigned fno, const void* data = nullptr, int size = 0) {
        ASSERT_EQ(sceSifCallRpc(&c, fno, 0, data, size, nullptr, 0, nullptr, nullptr), 0);
    }
    // A name table in I/O-processor memory, as the sound view leaves it for the module.
    uint32_t playlist(const std::vector<std::string>& names) {
        const uint32_t bytes = static_cast<uint32_t>(names.size() * 64);
        auto addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sceSifAllocIopHeap(bytes)));
        std::memset(IopMemory() + addr, 0, bytes);
        for (size_t i = 0; i < names.size(); ++i)
            std::memcpy(IopMemory() + addr + i * 64, names[i].data(), std::min<size_t>(64, names[i].size()));
        _vetmPlaylist p{static_cast<uint32_t>(names.size()), addr, 0, {}};
        call(music_, kAmmPlaylist, &p, sizeof p);
        return addr;
    }
    void song(uint32_t cmd, uint32_t val) {
        _vetmPlaylistCtl c{cmd, val, {}};
        call(music_, kAmmSongControl, &c, sizeof c);
    }
    std::vector<int16_t> mix(int frames) {
        std::vector<int16_t> out(2 * static_cast<size_t>(frames));
        SpuMix(out.data(), frames);
        return out;
    }
    testsupport::TempDir dir_;
    sceSifClientData music_, memory_;
};

TEST_F(AudioModule, MemoryServerCopiesIntoSoundMemoryAndFetchesBatches) {
    const uint32_t iop = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sceSifAllocIopHeap(64)));
    for (int i = 0; i < 64; ++i) IopMemory()[iop + i] = static_cast<uint8_t>(i + 1);
    AmmTransferRecord t{0x20000, iop, 32, 0};
    call(memory_, kAmmToSoundMemory, &t, sizeof t);
    EXPECT_EQ(std::memcmp(SpuMemory() + 0x20000, IopMemory() + iop, 32), 0);

    alignas(16) static uint8_t dst[48][16];
    std::memset(dst, 0, sizeof dst);
    std::vector<AmmFetchRecord> batch;
    for (int i = 0; i < 42; ++i) batch.push_back({iop + 16, Addr32(dst[i]), 16, 1});
    batch[1] = {0x20000, Addr32(dst[1]), 16, 0};          // from sound memory
    batch[2] = {kIopMemSize - 8, Addr32(dst[2]), 16, 1};  // runs out of I/O-processor memory: skipped
    ASSERT_EQ(sceSifCallRpc(&memory_, kAmmFetch, SIF_RPCM_NOWAIT, batch.data(), 42 * 16, nullptr, 0, nullptr,
                            nullptr),
              0);
    EXPECT_EQ(dst[0][0], 17);
    EXPECT_EQ(dst[1][0], 1);
    EXPECT_EQ(dst[2][0], 0);
    EXPECT_EQ(dst[39][15], 32);
    EXPECT_EQ(dst[40][0], 0);  // the 41st record is beyond the batch
}

TEST_F(AudioModule, PlaysThePlaylistAfterResumeAtTheMusicVolume) {
    playlist({"cdrom0:\\AUDIO\\A.STM"});
    song(1, 0);
    EXPECT_TRUE(AmmMusic().paused);  // set-up leaves the music paused
    EXPECT_EQ(testsupport::PeakAbs(mix(4800), 0), 0);
    call(music_, kAmmResume);
    std::vector<int16_t> loud = mix(9600);
    EXPECT_NEAR(testsupport::MeasureFrequency(loud, 0, 48000), 440.0, 1.0);
    EXPECT_NEAR(testsupport::PeakAbs(loud, 1), 12000, 400);
    _vetmVolumeRequest v{0.5f, 1.0f, 0, 0};
    call(music_, kAmmVolume, &v, sizeof v);
    EXPECT_NEAR(testsupport::PeakAbs(mix(4800), 0), 6000, 250);
    call(music_, kAmmPause);
    EXPECT_EQ(testsupport::PeakAbs(mix(4800), 0), 0);
    // A one-entry playlist plays round and round without a gap.
    call(music_, kAmmResume);
    std::vector<int16_t> wrap = mix(48000);
    EXPECT_EQ(AmmMusic().songsStarted, 3u);
    EXPECT_GT(testsupport::PeakAbs(wrap, 0, 40000), 5000);
}

TEST_F(AudioModule, SongControlWrapsSkipsUnreadableStreamsAndOwnsTheTable) {
    const uint32_t heapBefore = IopHeapUsed();
    // 64-byte name without a terminator is read as 64 bytes: not on the disc, skipped.
    const uint32_t first = playlist(
        {"cdrom0:\\AUDIO\\A.STM", "cdrom0:\\AUDIO\\BAD.STM", std::string(64, 'X'), "cdrom0:\\AUDIO\\B.STM"});
    song(1, 1);
    EXPECT_EQ(AmmMusic().song, 3);
    EXPECT_STREQ(AmmMusic().name, "cdrom0:\\AUDIO\\B.STM");
    call(music_, kAmmResume);
    EXPECT_NEAR(testsupport::MeasureFrequency(mix(4800), 1, 48000), 1000.0, 2.0);  // mono on both sides
    mix(12000);  // past B's end: wraps to entry 0
    EXPECT_EQ(AmmMusic().song, 0);
    song(0, 3);
    EXPECT_EQ(AmmMusic().song, 3);
    // A new playlist frees the old table; shut-down frees the new one and stops.
    playlist({"cdrom0:\\AUDIO\\A.STM"});
    EXPECT_NE(AmmMusic().tableAddr, first);
    EXPECT_EQ(IopHeapUsed(), heapBefore + 64);
    call(music_, kAmmShutDown);
    EXPECT_EQ(IopHeapUsed(), heapBefore);
    EXPECT_FALSE(AmmMusic().setUp);
    EXPECT_FALSE(AmmMusic().playing);
}

// A stream whose header checks but one of whose blocks was damaged on the disc: a byte of sample data
// is only a changed sample (nothing to tell), a bad block header plays as silence, said once.
TEST_F(AudioModule, ADamagedBlockPlaysAsSilenceAndIsSaidOnce) {
    std::vector<uint8_t> a = SineStream(440, 0.5, 32000, 1);
    const size_t frame = 16;                         // mono: a block frame is one 16-byte block
    a[stm::kHeaderBytes + 100 * frame + 5] ^= 0xFF;  // sample data of block frame 100
    a[stm::kHeaderBytes + 200 * frame] = 0xFF;       // shift 15, filter 15: block frame 200
    a[stm::kHeaderBytes + 300 * frame] = 0x5D;       // filter 5: block frame 300
    dir_.write("AUDIO/D.STM", a);
    CdUnmount();
    CdMount(dir_.path().c_str());  // the disc's listing is taken when it is mounted
    playlist({"cdrom0:\\AUDIO\\D.STM"});
    song(1, 0);
    call(music_, kAmmResume);
    testing::internal::CaptureStdout();
    // 0.5 s at 32 kHz is 16000 source samples, 24000 output frames: the whole stream once.
    const std::vector<int16_t> out = mix(24000);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(said,
              "AMM: cdrom0:\\AUDIO\\D.STM: block frame 200 has a bad shift or filter; played as silence\n");
    // Block frame 200 is source samples 5600..5627, output frames 8400..8441: silent but for the edges.
    EXPECT_LT(testsupport::PeakAbs(out, 0, 8402, 8440), 100);
    EXPECT_LE(testsupport::PeakAbs(out, 0), 32767);
    EXPECT_GT(testsupport::PeakAbs(out, 0, 9000, 12000), 11000);  // the music goes on after it
}

TEST(MusicStreamFormat, ChecksHeaderAndBlocks) {
    const std::vector<uint8_t> good = SineStream(300, 0.1, 22050);
    EXPECT_TRUE(stm::Check(good.data(), good.size()).ok);
    struct Case {
        size_t offset;
        uint8_t value;
        size_t size;
    } cases[] = {{0, 'X', good.size()},     {4, 2, good.size()},    {6, 3, good.size()},  {6, 0, good.size()},
                 {9, 0, good.size()},       {11, 1, good.size()},   {12, 0, good.size()}, {0, 'Q', 15},
                 {0, 'Q', good.size() - 1}, {16, 0xFF, good.size()}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        bad[c.offset] = c.value;
        if (c.offset == 12) std::memset(&bad[12], 0, 4);
        bad.resize(c.size);
        EXPECT_FALSE(stm::Check(bad.data(), bad.size()).ok) << c.offset << " " << c.size;
    }
}

}  // namespace
