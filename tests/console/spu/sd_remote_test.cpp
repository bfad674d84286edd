#include "console/spu/sd_remote.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console/kernel/clock.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/spu.h"

namespace {

using namespace console;

void PutEntry(uint32_t iop, int index, uint16_t cmd, uint16_t entry, uint32_t value) {
    uint8_t* p = IopMemory() + iop + 8 * index;
    std::memcpy(p, &cmd, 2);
    std::memcpy(p + 2, &entry, 2);
    std::memcpy(p + 4, &value, 4);
}

class SdRemote : public ::testing::Test {
protected:
    void SetUp() override {
        ClockReset();
        SdRemoteReset();
    }
};

TEST_F(SdRemote, BindsOnlyWithTheSoundDriverLoaded) {
    console::IopReset();
    EXPECT_EQ(sceSdRemoteInit(), -1);
    EXPECT_EQ(sceSdRemote(1, kSdCmdInit, 0), -1);
    testsupport::DriverModules modules;
    ASSERT_EQ(modules.loaded(), 5);
    EXPECT_EQ(sceSdRemoteInit(), 0);
    EXPECT_EQ(sceSdRemote(1, kSdCmdInit, 0), 0);
    EXPECT_EQ(sceSdRemote(1, 0x8123, 0), -1);  // unknown command
    // A call first mixes what was due before it changes any register.
    ClockTickVblank();
    EXPECT_EQ(SpuMixedFrames(), 0u);
    sceSdRemote(1, kSdCmdGetSwitch, 0x1700);
    EXPECT_EQ(SpuMixedFrames(), 800u);
}

TEST_F(SdRemote, BatchEntriesApplyInOrder) {
    testsupport::DriverModules modules;
    ASSERT_EQ(sceSdRemoteInit(), 0);
    const uint32_t iop = 0x180000;
    // Voice 6 of core 1 (entry bits 0x0D): address, pitch, volumes, then key on; a bad entry in the
    // middle is reported but does not stop the rest.
    PutEntry(iop, 0, kSdBatchAddress, 0x2040 | 0x0D, 0x30000);
    PutEntry(iop, 1, kSdBatchParam, 0x0200 | 0x0D, 0x0800);
    PutEntry(iop, 2, kSdBatchParam, 0x0500, 0);
    PutEntry(iop, 3, kSdBatchParam, 0x0000 | 0x0D, 0x1234);
    PutEntry(iop, 4, kSdBatchSwitch, 0x1501, 1u << 6);
    PutEntry(iop, 5, kSdBatchAttribute, 0x000A, 0x80);
    EXPECT_EQ(sceSdRemote(1, kSdCmdProcBatch, iop, 0, 6), -1);
    const SpuVoice& v = SpuGetVoice(1, 6);
    EXPECT_EQ(v.startAddr, 0x30000u);
    EXPECT_EQ(v.pitch, 0x0800);
    EXPECT_EQ(v.volL, 0x1234);
    EXPECT_TRUE(v.sounding());
    EXPECT_EQ(v.currentAddress(), 0x30000u);  // keyed on after its address was set
    EXPECT_EQ(SpuCoreAttribute(0), 0x80u);
    PutEntry(iop, 2, kSdBatchParam, 0x0100 | 0x0D, 0x0200);
    EXPECT_EQ(sceSdRemote(1, kSdCmdProcBatch, iop, 0, 6), 0);
}

TEST_F(SdRemote, TransfersStayInsideBothMemories) {
    testsupport::DriverModules modules;
    ASSERT_EQ(sceSdRemoteInit(), 0);
    std::vector<uint8_t> data(4096);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    EXPECT_EQ(sceSdTransToIOP(data.data(), 0x100000, 4096, 1), 0);
    EXPECT_EQ(sceSdRemote(1, kSdCmdVoiceTrans, 0, 0, 0x100000, 0x15010, 4096), 0);
    EXPECT_GE(sceSdRemote(1, kSdCmdVoiceTransStatus, 0, 1), 0);
    EXPECT_EQ(std::memcmp(SpuMemory() + 0x15010, data.data(), 4096), 0);
    // Past the end of I/O-processor memory, past the end of sound memory, or wrapping: refused, nothing
    // copied.
    EXPECT_LT(sceSdTransToIOP(data.data(), kIopMemSize - 100, 4096, 1), 0);
    EXPECT_LT(sceSdTransToIOP(data.data(), 0xFFFFFF00u, 4096, 1), 0);
    EXPECT_EQ(sceSdRemote(1, kSdCmdVoiceTrans, 0, 0, kIopMemSize - 100, 0x15010, 4096), -1);
    const std::vector<uint8_t> fill(16, 0xAB);
    SpuWriteMemory(kSpuMemSize - 16, fill.data(), 16);
    EXPECT_EQ(sceSdRemote(1, kSdCmdVoiceTrans, 0, 0, 0x100000, kSpuMemSize - 16, 4096), -1);
    EXPECT_EQ(SpuMemory()[kSpuMemSize - 1], 0xAB);
    EXPECT_EQ(sceSdRemote(1, kSdCmdVoiceTrans, 0, 0, 0x100000, 0xFFFFFFF0u, 4096), -1);
    // A batch whose entries would run past I/O-processor memory is refused whole.
    EXPECT_EQ(sceSdRemote(1, kSdCmdProcBatch, kIopMemSize - 8, 0, 2), -1);
    EXPECT_EQ(sceSdRemote(1, kSdCmdProcBatch, 0, 0, 0x40000000u), -1);
}

}  // namespace
