// The stunt tree file (common-objects sub-file 212): the record layout the recogniser reads in place, the
// check every tree passes before it is used, and the writer the disc builder and the tests share.
//
// Layout, little-endian: u32 node count N (at least 1), 12 reserved bytes, then N 64-byte node records;
// node 0 is the root. A node names, per stunt-button group (A, B, both), the trick the path from the root
// to it performs, and links to one child per direction (left, right, up, down) with a mask of the groups
// that may take the link.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

namespace stunttree {

inline constexpr uint32_t kHeaderBytes = 16;
inline constexpr uint32_t kNodeBytes = 64;
inline constexpr int kDirs = 4;    // left, right, up, down
inline constexpr int kGroups = 3;  // stunt button A, B, both
// Longest path from the root, in links. An instruction list for the deepest trick holds the leading
// neutral mark, one entry per link and the end mark: kMaxDepth + 2 entries.
inline constexpr uint32_t kMaxDepth = 30;
inline constexpr int32_t kNoLink = -1;
inline constexpr int32_t kTrickCount = 26;  // tricks 0..25
inline constexpr int32_t kNoTrick = 27;     // a node that performs nothing for a group

struct DirLink {
    int32_t _link;  // child node index, kNoLink for none
    int32_t _mask;  // bit t set: the link may be taken with button group t
};

// One node as stored in the file.
struct NodeRecord {
    uint32_t _pad;
    int32_t _nodeID;
    DirLink _adjNodes[kDirs];
    int32_t _stunts[kGroups];
    int32_t _stuntReversed[kGroups];
};
static_assert(sizeof(NodeRecord) == kNodeBytes, "stunt tree nodes keep their 64-byte record");

enum class TreeStatus {
    Ok,
    Truncated,  // shorter than the header or than its N nodes
    NoNodes,    // N is 0
    LinkOutOfRange,
    Cycle,
    TooDeep,   // a path from the root longer than kMaxDepth links
    BadTrick,  // a trick value outside 0..25 and not kNoTrick
};

// ok is false exactly when status is not Ok; why is then TreeStatusText(status).
struct TreeCheck : FormatCheck {
    TreeStatus status = TreeStatus::Ok;
    uint32_t nodes = 0;  // N (when the header could be read)
    uint32_t node = 0;   // the offending node, when there is one
    uint32_t depth = 0;  // longest path from the root, in links (valid trees)
};

// Checks a tree image of `size` bytes. Reads only; `data` need not be aligned.
TreeCheck CheckTree(const void* data, size_t size);
// A short text for the log ("link out of range", ...).
const char* TreeStatusText(TreeStatus status);

// The image of a tree: the header with N = nodes.size() and the records as given (each _nodeID is set
// to its index).
std::vector<uint8_t> WriteTree(const std::vector<NodeRecord>& nodes);
// A node with no links that performs nothing for any group.
NodeRecord EmptyNode();

}  // namespace stunttree
