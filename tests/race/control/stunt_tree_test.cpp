// The stunt tree file check and the recogniser's walks and instructions, on a small tree and on the
// disc's tree.
#include <gtest/gtest.h>

#include "mkdisc/stunt_tree.h"
#include "race/control/stunt_mgr.h"
#include "support/heap_image.h"
#include "support/log_capture.h"

namespace {

using stunttree::NodeRecord;
using stunttree::TreeStatus;
constexpr int32_t kA = 1, kB = 2, kAll = 7;

// Root (B: barhop) -up A|B-> 1 (A superman, B seat grab) -right A-> 4 (A no hands, reversed)
//                  -left B-> 2 (B can can, both backflip) ; -down all-> 3 (all backflip)
std::vector<NodeRecord> SmallTree() {
    std::vector<NodeRecord> t(5, stunttree::EmptyNode());
    t[0]._stunts[STUNT_TYPE_B] = STUNT_BARHOP;
    t[0]._adjNodes[DIR_UP] = {1, kA | kB};
    t[0]._adjNodes[DIR_LEFT] = {2, kB};
    t[0]._adjNodes[DIR_DOWN] = {3, kAll};
    t[1]._stunts[STUNT_TYPE_A] = STUNT_SUPERMAN;
    t[1]._stunts[STUNT_TYPE_B] = STUNT_SEAT_GRAB;
    t[1]._adjNodes[DIR_RIGHT] = {4, kA};
    t[2]._stunts[STUNT_TYPE_B] = STUNT_CAN_CAN;
    t[2]._stunts[STUNT_TYPE_BOTH] = STUNT_BACKFLIP;
    for (int32_t& s : t[3]._stunts) s = STUNT_BACKFLIP;
    t[4]._stunts[STUNT_TYPE_A] = STUNT_NO_HANDS;
    t[4]._stuntReversed[STUNT_TYPE_A] = 1;
    return t;
}

std::vector<NodeRecord> Chain(int links) {
    std::vector<NodeRecord> t(size_t(links) + 1, stunttree::EmptyNode());
    for (int k = 0; k < links; ++k) t[size_t(k)]._adjNodes[DIR_UP] = {k + 1, kAll};
    return t;
}

TEST(StuntTreeFile, CheckAcceptsGoodTreesAndNamesWhatIsWrongWithBadOnes) {
    struct Case {
        const char* what;
        std::vector<uint8_t> image;
        TreeStatus status;
        uint32_t depth = 0;
    };
    auto link = [](size_t node, stuntDir d, int32_t to) {
        std::vector<NodeRecord> t = SmallTree();
        t[node]._adjNodes[d] = {to, kAll};
        return stunttree::WriteTree(t);
    };
    auto trick = [](size_t node, int group, int32_t name) {
        std::vector<NodeRecord> t = SmallTree();
        t[node]._stunts[group] = name;
        return stunttree::WriteTree(t);
    };
    std::vector<uint8_t> small = stunttree::WriteTree(SmallTree());
    std::vector<uint8_t> cut(small.begin(), small.end() - 1), noNodes(16, 0);
    const Case cases[] = {
        {"small", small, TreeStatus::Ok, 2},
        {"30 links deep", stunttree::WriteTree(Chain(30)), TreeStatus::Ok, 30},
        {"31 links deep", stunttree::WriteTree(Chain(31)), TreeStatus::TooDeep},
        {"cut short", cut, TreeStatus::Truncated},
        {"no nodes", noNodes, TreeStatus::NoNodes},
        {"link past the end", link(4, DIR_UP, 5), TreeStatus::LinkOutOfRange},
        {"negative link", link(2, DIR_UP, -2), TreeStatus::LinkOutOfRange},
        {"cycle", link(4, DIR_DOWN, 1), TreeStatus::Cycle},
        {"self link", link(3, DIR_LEFT, 3), TreeStatus::Cycle},
        {"trick 26", trick(2, 0, 26), TreeStatus::BadTrick},
        {"trick -1", trick(2, 2, -1), TreeStatus::BadTrick},
    };
    for (const Case& c : cases) {
        testsupport::HeapImage img(c.image);
        const stunttree::TreeCheck check = stunttree::CheckTree(img.p, img.size);
        EXPECT_EQ(check.status, c.status) << c.what;
        EXPECT_EQ(c.status == TreeStatus::Ok ? check.depth : 0u, c.depth) << c.what;
    }
    // A refused tree leaves the race without a recogniser, with a log line.
    testsupport::LogCapture log;
    testsupport::HeapImage bad(link(4, DIR_DOWN, 1));
    const int bikes[1] = {7};
    EXPECT_EQ(CStuntMgr::initialize(bad.p, bad.size, 1, bikes), nullptr);
    EXPECT_EQ(CStuntMgr::theStuntMgr, nullptr);
    EXPECT_TRUE(log.has("stunt tree refused (cycle"));
}

class StuntInput : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(CStuntMgr::initialize(tree_.p, tree_.size, 2, bikes_), nullptr); }
    void TearDown() override { CStuntMgr::shutdown(); }
    CStuntMgr& m() { return *CStuntMgr::theStuntMgr; }
    std::vector<stuntDir> instructions(stuntName wanted, unsigned bits, unsigned capacity = 32) {
        stuntDir dirs[32];
        type_ = STUNT_TYPE_INVALID;
        if (!m().getInstructions(wanted, dirs, capacity, type_, bits)) return {dirs[0]};
        std::vector<stuntDir> out{dirs[0]};
        for (int i = 1; dirs[i - 1] != DIR_NUM_DIRS; ++i) out.push_back(dirs[i]);
        return out;
    }
    testsupport::HeapImage tree_{stunttree::WriteTree(SmallTree())};
    const int bikes_[2] = {4, 9};
    stuntType type_ = STUNT_TYPE_INVALID;
};

