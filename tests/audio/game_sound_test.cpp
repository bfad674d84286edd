// The race's sounds over the disc's own audio files: the ids the loaders give, the sample-table budget,
// the engine's choice of composite, and the bike-flag, random and collision triggers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "audio/audio_fixture.h"
#include "audio/engine_sound.h"
#include "audio/game_sounds.h"
#include "audio/sound_ids.h"
#include "audio/sound_test_doubles.h"
#include "bike/kinetic_bike.h"
#include "game/files/object_type_table.h"
#include "game/model/object_description.h"
#include "mkdisc/audio_files.h"
#include "support/log_capture.h"

namespace {

using testsupport::AudioEngine;

class GameSounds : public AudioEngine {
protected:
    void SetUp() override {
        AudioEngine::SetUp();
        CQZSoundIDs::resetAll();
        CQZSoundIDs::loadSounds(master_.as<void>(), amm_);
    }
    void TearDown() override {
        CQZSoundIDs::resetAll();
        AudioEngine::TearDown();
    }
    static const std::vector<uint8_t>& Master() {
        static const std::vector<uint8_t> image = BuildAudioMasterFile();  // synthesised once
        return image;
    }
    testsupport::HeapImage master_{Master()};
    testsupport::NoMemoryManager amm_;
};

TEST_F(GameSounds, LoadersGiveTheIdsInLoadingOrderAndKeepTheSampleBudget) {
    using I = CQZSoundIDs;
    const EngineSoundIds* e = I::engine;
    const std::pair<int, int> ids[] = {
        {e[0].idle[0], 0},       {e[0].idle[1], 1},      {e[0].rev[0], 2},     {e[0].accel[1], 5},
        {e[0].accelShort[0], 6}, {e[0].decel[3], 11},    {e[0].sust[6], 18},   {e[0].sust[7], -1},
        {e[1].idle[0], 19},      {e[1].sust[4], 35},     {e[1].sust[5], -1},   {e[2].idle[0], 36},
        {e[2].sust[7], 55},      {I::gruntId[0], 56},    {I::gruntId[7], 63},  {I::landingId, 64},
        {I::collideId, 65},      {I::checkpointLId, 66}, {I::holeshotRId, 69}, {I::brakeId, 70},
        {I::powerslideId, 71},   {I::bonusId, 72},       {I::nitroId, 73},     {I::countLId, 74},
        {I::goRId, 77},          {I::getNitroId, 78},    {I::tbonusRId, 80},
    };
    for (auto [got, want] : ids) EXPECT_EQ(got, want);

    // An indoor world's sounds and the 22 indoor ones fit the engine's 120 samples.
    testsupport::HeapImage world(BuildWorldSoundFile(true, 3)), indoor(BuildIndoorSoundFile());
    EXPECT_EQ(I::loadWorldSounds(world.as<void>(), amm_, kIndoorSounds), kWorldSoundsIndoor);
    I::loadIndoorSounds(indoor.as<void>(), amm_);
    EXPECT_EQ(I::cheerRId[6], 81 + kWorldSoundsIndoor + 21);
    EXPECT_LE(CResourceStorage<CSoundStorage>::instance().count(), 120);
    EXPECT_EQ(I::getGlobalIdFromWorldId(kAmbientGenerator), 81 + kAmbientGenerator);
    for (int bad : {-1, kWorldSoundsIndoor, 30}) EXPECT_EQ(I::getGlobalIdFromWorldId(bad), -1);

    // A world with 30 sounds cannot keep room for the indoor ones: refused with a log line.
    std::vector<std::vector<uint8_t>> many(31, testsupport::ToneImage(false));
    testsupport::LogCapture log;
    EXPECT_EQ(I::loadWorldSounds(File(many).as<void>(), amm_, kIndoorSounds), 0);
    EXPECT_TRUE(log.has("world sounds not loaded"));
    EXPECT_EQ(I::getGlobalIdFromWorldId(0), -1);
    // A file of one sub-file holds no sound.
    EXPECT_EQ(I::loadWorldSounds(File({testsupport::ToneImage(false)}).as<void>(), amm_), 0);
}

// Damage to a world's sound file: the last sub-file is the sounds' name list, which the game never reads
// (harmless whatever it holds); a sample cut short is refused with a line and the others load.
TEST_F(GameSounds, AWorldSoundFileDamagedOnTheDisc) {
    using I = CQZSoundIDs;
    std::vector<std::vector<uint8_t>> subs(8, testsupport::ToneImage(false));
    for (const std::vector<uint8_t>& names : {std::vector<uint8_t>{}, std::vector<uint8_t>(3, 0xFF)}) {
        subs.push_back(names);
        testsupport::LogCapture log;
        EXPECT_EQ(I::loadWorldSounds(File(subs).as<void>(), amm_), 8);
        EXPECT_EQ(log.text(), "");
        subs.pop_back();
    }
    std::vector<uint8_t>& cut = subs[2];
    cut.resize(cut.size() / 2);
    subs.push_back({});
    testsupport::LogCapture log;
    EXPECT_EQ(I::loadWorldSounds(File(subs).as<void>(), amm_), 7);
    EXPECT_TRUE(log.has("runs past the end")) << log.text();
    EXPECT_EQ(I::getGlobalIdFromWorldId(2), -1);
}

TEST_F(GameSounds, EngineChoosesItsComposite) {
    KineticBike bike;
    uint32_t started = 0;
    CBikeSoundObject::gameStarted = &started;
    C250ccEngineSoundObject engine(0);
    auto step = [&](uint32_t flags, float speed = 0) {
        bike.status.viewFlags = flags, bike.frame.linearVelocityMag = speed;
        return engine.getCurrentSound(&bike);
    };
    const uint32_t accel = 1u << BIKE_ACCEL, decel = 1u << BIKE_DECEL, air = 1u << BIKE_INAIR;
    EXPECT_EQ(step(0), &engine.toIdle);
    EXPECT_EQ(step(accel), &engine.revs);  // before the start: revving, kept on release
    EXPECT_EQ(step(0), &engine.revs);
    started = 1;
    EXPECT_EQ(step(accel, 1.5f), &engine.toMax);  // from standstill
    EXPECT_EQ(step(accel | (1u << BIKE_CRASH)), &engine.toIdle);
    EXPECT_EQ(step(accel, 2.5f), &engine.toMaxShort);  // from speed
    EXPECT_EQ(step(air), &engine.inAir);
    EXPECT_EQ(step(air | accel), &engine.revs);
    EXPECT_EQ(step(decel), &engine.toIdle);
    EXPECT_EQ(engine.toMax.sounds.size(), 2u);
    EXPECT_EQ(static_cast<CComplexSoundReader*>(engine.toMax.sounds[1].get())->sounds.size(),
              5u);  // five sustains
    CBikeSoundObject::gameStarted = nullptr;
}

// A reader tree written out: a sample as its id (with "L" when it loops), a composite as
// "{r|s[L] parts...}" (random or sequential, looping or once).
std::string Tree(const CSoundReader* r) {
    if (const auto* c = dynamic_cast<const CComplexSoundReader*>(r)) {
        std::string s = c->randomize ? "{r" : "{s";
        if (c->loop) s += "L";
        for (const auto& part : c->sounds) s += " " + Tree(part.get());
        return s + "}";
    }
    return std::to_string(r->soundId) + (r->loop ? "L" : "");
}

// The five composites of each engine class, built from that class's sound ids: the sustain composite
// takes sustains 1 to 7 that are loaded (125 cc 7, 250 cc 5, 400 cc 7: the eighth 400 cc sample is loaded
// but not played), and the deceleration pairs are the class's own.
TEST_F(GameSounds, EachEngineClassBuildsItsComposites) {
    struct Class {
        std::unique_ptr<CBikeSoundObject> engine;
        int a[2], b[2];  // 0-based deceleration pairs
        size_t sustains;
    };
    Class classes[3] = {
        {std::make_unique<C125ccEngineSoundObject>(0), {0, 3}, {1, 2}, 7},
        {std::make_unique<C250ccEngineSoundObject>(0), {0, 2}, {1, 3}, 5},
        {std::make_unique<C400ccEngineSoundObject>(0), {0, 3}, {1, 2}, 7},
    };
    EXPECT_GE(CQZSoundIDs::engine[2].sust[7], 0);  // the eighth 400 cc sustain is still loaded
    for (int cls = 0; cls < 3; ++cls) {
        SCOPED_TRACE(cls);
        const EngineSoundIds& e = CQZSoundIDs::engine[cls];
        const Class& c = classes[cls];
        auto n = [](int id) { return std::to_string(id); };
        std::string sustain = "{rL";
        size_t loaded = 0;
        for (int i = 0; i < 7; ++i)
            if (e.sust[i] >= 0) sustain += " " + n(e.sust[i]), ++loaded;
        sustain += "}";
        EXPECT_EQ(loaded, c.sustains);
        const std::string chainA =
            "{s {r " + n(e.decel[c.a[0]]) + " " + n(e.decel[c.a[1]]) + "} " + n(e.idle[0]) + "L}";
        const std::string chainB =
            "{s {r " + n(e.decel[c.b[0]]) + " " + n(e.decel[c.b[1]]) + "} " + n(e.idle[1]) + "L}";
        CBikeSoundObject& s = *c.engine;
        EXPECT_EQ(Tree(&s.toMax), "{s {r " + n(e.accel[0]) + " " + n(e.accel[1]) + "} " + sustain + "}");
        EXPECT_EQ(Tree(&s.toMaxShort),
                  "{s {r " + n(e.accelShort[0]) + " " + n(e.accelShort[1]) + "} " + sustain + "}");
        EXPECT_EQ(Tree(&s.toIdle), "{r " + chainA + " " + chainB + "}");
        EXPECT_EQ(Tree(&s.inAir), Tree(&s.toIdle));
        EXPECT_EQ(Tree(&s.revs), "{s {r " + n(e.rev[0]) + " " + n(e.rev[1]) + "} {r " + n(e.idle[0]) + "L " +
                                     n(e.idle[1]) + "L}}");
        EXPECT_EQ(s.current, &s.toIdle);
        // The unplayed eighth sample gets no reader.
        for (const CSoundReader* r : s.cleanup) EXPECT_NE(r->soundId, e.sust[7]);
    }
}

TEST_F(GameSounds, TriggersPlayOncePerRisingEdge) {
    KineticBike bike;
    const uint32_t brake = 1u << BIKE_BRAKING, air = 1u << BIKE_INAIR;
    CBikeStateSound brakeSound(0, 3, CSoundFactory::getReader(CQZSoundIDs::brakeId), BIKE_BRAKING,
                               BIKE_INAIR);
    auto plays = [&](uint32_t flags) {
        bike.status.viewFlags = flags;
        return brakeSound.checkTrigger(&bike);
    };
    const std::pair<uint32_t, bool> steps[] = {
        {brake, true}, {brake, false},       {0, false},
        {brake, true},                                        // held: once; again after a release
        {0, false},    {brake | air, false}, {brake, false},  // pressed in the air, then landed
    };
    for (auto [flags, want] : steps) EXPECT_EQ(plays(flags), want);

    // Collisions: hit sound 0 is silent; an object without a description plays the default.
    CModelObject hit(-1);
    bike.crash.collisionObject = &hit;
    bike.status.viewFlags = 1u << BIKE_COLLIDE;
    CCollisionSound crash(0, 2);
    CSoundReader* r = crash.getCurrentSound(&bike);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->soundId, CQZSoundIDs::collideId);
    _Info info{};
    CObjectDescription desc;
    desc.typeInfo = &info;
    hit.descriptionId = CResourceStorage<CObjectDescription>::instance().add(&desc);
    EXPECT_EQ(crash.getCurrentSound(&bike), nullptr);
    CResourceStorage<CObjectDescription>::instance().data.clear();

    // Random sounds: odds 0 never, odds 1 at once.
    for (float odds : {0.0f, 1.0f}) {
        CRandomSound s(kNoModelObject, 3, CSoundFactory::getReader(CQZSoundIDs::bonusId), odds, 0.3f, 0.3f);
        EXPECT_EQ(s.getCurrentSound(nullptr) != nullptr, odds > 0);
    }
}

}  // namespace
