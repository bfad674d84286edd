#include "engine/hal/microcode.h"

#include <gtest/gtest.h>

#include "console/dma/dma.h"
#include "console/mem/addr.h"
#include "console/vif/vif.h"
#include "engine/hal/dma_tasks.h"
#include "engine/vu1/geometry_programs.h"
#include "engine/vu1/programs.h"
#include "engine_fixture.h"

namespace {

using enginetest::EngineTest;

TEST(MicrocodeTable, FirstMatchingRowWins) {
    const struct {
        uint32_t flags;
        int cull;
        const _ve_microcode* program;
    } rows[] = {
        {0x800 | 0x80000, 1, &vuPreLitTClip16},
        {0x800 | 0x80000, 0, &vuPreLit16},  // needs cull: falls through
        {0x800 | 0x20000 | 0x40000, 1, &vuPreLitSCull16},
        {0x800 | 0x40000, 1, &vuPreLitTCull16},
        {0x800 | 0x800000 | 0x400000, 0, &vuRGBAOverWrite16ObjectCull},
        {0x800 | 0x400000, 0, &vuRGBAScale16ObjectCull},
        {0x1000 | 0x80000, 1, &vuPreLitTClip32},
        {0x1000 | 0x80000, 0, &vu1TransNoLightNoClipNoCull},
        {0x2000 | 0x40000, 0, &vuLitTCull16},  // no cull needed
        {0x2000, 1, &vuLit16},
        {0x4000 | 0x80000, 1, &vu1TransLightNoClipNoCull32},
        {0x8000 | 0x800 | 0x80000, 0, &vu1VertexCacheInst},
        {0x8000 | 0x800, 0, &vu1VertexCacheMicroCode},
        {0xA000, 0, &vertexCacheLit16},
        {0x10000 | 0x800, 0, &primitiveMicroCode},
        {0x20000, 0, &vuIPreLitTCull16},
        {0x40000, 0, &vuIPreLit16},
        {0x100, 1, nullptr},
    };
    for (const auto& r : rows)
        EXPECT_EQ(veEngineChooseMicroCode(r.flags, r.cull), r.program) << std::hex << r.flags;
}

// Each chain uploads its program and resets the VIF registers the drawing relies on.
TEST_F(EngineTest, EveryChainNamesARegisteredProgramAndResetsTheVif) {
    const struct {
        const _ve_microcode* chain;
        const char* name;
    } chains[] = {
        {&vuPreLit16, "vuPreLit16"},
        {&vuPreLitSCull16, "vuPreLitSCull16"},
        {&vuPreLitTCull16, "vuPreLitTCull16"},
        {&vuPreLitTClip16, "vuPreLitTClip16"},
        {&vuRGBAOverWrite16ObjectCull, "vuRGBAOverWrite16ObjectCull"},
        {&vuRGBAScale16ObjectCull, "vuRGBAScale16ObjectCull"},
        {&vuLit16, "vuLit16"},
        {&vuLitTCull16, "vuLitTCull16"},
        {&vu1TransNoLightNoClipNoCull, "vu1TransNoLightNoClipNoCull"},
        {&vuPreLitTClip32, "vuPreLitTClip32"},
        {&vu1TransLightNoClipNoCull32, "vu1TransLightNoClipNoCull32"},
        {&vu1VertexCacheMicroCode, "vu1VertexCacheMicroCode"},
        {&vertexCacheLit16, "vertexCacheLit16"},
        {&vu1VertexCacheInst, "vu1VertexCacheInst"},
        {&vuIPreLit16, "vuIPreLit16"},
        {&vuIPreLitTCull16, "vuIPreLitTCull16"},
        {&primitiveMicroCode, "primitiveMicroCode"},
    };
    console::vif::Vif1().Reset();
    sceDmaChan* ch = sceDmaGetChan(1);
    ch->chcr.TTE = 1;
    for (const auto& c : chains) {
        const uint32_t stcycl[] = {0x01000201, 0x05000002};  // registers the chain must reset
        console::vif::Vif1().Write(stcycl, 2);
        ASSERT_EQ(sceDmaSend(ch, c.chain), 0);
        const console::vu::Microprogram* p =
            console::vu::FindMicroprogram(console::vif::Vif1().ResidentProgram());
        ASSERT_NE(p, nullptr) << c.name;
        EXPECT_STREQ(p->Name(), c.name);
        EXPECT_EQ(console::vif::Vif1().CycleCl(), 4u) << c.name;
        EXPECT_EQ(console::vif::Vif1().CycleWl(), 4u) << c.name;
        EXPECT_EQ(console::vif::Vif1().Mode(), 0u) << c.name;
        EXPECT_EQ(console::vif::Vif1().Mask(), 0u) << c.name;
    }
}

}  // namespace
