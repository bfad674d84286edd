// A model object with a bounding box, which it can take from the first geometry of its description.
#pragma once

#include "game/model/bounding_box.h"
#include "game/model/model_object.h"

class CBoundingModelObject : public CModelObject {
public:
    CBoundingModelObject();
    explicit CBoundingModelObject(int descriptionId);

    CBoundingBox* getBounds() override;
    // Borrows the corner set of the description's first geometry; -1, an id outside the description
    // store, an empty geometry list or a geometry id outside its store leave the box as it is.
    void setBoundingBox(int descriptionId);

    CBoundingBox bBox;
};
