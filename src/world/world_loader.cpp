#include "world/world_loader.h"

#include <cstdio>
#include <memory>

#include "console/cd/disc_faults.h"
#include "engine/sys/files.h"
#include "engine/sys/heap.h"
#include "game/files/file_manager.h"
#include "game/files/master_file_format.h"
#include "game/files/texture.h"
#include "world/spline_format.h"
#include "world/subtile_model.h"
#include "world/terrain_map_format.h"
#include "world/world_file_format.h"
#include "world/world_model.h"
#include "world/world_quad_tree.h"

void* LoadWorldFile(const char* name) {
    void* image = GetFileManager()->loadFile(name);
    if (!image) return nullptr;
    // The file manager checked the master file against the file's length: its end entry bounds it.
    const uint32_t n = masterfile::ReadU32(image, 0);
    const uint32_t length = masterfile::ReadU32(image, masterfile::EntryOffset(n)) & masterfile::kOffsetMask;
    // One check of everything the race will read, each part by its own module: the container, then the
    // spline section and the terrain map it locates. The first fault refuses the world with one line.
    const WorldCheck c = CheckWorldFile(image, length);
    FormatCheck fault = c;
    if (!c.ok) x_printf("world %s refused: %s\n", name, c.why);
    CFileManager* fm = GetFileManager();
    if (fault.ok) {
        const auto* main = static_cast<const uint8_t*>(fm->loadSubFileLabel(image, worldfile::kLabelMain, 0));
        const SplineCheck s = ValidateSplineSection(main + c.layout.splineOffset, c.layout.splineLength,
                                                    static_cast<float>(c.layout.gridSize), name);
        if (!s.ok) fault.SetFail("spline %d: %s", s.spline, s.why);
    }
    if (fault.ok) {
        const int map = fm->getLabelIndex(image, worldfile::kLabelTerrainMap);
        fault = terrainmap::CheckMap(
            fm->loadSubFile(image, static_cast<unsigned>(map)),
            static_cast<size_t>(fm->getSubFileLength(image, static_cast<unsigned>(map))));
    }
    if (!fault.ok) {
        // The race ends at once without its world, as without a missing one: the program tells the user.
        char why[sizeof fault.why + 32];
        std::snprintf(why, sizeof why, "not a valid world (%s)", fault.why);
        console::CdReportDamaged(name, why);
        x_free(image);
        return nullptr;
    }
    return image;
}

void BuildWorldModel(CWorldModel& model, void* image) {
    using namespace worldfile;
    CFileManager* fm = GetFileManager();
    CWorldModel::resetStatics();
    CSubtileModel::resetStatics();

    auto* header = static_cast<_wlb_file*>(fm->loadSubFileLabel(image, kLabelMain, 0));
    model.worldMap = header;
    CSubtileModel::gridSize = static_cast<int>(header->scaleXZ);
    CSubtileModel::subtileSize = static_cast<int>(kSubtileCells * header->scaleXZ);
    CSubtileModel::tileSize = 4 * CSubtileModel::subtileSize;
    CSubtileModel::numObjects = header->numObjects;
    CWorldModel::worldType = header->worldType;
    CWorldModel::worldWidth = CWorldModel::worldDepth = static_cast<float>(CSubtileModel::gridSize * 896);

    const int detail = fm->getLabelIndex(image, kLabelShared);
    if (fm->getSubFileLength(image, static_cast<unsigned>(detail)) > 0)
        CSubtileModel::detailBitmap =
            LoadTexture(fm->loadSubFile(image, static_cast<unsigned>(detail)),
                        fm->getSubFileLength(image, static_cast<unsigned>(detail)), detail);

    int maxColumn = 0, maxRow = 0, t = 0;
    CWorldQuadTree policy;
    for (; t < kMaxTiles && header->worldMap[t].column != kTileListEnd &&
           header->worldMap[t].row != kTileListEnd;
         ++t) {
        const int tc = header->worldMap[t].column, tr = header->worldMap[t].row;
        maxColumn = tc > maxColumn ? tc : maxColumn;
        maxRow = tr > maxRow ? tr : maxRow;
        model.tileData[t] = static_cast<_TileData*>(fm->loadSubFileLabel(image, kLabelTiles, t));
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j) {
                const int s = 16 * t + 4 * k + j;
                auto* stm = new CSubtileModel(j, k, tc, tr, &model.tileData[t]->subtiles[k][j],
                                              header->scaleY, 0.0f, s);
                model.stmList.push_back(stm);
                const int colour = fm->getLabelIndex(image, kLabelColour) + s;
                stm->terrainBitmap.reset(
                    LoadTexture(fm->loadSubFile(image, static_cast<unsigned>(colour)),
                                fm->getSubFileLength(image, static_cast<unsigned>(colour)), colour));
                if (!model.quadTree)
                    model.quadTree = std::make_unique<CQuadTree<CModelObject*, CWorldQuadTree>>(stm);
                else
                    model.quadTree->Add(stm, policy);
            }
    }
    model.numTiles = t;
    CWorldModel::worldWidthInTiles = maxColumn + 1;
    CWorldModel::worldDepthInTiles = maxRow + 1;
    static const float kRGBA[6][4] = {{83, 83, 83, 128}, {41.5f, 41.5f, 41.5f, 128}, {63, 63, 93, 128},
                                      {93, 63, 63, 128}, {83, 83, 83, 128},          {83, 83, 83, 128}};
    if (header->worldType < 6)
        for (int i = 0; i < 4; ++i) CWorldModel::worldRGBA[i] = kRGBA[header->worldType][i];
}
