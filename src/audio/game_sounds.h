// The race's event sounds: one reader each, played on a bike flag's rising edge (landings, grunts,
// slides, nitro, brakes, checkpoints, pickups), on a collision with a placed object, at random (the
// indoor crowd and announcer) or always (ambient world objects); and the set the race builds per racer.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/sound_object.h"
#include "audio/sound_reader.h"

class CSoundView;

// Game-wide loudness and odds from the tuning file; all 0 until it is read (silencing what uses them).
struct GameSoundLevels {
    float engineVol = 0, checkpointVol = 0, collisionVol = 0, landingVol = 0, announcerVol = 0, crowdVol = 0;
    float announcerFreq = 0, crowdFreq = 0;  // chances per sound step
};
extern GameSoundLevels g_soundLevels;

// A placed object's sound, heard all race long from where the object stands (group 3). The sounds
// below take the reader they are given (new from the sound factory).
class CAmbientSound : public CSoundObject {
public:
    CAmbientSound(int modelObjectId, int group, CSoundReader* reader);
    // Always `snd`. A reader that was stopped (out of hearing, or refused a channel) or that ended is
    // reset first, so that it starts again once it gets a channel: a stopped reader counts as finished
    // and the mixer would never start it again.
    CSoundReader* getCurrentSound(CModelObject*) override;
    std::unique_ptr<CSoundReader> snd;
};

class CTriggeredSound : public CSoundObject {
public:
    CTriggeredSound(int modelObjectId, int group, CSoundReader* reader);
    CSoundReader* getCurrentSound(CModelObject* source) override;
    virtual bool checkTrigger(CModelObject* source) = 0;

    std::unique_ptr<CSoundReader> snd;
    uint8_t triggered = 0;
};

class CBikeStateSound : public CTriggeredSound {
public:
    // `notf` -1: no excluding flag.
    CBikeStateSound(int modelObjectId, int group, CSoundReader* reader, int f, int notf = -1);
    bool checkTrigger(CModelObject* source) override;

    int32_t f;
    int32_t notf;
    uint8_t lastState = 0;
};

class CLandingSound : public CBikeStateSound {
public:
    CLandingSound(int modelObjectId, int group, CSoundReader* reader);
    bool checkTrigger(CModelObject* source) override;
    float getVolume() override { return volume * volumeScale; }
    float volumeScale = 0;
};

class CRandomSound : public CTriggeredSound {
public:
    CRandomSound(int modelObjectId, int group, CSoundReader* reader, float odds, float volumeVariation,
                 float panVariation);
    bool checkTrigger(CModelObject* source) override;
    void getParams(CSoundView* view, CModelObject* source, CModelObject* listener,
                   CSoundParams& params) override;
    float getVolume() override { return volume + rvol; }

    float odds, volumeVariation, panVariation;
    float rvol = 0, rpan = 0, rfb = 0;
    uint8_t triggeredOnce = 0;
};

class CCollisionSound : public CSoundObject {
public:
    CCollisionSound(int modelObjectId, int group);
    CSoundReader* getCurrentSound(CModelObject* source) override;
    float getVolume() override { return volume * velocityVolumeScale; }

    std::unique_ptr<CSoundReader> current;
    float velocityVolumeScale = 0;
};

// The racer's sounds for its bike model object: engine of class `engineClass` (0 = 125 cc, 1 = 250 cc,
// 2 = 400 cc), landing, grunt, collision, slides and nitro for everyone; checkpoint, brake, hole shot,
// pickups and track bonus for a human, whose own bike is heard unfiltered, centred and first.
void AddRacerSounds(CSoundView& view, int bikeModelObjectId, int engineClass, bool human);
// The indoor crowd and announcer; the random generator is seeded from `gameTime`.
void AddIndoorCrowd(CSoundView& view, float gameTime);
