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
#include <string>
#include <vector>

#include "console/pad/pad.h"
#include "host/error.h"

namespace host {

class PadScript {
public:
    // A longer file is refused: a script is a short text, and a cut one would mean other rules.
    static constexpr size_t kMaxScriptBytes = size_t{16} << 20;
    // False with "FILE:LINE: reason" in error on an unreadable file or a bad line.
    bool Load(const char* path, Error* error);
    bool Parse(const std::string& text, const char* name, Error* error);

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
    std::vector<Rule> rules_;
};

}  // namespace host
