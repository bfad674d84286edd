// What the world model needs of a world file: the file loaded through the file manager and checked
// once, then the world statics, the tile height pointers, one subtile model per subtile with its colour
// bitmap, and the quad tree of subtiles. (Descriptions, placements, cameras and splines are loaded by
// their own owners.)
#pragma once

#include <cstdint>

class CWorldModel;

// The world file `name` loaded and checked whole (the container, its spline section and its terrain
// map); null (with one log line) when it is missing or refused.
// The caller frees the image with x_free after the race.
void* LoadWorldFile(const char* name);

// Fills `model` from a checked world image. Resets the world statics first.
void BuildWorldModel(CWorldModel& model, void* image);
