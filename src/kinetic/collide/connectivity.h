// Vertex connectivity of a mesh: for every vertex, the vertices sharing a triangle edge with it, without
// repeats. Hill climbing over it finds a convex mesh's support point in a few steps.
#pragma once

#include <cstdint>
#include <vector>

namespace Kinetic {

using Connectivity = std::vector<std::vector<uint16_t>>;

}  // namespace Kinetic
