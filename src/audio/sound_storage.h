// One loaded sound: an engine sample kept for the whole program (storages survive race restarts) and
// known to the game by its index in the process-wide sound store, the sound id.
#pragma once

#include <cstdint>

#include "engine/hal/sound.h"
#include "game/files/resource_storage.h"

// Low four bits of the storage flags: the kind of sound data. Engine samples are the only kind.
inline constexpr uint32_t kSoundKindMask = 15;
inline constexpr uint32_t kSoundKindVemo = 7;

// Where a sample's data lives: sent to sound memory at once (the file may go), copied to the engine heap
// and sent at each start, or copied to I/O-processor memory and sent at each start.
enum VemoSoundLocation : uint32_t { kVemoLocSoundRam = 0, kVemoLocMainRam = 1, kVemoLocIopRam = 3 };

class CSoundStorage {
public:
    CSoundStorage() = default;
    virtual ~CSoundStorage() = default;
    CSoundStorage(const CSoundStorage&) = delete;
    CSoundStorage& operator=(const CSoundStorage&) = delete;

    void* pSound = nullptr;   // the copy of the data this storage owns, if any
    uint32_t soundFlags = 0;  // kind in the low four bits; 0 = nothing usable
    uint32_t size = 0;
    uint32_t nSamples = 0;  // the sample's length in bytes
};

class CVemoSoundStorage : public CSoundStorage {
public:
    // `image` is a sample sub-file of `imageLength` bytes (64-byte header, then the data). A header
    // whose length runs past the sub-file, a full sample table or a failed allocation leave the storage
    // without a sample (valid() false) after a log line.
    CVemoSoundStorage(const void* image, uint32_t imageLength, uint32_t location);
    ~CVemoSoundStorage() override;

    bool valid() const { return sample != nullptr; }

    _Sample* sample = nullptr;
    int32_t vemoSndLoc = 0;
    uint32_t iopAddress = 0;  // location 3: the I/O-processor copy
};

template <>
struct CResourceStorageSize<CSoundStorage> {
    static constexpr uint32_t value = 120;
};
class CEnvelopeMap;
template <>
struct CResourceStorageSize<CEnvelopeMap> {
    static constexpr uint32_t value = 100;
};
