#include "world/subtile_model.h"

#include "world/world_model.h"

int CSubtileModel::gridSize = 0;
int CSubtileModel::subtileSize = 0;
int CSubtileModel::tileSize = 0;
int CSubtileModel::numObjects = 0;
int CSubtileModel::firstObjectId = 0;
CTexture* CSubtileModel::detailBitmap = nullptr;

CSubtileModel::CSubtileModel(int subX_, int subZ_, int tx_, int tz_, _SubtileHeightData* heights,
                             float scaleY, float minHeight, int id_)
    : subX(subX_), subZ(subZ_), tx(tx_), tz(tz_), heightData(heights), id(id_) {
    CWorldModel::scaleHeight = -(scaleY - minHeight) / 655.35f;
    const float g = static_cast<float>(gridSize);
    const float x0 = 224.0f * g * tx + 56.0f * g * subX, x1 = 224.0f * g * tx + 56.0f * g * (subX + 1);
    const float z0 = 224.0f * g * tz + 56.0f * g * subZ, z1 = 224.0f * g * tz + 56.0f * g * (subZ + 1);
    float low, high;
    getMinMaxHeight(&low, &high);
    terrainBBox.setBoundingBox(x0, low - 10.0f, z0, x1, high + 10.0f, z1);
    bBox.setBoundingBox(x0, low - 2500.0f, z0, x1, high + 10.0f, z1);
    subXPos = static_cast<float>(subX * subtileSize);
    subZPos = static_cast<float>(subZ * subtileSize);
    txPos = static_cast<float>(tx * tileSize);
    tzPos = static_cast<float>(tz * tileSize);
}

CSubtileModel::~CSubtileModel() {
    terrainBitmap.reset();
    // The first subtile destroyed releases the shared detail bitmap for all.
    delete detailBitmap;
    detailBitmap = nullptr;
}

void CSubtileModel::getMinMaxHeight(float* low, float* high) const {
    uint16_t lo = 0xFFFF, hi = 0;
    for (const _SubtileHeightRow& row : heightData->rows)
        for (uint16_t s : row.samples) {
            lo = s < lo ? s : lo;
            hi = s > hi ? s : hi;
        }
    // scaleHeight is negative: the largest sample is the highest point, the smallest y.
    *low = static_cast<float>(hi) * CWorldModel::scaleHeight;
    *high = static_cast<float>(lo) * CWorldModel::scaleHeight;
}

void CSubtileModel::resetStatics() {
    gridSize = subtileSize = tileSize = numObjects = firstObjectId = 0;
    delete detailBitmap;
    detailBitmap = nullptr;
}
