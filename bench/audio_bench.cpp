// The sound step of a race: eight bikes moving around the listener, each with an engine sound (a
// looping random composite of five samples, as the engine sustain is built) and a second sound (a
// looping one-shot chain), plus four ambient sources, over one mixer of eight channels with group
// limits. One iteration is one rendered frame: two model steps (every object's update, the mixer's
// prepare) and the frame's render (the voices' upkeep and the mix). Reported in microseconds per frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../tests/audio/sound_test_doubles.h"
#include "audio/envelope.h"
#include "audio/envelope_map_format.h"
#include "audio/mixer.h"
#include "audio/sound_factory.h"
#include "audio/sound_object.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"
#include "console/cd/cd.h"
#include "console/iop/iop.h"
#include "console/kernel/clock.h"
#include "console/spu/spu.h"
#include "engine/hal/sound.h"
#include "engine/hal/sound_format.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"
#include "game/model/dynamic_object.h"
#include "game/model/model.h"
#include "mkdisc/sounds.h"

namespace {

struct Mover : CDynamicObject {
    void doAction(const CPacket&, float) override {}
};

struct Source : CSoundObject {
    Source(int id, int group_, CSoundReader* r) : CSoundObject(id, group_), reader(r) {}
    ~Source() override { delete reader; }
    CSoundReader* getCurrentSound(CModelObject*) override { return reader; }
    CSoundReader* reader;
};

void StartSound() {
    static bool started = false;
    if (started) return;
    started = true;
    const std::string dir = (std::filesystem::temp_directory_path() / "qz_audio_bench").string();
    std::filesystem::create_directories(dir + "/SYSTEM");
    for (const char* m : {"LIBSD.IRX", "SDRDRV.IRX"}) std::ofstream(dir + "/SYSTEM/" + m) << "module";
    console::CdMount(dir.c_str());
    console::IopReset();
    for (const char* m : {"LIBSD.IRX", "SDRDRV.IRX"})
        sceSifLoadModule((std::string("cdrom0:\\SYSTEM\\") + m + ";1").c_str(), 0, nullptr);
    console::ClockReset();
    veSoundInit();
}

// Five looping engine samples at rising pitch, a looping crowd murmur and the default envelope map.
void* AudioFile() {
    MasterFileWriter w;
    w.beginLabel();
    SampleParams p;
    p.looped = true;
    for (int i = 0; i < 5; ++i) w.add(EncodeSampleImage(p, SynthEngine(60.0 + 15 * i, 22050, 4410, 12000)));
    w.add(EncodeSampleImage(p, SynthTone(220.0, 22050, 4410, 6000, true)));
    w.add(envmap::Write({{0, {{1, 1.0f, {{0.0f, 1.0f}, {150.0f, 0.0f}}}}},
                         {1, {{2, 0.5f, {{-50.0f, 0.0f}, {50.0f, 1.0f}}}}},
                         {2, {{4, 0.5f, {{-50.0f, 0.0f}, {50.0f, 1.0f}}}}}}));
    const std::vector<uint8_t> bytes = w.build();
    void* file = x_fn_malloc(static_cast<uint32_t>(bytes.size()), "", 0);
    std::memcpy(file, bytes.data(), bytes.size());
    return file;
}

void BM_SoundStepEightBikesAndAmbient(benchmark::State& state) {
    StartSound();
    CModel* model = GetModel();
    // Loaded once: sounds and envelope maps stay for the whole program, as in the game.
    static const std::vector<int> ids = [] {
        void* file = AudioFile();
        std::vector<int> loaded;
        for (int i = 0; i < 6; ++i) loaded.push_back(CSoundFactory::loadSound(file, i, kVemoLocSoundRam));
        auto* map = new CEnvelopeMap;  // the map sits at the sub-file after the samples here
        map->load(GetFileManager()->loadSubFile(file, 6),
                  static_cast<uint32_t>(GetFileManager()->getSubFileLength(file, 6)));
        CSoundFactory::defEnvId = CResourceStorage<CEnvelopeMap>::instance().add(map);
        return loaded;
    }();
    auto* view = new testsupport::QuietView;  // no music
    CMixer mixer(8, 7);
    mixer.soundGroupLimits = {{1, 6}, {2, 2}, {3, 2}};
    view->mixers.push_back(&mixer);
    std::vector<Mover*> bikes;
    const size_t firstId = model->objects.size();
    for (int b = 0; b < 9; ++b) {  // the listener's camera, then eight bikes
        bikes.push_back(new Mover);
        model->objects.push_back(bikes.back());
    }
    view->_cameraID = static_cast<int>(firstId);
    for (int b = 1; b <= 8; ++b) {
        auto* engine = new CComplexSoundReader;
        for (int i = 0; i < 5; ++i) engine->addSound(CSoundFactory::getReader(ids[static_cast<size_t>(i)]));
        engine->loop = 1;
        engine->setRandomize(true);
        view->insertObject(new Source(static_cast<int>(firstId) + b, 1, engine));
        auto* second = new CComplexSoundReader;
        second->addSound(CSoundFactory::getReader(ids[5]));
        second->loop = 1;
        view->insertObject(new Source(static_cast<int>(firstId) + b, 2, second));
    }
    for (int a = 0; a < 4; ++a) {
        model->objects.push_back(new CModelObject);
        model->objects.back()->position = qzVector3d(a * 3000.0f - 4500.0f, 0.0f, 2000.0f);
        view->insertObject(
            new Source(static_cast<int>(model->objects.size()) - 1, 3, CSoundFactory::getReader(ids[5])));
    }
    float t = 0.0f;
    for (auto _ : state) {
        for (int s = 0; s < 2; ++s) {
            t += 1.0f / 120.0f;
            for (int b = 1; b <= 8; ++b) {
                const float a = t * 0.3f + static_cast<float>(b);
                bikes[static_cast<size_t>(b)]->position =
                    qzVector3d(std::cos(a) * 800.0f * b, 0.0f, std::sin(a) * 800.0f * b);
                bikes[static_cast<size_t>(b)]->linearVelocity =
                    qzVector3d(-std::sin(a) * 240.0f * b, 0.0f, std::cos(a) * 240.0f * b);
            }
            view->step(t);
        }
        view->frame();
        console::ClockTickVblank();
    }
    int sounding = 0;
    for (const _SampleInstance& in : engine::instances) sounding += (in.status & kInstancePlaying) != 0;
    state.counters["voices"] = sounding;
    delete view;
    veSoundMaintenance();
}
BENCHMARK(BM_SoundStepEightBikesAndAmbient)->Unit(benchmark::kMicrosecond);

}  // namespace
