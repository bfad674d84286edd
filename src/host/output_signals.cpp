#include "host/output_signals.h"

#include <csignal>

#include "host/png_writer.h"

namespace host {
namespace {

WavWriter* g_wav = nullptr;

void OnSignal(int sig) {
    if (g_wav) g_wav->FinishFromSignal();
    RemovePngInProgress();
    // The handler was reset on entry: raised again, the signal ends the process once this returns.
    std::raise(sig);
}

}  // namespace

void InstallOutputSignalHandlers(WavWriter* wav) {
    g_wav = wav;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, SIGINT);
    sigaddset(&sa.sa_mask, SIGTERM);
    sa.sa_flags = SA_RESETHAND;
    // A signal the process was started with ignored (a run put in the background by a script) ends
    // nothing, and stays so.
    for (const int sig : {SIGINT, SIGTERM}) {
        struct sigaction now;
        if (sigaction(sig, nullptr, &now) == 0 && !(now.sa_flags & SA_SIGINFO) && now.sa_handler == SIG_IGN)
            continue;
        sigaction(sig, &sa, nullptr);
    }
    // Past a file-size limit (ulimit -f) a write fails with EFBIG instead of ending the process, so the
    // writer that met it says so and the files are finished.
    std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace host
