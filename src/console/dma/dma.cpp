#include "console/dma/dma.h"

#include <cstdio>
#include <cstring>

#include "console/dma/dma_memory.h"
#include "console/dma/dma_registers.h"
#include "console/gif/gif_interpreter.h"
#include "console/kernel/intc.h"
#include "console/mem/scratchpad.h"
#include "console/stage/dma_stage.h"
#include "console/vif/vif.h"

namespace console::dma {
namespace {

constexpr int kChannels = 10;
// A chain that names more tags than this is taken to loop for ever.
constexpr uint32_t kMaxTags = 1u << 20;
constexpr int kQueueSize = 64;

sceDmaChan g_chan[kChannels];

struct Request {
    int channel;
    uint32_t addr;
    uint32_t qwc;
    bool chain;
    bool tte;
};

Request g_queue[kQueueSize];
int g_head = 0, g_count = 0;
bool g_running = false;
uint64_t g_dropped = 0, g_runs = 0;

// Whether the transfer being run goes to the geometry stage (VIF1 and GIF while the stage queues) or runs
// here. VIF0 always runs here: its unit is the game's coprocessor and the game reads its results at once.
bool g_toStage = false;

void Feed(int channel, const uint8_t* data, uint32_t qwc) {
    if (qwc == 0) return;
    if (g_toStage) {
        StagePushData(channel, data, qwc);
        return;
    }
    switch (channel) {
        case SCE_DMA_VIF0:
            vif::Vif0().Write(reinterpret_cast<const uint32_t*>(data), size_t(qwc) * 4);
            break;
        case SCE_DMA_VIF1:
            vif::Vif1().Write(reinterpret_cast<const uint32_t*>(data), size_t(qwc) * 4);
            break;
        case SCE_DMA_GIF:
            gif::Gif().Write(3, data, qwc);
            break;
        default:
            break;
    }
}

void FeedTagWords(int channel, const uint8_t* tag) {
    if (g_toStage) {
        if (channel == SCE_DMA_VIF1) StagePushTagWords(channel, tag);
        return;
    }
    const uint32_t* w = reinterpret_cast<const uint32_t*>(tag) + 2;
    if (channel == SCE_DMA_VIF0) vif::Vif0().Write(w, 2);
    if (channel == SCE_DMA_VIF1) vif::Vif1().Write(w, 2);
}

void EndTransfer(int channel) {
    if (g_toStage) {
        StagePushEnd(channel);
        return;
    }
    switch (channel) {
        case SCE_DMA_VIF0:
            vif::Vif0().EndTransfer();
            break;
        case SCE_DMA_VIF1:
            vif::Vif1().EndTransfer();
            break;
        case SCE_DMA_GIF:
            gif::Gif().EndTransfer(3);
            break;
        default:
            break;
    }
}

// What checking a chain found, tag by tag, so that running it need not walk it again: its first
// kRecorded steps (a longer chain is walked again). One record, taken by the outermost walk only.
struct Step {
    const uint8_t* tag;
    const uint8_t* data;
    uint32_t qwc;
};
constexpr uint32_t kRecorded = 4096;
Step g_steps[kRecorded];
uint32_t g_stepCount = 0;  // steps recorded, or kRecorded + 1 when the chain had more
bool g_recording = false;
int g_depth = 0;  // chains being run, one inside another

// Walks a chain; with `run` false only checks it. Returns false (after a log line) for a bad chain.
bool Walk(int channel, uint32_t tadr, bool tte, bool run) {
    uint32_t stack[2];
    int sp = 0;
    for (uint32_t n = 0; n < kMaxTags; ++n) {
        const uint8_t* tag = (tadr & 15) ? nullptr : Resolve(tadr, 16);
        if (!tag) {
            std::printf("dma%d: bad tag address 0x%08X; chain dropped\n", channel, tadr);
            return false;
        }
        uint64_t lo, hi;
        std::memcpy(&lo, tag, 8);
        std::memcpy(&hi, tag + 8, 8);
        (void)hi;
        const uint32_t qwc = static_cast<uint32_t>(lo & 0xFFFF);
        const uint32_t id = static_cast<uint32_t>((lo >> 28) & 7);
        const bool irq = (lo >> 31) & 1;
        const uint32_t addr = static_cast<uint32_t>(lo >> 32);  // bit 31 = scratchpad
        const uint32_t after = tadr + 16;
        uint32_t dataAddr = after;
        uint32_t next = 0;
        bool end = false;
        switch (id) {
            case 0:
                dataAddr = addr;
                end = true;
                break;
            case 1:
                next = after + qwc * 16;
                break;
            case 2:
                next = addr;
                break;
            case 3:
            case 4:
                dataAddr = addr;
                next = after;
                break;
            case 5:
                if (sp == 2) {
                    std::printf("dma%d: CALL deeper than two at 0x%08X; chain dropped\n", channel, tadr);
                    return false;
                }
                stack[sp++] = after + qwc * 16;
                next = addr;
                break;
            case 6:
                if (sp > 0) {
                    next = stack[--sp];
                } else {
                    end = true;
                }
                break;
            default:
                end = true;
                break;
        }
        const uint8_t* data = qwc ? Resolve(dataAddr, size_t(qwc) * 16) : tag;
        if (!data) {
            std::printf("dma%d: tag at 0x%08X names %u quadwords at 0x%08X outside memory; chain dropped\n",
                        channel, tadr, qwc, dataAddr);
            return false;
        }
        if (run) {
            if (tte) FeedTagWords(channel, tag);
            Feed(channel, data, qwc);
        } else if (g_recording) {
            if (n < kRecorded) g_steps[n] = Step{tag, data, qwc};
            g_stepCount = n < kRecorded ? n + 1 : kRecorded + 1;
        }
        if (irq && g_chan[channel].chcr.TIE) end = true;
        if (end) return true;
        tadr = next;
    }
    std::printf("dma%d: chain does not end; dropped\n", channel);
    return false;
}

void Execute(const Request& r) {
    ++g_runs;
    if (r.channel > SCE_DMA_GIF) {
        std::printf("dma%d: no device on this channel; transfer dropped\n", r.channel);
        ++g_dropped;
        return;
    }
    g_toStage = r.channel != SCE_DMA_VIF0 && StageQueues();
    if (r.chain) {
        // A chain run inside another's (from a handler) leaves the outer one's record alone.
        const bool record = g_depth == 0;
        ++g_depth;
        g_recording = record;
        if (record) g_stepCount = 0;
        const bool good = Walk(r.channel, r.addr, r.tte, false);
        g_recording = false;
        const uint32_t steps = g_stepCount;
        if (good && record && steps <= kRecorded) {
            // The steps the check found, fed as a second walk would feed them.
            for (uint32_t i = 0; i < steps; ++i) {
                if (r.tte) FeedTagWords(r.channel, g_steps[i].tag);
                Feed(r.channel, g_steps[i].data, g_steps[i].qwc);
            }
        } else if (good) {
            Walk(r.channel, r.addr, r.tte, true);
        } else {
            ++g_dropped;
        }
        --g_depth;
    } else {
        const uint8_t* data = Resolve(r.addr, size_t(r.qwc) * 16);
        if (data) {
            Feed(r.channel, data, r.qwc);
        } else {
            std::printf("dma%d: %u quadwords at 0x%08X outside memory; transfer dropped\n", r.channel, r.qwc,
                        r.addr);
            ++g_dropped;
        }
    }
    EndTransfer(r.channel);
    g_toStage = false;
}

int Submit(const Request& r) {
    if (g_count == kQueueSize) {
        std::printf("dma%d: too many transfers queued from handlers; dropped\n", r.channel);
        ++g_dropped;
        return -1;
    }
    g_queue[(g_head + g_count) % kQueueSize] = r;
    ++g_count;
    if (g_running) return 0;
    g_running = true;
    while (g_count > 0) {
        const Request cur = g_queue[g_head];
        g_head = (g_head + 1) % kQueueSize;
        --g_count;
        Execute(cur);
        g_chan[cur.channel].chcr.STR = 0;
        RaiseStatus(cur.channel);
        IntcDmacEnd(cur.channel);
    }
    g_running = false;
    return 0;
}

bool ToAddr(const void* p, uint32_t* out) {
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    if (a > 0xFFFFFFFFu) return false;
    *out = static_cast<uint32_t>(a);
    return true;
}

int ChannelOf(const sceDmaChan* d) {
    for (int i = 0; i < kChannels; ++i)
        if (d == &g_chan[i]) return i;
    return -1;
}

}  // namespace

uint64_t DroppedChains() {
    return g_dropped;
}
uint64_t TransfersRun() {
    return g_runs;
}
void NoteTransfer(bool dropped) {
    ++g_runs;
    if (dropped) ++g_dropped;
}

void DmaReset() {
    StageDrain();
    for (int i = 0; i < kChannels; ++i) {
        g_chan[i] = sceDmaChan{};
        g_chan[i].id = i;
    }
    g_head = g_count = 0;
    g_running = false;
    g_dropped = g_runs = 0;
    RegistersReset();
}

}  // namespace console::dma

