#include "race/control/stunt_mgr.h"

#include <cassert>
#include <memory>

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

CStuntNode** CStuntNode::_nodeArray = nullptr;
CStuntMgr* CStuntMgr::theStuntMgr = nullptr;

namespace {

bool DirOk(stuntDir d) {
    return d >= 0 && d < DIR_NUM_DIRS;
}
bool TypeOk(stuntType t) {
    return t >= 0 && t < STUNT_NUM_STUNT_TYPES;
}

}  // namespace

bool CStuntNode::isLeaf(stuntType t) const {
    assert(TypeOk(t) && "type >= 0 && type < STUNT_NUM_STUNT_TYPES");
    if (!TypeOk(t)) return true;
    for (const stunttree::DirLink& l : _adjNodes)
        if (l._link != stunttree::kNoLink && (l._mask & (1 << t))) return false;
    return true;
}

stuntName CStuntNode::getStunt(stuntType t) const {
    assert(TypeOk(t) && "type >= 0 && type < STUNT_NUM_STUNT_TYPES");
    return TypeOk(t) ? static_cast<stuntName>(_stunts[t]) : STUNT_INVALID;
}

int CStuntNode::isReversed(stuntType t) const {
    assert(TypeOk(t) && "type >= 0 && type < STUNT_NUM_STUNT_TYPES");
    return TypeOk(t) ? _stuntReversed[t] : 0;
}

CStuntNode* CStuntNode::exploreNextNode(stuntDir d) const {
    assert(DirOk(d) && "dir >= 0 && dir < DIR_NUM_DIRS");
    if (!DirOk(d) || _adjNodes[d]._link == stunttree::kNoLink) return nullptr;
    return _nodeArray[_adjNodes[d]._link];
}

CStuntNode* CStuntNode::getNextNode(stuntDir d, stuntType t, bool open) {
    assert(DirOk(d) && "dir >= 0 && dir < DIR_NUM_DIRS");
    assert(TypeOk(t) && "type >=0 && type < STUNT_NUM_STUNT_TYPES");
    if (!DirOk(d) || !TypeOk(t)) return nullptr;
    stunttree::DirLink& l = _adjNodes[d];
    if (l._link == stunttree::kNoLink) return nullptr;
    if (open) l._mask |= 1 << t;
    return (l._mask & (1 << t)) ? _nodeArray[l._link] : nullptr;
}

void CStuntNode::setRootArray(CStuntNode** nodes) {
    _nodeArray = nodes;
}

CStuntMgr* CStuntMgr::initialize(void* tree, size_t size, unsigned int numRacers, const int* bikeIDs) {
    shutdown();
    const stunttree::TreeCheck c = stunttree::CheckTree(tree, size);
    if (!c.ok) {
        x_printf("%sStuntMgr: stunt tree refused (%s at node %u of %u); no tricks this race\n",
                 x_FileOf(tree), c.why, c.node, c.nodes);
        return nullptr;
    }
    theStuntMgr = new CStuntMgr(tree, numRacers, bikeIDs);
    return theStuntMgr;
}

void CStuntMgr::shutdown() {
    delete theStuntMgr;  // the destructor clears theStuntMgr
}

CStuntMgr::CStuntMgr(void* tree, unsigned int numRacers, const int* bikeIDs) : _numRacers(numRacers) {
    auto* base = static_cast<uint8_t*>(tree);
    _numNodes =
        uint32_t(base[0]) | uint32_t(base[1]) << 8 | uint32_t(base[2]) << 16 | uint32_t(base[3]) << 24;
    _stuntTreeRoot = std::make_unique<CStuntNode*[]>(_numNodes);
    for (uint32_t k = 0; k < _numNodes; ++k)
        _stuntTreeRoot[k] =
            reinterpret_cast<CStuntNode*>(base + stunttree::kHeaderBytes + size_t(k) * stunttree::kNodeBytes);
    CStuntNode::setRootArray(_stuntTreeRoot.get());

    // Trick reach per node, children before parents: the tree is checked acyclic, so repeated passes
    // settle within its depth; the deepest valid tree needs at most kMaxDepth + 1 of them.
    _reach = std::make_unique<uint32_t[]>(_numNodes);
    for (uint32_t k = 0; k < _numNodes; ++k) {
        const CStuntNode* n = _stuntTreeRoot[k];
        _reach[k] = 0;
        for (int32_t s : n->_stunts)
            if (s >= 0 && s < 32) _reach[k] |= 1u << s;
    }
    for (uint32_t pass = 0; pass <= stunttree::kMaxDepth + 1; ++pass) {
        bool changed = false;
        for (uint32_t k = 0; k < _numNodes; ++k)
            for (const stunttree::DirLink& l : _stuntTreeRoot[k]->_adjNodes) {
                if (l._link == stunttree::kNoLink) continue;
                const uint32_t r = _reach[k] | _reach[l._link];
                if (r != _reach[k]) {
                    _reach[k] = r;
                    changed = true;
                }
            }
        if (!changed) break;
    }

    _bikeID = std::make_unique<int32_t[]>(numRacers);
    _curNode = std::make_unique<CStuntNode*[]>(numRacers);
    _timer = std::make_unique<uint32_t[]>(numRacers);
    _stuntType = std::make_unique<stuntType[]>(numRacers);
    _stunt = std::make_unique<stuntName[]>(numRacers);
    _finished = std::make_unique<uint32_t[]>(numRacers);
    for (unsigned int i = 0; i < numRacers; ++i) {
        _bikeID[i] = bikeIDs ? bikeIDs[i] : -1;
        _curNode[i] = _stuntTreeRoot[0];
        _timer[i] = 0;
        _stuntType[i] = STUNT_TYPE_INVALID;
        _stunt[i] = STUNT_INVALID;
        _finished[i] = 0;
    }
}

