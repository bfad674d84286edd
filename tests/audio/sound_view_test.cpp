#include "audio/sound_view.h"

#include <gtest/gtest.h>

#include "audio/mixer.h"
#include "audio/sound_object.h"
#include "audio/sound_test_doubles.h"
#include "game/model/model_object.h"

namespace {

using testsupport::CountingReader;
using testsupport::FixedSource;
using testsupport::QuietView;

TEST(SoundObject, DopplerPitchFollowsRelativeMotionAndIsCapped) {
    const float S[3] = {1000, 0, 0}, L[3] = {0, 0, 0}, still[3] = {0, 0, 0};
    struct Case {
        float vs, vl, want;
    } cases[] = {
        {34, 0, 1.05f / 1.1f}, {-34, 0, 1.05f / 0.9f}, {0, -34, 1.05f * 0.9f}, {0, 34, 1.05f * 1.1f},
        {-300, 0, 2.0f},       {-340, 0, 2.0f},        {-500, 0, 2.0f},        {0, -500, 0.1f},
    };
    for (const Case& c : cases) {
        const float vS[3] = {c.vs, 0, 0}, vL[3] = {c.vl, 0, 0};
        EXPECT_FLOAT_EQ(DopplerPitch(S, vS, L, c.vl ? vL : still), c.want) << c.vs << " " << c.vl;
    }
}

TEST(SoundObject, GroupLimitTakesTheQuietestHolderAndRefusesTheQuietest) {
    QuietView view;
    CMixer mixer(8, 7);
    mixer.soundGroupLimits[1] = 2;
    view.mixers.push_back(&mixer);
    auto* a = new FixedSource(0.2f);  // quietest holder: loses its channel
    auto* b = new FixedSource(0.3f);
    auto* c = new FixedSource(0.9f);         // louder than both: takes a's channel
    auto* d = new FixedSource(0.1f);         // quieter than both holders: refused
    auto* e = new FixedSource(0.001f);       // at the audibility threshold: stopped
    auto* other = new FixedSource(0.5f, 2);  // another group without a limit entry: never plays
    for (FixedSource* s : {a, b, c, d, e, other}) view.insertObject(s);
    view.step(1.0f);
    EXPECT_EQ(view.amm_.processed, 1);
    EXPECT_EQ(a->reader->played, 0);
    EXPECT_EQ(b->reader->played, 1);
    EXPECT_EQ(c->reader->played, 1);
    EXPECT_EQ(c->reader->priority, 100);
    EXPECT_EQ(c->reader->last.volume, 0.9f);
    for (FixedSource* s : {d, e, other}) EXPECT_EQ(s->reader->stops, 1);
    EXPECT_EQ(a->reader->stops, 0);
    view.frame();
    EXPECT_EQ(c->reader->posted, 1);
    EXPECT_EQ(view.amm_.cleaned, 1);
    for (CSoundReader* ch : mixer.channels) EXPECT_EQ(ch, nullptr);
}

TEST(SoundObject, ParameterCacheIsForgottenWithTheRace) {
    CModelObject bike;
    CMixer mixer(8, 7);
    mixer.soundGroupLimits[1] = 8;
    // A model object of an earlier race at the same address, computed at a later game time.
    CSoundObject::parmCache[&bike].timestamp = 500.0f;
    auto run = [&] {
        QuietView view;
        view.mixers.push_back(&mixer);
        auto* s = new FixedSource(1.0f);
        view.insertObject(s);
        s->_update(&view, &bike, nullptr, 1.0f);
        return mixer.channels[0] == s->reader;
    };
    EXPECT_FALSE(run());  // the stale entry is never recomputed in the new race...
    mixer.mix();
    EXPECT_TRUE(CSoundObject::parmCache.empty());  // ...until the race's sound view is gone
    EXPECT_TRUE(run());
    mixer.mix();
}

TEST(Mixer, DeletedReaderLeavesItsChannel) {
    CMixer mixer(4, 7);
    mixer.soundGroupLimits[0] = 4;
    auto* r = new CountingReader;
    ASSERT_EQ(mixer.allocateChannel(r), 0);
    delete r;  // as a collision sound drops its reader between the step and the frame
    mixer.prepare();
    mixer.mix();
    EXPECT_EQ(mixer.channels[0], nullptr);
}

}  // namespace
