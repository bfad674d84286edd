// Geometry blocks: models prepared offline for VU1. A block is a fixed header with a bounding box, an
// optional skeleton, one record per material holding a ready-made VIF1 packet (vertex data unpacked into
// VU1 memory and a program call; the packet convention is described in engine/vu1/geometry_programs.h),
// and a table of the materials' bitmaps. Drawing tests the box against the view frustum, selects the
// VU1 program from the block's type flags and the display mode, queues the view matrices, and for each
// material a GS draw environment and the material's packet, by reference, as DMA tasks.
//
// Block layout (little-endian, loaded whole, 16-byte aligned, patched in place by veEngineInitGeo):
//   0    _FS_GEO_HEADER (160 bytes)
//   160  skeleton when geoType has 0x40: boneCount, 12 bytes, boneCount 64-byte _geo_bone records
//        then the material records: unskinned, a 32-byte _FS_GEO_MATERIAL and packetLength quadwords of
//        packet data (numPackets subpackets: a 16-byte _FS_SUBPACKETINFO, then offsetToNextSubPacket
//        bytes of VIF codes and data)
//   materialOffset: numMaterials 32-bit slots (the count raised to a multiple of 4), then per material a
//        64-byte _FS_BITMAP, its pixels and its palette. A pixdata below 128 is an offset from the end of
//        the bitmap header; initialisation turns it and the slots into addresses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "console/mem/format_check.h"
#include "engine/sys/bitmap.h"

struct _BBOX {
    float corner[8][4];  // x, y, z, w
};

struct _FS_GEO_HEADER {
    uint16_t geoType;
    uint16_t numMeshes;
    int32_t numTriangles;
    int32_t numMaterials;
    uint32_t materialOffset;
    float scaleXYZ;
    uint32_t xref;
    uint32_t vertexInfoOffset;  // offset in the file; the address once initialised
    uint32_t vertexInfoSize;
    _BBOX bBox;
};
static_assert(sizeof(_FS_GEO_HEADER) == 160);

struct _geo_bone {
    char name[16];
    float parentToBone[3];
    float globalPos[3];
    uint32_t boneID, parentID, mirrorID;
    uint32_t pad[3];
};
static_assert(sizeof(_geo_bone) == 64);

struct _geo_skeleton {
    int32_t boneCount;
    _geo_bone* bones;
};

// Unskinned material record header; the packet data follows it.
struct _FS_GEO_MATERIAL {
    int32_t materialId;
    int32_t numTriangles;
    uint32_t numPackets;
    uint32_t numVerts;
    uint32_t packetLength;  // quadwords of packet data
    uint32_t pad[3];
};
static_assert(sizeof(_FS_GEO_MATERIAL) == 32);

struct _FS_SUBPACKETINFO {
    int32_t offsetToNextSubPacket;
    int32_t offsetToSubPacketGeometry;
    int32_t offsetToExecuteVifCommand;
    int32_t pad2;
};
static_assert(sizeof(_FS_SUBPACKETINFO) == 16);

struct _RGBA_GEO {
    float r, g, b, a;
};

// geoType flags.
inline constexpr uint16_t kGeoPreLit = 0x0001;
inline constexpr uint16_t kGeoFamily32 = 0x0004;
inline constexpr uint16_t kGeoFamily16 = 0x0008;
inline constexpr uint16_t kGeoSkinnedVu1 = 0x0010;
inline constexpr uint16_t kGeoKeepProgram = 0x0020;
inline constexpr uint16_t kGeoSkeleton = 0x0040;
inline constexpr uint16_t kGeoAlwaysCull = 0x0080;
inline constexpr uint16_t kGeoSkinnedVu0 = 0x0200;

inline constexpr int32_t kGeoMaxMaterials = 1024;
inline constexpr int32_t kGeoMaxBones = 40;

// The pixel bytes of a bitmap inside a geometry block, as the upload reads them: w*h*bpp/8 (4-bit:
// w*h/2), palettised or not.
uint64_t veEngineGeoBitmapPixelBytes(const _FS_BITMAP* b);

// Checks a block image of `length` bytes before initialisation: header, skeleton, material records,
// subpacket infos, material table and bitmaps must lie inside the image and hold sane counts. Refused
// with a log line naming what is wrong (the reason after "veEngineCheckGeo: ").
FormatCheck CheckGeoImage(const void* block, size_t length);
// The same answer as 1 (usable) or 0 (refused).
int veEngineCheckGeo(const void* block, size_t length);
// Check, then initialise: 1, or 0 (refused, nothing changed).
int veEngineLoadGeo(_FS_GEO_HEADER* block, size_t length);
// Prepares a loaded block (once per block): relocates vertexInfoOffset, fills the material slots with
// the bitmap headers' addresses and turns their offsets into addresses.
void veEngineInitGeo(_FS_GEO_HEADER* block);
// Undoes veEngineInitGeo on a block that stays loaded after its last user is gone: vertexInfoOffset and
// the bitmaps' pixel offsets are offsets again, so the block passes veEngineCheckGeo and a later
// veEngineInitGeo prepares it exactly as the first did. The material slots and palette addresses are
// left as they are: preparation writes them whatever they hold.
void veEngineUninitGeo(_FS_GEO_HEADER* block);

void veEngineDrawGeometry(_FS_GEO_HEADER* block);
void veEngineHardwareDrawGeometry(_FS_GEO_HEADER* block);
void veChainGeo(_FS_GEO_HEADER* block);
void veEngineInitBoneArray(_FS_GEO_HEADER* block);
int veEngineGetSkeleton(_FS_GEO_HEADER* block, _geo_skeleton* skeleton);

uint32_t* veEngineGetGeoMaterialTbl(_FS_GEO_HEADER* block);
int veEngineGetGeoNumMaterials(const _FS_GEO_HEADER* block);
_BBOX* veEngineGetGeoBoundingBox(_FS_GEO_HEADER* block);

// Bits 0..5: the clip planes (+x, -x, +y, -y, +z, -z) all eight corners are outside of; 0x8000 when any
// corner is outside any plane; 0 when wholly inside.
int veEngineGeoOutsideFrustum(_FS_GEO_HEADER* block);
int veEngineBBoxOutsideFrustum(const _BBOX* box);
int veEngineHardwareBBoxOutsideFrustum(const _BBOX* box);
void veEngineShowBBox(_FS_GEO_HEADER* block);

void veEngineGetGeoRGBAScale(_RGBA_GEO* out);
void veEngineSetGeoRGBAScale(const _RGBA_GEO* in);
void veEngineSetGeoRGBAOverWrite(const _RGBA_GEO* in);
void veEngineGetGeoRGBAOverWrite(_RGBA_GEO* out);
