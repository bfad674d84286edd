#include "world/world_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "world/subtile_model.h"
#include "world/world_quad_tree.h"

int CWorldModel::worldType = 0;
int CWorldModel::worldWidthInTiles = 0;
int CWorldModel::worldDepthInTiles = 0;
int CWorldModel::bonus1Count = 0;
float CWorldModel::worldRGBA[4] = {83.0f, 83.0f, 83.0f, 128.0f};
float CWorldModel::worldWidth = 0.0f;
float CWorldModel::worldDepth = 0.0f;
float CWorldModel::terrainLod1DepthSquared = 0.0f;
float CWorldModel::terrainLod2DepthSquared = 0.0f;
float CWorldModel::terrainFarClipDepthSquared = 0.0f;
float CWorldModel::scaleHeight = 0.0f;
_SubtileHeightData* CWorldModel::lastSubtileHeightDataPtr = nullptr;
CSubtileModel* CWorldModel::lastSubtileModel = nullptr;
const CWorldModel* CWorldModel::lastWorld = nullptr;

namespace {

constexpr int kCells = worldfile::kSubtileCells;

// Corners (column offset, row offset) of the triangle under a point, by row parity and side.
struct Corners {
    int d[3][2];
};
constexpr Corners kEvenLow{{{0, 0}, {1, 0}, {0, 1}}};
constexpr Corners kEvenHigh{{{1, 1}, {0, 1}, {1, 0}}};
constexpr Corners kOddLow{{{0, 0}, {1, 0}, {1, 1}}};
constexpr Corners kOddHigh{{{0, 0}, {1, 1}, {0, 1}}};

}  // namespace

CWorldModel::CWorldModel()
    : worldMap(nullptr),
      tileData{},
      numTiles(0),
      lastSubtileX(-1),
      lastSubtileZ(-1),
      lastXSubtile(-1),
      lastZSubtile(-1),
      lastXTile(-1),
      lastZTile(-1),
      quadTree(nullptr),
      collisionObjects{},
      collisionRecords{},
      lastUpdateTime(-1.0f) {}

CWorldModel::~CWorldModel() {
    bonus1Count = 0;
    gateObjects.clear();
    if (quadTree) {
        CWorldQuadTree policy;
        CQuadTree<CModelObject*, CWorldQuadTree>::DelTree(std::move(quadTree), policy);
    } else {
        for (CSubtileModel* s : stmList) delete s;
    }
    for (auto& racer : collisionObjects)
        for (std::unique_ptr<CModelObject>& c : racer) c.reset();
    stmList.clear();
    if (lastWorld == this) {
        lastWorld = nullptr;
        lastSubtileHeightDataPtr = nullptr;
        lastSubtileModel = nullptr;
    }
}

void CWorldModel::resetStatics() {
    worldType = 0;
    worldWidthInTiles = worldDepthInTiles = 0;
    bonus1Count = 0;
    worldWidth = worldDepth = 0.0f;
    scaleHeight = 0.0f;
    lastSubtileHeightDataPtr = nullptr;
    lastSubtileModel = nullptr;
    lastWorld = nullptr;
}

bool CWorldModel::lookupSubtile(int x, int z) {
    const int S = CSubtileModel::subtileSize;
    if (S <= 0) return false;
    const int a = x / S, b = z / S;
    if (lastWorld == this && a == lastSubtileX && b == lastSubtileZ)
        return lastSubtileHeightDataPtr && lastSubtileModel;
    const int tc = a / 4, tr = b / 4;
    lastXTile = tc;
    lastZTile = tr;
    const int j = a % 4, k = b % 4;
    lastXSubtile = j;
    lastZSubtile = k;
    lastSubtileX = a;
    lastSubtileZ = b;
    lastWorld = this;
    lastSubtileHeightDataPtr = nullptr;
    lastSubtileModel = nullptr;
    if (tc >= worldWidthInTiles || tr >= worldDepthInTiles) return false;
    const int tile = tr * worldWidthInTiles + tc;
    if (tile >= numTiles || !tileData[tile]) return false;
    lastSubtileHeightDataPtr = &tileData[tile]->subtiles[k][j];
    const size_t s = static_cast<size_t>(16 * tile + 4 * k + j);
    lastSubtileModel = s < stmList.size() ? stmList[s] : nullptr;
    return lastSubtileModel != nullptr;
}

bool CWorldModel::sampleAt(int X, int Z, uint16_t* out) const {
    const int tc = X / worldfile::kTileCells, tr = Z / worldfile::kTileCells;
    if (tc >= worldWidthInTiles || tr >= worldDepthInTiles) return false;
    const int tile = tr * worldWidthInTiles + tc;
    if (tile >= numTiles || !tileData[tile]) return false;
    const int x = X % worldfile::kTileCells, z = Z % worldfile::kTileCells;
    *out = tileData[tile]->subtiles[z / kCells][x / kCells].rows[z % kCells].samples[x % kCells];
    return true;
}

