// The audio memory manager's interface to the sound view: requests queued during a model step go to the
// I/O processor's audio module in one batch after the step, and their bookkeeping is cleaned up after
// the frame's mix.
#pragma once

class CAudioMemoryManager {
public:
    CAudioMemoryManager() = default;
    virtual ~CAudioMemoryManager() = default;
    CAudioMemoryManager(const CAudioMemoryManager&) = delete;
    CAudioMemoryManager& operator=(const CAudioMemoryManager&) = delete;

    virtual void processRequests() = 0;
    virtual void cleanupRequests() = 0;
};
