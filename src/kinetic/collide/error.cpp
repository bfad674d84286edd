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
    std::exit(code);
}

}  // namespace Kinetic
