// The physics engine's view of the terrain: answers every height-field query from the world model,
// converting units on the way. World x and z are 100 times physics x and z; a terrain point of world
// height h lies at field height (h + 14000) * 0.01, and the race lowers the field's body by 140 so that
// it sits at physics height h * 0.01.
#pragma once

#include "kinetic/collide/height_field.h"

class CWorldModel;

class CQZHeightfield : public Kinetic::HeightField {
public:
    static constexpr float kWorldToPhysics = 0.01f;
    static constexpr float kPhysicsToWorld = 100.0f;
    static constexpr float kHeightOffset = 14000.0f;  // world units; 140 in physics units

    CQZHeightfield(int worldId, const Kinetic::Vector3& size, int resolutionX, int resolutionZ);

    float getHeightAt(float x, float z) const override;
    bool getHeightAndNormalAt(float x, float z, float& height, Kinetic::Vector3& normal) const override;
    // Where the world has no terrain under a point, its normal is straight up and the point does not
    // touch (its depth is the "no contact" value).
    bool collidePoints(const Kinetic::Vector3* points, int count, float tolerance, float* depths,
                       Kinetic::Vector3* normals) const override;
    void polygonizeRegion(const Kinetic::AABB& region, std::vector<Kinetic::TriangleIndices>& triangles,
                          std::vector<Kinetic::Vector3>& vertices) const override;
    void getRowHeights(int row, float* heights) const override;

    int worldId;

private:
    // The world model named by worldId in the model's table, or null.
    CWorldModel* world() const;
};
