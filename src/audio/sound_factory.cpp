#include "audio/sound_factory.h"

#include <memory>

#include "audio/envelope.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"
#include "game/files/file_manager.h"

int32_t CSoundFactory::defEnvId = -1;

int CSoundFactory::loadSound(void* file, int index, uint32_t location) {
    CFileManager* fm = GetFileManager();
    if (index < 0) return -1;
    const int length = fm->getSubFileLength(file, static_cast<unsigned>(index));
    if (length < 0) return -1;
    void* image = fm->loadSubFile(file, static_cast<unsigned>(index));
    auto storage = std::make_unique<CVemoSoundStorage>(image, static_cast<uint32_t>(length), location);
    if (!storage->valid()) {
        x_printf("%sloadSound: sound %d not loaded (%d of %d engine samples in use)\n", x_FileOf(file), index,
                 CResourceStorage<CSoundStorage>::instance().count(), veSoundGetMaxSamples());
        return -1;
    }
    // The store keeps it until the race's sound teardown.
    return CResourceStorage<CSoundStorage>::instance().add(storage.release());
}

CSoundStorage* CSoundFactory::getSoundById(int id) {
    return CResourceStorage<CSoundStorage>::instance().get(id);
}

uint32_t CSoundFactory::getFlagsForSoundId(int id) {
    const CSoundStorage* s = getSoundById(id);
    return s ? s->soundFlags : 0;
}

CSoundReader* CSoundFactory::getReader(int id) {
    const uint32_t flags = getFlagsForSoundId(id);
    if ((flags & kSoundKindMask) != kSoundKindVemo) return nullptr;
    return new CVemoSoundReader(id);
}

void CSoundFactory::triggerVemoSound(int id) {
    if ((getFlagsForSoundId(id) & kSoundKindMask) != kSoundKindVemo) return;
    _Sample* sample = static_cast<CVemoSoundStorage*>(getSoundById(id))->sample;
    _Pan5Dot1 pan;
    veSoundGetSamplePan(sample, &pan);
    if (_SampleInstance* in = veSoundCreateSampleInstance(sample, veSoundGetSampleRate(sample),
                                                          veSoundGetSampleEnvelope(sample), &pan))
        veSoundStartSampleInstance(in);
}

bool CSoundFactory::initDefaultEnvelopes(void* file) {
    CFileManager* fm = GetFileManager();
    const int length = fm->getSubFileLength(file, kEnvelopeMapSubFile);
    if (length < 0) {
        x_printf("initDefaultEnvelopes: the audio file has no envelope map\n");
        return false;
    }
    auto map = std::make_unique<CEnvelopeMap>();
    if (!map->load(fm->loadSubFile(file, kEnvelopeMapSubFile), static_cast<uint32_t>(length))) return false;
    defEnvId = CResourceStorage<CEnvelopeMap>::instance().add(map.release());
    return true;
}

CEnvelopeMap* CSoundFactory::getDefaultEnvelopes() {
    return CResourceStorage<CEnvelopeMap>::instance().get(defEnvId);
}
