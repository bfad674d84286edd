#include "game/files/object_type_table.h"

#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"

FormatCheck CheckObjectTypeTable(const void* table, int length, int* records) {
    if (records) *records = -1;
    FormatCheck c;
    if (!table || length < 0)
        c.SetFail("object type table missing");
    else if (length % static_cast<int>(sizeof(_Info)) != 0)
        c.SetFail("object type table: %d bytes is not a whole number of records", length);
    if (!c.ok) {
        x_printf("%s%s\n", x_FileOf(table), c.why);
        return c;
    }
    if (records) *records = length / static_cast<int>(sizeof(_Info));
    return c;
}
