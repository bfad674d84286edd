// Low-poly models of the tracks' objects (world units, standing on y = 0 with -y up, facing +z), their
// collision blocks (metres, in the physics body's frame: the model turned half about x, so +y is up and
// the front faces -z), and the worlds' shared pictures: sky, arena, detail bitmap.
#pragma once

#include <cstdint>
#include <vector>

#include "mkdisc/track_design.h"

// Geometry block of a prop; `span` is the half width the start gate spans. Trees and grandstands have
// three levels of detail (`level` 0 the most detailed); other props one.
std::vector<uint8_t> PropGeometry(Prop prop, float span, int level = 0);
// The number of levels of detail PropGeometry has for a prop.
int PropLevels(Prop prop);
// Collision block of a prop (bales, fences, pickups, tree trunks, grandstands); empty for the scenery a
// racer cannot reach (banners, the start gate).
std::vector<uint8_t> PropCollision(Prop prop);
// A checkpoint or finish gate: two posts `halfSpan` either side of the lap and a banner across.
std::vector<uint8_t> GateGeometry(float halfSpan, bool finish);
// A gate's collision block: its two posts, which the racers near the gate get bodies for.
std::vector<uint8_t> GateCollision(float halfSpan);

// The sky around a world of side `side`, centred on the world centre (night skies are dark); at most
// 70,000 units from its centre to a wall, so that drawn around the eye it stays inside the far plane.
std::vector<uint8_t> SkyGeometry(float side, uint8_t worldType);
// The stadium around an indoor floor: walls and stands, relative to the world centre; and the walls'
// collision block.
std::vector<uint8_t> ArenaGeometry(const TrackDesign& d);
std::vector<uint8_t> ArenaCollision(const TrackDesign& d);

// The detail bitmap shared by all subtiles (8-bit, 256-colour grey noise).
std::vector<uint8_t> DetailBitmap(uint32_t seed);
