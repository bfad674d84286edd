#include "engine/hal/microcode.h"

#include <gtest/gtest.h>

#include "console/dma/dma.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "engine/hal/dma_tasks.h"
#include "engine/vu1/geometry_programs.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST(MicrocodeTable, FirstMatchingRowWins) {
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x80000, 1), &vuPreLitTClip16);
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x80000, 0), &vuPreLit16);  // needs cull: falls through
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x20000 | 0x40000, 1), &vuPreLitSCull16);
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x40000, 1), &vuPreLitTCull16);
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x800000 | 0x400000, 0), &vuRGBAOverWrite16ObjectCull);
    EXPECT_EQ(veEngineChooseMicroCode(0x800 | 0x400000, 0), &vuRGBAScale16ObjectCull);
    EXPECT_EQ(veEngineChooseMicroCode(0x1000 | 0x80000, 1), &vuPreLitTClip32);
    EXPECT_EQ(veEngineChooseMicroCode(0x1000 | 0x80000, 0), &vu1TransNoLightNoClipNoCull);
    EXPECT_EQ(veEngineChooseMicroCode(0x2000 | 0x40000, 0), &vuLitTCull16);  // no cull needed
    EXPECT_EQ(veEngineChooseMicroCode(0x2000, 1), &vuLit16);
    EXPECT_EQ(veEngineChooseMicroCode(0x4000 | 0x80000, 1), &vu1TransLightNoClipNoCull32);
    EXPECT_EQ(veEngineChooseMicroCode(0x8000 | 0x800 | 0x80000, 0), &vu1VertexCacheInst);
    EXPECT_EQ(veEngineChooseMicroCode(0x8000 | 0x800, 0), &vu1VertexCacheMicroCode);
    EXPECT_EQ(veEngineChooseMicroCode(0xA000, 0), &vertexCacheLit16);
    EXPECT_EQ(veEngineChooseMicroCode(0x10000 | 0x800, 0), &primitiveMicroCode);
    EXPECT_EQ(veEngineChooseMicroCode(0x20000, 0), &vuIPreLitTCull16);
    EXPECT_EQ(veEngineChooseMicroCode(0x40000, 0), &vuIPreLit16);
    EXPECT_EQ(veEngineChooseMicroCode(0x100, 1), nullptr);
}

TEST_F(EngineTest, SelectionUploadsOnlyWhenTheFlagsChange) {
    veEngineBeginFrame();
    veEngineResetMicroCode();
    const int tasks = veDmaBuild->numTasks;
    veEngineSetMicroCode(0x800, 0);
    veEngineSetMicroCode(0x800, 0);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 1);
    EXPECT_EQ(veDmaBuild->dma[tasks].dmaAdr, Addr32(&vuPreLit16));
    veEngineResetMicroCode();
    veEngineSetMicroCode(0x800, 0);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 2);
    // Cull brings in the display mode's bits 0xF0000.
    veDisplaySetMode(0x80000);
    veEngineSetMicroCode(0x800, 1);
    EXPECT_EQ(veEngineMicroCodeFlags, 0x80800u);
    EXPECT_EQ(veEngineCurrentMicroCode, &vuPreLitTClip16);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 3);
    // A word with no program bits uploads nothing but is remembered.
    veEngineHardwareSetMicroCode(0x100, 0);
    EXPECT_EQ(veEngineMicroCodeFlags, 0x100u);
    EXPECT_EQ(veEngineCurrentMicroCode, &vuPreLitTClip16);
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 3);
    veEngineSetMicroCode(0x800, 1);  // differs from 0x100 again: uploads
    EXPECT_EQ(veDmaBuild->numTasks, tasks + 4);
    // The RGBA modes reach their programs without cull too; the cull bits need cull.
    veDisplaySetMode(0x400000 | 0x40000);
    veEngineSetMicroCode(0x800, 0);
    EXPECT_EQ(veEngineMicroCodeFlags, 0x400800u);
    EXPECT_EQ(veEngineCurrentMicroCode, &vuRGBAScale16ObjectCull);
    veEngineSetMicroCode(0x800, 1);
    EXPECT_EQ(veEngineCurrentMicroCode, &vuPreLitTCull16);
    veDisplaySetMode(0);
    veEngineEndFrame();
}

TEST_F(EngineTest, EveryGeometryChainNamesARegisteredProgram) {
    const _ve_microcode* chains[] = {&vuPreLit16,
                                     &vuPreLitSCull16,
                                     &vuPreLitTCull16,
                                     &vuPreLitTClip16,
                                     &vuRGBAOverWrite16ObjectCull,
                                     &vuRGBAScale16ObjectCull,
                                     &vuLit16,
                                     &vuLitTCull16,
                                     &vu1TransNoLightNoClipNoCull,
                                     &vuPreLitTClip32,
                                     &vu1TransLightNoClipNoCull32};
    const char* names[] = {"vuPreLit16",
                           "vuPreLitSCull16",
                           "vuPreLitTCull16",
                           "vuPreLitTClip16",
                           "vuRGBAOverWrite16ObjectCull",
                           "vuRGBAScale16ObjectCull",
                           "vuLit16",
                           "vuLitTCull16",
                           "vu1TransNoLightNoClipNoCull",
                           "vuPreLitTClip32",
                           "vu1TransLightNoClipNoCull32"};
    sceDmaChan* ch = sceDmaGetChan(1);
    ch->chcr.TTE = 1;
    for (size_t i = 0; i < sizeof chains / sizeof chains[0]; ++i) {
        ASSERT_EQ(sceDmaSend(ch, chains[i]), 0);
        const uint32_t id = console::vif::Vif1().ResidentProgram();
        const console::vu::Microprogram* p = console::vu::FindMicroprogram(id);
        ASSERT_NE(p, nullptr) << names[i];
        EXPECT_STREQ(p->Name(), names[i]);
    }
}

}  // namespace
