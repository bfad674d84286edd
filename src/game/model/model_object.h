// Root of every simulated thing of a race: a position, an orientation and the id of its description.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"

class CBoundingBox;

class CModelObject {
public:
    CModelObject();
    explicit CModelObject(int descriptionId);
    virtual ~CModelObject();

    virtual CBoundingBox* getBounds();
    virtual void update(float time);
    // Called when the object is taken out of the model's table.
    virtual void cleanup();

    qzVector3d position;
    int32_t descriptionId;
    qzQuaternion qOrientation;
};
