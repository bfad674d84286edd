#include "race/scene/world_view.h"

#include <cstring>
#include <memory>

#include "audio/game_sounds.h"
#include "audio/sound_factory.h"
#include "audio/sound_ids.h"
#include "audio/sound_view.h"
#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/engine.h"
#include "engine/hal/microcode.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "engine/sys/loaded_files.h"
#include "game/core/game_options.h"
#include "game/core/global_options.h"
#include "game/core/mem_log.h"
#include "game/files/collision_storage.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/resource_loader.h"
#include "game/model/bounding_model_object.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/view/util.h"
#include "game/view/view_3d.h"
#include "race/scene/subtile_view.h"
#include "race/scene/world_view_object.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_pickup_objects.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/terrain_low_detail.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace {

// The type record cursor shared by loading and placing: each record covers `numberOf` descriptions.
class TypeCursor {
public:
    TypeCursor(_Info* table, int records) : table_(table), records_(records) {}
    _Info* next() {
        if (!table_ || at_ >= records_) return nullptr;
        _Info* r = &table_[at_];
        const int run = r->numberOf == 0 ? 1 : r->numberOf;
        if (++count_ >= run) count_ = 0, ++at_;
        return r;
    }

private:
    _Info* table_;
    int records_;
    int at_ = 0;
    int count_ = 0;
};

}  // namespace

void CWorldView::installDrawDistances(int trackType, bool split) {
    struct Row {
        float tl1, tl2, tf, ol1, ol2, of;
    };
    static const Row kRows[4] = {{100, 240, 600, 80, 250, 500},
                                 {90, 150, 400, 50, 90, 180},
                                 {90, 180, 500, 90, 180, 320},
                                 {100, 300, 600, 100, 250, 500}};
    const Row& r = kRows[trackType >= 0 && trackType < 4 ? trackType : TRACKTYPE_OUTDOOR];
    const float m2 = split ? 0.8f : 1.0f, m3 = split ? 0.6f : 1.0f;
    auto sq = [](float v) {
        const auto u = static_cast<uint32_t>(v);
        return u * u;
    };
    CWorldModel::terrainLod1DepthSquared = static_cast<float>(sq(r.tl1));
    CWorldModel::terrainLod2DepthSquared = static_cast<float>(sq(r.tl2 * m2));
    CWorldModel::terrainFarClipDepthSquared = static_cast<float>(sq(r.tf * m3));
    objectLod1DepthSquared = sq(r.ol1);
    objectLod2DepthSquared = sq(r.ol2 * m2);
    objectFarClipDepthSquared = sq(r.of * m3);
}

