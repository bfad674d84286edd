#include "game/model/packet.h"

#include <cstring>

#include "engine/sys/clock.h"

uint32_t CPacket::next_id = 0;

CPacket::CPacket(int affectedObject, PacketType type, int action, const unsigned char* parms)
    : _packetID(next_id++),
      _timestamp(x_GetTime()),
      _affectedObject(affectedObject),
      _type(type),
      _action(action) {
    if (parms)
        std::memcpy(_parms, parms, sizeof(_parms));
    else
        std::memset(_parms, 0, sizeof(_parms));
}

CPacket::CPacket(int affectedObject, PacketType type, int action, unsigned char parm)
    : _packetID(next_id++),
      _timestamp(x_GetTime()),
      _affectedObject(affectedObject),
      _type(type),
      _action(action) {
    std::memset(_parms, 0, sizeof(_parms));
    _parms[0] = parm;
}
