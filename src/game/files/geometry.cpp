#include "game/files/geometry.h"

#include "console/mem/addr.h"
#include "engine/sys/files.h"
#include "engine/sys/loaded_files.h"
#include "game/files/texture.h"

CGeometry::CGeometry(void* data) : geo(static_cast<_FS_GEO_HEADER*>(data)) {
    veEngineInitGeo(geo);
}

void CGeometry::replaceTextures(const std::vector<int>* ids) {
    if (!ids || ids->empty() || !geo) return;
    uint32_t* slots = veEngineGetGeoMaterialTbl(geo);
    const int materials = veEngineGetGeoNumMaterials(geo);
    for (int i = 0; i < static_cast<int>(ids->size()) && i < materials; ++i) {
        CTexture* t = CResourceStorage<CTexture>::instance().get((*ids)[static_cast<size_t>(i)]);
        // The texture's first field is its bitmap header, which is what a material slot addresses.
        slots[i] = t ? Addr32(&t->fsBitmap) : 0;
    }
}

CGeometry* LoadGeometry(void* data, int length, int subFile) {
    if (!data || length <= 0) {
        x_printf("%sgeometry sub-file %d missing\n", x_FileOf(data), subFile);
        return nullptr;
    }
    if (!veEngineCheckGeo(data, static_cast<size_t>(length))) {
        x_printf("%sgeometry sub-file %d refused\n", x_FileOf(data), subFile);
        return nullptr;
    }
    return new CGeometry(data);
}
