// The sample disc's 25 world files: each track designed by the generator (track_design.h) and packed
// through the world, spline and terrain-map writers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mkdisc/track_design.h"

// The world file image of a designed track; empty when a writer refuses it.
std::vector<uint8_t> PackWorld(const TrackDesign& design);

// Designs and packs the world `spec` names.
std::vector<uint8_t> BuildWorld(const TrackSpec& spec);

// Builds all 25 worlds and hands each to `write` with its name, in disc order.
// Returns false when a world cannot be built or `write` fails.
bool BuildWorlds(bool (*write)(const std::string& name, const std::vector<uint8_t>& image, void* ctx),
                 void* ctx);
