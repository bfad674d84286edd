// A sound source in a sound view: bound to a model object (a bike, a placed object) or to none (-2:
// crowd, announcer). Each step it picks the reader to play, works out how loud, where and at which pitch
// it is heard from the listener (cached per model object, so all sounds of one bike share one
// computation a step), and asks the view for a channel.
#pragma once

#include <cstdint>
#include <map>

#include "audio/sound_params.h"
#include "game/view/view_object.h"

class CModelObject;
class CSoundReader;
class CSoundView;

// A source without a model object that stays in the view.
inline constexpr int kNoModelObject = -2;

class CSoundObject : public CViewObject<CSoundView> {
public:
    // The third argument is unused.
    CSoundObject(int modelObjectId, int group, int unused = 0);
    ~CSoundObject() override = default;

    void render(CSoundView* view) override;
    void update(CSoundView* view, float time) override;
    // Asks the view to remove the object when its model object id is -1.
    void modelObjectRemoved(CSoundView* view) override;
    virtual float getVolume() { return volume; }
    virtual void _update(CSoundView* view, CModelObject* source, CModelObject* listener, float time);
    virtual void getParams(CSoundView* view, CModelObject* source, CModelObject* listener,
                           CSoundParams& params);
    virtual void _render(CSoundView*, CModelObject*, CModelObject*) {}
    // The reader to play now, or null.
    virtual CSoundReader* getCurrentSound(CModelObject* source) = 0;

    // Forgets every cached entry: the race teardown calls it (through the sound view's), since a new
    // model object may reuse a gone one's address and would inherit its later timestamp.
    static void clearParamCache() { parmCache.clear(); }

    float volume = 1.0f;
    int32_t group;
    int32_t priorityMult = 1000;
    uint8_t filterEnabled = 1;
    uint8_t envelopesEnabled = 1;

    static std::map<const CModelObject*, CSoundParams> parmCache;
};

// Pitch factor of a source heard from a listener at positions S and L moving at vS and vL (units per
// second): the Doppler shift with c = 340, times 1.05, clamped to 0.1..2.0. A source at or above the
// speed of sound towards the listener plays at the cap.
float DopplerPitch(const float S[3], const float vS[3], const float L[3], const float vL[3]);
