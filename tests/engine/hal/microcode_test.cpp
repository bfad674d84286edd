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
