#include "game/files/object_type_table.h"

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

int CheckObjectTypeTable(const void* table, int length) {
    if (!table || length < 0) {
        x_printf("%sobject type table missing\n", x_FileOf(table));
        return -1;
    }
    if (length % static_cast<int>(sizeof(_Info)) != 0) {
        x_printf("%sobject type table: %d bytes is not a whole number of records\n", x_FileOf(table), length);
        return -1;
    }
    return length / static_cast<int>(sizeof(_Info));
}
