#include "mkdisc/stunt_tree.h"

#include "race/control/stunt_mgr.h"

namespace {

constexpr int32_t kA = 1 << STUNT_TYPE_A, kB = 1 << STUNT_TYPE_B, kBoth = 1 << STUNT_TYPE_BOTH;

// One trick per button group (A, B, both) and the reversed flag of group A.
stunttree::NodeRecord Node(stuntName a, stuntName b, stuntName both, int32_t reversedA = 0) {
    stunttree::NodeRecord n = stunttree::EmptyNode();
    n._stunts[STUNT_TYPE_A] = a;
    n._stunts[STUNT_TYPE_B] = b;
    n._stunts[STUNT_TYPE_BOTH] = both;
    n._stuntReversed[STUNT_TYPE_A] = reversedA;
    return n;
}

void Link(std::vector<stunttree::NodeRecord>& t, size_t from, stuntDir d, size_t to, int32_t mask) {
    t[from]._adjNodes[d] = {static_cast<int32_t>(to), mask};
}

}  // namespace

// One press with one or both buttons gives a basic trick; with both buttons the first press ends the
// entry (the second level is open to the single-button groups only). A second press, across the first,
// gives the harder single-button tricks; pressed to the left they are done the other way round.
std::vector<stunttree::NodeRecord> SampleStuntTree() {
    std::vector<stunttree::NodeRecord> t;
    t.push_back(Node(STUNT_INVALID, STUNT_INVALID, STUNT_INVALID));  // 0 root
    const size_t up = t.size();
    t.push_back(Node(STUNT_SUPERMAN, STUNT_SEAT_GRAB, STUNT_BACKFLIP));
    const size_t down = t.size();
    t.push_back(Node(STUNT_NAC_NAC, STUNT_HEEL_CLICKER, STUNT_360));
    const size_t left = t.size();
    t.push_back(Node(STUNT_CAN_CAN, STUNT_SARAN_WRAP, STUNT_BARREL_ROLL, 1));
    const size_t right = t.size();
    t.push_back(Node(STUNT_BARHOP, STUNT_FENDER_GRAB, STUNT_KISS_OF_DEATH));
    Link(t, 0, DIR_UP, up, kA | kB | kBoth);
    Link(t, 0, DIR_DOWN, down, kA | kB | kBoth);
    Link(t, 0, DIR_LEFT, left, kA | kB | kBoth);
    Link(t, 0, DIR_RIGHT, right, kA | kB | kBoth);

    struct Second {
        size_t parent;
        stuntDir dir;
        stuntName a, b;
    };
    const Second second[] = {
        {up, DIR_LEFT, STUNT_1H_SUPERMAN, STUNT_LAZY_BOY},
        {up, DIR_RIGHT, STUNT_NO_HANDS, STUNT_TRICK_17},
        {down, DIR_LEFT, STUNT_CAT_NAC, STUNT_CATWALK},
        {down, DIR_RIGHT, STUNT_CRACKNAC, STUNT_TRICK_10},
        {left, DIR_UP, STUNT_INDIAN_AIR, STUNT_CLIFFHANGER},
        {left, DIR_DOWN, STUNT_WHIP, STUNT_NOTHING},
        {right, DIR_UP, STUNT_SWITCHBLADE, STUNT_TRICK_7},
    };
    for (const Second& s : second) {
        const size_t k = t.size();
        t.push_back(Node(s.a, s.b, STUNT_INVALID, s.dir == DIR_LEFT ? 1 : 0));
        Link(t, s.parent, s.dir, k, kA | kB);
    }
    return t;
}

std::vector<uint8_t> WriteSampleStuntTree() {
    return stunttree::WriteTree(SampleStuntTree());
}
