#include "world/world_file_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/sys/bitmap.h"
#include "engine/sys/files.h"
#include "game/files/master_file_format.h"

namespace {

using namespace worldfile;

// Read-only view of a checked master file image.
struct Image {
    const uint8_t* base;
    uint32_t subFiles;
    uint32_t labelEntries;

    uint32_t entry(uint32_t i) const { return masterfile::ReadU32(base, masterfile::EntryOffset(i)); }
    uint32_t offset(uint32_t i) const { return entry(i) & masterfile::kOffsetMask; }
    uint32_t length(uint32_t i) const {
        return (entry(i + 1) & masterfile::kOffsetMask) - offset(i) - (entry(i) & masterfile::kPadMask);
    }
    uint32_t labelFirst(uint32_t l) const {
        return masterfile::ReadU32(base, masterfile::LabelTableOffset(subFiles) + 4 * l);
    }
    // Sub-files of label l (0 when the label is not in the table, or when the next label starts before
    // it: a damaged table must not turn into a huge count and reads past the sub-file index).
    uint32_t count(uint32_t l) const {
        if (l + 1 >= labelEntries) return 0;
        const uint32_t first = labelFirst(l), next = labelFirst(l + 1);
        return next >= first && next <= subFiles ? next - first : 0;
    }
    const uint8_t* data(uint32_t l, uint32_t k) const { return base + offset(labelFirst(l) + k); }
    uint32_t len(uint32_t l, uint32_t k) const { return length(labelFirst(l) + k); }
};

template <typename T>
T Read(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

bool AllFinite(const float* f, int n) {
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(f[i])) return false;
    return true;
}

// Number of tile-list entries before the end marker.
int TileListLength(const _wlb_file& h) {
    int n = 0;
    while (n < kMaxTiles && h.worldMap[n].column != kTileListEnd && h.worldMap[n].row != kTileListEnd) ++n;
    return n;
}

// An 8-bit palettised graphics file whose pixels and palette lie inside its `length` bytes, read in
// place from a 16-aligned address.
bool ColourBitmapOk(const uint8_t* p, uint32_t length) {
    FsBitmapLayout layout{};
    if (length < sizeof(_FS_BITMAP) || fsCheckBitmap(p, length, &layout) != FS_BITMAP_OK) return false;
    const _FS_BITMAP h = Read<_FS_BITMAP>(p);
    if (h.bitsPerPixel != 8 || !h.palettized || h.numColors == 0 || h.numColors > 256) return false;
    const uint64_t pixels = sizeof(_FS_BITMAP) + static_cast<uint64_t>(h.pixdata);
    const uint64_t palette = (pixels + layout.pixelBytes + 15) & ~15ull;
    return palette + layout.paletteBytes <= length;
}

WorldCheck Fail(const char* why, const WorldLayout& layout) {
    WorldCheck c;
    c.SetFail("%s", why);
    c.layout = layout;
    return c;
}

}  // namespace

