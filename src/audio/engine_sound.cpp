#include "audio/engine_sound.h"

#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "bike/kinetic_bike.h"

const uint32_t* CBikeSoundObject::gameStarted = nullptr;

namespace {

constexpr int kSustainsPlayed = 7;

bool Bit(uint32_t flags, BikeFlags f) {
    return (flags >> f) & 1u;
}

// A composite of the given parts (null parts skipped).
void Fill(CComplexSoundReader& c, std::initializer_list<CSoundReader*> parts, bool random, bool loop) {
    for (CSoundReader* p : parts) c.addSound(p);
    c.loop = loop ? 1 : 0;
    if (random) c.setRandomize(true);
}

CComplexSoundReader* Make(std::initializer_list<CSoundReader*> parts, bool random, bool loop) {
    auto* c = new CComplexSoundReader;
    Fill(*c, parts, random, loop);
    return c;
}

}  // namespace

CBikeSoundObject::CBikeSoundObject(int modelObjectId) : CSoundObject(modelObjectId, 1) {}

CSoundReader* CBikeSoundObject::getReader(int id) {
    CSoundReader* r = CSoundFactory::getReader(id);
    if (r) cleanup.push_back(r);
    return r;
}

void CBikeSoundObject::build(const EngineSoundIds& ids, const int pairA[2], const int pairB[2]) {
    // Sustain: sustains 1 to 7 one after another in shuffled order, for ever (a class's eighth sample,
    // loaded with the others, is not played).
    CComplexSoundReader* sustain = new CComplexSoundReader;
    for (int i = 0; i < kSustainsPlayed; ++i)
        sustain->addSound(ids.sust[i] >= 0 ? getReader(ids.sust[i]) : nullptr);
    sustain->loop = 1;
    sustain->setRandomize(true);

    Fill(toMax, {Make({getReader(ids.accel[0]), getReader(ids.accel[1])}, true, false), sustain}, false,
         false);
    Fill(toMaxShort,
         {Make({getReader(ids.accelShort[0]), getReader(ids.accelShort[1])}, true, false), sustain->clone()},
         false, false);

    auto idle = [this](int id) {
        CSoundReader* r = getReader(id);
        if (r) r->loop = 1;
        return r;
    };
    CSoundReader* idle1 = idle(ids.idle[0]);
    CSoundReader* idle2 = idle(ids.idle[1]);
    CComplexSoundReader* chainA =
        Make({Make({getReader(ids.decel[pairA[0]]), getReader(ids.decel[pairA[1]])}, true, false), idle1},
             false, false);
    CComplexSoundReader* chainB =
        Make({Make({getReader(ids.decel[pairB[0]]), getReader(ids.decel[pairB[1]])}, true, false), idle2},
             false, false);
    Fill(inAir, {chainA->clone(), chainB->clone()}, true, false);
    Fill(toIdle, {chainA, chainB}, true, false);
    current = &toIdle;

    CComplexSoundReader* rev = Make({getReader(ids.rev[0]), getReader(ids.rev[1])}, true, false);
    CComplexSoundReader* idleChoice =
        Make({idle1 ? idle1->clone() : nullptr, idle2 ? idle2->clone() : nullptr}, true, false);
    Fill(revs, {rev, idleChoice}, false, false);
}

CSoundReader* CBikeSoundObject::getCurrentSound(CModelObject* source) {
    auto* bike = dynamic_cast<KineticBike*>(source);
    if (!bike) return nullptr;
    const uint32_t flags = bike->status.viewFlags;
    const bool accel = Bit(flags, BIKE_ACCEL), decel = Bit(flags, BIKE_DECEL);
    const bool air = Bit(flags, BIKE_INAIR), crash = Bit(flags, BIKE_CRASH);
    const bool pressed = accel && !accelOnLastFrame;
    accelOnLastFrame = accel ? 1 : 0;

    CSoundReader* choice = current;
    if (gameStarted && *gameStarted == 0) {
        if (accel) choice = &revs;
    } else if (air) {
        if (pressed) {
            revs.reset();
            choice = &revs;
        } else if (current != &toIdle && current != &revs) {
            choice = &inAir;
        }
    } else {
        if (accel && current != &toMax && current != &toMaxShort)
            choice = bike->frame.linearVelocityMag * 100.0f <= 200.0f ? &toMax : &toMaxShort;
        if ((decel || crash) && current != &toIdle) choice = &toIdle;
    }
    if (choice != current) {
        if (current) current->reset();
        current = choice;
    }
    return current;
}

C125ccEngineSoundObject::C125ccEngineSoundObject(int modelObjectId) : CBikeSoundObject(modelObjectId) {
    init();
}
void C125ccEngineSoundObject::init() {
    static const int a[2] = {0, 3}, b[2] = {1, 2};
    build(CQZSoundIDs::engine[0], a, b);
}

C250ccEngineSoundObject::C250ccEngineSoundObject(int modelObjectId) : CBikeSoundObject(modelObjectId) {
    init();
}
void C250ccEngineSoundObject::init() {
    static const int a[2] = {0, 2}, b[2] = {1, 3};
    build(CQZSoundIDs::engine[1], a, b);
}

C400ccEngineSoundObject::C400ccEngineSoundObject(int modelObjectId) : CBikeSoundObject(modelObjectId) {
    init();
}
void C400ccEngineSoundObject::init() {
    static const int a[2] = {0, 3}, b[2] = {1, 2};
    build(CQZSoundIDs::engine[2], a, b);
}
