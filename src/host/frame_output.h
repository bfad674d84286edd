// What the host does with each shown frame: takes the displayed 640 x 448 picture from the graphics
// synthesizer and, every N frames, writes it as PNG into the output directory ("frame_000060.png").
// The picture is read back only for a frame that needs it (a PNG is due, or the window shows every
// frame): reading it waits for the rasteriser and copies 1.1 MB. The pixels of the last frame read and a
// hash of them stay available (determinism checks, the window).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/error.h"

namespace host {

class FrameOutput {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 448;

    // pngEvery 0: no files. The directory must exist. `everyFrame`: read every shown frame back (a window
    // presents each one), not only those written.
    FrameOutput(std::string outDir, long pngEvery, bool everyFrame = true);

    // Call once after every shown frame. Returns false when a PNG could not be written (later frames are
    // still tried).
    bool OnFrameShown(Error* error);

    // Name of the PNG for shown frame `n` (1-based), without the directory.
    static std::string FrameFileName(uint64_t n);

    uint64_t FramesShown() const { return frames_; }
    uint64_t PngsWritten() const { return written_; }
    // The last frame read back: RGBA, alpha 255.
    const std::vector<uint8_t>& Pixels() const { return rgba_; }
    uint64_t PixelHash() const;  // FNV-1a over the RGB bytes of the last frame read back
    uint64_t FramesRead() const { return read_; }

private:
    std::string outDir_;
    long pngEvery_;
    bool everyFrame_;
    uint64_t read_ = 0;
    uint64_t frames_ = 0;
    uint64_t written_ = 0;
    std::vector<uint8_t> rgba_;
};

}  // namespace host