WorldCheck CheckWorldFile(const void* image, uint32_t length) {
    WorldLayout L;
    if (!image) return Fail("no image", L);
    const masterfile::Check mc = masterfile::Validate(image, length);
    if (!mc.ok) return Fail("not a master file", L);
    const Image img{static_cast<const uint8_t*>(image), mc.subFiles, mc.labelEntries};

    // Labels 0..7 must be in the table; the descriptions' labels are checked once their count is known.
    if (img.labelEntries < kLabelFirstDescription + 1) return Fail("label table too short", L);
    if (img.count(kLabelMain) < 3) return Fail("label 0 needs header, type table and bonuses", L);

    // Header and tile grid.
    L.mainLength = img.len(kLabelMain, 0);
    if (L.mainLength < kHeaderSize) return Fail("header truncated", L);
    const uint8_t* main = img.data(kLabelMain, 0);
    const _wlb_file h = Read<_wlb_file>(main);
    L.numTiles = TileListLength(h);
    L.tilesPerSide = L.numTiles == 4 ? 2 : L.numTiles == 9 ? 3 : L.numTiles == 16 ? 4 : 0;
    if (L.tilesPerSide == 0) return Fail("tile count is not 4, 9 or 16", L);
    for (int t = 0; t < L.numTiles; ++t)
        if (h.worldMap[t].column != t % L.tilesPerSide || h.worldMap[t].row != t / L.tilesPerSide)
            return Fail("tile list not row by row and complete", L);
    // Integral grid, small enough that every world coordinate stays an exact int.
    if (!std::isfinite(h.scaleXZ) || h.scaleXZ < 1.0f || h.scaleXZ > 1000.0f ||
        h.scaleXZ != std::floor(h.scaleXZ))
        return Fail("scaleXZ not a whole number from 1 to 1000", L);
    if (!std::isfinite(h.scaleY) || h.scaleY < 0.0f) return Fail("scaleY not a finite height", L);
    if (h.worldType > kWorldDarkIndoor) return Fail("unknown world type", L);
    L.gridSize = static_cast<int>(h.scaleXZ);
    L.numObjects = h.numObjects;

    // Counts of the labels.
    if (img.labelEntries < static_cast<uint32_t>(kLabelFirstDescription + 2 * L.numObjects + 1))
        return Fail("label table lacks the object descriptions", L);
    // Every sub-file belongs to a label the header accounts for: sub-files past the descriptions' labels
    // mean an object count cut short (their objects would go unread).
    if (img.labelFirst(kLabelFirstDescription + 2 * L.numObjects) != img.subFiles)
        return Fail("sub-files past the object descriptions", L);
    if (img.count(kLabelTiles) != static_cast<uint32_t>(L.numTiles)) return Fail("tile height count", L);
    if (img.count(kLabelColour) != static_cast<uint32_t>(16 * L.numTiles))
        return Fail("colour bitmap count is not 16 per tile", L);
    if (img.count(kLabelLowDetail) != static_cast<uint32_t>(16 * L.numTiles))
        return Fail("low-detail count is not 16 per tile", L);
    if (img.count(kLabelTerrainMap) < 1) return Fail("no terrain map", L);
    if (img.count(kLabelShared) < 1) return Fail("no detail bitmap", L);
    L.terrainMapLength = img.len(kLabelTerrainMap, 0);

    // Type table: the cursor walk must find a record for every description; a record names the first
    // description of its run; one gate run of at most 24 gates, at most one finish gate.
    const uint32_t typeLength = img.len(kLabelMain, 1);
    if (typeLength % sizeof(_Info) != 0) return Fail("type table not whole records", L);
    L.typeRecords = static_cast<int>(typeLength / sizeof(_Info));
    {
        const uint8_t* table = img.data(kLabelMain, 1);
        int gateRuns = 0, finishRuns = 0;
        for (int i = 0, r = 0; i < L.numObjects; ++r) {
            if (r >= L.typeRecords) return Fail("type records do not cover every description", L);
            const _Info rec = Read<_Info>(table + r * sizeof(_Info));
            const int run = rec.numberOf ? rec.numberOf : 1;
            if (rec.objNum != i + 1) return Fail("type record names the wrong first description", L);
            if (rec.objType == kKindGate) {
                ++gateRuns;
                L.gates = run;
            }
            if (rec.objType == kKindFinishGate) {
                ++finishRuns;
                if (run != 1) return Fail("more than one finish gate", L);
            }
            i += run;
            if (i > L.numObjects) return Fail("type record runs past the descriptions", L);
        }
        if (gateRuns > 1 || finishRuns > 1) return Fail("more than one gate run", L);
        if (L.gates > kMaxGates) return Fail("more than 24 gates", L);
    }

    // Placement blocks, then the cameras, all inside sub-file 0. A placement or a track camera stands
    // over the terrain: x and z inside the tile grid, y no further above or below the heights' span than
    // the world is wide.
    const float extent = static_cast<float>(L.tilesPerSide * kTileCells * L.gridSize);
    const float lowest = -100.0f * h.scaleY - extent, deepest = extent;
    uint64_t at = kHeaderSize;
    const uint64_t blocks = static_cast<uint64_t>(L.numObjects) * L.numTiles * kSubtilesPerTile;
    for (uint64_t b = 0; b < blocks; ++b) {
        if (at + kBlockHeaderSize > L.mainLength) return Fail("placement block past the end", L);
        const uint32_t n = Read<uint32_t>(main + at);
        at += kBlockHeaderSize;
        if (n > (L.mainLength - at) / kPlacementSize) return Fail("placement records past the end", L);
        for (uint32_t k = 0; k < n; ++k, at += kPlacementSize) {
            const _Placement p = Read<_Placement>(main + at);
            if (!AllFinite(&p.x, 8)) return Fail("placement not finite", L);
            if (!(p.x >= 0.0f && p.x <= extent && p.z >= 0.0f && p.z <= extent && p.y >= lowest &&
                  p.y <= deepest))
                return Fail("placement outside the world's bounds", L);
        }
    }
    L.camerasOffset = static_cast<uint32_t>(at);
    for (;; at += kCameraSize) {
        if (at + kCameraSize > L.mainLength) return Fail("camera list has no end", L);
        const _TrackCameraRecord c = Read<_TrackCameraRecord>(main + at);
        if (c.type == 0) break;
        if (!AllFinite(c.pos, 8)) return Fail("camera not finite", L);
        if (!(c.pos[0] >= 0.0f && c.pos[0] <= extent && c.pos[2] >= 0.0f && c.pos[2] <= extent &&
              c.pos[1] >= lowest && c.pos[1] <= deepest))
            return Fail("camera outside the world's bounds", L);
        ++L.cameras;
    }
    L.splineOffset = static_cast<uint32_t>(at + kCameraSize);
    L.splineLength = L.mainLength - L.splineOffset;
    if (L.splineLength == 0) return Fail("no spline section", L);

    // Bonus awards.
    if (img.len(kLabelMain, 2) < kBonusBytes) return Fail("bonus awards truncated", L);
    {
        const _TrackBonusAwards a = Read<_TrackBonusAwards>(img.data(kLabelMain, 2));
        for (uint32_t k = 0; k < kBonusAwards; ++k) {
            if (a.type[k] < TRACK_BONUS_NONE || a.type[k] > JUMP_OVER) return Fail("bonus type unknown", L);
            if (!std::isfinite(a.value[k])) return Fail("bonus value not finite", L);
            if (!std::memchr(a.text1[k], 0, kBonusTextSize) || !std::memchr(a.text2[k], 0, kBonusTextSize))
                return Fail("bonus text not terminated", L);
        }
    }

    // Tiles and subtiles.
    for (int t = 0; t < L.numTiles; ++t)
        if (img.len(kLabelTiles, t) != kTileBytes) return Fail("tile heights not 114688 bytes", L);
    for (int s = 0; s < 16 * L.numTiles; ++s) {
        if (!ColourBitmapOk(img.data(kLabelColour, s), img.len(kLabelColour, s)))
            return Fail("subtile colour bitmap not an 8-bit palettised image", L);
        if (img.len(kLabelLowDetail, s) < kLowDetailBytes) return Fail("low-detail block truncated", L);
    }
    WorldCheck good;
    good.layout = L;
    return good;
}

