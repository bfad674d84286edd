// Stand-in for the I/O processor: reboot, module loading from the disc, and its 2 MB memory with the
// heap that sound and streaming code allocate from. There is no second processor: a module "loads"
// when its file is on the disc, and later stand-ins (pads, sound, audio memory) ask whether it did.
#pragma once

#include <cstdint>

int sceSifInitRpc(unsigned int mode);
int sceSifRebootIop(const char* image);
int sceSifSyncIop();
// >= 0 (a module id) when the module file exists on the disc, negative otherwise.
int sceSifLoadModule(const char* path, int argSize, const char* args);
int sceFsReset();

// IOP heap. Addresses are IOP memory addresses (never host pointers), carried in a void* as the
// console's library does; 0 means failure.
int sceSifInitIopHeap();
void* sceSifAllocIopHeap(unsigned int size);
int sceSifFreeIopHeap(void* iopAddr);

namespace console {

inline constexpr uint32_t kIopMemSize = 2 * 1024 * 1024;
// The IOP's kernel and resident modules occupy the bottom of its memory.
inline constexpr uint32_t kIopHeapStart = 0x00100000;

uint8_t* IopMemory();
// True when a module of this file name ("PADMAN.IRX", case-insensitive) has been loaded since the
// last reboot.
bool IopModuleLoaded(const char* fileName);
int IopLoadedModuleCount();
// Bytes currently allocated from the IOP heap.
uint32_t IopHeapUsed();
// Back to power-on: no modules, empty heap.
void IopReset();

}  // namespace console
