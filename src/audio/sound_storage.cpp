#include "audio/sound_storage.h"

#include <cstring>

#include "engine/hal/sound_hw.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"

CVemoSoundStorage::CVemoSoundStorage(const void* image, uint32_t imageLength, uint32_t location)
    : vemoSndLoc(static_cast<int32_t>(location)) {
    _SampleHeaderRam h;
    // The header's length must lie inside the sub-file before anything is copied out of it.
    if (veSoundCheckSampleImage(image, imageLength, &h) < 0) return;
    const uint8_t* data = static_cast<const uint8_t*>(image) + kSampleHeaderDiscBytes;
    const uint32_t length = static_cast<uint32_t>(h.length);
    switch (location) {
        case kVemoLocSoundRam:
            sample = veSoundCreateSampleFromPointer(image, data, kSampleStorageSoundRam, 0);
            break;
        case kVemoLocMainRam:
            pSound = x_fn_malloc(length, __FILE__, __LINE__);
            if (!pSound) {
                x_printf("CVemoSoundStorage: no memory for %u bytes of sample data\n", length);
                return;
            }
            std::memcpy(pSound, data, length);
            sample = veSoundCreateSampleFromPointer(image, pSound, kSampleStorageMainRam, 0);
            break;
        case kVemoLocIopRam:
            iopAddress = veSoundAllocIopRam(length);
            if (!iopAddress) {
                x_printf("CVemoSoundStorage: no I/O processor memory for %u bytes of sample data\n", length);
                return;
            }
            sample = veSoundCreateSampleFromPointer(image, data, kSampleStorageIopRam, iopAddress);
            break;
        default:
            x_printf("CVemoSoundStorage: unknown sample location %u\n", location);
            return;
    }
    if (!sample) return;
    soundFlags = kSoundKindVemo;
    nSamples = static_cast<uint32_t>(veSoundGetSampleLength(sample));
}

CVemoSoundStorage::~CVemoSoundStorage() {
    if (sample) veSoundDestroySample(sample, 1);
    if (pSound) x_free(pSound);
    if (iopAddress) veSoundFreeIopRam(iopAddress);
}
