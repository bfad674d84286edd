// The bike controller: action words on the ground and in the air, edge-driven packets, stunt entry.
#include <gtest/gtest.h>

#include <array>

#include "bike/kinetic_bike.h"
#include "game/model/model.h"
#include "mkdisc/stunt_tree.h"
#include "race/control/bike_controller.h"
#include "support/heap_image.h"

namespace {

class BikeControl : public ::testing::Test {
protected:
    void SetUp() override {
        GetModel()->objects = {bike_, new CModelObject()};
        const int ids[1] = {0};
        ASSERT_NE(CStuntMgr::initialize(tree_.p, tree_.size, 1, ids), nullptr);
        c_.bikeID = 0;
    }
    void TearDown() override {
        CStuntMgr::shutdown();
        delete CModel::modelPtr;
    }
    void height(float h) { bike_->ground.distToGroundLevel[1] = h; }
    // One step with these flags and stick amounts (up, down, left, right); the packets it sent.
    std::vector<CPacket> step(uint32_t flags, std::array<uint8_t, 4> sticks = {}) {
        uint8_t amounts[10] = {sticks[0], sticks[1], sticks[2], sticks[3]};
        c_.controlFlags = flags;
        c_.DtoA(amounts);
        std::vector<CPacket> out;
        c_.fillPackets(out);
        return out;
    }
    KineticBike* bike_ = new KineticBike();
    testsupport::HeapImage tree_{WriteSampleStuntTree()};
    CBikeController c_;
};

TEST_F(BikeControl, ActionWordsOnTheGroundAndInTheAir) {
    struct Case {
        float height;
        uint32_t flags;
        uint32_t action;
    };
    const Case cases[] = {
        // action bits: accel 0x2, brake 0x4, 1 << BIKEACTION_x for the others
        {0, CONTROL_STUNT_A | CONTROL_ACCEL, 0x2002},
        {0, CONTROL_STUNT_A | CONTROL_ACCEL | CONTROL_BRAKE, 0x4006},
        {0, CONTROL_STUNT_B | CONTROL_ACCEL, 0x2},
        {0, CONTROL_UP | CONTROL_DOWN | CONTROL_WHIP, 0},
        {0, CONTROL_LEFT | CONTROL_RIGHT | CONTROL_WHIP | CONTROL_ACCEL, 0x82},
        {0, CONTROL_RIGHT | CONTROL_WHIP | CONTROL_BRAKE, 0x404},
        {0, CONTROL_RIGHT | CONTROL_WHIP | CONTROL_BRAKE | CONTROL_ACCEL, 0x1006},
        {0, CONTROL_LEFT | CONTROL_BRAKE, 0x24},
        {74.9f, CONTROL_UP, 0},
        {75.0f, CONTROL_UP, 0x8},
        {75.0f, CONTROL_UP | CONTROL_DOWN | CONTROL_WHIP | CONTROL_LEFT, 0x10030},
        // A stunt button held in the air keeps turn, lean and whip out; the rest passes.
        {80,
         CONTROL_STUNT_A | CONTROL_LEFT | CONTROL_UP | CONTROL_WHIP | CONTROL_ACCEL | CONTROL_BRAKE |
             CONTROL_PRELOAD | CONTROL_NITRO,
         0x48006},
    };
    for (const Case& k : cases) {
        c_ = CBikeController();
        c_.bikeID = 0;
        CStuntMgr::theStuntMgr->reset(0);
        height(k.height);
        const std::vector<CPacket> p = step(k.flags);
        ASSERT_EQ(p.size(), 1u) << std::hex << k.flags;
        EXPECT_EQ(uint32_t(p[0]._action), k.action) << std::hex << k.flags << " at " << k.height;
        EXPECT_EQ(p[0]._affectedObject, 0);
    }
}

TEST_F(BikeControl, PacketsOnlyWhenTheWordOrAnAmountChanges) {
    EXPECT_EQ(step(CONTROL_LEFT, {0, 0, 40, 0}).size(), 1u);
    const std::vector<CPacket> moved = step(CONTROL_LEFT, {0, 0, 42, 0});
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0]._action, 0x20);
    EXPECT_EQ(moved[0]._parms[AMOUNT_LEFT], 42);
    EXPECT_TRUE(step(CONTROL_LEFT, {0, 0, 42, 0}).empty());
    EXPECT_EQ(step(CONTROL_LEFT | CONTROL_ACCEL, {0, 0, 42, 0})[0]._parms[AMOUNT_ACCEL], 255);
    // No bike: nothing sent, nothing remembered.
    for (int id : {-1, 1, 5}) {
        c_.bikeID = id;
        EXPECT_TRUE(step(CONTROL_ACCEL | CONTROL_BRAKE).empty()) << id;
    }
}

TEST_F(BikeControl, StuntsAreEnteredInTheAir) {
    height(200);
    auto stunt = [](const std::vector<CPacket>& p) {
        return p.size() == 1 && (p[0]._action & BikeActionBit(BIKEACTION_STUNT))
                   ? int(p[0]._parms[AMOUNT_STUNT])
                   : -1;
    };
    // Released with nothing pressed: no stunt.
    step(CONTROL_STUNT_A);
    EXPECT_EQ(stunt(step(0)), -1);
    // A press held for 15 steps takes the node's trick.
    step(CONTROL_STUNT_A);
    int taken = stunt(step(CONTROL_STUNT_A | CONTROL_UP)), steps = 1;
    while (taken < 0 && steps < 20) taken = stunt(step(CONTROL_STUNT_A | CONTROL_UP)), ++steps;
    EXPECT_EQ(taken, STUNT_SUPERMAN);
    EXPECT_EQ(steps, 15);  // the press step counts
    // Landing resets the entry; a stick push counts from 181 and the trick comes on release.
    height(0);
    step(0);
    height(200);
    step(CONTROL_STUNT_B);
    EXPECT_EQ(stunt(step(CONTROL_STUNT_B | CONTROL_RIGHT, {0, 0, 0, 180})), -1);
    step(CONTROL_STUNT_B | CONTROL_RIGHT, {0, 0, 0, 181});
    EXPECT_EQ(stunt(step(0)), STUNT_FENDER_GRAB);
    // The same direction twice needs the stick back below 120 on every direction in between.
    const uint32_t a = CONTROL_STUNT_A | CONTROL_LEFT;
    step(CONTROL_STUNT_A);
    step(a, {0, 0, 255, 0});
    step(a, {0, 0, 150, 0});
    EXPECT_EQ(stunt(step(a, {0, 0, 255, 0})), -1);
    step(a, {0, 0, 119, 0});
    EXPECT_EQ(stunt(step(a, {0, 0, 255, 0})), STUNT_CAN_CAN);  // a second left leads nowhere
    // With both buttons the first press is a leaf.
    step(0);
    height(0);
    step(0);
    height(200);
    step(CONTROL_STUNT_A | CONTROL_STUNT_B);
    EXPECT_EQ(stunt(step(CONTROL_STUNT_A | CONTROL_STUNT_B | CONTROL_UP)), STUNT_BACKFLIP);
}

}  // namespace