TEST_F(StuntInput, ClosedLinksEndTheEntryLikeMissingOnes) {
    m().setStuntType(4, STUNT_TYPE_A);
    EXPECT_EQ(m().addButtonPress(4, DIR_LEFT), STUNT_INVALID);  // open to B only: spoilt at the root
    EXPECT_EQ(m().addButtonPress(4, DIR_UP), STUNT_INVALID);    // and stays spoilt for the jump
    // Node 1's only link is closed to B, so for B it is a leaf: taken on arrival.
    m().setStuntType(9, STUNT_TYPE_B);
    EXPECT_EQ(m().addButtonPress(9, DIR_UP), STUNT_SEAT_GRAB);
    m().reset(4);
    m().setStuntType(4, STUNT_TYPE_A);
    EXPECT_EQ(m().addButtonPress(4, DIR_UP), STUNT_INVALID);
    EXPECT_EQ(m().addButtonPress(4, DIR_DOWN), STUNT_SUPERMAN);  // no link at all
    EXPECT_EQ(m().addButtonPress(77, DIR_UP), STUNT_INVALID);    // not a racer of this race
    EXPECT_EQ(m().getStunt(77, 1, 15), STUNT_INVALID);
}

TEST_F(StuntInput, HoldTimesAndTakenTricks) {
    m().setStuntType(4, STUNT_TYPE_A);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(m().getStunt(4, 0, 15), STUNT_INVALID);  // the root never times out
    EXPECT_EQ(m().addButtonPress(4, DIR_UP), STUNT_INVALID);
    m().setStuntType(4, STUNT_TYPE_B);  // too late: the group was fixed at the first press
    for (int i = 1; i < 15; ++i) ASSERT_EQ(m().getStunt(4, 0, 15), STUNT_INVALID) << i;
    EXPECT_EQ(m().getStunt(4, 0, 15), STUNT_SUPERMAN);
    EXPECT_EQ(m().getStunt(4, 0, 15), STUNT_SUPERMAN);
    EXPECT_EQ(m().addButtonPress(4, DIR_RIGHT), STUNT_SUPERMAN);
    EXPECT_EQ(m().isReversed(4), 0);
    m().reset(4);
    EXPECT_EQ(m().getStunt(4, 1, 15), STUNT_INVALID);
    m().setStuntType(4, STUNT_TYPE_A);
    m().addButtonPress(4, DIR_UP);
    m().setStuntType(4, STUNT_TYPE_B);
    EXPECT_EQ(m().addButtonPress(4, DIR_RIGHT), STUNT_NO_HANDS);  // a leaf for A: taken at once
    EXPECT_EQ(m().isReversed(4), 1);
    EXPECT_EQ(m().getStunt(9, 0, 15), STUNT_INVALID);  // the other racer is untouched
}

