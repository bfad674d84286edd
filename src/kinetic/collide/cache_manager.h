// Fixed-size least-recently-fetched cache of per-pair state, keyed by the 64-bit pair key. Lines are
// preallocated; a known key costs one map lookup; a new key when full evicts the line with the smallest
// stamp (the step at which it was last fetched). Among equal stamps the lowest line index goes, so the
// choice never depends on memory layout.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <queue>
#include <vector>

namespace Kinetic {

// One entry of the eviction array: the line's stamp (by pointer), the key it holds, its index and when
// the key was given the line.
template <typename K>
struct KeyPriority {
    const uint32_t* m_priority;
    K m_key;
    int m_index;
    uint64_t m_assigned;
};

template <typename E>
class PriorityArray {
public:
    // The entry with the smallest stamp; of equal stamps the one assigned earliest.
    E& highest() {
        std::sort(m_entries.begin(), m_entries.end(), [](const E& a, const E& b) {
            if (*a.m_priority != *b.m_priority) return *a.m_priority > *b.m_priority;
            return a.m_assigned > b.m_assigned;
        });
        return m_entries.back();
    }
    std::vector<E> m_entries;
};

template <typename K, typename T>
class CacheManager {
public:
    template <typename U>
    struct CacheLine {
        U m_data;
        uint32_t m_stamp = 0;
    };

    explicit CacheManager(int size) : m_capacity(size) {
        // Lines never move once created: entries point at their stamps.
        m_lines.resize(static_cast<size_t>(std::max(size, 32)));
        for (int i = 0; i < static_cast<int>(m_lines.size()); ++i) m_free.push(i);
        m_priorities.m_entries.reserve(static_cast<size_t>(std::max(size, 0)));
    }
    CacheManager(const CacheManager&) = delete;
    CacheManager& operator=(const CacheManager&) = delete;

    // The line of key; found tells whether the key already had one. A line handed out with found false
    // keeps what its previous pair left: the caller resets it.
    T* fetch(bool& found, const K& key) {
        auto it = m_map.find(key);
        if (it != m_map.end()) {
            CacheLine<T>& line = m_lines[static_cast<size_t>(it->second)];
            line.m_stamp = m_step;
            found = true;
            return &line.m_data;
        }
        found = false;
        if (static_cast<int>(m_priorities.m_entries.size()) < m_capacity && !m_free.empty()) {
            const int index = m_free.top();
            m_free.pop();
            m_map[key] = index;
            CacheLine<T>& line = m_lines[static_cast<size_t>(index)];
            line.m_stamp = m_step;
            m_priorities.m_entries.push_back({&line.m_stamp, key, index, m_assignments++});
            return &line.m_data;
        }
        if (m_priorities.m_entries.empty()) return nullptr;  // a cache of capacity 0 holds nothing
        KeyPriority<K>& victim = m_priorities.highest();
        m_map.erase(victim.m_key);
        m_map[key] = victim.m_index;
        victim.m_key = key;
        victim.m_assigned = m_assignments++;
        CacheLine<T>& line = m_lines[static_cast<size_t>(victim.m_index)];
        line.m_stamp = m_step;
        return &line.m_data;
    }

    void newStep() { ++m_step; }
    int getCapacity() const { return m_capacity; }
    int getLineCount() const { return static_cast<int>(m_map.size()); }
    uint32_t getStep() const { return m_step; }

private:
    std::vector<CacheLine<T>> m_lines;
    std::priority_queue<int, std::vector<int>, std::greater<int>> m_free;
    PriorityArray<KeyPriority<K>> m_priorities;
    std::map<K, int> m_map;
    int m_capacity;
    uint32_t m_step = 0;
    uint64_t m_assignments = 0;
};

}  // namespace Kinetic
