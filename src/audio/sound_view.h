// The audible counterpart of a player's 3D view: its objects are sound sources, its listener is the
// model object whose id is the view's camera id, and its mixers own the channels. Music and effect
// control is the console view's (CPS2SoundView).
#pragma once

#include <vector>

#include "audio/sound_params.h"
#include "game/view/view.h"

class CAudioMemoryManager;
class CMixer;
class CSoundReader;

class CSoundView : public CView<CSoundView> {
public:
    explicit CSoundView(CAudioMemoryManager& memoryManager);
    // Deletes the shared bin with every sound object ever inserted into any sound view, and forgets the
    // sound objects' parameter cache (the model objects it was keyed by go with the race).
    ~CSoundView() override;

    CRecycleBin<CSoundView>* getRecycleBin() override { return _recycleBin; }

    virtual void setPlaylist(int count, char** names) = 0;
    virtual void playlistSkip(int count) = 0;
    virtual void playlistSetSong(int song) = 0;
    virtual void setVolume(float music, float effects) = 0;
    virtual void pauseMusic(bool pause) = 0;
    virtual void stopSFX(bool stop) = 0;

    // The first mixer of the reader's kind decides: its channel index (the parameters copied into it),
    // or -1. No mixer of that kind: -1.
    int allocateChannel(CSoundReader* reader, const CSoundParams& params);

    CAudioMemoryManager& amm;
    std::vector<CMixer*> mixers;  // not owned
    static CRecycleBin<CSoundView>* _recycleBin;

protected:
    // The model step's sound: every object's update, every mixer's prepare, then the queued audio
    // memory requests go out.
    void stepSources(float time);
    // The rendered frame's sound: every object's render, the engine's voice upkeep, every mixer's mix,
    // then the audio memory requests are cleaned up.
    void renderSources();
};
