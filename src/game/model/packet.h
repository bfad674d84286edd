// The one message type between controllers (pads, AI) and the model: an action word and ten parameter
// bytes addressed to a model object by id.
#pragma once

#include <cstdint>

enum PacketType : int32_t {
    PKT_INVALID = 0,
    PKT_ACTION = 1,
    PKT_ACK = 2,
    PKT_NACK = 3,
    PKT_UPDATE = 4,
    PKT_LAST = 5,
};

class CPacket {
public:
    // Serial numbers run over the whole process and are never reset.
    static uint32_t next_id;

    CPacket(int affectedObject, PacketType type, int action, const unsigned char* parms);
    CPacket(int affectedObject, PacketType type, int action, unsigned char parm);

    uint32_t _packetID;
    float _timestamp;
    int32_t _affectedObject;
    PacketType _type;
    int32_t _action;
    uint8_t _parms[10];
};
static_assert(sizeof(CPacket) == 32, "packets keep their 32-byte record");