CStuntMgr::~CStuntMgr() {
    if (CStuntNode::_nodeArray == _stuntTreeRoot.get()) CStuntNode::setRootArray(nullptr);
    // In the order the heap has always seen them go.
    _stuntTreeRoot.reset();
    _reach.reset();
    _bikeID.reset();
    _curNode.reset();
    _timer.reset();
    _stuntType.reset();
    _stunt.reset();
    _finished.reset();
    if (theStuntMgr == this) theStuntMgr = nullptr;
}

int CStuntMgr::slotOf(int bike) const {
    for (unsigned int i = 0; i < _numRacers; ++i)
        if (_bikeID[i] == bike) return static_cast<int>(i);
    return -1;
}

void CStuntMgr::reset(int bike) {
    const int i = slotOf(bike);
    if (i < 0) return;
    _stuntType[i] = STUNT_TYPE_INVALID;
    _curNode[i] = _stuntTreeRoot[0];
    _timer[i] = 0;
    _finished[i] = 0;
    _stunt[i] = STUNT_INVALID;
}

void CStuntMgr::setStuntType(int bike, stuntType t) {
    const int i = slotOf(bike);
    if (i < 0 || _curNode[i] != _stuntTreeRoot[0]) return;
    _stuntType[i] = t;
}

stuntName CStuntMgr::getStunt(int bike, int force, unsigned int holdTime) {
    const int i = slotOf(bike);
    if (i < 0 || !TypeOk(_stuntType[i])) return STUNT_INVALID;
    if (_finished[i]) return _stunt[i];
    if (_curNode[i] == _stuntTreeRoot[0]) return STUNT_INVALID;
    ++_timer[i];
    if (_timer[i] == holdTime || force) {
        _stunt[i] = _curNode[i]->getStunt(_stuntType[i]);
        _finished[i] = 1;
        return _stunt[i];
    }
    return STUNT_INVALID;
}

stuntName CStuntMgr::addButtonPress(int bike, stuntDir d) {
    const int i = slotOf(bike);
    if (i < 0) return STUNT_INVALID;
    if (_finished[i]) return _stunt[i];
    if (d == DIR_NEUTRAL) {
        _timer[i] = 0;
        return _stunt[i];
    }
    CStuntNode* next = nullptr;
    if (DirOk(d) && TypeOk(_stuntType[i])) next = _curNode[i]->getNextNode(d, _stuntType[i], false);
    if (next) {
        _curNode[i] = next;
        _timer[i] = 0;
        if (!next->isLeaf(_stuntType[i])) return STUNT_INVALID;
    }
    _stunt[i] = getStunt(bike, 1, 15);
    _finished[i] = 1;
    return _stunt[i];
}

int CStuntMgr::isReversed(int bike) {
    const int i = slotOf(bike);
    if (i < 0 || !_finished[i] || !TypeOk(_stuntType[i])) return 0;
    return _curNode[i]->isReversed(_stuntType[i]);
}

int CStuntMgr::getInstructions(stuntName wanted, stuntDir* dirs, unsigned int capacity, stuntType& type,
                               unsigned int randomBits) const {
    if (!dirs || capacity == 0) return 0;
    // The list needs the neutral mark, the presses and the end mark.
    if (capacity >= 2 &&
        recurseFindStunt(wanted, _stuntTreeRoot[0], dirs + 1, dirs + capacity, type, randomBits)) {
        dirs[0] = DIR_NEUTRAL;
        return 1;
    }
    dirs[0] = DIR_NUM_DIRS;
    return 0;
}

int CStuntMgr::recurseFindStunt(stuntName wanted, const CStuntNode* node, stuntDir* dirs, stuntDir* end,
                                stuntType& type, unsigned int randomBits) const {
    if (!node || dirs >= end) return 0;
    const uint32_t k = static_cast<uint32_t>(node - reinterpret_cast<const CStuntNode*>(_stuntTreeRoot[0]));
    if (wanted < 0 || wanted >= 32 || !(_reach[k] & (1u << wanted))) return 0;
    for (stuntType t : {STUNT_TYPE_A, STUNT_TYPE_B, STUNT_TYPE_BOTH})
        if (node->getStunt(t) == wanted) {
            type = t;
            *dirs = DIR_NUM_DIRS;
            return 1;
        }
    static constexpr stuntDir kOrderSet[4] = {DIR_LEFT, DIR_RIGHT, DIR_UP, DIR_DOWN};
    static constexpr stuntDir kOrderClear[4] = {DIR_UP, DIR_DOWN, DIR_RIGHT, DIR_LEFT};
    for (stuntDir d : (randomBits & 1) ? kOrderSet : kOrderClear)
        if (recurseFindStunt(wanted, node->exploreNextNode(d), dirs + 1, end, type, randomBits)) {
            *dirs = d;
            return 1;
        }
    return 0;
}