int CWorldModel::getLocation(qzVector3d tri[3], int x, int z) {
    if (x < 0 || z < 0 || !lookupSubtile(x, z)) return 0;
    const int g = CSubtileModel::gridSize, S = CSubtileModel::subtileSize;
    const int ox = lastSubtileX * S, oz = lastSubtileZ * S;
    const int col = (x - ox) / g, row = (z - oz) / g;
    const int fx = x - ox - col * g, fz = z - oz - row * g;
    const Corners& c = (row & 1) == 0 ? (fx + fz < g ? kEvenLow : kEvenHigh) : (fz < fx ? kOddLow : kOddHigh);
    const _SubtileHeightData* block = lastSubtileHeightDataPtr;
    for (int i = 0; i < 3; ++i) {
        const int cc = col + c.d[i][0], rr = row + c.d[i][1];
        uint16_t sample;
        if (cc < kCells && rr < kCells)
            sample = block->rows[rr].samples[cc];
        else if (!sampleAt(lastSubtileX * kCells + cc, lastSubtileZ * kCells + rr, &sample))
            return 0;
        tri[i].x = static_cast<float>(ox + cc * g);
        tri[i].y = static_cast<float>(sample) * scaleHeight;
        tri[i].z = static_cast<float>(oz + rr * g);
    }
    return 1;
}

float CWorldModel::getHeightAt(float x, float z) {
    float h = 0.0f;
    qzVector3d n;
    getHeightAndNormalAt(x, z, h, n);
    return h;
}

int CWorldModel::getHeightAndNormalAt(float x, float z, float& height, qzVector3d& normal) {
    qzVector3d tri[3];
    // Negative coordinates would truncate toward zero into the first cell: they have no terrain.
    if (!(x >= 0.0f && z >= 0.0f) || x >= 2.0e9f || z >= 2.0e9f ||
        !getLocation(tri, static_cast<int>(x), static_cast<int>(z))) {
        height = 0.0f;
        return 0;
    }
    const _vector3d p{x, 0.0f, z};
    veMathVectorTriNormalAndPoint(&height, &normal, &tri[0], &tri[1], &tri[2], &p);
    return 1;
}

void CWorldModel::getRowHeights(int row, float* heights) {
    constexpr int kRow = 4 * worldfile::kTileCells;  // 896
    float last = 0.0f;
    const int tr = row / worldfile::kTileCells;
    const int k = (row % worldfile::kTileCells) / kCells, r = row % kCells;
    int written = 0;
    if (row >= 0 && tr < worldDepthInTiles) {
        for (int tc = 0; tc < worldWidthInTiles && tc < 4; ++tc) {
            const int tile = tr * worldWidthInTiles + tc;
            if (tile >= numTiles || !tileData[tile]) break;
            for (int j = 0; j < 4; ++j)
                for (int c = 0; c < kCells; ++c)
                    heights[written++] = last =
                        tileData[tile]->subtiles[k][j].rows[r].samples[c] * scaleHeight;
        }
    }
    for (; written < kRow; ++written) heights[written] = last;
}

int CWorldModel::getAreaHeightsWithinSubtile(int gridX, int gridZ, int columns, int rows, int skip,
                                             float* heights) {
    if (gridX < 0 || gridZ < 0 || columns < 0 || rows < 0) return 0;
    const int tc = gridX / worldfile::kTileCells, tr = gridZ / worldfile::kTileCells;
    if (tc >= worldWidthInTiles || tr >= worldDepthInTiles) return 0;
    const int tile = tr * worldWidthInTiles + tc;
    if (tile >= numTiles || !tileData[tile]) return 0;
    const int j = (gridX % worldfile::kTileCells) / kCells, k = (gridZ % worldfile::kTileCells) / kCells;
    const size_t s = static_cast<size_t>(16 * tile + 4 * k + j);
    if (s >= stmList.size() || !stmList[s]) return 0;
    const int c0 = gridX % kCells, r0 = gridZ % kCells;
    if (c0 + columns > kCells || r0 + rows > kCells) return 0;
    const _SubtileHeightData& block = tileData[tile]->subtiles[k][j];
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) *heights++ = block.rows[r0 + r].samples[c0 + c] * scaleHeight;
        heights += skip;
    }
    return 1;
}

