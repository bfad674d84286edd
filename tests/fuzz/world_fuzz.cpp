// Feeds world images to the world checks and, when they pass, builds the world model and queries its
// terrain. The input is either a whole image (first byte even) or byte edits of a small written world
// (first byte odd: 5-byte records of u32 offset and new byte), so the checks past the container are
// reached too. The spline section it locates goes to the spline checks.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/sys/bitmap_format.h"
#include "engine/sys/heap.h"
#include "world/spline_format.h"
#include "world/subtile_model.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace {

std::vector<uint8_t> SeedWorld() {
    WorldDescription w;
    w.tilesPerSide = 2;
    w.gridSize = 3;
    const int cells = 2 * worldfile::kTileCells;
    w.heights.resize(static_cast<size_t>(cells) * cells);
    for (size_t i = 0; i < w.heights.size(); ++i) w.heights[i] = static_cast<uint16_t>(i * 7);
    BitmapImage img;
    img.width = img.height = 4;
    img.pixels.assign(16, 1);
    img.palette.assign(16, 0xFF204080u);
    const auto bitmap = WriteBitmap(img);
    w.colourBitmaps.assign(64, bitmap);
    w.detailBitmap = bitmap;
    w.typeTable = {MakeTypeRecord(1, 2, 1, 1, 0, 1), MakeTypeRecord(2, 40, 0, 1, 0, 1)};
    w.descriptions.resize(2);
    for (int i = 0; i < 3; ++i) {
        WorldPlacement p;
        p.description = i % 2;
        p.record.x = 100.0f * i;
        p.record.z = 50.0f * i;
        w.placements.push_back(p);
    }
    _TrackCameraRecord cam{};
    cam.type = 1;
    w.cameras = {cam};
    SplineSection splines;
    for (int i = 0; i < 4; ++i)
        splines[0].points.push_back(SplinePointFromWorld(100.0f + 90 * i, 0, 200, 1, 3, 4));
    w.splineSection = WriteSplineSection(splines);
    w.terrainMap.assign(32, 0);
    for (auto& t : w.bonuses.type) t = TRACK_BONUS_NONE;
    return WriteWorldFile(w);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > (1u << 20)) return 0;
    static const std::vector<uint8_t> seed = SeedWorld();
    std::vector<uint8_t> bytes;
    if (data[0] & 1) {
        bytes = seed;
        for (size_t at = 1; at + 5 <= size; at += 5) {
            uint32_t offset;
            std::memcpy(&offset, data + at, 4);
            bytes[offset % bytes.size()] = data[at + 4];
        }
    } else {
        bytes.assign(data + 1, data + size);
    }
    void* image = x_fn_malloc(static_cast<uint32_t>(bytes.empty() ? 1 : bytes.size()), "", 0);
    if (!image) return 0;
    if (!bytes.empty()) std::memcpy(image, bytes.data(), bytes.size());
    const WorldCheck c = CheckWorldFile(image, static_cast<uint32_t>(bytes.size()));
    if (c.ok) {
        WorldImageMap map;
        MapWorldImage(bytes, &map);
        CheckSplineSection(static_cast<uint8_t*>(image) + map.main + c.layout.splineOffset,
                           c.layout.splineLength, static_cast<float>(c.layout.gridSize));
        auto* model = new CWorldModel;
        BuildWorldModel(*model, image);
        volatile float sink = 0;
        std::vector<float> row(896);
        for (int i = 0; i < 64; ++i) {
            const float x = static_cast<float>((i * 97) % 1500) - 20.0f,
                        z = static_cast<float>((i * 53) % 1500);
            float h;
            qzVector3d n;
            model->getHeightAndNormalAt(x, z, h, n);
            sink = sink + h + model->getLocationPixelColor(qzVector3d(x, 0, z)).x;
            // Whole rows cost as much as the rest of the queries together: every eighth point reads one.
            if (i % 8 == 0) {
                model->getRowHeights(i * 31 - 5, row.data());
                sink = sink + row[895];
            }
        }
        (void)sink;
        delete model;
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
    }
    x_free(image);
    return 0;
}
