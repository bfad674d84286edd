#include "audio/sound_reader.h"

#include <gtest/gtest.h>

#include "audio/audio_fixture.h"
#include "audio/mixer.h"
#include "audio/sound_test_doubles.h"
#include "support/log_capture.h"

namespace {

using testsupport::CountingReader;
using testsupport::ToneImage;

// A composite of fresh counting parts; steps it and reports which part played.
struct Chain {
    explicit Chain(int n, bool random, bool loop) {
        for (int i = 0; i < n; ++i) {
            parts.push_back(new CountingReader);
            c.addSound(parts.back());
        }
        c.loop = loop;
        c.setRandomize(random);
    }
    // Steps once; the part that played, or -1.
    int step() {
        std::vector<int> before;
        for (auto* p : parts) before.push_back(p->played);
        c.preMaintenance(params);
        for (size_t i = 0; i < parts.size(); ++i)
            if (parts[i]->played != before[i]) return static_cast<int>(i);
        return -1;
    }
    void endCurrent() { parts[static_cast<size_t>(c.curSnd)]->done = true; }
    CComplexSoundReader c;
    std::vector<CountingReader*> parts;
    CSoundParams params;
};

TEST(ComplexSoundReader, PlaysPartsInOrderOrAtRandomAndEnds) {
    Chain once(2, false, false);
    EXPECT_EQ(once.step(), 0);
    once.endCurrent();
    EXPECT_EQ(once.step(), 1);
    once.endCurrent();
    EXPECT_EQ(once.step(), -1);
    EXPECT_TRUE(once.c.finished());

    Chain looped(2, false, true);
    looped.step();
    looped.endCurrent();
    looped.step();
    looped.endCurrent();
    EXPECT_EQ(looped.step(), 0);
    EXPECT_EQ(looped.parts[0]->resets, 2);  // reset when it ended, and again when chosen

    Chain single(1, true, true);  // one part at random: never reshuffles, replays that part
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(single.step(), 0);
        single.endCurrent();
    }
    EXPECT_FALSE(single.c.finished());

    Chain shuffled(4, true, true);  // a new order never starts with the part just played
    int last = shuffled.step();
    for (int i = 0; i < 40; ++i) {
        shuffled.endCurrent();
        const int now = shuffled.step();
        EXPECT_NE(now, last);
        last = now;
    }

    Chain blocked(2, false, true);  // every successor disabled: gives up after one cycle
    blocked.c.disabledCombos = {{blocked.parts[0], blocked.parts[1]}, {blocked.parts[0], blocked.parts[0]}};
    blocked.step();
    blocked.endCurrent();
    EXPECT_EQ(blocked.step(), -1);
    EXPECT_TRUE(blocked.c.finished());
}

class Readers : public testsupport::AudioEngine {};

TEST_F(Readers, SampleReaderSendsRateAndPanAndLetsItsVoiceGo) {
    auto& file = File({ToneImage(true, 22050, 0.25f), ToneImage(false), ToneImage(false)});
    const int looped = CSoundFactory::loadSound(file.p, 0, kVemoLocSoundRam);
    ASSERT_EQ(looped, 0);
    ASSERT_EQ(CSoundFactory::loadSound(file.p, 1, kVemoLocMainRam), 1);
    ASSERT_EQ(CSoundFactory::loadSound(file.p, 2, kVemoLocIopRam), 2);

    auto* r = static_cast<CVemoSoundReader*>(CSoundFactory::getReader(looped));
    CSoundParams p;
    p.pitchMultiplier = 1.37f;
    p.pan = 0.75f;
    p.fbPan = 0.5f;
    p.volume = 0.5f;
    p.volumeScale = 0.8f;
    r->preMaintenance(p);
    ASSERT_NE(r->instance, nullptr);
    _SampleInstance* voice = r->instance;
    EXPECT_EQ(voice->desiredSampleRate, static_cast<int32_t>(22050 * 1.37f));
    EXPECT_FLOAT_EQ(voice->desiredPan.panLR, 0.75f);
    EXPECT_FLOAT_EQ(voice->desiredPan.panFB, -1.0f);
    EXPECT_FLOAT_EQ(voice->desiredPan.panVolume, 0.4f);
    for (int i = 0; i < 3; ++i) {
        Frame();
        r->postMaintenance();
    }
    EXPECT_FALSE(r->finished());  // a looping sample never ends by itself
    delete r;                     // ...so its owner going must free the voice
    Frame();
    EXPECT_EQ(voice->status & kInstanceInUse, 0);

    CStereoSoundReader stereo(1, 2);  // one-shots from heap and I/O-processor memory
    stereo.preMaintenance(p);
    stereo.left->stop();
    EXPECT_FALSE(stereo.finished());
    stereo.right->stop();
    EXPECT_TRUE(stereo.finished());
}

TEST_F(Readers, BadOrUnplaceableSamplesAreNotLoaded) {
    testsupport::LogCapture log;
    std::vector<uint8_t> shortData = ToneImage(false);
    shortData.resize(shortData.size() - 16);  // header length past the sub-file
    auto& file = File({ToneImage(false), shortData, ToneImage(false)});
    EXPECT_EQ(CSoundFactory::loadSound(file.p, 1, kVemoLocSoundRam), -1);
    EXPECT_EQ(CSoundFactory::loadSound(file.p, 7, kVemoLocSoundRam), -1);
    EXPECT_EQ(CSoundFactory::getReader(-1), nullptr);
    EXPECT_EQ(CSoundFactory::getReader(5), nullptr);
    Start(1);  // an engine with one sample slot
    EXPECT_EQ(CSoundFactory::loadSound(file.p, 0, kVemoLocSoundRam), 0);
    EXPECT_EQ(CSoundFactory::loadSound(file.p, 2, kVemoLocMainRam), -1);
    EXPECT_TRUE(log.has("loadSound: sound 2 not loaded (1 of 1 engine samples in use)"));
}

TEST_F(Readers, DefaultEnvelopesComeFromTheEnvelopeSubFile) {
    std::vector<std::vector<uint8_t>> subs(kEnvelopeMapSubFile, ToneImage(false));
    auto& noMap = File(subs);
    EXPECT_FALSE(CSoundFactory::initDefaultEnvelopes(noMap.p));
    EXPECT_EQ(CSoundFactory::getDefaultEnvelopes(), nullptr);
    subs.push_back(envmap::Write({{0, {{1, 0.0f, {{10.0f, 0.0f}}}}}}));
    ASSERT_TRUE(CSoundFactory::initDefaultEnvelopes(File(subs).p));
    EXPECT_FLOAT_EQ((*CSoundFactory::getDefaultEnvelopes())(0, 1).value(5.0f), 0.0f);
}

}  // namespace
