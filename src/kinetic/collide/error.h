// The engine's error reporter: a warning writes two lines to stderr, a fatal error does the same with
// the fatal banner and ends the program with the code as exit status.
#pragma once

#include <string>

namespace Kinetic {

class Error {
public:
    virtual ~Error() = default;
    virtual void warning(const std::string& message, int code);
    [[noreturn]] virtual void fatal(const std::string& message, int code);
};

extern Error ErrorHandler;
extern Error* g_pGlobalErrorHandler;

}  // namespace Kinetic
