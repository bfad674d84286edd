#include "host/frame_output.h"

#include <cstdio>

#include "console/gs/gs_device.h"
#include "console/stage/dma_stage.h"
#include "host/png_writer.h"

namespace host {

FrameOutput::FrameOutput(std::string outDir, long pngEvery, bool everyFrame)
    : outDir_(std::move(outDir)),
      pngEvery_(pngEvery < 0 ? 0 : pngEvery),
      everyFrame_(everyFrame),
      rgba_(size_t(kWidth) * kHeight * 4, 0) {}

std::string FrameOutput::FrameFileName(uint64_t n) {
    char name[40];
    std::snprintf(name, sizeof(name), "frame_%06llu.png", static_cast<unsigned long long>(n));
    return name;
}

bool FrameOutput::OnFrameShown(Error* error) {
    ++frames_;
    const bool due = pngEvery_ != 0 && frames_ % uint64_t(pngEvery_) == 0;
    if (!due && !everyFrame_) return true;
    console::dma::StageDrain();
    console::gs::Gs().ReadDisplay(rgba_.data());
    ++read_;
    if (!due) return true;
    std::string path = outDir_.empty() ? FrameFileName(frames_) : outDir_ + "/" + FrameFileName(frames_);
    if (!WritePng(path, rgba_.data(), kWidth, kHeight, 4, true, error)) return false;
    ++written_;
    return true;
}

uint64_t FrameOutput::PixelHash() const {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < rgba_.size(); ++i) {
        if ((i & 3) == 3) continue;
        h = (h ^ rgba_[i]) * 1099511628211ull;
    }
    return h;
}

}  // namespace host
