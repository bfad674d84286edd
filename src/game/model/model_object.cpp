#include "game/model/model_object.h"

CModelObject::CModelObject() : CModelObject(-1) {}

CModelObject::CModelObject(int id) : descriptionId(id) {
    // The identity, built from the angles (0, 0, 0) as every placed object's starting pose.
    Q_SetupFromAngles(&qOrientation, 0.0f, 0.0f, 0.0f);
}

CModelObject::~CModelObject() = default;

CBoundingBox* CModelObject::getBounds() {
    return nullptr;
}

void CModelObject::update(float) {}

void CModelObject::cleanup() {}
