#include "console/pad/mtap.h"

#include "console/iop/iop.h"

namespace console {
namespace {
bool g_init = false;
bool g_open[4] = {};
}  // namespace

bool MtapPortOpen(int port) {
    return port >= 0 && port < 4 && g_open[port];
}

void MtapReset() {
    g_init = false;
    for (bool& o : g_open) o = false;
}

}  // namespace console

using namespace console;

int sceMtapInit() {
    g_init = IopModuleLoaded("MTAPMAN.IRX");
    return g_init ? 1 : 0;
}

int sceMtapPortOpen(int port) {
    if (!g_init || port < 0 || port >= 4) return 0;
    g_open[port] = true;
    return 1;
}

int sceMtapPortClose(int port) {
    if (!g_init || port < 0 || port >= 4) return 0;
    g_open[port] = false;
    return 1;
}
