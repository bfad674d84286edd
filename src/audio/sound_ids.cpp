#include "audio/sound_ids.h"

#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "engine/hal/sound.h"
#include "engine/sys/files.h"
#include "game/files/file_manager.h"

EngineSoundIds CQZSoundIDs::engine[3];
int32_t CQZSoundIDs::countLId, CQZSoundIDs::countRId, CQZSoundIDs::goLId, CQZSoundIDs::goRId;
int32_t CQZSoundIDs::gruntId[8];
int32_t CQZSoundIDs::cheerLId[7], CQZSoundIDs::cheerRId[7];
int32_t CQZSoundIDs::announcerId[8];
int32_t CQZSoundIDs::landingId, CQZSoundIDs::collideId, CQZSoundIDs::checkpointLId,
    CQZSoundIDs::checkpointRId, CQZSoundIDs::holeshotLId, CQZSoundIDs::holeshotRId, CQZSoundIDs::brakeId,
    CQZSoundIDs::powerslideId, CQZSoundIDs::bonusId, CQZSoundIDs::nitroId, CQZSoundIDs::getNitroId,
    CQZSoundIDs::tbonusLId, CQZSoundIDs::tbonusRId;
int32_t CQZSoundIDs::worldToGlobal[kWorldSoundSlots];
int32_t CQZSoundIDs::fixedSoundCount = -1;

namespace {

// Every id starts out unloaded.
[[maybe_unused]] const bool kIdsReset = (CQZSoundIDs::resetAll(), true);

// First sub-file of each engine class, and the number of sustain samples it has.
constexpr int kEngineFirst[3] = {0, 19, 36};
constexpr int kEngineSustains[3] = {7, 5, 8};

void LoadEngineClass(void* file, int cls, EngineSoundIds& ids) {
    const int b = kEngineFirst[cls];
    // Sub-file order: accel 1, accel 1s, accel 2, accel 2s, decel 1-4, idle 1-2, rev 1-2, sustains.
    // The loading order (which fixes the ids) is idle, rev, accel, accel short, decel, sustain.
    for (int i = 0; i < 2; ++i) ids.idle[i] = CSoundFactory::loadSound(file, b + 8 + i, kVemoLocSoundRam);
    for (int i = 0; i < 2; ++i) ids.rev[i] = CSoundFactory::loadSound(file, b + 10 + i, kVemoLocSoundRam);
    for (int i = 0; i < 2; ++i) ids.accel[i] = CSoundFactory::loadSound(file, b + 2 * i, kVemoLocSoundRam);
    for (int i = 0; i < 2; ++i)
        ids.accelShort[i] = CSoundFactory::loadSound(file, b + 2 * i + 1, kVemoLocSoundRam);
    for (int i = 0; i < 4; ++i) ids.decel[i] = CSoundFactory::loadSound(file, b + 4 + i, kVemoLocSoundRam);
    for (int i = 0; i < 8; ++i)
        ids.sust[i] =
            i < kEngineSustains[cls] ? CSoundFactory::loadSound(file, b + 12 + i, kVemoLocSoundRam) : -1;
}

int Load3(void* file, int index) {
    return CSoundFactory::loadSound(file, index, kVemoLocIopRam);
}

// Drops the store's entries from `first` on (their samples go back to the engine).
void TruncateStore(int first) {
    auto& store = CResourceStorage<CSoundStorage>::instance();
    if (first < 0 || first >= store.count()) return;
    for (size_t i = static_cast<size_t>(first); i < store.data.size(); ++i) delete store.data[i];
    store.data.resize(static_cast<size_t>(first));
}

}  // namespace

void CQZSoundIDs::resetAll() {
    for (EngineSoundIds& e : engine) {
        for (int32_t* a : {e.idle, e.rev, e.accel, e.accelShort}) a[0] = a[1] = -1;
        for (int32_t& v : e.decel) v = -1;
        for (int32_t& v : e.sust) v = -1;
    }
    countLId = countRId = goLId = goRId = -1;
    for (int32_t& v : gruntId) v = -1;
    for (int i = 0; i < 7; ++i) cheerLId[i] = cheerRId[i] = -1;
    for (int32_t& v : announcerId) v = -1;
    landingId = collideId = checkpointLId = checkpointRId = holeshotLId = holeshotRId = brakeId =
        powerslideId = bonusId = nitroId = getNitroId = tbonusLId = tbonusRId = -1;
    clearWorldSounds();
    fixedSoundCount = -1;
}

void CQZSoundIDs::loadSounds(void* file, CAudioMemoryManager&) {
    for (int cls = 0; cls < 3; ++cls) LoadEngineClass(file, cls, engine[cls]);
    for (int i = 0; i < 8; ++i) gruntId[i] = Load3(file, 65 + i);
    landingId = Load3(file, 75);
    collideId = Load3(file, 60);
    checkpointLId = Load3(file, 58);
    checkpointRId = Load3(file, 59);
    holeshotLId = Load3(file, 73);
    holeshotRId = Load3(file, 74);
    brakeId = Load3(file, 56);
    powerslideId = Load3(file, 57);
    bonusId = Load3(file, 77);
    nitroId = Load3(file, 78);
    countLId = Load3(file, 61);
    countRId = Load3(file, 62);
    goLId = Load3(file, 63);
    goRId = Load3(file, 64);
    getNitroId = Load3(file, 79);
    tbonusLId = Load3(file, 80);
    tbonusRId = Load3(file, 81);
    fixedSoundCount = CResourceStorage<CSoundStorage>::instance().count();
}

int CQZSoundIDs::loadWorldSounds(void* file, CAudioMemoryManager&, int keepFree) {
    clearWorldSounds();
    for (int i = 0; i < 7; ++i) cheerLId[i] = cheerRId[i] = -1;
    for (int32_t& v : announcerId) v = -1;
    TruncateStore(fixedSoundCount);
    const int subFiles = GetFileManager()->getSubFileCount(file);
    int wanted = subFiles - 1;
    if (wanted > kWorldSoundSlots) wanted = kWorldSoundSlots;
    if (wanted <= 0) return 0;
    const int room = veSoundGetMaxSamples() - CResourceStorage<CSoundStorage>::instance().count() - keepFree;
    if (wanted > room) {
        x_printf(
            "AUDIO: the world has %d sounds but only %d engine samples are free: world sounds not loaded\n",
            wanted, room < 0 ? 0 : room);
        return 0;
    }
    int loaded = 0;
    for (int i = 0; i < wanted; ++i) {
        worldToGlobal[i] = Load3(file, i);
        if (worldToGlobal[i] >= 0) ++loaded;
    }
    return loaded;
}

void CQZSoundIDs::loadIndoorSounds(void* file, CAudioMemoryManager&) {
    auto load = [file](int i) { return CSoundFactory::loadSound(file, i, kVemoLocMainRam); };
    for (int i = 0; i < 8; ++i) announcerId[i] = load(i);
    // Cheers in the file's order 3, 4, 1, 2, 5, 6, 7, each left then right.
    const int order[7] = {3, 4, 1, 2, 5, 6, 7};
    for (int k = 0; k < 7; ++k) {
        cheerLId[order[k] - 1] = load(8 + 2 * k);
        cheerRId[order[k] - 1] = load(9 + 2 * k);
    }
}

void CQZSoundIDs::clearWorldSounds() {
    for (int32_t& v : worldToGlobal) v = -1;
}

int CQZSoundIDs::getGlobalIdFromWorldId(int worldId) {
    return worldId >= 0 && worldId < kWorldSoundSlots ? worldToGlobal[worldId] : -1;
}
