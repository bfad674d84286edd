// One thing a view presents: it draws the model object `modelObjectId` (or, at -1, something fixed to
// the screen) from the description `descriptionId`.
#pragma once

#include <cstdint>

template <typename T>
class CViewObject {
public:
    CViewObject() = default;
    CViewObject(int modelObjectId_, int descriptionId_)
        : descriptionId(descriptionId_), modelObjectId(modelObjectId_) {}
    virtual ~CViewObject() = default;

    virtual void render(T* view) = 0;
    virtual void update(T* view, float value) = 0;
    virtual void modelObjectRemoved(T* view) = 0;

    int32_t textureId = 0;
    int32_t descriptionId = -1;
    int32_t modelObjectId = -1;
};
