// The audio memory manager: places sound data in sound memory or I/O-processor memory and fetches pieces
// of stored sounds into main-memory buffers. Requests queued during a model step go to the I/O processor's
// audio module in one batch after the step (processRequests), and their bookkeeping is cleaned up after
// the frame's mix (cleanupRequests).
#pragma once

#include <cstdint>

// Main-memory buffers the audio module fills: `nStreams` streams (at most two) of `len` bytes each, on the
// engine heap; the destructor frees them.
class CAudioBuffer {
public:
    CAudioBuffer() = default;
    // `streams` buffers of `length` bytes from the engine heap (null when the heap is out).
    CAudioBuffer(int length, int streams);
    virtual ~CAudioBuffer();
    CAudioBuffer(const CAudioBuffer&) = delete;
    CAudioBuffer& operator=(const CAudioBuffer&) = delete;

    int32_t len = 0;
    int32_t nStreams = 0;
    char* data[2] = {nullptr, nullptr};
};

// A window into another buffer: `length` bytes from `offset` (the rest of it when negative). Frees nothing.
class CAudioBufferAlias : public CAudioBuffer {
public:
    CAudioBufferAlias(const CAudioBuffer& other, int offset, int length);
    CAudioBufferAlias(const CAudioBufferAlias& other);
    ~CAudioBufferAlias() override;
};

// Location bits of a sound's storage flags (bits 4-7).
inline constexpr uint32_t kAmmLocMask = 0xF0;
inline constexpr uint32_t kAmmLocMainMemory = 0x10;
inline constexpr uint32_t kAmmLocSoundMemory = 0x30;
inline constexpr uint32_t kAmmLocIopMemory = 0x40;

class CAudioMemoryManager {
public:
    CAudioMemoryManager() = default;
    virtual ~CAudioMemoryManager() = default;
    CAudioMemoryManager(const CAudioMemoryManager&) = delete;
    CAudioMemoryManager& operator=(const CAudioMemoryManager&) = delete;

    // Managers that place nothing (test doubles) keep these: no request, no padding, no memory.
    virtual void fetchIntoBuffer(int, CAudioBuffer&, unsigned int, unsigned int) {}
    virtual void getPadLengths(int, const CAudioBuffer&, unsigned int, unsigned int, unsigned int& before,
                               unsigned int& after) const {
        before = after = 0;
    }
    virtual char* allocateSoundMemory(char*, int, unsigned int&) { return nullptr; }
    virtual void freeSoundMemory(char*, int, unsigned int) {}

    virtual void processRequests() = 0;
    virtual void cleanupRequests() = 0;
};