CWorldView::CWorldView(void* file, int worldModelId, int descriptionId)
    : C3DViewObject(worldModelId, descriptionId),
      offtileDescId(0),
      numGates(0),
      wlb(nullptr),
      finishGate(-1),
      gateObject(-1),
      _flags(0),
      ambientSounds(0),
      pObjectTypeInfo(nullptr),
      outOfBoundsTiles(0),
      visibleViews{},
      visibleCount(0),
      visibleOverflow(0),
      file_(file),
      world_(nullptr),
      typeRecords_(0) {
    using namespace worldfile;
    CModel* model = CModel::modelPtr;
    if (model && worldModelId >= 0 && static_cast<size_t>(worldModelId) < model->objects.size())
        world_ = dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(worldModelId)]);
    if (!world_ || !file) {
        x_printf("CWorldView: no world model (id %d) or no world file\n", worldModelId);
        return;
    }
    CFileManager* fm = GetFileManager();
    q.allocViewList();
    // 1-3, 5-6: header, statics, detail bitmap, tiles, subtile models and the quad tree.
    if (world_->stmList.empty()) BuildWorldModel(*world_, file);
    wlb = world_->worldMap;
    pObjectTypeInfo = static_cast<_Info*>(fm->loadSubFileLabel(file, kLabelMain, 1));
    typeRecords_ =
        fm->getSubFileLength(file, static_cast<unsigned>(fm->getLabelIndex(file, kLabelMain) + 1)) / 16;
    x_printf("gate object= %d\n", gateObject);

    // 4: object descriptions.
    TypeCursor cursor(pObjectTypeInfo, typeRecords_);
    for (int i = 0; i < wlb->numObjects; ++i) {
        _Info* rec = cursor.next();
        const int kind = rec ? rec->objType : 0;
        if (kind == kKindFinishGate) finishGate = static_cast<int16_t>(rec->objNum - 1);
        if (kind == kKindGate) {
            gateObject = static_cast<int16_t>(rec->objNum - 1);
            numGates = rec->numberOf;
            if (numGates > kGateSlots - 1) {
                x_printf("world has %d gates: only %d kept\n", numGates, kGateSlots - 1);
                numGates = kGateSlots - 1;
            }
        }
        const int id = AddDescriptionFromLabel(file, kLabelFirstDescription + 2 * i, rec);
        CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(id);
        const unsigned collisionLabel = kLabelFirstDescription + 2 * i + 1;
        if (d && (gameOptions.gameOptions & 0x1) && fm->getSubfileCountForLabel(file, collisionLabel) > 0) {
            const int sub = fm->getLabelIndex(file, collisionLabel);
            if (void* block = fm->loadSubFile(file, static_cast<unsigned>(sub))) {
                auto* c = new CKineticCollide(
                    block, static_cast<size_t>(fm->getSubFileLength(file, static_cast<unsigned>(sub))));
                d->collisionIdList.push_back(CResourceStorage<CKineticCollide>::instance().add(c));
            }
        }
        if (i == 0) {
            CSubtileModel::firstObjectId = id;
            x_printf("first world object description= %d\n", id);
        }
    }

    // Terrain renderers, one per subtile model.
    const int lowDetail = fm->getLabelIndex(file, kLabelLowDetail);
    for (CSubtileModel* stm : world_->stmList) {
        const unsigned sub = static_cast<unsigned>(lowDetail + stm->id);
        void* block = fm->loadSubFile(file, sub);
        if (!lowdetail::Check(block, static_cast<size_t>(fm->getSubFileLength(file, sub))).ok) {
            x_printf("%ssubtile %d: low-detail terrain refused\n", x_FileOf(file), stm->id);
            block = nullptr;
        }
        stvList.push_back(std::make_unique<CSubtileViewPS2>(stm, block, nullptr));
        stm->objectList.assign(static_cast<size_t>(wlb->numObjects), nullptr);
    }

    // 7-8: the track cameras and splines follow the placement blocks.
    {
        const auto* main = static_cast<const uint8_t*>(fm->loadSubFileLabel(file, kLabelMain, 0));
        const int mainLength =
            fm->getSubFileLength(file, static_cast<unsigned>(fm->getLabelIndex(file, kLabelMain)));
        uint32_t at = kHeaderSize;
        for (int i = 0; i < wlb->numObjects; ++i)
            for (int s = 0; s < 16 * world_->numTiles; ++s) {
                uint32_t n = 0;
                std::memcpy(&n, main + at, 4);
                at += kBlockHeaderSize + kPlacementSize * n;
            }
        while (at + kCameraSize <= static_cast<uint32_t>(mainLength)) {
            uint32_t type = 0;
            std::memcpy(&type, main + at + 32, 4);
            at += kCameraSize;
            if (type == 0) break;
        }
        if (at <= static_cast<uint32_t>(mainLength))
            CSplineManager::getSplineManager()->loadSplines(main + at, static_cast<size_t>(mainLength) - at,
                                                            static_cast<float>(CSubtileModel::gridSize),
                                                            world_->numTiles);
    }

    // 9: seams and palettes.
    for (const std::unique_ptr<CSubtileViewPS2>& v : stvList) {
        v->setupEdgeStrips(this);
        v->setupEdgeSetup(this);
        v->setupTerrainPalettes();
    }

    // 10: the out-of-bounds tile.
    if (fm->getSubfileCountForLabel(file, kLabelOutOfBounds) > 0) {
        auto* d = new CObjectDescription();
        const int g = AddGeometryFromMasterFile(
            file, static_cast<unsigned>(fm->getLabelIndex(file, kLabelOutOfBounds)));
        d->geometryIdList = {g, g, g};
        d->numUniqueGeometry = 1;
        offtileDescId = CResourceStorage<CObjectDescription>::instance().add(d);
    }
}

CWorldView::~CWorldView() {
    q.reset();
    clearStvList();
}

void CWorldView::clearStvList() {
    stvList.clear();  // first to last
}

