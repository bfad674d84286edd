// The radar map: the world's picture scrolled so that the first racer sits in the window's centre, the
// next checkpoint as a blinking blip (or an arrow on the window's edge), the other checkpoints as dots,
// the first racer as a heading arrow and every other racer as a yellow dot.
#include <cmath>

#include "bike/kinetic_bike.h"
#include "engine/hal/render_context.h"
#include "race/hud/hud.h"
#include "race/hud/hud_model.h"
#include "race/hud/hud_resources.h"
#include "race/hud/hud_text.h"
#include "race/race_game.h"
#include "world/subtile_model.h"
#include "world/world_model.h"

namespace {

void Draw(_ve_quad& q) {
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    vePrimDrawQuad(&q);
}

// A diamond of radius 10 around (cx, cy) turned by `a`: the heading and edge arrows.
_ve_quad Turned(float cx, float cy, float a) {
    const float s = 10.0f * std::sin(a), c = 10.0f * std::cos(a);
    _ve_quad q = hudgeom::Rect(0, 0, 0, 0);
    q.v1.x = cx + s, q.v1.y = -(cy + c);
    q.v2.x = cx + c, q.v2.y = -(cy - s);
    q.v3.x = cx - s, q.v3.y = -(cy - c);
    q.v4.x = cx - c, q.v4.y = -(cy + s);
    return q;
}

}  // namespace

void CHud::renderMap() {
    const CHudModel* m = hudModel();
    KineticBike* own = bike();
    if (!m || !m->_radarHudON || !own) return;
    _CHudData& d = hudData;
    if (hudres::UseTexture(d.radarAId)) Draw(d.gtquadMapBracket);

    const float W = 224.0f * static_cast<float>(CSubtileModel::gridSize) *
                    static_cast<float>(CWorldModel::worldDepthInTiles);
    const CModelObject* ref = hudres::ModelObject(d.radarTrackIDs[0]);
    if (W <= 0.0f || !ref) return;  // no world extent: nothing can be placed
    const float u = ref->position.x / W, v = ref->position.z / W;
    const float ox = 256.0f * u, oy = 256.0f * v;

    // The map picture, clipped to the part that lies inside the world.
    const hudtext::MapWindow win = hudtext::PlaceMap(u, v);
    d.gtquadMap.v1.s = win.s0, d.gtquadMap.v1.t = win.t0;
    d.gtquadMap.v2.s = win.s1, d.gtquadMap.v2.t = win.t0;
    d.gtquadMap.v3.s = win.s1, d.gtquadMap.v3.t = win.t1;
    d.gtquadMap.v4.s = win.s0, d.gtquadMap.v4.t = win.t1;
    unsigned x0, y0, x1, y1;
    hudtext::MapScissor(win, x0, y0, x1, y1);
    veRenderSetScissor(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1),
                       static_cast<int>(y1));
    if (hudres::UseTexture(d.radarId)) Draw(d.gtquadMap);
    veRenderSetScissor(0, 0, 639, 447);

    // Checkpoints.
    if (world) {
        const auto& gates = world->gateObjects;
        for (size_t i = 0; i < gates.size(); ++i) {
            hudres::UseTexture(d.statsId);
            float gx = 256.0f * gates[i].position.x / W + 246.0f - ox;
            float gy = 256.0f * gates[i].position.z / W + 155.0f - oy;
            if (i == own->laps.currentCheckPoint) {
                if (hudtext::InMapWindow(gx, gy) && hudres::UseTexture(d.blipID[d.frame % 20])) {
                    d.gtquadBlit = hudgeom::Rect(gx - 6, -(gy + 6), gx + 6, -(gy - 6));
                    Draw(d.gtquadBlit);
                }
                hudres::UseTexture(d.arrowId);
                float angle = 0.0f;
                if (hudtext::EdgeArrow(gx, gy, angle)) {
                    d.gtquadArrowA = Turned(gx, gy, angle);
                    Draw(d.gtquadArrowA);
                }
            } else if (hudtext::InMapWindow(gx, gy)) {
                d.gtquadArrowB = hudgeom::Rect(gx - 2, -(gy + 2), gx + 2, -(gy - 2));
                Draw(d.gtquadArrowB);
            }
        }
    }

    // Racers: the reference as the centre arrow, the others as yellow dots.
    for (uint32_t i = 0; i < CQzGame::numOfTotalRacers && i < 10; ++i) {
        const CModelObject* racer = hudres::ModelObject(d.radarTrackIDs[i]);
        if (!racer) continue;
        hudres::UseTexture(d.arrowId);
        const KineticBike* b = i < static_cast<uint32_t>(CQzGame::kMaxRacers) ? CQzGame::bike[i] : nullptr;
        const float a = b ? std::atan2(b->frame.forwardDir.x, b->frame.forwardDir.z) : 0.0f;
        if (i == 0) {
            _ve_quad q = Turned(246.0f, 155.0f, a + 5.6f);
            Draw(q);
            continue;
        }
        const float mx = 256.0f * racer->position.x / W + 246.0f - ox;
        const float my = 256.0f * racer->position.z / W + 155.0f - oy;
        if (mx < 186.0f || mx > 304.0f || my < 94.0f || my > 219.0f) continue;
        _ve_quad q = hudgeom::Rect(mx - 2.5f, -(my + 2.5f), mx + 2.5f, -(my - 2.5f));
        for (_ve_vertex* vx : {&q.v1, &q.v2, &q.v3, &q.v4}) vx->b = 0;
        veRenderContextDisable(kRenderTexture);
        veRenderContextEnable(kRenderAlpha);
        vePrimDrawQuad(&q);
        veRenderContextEnable(kRenderAlpha | kRenderTexture);
    }
    veRenderSetWrapS(1);
    veRenderSetWrapT(1);
}
