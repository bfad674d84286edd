// Copies into the scratchpad: the registers the DMA controller is driven through, the wait for a channel,
// the scratch stack, and the plain scan of a convex mesh, which reads its vertices from a scratchpad copy
// and answers as a scan of the mesh's own array would, through the pair tests too.
#include "kinetic/collide/dma_controller.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "console/dma/dma.h"
#include "console/dma/dma_registers.h"
#include "console/mem/addr.h"
#include "console/mem/scratchpad.h"
#include "kinetic/collide/gjk_support.h"
#include "kinetic/collide/scratch_pad_handler.h"
#include "test_shapes.h"

using namespace Kinetic;
using namespace Kinetic::testing_shapes;
using namespace console::dma;

namespace {

alignas(16) float g_block[4 * 6];

class DMAControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        DmaReset();
        for (int i = 0; i < 24; ++i) g_block[i] = 0.5f * static_cast<float>(i) - 3.0f;
    }
    void TearDown() override { DmaReset(); }
};

TEST_F(DMAControllerTest, SendProgramsChannelNineAndTheWaitClearsItsStatus) {
    uint8_t* spr = console::Scratchpad() + 0x2100;
    std::memset(spr, 0, 6 * 16);
    RegWrite(kRegDPcr, 0x4);       // another channel's selection is kept
    RegWrite(kRegDStat, 0x30000);  // and so are the interrupt masks
    DMAController::sendToSPR(g_block, spr, 6);
    EXPECT_EQ(RegRead(kRegDCtrl) & 1u, 1u);
    EXPECT_EQ(RegRead(kRegDPcr), 0x204u);
    EXPECT_EQ(RegRead(kRegD9Qwc), 6u);
    EXPECT_EQ(RegRead(kRegD9Tadr), 0u);
    EXPECT_EQ(RegRead(kRegD9Sadr), 0x2100u);
    EXPECT_EQ(RegRead(kRegD9Madr), Addr32(g_block));
    EXPECT_EQ(RegRead(kRegDStat), 0x30200u);
    EXPECT_EQ(std::memcmp(spr, g_block, sizeof g_block), 0);
    // Channel 2 is selected as well, so the line is set only once it too has ended.
    RaiseStatus(2);
    DMAController::waitForChannel(DMAController::kToScratchpadChannel);
    EXPECT_EQ(RegRead(kRegDStat), 0x30004u);
    EXPECT_EQ(RegRead(kRegDPcr), 0x4u);
}

TEST_F(DMAControllerTest, AWaitWithNothingEndedWarnsInsteadOfHanging) {
    ::testing::internal::CaptureStderr();
    DMAController::waitForChannel(DMAController::kToScratchpadChannel);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("*** WARNING [9] ***"), std::string::npos);
    EXPECT_EQ(RegRead(kRegDStat), 0u);
}

TEST(ScratchPadHandlerTest, BlocksAreTakenOnlyWhenTheyEndWithinTheArea) {
    uint8_t* const start = ScratchPadHandler::m_next;
    EXPECT_EQ(start, console::Scratchpad() + console::kScratchpadSize / 2);
    const size_t room = static_cast<size_t>(ScratchPadHandler::areaEnd() - start);
    EXPECT_EQ(ScratchPadHandler::take(room + 16), nullptr);
    EXPECT_EQ(ScratchPadHandler::m_next, start);
    void* a = ScratchPadHandler::take(room - 32);
    EXPECT_EQ(a, start);
    EXPECT_EQ(ScratchPadHandler::take(48), nullptr);
    void* b = ScratchPadHandler::take(32);  // ends exactly at the end
    EXPECT_EQ(b, start + room - 32);
    ScratchPadHandler::giveBack(32);
    ScratchPadHandler::giveBack(room - 32);
    EXPECT_EQ(ScratchPadHandler::m_next, start);
}

// A convex box whose primitive has no vertex connectivity, so its hill-climbing adaptor scans.
struct ScanningBox {
    std::unique_ptr<Geometry> g = boxGeometry(Vector3(1, 2, 3));
    std::unique_ptr<RigidBody> body{meshBody(g.get(), 1, true, Vector3(4, 5, 6), aboutZ(0.3f))};
    GeometricPrimitive* prim = static_cast<GeometricPrimitive*>(body->getPrimitives()[0]);
    Connectivity none;
    Connectivity* kept = nullptr;
    ScanningBox() {
        prim->precomputeCDinfo(0.2f);
        kept = prim->m_connectivity;
        prim->m_connectivity = &none;
    }
    ~ScanningBox() { prim->m_connectivity = kept; }
};

