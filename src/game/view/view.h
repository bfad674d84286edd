// A way of presenting the model: a list of view objects (an object's id in the view is its index; a
// removed object leaves an empty slot) walked by update and render. The view objects belong to the
// view kind's recycle bin, never to the view.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/sys/files.h"
#include "game/view/view_object.h"

template <typename T>
class CRecycleBin;

template <typename T>
class CView {
public:
    CView() = default;
    virtual ~CView();
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    virtual void render();
    virtual void update(float value);
    virtual CRecycleBin<T>* getRecycleBin() = 0;

    // Appends `obj` and hands it to the bin; returns its index in this view.
    int insertObject(CViewObject<T>* obj);
    // Takes `obj` out of this view and of every other view of its kind; the bin deletes it later, so
    // this is safe from inside the object's own update.
    void removeObject(CViewObject<T>* obj);
    // Empties this view's slots holding `obj` (the bin's removal calls it for each view).
    void forgetObject(const CViewObject<T>* obj) {
        for (CViewObject<T>*& slot : _objects)
            if (slot == obj) slot = nullptr;
    }

    std::vector<CViewObject<T>*> _objects;
    int32_t _cameraID = -1;
    uint32_t deleteObjectFlag = 0;
    CRecycleBin<T>* _bin = nullptr;  // the bin this view registered with
};

#include "game/view/recycle_bin.h"

template <typename T>
CView<T>::~CView() {
    if (_bin) _bin->dropView(this);
    _objects.clear();
}

template <typename T>
int CView<T>::insertObject(CViewObject<T>* obj) {
    if (_objects.empty()) _objects.reserve(1);
    _objects.push_back(obj);
    if (CRecycleBin<T>* bin = getRecycleBin()) {
        if (_bin != bin) {
            if (_bin) _bin->dropView(this);
            _bin = bin;
            bin->addView(this);
        }
        bin->insertObject(obj);
    }
    return static_cast<int>(_objects.size()) - 1;
}

template <typename T>
void CView<T>::removeObject(CViewObject<T>* obj) {
    if (!obj) return;
    forgetObject(obj);
    if (_bin) _bin->removeObject(obj);
}

template <typename T>
void CView<T>::update(float value) {
    // By index and re-reading the size: an object's update may insert or remove objects.
    for (size_t i = 0; i < _objects.size(); ++i) {
        CViewObject<T>* o = _objects[i];
        if (!o) {
            x_printf("object not found (object_id=%d)\n", static_cast<int>(i));
            continue;
        }
        o->update(static_cast<T*>(this), value);
    }
}

template <typename T>
void CView<T>::render() {
    for (size_t i = 0; i < _objects.size(); ++i) {
        CViewObject<T>* o = _objects[i];
        if (!o) {
            x_printf("object not found (object_id=%d)\n", static_cast<int>(i));
            continue;
        }
        o->render(static_cast<T*>(this));
    }
}
