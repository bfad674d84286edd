// Holds every view object of one kind once and owns it: only the bin deletes view objects. A view that
// drops an object only empties its slots; the bin empties the object's slots in every view it serves
// (the same object may sit in several split-screen views) and deletes the object with itself, so no
// object is deleted while a view, or the bin, still points at it.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/sys/files.h"
#include "game/view/view_object.h"

template <typename T>
class CView;

template <typename T>
class CRecycleBin {
public:
    CRecycleBin() = default;
    ~CRecycleBin();
    CRecycleBin(const CRecycleBin&) = delete;
    CRecycleBin& operator=(const CRecycleBin&) = delete;

    // Takes `obj` (a view object new from its maker) unless the bin already holds it.
    void insertObject(CViewObject<T>* obj) {
        if (!obj || holds(obj)) return;
        _objects.emplace_back(obj);
    }
    bool holds(const CViewObject<T>* obj) const {
        return std::find_if(_objects.begin(), _objects.end(),
                            [obj](const auto& o) { return o.get() == obj; }) != _objects.end();
    }
    // Takes `obj` out of every view served by this bin; it is deleted with the bin.
    void removeObject(CViewObject<T>* obj);

    // Views register when they first insert an object and leave when destroyed.
    void addView(CView<T>* view) {
        if (std::find(_views.begin(), _views.end(), view) == _views.end()) _views.push_back(view);
    }
    void dropView(CView<T>* view) {
        _views.erase(std::remove(_views.begin(), _views.end(), view), _views.end());
    }

    std::vector<std::unique_ptr<CViewObject<T>>> _objects;

private:
    std::vector<CView<T>*> _views;
};

#include "game/view/view.h"

template <typename T>
void CRecycleBin<T>::removeObject(CViewObject<T>* obj) {
    for (CView<T>* v : _views) v->forgetObject(obj);
}

template <typename T>
CRecycleBin<T>::~CRecycleBin() {
    // Views that outlive the bin must not keep pointers to the objects deleted here.
    for (CView<T>* v : _views) {
        for (CViewObject<T>*& slot : v->_objects) slot = nullptr;
        v->_bin = nullptr;
    }
    _views.clear();
    for (std::unique_ptr<CViewObject<T>>& o : _objects) o.reset();
    x_printf("CRecyclBin.inl Destructor\n");
    _objects.clear();
}
