// What is under a bike: the surface codes, the wheels' contacts of this and the previous update, the
// heights of the wheels over the terrain, the terrain's slope and the bike's pitch and roll against it
// (with the last five steps'), where the bike and its wheels stand, and the track object it rides on.
#pragma once

#include <cstdint>

#include "game/core/qz_math.h"
#include "kinetic/vehicle/vehicle_info.h"

struct BikeGround {
    uint32_t terrainType = 0, lastTerrainType = 0, lastValidTerrainType = 0;
    // wheels: contact state of this and the previous update
    Kinetic::WheelInfo wheelInfo[2];
    Kinetic::WheelInfo lastWheelInfo[2];
    // heights over the terrain
    float distToGround[2] = {};
    float distToGroundLevel[2] = {};
    float minDistToGround = 0.0f, minDistToGroundLevel = 0.0f, maxDistToGroundLevel = 0.0f;
    uint8_t levelGround = 0;
    // terrain shape
    qzVector3d wheelNormVec[2];
    float heightAtWheel[2] = {};
    float terrainPitchAvg = 0.0f;
    float terrainPitch[2] = {};
    float terrainRoll = 0.0f, bikePitch = 0.0f, bikeRoll = 0.0f, bikeRelativePitch = 0.0f,
          bikeRelativeRoll = 0.0f;
    float lastBikePitch[5] = {}, lastBikeRoll[5] = {}, lastBikeRelativePitch[5] = {},
          lastBikeRelativeRoll[5] = {};
    int32_t lastBikePitchRollIndex = 0;
    // geometry (model units)
    qzVector3d wheelPos[2];
    qzVector3d bikePos;
    // riding on a track object
    uint8_t drivingOnObject = 0;
    int32_t drivingOnObjectCounter = 0;
    float drivingOnObjectVelMag = 0.0f;
};
