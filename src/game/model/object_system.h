// Base of model objects that manage a population of sub-objects (the particle system).
#pragma once

#include <cstdint>
#include <vector>

#include "game/model/dynamic_object.h"
#include "game/model/object_connection.h"

class CObjectSystem : public CDynamicObject {
public:
    CObjectSystem();
    ~CObjectSystem() override;

    virtual void Update(float time);

    std::vector<uint32_t> objects;
    std::vector<CObjectConnection> connections;
};
