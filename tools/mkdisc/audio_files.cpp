#include "mkdisc/audio_files.h"

#include <cstring>

#include "audio/envelope_map_format.h"
#include "audio/sound_tuning_format.h"
#include "engine/hal/sound_format.h"
#include "game/files/master_file_format.h"
#include "mkdisc/audio_synth.h"

namespace {

_Pan5Dot1 PanAt(float lr) {
    return {lr, -1.0f, 1.0f, 0.0f, 0.0f};
}

std::vector<uint8_t> Sample(const Pcm& pcm, bool looped = false, float panLR = 0.0f) {
    SampleParams p;
    p.sampleRate = kSynthRate;
    p.looped = looped;
    p.pan = PanAt(panLR);
    return EncodeSampleImage(p, pcm);
}

// The engine samples of a class in sub-file order: accel 1, accel 1s, accel 2, accel 2s, decel 1-4,
// idle 1-2, rev 1-2, then the sustains.
void AddEngineClass(MasterFileWriter& w, int cls) {
    using E = EngineSample;
    for (E e : {E::Accel1, E::Accel1s, E::Accel2, E::Accel2s, E::Decel1, E::Decel2, E::Decel3, E::Decel4,
                E::Idle1, E::Idle2, E::Rev1, E::Rev2})
        w.add(Sample(SynthEngineSample(cls, e), e == E::Idle1 || e == E::Idle2));
    for (int k = 0; k < EngineTuneOf(cls).sustainCount; ++k) w.add(Sample(SynthEngineSustain(cls, k)));
}

void AddPair(MasterFileWriter& w, const Pcm& pcm) {
    w.add(Sample(pcm, false, -1.0f));
    w.add(Sample(pcm, false, 1.0f));
}

std::vector<uint8_t> NameList(const char* text) {
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

}  // namespace

std::vector<uint8_t> BuildEnvelopeMapFile() {
    using envmap::Envelope;
    using envmap::InputBlock;
    std::vector<InputBlock> blocks = {
        // Distance in metres -> volume.
        {0, {Envelope{1, 1.0f, {{0, 1}, {4, 1}, {20, 0.55f}, {60, 0.2f}, {150, 0.04f}, {250, 0}}}}},
        // Sideways offset -> pan, front-back offset -> surround pan.
        {1, {Envelope{2, 0.5f, {{-1000, 0}, {-25, 0.05f}, {0, 0.5f}, {25, 0.95f}, {1000, 1}}}}},
        {2, {Envelope{4, 0.5f, {{-1000, 1}, {-20, 0.8f}, {0, 0.5f}, {20, 0.2f}, {1000, 0}}}}},
        // Impact speed -> collision volume.
        {3, {Envelope{1, 0.5f, {{0, 0.2f}, {2, 0.4f}, {8, 0.8f}, {15, 1}, {100, 1}}}}},
    };
    return envmap::Write(blocks);
}

std::vector<uint8_t> BuildAudioMasterFile() {
    MasterFileWriter w;
    w.beginLabel();
    for (int cls = 0; cls < kEngineClasses; ++cls) AddEngineClass(w, cls);
    using V = EventSound;
    w.add(Sample(SynthEvent(V::Brake)));                       // 56
    w.add(Sample(SynthEvent(V::PowerSlide)));                  // 57
    AddPair(w, SynthEvent(V::Checkpoint));                     // 58, 59
    w.add(Sample(SynthEvent(V::Collide)));                     // 60
    AddPair(w, SynthEvent(V::Count));                          // 61, 62
    AddPair(w, SynthEvent(V::Go));                             // 63, 64
    for (int k = 0; k < 8; ++k) w.add(Sample(SynthGrunt(k)));  // 65-72
    AddPair(w, SynthEvent(V::HoleShot));                       // 73, 74
    w.add(Sample(SynthEvent(V::Landing)));                     // 75
    w.add(NameList("qz audio: unused"));                       // 76
    w.add(Sample(SynthEvent(V::Bonus)));                       // 77
    w.add(Sample(SynthEvent(V::Nitro)));                       // 78
    w.add(Sample(SynthEvent(V::GetNitro)));                    // 79
    AddPair(w, SynthEvent(V::TrackBonus));                     // 80, 81
    w.add(BuildEnvelopeMapFile());                             // 82
    return w.build();
}

std::vector<uint8_t> BuildIndoorSoundFile() {
    MasterFileWriter w;
    w.beginLabel();
    for (int k = 0; k < 8; ++k) w.add(Sample(SynthAnnouncer(k)));
    // Cheers in the file's order 3, 4, 1, 2, 5, 6, 7, each left then right.
    for (int cheer : {3, 4, 1, 2, 5, 6, 7}) {
        w.add(Sample(SynthCheer(cheer - 1, false), false, -1.0f));
        w.add(Sample(SynthCheer(cheer - 1, true), false, 1.0f));
    }
    return w.build();
}

std::vector<uint8_t> BuildWorldSoundFile(bool indoor, uint32_t seed) {
    using W = WorldSound;
    // The same numbers everywhere (audio_files.h): the hit sounds first, then the ambient loops; indoor
    // worlds stop after the generator (no wind or birds under a roof).
    static const W kSounds[] = {W::FenceHit,    W::TyreHit,   W::HayBaleHit, W::BarrelHit, W::PostHit,
                                W::CrowdMurmur, W::Generator, W::Wind,       W::Birds};
    static_assert(sizeof kSounds / sizeof kSounds[0] == kWorldSoundsOutdoor);
    static const char* const kNames[] = {"crowd", "wind",   "birds", "fence",    "tyre",
                                         "hay",   "barrel", "post",  "generator"};
    MasterFileWriter w;
    w.beginLabel();
    std::string names;
    for (int i = 0; i < (indoor ? kWorldSoundsIndoor : kWorldSoundsOutdoor); ++i) {
        w.add(Sample(SynthWorldSound(kSounds[i], seed), WorldSoundLoops(kSounds[i])));
        names += kNames[static_cast<int>(kSounds[i])];
        names += '\n';
    }
    w.add(NameList(names.c_str()));
    return w.build();
}

std::vector<uint8_t> BuildDefaultObjectSoundFile() {
    // For a world without its own file: the indoor set, so that object types name the same sounds.
    return BuildWorldSoundFile(true, 0);
}

std::string BuildSoundTuningText() {
    return WriteSoundTuning(DefaultSoundTuning());
}

bool WriteAudioFiles(const std::vector<AudioWorld>& worlds, AudioFileSink write, void* ctx) {
    if (!write("AUDIO/qz02Audi.bin", BuildAudioMasterFile(), ctx)) return false;
    if (!write("AUDIO/indoor.bin", BuildIndoorSoundFile(), ctx)) return false;
    if (!write("AUDIO/defobsnd.bin", BuildDefaultObjectSoundFile(), ctx)) return false;
    const std::string tuning = BuildSoundTuningText();
    if (!write("AUDIO/sound.txt", std::vector<uint8_t>(tuning.begin(), tuning.end()), ctx)) return false;
    uint32_t seed = 1;
    for (const AudioWorld& world : worlds)
        if (!write("WORLD/SNDS/snd_" + world.file, BuildWorldSoundFile(world.indoor, seed++), ctx))
            return false;
    static const char* const kMenu[] = {"move", "select", "start", "accept", "back", "error"};
    for (int m = 0; m < 6; ++m) {
        const Pcm pcm = SynthMenuSound(static_cast<MenuSound>(m));
        for (int side = 0; side < 2; ++side) {
            const std::string path = std::string("FRONTEND/SOUND/") + kMenu[m] + (side ? "_r.snd" : "_l.snd");
            if (!write(path, Sample(pcm, false, side ? 1.0f : -1.0f), ctx)) return false;
        }
    }
    return true;
}
