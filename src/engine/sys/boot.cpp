#include "engine/sys/boot.h"

#include <cstdio>
#include <cstring>

#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "engine/sys/files.h"

// The engine's internal state (namespace engine) is used here unqualified.
using namespace engine;

namespace engine {
char HostPrefix[64];
const char* IrxPath = "\\SYSTEM\\";
int PS2CDInit = 0;
int LastKnownMediaType = 0xFF;
}  // namespace engine

void x_BuildHostPrefix() {
    std::snprintf(HostPrefix, sizeof HostPrefix, "%s", "cdrom0:");
}

void PS2CD_Boot() {
    sceSifInitRpc(0);
    sceCdInit(0);
    sceCdMmode(1);
    while (sceSifRebootIop("cdrom0:\\SYSTEM\\IOPRP22.IMG;1") == 0) {
    }
    while (sceSifSyncIop() == 0) {
    }
    sceSifInitRpc(0);
    sceCdInit(0);
    sceCdMmode(1);
    sceFsReset();
}

int PS2CD_GetMediaType() {
    if (!PS2CDInit) return 0xFF;
    LastKnownMediaType = sceCdGetDiskType();
    return LastKnownMediaType;
}

void PS2CD_Init() {
    PS2CDInit = 1;
    PS2CD_GetMediaType();
    PS2CD_ResetFiles();
}

int x_HardwareLoadModule(const char* name) {
    char path[256];
    int n = std::snprintf(path, sizeof path, "%s%s%s", HostPrefix, IrxPath, name ? name : "");
    int result = n < 0 || n >= static_cast<int>(sizeof path) ? -1 : sceSifLoadModule(path, 0, nullptr);
    if (result >= 0) return 0;
    // The console simply stopped here; on the host the caller ends the start-up.
    std::printf("x_HardwareLoadModule: ERROR LOADING MODULE %s\n", path);
    std::fflush(stdout);
    return -1;
}

int x_HardwareBootSystem() {
    PS2CD_Boot();
    PS2CD_Init();
    sceSifInitIopHeap();
    static const char* const kModules[] = {"SIO2MAN.IRX", "MTAPMAN.IRX", "PADMAN.IRX", "MCMAN.IRX",
                                           "MCSERV.IRX",  "LIBSD.IRX",   "SDRDRV.IRX"};
    for (const char* module : kModules)
        if (x_HardwareLoadModule(module) != 0) return -1;
    return 0;
}
