#include "mkdisc/tracks.h"

#include "world/terrain_low_detail.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/sys/bitmap_format.h"
#include "game/files/object_description_format.h"
#include "mkdisc/audio_files.h"
#include "mkdisc/track_objects.h"
#include "world/spline_format.h"
#include "world/terrain_map_format.h"
#include "world/world_file_format.h"

namespace {

// The sound a bike hitting the prop makes (a world sound number, audio_files.h).
uint8_t PropHitSound(Prop prop) {
    switch (prop) {
        case Prop::HayBale:
            return kHitSoundHayBale;
        case Prop::TyreStack:
            return kHitSoundTyre;
        case Prop::Fence:
        case Prop::Banner:
        case Prop::StartGate:
        case Prop::Grandstand:
            return kHitSoundFence;
        default:
            return 0;  // trees and pickups: no hit sound
    }
}

// The sound heard round the prop all race long (a world sound index, audio_files.h; 0: none): the crowd
// in the grandstands. A prop with one is a static object. (Not the start gate: drawn as an object it
// loses its bar across the track in front of the grid.)
uint8_t PropAmbientSound(Prop prop) {
    return prop == Prop::Grandstand ? kAmbientCrowd : 0;
}

_Placement Record(float x, float height, float z, float heading) {
    _Placement r{};
    r.x = x, r.y = -height, r.z = z, r.w = 1.0f;
    r.qw = std::cos(heading / 2), r.qx = 0, r.qy = std::sin(heading / 2), r.qz = 0;
    return r;
}

std::vector<uint8_t> Picture(int size, const std::vector<uint8_t>& pixels,
                             const std::vector<uint32_t>& palette, const char* name) {
    BitmapImage img;
    img.width = img.height = uint32_t(size);
    img.bitsPerPixel = 8;
    img.pixels = pixels;
    img.palette = palette;  // stored linearly: index i at byte 4i
    img.texName = name;
    return WriteBitmap(img);
}

void CopyText(char (&to)[worldfile::kBonusTextSize], const std::string& text) {
    std::snprintf(to, sizeof to, "%s", text.c_str());
}

}  // namespace

