// Preloaded into qz by the window tests (LD_PRELOAD): SDL's sound refuses to start, and the process ends
// as the gamepads start, the way QZ_END says (abort: a library that aborts; sigterm: a SIGTERM sent while
// the window opens; sigint: a SIGINT sent then, which ends the process unless it is ignored). Without
// QZ_END the gamepads start as usual.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kInitAudio = 0x10, kInitGameController = 0x2000 };

int SDL_SetError(const char* format, ...);

int SDL_InitSubSystem(unsigned flags) {
    int (*real)(unsigned) = (int (*)(unsigned))dlsym(RTLD_NEXT, "SDL_InitSubSystem");
    if (flags & kInitAudio) return SDL_SetError("the test refused the sound");
    const char* end = getenv("QZ_END");
    if ((flags & kInitGameController) && end) {
        static const char kSaid[] = "library: about to end\n";
        if (write(STDERR_FILENO, kSaid, sizeof kSaid - 1) < 0) {
        }
        if (!strcmp(end, "abort")) abort();
        if (!strcmp(end, "sigterm")) kill(getpid(), SIGTERM);
        if (!strcmp(end, "sigint")) kill(getpid(), SIGINT);
    }
    return real(flags);
}
