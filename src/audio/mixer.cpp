#include "audio/mixer.h"

#include <algorithm>

#include "audio/sound_reader.h"
#include "engine/sys/clock.h"

namespace {

// Every mixer alive, so that a reader being deleted can leave the channels that hold it. Never freed:
// readers may be deleted during static destruction.
std::vector<CMixer*>& LiveMixers() {
    static auto* mixers = new std::vector<CMixer*>;
    return *mixers;
}

}  // namespace

CMixer::CMixer(int channels, uint32_t type)
    : nChannels(channels < 0 ? 0 : channels),
      soundType(type & 15),
      channels(static_cast<size_t>(nChannels), nullptr),
      channelParams(static_cast<size_t>(nChannels)) {
    LiveMixers().push_back(this);
}

CMixer::~CMixer() {
    auto& live = LiveMixers();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

void CMixer::releaseReader(const CSoundReader* reader) {
    for (CMixer* m : LiveMixers())
        for (CSoundReader*& ch : m->channels)
            if (ch == reader) ch = nullptr;
}

int CMixer::findFreeChannel(CSoundReader* reader) {
    const int limit = soundGroupLimits[reader->group];
    const auto own = static_cast<uint32_t>(reader->priority);
    int freeChannel = -1, victim = -1, used = 0;
    for (int i = 0; i < nChannels; ++i) {
        const CSoundReader* r = channels[static_cast<size_t>(i)];
        if (r == reader) return i;
        if (!r) {
            if (freeChannel < 0) freeChannel = i;
            continue;
        }
        if (r->group != reader->group) continue;
        ++used;
        const auto p = static_cast<uint32_t>(r->priority);
        if (p > own &&
            (victim < 0 || p > static_cast<uint32_t>(channels[static_cast<size_t>(victim)]->priority)))
            victim = i;
    }
    if (used < limit && freeChannel >= 0) return freeChannel;
    return victim;
}

int CMixer::allocateChannel(CSoundReader* reader) {
    const int i = findFreeChannel(reader);
    if (i < 0) return -1;
    channels[static_cast<size_t>(i)] = reader;
    return i;
}

void CMixer::prepare() {
    // The time since the last step, which the next one will most likely take as well (a long pause or
    // the first step counts as none).
    static uint64_t lastStep = 0;
    const uint64_t now = veClockGetCycles();
    const double since = lastStep && now > lastStep ? static_cast<double>(now - lastStep) /
                                                          static_cast<double>(veClockGetCPUClockSpeed())
                                                    : 0.0;
    if (now != lastStep) CComplexSoundReader::stepSeconds = since > 0.1 ? 0.0 : since;
    lastStep = now;
    locked = 1;
    for (size_t i = 0; i < channels.size(); ++i)
        if (CSoundReader* r = channels[i]; r && !r->finished()) r->preMaintenance(channelParams[i]);
}

void CMixer::mix() {
    for (CSoundReader* r : channels)
        if (r && !r->finished()) r->postMaintenance();
    std::fill(channels.begin(), channels.end(), nullptr);
    locked = 0;
}
