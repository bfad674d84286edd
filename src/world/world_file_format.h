// The world file: one packed master file per track (game/files/master_file_format.h), used in place.
//
//   label 0    sub-file 0: header (_wlb_file, 80 bytes), placement blocks, track cameras, spline section
//              sub-file 1: object type table (_Info records, game/files/object_type_table.h)
//              sub-file 2: track bonus awards (_TrackBonusAwards)
//   label 1    sub-file t: heights of tile t (_TileData), in tile-list order
//   label 2    sub-files 0, 1, 2: detail bitmap, sky geometry, HUD map image
//   label 3    sub-file s: colour bitmap of subtile s (8-bit palettised graphics file)
//   label 4    sub-file 0: terrain type map (world/terrain_map_format.h)
//   label 5    sub-file s: low-detail terrain of subtile s
//   label 6    out-of-bounds tile geometry (optional)
//   label 7    arena geometry and arena collision (optional)
//   label 8+2i geometries of object description i, one per level of detail
//   label 9+2i collision block of description i (optional)
//
// Subtile s = 16 t + 4 k + j (column j, row k of tile t). A subtile is 56 x 56 cells of `gridSize`
// units; tile (c, r) covers x from c * 224 g to (c + 1) * 224 g, z likewise with r. Up is -y.
//
// Placement blocks run from byte 80: for each description i, each tile t in list order, each subtile
// row k, each column j: a 16-byte block header (u32 count, 12 unused bytes) and `count` 32-byte
// records. The camera records follow the last block, ended by a whole record of type 0; the spline
// section (world/spline_format.h) follows that ending record and runs to the end of sub-file 0.
//
// Every world is checked once by CheckWorldFile before anything reads it; the readers then trust
// the counts, offsets and lengths it checked. WriteWorldFile builds images from a world description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "console/mem/format_check.h"

#include "game/files/object_description_format.h"
#include "game/files/object_type_table.h"
#include "game/stats/track_bonus.h"  // TRACK_BONUS_TYPE

namespace worldfile {

inline constexpr uint32_t kHeaderSize = 80;
inline constexpr int kMaxTiles = 16;
inline constexpr int kSubtilesPerTile = 16;
inline constexpr int kSubtileCells = 56;              // samples per subtile side
inline constexpr int kTileCells = 4 * kSubtileCells;  // 224
inline constexpr uint32_t kRowBytes = 128;            // 16 reserved bytes + 56 samples
inline constexpr uint32_t kRowReserved = 16;
inline constexpr uint32_t kSubtileBytes = 56 * kRowBytes;   // 7,168
inline constexpr uint32_t kTileBytes = 16 * kSubtileBytes;  // 114,688
inline constexpr uint32_t kBlockHeaderSize = 16;
inline constexpr uint32_t kPlacementSize = 32;
inline constexpr uint32_t kCameraSize = 48;
inline constexpr uint32_t kBonusAwards = 5;
inline constexpr uint32_t kBonusTextSize = 100;
inline constexpr uint32_t kBonusBytes = 1040;
inline constexpr int kMaxGates = 24;
inline constexpr uint16_t kTileListEnd = 0xFFFF;
inline constexpr uint32_t kLowDetailBytes = 176;  // minimal low-detail block: no packets

enum Label : uint32_t {
    kLabelMain = 0,
    kLabelTiles = 1,
    kLabelShared = 2,  // detail bitmap, sky, HUD map
    kLabelColour = 3,
    kLabelTerrainMap = 4,
    kLabelLowDetail = 5,
    kLabelOutOfBounds = 6,
    kLabelArena = 7,
    kLabelFirstDescription = 8,  // 8 + 2i geometries, 9 + 2i collision
};

// Object kinds of the type table that the loaders treat specially.
enum ObjectKind : uint8_t {
    kKindNone = 0,
    kKindGate = 2,
    kKindFinishGate = 3,
    kKindDynamic = 6,
    kKindJumpArea = 7,
    kKindLandingArea = 8,
    kKindStatic = 29,
};

enum WorldType : uint8_t {
    kWorldNormal,
    kWorldNight,
    kWorldWinter,
    kWorldSunset,
    kWorldDesert,
    kWorldDarkIndoor
};

}  // namespace worldfile

struct _TileCoord {
    uint16_t column;
    uint16_t row;
};

struct _wlb_file {
    _TileCoord worldMap[16];  // ends at the first 0xFFFF column or row, or after 16 entries
    float scaleY;             // sample 65535 lies at y = -100 * scaleY
    float scaleXZ;            // grid spacing; always integral
    uint8_t numObjects;
    uint8_t worldType;
    uint8_t pad[6];
};
static_assert(sizeof(_wlb_file) == worldfile::kHeaderSize);

struct _PlacementBlock {
    uint32_t count;
    uint32_t unused[3];
};
static_assert(sizeof(_PlacementBlock) == worldfile::kBlockHeaderSize);

struct _Placement {
    float x, y, z, w;      // world units; bits 0-7 of w are the near-collider mask at run time: keep clear
    float qw, qx, qy, qz;  // scalar first
};
static_assert(sizeof(_Placement) == worldfile::kPlacementSize);

struct _TrackCameraRecord {
    float pos[4];
    float dir[4];
    uint32_t type;  // 1 fixed look, 2 turning, 0 ends the list, others switch the camera off
    uint32_t unused[3];
};
static_assert(sizeof(_TrackCameraRecord) == worldfile::kCameraSize);
static_assert(offsetof(_TrackCameraRecord, type) == 32);