std::vector<uint8_t> PackWorld(const TrackDesign& d) {
    WorldDescription w;
    const int numTiles = d.tilesPerSide * d.tilesPerSide;
    w.tilesPerSide = d.tilesPerSide;
    w.gridSize = d.gridSize;
    w.scaleY = d.scaleY;
    w.worldType = d.spec.worldType;
    w.heights = d.heights;

    // Descriptions: the checkpoint gates (one each), the finish gate, then one per prop kind in use.
    const int gates = int(d.gates.size());
    int next = 0;
    if (gates > 1) {
        w.typeTable.push_back(
            MakeTypeRecord(uint8_t(next + 1), worldfile::kKindGate, uint8_t(gates - 1), 0.5f, 0.2f, 0));
        for (int g = 0; g + 1 < gates; ++g) {
            w.descriptions.push_back({{GateGeometry(d.gates[size_t(g)].halfSpan, false)},
                                      GateCollision(d.gates[size_t(g)].halfSpan)});
            const Gate& gt = d.gates[size_t(g)];
            w.placements.push_back({next + g, Record(gt.x, gt.height, gt.z, gt.heading)});
        }
        next += gates - 1;
    }
    if (gates > 0) {
        const Gate& f = d.gates.back();
        w.typeTable.push_back(
            MakeTypeRecord(uint8_t(next + 1), worldfile::kKindFinishGate, 1, 0.5f, 0.2f, 0));
        w.descriptions.push_back({{GateGeometry(f.halfSpan, true)}, GateCollision(f.halfSpan)});
        w.placements.push_back({next, Record(f.x, f.height, f.z, f.heading)});
        ++next;
    }
    float startSpan = 0;
    for (const CentrePoint& c : d.centre) startSpan = std::max(startSpan, c.halfWidth);
    for (int p = 0; p < int(Prop::Count); ++p) {
        const Prop prop = Prop(p);
        bool used = false;
        for (const Placement& pl : d.placements) used = used || pl.prop == prop;
        if (!used) continue;
        uint8_t kind = 1;  // scenery
        uint16_t mass = 0;
        if (prop == Prop::HayBale || prop == Prop::Fence) kind = worldfile::kKindStatic, mass = 250;
        if (prop == Prop::Pickup) kind = 22;
        const uint8_t ambient = PropAmbientSound(prop);
        if (ambient) kind = worldfile::kKindStatic;
        _Info type = MakeTypeRecord(uint8_t(next + 1), kind, 1, 0.8f, 0.1f, mass);
        type.hitSoundId = PropHitSound(prop);
        type.ambSoundId = ambient;
        w.typeTable.push_back(type);
        DescriptionData desc{{}, PropCollision(prop)};
        for (int level = 0; level < PropLevels(prop); ++level)
            desc.geometries.push_back(PropGeometry(prop, startSpan, level));
        w.descriptions.push_back(desc);
        for (const Placement& pl : d.placements)
            if (pl.prop == prop) w.placements.push_back({next, Record(pl.x, pl.height, pl.z, pl.heading)});
        ++next;
    }

    for (const TrackCamera& c : d.cameras) {
        _TrackCameraRecord r{};
        r.pos[0] = c.x, r.pos[1] = -c.height, r.pos[2] = c.z, r.pos[3] = 1.0f;
        r.dir[0] = c.dx, r.dir[1] = -c.dy, r.dir[2] = c.dz, r.dir[3] = 0.0f;
        r.type = c.type;
        w.cameras.push_back(r);
    }

    SplineSection section;
    for (int i = 0; i < splinefile::kSplineCount; ++i) {
        SplineRecord& r = section[size_t(i)];
        r.loopConnect = 0;
        r.lapWaypoint = int16_t(d.lapWaypoint);
        r.startLapped = d.startLapped ? 1 : 0;
        for (const SplinePointW& p : d.splines[size_t(i)])
            r.points.push_back(SplinePointFromWorld(p.x, -p.height, p.z, p.w, float(d.gridSize), numTiles));
    }
    w.splineSection = WriteSplineSection(section);

    for (size_t k = 0; k < worldfile::kBonusAwards; ++k) {
        w.bonuses.type[k] = TRACK_BONUS_NONE;
        if (k < d.bonuses.size()) {
            w.bonuses.type[k] = d.bonuses[k].type;
            w.bonuses.value[k] = d.bonuses[k].value;
            CopyText(w.bonuses.text1[k], d.bonuses[k].text);
            CopyText(w.bonuses.text2[k], d.bonuses[k].received);
        }
    }

    w.detailBitmap = DetailBitmap(d.spec.seed);
    w.skyGeometry = SkyGeometry(d.side, d.spec.worldType);
    w.hudMap = Picture(TrackDesign::kRadarSize, d.radar, d.radarPalette, "radar");
    for (const std::vector<uint8_t>& pic : d.colour)
        w.colourBitmaps.push_back(Picture(TrackDesign::kColourSize, pic, d.colourPalette, "terrain"));
    w.terrainMap = terrainmap::WriteMap(d.codes);
    // The far terrain: every subtile's samples kept every fifth cell (world/terrain_low_detail.h).
    const int cells = 224 * d.tilesPerSide;
    for (int t = 0; t < d.tilesPerSide * d.tilesPerSide; ++t)
        for (int k = 0; k < 16; ++k) {
            uint16_t block[56 * 56];
            const int x0 = (t % d.tilesPerSide) * 224 + (k % 4) * 56,
                      z0 = (t / d.tilesPerSide) * 224 + (k / 4) * 56;
            for (int r = 0; r < 56; ++r)
                for (int c = 0; c < 56; ++c)
                    block[r * 56 + c] = w.heights[size_t(z0 + r) * size_t(cells) + size_t(x0 + c)];
            w.lowDetail.push_back(lowdetail::Build(block, 5));
        }
    if (d.arena) {
        w.arenaGeometry = ArenaGeometry(d);
        w.arenaCollision = ArenaCollision(d);
    }
    if (w.splineSection.empty() || w.terrainMap.empty()) return {};
    return WriteWorldFile(w);
}

std::vector<uint8_t> BuildWorld(const TrackSpec& spec) {
    return PackWorld(DesignTrack(spec));
}

bool BuildWorlds(bool (*write)(const std::string& name, const std::vector<uint8_t>& image, void* ctx),
                 void* ctx) {
    const std::vector<TrackSpec>& specs = TrackSpecs();
    std::vector<std::vector<uint8_t>> images(specs.size());
    for (size_t i = 0; i < specs.size(); ++i) images[i] = BuildWorld(specs[i]);
    for (size_t i = 0; i < specs.size(); ++i) {
        if (images[i].empty()) {
            std::fprintf(stderr, "mkdisc: world %s could not be built\n", specs[i].name);
            return false;
        }
        if (!write(specs[i].name, images[i], ctx)) return false;
    }
    return true;
}
