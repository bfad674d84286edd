// libFuzzer target for the description readers: the input is taken as a master file; its type table
// (sub-file 0) is checked and read record by record, and every label is turned into a description as
// the world loader does, which checks each geometry sub-file before it is used.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/files/object_type_table.h"
#include "game/files/resource_loader.h"
#include "game/model/object_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20) || size < 8) return 0;
    if (!masterfile::Validate(data, static_cast<uint32_t>(size)).ok) return 0;
    auto* image = static_cast<uint8_t*>(x_fn_malloc(static_cast<uint32_t>(size), "", 0));
    if (!image) return 0;
    std::memcpy(image, data, size);
    CFileManager* fm = GetFileManager();
    int n = 0;
    CheckObjectTypeTable(fm->loadSubFile(image, 0), fm->getSubFileLength(image, 0), &n);
    volatile uint32_t sink = 0;
    const auto* types = static_cast<const _Info*>(fm->loadSubFile(image, 0));
    for (int i = 0; i < n; ++i) sink = sink + types[i].objType + types[i].numberOf;
    for (unsigned label = 1; label < 16; ++label) AddDescriptionFromLabel(image, label, nullptr);
    CResourceStorage<CObjectDescription>::instance().deleteAll();
    CResourceStorage<CGeometry>::instance().deleteAll();
    x_free(image);
    return 0;
}
