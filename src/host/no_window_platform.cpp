// Built in place of the SDL2 platform when SDL2 is not installed.
#include "host/platform.h"

namespace host {

std::unique_ptr<Platform> OpenWindowPlatform(const WindowSetup&, Error* error) {
    error->Set("--window needs SDL2, which this build was made without (install libsdl2-dev and rebuild)");
    return nullptr;
}

}  // namespace host
