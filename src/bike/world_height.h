// The terrain height under a world point, from the world model the model names (kept apart from the
// bike's own file so that the bike does not pull in the world file's records).
#pragma once

// True with the terrain y (world units) at (x, z) when the model has a world model; false otherwise.
bool WorldHeightAt(float x, float z, float* height);
