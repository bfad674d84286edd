// A link between two dynamic objects of an object system, with the point on each where they join.
#pragma once

#include "game/model/dynamic_object.h"

class CObjectConnection : public CDynamicObject {
public:
    CObjectConnection();
    void doAction(const CPacket& packet, float dt) override;

    CDynamicObject* connectedChildren[2];
    qzVector3d connectionPoints[2];
};
