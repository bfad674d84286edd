#include "engine/hal/sound_hw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/iop/iop.h"
#include "console/kernel/clock.h"
#include "console/mem/addr.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"

namespace {

class SoundHardware : public ::testing::Test {
protected:
    void SetUp() override {
        console::ClockReset();
        console::SdRemoteReset();
        veSoundReset();
        ASSERT_EQ(veSoundHardwareInit(), 1);
    }
    void TearDown() override { veSoundReset(); }
    static const _SoundBatchEntry* Find(uint16_t command, uint16_t entry) {
        for (uint32_t i = 0; i < engine::Batch[0].count; ++i)
            if (engine::Batch[0].entries[i].command == command && engine::Batch[0].entries[i].entry == entry)
                return &engine::Batch[0].entries[i];
        return nullptr;
    }
    testsupport::DriverModules modules_;
};

TEST_F(SoundHardware, PanToVolumes) {
    // Pan (LR, FB, main, -, low frequency) to left and right volumes.
    const struct {
        int config;
        float master;
        _Pan5Dot1 pan;
        uint32_t l, r;
    } cases[] = {
        {1, 1.0f, {-1.0f, 0.0f, 1.0f, 0.0f, 0.0f}, 0x3FFF, 0},
        // Only the low-frequency volume: p = 0.5, x = 4095, 2x - x*x/16383 = 7167.
        {3, 1.0f, {0.7f, 0.3f, 0.0f, 0.0f, 0.5f}, 7167, 7167},
        {3, 1.0f, {0.5f, 0.0f, 0.0f, 0.0f, 0.0f}, 0, 0},
        {3, 1.0f, {0.25f, 1.0f, 1.0f, 0.0f, 0.0f}, 0, 0},  // configuration 3: at the back, silent here
        // Master volume beyond 0..1 stays inside the register's range.
        {1, 4.0f, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f}, 0x3FFF, 0x3FFF},
        {1, -1.0f, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f}, 0, 0},
    };
    uint32_t l, r;
    for (const auto& c : cases) {
        engine::speakerConfig = c.config;
        engine::masterVolume = c.master;
        veSoundHardwarePanToVolumes(&c.pan, &l, &r);
        EXPECT_EQ(l, c.l) << c.config << " " << c.pan.panLR << " " << c.master;
        EXPECT_EQ(r, c.r) << c.config << " " << c.pan.panLR << " " << c.master;
    }
    engine::masterVolume = 1.0f;
    // At the front, configuration 3 gives what configuration 1 gives.
    const _Pan5Dot1 front = {0.25f, -1.0f, 1.0f, 0.0f, 0.0f};
    uint32_t l3, r3;
    engine::speakerConfig = 3;
    veSoundHardwarePanToVolumes(&front, &l3, &r3);
    engine::speakerConfig = 1;
    veSoundHardwarePanToVolumes(&front, &l, &r);
    EXPECT_EQ(l3, l);
    EXPECT_EQ(r3, r);
    EXPECT_GT(r, l);
    const _Pan5Dot1 bad = {__builtin_nanf(""), __builtin_inff(), 1.0f, 0.0f, 0.0f};
    veSoundHardwarePanToVolumes(&bad, &l, &r);
    EXPECT_LE(l, 0x3FFFu);
    EXPECT_LE(r, 0x3FFFu);
    // What SetChannelPan writes is what PanToVolumes gives.
    const _Pan5Dot1 left = {-1.0f, 0.0f, 1.0f, 0.0f, 0.0f};
    veSoundHardwareSetChannelPan(25, &left);
    EXPECT_EQ(Find(1, 0x0003)->value, 0x3FFFu);
    EXPECT_EQ(Find(1, 0x0103)->value, 0u);
    engine::speakerConfig = 0;
}

TEST_F(SoundHardware, FailedBatchTransferKeepsTheBatch) {
    veSoundHardwareStartChannel(0, 0);
    const uint32_t saved = engine::BatchOnIOP;
    engine::BatchOnIOP = console::kIopMemSize - 4;  // the entries would not fit
    EXPECT_EQ(veSoundHardwareSendBatch(), -1);
    EXPECT_EQ(engine::Batch[0].count, 1u);
    engine::BatchOnIOP = saved;
    EXPECT_EQ(veSoundHardwareSendBatch(), 0);
    EXPECT_EQ(engine::Batch[0].count, 0u);
    EXPECT_TRUE(console::SpuGetVoice(0, 0).sounding());
}

}  // namespace
