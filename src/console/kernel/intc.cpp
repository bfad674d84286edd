#include "console/kernel/intc.h"

#include <atomic>

namespace {

constexpr int kChannels = 10;
constexpr int kHandlersPerChannel = 8;

struct HandlerSlot {
    int id;
    DmacHandlerFn fn;
};

struct Channel {
    HandlerSlot slots[kHandlersPerChannel];
    int count;
    bool enabled;
};

Channel g_channels[kChannels];
int g_nextId = 1;

}  // namespace

int AddDmacHandler(int channel, DmacHandlerFn handler, int next) {
    if (channel < 0 || channel >= kChannels || !handler) return -1;
    Channel& c = g_channels[channel];
    if (c.count >= kHandlersPerChannel) return -1;
    const int id = g_nextId++;
    if (next == 0) {
        for (int i = c.count; i > 0; --i) c.slots[i] = c.slots[i - 1];
        c.slots[0] = {id, handler};
    } else {
        c.slots[c.count] = {id, handler};
    }
    ++c.count;
    return id;
}

int RemoveDmacHandler(int channel, int id) {
    if (channel < 0 || channel >= kChannels) return -1;
    Channel& c = g_channels[channel];
    for (int i = 0; i < c.count; ++i) {
        if (c.slots[i].id != id) continue;
        for (int j = i; j + 1 < c.count; ++j) c.slots[j] = c.slots[j + 1];
        --c.count;
        return 0;
    }
    return -1;
}

int EnableDmac(int channel) {
    if (channel < 0 || channel >= kChannels) return -1;
    const bool was = g_channels[channel].enabled;
    g_channels[channel].enabled = true;
    return was ? 1 : 0;
}

int DisableDmac(int channel) {
    if (channel < 0 || channel >= kChannels) return -1;
    const bool was = g_channels[channel].enabled;
    g_channels[channel].enabled = false;
    return was ? 1 : 0;
}

void FlushCache(int) {
    std::atomic_thread_fence(std::memory_order_seq_cst);
}
void EeSync() {
    std::atomic_thread_fence(std::memory_order_seq_cst);
}
void EeEnableInterrupts() {}

namespace console {

void IntcDmacEnd(int channel) {
    if (channel < 0 || channel >= kChannels) return;
    Channel& c = g_channels[channel];
    if (!c.enabled) return;
    // A copy: a handler may install or remove handlers.
    HandlerSlot slots[kHandlersPerChannel];
    const int n = c.count;
    for (int i = 0; i < n; ++i) slots[i] = c.slots[i];
    for (int i = 0; i < n; ++i) slots[i].fn(channel);
}

void IntcReset() {
    for (Channel& c : g_channels) c = Channel{};
}

}  // namespace console
