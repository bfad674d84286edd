// Object descriptions as a world-style master file carries them: the object type table (16-byte
// records, game/files/object_type_table.h) and, per description, one label of geometry sub-files (one
// per level of detail) followed by one label holding its collision data block (or nothing).
#pragma once

#include <cstdint>
#include <vector>

#include "game/files/master_file_format.h"
#include "game/files/object_type_table.h"

struct DescriptionData {
    std::vector<std::vector<uint8_t>> geometries;  // geometry blocks, most detailed first
    std::vector<uint8_t> collision;                // a collision data block; empty: none
};

// The type table image.
std::vector<uint8_t> WriteObjectTypeTable(const std::vector<_Info>& records);

// A type record covering `count` descriptions starting with 1-based number `first`.
_Info MakeTypeRecord(uint8_t first, uint8_t kind, uint8_t count, float friction, float elasticity,
                     uint16_t massInKg, uint8_t ambientSound = 0);

// Appends two labels per description, in order: its geometries, then its collision block. The first
// description's geometry label is the next label the writer begins.
void AddDescriptionLabels(MasterFileWriter& writer, const std::vector<DescriptionData>& descriptions);
