#include "game/model/object_description.h"

CObjectDescription::CObjectDescription() : typeInfo(nullptr), numUniqueGeometry(0) {}

CObjectDescription::~CObjectDescription() = default;
