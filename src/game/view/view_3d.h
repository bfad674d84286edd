// One split-screen 3D viewport: the engine's 3D view plus front and back 2D views over the same
// rectangle. All 3D views share one recycle bin of 3D view objects.
#pragma once

#include <cstdint>

#include "engine/hal/display.h"
#include "game/view/recycle_bin.h"
#include "game/view/view.h"

class CModelObject;

class C3DView : public CView<C3DView> {
public:
    static CRecycleBin<C3DView>* _recycleBin;
    // How a camera object prepares a view before it is drawn; installed by the race for the length of a
    // race. Without it the view draws with the camera it last had.
    static void (*setupCamera)(CModelObject* camera, C3DView* view);

    // Viewport `v` of `n` (1 or 2) stacked viewports of the 640 x 448 screen.
    C3DView(unsigned int v, unsigned int n);
    ~C3DView() override;

    void render() override;
    CRecycleBin<C3DView>* getRecycleBin() override { return _recycleBin; }

    void setNearPlane(float nearPlane);
    void setFarPlane(float farPlane);

    _ve_view _view3d;
    _ve_view _view2d;
    _ve_view _backView2d;
    int32_t viewNum;
};
