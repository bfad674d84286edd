#include "game/files/object_description_format.h"

#include <cstring>

std::vector<uint8_t> WriteObjectTypeTable(const std::vector<_Info>& records) {
    std::vector<uint8_t> out(records.size() * sizeof(_Info));
    if (!records.empty()) std::memcpy(out.data(), records.data(), out.size());
    return out;
}

_Info MakeTypeRecord(uint8_t first, uint8_t kind, uint8_t count, float friction, float elasticity,
                     uint16_t massInKg, uint8_t ambientSound) {
    _Info r{};
    r.objNum = first;
    r.objType = kind;
    r.hitSoundId = 0;
    r.ambSoundId = ambientSound;
    r.friction = friction;
    r.elasticity = elasticity;
    r.massInKg = massInKg;
    r.numberOf = count;
    r.flags = 0;
    return r;
}

void AddDescriptionLabels(MasterFileWriter& writer, const std::vector<DescriptionData>& descriptions) {
    for (const DescriptionData& d : descriptions) {
        writer.beginLabel();
        for (const auto& g : d.geometries) writer.add(g);
        writer.beginLabel();
        if (!d.collision.empty()) writer.add(d.collision);
    }
}
