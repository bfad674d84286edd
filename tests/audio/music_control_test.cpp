#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/music_playlists.h"
#include "audio/ps2_audio_memory_manager.h"
#include "audio/ps2_sound_view.h"
#include "audio/sound_storage.h"
#include "console/iop/iop.h"
#include "console/mem/addr.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"

using namespace console;

namespace {

struct Call {
    uint32_t server;
    unsigned fno;
    std::vector<uint32_t> words;
};

// Records every remote call to the audio module.
class MusicControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(sceSdRemoteInit(), 0);
        IopRpcSetObserver(
            [](uint32_t server, unsigned fno, const void* data, int size, void* user) {
                std::vector<uint32_t> w(static_cast<size_t>(size) / 4);
                if (!w.empty()) std::memcpy(w.data(), data, w.size() * 4);  // a call may carry no words
                static_cast<MusicControl*>(user)->calls.push_back({server, fno, w});
            },
            this);
    }
    void TearDown() override { IopRpcSetObserver(nullptr, nullptr); }
    std::vector<unsigned> functions(uint32_t server) const {
        std::vector<unsigned> f;
        for (const Call& c : calls)
            if (c.server == server) f.push_back(c.fno);
        return f;
    }
    testsupport::DriverModules modules;
    std::vector<Call> calls;
};

TEST_F(MusicControl, ViewsSetUpOnceAndShutDownWithTheLast) {
    CPS2AudioMemoryManager amm;
    auto* first = new CPS2SoundView(amm);
    auto* second = new CPS2SoundView(amm);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].fno, kAmmSetUp);
    EXPECT_EQ(calls[0].words[0], 8u);
    EXPECT_EQ(calls[0].words[2], 0x2000u);
    EXPECT_EQ(calls[0].words[3], Addr32(&CPS2SoundView::nextTransferDest));
    delete first;
    EXPECT_EQ(calls.size(), 1u);
    delete second;
    EXPECT_EQ(functions(kAmmMusicServer), (std::vector<unsigned>{kAmmSetUp, kAmmShutDown}));
}

TEST_F(MusicControl, OperationsSendTheirRecordsAndStopSfxSetsTheMasterVolume) {
    CPS2AudioMemoryManager amm;
    CPS2SoundView view(amm);
    calls.clear();
    view.setVolume(0.2f, 0.8f);
    view.setPlaylist(kRaceStreams, race_playlist);
    view.playlistSetSong(4);
    view.playlistSkip(2);
    view.pauseMusic(true);
    view.pauseMusic(false);
    EXPECT_EQ(functions(kAmmMusicServer), (std::vector<unsigned>{kAmmVolume, kAmmPlaylist, kAmmSongControl,
                                                                 kAmmSongControl, kAmmPause, kAmmResume}));
    float vols[2];
    std::memcpy(vols, calls[0].words.data(), sizeof vols);
    EXPECT_EQ(vols[0], 0.2f);
    EXPECT_EQ(vols[1], 0.8f);
    ASSERT_EQ(calls[1].words.size(), 6u);
    EXPECT_EQ(calls[1].words[0], 9u);
    EXPECT_EQ(calls[1].words[2], 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(IopMemory() + calls[1].words[1] + 8 * 64), race_playlist[8]);
    EXPECT_EQ(AmmMusic().tableAddr, calls[1].words[1]);  // the module holds the table
    EXPECT_EQ(calls[2].words, (std::vector<uint32_t>{1, 4, 0, 0, 0, 0}));
    EXPECT_EQ(calls[3].words, (std::vector<uint32_t>{0, 2, 0, 0, 0, 0}));

    for (bool stop : {true, false, true}) {
        calls.clear();
        view.stopSFX(stop);
        EXPECT_EQ(functions(kAmmMusicServer), std::vector<unsigned>{kAmmStopEffects});
        for (int core = 0; core < 2; ++core)
            for (int right = 0; right < 2; ++right)
                EXPECT_EQ(SpuMasterVolume(core, right), stop ? 0 : 0x3FFF);
    }
}

TEST_F(MusicControl, FetchRequestsPadAlignAndGoInBatchesOfForty) {
    CPS2AudioMemoryManager amm;
    auto& store = CResourceStorage<CSoundStorage>::instance();
    auto* sound = new CSoundStorage;
    const uint32_t iop = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sceSifAllocIopHeap(256)));
    for (int i = 0; i < 256; ++i) IopMemory()[iop + i] = static_cast<uint8_t>(i);
    sound->pSound = reinterpret_cast<void*>(static_cast<uintptr_t>(iop + 2));
    sound->soundFlags = kSoundKindVemo | kAmmLocIopMemory;
    const int id = store.add(sound);

    CAudioBuffer buffer(64, 1);
    CAudioBufferAlias at4(buffer, 4, -1);  // address = 4 (mod 16)
    unsigned before = 0, after = 0;
    amm.getPadLengths(id, at4, 0, 30, before, after);  // data + pos = 2 (mod 4)
    EXPECT_EQ(before, 14u);
    EXPECT_EQ(after, 4u);

    amm.processRequests();
    EXPECT_TRUE(calls.empty());  // nothing queued: no call
    for (int i = 0; i < 41; ++i) amm.fetchIntoBuffer(id, buffer, 8, 20);
    amm.processRequests();
    EXPECT_EQ(functions(kAmmMemoryServer), (std::vector<unsigned>{kAmmFetch, kAmmFetch}));
    EXPECT_EQ(calls[0].words.size(), 160u);
    EXPECT_EQ(calls[1].words, (std::vector<uint32_t>{iop + 8, (Addr32(buffer.data[0]) + 15) & ~15u, 32, 1}));
    EXPECT_EQ(buffer.data[0][0], 8);  // filled from I/O-processor memory
    EXPECT_EQ(buffer.data[0][31], 39);
    amm.cleanupRequests();
    EXPECT_TRUE(amm.requests.empty());
    store.data.pop_back();
    delete sound;
}

}  // namespace
