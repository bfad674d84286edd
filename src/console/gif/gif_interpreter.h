// The GIF: reads GIF packets (tag + data) arriving on PATH1 (microprogram kicks), PATH2 (VIF DIRECT) and
// PATH3 (the GIF DMA channel) and turns them into register writes and image data for the graphics
// synthesizer. Everything runs synchronously in arrival order. A packet may arrive in pieces (a tag in one
// DMA transfer, its data in the next); each path keeps its place. Nothing in a packet can make it read
// past the data it was given or write outside local memory; malformed contents are logged and skipped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/gif/gif_tag.h"

namespace console::gs {
class GsDevice;
}

namespace console::gif {

class GifInterpreter {
public:
    explicit GifInterpreter(gs::GsDevice& gs);

    // Feeds `qwc` quadwords (16 bytes each, little-endian) that arrived on path 1, 2 or 3.
    void Write(int path, const void* data, size_t qwc);
    // The sender's transfer ended: a packet still missing data is logged and dropped.
    void EndTransfer(int path);
    // Drops any partial packet on every path.
    void Reset();
    // True while a path is in the middle of a packet.
    bool InPacket(int path) const;

    // Quadwords of a packet that starts with `tag` (the tag included), as its fields declare.
    static size_t PacketQwords(const GifTag& tag);

    // PACKED packets whose register list is vertices (ST, RGBAQ, XYZ or RGBAQ, XYZ, repeated) go to the
    // GS as whole vertices, with the same results as register by register. Off: every register one at a
    // time (for comparing the two). Returns the previous setting.
    static bool AllowVertexLists(bool allow);

private:
    struct PathState {
        bool inPacket = false;
        GifTag tag{};
        uint32_t loopsLeft = 0;
        uint32_t reg = 0;  // next register descriptor of the current loop
        uint32_t nreg = 16;
        uint32_t vertexRegs = 0;  // a vertex list: registers per vertex (3 with ST, 2 without); else 0
        // The last PACKED register list looked at and what it was (a path sends the same one again and
        // again).
        uint64_t listRegs = 0;
        uint32_t listNreg = 0, listVertexRegs = 0;
    };

    void StartTag(PathState& p, const uint8_t* qw);
    void Packed(const uint8_t* qw, uint32_t desc);
    void Reglist(uint64_t value, uint32_t desc);
    // Whole loops of a vertex list, `loops` of them at `qw`.
    void VertexLoops(const PathState& p, const uint8_t* qw, size_t loops);

    gs::GsDevice& gs_;
    PathState paths_[4];
    float q_ = 1.0f;  // the Q that PACKED ST leaves for the next PACKED RGBAQ
};

// The console's GIF, feeding gs::Gs().
GifInterpreter& Gif();

}  // namespace console::gif