int CWorldModel::getAreaTris(float x, float z, float width, float depth, qzVector3d* tris, int& columns,
                             int& rows) {
    const int g = CSubtileModel::gridSize;
    if (g <= 0 || !(x >= 0.0f && z >= 0.0f && width >= 0.0f && depth >= 0.0f)) return 0;
    const float gf = static_cast<float>(g);
    if (x / gf > 1.0e8f || z / gf > 1.0e8f || width / gf > 1.0e8f || depth / gf > 1.0e8f) return 0;
    const int gridX = static_cast<int>(x / gf), gridZ = static_cast<int>(z / gf);
    columns = static_cast<int>(std::ceil(width / gf) + 1.0f);
    rows = static_cast<int>(std::ceil(depth / gf) + 1.0f);
    // At most one subtile's width: the gather below covers one subtile corner.
    if (columns > kCells + 1 || rows > kCells + 1) return 0;
    float h[(kCells + 1) * (kCells + 1)] = {};
    const int c1 = std::min(columns, kCells - gridX % kCells), r1 = std::min(rows, kCells - gridZ % kCells);
    if (!getAreaHeightsWithinSubtile(gridX, gridZ, c1, r1, columns - c1, h)) return 0;
    if (c1 < columns) getAreaHeightsWithinSubtile(gridX + c1, gridZ, columns - c1, r1, c1, h + c1);
    if (r1 < rows)
        getAreaHeightsWithinSubtile(gridX, gridZ + r1, c1, rows - r1, columns - c1, h + r1 * columns);
    if (c1 < columns && r1 < rows)
        getAreaHeightsWithinSubtile(gridX + c1, gridZ + r1, columns - c1, rows - r1, c1,
                                    h + r1 * columns + c1);
    auto H = [&](int u, int v) { return h[v * columns + u]; };
    qzVector3d* out = tris;
    for (int v = 0; v + 1 < rows; ++v)
        for (int u = 0; u + 1 < columns; ++u) {
            const float X0 = static_cast<float>((gridX + u) * g), X1 = X0 + gf;
            const float Z0 = static_cast<float>((gridZ + v) * g), Z1 = Z0 + gf;
            *out++ = qzVector3d(X0, H(u, v), Z0);
            *out++ = qzVector3d(X0, H(u, v + 1), Z1);
            *out++ = qzVector3d(X1, H(u + 1, v), Z0);
            *out++ = qzVector3d(X0, H(u, v + 1), Z1);
            *out++ = qzVector3d(X1, H(u + 1, v), Z0);
            *out++ = qzVector3d(X1, H(u + 1, v + 1), Z1);
        }
    --columns;
    --rows;
    return columns * rows;
}

int CWorldModel::getAreaTris(CBoundingBox* box, qzVector3d* tris, int& columns, int& rows) {
    const float g = static_cast<float>(CSubtileModel::gridSize);
    if (!box || g <= 0.0f) return 0;
    const float gx0 = std::floor(box->minX / g), gz0 = std::floor(box->minZ / g);
    const float gx1 = std::ceil(box->maxX / g), gz1 = std::ceil(box->maxZ / g);
    const float side = std::max(g * (gx1 - gx0), g * (gz1 - gz0));
    return getAreaTris(box->minX, box->minZ, side, side, tris, columns, rows);
}

qzVector3d CWorldModel::getLocationPixelColor(qzVector3d position) {
    const qzVector3d none(0.0f, 0.0f, 0.0f);
    if (!(position.x >= 0.0f && position.z >= 0.0f) || position.x >= 2.0e9f || position.z >= 2.0e9f)
        return none;
    const int x = static_cast<int>(position.x), z = static_cast<int>(position.z);
    if (!lookupSubtile(x, z)) return none;
    const CTexture* bitmap = lastSubtileModel->terrainBitmap.get();
    if (!bitmap || bitmap->fsBitmap.width == 0 || bitmap->fsBitmap.height == 0) return none;
    const float S = static_cast<float>(CSubtileModel::subtileSize);
    const float u = static_cast<float>(x % CSubtileModel::subtileSize) / S;
    const float v = static_cast<float>(z % CSubtileModel::subtileSize) / S;
    // Two texels each way: the neighbours stay inside the bitmap (getPixelColor clamps the edges).
    const float du = 2.0f / static_cast<float>(bitmap->fsBitmap.width);
    const float dv = 2.0f / static_cast<float>(bitmap->fsBitmap.height);
    const float offsets[9][2] = {{du, 0},   {-du, 0},   {0, dv},   {0, -dv}, {du, dv},
                                 {du, -dv}, {-du, -dv}, {-du, dv}, {0, 0}};
    const float k = std::sin(X_PI / 16.0f);
    float acc[3] = {0, 0, 0}, err[3] = {0, 0, 0};
    CPixelColor centre{};
    for (const auto& o : offsets) {
        const CPixelColor s = bitmap->getPixelColor(u + o[0], v + o[1]);
        const float ch[3] = {s.r, s.g, s.b};
        for (int i = 0; i < 3; ++i) {
            acc[i] += k * err[i];
            err[i] = ch[i] - acc[i];
        }
        centre = s;
    }
    qzVector3d out(acc[0], acc[1], acc[2]);
    out.pad = centre.a;
    return out;
}

int CWorldModel::checkNearEdgeOfWorld(qzVector3d position) {
    const float side =
        static_cast<float>(worldWidthInTiles * worldfile::kTileCells * CSubtileModel::gridSize);
    return position.x < kEdgeMargin || position.x > side - kEdgeMargin || position.z < kEdgeMargin ||
                   position.z > side - kEdgeMargin
               ? 1
               : 0;
}

qzVector3d CWorldModel::getWorldCenter() {
    const float side =
        static_cast<float>(worldWidthInTiles * worldfile::kTileCells * CSubtileModel::gridSize);
    return qzVector3d(side / 2.0f, 0.0f, side / 2.0f);
}

void CWorldModel::addGateObject(const CModelObject& gate) {
    gateObjects.push_back(gate);
}