void CWorldView::addObjectsToWorld(const std::vector<C3DView*>& views, CSoundView* sounds) {
    using namespace worldfile;
    if (!world_) return;
    CModel* model = CModel::modelPtr;
    CModelObject gates[kGateSlots];
    if (offtileDescId != 0) setupOutOfBoundsTiles(offtileDescId, views);
    auto* main = static_cast<uint8_t*>(GetFileManager()->loadSubFileLabel(file_, kLabelMain, 0));
    uint32_t at = kHeaderSize;
    TypeCursor cursor(pObjectTypeInfo, typeRecords_);
    for (int i = 0; i < wlb->numObjects; ++i) {
        _Info* rec = cursor.next();
        const int kind = rec ? rec->objType : 0;
        const int desc = i + CSubtileModel::firstObjectId;
        for (int s = 0; s < 16 * world_->numTiles; ++s) {
            uint32_t n = 0;
            std::memcpy(&n, main + at, 4);
            auto* records = reinterpret_cast<_Placement*>(main + at + kBlockHeaderSize);
            CSubtileModel* stm = world_->stmList[static_cast<size_t>(s)];
            at += kBlockHeaderSize + kPlacementSize * n;
            if (n == 0 || kind == kKindNone) continue;
            if (kind == kKindGate || kind == kKindFinishGate) {
                stm->objectList[static_cast<size_t>(i)] = records;
                const int slot = i == finishGate ? numGates : i - gateObject;
                if (slot < 0 || slot >= kGateSlots) continue;
                gates[slot].qOrientation.S = records->qw;
                gates[slot].qOrientation.Axis = {records->qx, records->qy, records->qz};
                gates[slot].position = qzVector3d(records->x, records->y, records->z);
                gates[slot].position.pad = records->w;
                gates[slot].descriptionId = desc;
                continue;
            }
            const bool owned = kind == kKindDynamic || kind == kKindJumpArea || kind == kKindLandingArea ||
                               (kind >= 22 && kind <= 26) || kind == kKindStatic;
            if (!owned) {
                stm->objectList[static_cast<size_t>(i)] = records;  // scenery drawn with its subtile
                continue;
            }
            // Every icon counts, however many one subtile holds: the pickup award asks for them all.
            if (kind >= 22 && kind <= 26) CWorldModel::bonus1Count += static_cast<int>(n);
            for (uint32_t r = 0; r < n && model; ++r) {
                const _Placement& p = records[r];
                KineticRigidObject* o = nullptr;
                if (kind == kKindDynamic)
                    o = new CKineticDynamicRigidObject(desc);
                else if (kind == kKindJumpArea)
                    o = new CKineticJumpObject(desc);
                else if (kind == kKindLandingArea)
                    o = new CKineticLandObject(desc);
                else if (kind == kKindStatic)
                    o = new CKineticStaticRigidObject(desc);
                else
                    o = new CKineticPickupObject(desc);
                o->qOrientation.S = p.qw;
                o->qOrientation.Axis = {p.qx, p.qy, p.qz};
                o->position = qzVector3d(p.x, kind == kKindDynamic ? p.y - 10.0f : p.y, p.z);
                if (auto* st = dynamic_cast<CKineticStaticRigidObject*>(o))
                    st->updateModelWorld();
                else if (auto* dy = dynamic_cast<CKineticDynamicRigidObject*>(o))
                    dy->updateModelWorld();
                model->objects.push_back(o);
                const int id = static_cast<int>(model->objects.size()) - 1;
                for (C3DView* v : views) {
                    auto* vo = new CWorldViewObject(id, desc);
                    vo->clipType = CLIP_TYPE_OBJECTCULL;
                    v->insertObject(vo);
                }
                // A static object of a kind with a world sound is heard for the whole race.
                if (kind == kKindStatic && !(_flags & 1u) && rec->ambSoundId > 0)
                    ambient_.push_back({id, rec->ambSoundId});
            }
        }
    }
    if (sounds) addAmbientSounds(sounds);
    x_printf("Total Number of Gates %d\n", numGates);
    if (numGates > 0)
        for (int k = 0; k <= numGates; ++k) world_->addGateObject(gates[k]);
    PrintMemoryLine("InitWorld After collisions: Used Mem = %dk   Free Mem = %dk   Largest Free = %dk\n");
}

void CWorldView::addAmbientSounds(CSoundView* sounds) {
    if (!sounds) return;
    // The sound view owns each sound object (and it its reader) until the view goes with the race.
    for (const AmbientObject& a : ambient_) {
        const int sound = CQZSoundIDs::getGlobalIdFromWorldId(a.worldSound);
        sounds->insertObject(
            new CAmbientSound(a.modelObjectId, kAmbientSoundGroup, CSoundFactory::getReader(sound)));
        ++ambientSounds;
    }
    ambient_.clear();
}

