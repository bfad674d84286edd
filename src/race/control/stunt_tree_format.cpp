#include "race/control/stunt_tree_format.h"

#include <cstring>

namespace stunttree {

namespace {

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

NodeRecord ReadNode(const uint8_t* base, uint32_t k) {
    NodeRecord n;
    std::memcpy(&n, base + kHeaderBytes + size_t(k) * kNodeBytes, sizeof n);
    return n;
}

bool TrickInRange(int32_t v) {
    return (v >= 0 && v < kTrickCount) || v == kNoTrick;
}

// The walk itself: sets the status, counts and depth; CheckTree adds the answer.
TreeCheck Walk(const void* data, size_t size) {
    TreeCheck c;
    const auto* p = static_cast<const uint8_t*>(data);
    if (!p || size < kHeaderBytes) {
        c.status = TreeStatus::Truncated;
        return c;
    }
    const uint32_t n = ReadU32(p);
    c.nodes = n;
    if (n == 0) {
        c.status = TreeStatus::NoNodes;
        return c;
    }
    if (n > (size - kHeaderBytes) / kNodeBytes) {
        c.status = TreeStatus::Truncated;
        return c;
    }
    // Links and tricks of every node; in-degrees for the topological order.
    std::vector<uint32_t> indegree(n, 0);
    for (uint32_t k = 0; k < n; ++k) {
        const NodeRecord node = ReadNode(p, k);
        for (const DirLink& l : node._adjNodes) {
            if (l._link == kNoLink) continue;
            if (l._link < 0 || uint32_t(l._link) >= n) {
                c.status = TreeStatus::LinkOutOfRange;
                c.node = k;
                return c;
            }
            ++indegree[uint32_t(l._link)];
        }
        for (int32_t t : node._stunts)
            if (!TrickInRange(t)) {
                c.status = TreeStatus::BadTrick;
                c.node = k;
                return c;
            }
    }
    // Kahn's order over the whole graph: a node left over lies on or behind a cycle.
    std::vector<uint32_t> order;
    order.reserve(n);
    for (uint32_t k = 0; k < n; ++k)
        if (indegree[k] == 0) order.push_back(k);
    for (size_t i = 0; i < order.size(); ++i) {
        const NodeRecord node = ReadNode(p, order[i]);
        for (const DirLink& l : node._adjNodes)
            if (l._link != kNoLink && --indegree[uint32_t(l._link)] == 0) order.push_back(uint32_t(l._link));
    }
    if (order.size() != n) {
        c.status = TreeStatus::Cycle;
        for (uint32_t k = 0; k < n; ++k)
            if (indegree[k] != 0) {
                c.node = k;
                break;
            }
        return c;
    }
    // Longest path from the root, in topological order (-1: not reached from the root).
    std::vector<int32_t> depth(n, -1);
    depth[0] = 0;
    for (uint32_t k : order) {
        if (depth[k] < 0) continue;
        const NodeRecord node = ReadNode(p, k);
        for (const DirLink& l : node._adjNodes) {
            if (l._link == kNoLink) continue;
            int32_t& d = depth[uint32_t(l._link)];
            if (d < depth[k] + 1) d = depth[k] + 1;
            if (uint32_t(d) > kMaxDepth) {
                c.status = TreeStatus::TooDeep;
                c.node = uint32_t(l._link);
                return c;
            }
            if (uint32_t(d) > c.depth) c.depth = uint32_t(d);
        }
    }
    return c;
}

}  // namespace

TreeCheck CheckTree(const void* data, size_t size) {
    TreeCheck c = Walk(data, size);
    if (c.status != TreeStatus::Ok) c.SetFail("%s", TreeStatusText(c.status));
    return c;
}

const char* TreeStatusText(TreeStatus status) {
    switch (status) {
        case TreeStatus::Ok:
            return "ok";
        case TreeStatus::Truncated:
            return "truncated";
        case TreeStatus::NoNodes:
            return "no nodes";
        case TreeStatus::LinkOutOfRange:
            return "link out of range";
        case TreeStatus::Cycle:
            return "cycle";
        case TreeStatus::TooDeep:
            return "too deep";
        case TreeStatus::BadTrick:
            return "trick out of range";
    }
    return "unknown";
}

std::vector<uint8_t> WriteTree(const std::vector<NodeRecord>& nodes) {
    std::vector<uint8_t> out(kHeaderBytes + nodes.size() * kNodeBytes, 0);
    const auto n = static_cast<uint32_t>(nodes.size());
    for (int i = 0; i < 4; ++i) out[size_t(i)] = static_cast<uint8_t>(n >> (8 * i));
    for (uint32_t k = 0; k < n; ++k) {
        NodeRecord r = nodes[k];
        r._nodeID = static_cast<int32_t>(k);
        std::memcpy(out.data() + kHeaderBytes + size_t(k) * kNodeBytes, &r, sizeof r);
    }
    return out;
}

NodeRecord EmptyNode() {
    NodeRecord n{};
    for (DirLink& l : n._adjNodes) l = {kNoLink, 0};
    for (int32_t& t : n._stunts) t = kNoTrick;
    return n;
}

}  // namespace stunttree
