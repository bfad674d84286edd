// The running world as the race sees it: built from a loaded world file into object descriptions,
// subtile models (owned by the world model) and their terrain renderers, linked into the world quad
// tree; it creates the placed objects and gates and the out-of-bounds ring, and draws the visible
// terrain and the scenery standing on it for each human's view.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "game/model/model_object.h"
#include "game/view/view_object_3d.h"
#include "world/world_file_format.h"
#include "world/world_quad_tree.h"

class CSubtileViewPS2;
class CWorldModel;
class C3DView;
class CSoundView;

class CWorldView : public C3DViewObject {
public:
    static constexpr int kGateSlots = 25;            // 24 gates and the finish gate
    static constexpr int kMaxVisibleSubtiles = 256;  // every subtile of a 16-tile world
    static constexpr int kAmbientSoundGroup = 3;     // the mixer group of the placed objects' sounds

    // Loads the world: `worldFile` is the checked world image, `worldModelId` the world model's id in
    // the model (an empty world model is filled here from the file first).
    CWorldView(void* worldFile, int worldModelId, int descriptionId);
    ~CWorldView() override;
    CWorldView(const CWorldView&) = delete;
    CWorldView& operator=(const CWorldView&) = delete;

    // Draws the visible terrain, its seams and the scenery into `view` (from the view's camera object).
    void render(C3DView* view) override;
    void update(C3DView*, float) override {}

    // Creates the model and view objects of every placement, the gates and the out-of-bounds ring; each
    // view object goes into every view of `views` (the humans' views). A static object whose type names
    // a world sound (ambSoundId above 0) is heard from where it stands: unless bit 0 of `_flags` is set,
    // it is noted for addAmbientSounds, which runs at once when `sounds` is given. Call once.
    void addObjectsToWorld(const std::vector<C3DView*>& views, CSoundView* sounds = nullptr);
    // A CAmbientSound of group kAmbientSoundGroup for each object noted, into `sounds` (the race's sound
    // view, which owns them). The race calls it after the racers' sounds are in: the mixer gives its
    // channels out in insertion order each step, and the sounds that are always on must not take them
    // ahead of the engines. Call once.
    void addAmbientSounds(CSoundView* sounds);
    void setupOutOfBoundsTiles(int descriptionId, const std::vector<C3DView*>& views);
    void setupOutOfBoundsTile(int descriptionId, int column, int row, const std::vector<C3DView*>& views);
    void clearStvList();

    // The terrain and object drawing distances of a track type (TrackType), narrower in split screen.
    static void installDrawDistances(int trackType, bool splitScreen);

    CWorldModel* worldModel() const { return world_; }
    void* worldFile() const { return file_; }

    std::vector<std::unique_ptr<CSubtileViewPS2>> stvList;
    int offtileDescId;
    int numGates;
    _wlb_file* wlb;
    int16_t finishGate;
    int16_t gateObject;
    CWorldQuadTree q;
    std::vector<int> viewList;
    uint32_t _flags;    // bit 0: static objects get no ambient sound
    int ambientSounds;  // ambient sounds put into the sound view
    _Info* pObjectTypeInfo;
    int outOfBoundsTiles;  // tiles of the ring placed by addObjectsToWorld

    // Each frame's collected subtiles with a level of detail (models and views in the same order).
    CSubtileViewPS2* visibleViews[kMaxVisibleSubtiles];
    int visibleCount;
    int visibleOverflow;  // subtiles left out of a frame because the tables were full

private:
    struct AmbientObject {
        int modelObjectId;
        int worldSound;  // world sound index
    };
    std::vector<AmbientObject> ambient_;
    void* file_;
    CWorldModel* world_;
    int typeRecords_;
};