int sceDmaReset(int) {
    using namespace console::dma;
    StageDrain();
    // Channel records only: a reset while a transfer is queued leaves the queue alone.
    for (int i = 0; i < kChannels; ++i) {
        g_chan[i] = sceDmaChan{};
        g_chan[i].id = i;
    }
    return 0;
}

sceDmaChan* sceDmaGetChan(int id) {
    if (id < 0 || id >= console::dma::kChannels) return nullptr;
    sceDmaChan* c = &console::dma::g_chan[id];
    c->id = id;
    return c;
}

int sceDmaSendAddr(sceDmaChan* d, uint32_t tagAddr) {
    using namespace console::dma;
    const int ch = d ? ChannelOf(d) : -1;
    if (ch < 0) {
        std::printf("dma: send on an unknown channel record refused\n");
        return -1;
    }
    d->chcr.MOD = 1;
    d->chcr.STR = 1;
    d->tadr = tagAddr;
    return Submit(Request{ch, tagAddr, 0, true, d->chcr.TTE != 0});
}

int sceDmaSend(sceDmaChan* d, const void* tag) {
    uint32_t a;
    if (!console::dma::ToAddr(tag, &a)) {
        std::printf("dma: tag pointer beyond 32 bits refused\n");
        ++console::dma::g_dropped;
        return -1;
    }
    return sceDmaSendAddr(d, a);
}

int sceDmaSendN(sceDmaChan* d, const void* addr, int qwc) {
    using namespace console::dma;
    const int ch = d ? ChannelOf(d) : -1;
    uint32_t a;
    if (ch < 0 || qwc < 0 || qwc > 0xFFFF || !ToAddr(addr, &a)) {
        std::printf("dma: normal-mode send refused\n");
        ++g_dropped;
        return -1;
    }
    d->chcr.MOD = 0;
    d->chcr.STR = 1;
    d->madr = a;
    d->qwc = static_cast<uint32_t>(qwc);
    return Submit(Request{ch, a, static_cast<uint32_t>(qwc), false, false});
}

int sceDmaSync(sceDmaChan* d, int, int) {
    // VIF0 transfers are complete when the send returns; on VIF1 and the GIF the stage may still be
    // reading what was sent, and the transfer is complete once it has drained.
    if (!d || d != &console::dma::g_chan[SCE_DMA_VIF0]) console::dma::StageDrain();
    return 0;
}
