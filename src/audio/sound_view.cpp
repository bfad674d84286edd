#include "audio/sound_view.h"

#include "audio/audio_memory_manager.h"
#include "audio/mixer.h"
#include "audio/sound_object.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "engine/hal/sound.h"

CRecycleBin<CSoundView>* CSoundView::_recycleBin = nullptr;

CSoundView::CSoundView(CAudioMemoryManager& memoryManager) : amm(memoryManager) {
    if (!_recycleBin) _recycleBin = new CRecycleBin<CSoundView>;
}

CSoundView::~CSoundView() {
    delete _recycleBin;
    _recycleBin = nullptr;
    CSoundObject::clearParamCache();
}

int CSoundView::allocateChannel(CSoundReader* reader, const CSoundParams& params) {
    const uint32_t kind = reader->flags & kSoundKindMask;
    for (CMixer* m : mixers) {
        if (m->soundType != kind) continue;
        const int i = m->allocateChannel(reader);
        if (i >= 0) m->getChannelParams(i) = params;
        return i;
    }
    return -1;
}

void CSoundView::stepSources(float time) {
    CView<CSoundView>::update(time);
    for (CMixer* m : mixers) m->prepare();
    amm.processRequests();
}

void CSoundView::renderSources() {
    CView<CSoundView>::render();
    veSoundMaintenance();
    for (CMixer* m : mixers) m->mix();
    amm.cleanupRequests();
}
