// A headless run shows and plays nothing and reads no devices: frames and sound go only to the files
// asked for, and the pads to their scripts.
#include "host/platform.h"

namespace host {
namespace {

class HeadlessPlatform final : public Platform {
public:
    void PresentFrame(const uint8_t*, int, int) override {}
    void QueueSound(const int16_t*, int) override {}
    void ReadInput() override {}
    bool PollQuit() override { return false; }
    void Close() override {}
};

}  // namespace

std::unique_ptr<Platform> MakeHeadlessPlatform() {
    return std::make_unique<HeadlessPlatform>();
}

}  // namespace host
