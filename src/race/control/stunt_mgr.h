// Stunt input: tricks are entered in the air as direction presses while stunt buttons are held; the
// presses walk a tree read from the common-objects file (stunt_tree_format.h). CStuntMgr walks it for
// every racer at once and, for the computer riders, finds the presses that perform a wanted trick.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "race/control/stunt_tree_format.h"

enum stuntDir : int32_t {
    DIR_LEFT = 0,
    DIR_RIGHT = 1,
    DIR_UP = 2,
    DIR_DOWN = 3,
    DIR_NUM_DIRS = 4,  // also the end mark of an instruction list
    DIR_NEUTRAL = 5,
};

enum stuntType : int32_t {
    STUNT_TYPE_A = 0,
    STUNT_TYPE_B = 1,
    STUNT_TYPE_BOTH = 2,
    STUNT_NUM_STUNT_TYPES = 3,
    STUNT_TYPE_INVALID = 4,
};

enum stuntName : int32_t {
    STUNT_BARHOP = 0,
    STUNT_CAN_CAN = 1,
    STUNT_SARAN_WRAP = 2,
    STUNT_WHIP = 3,
    STUNT_SUPERMAN = 4,
    STUNT_FENDER_GRAB = 5,
    STUNT_NOTHING = 6,
    STUNT_TRICK_7 = 7,
    STUNT_NAC_NAC = 8,
    STUNT_HEEL_CLICKER = 9,
    STUNT_TRICK_10 = 10,
    STUNT_CATWALK = 11,
    STUNT_CAT_NAC = 12,
    STUNT_SEAT_GRAB = 13,
    STUNT_LAZY_BOY = 14,
    STUNT_NO_HANDS = 15,
    STUNT_INDIAN_AIR = 16,
    STUNT_TRICK_17 = 17,
    STUNT_CLIFFHANGER = 18,
    STUNT_CRACKNAC = 19,
    STUNT_KISS_OF_DEATH = 20,
    STUNT_BACKFLIP = 21,
    STUNT_BARREL_ROLL = 22,
    STUNT_360 = 23,
    STUNT_SWITCHBLADE = 24,
    STUNT_1H_SUPERMAN = 25,
    STUNT_NUM_STUNTS = 26,
    STUNT_INVALID = 27,
};

// A node of the tree, read in place from the file image.
class CStuntNode : public stunttree::NodeRecord {
public:
    // No link usable with group t.
    bool isLeaf(stuntType t) const;
    stuntName getStunt(stuntType t) const;
    int isReversed(stuntType t) const;
    // The child under d whatever the mask, or null.
    CStuntNode* exploreNextNode(stuntDir d) const;
    // The child under d if its mask lets group t take it, or null; `open` first lets t take it.
    CStuntNode* getNextNode(stuntDir d, stuntType t, bool open);
    static void setRootArray(CStuntNode** nodes);

    static CStuntNode** _nodeArray;
};
static_assert(sizeof(CStuntNode) == stunttree::kNodeBytes, "nodes are read in place");

class CStuntMgr {
public:
    // The race's recogniser, made anew by initialize; null until then or when the race's tree was refused.
    static CStuntMgr* theStuntMgr;

    // Drops the previous recogniser and makes one for this race over the tree image (used in place, so
    // it must outlive the recogniser). A tree that fails the check is refused with a log line: the
    // result and theStuntMgr are then null, and the race runs without tricks.
    static CStuntMgr* initialize(void* tree, size_t size, unsigned int numRacers, const int* bikeIDs);
    // Drops the race's recogniser (race teardown).
    static void shutdown();

    CStuntMgr(void* tree, unsigned int numRacers, const int* bikeIDs);  // tree already checked
    ~CStuntMgr();
    CStuntMgr(const CStuntMgr&) = delete;
    CStuntMgr& operator=(const CStuntMgr&) = delete;

    // Per-racer operations; a bike id not given at construction is ignored (STUNT_INVALID, 0, no-op).
    void reset(int bike);
    // Taken only while the racer is still at the root.
    void setStuntType(int bike, stuntType t);
    stuntName addButtonPress(int bike, stuntDir d);
    // The trick of the node reached once held `holdTime` steps (or at once with `force`); repeated
    // until reset once taken.
    stuntName getStunt(int bike, int force, unsigned int holdTime);
    int isReversed(int bike);

    // The presses that perform `wanted` from the root: dirs = DIR_NEUTRAL, d1, ..., dn, DIR_NUM_DIRS and
    // the group in `type`; returns 1. Not found, or the list would need more than `capacity` entries:
    // dirs[0] = DIR_NUM_DIRS (when capacity allows) and 0. Bit 0 of randomBits picks the child order.
    int getInstructions(stuntName wanted, stuntDir* dirs, unsigned int capacity, stuntType& type,
                        unsigned int randomBits) const;

    unsigned int numRacers() const { return _numRacers; }
    uint32_t numNodes() const { return _numNodes; }

private:
    int slotOf(int bike) const;
    int recurseFindStunt(stuntName wanted, const CStuntNode* node, stuntDir* dirs, stuntDir* end,
                         stuntType& type, unsigned int randomBits) const;

    // The tree's nodes in index order (pointers into the tree image, which the race owns).
    std::unique_ptr<CStuntNode*[]> _stuntTreeRoot;
    // Per racer slot.
    std::unique_ptr<int32_t[]> _bikeID;
    unsigned int _numRacers;
    std::unique_ptr<CStuntNode*[]> _curNode;
    std::unique_ptr<uint32_t[]> _timer;
    std::unique_ptr<stuntType[]> _stuntType;
    std::unique_ptr<stuntName[]> _stunt;
    std::unique_ptr<uint32_t[]> _finished;
    // Per node: bit n set when trick n (or 27, nothing) is named at the node or below it, so a search
    // never enters a branch that cannot hold the trick.
    std::unique_ptr<uint32_t[]> _reach;
    uint32_t _numNodes;
};
