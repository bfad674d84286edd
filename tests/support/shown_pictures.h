// For tests of what reaches the screen: every picture the display shows, read as it is shown (install
// `Take` with veDisplaySetFrameShownCallback).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "console/gs/gs_device.h"
#include "console/stage/dma_stage.h"

namespace testsupport {

struct ShownPictures {
    std::vector<std::vector<uint8_t>> pictures;  // 640 x 448 RGBA each
    static void Take(void* self) {
        console::dma::StageDrain();
        std::vector<uint8_t> rgba(640 * 448 * 4);
        console::gs::Gs().ReadDisplay(rgba.data());
        static_cast<ShownPictures*>(self)->pictures.push_back(std::move(rgba));
    }
};

}  // namespace testsupport
