#include "audio/ps2_sound_view.h"

#include <cstring>

#include "audio/ps2_audio_memory_manager.h"
#include "console/iop/audio_module.h"
#include "console/iop/iop.h"
#include "console/kernel/intc.h"
#include "console/mem/addr.h"
#include "console/spu/sd_remote.h"
#include "console/spu/spu.h"
#include "engine/sys/heap.h"

int CPS2SoundView::initCount = 0;
sceSifClientData CPS2SoundView::binding;
uint32_t CPS2SoundView::nextTransferDest = 0;

namespace {

constexpr uint32_t kMasterOn = 0x3FFF;

void Call(unsigned int fno, const void* data = nullptr, int size = 0) {
    sceSifCallRpc(&CPS2SoundView::binding, fno, 0, data, size, nullptr, 0, nullptr, nullptr);
}

}  // namespace

CPS2SoundView::CPS2SoundView(CAudioMemoryManager& memoryManager)
    : CSoundView(memoryManager),
      ps2amm(dynamic_cast<CPS2AudioMemoryManager*>(&memoryManager)),
      outputBuffer(4, 1) {
    Init();
}

void CPS2SoundView::Init() {
    if (initCount == 0) {
        sceSifInitRpc(0);
        AmmBind(binding, console::kAmmMusicServer);
        FlushCache(0);
        _vetmInitData d{};
        d.inSize = static_cast<uint32_t>(outputBuffer.len) * 2;
        d.outSize = 0x2000;
        d.eeNotifyAddr = Addr32(&nextTransferDest);
        Call(console::kAmmSetUp, &d, sizeof d);
    }
    ++initCount;
}

CPS2SoundView::~CPS2SoundView() {
    if (--initCount == 0) Call(console::kAmmShutDown);
}

void CPS2SoundView::setPlaylist(int count, char** names) {
    if (count <= 0 || !names) return;
    const uint32_t bytes = static_cast<uint32_t>(count) * sizeof(_vetmFileStreamRequest);
    auto* table = static_cast<_vetmFileStreamRequest*>(x_fn_malloc(bytes, __FILE__, __LINE__));
    if (!table) return;
    for (int i = 0; i < count; ++i)
        std::strncpy(table[i].fname, names[i] ? names[i] : "", sizeof table[i].fname);
    void* iop = sceSifAllocIopHeap(bytes);
    if (iop) {
        const uint32_t addr = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(iop));
        sceSdTransToIOP(table, addr, bytes, 1);
        _vetmPlaylist p{};
        p.nEntries = static_cast<uint32_t>(count);
        p.entries = addr;
        Call(console::kAmmPlaylist, &p, sizeof p);
    }
    x_free(table);
}

void CPS2SoundView::playlistSkip(int count) {
    _vetmPlaylistCtl c{};
    c.cmd = 0;
    c.val = static_cast<uint32_t>(count);
    Call(console::kAmmSongControl, &c, sizeof c);
}

void CPS2SoundView::playlistSetSong(int song) {
    _vetmPlaylistCtl c{};
    c.cmd = 1;
    c.val = static_cast<uint32_t>(song);
    Call(console::kAmmSongControl, &c, sizeof c);
}

void CPS2SoundView::setVolume(float music, float effects) {
    _vetmVolumeRequest v{};
    v.musicVol = music;
    v.sfxVol = effects;
    Call(console::kAmmVolume, &v, sizeof v);
}

void CPS2SoundView::pauseMusic(bool pause) {
    Call(pause ? console::kAmmPause : console::kAmmResume);
}

void CPS2SoundView::stopSFX(bool stop) {
    Call(console::kAmmStopEffects);
    const uint32_t vol = stop ? 0 : kMasterOn;
    for (uint32_t core = 0; core < 2; ++core) {
        sceSdRemote(1, kSdCmdSetParam, console::kSdMasterVolL | core, vol);
        sceSdRemote(1, kSdCmdSetParam, console::kSdMasterVolR | core, vol);
    }
}
