// The sample disc's stunt tree (common-objects sub-file 212).
#pragma once

#include <cstdint>
#include <vector>

#include "race/control/stunt_tree_format.h"

// The nodes: every one of the 26 tricks is reachable by a human (the links on its path open to the
// button group that names it) and found by the computer riders' search.
std::vector<stunttree::NodeRecord> SampleStuntTree();
// Its file image.
std::vector<uint8_t> WriteSampleStuntTree();
