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
void x_HardwareBootSystem();
// Loads one module from the system directory; a module that cannot be loaded ends the program.
void x_HardwareLoadModule(const char* name);
void PS2CD_Boot();
void PS2CD_Init();
int PS2CD_GetMediaType();
