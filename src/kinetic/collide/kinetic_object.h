// The base class of every engine object; adds nothing to ReferenceObject but the common root.
#pragma once

#include "kinetic/collide/reference_object.h"

namespace Kinetic {

class KineticObject : public ReferenceObject {
public:
    KineticObject() = default;
    ~KineticObject() override = default;
};

}  // namespace Kinetic
