#include "race/scene/particle_view.h"

#include "engine/hal/display.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "game/files/resource_storage.h"
#include "game/files/texture.h"
#include "race/scene/particle_system.h"

namespace {

_ve_vertex Vertex(const qzVector3d& p, float s, float t, const CColorRGBA& c) {
    return _ve_vertex{p.x, p.y, p.z, 1.0f, s, t, 1.0f, 0.0f, c.r, c.g, c.b, c.a};
}

}  // namespace

void CParticleView::render(C3DView* view) {
    drawn = textureLoads = 0;
    if (!(CParticleSystem::raceOptions & CParticleSystem::kParticlesOn) || !view) return;
    CParticleSystem* ps = CParticleSystem::getInstance();
    _matrix4 identity;
    M4_Identity(&identity);
    veEngineSetLocalToWorld(&identity);
    int i = -1;
    for (int k = 0; k < 2 && i < 0; ++k)
        if (ps->viewPtr[k] == &view->_view3d) i = k;
    if (i < 0) return;
    veDisplayActivateView(&view->_view3d);
    // Soft edges: no alpha test (the scenery's test would cut the puffs down to their cores), depth test
    // kept; the scenery's test is put back after.
    veSetDefaultTestEnv1(0, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(0, 6, 100, 0, 0, 0, 1, 2);

    int32_t current = -1;
    uint32_t counter = 0;
    for (CParticle* p : ps->sortPList[i]) {
        if (counter++ >= ps->maxParticleNumDraw) break;
        const bool textured = p->type == TRI_PARTICLE || p->type == QUAD_PARTICLE;
        if (!textured || p->texID == -1) {
            veRenderContextEnable(kRenderAlpha);
            veRenderContextDisable(kRenderTexture);
            current = -1;
        } else if (p->texID != current) {
            veRenderContextEnable(kRenderAlpha | kRenderTexture);
            if (CTexture* t = CResourceStorage<CTexture>::instance().get(p->texID))
                veDisplaySetActiveTexture(veTextureLoadTextureMem(&t->fsBitmap));
            ++textureLoads;
            current = p->texID;
        }
        const bool tex = current != -1;
        ++drawn;
        switch (p->type) {
            case LINE_PARTICLE: {
                auto* l = static_cast<CLineParticle*>(p);
                _ve_line line{Vertex(l->worldVerts[0], 0, 0, p->color),
                              Vertex(l->worldVerts[1], 0, 0, p->color)};
                vePrimDrawLine(&line);
                break;
            }
            case TRI_PARTICLE: {
                auto* t = static_cast<CTriParticle*>(p);
                _ve_triangle tri{};
                _ve_vertex* v[3] = {&tri.v1, &tri.v2, &tri.v3};
                for (int k = 0; k < 3; ++k)
                    *v[k] = Vertex(t->worldVerts[k], tex ? t->u[k] : 0, tex ? t->v[k] : 0, p->color);
                vePrimDrawTri(&tri);
                break;
            }
            case QUAD_PARTICLE: {
                auto* q = static_cast<CQuadParticle*>(p);
                const _ve_vertex a = Vertex(q->worldVerts[3], 0, 0, p->color);
                const _ve_vertex b = Vertex(q->worldVerts[0], tex ? 1.0f : 0.0f, 0, p->color);
                const _ve_vertex c = Vertex(q->worldVerts[1], tex ? 1.0f : 0.0f, tex ? 1.0f : 0.0f, p->color);
                const _ve_vertex d = Vertex(q->worldVerts[2], 0, tex ? 1.0f : 0.0f, p->color);
                _ve_quad quad{a, b, c, d};
                vePrimDrawQuad(&quad);
                break;
            }
            default:
                break;
        }
    }
    vePrimSendBuffers();
    veSetDefaultTestEnv1(1, 6, 100, 0, 0, 0, 1, 2);
    veSetDefaultTestEnv2(1, 6, 100, 0, 0, 0, 1, 2);
}