// Fills the scratch area so that nothing more fits, and empties it again.
struct FullScratchArea {
    size_t room = static_cast<size_t>(ScratchPadHandler::areaEnd() - ScratchPadHandler::m_next);
    FullScratchArea() { ScratchPadHandler::take(room); }
    ~FullScratchArea() { ScratchPadHandler::giveBack(room); }
};

TEST(GJKScratchCopyTest, ThePlainScanReadsACopyAndAnswersWithTheMeshsOwnVertex) {
    ScanningBox box;
    GJK_HillConvex hill(box.prim);
    GJK_Convex scan(box.prim);
    uint8_t* const start = ScratchPadHandler::m_next;
    for (int i = 0; i < 27; ++i) {
        if (i == 13) continue;
        const Vector3 d(static_cast<float>(i % 3) - 1.0f, static_cast<float>((i / 3) % 3) - 1.0f,
                        static_cast<float>(i / 9) - 1.0f);
        const uint64_t runs = TransfersRun();
        const Vector3* p = hill.getSupportingVertex(d);
        EXPECT_EQ(TransfersRun(), runs + 1) << i;
        // The same vertex as a scan of the mesh's array, ties included, and a reference into that array.
        EXPECT_EQ(p, scan.getSupportingVertex(d)) << i;
        EXPECT_EQ(ScratchPadHandler::m_next, start);
        // The copy is the array.
        EXPECT_EQ(std::memcmp(start, box.g->m_vertices, 8 * sizeof(Vector3)), 0);
    }
    // No room: the array itself is scanned, with the same answer and no transfer.
    FullScratchArea full;
    const uint64_t runs = TransfersRun();
    const Vector3 d(0.3f, -1.0f, 0.2f);
    EXPECT_EQ(hill.getSupportingVertex(d), scan.getSupportingVertex(d));
    EXPECT_EQ(TransfersRun(), runs);
}

// Convex boxes without connectivity against a box and a plane: the pair tests' supports go through the
// scratchpad copies, and the records are bit for bit those of the same pass without room for a copy.
TEST(GJKScratchCopyTest, PairTestsGiveTheSameRecordsFromTheCopy) {
    auto pass = [](bool room, uint64_t* transfers) {
        auto g = boxGeometry(Vector3(0.5f, 0.5f, 0.5f));
        DetectorScene s(0.2f);
        s.add(planeBody(Vector3(0, -1, 0), 0.0f));
        RigidBody* a = s.add(meshBody(g.get(), 1, true, Vector3(0, -0.6f, 0), aboutY(0.2f)));
        RigidBody* b = s.add(meshBody(g.get(), 1, true, Vector3(0.3f, -1.68f, 0.1f), aboutZ(0.1f)));
        Connectivity none;
        std::vector<std::pair<GeometricPrimitive*, Connectivity*>> kept;
        for (RigidBody* r : {a, b}) {
            auto* p = static_cast<GeometricPrimitive*>(r->getPrimitives()[0]);
            kept.emplace_back(p, p->m_connectivity);
            p->m_connectivity = &none;
        }
        std::unique_ptr<FullScratchArea> full(room ? nullptr : new FullScratchArea);
        const uint64_t before = TransfersRun();
        s.pass();
        *transfers = TransfersRun() - before;
        full.reset();
        for (auto& [p, c] : kept) p->m_connectivity = c;
        std::vector<float> out;
        for (const CollisionDetails& c : s.detector.m_RRCollisionList) {
            const ContactPoint& k = c.m_contact;
            for (const Vector3* v : {&k.m_normal, &k.m_position, &k.m_pointA, &k.m_pointB})
                out.insert(out.end(), {v->x, v->y, v->z});
            out.push_back(k.m_distance);
        }
        return out;
    };
    uint64_t copied = 0, scanned = 0;
    const std::vector<float> a = pass(true, &copied), b = pass(false, &scanned);
    EXPECT_GT(copied, 0u);
    EXPECT_EQ(scanned, 0u);
    ASSERT_GE(a.size(), 13u * 2);  // box on box and box on plane each report
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0);
}

}  // namespace
