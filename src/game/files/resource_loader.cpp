#include "game/files/resource_loader.h"

#include <algorithm>

#include "engine/sys/files.h"
#include "game/files/file_manager.h"
#include "game/files/geometry.h"
#include "game/files/texture.h"
#include "game/model/object_description.h"

int AddGeometryFromMasterFile(void* image, unsigned int subFile) {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFile(image, subFile);
    CGeometry* g = LoadGeometry(data, fm->getSubFileLength(image, subFile), static_cast<int>(subFile));
    return g ? CResourceStorage<CGeometry>::instance().add(g) : -1;
}

int AddTextureFromMasterFile(void* image, unsigned int subFile) {
    CFileManager* fm = GetFileManager();
    void* data = fm->loadSubFile(image, subFile);
    CTexture* t = LoadTexture(data, fm->getSubFileLength(image, subFile), static_cast<int>(subFile));
    return t ? CResourceStorage<CTexture>::instance().add(t) : -1;
}

int AddDescriptionFromLabel(void* image, unsigned int label, _Info* typeInfo) {
    CFileManager* fm = GetFileManager();
    auto* d = new CObjectDescription();
    d->typeInfo = typeInfo;
    const int first = fm->getLabelIndex(image, label);
    const int count = fm->getSubfileCountForLabel(image, label);
    const void* previous = nullptr;
    int previousId = -1;
    for (int k = 0; first >= 0 && k < count; ++k) {
        const unsigned int index = static_cast<unsigned int>(first + k);
        void* data = fm->loadSubFile(image, index);
        int id = previousId;
        if (!data || data != previous) id = AddGeometryFromMasterFile(image, index);
        previous = data;
        previousId = id;
        if (std::find(d->geometryIdList.begin(), d->geometryIdList.end(), id) == d->geometryIdList.end())
            d->numUniqueGeometry += 1;
        d->geometryIdList.push_back(id);
    }
    bool padded = false;
    while (d->geometryIdList.size() < 3) {
        if (!padded &&
            std::find(d->geometryIdList.begin(), d->geometryIdList.end(), -1) == d->geometryIdList.end())
            d->numUniqueGeometry += 1;
        padded = true;
        d->geometryIdList.push_back(-1);
    }
    return CResourceStorage<CObjectDescription>::instance().add(d);
}