bool ValidateWorldFile(const void* image, uint32_t length, const char* name) {
    const WorldCheck c = CheckWorldFile(image, length);
    if (!c.ok) x_printf("world %s refused: %s\n", name ? name : "?", c.why);
    return c.ok;
}

// ---- Writing ------------------------------------------------------------------------------------

namespace {

template <typename T>
void Append(std::vector<uint8_t>& out, const T& v) {
    const auto* p = reinterpret_cast<const uint8_t*>(&v);
    out.insert(out.end(), p, p + sizeof v);
}

}  // namespace

std::vector<uint8_t> MakeLowDetailBlock() {
    return std::vector<uint8_t>(kLowDetailBytes, 0);  // packet count (word at 168) 0
}

std::vector<uint8_t> WriteWorldFile(const WorldDescription& w) {
    const int side = w.tilesPerSide;
    if (side < 2 || side > 4 || w.gridSize < 1 || w.gridSize > 1000) return {};
    const int numTiles = side * side;
    const int cells = side * kTileCells;
    if (w.heights.size() != static_cast<size_t>(cells) * cells) return {};
    if (w.colourBitmaps.size() != static_cast<size_t>(16 * numTiles)) return {};
    if (!w.lowDetail.empty() && w.lowDetail.size() != static_cast<size_t>(16 * numTiles)) return {};
    if (w.descriptions.size() > 255) return {};
    const int n = static_cast<int>(w.descriptions.size());
    for (const WorldPlacement& p : w.placements)
        if (p.description < 0 || p.description >= n) return {};

    // Header, placement blocks, cameras, splines.
    _wlb_file h{};
    for (int t = 0; t < kMaxTiles; ++t)
        h.worldMap[t] = t < numTiles
                            ? _TileCoord{static_cast<uint16_t>(t % side), static_cast<uint16_t>(t / side)}
                            : _TileCoord{kTileListEnd, kTileListEnd};
    h.scaleY = w.scaleY;
    h.scaleXZ = static_cast<float>(w.gridSize);
    h.numObjects = static_cast<uint8_t>(n);
    h.worldType = w.worldType;
    std::vector<uint8_t> main;
    Append(main, h);

    // Records per (description, global subtile), kept in input order.
    const int subtilesPerSide = 4 * side;
    const float subtileSize = static_cast<float>(kSubtileCells * w.gridSize);
    std::vector<std::vector<const _Placement*>> bins(static_cast<size_t>(n) * subtilesPerSide *
                                                     subtilesPerSide);
    for (const WorldPlacement& p : w.placements) {
        const int a =
            std::clamp(static_cast<int>(std::floor(p.record.x / subtileSize)), 0, subtilesPerSide - 1);
        const int b =
            std::clamp(static_cast<int>(std::floor(p.record.z / subtileSize)), 0, subtilesPerSide - 1);
        bins[(static_cast<size_t>(p.description) * subtilesPerSide + b) * subtilesPerSide + a].push_back(
            &p.record);
    }
    for (int i = 0; i < n; ++i)
        for (int t = 0; t < numTiles; ++t)
            for (int k = 0; k < 4; ++k)
                for (int j = 0; j < 4; ++j) {
                    const int a = (t % side) * 4 + j, b = (t / side) * 4 + k;
                    const auto& bin =
                        bins[(static_cast<size_t>(i) * subtilesPerSide + b) * subtilesPerSide + a];
                    Append(main, _PlacementBlock{static_cast<uint32_t>(bin.size()), {0, 0, 0}});
                    for (const _Placement* r : bin) Append(main, *r);
                }
    for (const _TrackCameraRecord& c : w.cameras) Append(main, c);
    Append(main, _TrackCameraRecord{});
    main.insert(main.end(), w.splineSection.begin(), w.splineSection.end());

    MasterFileWriter mf;
    mf.beginLabel();  // 0
    mf.add(main);
    mf.add(WriteObjectTypeTable(w.typeTable));
    mf.add(&w.bonuses, sizeof w.bonuses);

    mf.beginLabel();  // 1: tiles in list order
    std::vector<uint8_t> tile(kTileBytes);
    for (int t = 0; t < numTiles; ++t) {
        _TileData* td = reinterpret_cast<_TileData*>(tile.data());
        std::memset(td, 0, sizeof *td);
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j)
                for (int r = 0; r < kSubtileCells; ++r)
                    for (int c = 0; c < kSubtileCells; ++c) {
                        const int x = (t % side) * kTileCells + j * kSubtileCells + c;
                        const int z = (t / side) * kTileCells + k * kSubtileCells + r;
                        td->subtiles[k][j].rows[r].samples[c] = w.heights[static_cast<size_t>(z) * cells + x];
                    }
        mf.add(tile);
    }
    mf.beginLabel();  // 2
    mf.add(w.detailBitmap);
    mf.add(w.skyGeometry);
    mf.add(w.hudMap);
    mf.beginLabel();  // 3
    for (const auto& b : w.colourBitmaps) mf.add(b);
    mf.beginLabel();  // 4
    mf.add(w.terrainMap);
    mf.beginLabel();  // 5
    const std::vector<uint8_t> lowDetail = MakeLowDetailBlock();
    for (int s = 0; s < 16 * numTiles; ++s) mf.add(w.lowDetail.empty() ? lowDetail : w.lowDetail[s]);
    mf.beginLabel();  // 6
    if (!w.outOfBounds.empty()) mf.add(w.outOfBounds);
    mf.beginLabel();  // 7
    if (!w.arenaGeometry.empty() || !w.arenaCollision.empty()) {
        mf.add(w.arenaGeometry);
        mf.add(w.arenaCollision);
    }
    AddDescriptionLabels(mf, w.descriptions);
    return mf.build();
}

bool MapWorldImage(const std::vector<uint8_t>& image, WorldImageMap* map) {
    const WorldCheck c = CheckWorldFile(image.data(), static_cast<uint32_t>(image.size()));
    if (!c.ok) return false;
    const masterfile::Check mc = masterfile::Validate(image.data(), static_cast<uint32_t>(image.size()));
    const Image img{image.data(), mc.subFiles, mc.labelEntries};
    map->main = img.offset(img.labelFirst(kLabelMain));
    map->typeTable = img.offset(img.labelFirst(kLabelMain) + 1);
    map->bonuses = img.offset(img.labelFirst(kLabelMain) + 2);
    map->firstTile = img.offset(img.labelFirst(kLabelTiles));
    map->firstColour = img.offset(img.labelFirst(kLabelColour));
    map->layout = c.layout;
    return true;
}
