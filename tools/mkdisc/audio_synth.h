// The race's and the front end's sound effects, synthesised from fixed seeds: engines per class, bike
// events, the start, the crowd and announcer, world ambience and the menu sounds. Every sound is mono
// 16-bit PCM at kSynthRate; the disc writer encodes it.
#pragma once

#include <cstdint>
#include <vector>

inline constexpr int32_t kSynthRate = 22050;

using Pcm = std::vector<int16_t>;

// Engine classes 0 = 125 cc, 1 = 250 cc, 2 = 400 cc.
inline constexpr int kEngineClasses = 3;

// The firing frequencies (Hz) of a class at idle and at full revs; the sustain samples sit between
// 0.75 and 1.0 of full revs, rising with their number.
struct EngineTune {
    double idleHz;
    double maxHz;
    int sustainCount;
};
const EngineTune& EngineTuneOf(int engineClass);

enum class EngineSample {
    Accel1,
    Accel1s,
    Accel2,
    Accel2s,
    Decel1,
    Decel2,
    Decel3,
    Decel4,
    Idle1,
    Idle2,
    Rev1,
    Rev2
};
// One engine sample; the idle samples loop (whole cycles, whole blocks).
Pcm SynthEngineSample(int engineClass, EngineSample which);
// Sustain `k` (0-based) of a class: a short one-shot at a steady high pitch.
Pcm SynthEngineSustain(int engineClass, int k);
// The firing frequency a sample of a class starts and ends at (the test of the engine tracks it).
void EngineSampleSweep(int engineClass, EngineSample which, double* startHz, double* endHz);
double EngineSustainHz(int engineClass, int k);

enum class EventSound {
    Brake,
    PowerSlide,
    Checkpoint,
    Collide,
    Count,
    Go,
    HoleShot,
    Landing,
    Bonus,
    Nitro,
    GetNitro,
    TrackBonus,
};
Pcm SynthEvent(EventSound which);
// Rider grunt `k` (0..7): a short voiced cry, each with its own pitch and vowel.
Pcm SynthGrunt(int k);

// Announcer phrase `k` (0..7): a voiced, syllabled call through a hall echo.
Pcm SynthAnnouncer(int k);
// Crowd cheer `k` (0..6), one channel (`right` gives the other side's independent noise).
Pcm SynthCheer(int k, bool right);

enum class WorldSound {
    CrowdMurmur,
    Wind,
    Birds,
    FenceHit,
    TyreHit,
    HayBaleHit,
    BarrelHit,
    PostHit,
    Generator
};
// A world sound; the ambient ones loop (their ends are faded into their starts).
Pcm SynthWorldSound(WorldSound which, uint32_t seed);
bool WorldSoundLoops(WorldSound which);

enum class MenuSound { Move, Select, Start, Accept, Back, Error };
Pcm SynthMenuSound(MenuSound which);
