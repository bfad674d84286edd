// The sky: the sky box drawn around the eye of the view's camera, so that wherever the camera goes the sky
// stays round it at the same distance. It is drawn before anything else and writes colour only (its
// pixels fail a never-passing alpha test that still keeps the colour, and leave the depth alone): the
// ground, the arena and the scenery all draw over it, however far they are. The race puts one in every
// human's view (race_scene.h, AddSky).
#pragma once

#include "game/view/view_object_3d.h"

class CModelObject;

class CSkyViewObject : public C3DViewObject {
public:
    using C3DViewObject::C3DViewObject;

    void render(C3DView* view) override;

private:
    static CModelObject* Object(int id);
    static constexpr int kAlphaNever = 0, kFailKeepColour = 1, kDepthAlways = 1;
};
