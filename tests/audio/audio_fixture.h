// The engine's sound module started on the I/O processor's driver modules, an audio master file built
// by the disc writers (samples, then an envelope map), and the sound and envelope stores emptied after
// each test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "audio/envelope.h"
#include "audio/envelope_map_format.h"
#include "audio/sound_factory.h"
#include "audio/sound_storage.h"
#include "console/kernel/clock.h"
#include "console/spu/driver_modules_fixture.h"
#include "console/spu/sd_remote.h"
#include "engine/hal/sound_format.h"
#include "game/files/master_file_format.h"
#include "mkdisc/sounds.h"
#include "support/heap_image.h"

namespace testsupport {

inline std::vector<uint8_t> ToneImage(bool looped, int32_t rate = 22050, float panLR = 0.0f) {
    SampleParams p;
    p.sampleRate = rate;
    p.looped = looped;
    p.pan.panLR = panLR;
    return EncodeSampleImage(p, SynthTone(440.0, rate, 1120, 12000, looped));
}

class AudioEngine : public ::testing::Test {
protected:
    void SetUp() override { Start(120); }
    void Start(int maxSamples) {
        console::ClockReset();
        console::SdRemoteReset();
        veSoundReset();
        veSoundSetMaxSamples(maxSamples);
        ASSERT_EQ(veSoundInit(), 0);
    }
    void TearDown() override {
        CResourceStorage<CSoundStorage>::instance().deleteAll();
        CResourceStorage<CEnvelopeMap>::instance().deleteAll();
        CSoundFactory::defEnvId = -1;
        veSoundReset();
    }
    // A master file of the given sub-files, loaded as the game loads it.
    HeapImage& File(const std::vector<std::vector<uint8_t>>& subFiles) {
        MasterFileWriter w;
        w.beginLabel();
        for (const auto& s : subFiles) w.add(s);
        files_.emplace_back(w.build());
        return files_.back();
    }
    static void Frame() {
        veSoundMaintenance();
        console::ClockTickVblank();
    }
    DriverModules modules_;
    std::vector<HeapImage> files_;
};

}  // namespace testsupport
