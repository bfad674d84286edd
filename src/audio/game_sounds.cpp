#include "audio/game_sounds.h"

#include <cstdlib>

#include "audio/engine_sound.h"
#include "audio/envelope.h"
#include "audio/envelope_params.h"
#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "audio/sound_reader.h"
#include "audio/sound_view.h"
#include "bike/kinetic_bike.h"
#include "engine/sys/files.h"
#include "game/files/object_type_table.h"
#include "game/files/resource_storage.h"
#include "game/model/object_description.h"

GameSoundLevels g_soundLevels;

namespace {

bool Bit(uint32_t flags, int f) {
    return f >= 0 && ((flags >> f) & 1u);
}

// rand() / 2^31, 0..1.
float Draw() {
    return static_cast<float>(static_cast<double>(std::rand()) / 2147483648.0);
}

}  // namespace

CAmbientSound::CAmbientSound(int modelObjectId, int group_, CSoundReader* reader)
    : CSoundObject(modelObjectId, group_), snd(reader) {}

CSoundReader* CAmbientSound::getCurrentSound(CModelObject*) {
    if (snd && snd->finished()) snd->reset();
    return snd.get();
}

CTriggeredSound::CTriggeredSound(int modelObjectId, int group_, CSoundReader* reader)
    : CSoundObject(modelObjectId, group_), snd(reader) {}

CSoundReader* CTriggeredSound::getCurrentSound(CModelObject* source) {
    if (!snd) return nullptr;
    if (checkTrigger(source)) {
        triggered = 1;
        snd->reset();
    }
    if (snd->finished()) triggered = 0;
    return triggered ? snd.get() : nullptr;
}

CBikeStateSound::CBikeStateSound(int modelObjectId, int group_, CSoundReader* reader, int f_, int notf_)
    : CTriggeredSound(modelObjectId, group_, reader), f(f_), notf(notf_) {}

bool CBikeStateSound::checkTrigger(CModelObject* source) {
    const auto* bike = dynamic_cast<const KineticBike*>(source);
    if (!bike) return false;
    const bool on = Bit(bike->status.viewFlags, f);
    const bool fire = on && !lastState && (notf < 0 || !Bit(bike->status.viewFlags, notf));
    lastState = on ? 1 : 0;
    return fire;
}

CLandingSound::CLandingSound(int modelObjectId, int group_, CSoundReader* reader)
    : CBikeStateSound(modelObjectId, group_, reader, BIKE_LAND) {}

bool CLandingSound::checkTrigger(CModelObject* source) {
    if (!CBikeStateSound::checkTrigger(source)) return false;
    volumeScale = static_cast<const KineticBike*>(source)->air.landingImpactScale;
    return true;
}

CRandomSound::CRandomSound(int modelObjectId, int group_, CSoundReader* reader, float odds_,
                           float volumeVariation_, float panVariation_)
    : CTriggeredSound(modelObjectId, group_, reader),
      odds(odds_),
      volumeVariation(volumeVariation_),
      panVariation(panVariation_) {}

bool CRandomSound::checkTrigger(CModelObject*) {
    if (triggeredOnce && !snd->finished()) return false;
    if (Draw() >= odds) return false;
    rpan = (Draw() - 0.5f) * panVariation;
    rfb = (Draw() - 0.5f) * panVariation;
    rvol = (Draw() - 0.5f) * volumeVariation;
    triggeredOnce = 1;
    return true;
}

void CRandomSound::getParams(CSoundView*, CModelObject*, CModelObject*, CSoundParams& params) {
    params.volume = 1.0f;
    params.pan = 0.5f + rpan;
    params.fbPan = 0.5f + rfb;
    params.useFilters = 0;
}

CCollisionSound::CCollisionSound(int modelObjectId, int group_) : CSoundObject(modelObjectId, group_) {}

CSoundReader* CCollisionSound::getCurrentSound(CModelObject* source) {
    if (current && current->finished()) current.reset();  // leaves every mixer channel first
    const auto* bike = dynamic_cast<const KineticBike*>(source);
    if (!bike) return current.get();
    if (!Bit(bike->status.viewFlags, BIKE_COLLIDE)) return current.get();
    current.reset();
    const CModelObject* hit = bike->crash.collisionObject;
    if (!hit) return nullptr;
    const int desc = hit->descriptionId;
    const CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(desc);
    if (d && d->typeInfo) {
        const int n = d->typeInfo->hitSoundId - 1;
        if (n < 0) return nullptr;
        current.reset(CSoundFactory::getReader(CQZSoundIDs::getGlobalIdFromWorldId(n)));
        x_printf("AUDIO: DEBUG: Bike Collision. Hit object with descid %d. Playing sound %d.\n", desc,
                 d->typeInfo->hitSoundId);
    } else {
        current.reset(CSoundFactory::getReader(CQZSoundIDs::collideId));
        x_printf(
            d ? "AUDIO: DEBUG: Bike Collision. Hit object with descid %d. No sound defined. Playing sound %d "
                "(default).\n"
              : "AUDIO: DEBUG: Bike Collision. Hit object with descid %d. No object description defined. "
                "Playing sound %d (default).\n",
            desc, CQZSoundIDs::collideId);
    }
    velocityVolumeScale = 0.5f;
    if (CEnvelopeMap* map = CSoundFactory::getDefaultEnvelopes()) {
        CEnvelope& e = (*map)(kEnvInImpactSpeed, kEnvOutVolume);
        e.defaultValue = 0.5f;
        velocityVolumeScale = e.value(bike->crash.crashSpeed);
    }
    x_printf("Collision sound: DEBUG: nrv=%f, vvs=%f\n", static_cast<double>(bike->crash.crashSpeed),
             static_cast<double>(velocityVolumeScale));
    return current.get();
}

