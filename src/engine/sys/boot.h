// Boot: the I/O processor is rebooted from the disc's replacement image, the CD services come up and
// the driver modules are loaded from the disc's system directory.
#pragma once

namespace engine {
extern char HostPrefix[64];
extern const char* IrxPath;
extern int PS2CDInit;
extern int LastKnownMediaType;
}  // namespace engine

void x_BuildHostPrefix();
// Reboots the I/O processor and loads the driver modules in order. Returns 0, or -1 at the first module
// that cannot be loaded (the rest are not tried).
[[nodiscard]] int x_HardwareBootSystem();
// Loads one module from the system directory. Returns 0, or -1 when it cannot be loaded: the log then
// names its path ("x_HardwareLoadModule: ERROR LOADING MODULE <path>"), and the program cannot go on.
[[nodiscard]] int x_HardwareLoadModule(const char* name);
void PS2CD_Boot();
void PS2CD_Init();
int PS2CD_GetMediaType();
