#include "bike/world_height.h"

#include "game/model/model.h"
#include "world/world_model.h"

bool WorldHeightAt(float x, float z, float* height) {
    CModel* model = GetModel();
    if (model->worldId < 0 || static_cast<size_t>(model->worldId) >= model->objects.size()) return false;
    auto* world = dynamic_cast<CWorldModel*>(model->objects[static_cast<size_t>(model->worldId)]);
    if (!world) return false;
    *height = world->getHeightAt(x, z);
    return true;
}