struct _TrackBonusAwards {
    int32_t type[worldfile::kBonusAwards];  // TRACK_BONUS_TYPE
    float value[worldfile::kBonusAwards];
    char text1[worldfile::kBonusAwards][worldfile::kBonusTextSize];  // NUL-terminated
    char text2[worldfile::kBonusAwards][worldfile::kBonusTextSize];
};
static_assert(sizeof(_TrackBonusAwards) == worldfile::kBonusBytes);

struct _SubtileHeightRow {
    uint8_t reserved[worldfile::kRowReserved];   // written by the terrain renderer; zeros on disc
    uint16_t samples[worldfile::kSubtileCells];  // column c along +x; y = sample * -scaleY / 655.35
};
static_assert(sizeof(_SubtileHeightRow) == worldfile::kRowBytes);

struct _SubtileHeightData {
    _SubtileHeightRow rows[worldfile::kSubtileCells];  // row r along +z
};
static_assert(sizeof(_SubtileHeightData) == worldfile::kSubtileBytes);

struct _TileData {
    _SubtileHeightData subtiles[4][4];  // [row k][column j]
};
static_assert(sizeof(_TileData) == worldfile::kTileBytes);

// ---- Validation ---------------------------------------------------------------------------------

// Where the parts of a checked world lie (byte offsets inside label 0 sub-file 0, counts).
struct WorldLayout {
    int tilesPerSide = 0;  // 2, 3 or 4
    int numTiles = 0;
    int gridSize = 0;
    int numObjects = 0;
    int typeRecords = 0;
    int gates = 0;               // descriptions of kind 2 (at most 24)
    int cameras = 0;             // records before the ending one
    uint32_t camerasOffset = 0;  // first camera record
    uint32_t splineOffset = 0;   // first byte after the ending camera record
    uint32_t splineLength = 0;   // to the end of sub-file 0
    uint32_t mainLength = 0;     // length of sub-file 0
    uint32_t terrainMapLength = 0;
};

struct WorldCheck : FormatCheck {
    WorldLayout layout;
};

// Checks the whole world image of `length` bytes: the master file itself, the label table, header and
// tile grid, type table coverage and gate count, placement blocks, cameras, bonuses, tile heights, and
// the counts and graphics files of the per-subtile labels. It does not look inside the spline section
// or the terrain map (their own modules check them); it gives their place in `layout`.
WorldCheck CheckWorldFile(const void* image, uint32_t length);

// CheckWorldFile, printing one log line "world <name> refused: <why>" when the world is bad.
bool ValidateWorldFile(const void* image, uint32_t length, const char* name);

// ---- Writing ------------------------------------------------------------------------------------

struct WorldPlacement {
    int description = 0;  // 0-based description index
    _Placement record{0, 0, 0, 1.0f, 1.0f, 0, 0, 0};
};

struct WorldDescription {
    int tilesPerSide = 2;  // 2, 3 or 4
    int gridSize = 1;      // written as scaleXZ
    float scaleY = 100.0f;
    uint8_t worldType = worldfile::kWorldNormal;
    // (224 * tilesPerSide)^2 samples, row-major: sample (x, z) at z * side + x, x along +x.
    std::vector<uint16_t> heights;
    std::vector<_Info> typeTable;
    std::vector<DescriptionData> descriptions;  // numObjects = descriptions.size()
    // Each record goes into the block of the subtile that holds its x and z (clamped into the world).
    std::vector<WorldPlacement> placements;
    std::vector<_TrackCameraRecord> cameras;  // without the ending record
    std::vector<uint8_t> splineSection;       // already encoded
    _TrackBonusAwards bonuses{};
    std::vector<uint8_t> detailBitmap, skyGeometry, hudMap;  // graphics files / geometry block
    std::vector<std::vector<uint8_t>> colourBitmaps;         // 16 * numTiles graphics files
    std::vector<uint8_t> terrainMap;                         // already encoded
    std::vector<std::vector<uint8_t>> lowDetail;             // empty: a minimal block per subtile
    std::vector<uint8_t> outOfBounds;                        // optional geometry
    std::vector<uint8_t> arenaGeometry, arenaCollision;      // optional
};

// The packed master file; empty when the description is inconsistent (side, grid, height count,
// colour bitmap count, a placement naming no description, more than 255 descriptions).
std::vector<uint8_t> WriteWorldFile(const WorldDescription& world);

// Offsets of the header's fields and of the per-label sub-files in a written image, for tools and tests
// that need to look at or patch a field of a world image.
struct WorldImageMap {
    uint32_t main = 0;         // offset of label 0 sub-file 0 in the image
    uint32_t typeTable = 0;    // label 0 sub-file 1
    uint32_t bonuses = 0;      // label 0 sub-file 2
    uint32_t firstTile = 0;    // label 1 sub-file 0
    uint32_t firstColour = 0;  // label 3 sub-file 0
    WorldLayout layout;
};
// Maps a valid image (CheckWorldFile passes); false otherwise.
bool MapWorldImage(const std::vector<uint8_t>& image, WorldImageMap* map);

// A minimal low-detail terrain block (no packets).
std::vector<uint8_t> MakeLowDetailBlock();
