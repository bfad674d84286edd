#include "game/model/object_connection.h"

CObjectConnection::CObjectConnection() : connectedChildren{nullptr, nullptr} {}

// A connection takes no input of its own.
void CObjectConnection::doAction(const CPacket&, float) {}
