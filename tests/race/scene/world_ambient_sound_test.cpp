// The placed objects' ambient sounds: a static object whose type names a world sound gets a sound
// object in the race's sound view, of group 3, reading that world sound; the view's flag, a type
// without a sound or an object that is not static get none; and the sound is given a channel and
// played while the listener is near it, and again after the listener has been out of hearing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "audio/audio_fixture.h"
#include "audio/game_sounds.h"
#include "audio/mixer.h"
#include "audio/sound_ids.h"
#include "audio/sound_test_doubles.h"
#include "game/files/object_description_format.h"
#include "mkdisc/audio_files.h"
#include "mkdisc/track_objects.h"
#include "support/world_view_scene.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/world_fixture.h"

namespace {

constexpr int kGrid = 50;

// The fixture's world with its two hay bales (description 3) of kind `kind` naming world sound
// `ambient`.
std::vector<uint8_t> BaleWorld(uint8_t kind, uint8_t ambient) {
    WorldDescription w = worldtest::MakeWorld(2, kGrid, [](int, int) { return uint16_t(2000); });
    w.typeTable[2] = MakeTypeRecord(4, kind, 1, 1, 0, 100, ambient);
    w.descriptions[3] = {{PropGeometry(Prop::HayBale, 0)}, PropCollision(Prop::HayBale)};
    return WriteWorldFile(w);
}

class AmbientSounds : public testsupport::AudioEngine {
protected:
    void SetUp() override {
        AudioEngine::SetUp();
        CSoundObject::clearParamCache();
        CQZSoundIDs::resetAll();
        CSoundFactory::initDefaultEnvelopes(master_.as<void>());
        ASSERT_EQ(CQZSoundIDs::loadWorldSounds(sounds_.as<void>(), amm_), kWorldSoundsOutdoor);
    }
    void TearDown() override {
        view_.reset();  // with the sound objects and their readers, before the sound engine stops
        CSoundObject::clearParamCache();
        CQZSoundIDs::resetAll();
        AudioEngine::TearDown();
    }
    // The ambient sounds the view holds, in insertion order.
    std::vector<CAmbientSound*> Ambient() const {
        std::vector<CAmbientSound*> out;
        for (auto* o : view_->_objects)
            if (auto* a = dynamic_cast<CAmbientSound*>(o)) out.push_back(a);
        return out;
    }
    static const std::vector<uint8_t>& Master() {
        static const std::vector<uint8_t> image = BuildAudioMasterFile();
        return image;
    }
    testsupport::HeapImage master_{Master()};
    testsupport::HeapImage sounds_{BuildWorldSoundFile(false, 1)};
    testsupport::NoMemoryManager amm_;
    std::unique_ptr<testsupport::QuietView> view_ = std::make_unique<testsupport::QuietView>();
};

TEST_F(AmbientSounds, StaticObjectWithAWorldSoundIsHeardFromWhereItStands) {
    testsupport::WorldViewScene s(BaleWorld(worldfile::kKindStatic, kAmbientGenerator), TRACKTYPE_OUTDOOR,
                                  0x300, false, view_.get());
    const std::vector<CAmbientSound*> ambient = Ambient();
    ASSERT_EQ(ambient.size(), 2u);  // one per placed bale
    EXPECT_EQ(s.worldView->ambientSounds, 2);
    CModel* model = CModel::modelPtr;
    for (CAmbientSound* a : ambient) {
        ASSERT_GE(a->modelObjectId, 0);
        ASSERT_LT(size_t(a->modelObjectId), model->objects.size());
        const CModelObject* o = model->objects[size_t(a->modelObjectId)];
        EXPECT_NE(dynamic_cast<const CKineticStaticRigidObject*>(o), nullptr);
        EXPECT_EQ(o->descriptionId, CSubtileModel::firstObjectId + 3);
        EXPECT_EQ(a->group, 3);
        ASSERT_NE(a->snd.get(), nullptr);
        EXPECT_EQ(a->snd->soundId, CQZSoundIDs::getGlobalIdFromWorldId(kAmbientGenerator));
        EXPECT_GE(a->snd->soundId, 0);
        EXPECT_EQ(a->getCurrentSound(nullptr), a->snd.get());
    }
    EXPECT_NE(ambient[0]->modelObjectId, ambient[1]->modelObjectId);

    // Heard through a mixer: beside the first bale its reader takes a channel and starts a voice; 300 m
    // off (past the distance envelope's end) neither bale is given one.
    CMixer mixer(8, kSoundKindVemo);
    mixer.soundGroupLimits[3] = 6;
    view_->mixers.push_back(&mixer);
    view_->_cameraID = 0;  // the scene's camera object is the listener
    const CModelObject* bale = model->objects[size_t(ambient[0]->modelObjectId)];
    s.camera->position = qzVector3d(bale->position.x + 300, bale->position.y - 200, bale->position.z);
    view_->step(1.0f);
    const bool held = std::find(mixer.channels.begin(), mixer.channels.end(), ambient[0]->snd.get()) !=
                      mixer.channels.end();
    EXPECT_TRUE(held);
    view_->frame();
    Frame();
    EXPECT_FALSE(ambient[0]->snd->finished());
    s.camera->position = qzVector3d(bale->position.x + 30000, bale->position.y, bale->position.z + 5000);
    view_->step(2.0f);
    for (CSoundReader* r : mixer.channels) EXPECT_EQ(r, nullptr);
    view_->frame();
    // Back beside it, the stopped reader is started afresh.
    s.camera->position = qzVector3d(bale->position.x + 300, bale->position.y - 200, bale->position.z);
    view_->step(3.0f);
    EXPECT_NE(std::find(mixer.channels.begin(), mixer.channels.end(), ambient[0]->snd.get()),
              mixer.channels.end());
    view_->frame();
    Frame();
    EXPECT_FALSE(ambient[0]->snd->finished());
    view_->mixers.clear();
}

TEST_F(AmbientSounds, FlagTypeWithoutSoundAndOtherKindsGetNone) {
    struct Case {
        uint8_t kind, ambient;
        uint32_t flags;
        const char* what;
    } cases[] = {{worldfile::kKindStatic, kAmbientCrowd, 1u, "flag bit 0 set"},
                 {worldfile::kKindStatic, 0, 0u, "no world sound"},
                 {40, kAmbientCrowd, 0u, "scenery"},
                 {worldfile::kKindDynamic, kAmbientCrowd, 0u, "dynamic object"}};
    for (const Case& c : cases) {
        testsupport::WorldViewScene s(BaleWorld(c.kind, c.ambient), TRACKTYPE_OUTDOOR, 0x300, false,
                                      view_.get(), c.flags);
        EXPECT_TRUE(Ambient().empty()) << c.what;
        EXPECT_EQ(s.worldView->ambientSounds, 0) << c.what;
    }
    // Without a sound view the objects are placed all the same.
    testsupport::WorldViewScene s(BaleWorld(worldfile::kKindStatic, kAmbientCrowd), TRACKTYPE_OUTDOOR);
    EXPECT_EQ(s.worldView->ambientSounds, 0);
    EXPECT_TRUE(Ambient().empty());
}

}  // namespace
