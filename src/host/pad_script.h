// Pad scripts: what a pad does on each shown frame of a headless run (--pad1 FILE, --pad2 FILE).
//
// Text, one rule per line; '#' starts a comment; blank lines are ignored.
//     FRAMES WORD...
// FRAMES is N (one frame), N-M (N to M inclusive) or N+ (N and every later frame); frames are shown
// frames counted from 0. WORDs, case-insensitive:
//     L2 R2 L1 R1 TRIANGLE CIRCLE CROSS SQUARE SELECT L3 R3 START UP RIGHT DOWN LEFT   buttons held
//     LX=v LY=v RX=v RY=v     stick bytes 0..255 (128 centre; X 255 is right, Y 0 is up)
//     IDLE                    nothing held (the same as no words)
//     UNPLUGGED               the pad is not connected
// A frame takes the last rule that covers it; frames no rule covers are connected and idle. Example:
//     0-119     IDLE
//     120-125   START
//     300+      CROSS LY=0
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "console/pad/pad.h"
#include "host/error.h"

namespace host {

// Memory of the host program itself (malloc), not of the game: what the host reads for its own use
// (pad scripts) must not take from, or show in, the engine heap the game runs in.
template <typename T>
struct HostAllocator {
    using value_type = T;
    HostAllocator() = default;
    template <typename U>
    HostAllocator(const HostAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        if (void* p = std::malloc(n * sizeof(T))) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, size_t) { std::free(p); }
    template <typename U>
    bool operator==(const HostAllocator<U>&) const {
        return true;
    }
};

class PadScript {
public:
    // A longer file is refused: a script is a short text, and a cut one would mean other rules.
    static constexpr size_t kMaxScriptBytes = size_t{16} << 20;
    // False with "FILE:LINE: reason" in error on an unreadable file or a bad line.
    bool Load(const char* path, Error* error);
    // Reads the rules from `text`; nothing of it is kept. The rules live in the host's memory.
    bool Parse(std::string_view text, const char* name, Error* error);

    console::PadInput StateAt(uint64_t frame) const;
    // Hands the frame's state to the pad stand-in.
    void Apply(int port, int slot, uint64_t frame) const;
    size_t RuleCount() const { return rules_.size(); }

private:
    struct Rule {
        uint64_t first;
        uint64_t last;
        console::PadInput input;
    };
    std::vector<Rule, HostAllocator<Rule>> rules_;
};

}  // namespace host
