// A pool of channels for one kind of sound data. Sound objects ask for a channel every step; the mixer
// arbitrates by group limits and priority, lets the readers it holds start and update their voices
// (prepare, after the step) and notice their end (mix, once per rendered frame), then frees every
// channel so that they are handed out afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "audio/sound_params.h"

class CSoundReader;

class CMixer {
public:
    CMixer(int channels, uint32_t type);
    virtual ~CMixer();
    CMixer(const CMixer&) = delete;
    CMixer& operator=(const CMixer&) = delete;

    virtual void prepare();
    virtual void mix();

    // The channel given to the reader (a reader that held it loses it), or -1.
    int allocateChannel(CSoundReader* reader);
    // The reader's own channel, else a free one or the least important of its group (a free one only
    // while the group is below its limit), else -1.
    int findFreeChannel(CSoundReader* reader);
    CSoundParams& getChannelParams(int channel) { return channelParams[static_cast<size_t>(channel)]; }

    // Empties every channel of every live mixer that holds the reader (a reader being deleted).
    static void releaseReader(const CSoundReader* reader);

    float mainVolume = 1.0f;
    int32_t nChannels;
    uint32_t soundType;
    uint8_t locked = 0;
    std::vector<CSoundReader*> channels;
    std::vector<CSoundParams> channelParams;
    std::map<int, int> soundGroupLimits;
};
