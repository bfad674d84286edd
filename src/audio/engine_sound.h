// The engine of a racer's bike, heard as five composites of one engine class's samples: idling after a
// throttle release, pulling from low speed up to full revs, pulling from speed, in the air, and revving
// before the start. The bike's flags choose which one plays.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/sound_object.h"
#include "audio/sound_reader.h"

struct EngineSoundIds;

class CBikeSoundObject : public CSoundObject {
public:
    explicit CBikeSoundObject(int modelObjectId);
    ~CBikeSoundObject() override = default;

    CSoundReader* getCurrentSound(CModelObject* source) override;
    virtual void init() = 0;

    // A reader for the id, recorded (its owner is the composite it is added to).
    CSoundReader* getReader(int id);

    // The race start's "started" flag; null counts as started (no countdown).
    static const uint32_t* gameStarted;

    std::vector<CSoundReader*> cleanup;
    uint8_t accelOnLastFrame = 0;
    CComplexSoundReader toIdle, toMax, toMaxShort, inAir, revs;
    CSoundReader* current = nullptr;

protected:
    // Fills the composites from a class's ids; `pairA`/`pairB` are the two deceleration pairs
    // (0-based decel numbers).
    void build(const EngineSoundIds& ids, const int pairA[2], const int pairB[2]);
};

class C125ccEngineSoundObject : public CBikeSoundObject {
public:
    explicit C125ccEngineSoundObject(int modelObjectId);
    void init() override;
};
class C250ccEngineSoundObject : public CBikeSoundObject {
public:
    explicit C250ccEngineSoundObject(int modelObjectId);
    void init() override;
};
class C400ccEngineSoundObject : public CBikeSoundObject {
public:
    explicit C400ccEngineSoundObject(int modelObjectId);
    void init() override;
};
