// Debug and pause helpers: moving the first view's camera while the game is paused, and drawing lines
// and physics bodies' collision faces.
#pragma once

#include "engine/hal/display.h"
#include "engine/sys/math.h"

class C3DView;
namespace Kinetic {
class RigidBody;
}

class CUtil {
public:
    // The race's views (one per human); installed by the race once it has made them, null outside a
    // race.
    static C3DView** raceViews;

    // The camera of the first view gets update(time), so it keeps moving while the game is paused.
    static void UpdateCamera(float time);
    // A line in world space in colour (r, g, b), alpha 255, untextured and blended.
    static void drawLine(_ve_view* view, _vector3d* a, _vector3d* b, int r, int g, int bl);
    // Each triangle of each mesh primitive of the body as three lines (physics units x 100).
    static void drawDebugRigidBody(Kinetic::RigidBody* body, _ve_view* view, int r, int g, int bl);
};
