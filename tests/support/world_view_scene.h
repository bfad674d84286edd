// A world drawn headless: the engine booted once, a model holding a camera object and the world model,
// a world view over a world image in the engine heap, one full-screen 3D view, and frames read back from
// the display. Shared by the world view tests and the world view benchmark.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/main_loop.h"
#include "console/gs/gs_device.h"
#include "engine/hal/display.h"
#include "engine/hal/engine.h"
#include "engine_boot.h"
#include "game/files/file_manager.h"
#include "game/files/resource_loader.h"
#include "game/files/resource_storage.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/view/view_3d.h"
#include "heap_image.h"
#include "race/scene/world_view.h"
#include "world/spline_manager.h"
#include "world/subtile_model.h"
#include "world/world_model.h"

namespace testsupport {

class WorldViewScene {
public:
    // `backdrop`: the sky and arena are drawn too (after the world view, as view objects). `sounds`: the
    // placed objects' ambient sounds go there, with the world view's `_flags` set to `worldFlags` first.
    WorldViewScene(const std::vector<uint8_t>& worldBytes, int trackType, int options = 0x300,
                   bool backdrop = true, CSoundView* sounds = nullptr, uint32_t worldFlags = 0)
        : image_(worldBytes) {
        BootEngineOnce();
        gameOptions.gameOptions = options;
        model_ = std::make_unique<CModel>();
        CModel::modelPtr = model_.get();
        camera = new CModelObject();
        model_->objects.push_back(camera);
        world = new CWorldModel();
        model_->objects.push_back(world);
        model_->worldId = 1;
        CWorldView::installDrawDistances(trackType, false);
        view = std::make_unique<C3DView>(0, 1);
        view->_cameraID = 0;
        worldView = std::make_unique<CWorldView>(image_.p, 1, -1);
        worldView->_flags = worldFlags;
        worldView->addObjectsToWorld({view.get()}, sounds);
        // The sky and, indoors, the arena round the world centre, as the race places them.
        if (!backdrop) return;
        CFileManager* fm = GetFileManager();
        const float centre = CWorldModel::worldWidthInTiles * CSubtileModel::tileSize * 0.5f;
        const int shared = fm->getLabelIndex(image_.p, worldfile::kLabelShared);
        sky_ = addBackdrop(static_cast<unsigned>(shared + 1), centre);
        if (fm->getSubfileCountForLabel(image_.p, worldfile::kLabelArena) > 0)
            addBackdrop(static_cast<unsigned>(fm->getLabelIndex(image_.p, worldfile::kLabelArena)), centre);
    }
    ~WorldViewScene() {
        worldView.reset();
        view.reset();
        for (CModelObject* o : model_->objects) delete o;
        model_->objects.clear();
        CModel::modelPtr = nullptr;
        model_.reset();
        CResourceStorage<CObjectDescription>::instance().deleteAll();
        CSplineManager::cleanUp();
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
    }

    // Camera at `eye` looking at `at` (world units; up is -y).
    void look(float ex, float ey, float ez, float ax, float ay, float az) {
        float f[3] = {ax - ex, ay - ey, az - ez};
        Normalise(f);
        // Screen down is world +y, kept at right angles to the forward direction.
        float d[3] = {0, 1, 0};
        const float k = d[0] * f[0] + d[1] * f[1] + d[2] * f[2];
        for (int i = 0; i < 3; ++i) d[i] -= k * f[i];
        if (!Normalise(d)) d[0] = 0, d[1] = 0, d[2] = 1;
        const float r[3] = {d[1] * f[2] - d[2] * f[1], d[2] * f[0] - d[0] * f[2], d[0] * f[1] - d[1] * f[0]};
        const float p[3] = {ex, ey, ez};
        _matrix4 m{};
        for (int i = 0; i < 3; ++i) {
            m.M[i * 4 + 0] = r[i];
            m.M[i * 4 + 1] = d[i];
            m.M[i * 4 + 2] = f[i];
        }
        m.M[12] = -(p[0] * r[0] + p[1] * r[1] + p[2] * r[2]);
        m.M[13] = -(p[0] * d[0] + p[1] * d[1] + p[2] * d[2]);
        m.M[14] = -(p[0] * f[0] + p[1] * f[1] + p[2] * f[2]);
        m.M[15] = 1.0f;
        veDisplaySetCameraMatrix(&view->_view3d, &m);
        camera->position = qzVector3d(ex, ey, ez);
        if (sky_) sky_->position = qzVector3d(ex, 0, ez);  // the sky goes with the eye
    }

    // One frame of the world view; `shown` true runs a second, empty frame so that this one is on the
    // display (ReadDisplay).
    void frame(bool shown = true) {
        veEngineBeginFrame();
        veDisplayActivateView(&view->_view3d);
        worldView->render(view.get());
        view->render();  // the placed objects' own view objects
        veEngineEndFrame();
        if (shown) {
            // The next frame's start runs this one's list; the one after waits for the blank showing it.
            for (int k = 0; k < 2; ++k) {
                veEngineBeginFrame();
                veEngineEndFrame();
            }
        }
    }
    std::vector<uint8_t> pixels() const {
        std::vector<uint8_t> rgba(640 * 448 * 4);
        console::gs::Gs().ReadDisplay(rgba.data());
        return rgba;
    }

    CModelObject* camera = nullptr;
    CWorldModel* world = nullptr;
    std::unique_ptr<C3DView> view;
    std::unique_ptr<CWorldView> worldView;

private:
    CModelObject* addBackdrop(unsigned subFile, float centre) {
        auto* d = new CObjectDescription();
        d->geometryIdList = {AddGeometryFromMasterFile(image_.p, subFile), -1, -1};
        auto* o = new CModelObject(CResourceStorage<CObjectDescription>::instance().add(d));
        o->position = qzVector3d(centre, 0, centre);
        o->qOrientation.S = 1.0f;
        model_->objects.push_back(o);
        auto* vo = new C3DViewObject(static_cast<int>(model_->objects.size()) - 1, o->descriptionId);
        vo->clipType = CLIP_TYPE_TRICLIP;
        view->insertObject(vo);
        return o;
    }
    static bool Normalise(float v[3]) {
        const float l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (!(l > 1e-6f)) return false;
        for (int i = 0; i < 3; ++i) v[i] /= l;
        return true;
    }
    HeapImage image_;
    CModelObject* sky_ = nullptr;
    std::unique_ptr<CModel> model_;
};

}  // namespace testsupport
