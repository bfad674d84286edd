// Test doubles for the audio tests: a reader that only counts and is told when it has finished, a sound
// view without music, and a sound object at a fixed distance attenuation.
#pragma once

#include "audio/audio_memory_manager.h"
#include "audio/sound_object.h"
#include "audio/sound_reader.h"
#include "audio/sound_storage.h"
#include "audio/sound_view.h"

namespace testsupport {

struct CountingReader : CSoundReader {
    CountingReader() : CSoundReader(-1) { flags = kSoundKindVemo; }
    void stop() override { done = true, ++stops; }
    void reset() override { done = false, ++resets; }
    bool finished() override { return done; }
    void preMaintenance(CSoundParams& p) override { ++played, last = p; }
    void postMaintenance() override { ++posted; }
    CSoundReader* clone() override { return new CountingReader; }
    bool done = false;
    int played = 0, posted = 0, stops = 0, resets = 0;
    CSoundParams last;
};

struct NoMemoryManager : CAudioMemoryManager {
    void processRequests() override { ++processed; }
    void cleanupRequests() override { ++cleaned; }
    int processed = 0, cleaned = 0;
};

struct QuietView : CSoundView {
    QuietView() : CSoundView(amm_) {}
    void setPlaylist(int, char**) override {}
    void playlistSkip(int) override {}
    void playlistSetSong(int) override {}
    void setVolume(float, float) override {}
    void pauseMusic(bool) override {}
    void stopSFX(bool) override {}
    void step(float t) { stepSources(t); }
    void frame() { renderSources(); }
    NoMemoryManager amm_;
};

// Plays its reader (owned) at a fixed volume, heard from no model object.
struct FixedSource : CSoundObject {
    FixedSource(float vol, int group_ = 1) : CSoundObject(kNoModelObject, group_), at(vol) {}
    ~FixedSource() override { delete reader; }
    CSoundReader* getCurrentSound(CModelObject*) override { return reader; }
    void getParams(CSoundView*, CModelObject*, CModelObject*, CSoundParams& p) override { p.volume = at; }
    float at;
    CountingReader* reader = new CountingReader;
};

}  // namespace testsupport
