// Addresses the console sees are 32-bit. On the host every address the game hands to the console must
// therefore fit in 31 bits: the program is linked non-PIE and all game memory comes from an arena mapped
// at a low fixed address. Convert pointers only through these helpers.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

namespace console {

// Highest address (exclusive) a console-visible pointer may have.
inline constexpr uint64_t kAddrLimit = 0x80000000ull;

// Where the arena is asked to go. Nothing may depend on the numeric value (hashes, ordering).
// The C runtime's own heap starts at a random place up to 1 GB above the program image, so the arena
// sits above that range; it must still end below 2 GB.
inline constexpr uintptr_t kArenaPreferredBase = 0x48000000u;
inline constexpr size_t kArenaMaxBytes = kAddrLimit - kArenaPreferredBase;

// What mapping the arena gave: its base, or null and the errno of the mapping that failed.
struct ArenaMapping {
    void* base = nullptr;
    int error = 0;
};

// Maps the arena of `bytes` (rounded up to whole pages) on first call; later calls return the same
// mapping and ignore `bytes`. When no mapping below 2 GB can be made, the base is null and the caller
// says so (nothing is mapped then, and a later call tries again).
ArenaMapping ArenaMap(size_t bytes);
void* ArenaBase();
size_t ArenaSize();

// True when the pointer can be stored in a 32-bit console record.
inline bool InAddrReach(const void* p) {
    return reinterpret_cast<uintptr_t>(p) < kAddrLimit;
}

}  // namespace console

// Pointer -> 32-bit console address. Asserts that the pointer is in reach; a pointer outside reach is a
// programming error (something allocated outside the arena) and would be silently truncated otherwise.
inline uint32_t Addr32(const void* p) {
    assert(console::InAddrReach(p) && "pointer outside 31-bit reach handed to the console");
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// 32-bit console address -> pointer.
template <typename T>
inline T* Ptr(uint32_t addr) {
    return reinterpret_cast<T*>(static_cast<uintptr_t>(addr));
}

// The uncached mirror of main memory and the physical-address mask are the identity on the host.
template <typename T>
inline T* Uncached(T* p) {
    return p;
}
inline uint32_t UncachedAddr(uint32_t a) {
    return a;
}
inline uint32_t PhysAddr(uint32_t a) {
    return a;
}
