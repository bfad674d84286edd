#include "kinetic/collide/error.h"

#include <cstdio>
#include <cstdlib>

namespace Kinetic {

Error ErrorHandler;
Error* g_pGlobalErrorHandler = &ErrorHandler;

void Error::warning(const std::string& message, int code) {
    std::fprintf(stderr, "*** WARNING [%d] ***\n", code);
    std::fflush(stderr);
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

void Error::fatal(const std::string& message, int code) {
    std::fprintf(stderr, "*** FATAL ERROR [%d] ***\n", code);
    std::fflush(stderr);
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    // Straight out: the state that led here is broken, so no static destructor or exit handler (which
    // would walk that state, or report it as leaked) runs.
    std::_Exit(code);
}

}  // namespace Kinetic
