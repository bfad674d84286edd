#include "game/model/object_system.h"

CObjectSystem::CObjectSystem() = default;

CObjectSystem::~CObjectSystem() = default;

void CObjectSystem::Update(float) {}
