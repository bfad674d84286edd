// The sample disc's 25 tracks, designed in memory before they are packed into world files: the centre
// line of the lap, the height samples, the surface code of every terrain-map position, the nine splines,
// checkpoints, jumps with their markers, placed objects, trackside cameras, track bonuses and the colour
// pictures. Every track is generated from its name's fixed seed by the generator of its kind:
//
//   baja       4 x 4 tiles, grid 200: a long open loop over dunes, wide sweeping corners, few small jumps
//   indoor     2 x 2 tiles, grid 50: a stadium floor with a serpentine of four straight lanes joined by
//              wide hairpins, a triple and a double (whoops where they fit) on the lanes, inside an arena
//              of stands and walls
//   outdoor    3 x 3 tiles, grid 100: a loop over hills with big tabletops and doubles
//   freestyle  2 x 2 tiles, grid 60: a dirt arena with kickers and landings around a loop, pickups, no laps
//
// World units are centimetres; up is -y in the world, but the design keeps heights as "up" values and
// the packer negates them. The lap starts at s = 0 on the start line (the waypoint spline's first point).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class TrackKind : uint8_t { Baja, Indoor, Outdoor, Freestyle };

struct TrackSpec {
    const char* name;  // file name under WORLD/
    TrackKind kind;
    uint32_t seed;
    uint8_t worldType;  // world file WorldType
};

// The 25 worlds in the order the disc lists them.
const std::vector<TrackSpec>& TrackSpecs();

// A sample of the lap's centre line (spaced `TrackDesign::step` apart along the lap).
struct CentrePoint {
    float x, z;        // world units
    float s;           // distance along the lap from the start line
    float dirX, dirZ;  // unit direction of travel
    float halfWidth;   // half the width of the riding surface
    float height;      // height of the riding surface on the centre line (up)
    float curvature;   // signed, 1 / radius; positive turns left (toward +left normal)
};

// A stretch of the lap painted across the whole riding surface with one terrain code (checkpoints,
// jump takeoffs and landings, crash-zone ends, the hole shot).
struct Band {
    float s0, s1;
    uint8_t code;
};

// A jump the generator built: its takeoff and landing stretches and the marker codes painted there.
struct Jump {
    float takeoff0, takeoff1;  // takeoff face
    float landing0, landing1;  // landing face
    uint8_t takeoffCode, landingCode;
    const char* shape;  // "tabletop", "double", "triple", "kicker"
};

// Objects the tracks place; each is one object description of the world (gates get one each).
enum class Prop : uint8_t { HayBale, Banner, Fence, StartGate, Pickup, TyreStack, Tree, Grandstand, Count };

struct Placement {
    Prop prop;
    float x, z, height;  // height: ground height under it (up)
    float heading;       // radians about the vertical; 0 faces +z
};

struct Gate {
    float x, z, height, heading;
    float halfSpan;  // half the distance between its posts
};

struct TrackCamera {
    float x, z, height;  // position (height up)
    float dx, dy, dz;    // direction (dy up)
    uint32_t type;       // 1 fixed look, 2 turning to follow
};

struct Bonus {
    int32_t type;  // TRACK_BONUS_TYPE
    float value;
    std::string text, received;
};

// A spline point in world units (height up) with its look-ahead scale.
struct SplinePointW {
    float x, height, z, w;
};

struct TrackDesign {
    TrackSpec spec{};
    int tilesPerSide = 2;
    int gridSize = 50;
    float scaleY = 100.0f;  // heights up to 100 * scaleY units
    float side = 0;         // world side in units
    float step = 50;        // centre-line sample spacing

    std::vector<CentrePoint> centre;  // closed: the last point runs back into the first
    float lapLength = 0;

    std::vector<Band> bands;  // sorted by s0, never overlapping
    std::vector<Jump> jumps;
    struct CrashZone {
        float begin,
            end;  // the zone runs from the end of its crash_begin band to the end of its crash_end band
    };
    std::vector<CrashZone> crashZones;
    std::vector<float> checkpoints;  // s of checkpoint k's band centre, in lap order
    float holeShot = -1;             // s of the hole-shot band centre, -1 none

    // Heights of the sample grid (side / gridSize samples a side), row-major along z, as stored samples.
    std::vector<uint16_t> heights;
    // Terrain codes of every half-unit map position (1792 x 1792, index z * 1792 + x).
    std::vector<uint8_t> codes;

    std::array<std::vector<SplinePointW>, 9> splines;  // WayPoint, BegOne ... ExtTwo
    int lapWaypoint = 0;
    bool startLapped = true;

    std::vector<Gate> gates;  // checkpoint gates in order, then the finish gate (none on freestyle)
    std::vector<Placement> placements;
    std::vector<TrackCamera> cameras;  // in lap order
    std::vector<Bonus> bonuses;        // at most 5

    // Colour pictures: one 64 x 64 8-bit picture per subtile (subtile order of the world file), all on
    // one 256-colour palette; and the 128 x 128 radar map of the whole world with its own palette.
    static constexpr int kColourSize = 64;
    std::vector<std::vector<uint8_t>> colour;
    std::vector<uint32_t> colourPalette;
    static constexpr int kRadarSize = 128;
    std::vector<uint8_t> radar;
    std::vector<uint32_t> radarPalette;

    bool arena = false;                                        // indoor: stands and walls around the floor
    float floorX0 = 0, floorZ0 = 0, floorX1 = 0, floorZ1 = 0;  // arena floor (indoor, freestyle)

    // Height (up) of the terrain at a world point, bilinear over the samples.
    float heightAt(float x, float z) const;
};

// Designs the track `spec` names. Deterministic: the same spec always gives the same design.
TrackDesign DesignTrack(const TrackSpec& spec);