void CWorldView::setupOutOfBoundsTiles(int desc, const std::vector<C3DView*>& views) {
    const int W = CWorldModel::worldWidthInTiles, D = CWorldModel::worldDepthInTiles;
    for (int c = -1; c <= W; ++c) setupOutOfBoundsTile(desc, c, -1, views);
    for (int c = -1; c <= W; ++c) setupOutOfBoundsTile(desc, c, D, views);
    for (int r = 0; r < D; ++r) setupOutOfBoundsTile(desc, -1, r, views);
    for (int r = 0; r < D; ++r) setupOutOfBoundsTile(desc, W, r, views);
}

void CWorldView::setupOutOfBoundsTile(int desc, int c, int r, const std::vector<C3DView*>& views) {
    CModel* model = CModel::modelPtr;
    if (!model) return;
    auto* o = new CBoundingModelObject(desc);
    const float t = static_cast<float>(CSubtileModel::tileSize);
    o->position = qzVector3d(c * t + t / 2, 0.0f, r * t + t / 2);
    model->objects.push_back(o);
    const int id = static_cast<int>(model->objects.size()) - 1;
    for (C3DView* v : views) {
        auto* vo = new CViewObjectClip(id, desc);
        vo->overrideObjectLod1DepthSquared = static_cast<uint32_t>(CWorldModel::terrainLod1DepthSquared);
        vo->overrideObjectLod2DepthSquared = static_cast<uint32_t>(CWorldModel::terrainLod2DepthSquared);
        vo->overrideObjectFarClipDepthSquared =
            static_cast<uint32_t>(CWorldModel::terrainFarClipDepthSquared);
        vo->clipType = CLIP_TYPE_TRICLIP;
        v->insertObject(vo);
    }
    ++outOfBoundsTiles;
}

void CWorldView::render(C3DView* view) {
    if (!world_ || !world_->quadTree) return;
    q.reset();
    _matrix4 identity;
    veMathSetIdentityMatrix(&identity);
    veEngineSetLocalToWorld(&identity);
    veEngineSetFrustumXY(320, 260);
    veDisplayActivateView(&view->_view3d);
    veEngineBuildView(&view->_view3d);
    veDisplaySetMode(0x1000000);
    world_->quadTree->DoIt(q);
    viewList.assign(q.viewList.begin(), q.viewList.end());
    for (int s : viewList)
        stvList[static_cast<size_t>(s)]->calculateLodDepthClip(view, world_->stmList[static_cast<size_t>(s)]);
    veSetDefaultTestEnv1(0, 0, 0, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(0, 0, 0, 0, 0, 0, 1, 2);
    veEngineSetFrustumXY(2047, 2047);
    veDisplayActivateView(&view->_view3d);
    veEngineDmaViewMatrices();
    for (int s : viewList)
        stvList[static_cast<size_t>(s)]->calculateDrawWithClipping(view,
                                                                   world_->stmList[static_cast<size_t>(s)]);
    // The frame's table of subtiles with a level of detail, nearest first when it must be cut.
    visibleCount = 0;
    visibleOverflow = 0;
    for (int s : viewList) {
        CSubtileViewPS2* v = stvList[static_cast<size_t>(s)].get();
        if (v->LOD < 0) continue;
        if (visibleCount == kMaxVisibleSubtiles) {
            ++visibleOverflow;
            continue;
        }
        visibleViews[visibleCount++] = v;
    }
    if (gameOptions.gameOptions & 0x100) {
        veTextureDisableCache();
        for (int k = 0; k < visibleCount; ++k) {
            CSubtileViewPS2* v = visibleViews[k];
            if (v->LOD > 0 && v->drawTerrain) {
                v->render(view);
                v->renderStitching(view, this);
            }
        }
        veTextureEnableCache();
        for (int k = 0; k < visibleCount; ++k) {
            CSubtileViewPS2* v = visibleViews[k];
            if (v->LOD == 0 && v->drawTerrain) {
                v->render(view);
                v->renderStitching(view, this);
            }
        }
        veEngineResetMicroCode();
    }
    if (gameOptions.gameOptions & 0x200) CSubtileViewPS2::renderObjects(this, &viewList, view);
    // Debug: the bodies of the gates and scenery near player 1 as white wire frames.
    if (gameOptions.gameOptions & 0x2) {
        for (const std::unique_ptr<CModelObject>& o : world_->collisionObjects[0]) {
            auto* k = dynamic_cast<KineticRigidObject*>(o.get());
            if (!k) continue;
            for (int b = 0; b < k->getRigidBodyCount(); ++b)
                CUtil::drawDebugRigidBody(k->getRigidBody(b), &view->_view3d, 255, 255, 255);
        }
    }
    veSetDefaultTestEnv1(0, 0, 0, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(0, 0, 0, 0, 0, 0, 1, 2);
    veEngineSetFrustumXY(320, 260);
}