TEST_F(StuntInput, InstructionsListThePressesFromTheRoot) {
    EXPECT_EQ(instructions(STUNT_SUPERMAN, 0), (std::vector<stuntDir>{DIR_NEUTRAL, DIR_UP, DIR_NUM_DIRS}));
    EXPECT_EQ(type_, STUNT_TYPE_A);
    EXPECT_EQ(instructions(STUNT_BARHOP, 0), (std::vector<stuntDir>{DIR_NEUTRAL, DIR_NUM_DIRS}));
    EXPECT_EQ(type_, STUNT_TYPE_B);
    // Bit 0 picks the child order: up, down, right, left or left, right, up, down.
    EXPECT_EQ(instructions(STUNT_BACKFLIP, 0), (std::vector<stuntDir>{DIR_NEUTRAL, DIR_DOWN, DIR_NUM_DIRS}));
    EXPECT_EQ(instructions(STUNT_BACKFLIP, 1), (std::vector<stuntDir>{DIR_NEUTRAL, DIR_LEFT, DIR_NUM_DIRS}));
    EXPECT_EQ(type_, STUNT_TYPE_BOTH);
    const std::vector<stuntDir> noHands{DIR_NEUTRAL, DIR_UP, DIR_RIGHT, DIR_NUM_DIRS};
    EXPECT_EQ(instructions(STUNT_NO_HANDS, 0, 4), noHands);
    EXPECT_EQ(instructions(STUNT_NO_HANDS, 0, 3), std::vector<stuntDir>{DIR_NUM_DIRS});  // no room
    EXPECT_EQ(instructions(STUNT_360, 1), std::vector<stuntDir>{DIR_NUM_DIRS});          // not in the tree
}

TEST(StuntTreeDisc, EveryTrickCanBeEnteredAndIsFoundByTheSearch) {
    testsupport::HeapImage tree(WriteSampleStuntTree());
    EXPECT_EQ(stunttree::CheckTree(tree.p, tree.size).status, TreeStatus::Ok);
    const int bike = 3;
    CStuntMgr* m = CStuntMgr::initialize(tree.p, tree.size, 1, &bike);
    ASSERT_NE(m, nullptr);
    for (int n = 0; n < STUNT_NUM_STUNTS; ++n)
        for (unsigned bits = 0; bits < 2; ++bits) {
            stuntDir dirs[32];
            stuntType type = STUNT_TYPE_INVALID;
            ASSERT_TRUE(m->getInstructions(stuntName(n), dirs, 32, type, bits)) << n;
            // Replayed as a rider would: the group, then the presses, each from the centre.
            m->reset(bike);
            m->setStuntType(bike, type);
            stuntName got = STUNT_INVALID;
            for (int i = 1; dirs[i] != DIR_NUM_DIRS; ++i) got = m->addButtonPress(bike, dirs[i]);
            if (got == STUNT_INVALID) got = m->getStunt(bike, 1, 15);
            EXPECT_EQ(got, n) << "trick " << n << " order " << bits;
        }
    CStuntMgr::shutdown();
}

}  // namespace