namespace {

CSoundReader* Single(int id) {
    return CSoundFactory::getReader(id);
}
CSoundReader* Stereo(int l, int r) {
    return new CStereoSoundReader(l, r);
}

template <typename T>
T* Add(CSoundView& view, T* object, float volume) {
    object->volume = volume;
    view.insertObject(object);
    return object;
}

}  // namespace

void AddRacerSounds(CSoundView& view, int bike, int engineClass, bool human) {
    const GameSoundLevels& v = g_soundLevels;
    CBikeSoundObject* engine =
        engineClass == 0   ? static_cast<CBikeSoundObject*>(new C125ccEngineSoundObject(bike))
        : engineClass == 1 ? static_cast<CBikeSoundObject*>(new C250ccEngineSoundObject(bike))
                           : new C400ccEngineSoundObject(bike);
    Add(view, engine, v.engineVol);
    auto* grunts = new CComplexSoundReader;
    for (int id : CQZSoundIDs::gruntId) grunts->addSound(Single(id));
    grunts->setRandomize(true);
    CSoundObject* own[4] = {
        engine,
        Add(view, new CLandingSound(bike, 2, Single(CQZSoundIDs::landingId)), v.landingVol),
        Add(view, new CBikeStateSound(bike, 2, grunts, BIKE_CRASH), v.landingVol),
        Add(view, new CCollisionSound(bike, 2), v.collisionVol),
    };
    CSoundObject* rest[9] = {
        Add(view, new CBikeStateSound(bike, 3, Single(CQZSoundIDs::powerslideId), BIKE_POWERSLIDE_LEFT),
            v.engineVol),
        Add(view, new CBikeStateSound(bike, 3, Single(CQZSoundIDs::powerslideId), BIKE_POWERSLIDE_RIGHT),
            v.engineVol),
        Add(view, new CBikeStateSound(bike, 3, Single(CQZSoundIDs::nitroId), BIKE_NITRO_BOOST), v.engineVol),
    };
    if (human) {
        using I = CQZSoundIDs;
        rest[3] = Add(
            view, new CBikeStateSound(bike, 3, Stereo(I::checkpointLId, I::checkpointRId), BIKE_PASSED_GATE),
            v.checkpointVol);
        rest[4] = Add(view, new CBikeStateSound(bike, 3, Single(I::brakeId), BIKE_BRAKING, BIKE_INAIR),
                      v.engineVol);
        rest[5] =
            Add(view, new CBikeStateSound(bike, 3, Stereo(I::holeshotLId, I::holeshotRId), BIKE_HOLESHOT),
                v.checkpointVol);
        rest[6] =
            Add(view, new CBikeStateSound(bike, 3, Single(I::bonusId), BIKE_BONUS_PICKUP), v.checkpointVol);
        rest[7] = Add(view, new CBikeStateSound(bike, 3, Single(I::getNitroId), BIKE_NITRO_EARNED),
                      v.checkpointVol);
        rest[8] = Add(
            view, new CBikeStateSound(bike, 3, Stereo(I::tbonusLId, I::tbonusRId), BIKE_TRACK_BONUS_RECIEVED),
            v.checkpointVol);
        // The player's own bike: full volume, centred, its own pitch, first in line.
        for (CSoundObject* o : own) {
            o->filterEnabled = 0;
            o->envelopesEnabled = 0;
            o->priorityMult = 0;
        }
        for (CSoundObject* o : rest) o->priorityMult = 0;
    }
}

void AddIndoorCrowd(CSoundView& view, float gameTime) {
    const GameSoundLevels& v = g_soundLevels;
    std::srand(static_cast<unsigned>(gameTime));
    auto* announcer = new CComplexSoundReader;
    for (int k : {0, 1, 2, 3, 5, 6, 7}) announcer->addSound(Single(CQZSoundIDs::announcerId[k]));
    announcer->setRandomize(true);
    Add(view, new CRandomSound(kNoModelObject, 3, announcer, v.announcerFreq, 0.3f, 0.9f), v.announcerVol);
    std::srand(static_cast<unsigned>(gameTime));
    auto* crowd = new CComplexSoundReader;
    for (int k = 0; k < 7; ++k) crowd->addSound(Stereo(CQZSoundIDs::cheerLId[k], CQZSoundIDs::cheerRId[k]));
    crowd->setRandomize(true);
    Add(view, new CRandomSound(kNoModelObject, 3, crowd, v.crowdFreq, 0.3f, 0.3f), v.crowdVol);
}
