#include "game/view/view_3d.h"

#include "engine/hal/engine.h"
#include "game/model/model.h"
#include "game/model/model_object.h"

CRecycleBin<C3DView>* C3DView::_recycleBin = nullptr;
void (*C3DView::setupCamera)(CModelObject*, C3DView*) = nullptr;

C3DView::C3DView(unsigned int v, unsigned int n)
    : _view3d{}, _view2d{}, _backView2d{}, viewNum(static_cast<int32_t>(v)) {
    if (n == 0) n = 1;
    const unsigned int height = 448 / n;
    const unsigned int y = v * height;
    veDisplayCreateView3D(&_view3d, 0, static_cast<uint16_t>(y), 640, static_cast<uint16_t>(height),
                          n == 2 ? 17 : 1, 1.0f, 131072.0f);
    veDisplayCreateView2D(&_backView2d, 0, static_cast<uint16_t>(y), 640, static_cast<uint16_t>(height), 1,
                          0.999999f);
    veDisplayCreateView2D(&_view2d, 0, static_cast<uint16_t>(y), 640, static_cast<uint16_t>(height), 1,
                          0.001f);
    veDisplaySetActiveView(&_view3d);
    if (!_recycleBin) _recycleBin = new CRecycleBin<C3DView>();
}

C3DView::~C3DView() {
    x_printf("C3DView Destructor\n");
    // The first 3D view destroyed takes every 3D view object with it (race teardown).
    if (_recycleBin) {
        CRecycleBin<C3DView>* bin = _recycleBin;
        _recycleBin = nullptr;
        delete bin;
    }
}

void C3DView::render() {
    CModel* model = CModel::modelPtr;
    CModelObject* camera = nullptr;
    if (model && _cameraID >= 0 && static_cast<size_t>(_cameraID) < model->objects.size())
        camera = model->objects[static_cast<size_t>(_cameraID)];
    if (camera && setupCamera) setupCamera(camera, this);
    CView<C3DView>::render();
}

void C3DView::setNearPlane(float f) {
    veEngineSetNearPlane(f);
    _view3d.nearPlane = f;
}

void C3DView::setFarPlane(float f) {
    veEngineSetFarPlane(f);
    _view3d.farPlane = f;
}
