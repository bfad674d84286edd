// The object type table of a world file: consecutive 16-byte records, each covering a run of object
// descriptions, which point at their record (CObjectDescription::typeInfo). Shared by the loaders and
// the disc writer.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/format_check.h"

struct _Info {
    uint8_t objNum;   // 1-based number of the first description of the run
    uint8_t objType;  // object kind
    uint8_t hitSoundId;
    uint8_t ambSoundId;  // world sound index, 0: none
    float friction;
    float elasticity;
    uint16_t massInKg;
    uint8_t numberOf;  // descriptions covered; 0 counts as 1
    uint8_t flags;
};
static_assert(sizeof(_Info) == 16, "type records are 16 bytes");

// Refused, with a log line, when the table is null or its length is negative or not a whole number of
// records. `records` receives the number of whole records (-1 when refused).
FormatCheck CheckObjectTypeTable(const void* table, int length, int* records = nullptr);
