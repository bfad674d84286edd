#include "race/scene/shadow_view.h"

#include <algorithm>
#include <cmath>

#include "bike/kinetic_bike.h"
#include "bike/particle_sink.h"
#include "engine/hal/display.h"
#include "engine/hal/display_hw.h"
#include "engine/hal/draw_env.h"
#include "engine/hal/geometry.h"
#include "engine/hal/geometry_skinned.h"
#include "engine/hal/prim.h"
#include "engine/hal/render_context.h"
#include "engine/hal/texture_manager.h"
#include "engine/hal/view_matrices.h"
#include "game/files/geometry.h"
#include "game/model/model.h"
#include "game/model/model_object.h"
#include "game/model/object_description.h"
#include "race/scene/motion_view.h"
#include "race/scene/world_view_object.h"
#include "world/subtile_model.h"
#include "world/world_model.h"

uint32_t GAME_WIDTH = 640, GAME_HEIGHT = 448;
uint32_t CShadowView::raceOptions = CShadowView::kShadowsOn;
qzVector3d CShadowMotionView::vertList[CShadowMotionView::kMaxVerts];

namespace {

CModelObject* ModelObject(int id) {
    CModel* m = CModel::modelPtr;
    if (!m || id < 0 || static_cast<size_t>(id) >= m->objects.size()) return nullptr;
    return m->objects[static_cast<size_t>(id)];
}

CWorldModel* World() {
    CModel* m = CModel::modelPtr;
    return m ? dynamic_cast<CWorldModel*>(ModelObject(m->worldId)) : nullptr;
}

float TerrainHeight(float x, float z) {
    CWorldModel* w = World();
    float h = 0.0f;
    qzVector3d n;
    if (w) w->getHeightAndNormalAt(x, z, h, n);
    return h;
}

// Entry `lod` of a geometry id list, -1 past its end.
int IdAt(const std::vector<int32_t>& list, int32_t lod) {
    const auto u = static_cast<uint32_t>(lod);
    return u < list.size() ? list[u] : -1;
}

bool Skinned(const CGeometry* g) {
    return g && g->geo && (g->geo->geoType & (kGeoSkinnedVu0 | kGeoSkinnedVu1 | kGeoSkeleton));
}

// The flattening: scale y to 0 and shear x and z along the light by `k`, then place at `ground`.
void Flatten(_matrix4& m, const qzVector3d& dir, float k, const qzVector3d& ground) {
    _matrix4 s;
    M4_Identity(&s);
    s.M[5] = 0.0f;
    if (dir.y != 0.0f) {
        s.M[4] = -k * dir.x / dir.y;
        s.M[6] = -k * dir.z / dir.y;
    }
    M4_Mult(&m, &s, &m);
    M4_TranslateBy(&m, &ground);
}

_matrix4 Turned(float aboutX, float aboutZ) {
    _matrix4 m;
    M4_Identity(&m);
    M4_RotateXOn(&m, aboutX);
    M4_RotateZOn(&m, aboutZ);
    return m;
}

}  // namespace

_matrix4 CShadowMotionView::preRotateMat, CShadowMotionView::crashPreRotateMat;

qzVector3d CShadowView::lightDirection() {
    _matrix4 m;
    M4_Identity(&m);
    M4_RotateZOn(&m, -0.224462f);
    M4_RotateYOn(&m, 0.451285f);
    M4_RotateXOn(&m, -0.558269f);
    qzVector3d z(0.0f, 0.0f, 1.0f), out;
    M4_TransformVerts(&m, &out, &z, 1);
    return out;
}

void CShadowView::render(C3DView* view) {
    if (!(raceOptions & kShadowsOn)) return;
    CModelObject* obj = ModelObject(modelObjectId);
    const CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!obj || !d) return;
    CGeometry* g = CResourceStorage<CGeometry>::instance().get(IdAt(d->geometryIdList, LOD));
    CGeometry* s = CResourceStorage<CGeometry>::instance().get(IdAt(d->shadowGeometryIdList, LOD));
    if (!g || !s || !s->geo) return;
    const qzVector3d dir = lightDirection();
    const float h = TerrainHeight(obj->position.x, obj->position.z);
    _matrix4 m;
    Q_SetupMatrix(&obj->qOrientation, &m);
    const qzVector3d lift(0.0f, obj->position.y - h, 0.0f);
    M4_TranslateBy(&m, &lift);
    // The shear follows the light's elevation: cos of the angle that turns +z onto it about x.
    float ax = 0.0f, ay = 0.0f;
    V3_ZToVecRot(&dir, &ax, &ay);
    Flatten(m, dir, x_cos(-ax), qzVector3d(obj->position.x, h - 20.0f, obj->position.z));
    veDisplaySetMode(0x1000000);
    veDisplayActivateView(&view->_view3d);
    veEngineSetLocalToWorld(&m);
    veEngineDrawGeometry(s->geo);
    veEngineReSetLocalToWorld();
}

// ---- the racer's shadow ----

void transformBBox(const CGeometry* geom, const _matrix4* mat, CBoundingBox& newBox) {
    _BBOX* b = geom && geom->geo ? veEngineGetGeoBoundingBox(geom->geo) : nullptr;
    if (!b) return;
    _vector3d in[8], out[8];
    for (int i = 0; i < 8; ++i) in[i] = {b->corner[i][0], b->corner[i][1], b->corner[i][2] * 0.5f};
    M4_TransformVerts(mat, out, in, 8);
    float lo[3] = {out[0].x, out[0].y, out[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
    for (const _vector3d& p : out) {
        const float c[3] = {p.x, p.y, p.z};
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], c[k]);
            hi[k] = std::max(hi[k], c[k]);
        }
    }
    newBox.setBoundingBox(lo[0], lo[1], lo[2], hi[0], hi[1], hi[2]);
}

int CShadowMotionView::shadowAlpha(uint32_t depth, float fade) {
    if (!(fade > 0.0f)) return 0;
    const float f = std::min(static_cast<float>(depth), fade);
    return static_cast<int>(80.0f - 80.0f * f / fade);
}

CShadowMotionView::CShadowMotionView(int modelObjectId, int descriptionId, CMotionView* model1View,
                                     int model2Id, int desc2Id, CMotionView* model2View, int racer,
                                     unsigned int humans)
    : CShadowView(modelObjectId, descriptionId),
      _model1View(model1View),
      _model2View(model2View),
      _model2Id(model2Id),
      _desc2Id(desc2Id),
      _shadowFadeDist(static_cast<float>(getObjectLod1DepthSquared())),
      racer_(racer) {
    const uint32_t n = humans >= 2 ? 2 : 1;
    GAME_WIDTH = 640 / n;
    GAME_HEIGHT = 448 / n;
    // Built here rather than at load time: the math library's tables may not be ready then.
    preRotateMat = Turned(0.0f, X_PI);
    crashPreRotateMat = Turned(X_HALF_PI, X_PI);
}

void CShadowMotionView::addLightSource(qzVector3d light) {
    qzMath::qzMathVectorNormalize(&light);
    _lightSources.push_back(light);
}

void CShadowMotionView::render(C3DView* view) {
    texturesMade = passesDrawn = 0;
    pictureOrder[0] = pictureOrder[1] = -1;
    for (qzVector3d& l : _lightSources) renderShadow(view, l);
}

int32_t CShadowMotionView::lod() const {
    return _model1View ? _model1View->LOD : LOD;
}

void CShadowMotionView::createModelMatrix(CModelObject* model, qzVector3d& dir, _matrix4& m) {
    qzVector3d p = model->position;
    const float h = TerrainHeight(p.x, p.z);
    const float above = p.y - h;
    p.y = h;
    auto* bike = dynamic_cast<KineticBike*>(model);
    if (bike && !bike->crash.crashing) {
        // A riding bike: its pitch against the terrain, its roll and its heading (angles in degrees).
        constexpr float kRadians = 0.0174533f, kDegrees = 57.2958f;
        M4_Identity(&m);
        M4_RotateXOn(&m, -bike->ground.bikeRelativePitch * kRadians);
        M4_RotateZOn(&m, -bike->ground.bikeRoll * kRadians);
        const float heading = x_atan2(bike->frame.forwardDir.x, bike->frame.forwardDir.z) * kDegrees;
        M4_RotateYOn(&m, heading * kRadians);
        M4_Mult(&m, &m, &preRotateMat);
    } else {
        // The rider's body, or a crashing bike: as its body lies.
        Q_SetupMatrix(&model->qOrientation, &m);
        M4_Mult(&m, &m, &crashPreRotateMat);
    }
    const qzVector3d lift(0.0f, above, 0.0f);
    M4_TranslateBy(&m, &lift);
    Flatten(m, dir, 0.4f, p);
}

bool CShadowMotionView::areaUnder(CBoundingBox& box, CBoundingBox& grid, int& nx, int& nz) {
    CWorldModel* w = World();
    const float g = static_cast<float>(CSubtileModel::gridSize);
    if (!w || !(g > 0.0f)) return false;
    // The area is the square of whole cells from the box's minimum corner: bound it by the list first,
    // counting the cells as the terrain query will.
    const float side = std::max(g * (std::ceil(box.maxX / g) - std::floor(box.minX / g)),
                                g * (std::ceil(box.maxZ / g) - std::floor(box.minZ / g)));
    const float cells = std::ceil(side / g);
    if (!(cells * cells * 6.0f <= static_cast<float>(kMaxVerts))) return false;
    const int n = w->getAreaTris(&box, vertList, nx, nz);
    if (n <= 0) return false;
    const qzVector3d& a = vertList[0];
    const qzVector3d& b = vertList[6 * n - 1];
    grid.setBoundingBox(a.x, 0.0f, a.z, b.x, 0.0f, b.z);
    return true;
}

void CShadowMotionView::adoptViews(C3DView* view) {
    for (CViewObject<C3DView>* o : view->_objects) {
        auto* mv = dynamic_cast<CMotionView*>(o);
        if (!mv) continue;
        if (!_model1View && mv->modelObjectId == modelObjectId) _model1View = mv;
        if (!_model2View && mv->modelObjectId == _model2Id) _model2View = mv;
    }
}

void CShadowMotionView::renderShadow(C3DView* view, qzVector3d& dir) {
    if (!(raceOptions & kShadowsOn) || !view) return;
    if (!_model1View || !_model2View) adoptViews(view);
    // Without a bike view the shadow takes the level the bike view would: its own racer in a single
    // screen at full detail, others at 1, or 2 beyond the LOD 1 distance.
    if (!_model1View) {
        calculateLodDepth(view, ModelObject(modelObjectId));
        if (LOD != -1)
            LOD = racer_ == view->viewNum && GAME_HEIGHT == 448 ? 0 : depth > objectLod1DepthSquared ? 2 : 1;
    }
    const int32_t L = lod();
    if (L < 0 || L >= 2 || (L == 1 && particles::loadLevel() == particles::kVerySlow)) return;
    CModelObject* bikeObj = ModelObject(modelObjectId);
    CModelObject* riderObj = ModelObject(_model2Id);
    auto& descs = CResourceStorage<CObjectDescription>::instance();
    const CObjectDescription* bd = descs.get(descriptionId);
    const CObjectDescription* rd = descs.get(_desc2Id);
    if (!bikeObj || !riderObj || !bd || !rd) return;
    // The shadow models are always those of the finest level.
    auto& geos = CResourceStorage<CGeometry>::instance();
    CGeometry* bg = geos.get(IdAt(bd->geometryIdList, LOD));
    CGeometry* bs = geos.get(IdAt(bd->shadowGeometryIdList, LOD));
    CGeometry* rg = geos.get(IdAt(rd->geometryIdList, LOD));
    CGeometry* rs = geos.get(IdAt(rd->shadowGeometryIdList, LOD));
    if (!bg || !bs || !rg || !rs || !bs->geo || !rs->geo) return;

    auto* bike = dynamic_cast<KineticBike*>(bikeObj);
    _matrix4 mb;
    createModelMatrix(bikeObj, dir, mb);
    int nx = 0, nz = 0;
    if (bike && bike->crash.crashing) {
        _matrix4 mr;
        createModelMatrix(riderObj, dir, mr);
        transformBBox(rs, &mr, riderBox);
        if (areaUnder(riderBox, riderGridBox, nx, nz)) {
            CGeometry* g[1] = {rs};
            CMotionView* v[1] = {_model2View};
            ve_texture_handle* tex = createShadowTexture(g, v, &mr, &riderGridBox, 1);
            pictureOrder[0] = _desc2Id;
            veDisplayActivateView(&view->_view3d);
            veSwitchToFrameBuffer();
            applyTexture(view, nx, nz, tex, riderBox);
        }
        transformBBox(bs, &mb, bikeBox);
        if (areaUnder(bikeBox, bikeGridBox, nx, nz)) {
            CGeometry* g[1] = {bs};
            CMotionView* v[1] = {_model1View};
            ve_texture_handle* tex = createShadowTexture(g, v, &mb, &bikeGridBox, 1);
            pictureOrder[texturesMade - 1] = descriptionId;
            veDisplayActivateView(&view->_view3d);
            veSwitchToFrameBuffer();
            applyTexture(view, nx, nz, tex, bikeBox);
        }
        return;
    }
    transformBBox(bs, &mb, bikeBox);
    transformBBox(rs, &mb, riderBox);
    riderBikeBox.setBoundingBox(bikeBox.minX, bikeBox.minY, bikeBox.minZ, bikeBox.maxX, bikeBox.maxY,
                                bikeBox.maxZ);
    riderBikeBox.expand(&riderBox);
    if (!areaUnder(riderBikeBox, riderBikeGridBox, nx, nz)) return;
    CGeometry* g[2] = {bs, rs};
    CMotionView* v[2] = {_model1View, _model2View};
    _matrix4 m[2] = {mb, mb};
    ve_texture_handle* tex = createShadowTexture(g, v, m, &riderBikeGridBox, 2);
    pictureOrder[0] = descriptionId;
    veDisplayActivateView(&view->_view3d);
    veSwitchToFrameBuffer();
    applyTexture(view, nx, nz, tex, riderBikeBox);
}

ve_texture_handle* CShadowMotionView::createShadowTexture(CGeometry** shadowGeom, CMotionView** objView,
                                                          _matrix4* objLocalToWorld, CBoundingBox* shadowBox,
                                                          unsigned int numGeoms) {
    ++texturesMade;
    const uint16_t size = lod() == 0 ? 256 : 128;
    static _ve_view shadowView;
    // The target's size only shapes the shadow view: the screen keeps its resolution (a split screen
    // is two viewports of the same 640 x 448 screen, not a smaller screen).
    const uint16_t xres = veDisplayGetXRes(), yres = veDisplayGetYRes();
    veDisplayInit(size, size);
    veDisplayCreateView3D(&shadowView, 0, 0, size, size, 0x11, 1.0f, 65535.0f);
    veDisplayInit(xres, yres);
    setupCamera(&shadowView, shadowBox);
    ve_texture_handle* tex = veTextureCreateRenderBuffer(size, size, 0x20, 0);
    if (!tex) return nullptr;
    veSwitchToRenderBuffer(tex, 0, 0);
    veDisplayClearFrameBuffer(&shadowView, 0);
    veDisplayActivateView(&shadowView);
    for (unsigned int i = 0; i < numGeoms; ++i) {
        CGeometry* g = shadowGeom[i];
        const bool skinned = Skinned(g);
        veDisplaySetMode(skinned ? 0x1000200 : 0x1000000);
        CMotionView* mv = objView[i];
        if (skinned) {
            // Posed like the racer's motion view; in the bind pose without one.
            static _matrix4 bindPose[64];
            static const bool filled = [] {
                for (_matrix4& m : bindPose) M4_Identity(&m);
                return true;
            }();
            (void)filled;
            const bool posed = mv && mv->bonePalette;
            _geo_skeleton gs{posed ? static_cast<int32_t>(mv->skel.boneCount) : 64, nullptr};
            veEngineSetBoneArray(posed ? mv->bonePalette : bindPose, &gs);
        }
        veEngineSetLocalToWorld(&objLocalToWorld[numGeoms == 2 ? i : 0]);
        veEngineDrawGeometry(g->geo);
        veEngineReSetLocalToWorld();
    }
    return tex;
}

void CShadowMotionView::setupCamera(_ve_view* shadowView, CBoundingBox* box) {
    const qzVector3d c((box->minX + box->maxX) * 0.5f, 0.0f, (box->minZ + box->maxZ) * 0.5f);
    const float h = TerrainHeight(c.x, c.z);
    const float k = lod() == 0 ? 0.249999f : 0.124999f;
    const float d = ((box->maxX - box->minX) * 0.5f) / k;
    const qzVector3d target(c.x, h, c.z);
    const qzVector3d eye = target + qzVector3d(0.0f, -1.0f, 0.0f) * d;
    qzVector3d forward = target - eye, right, up;
    qzMath::qzMathVectorNormalize(&forward);
    const qzVector3d back(0.0f, 0.0f, -1.0f);
    V3_Cross(&right, &back, &forward);
    qzMath::qzMathVectorNormalize(&right);
    V3_Cross(&up, &forward, &right);
    qzMath::qzMathVectorNormalize(&up);
    qzMatrix4 m;
    M4_Identity(&m);
    M4_SetRows(&m, &right, &up, &forward);
    m[12] = -(eye * right);
    m[13] = -(eye * up);
    m[14] = -(eye * forward);
    shadowView->veViewPlaneDist = 512.0f;
    veDisplaySetCameraMatrix(shadowView, &m);
}

void CShadowMotionView::applyTexture(C3DView* aView, int nx, int nz, ve_texture_handle* shadowTex,
                                     const CBoundingBox& footprint) {
    CModelObject* cam = ModelObject(aView->_cameraID);
    CModelObject* bike = ModelObject(modelObjectId);
    if (!shadowTex || !cam || !bike || nx <= 0 || nz <= 0) return;
    float d2;
    qzMath::qzMathVectorDistanceSquared(&d2, &cam->position, &bike->position);
    const int alpha = shadowAlpha(static_cast<uint32_t>(static_cast<int>(d2 / 10000.0f)), _shadowFadeDist);
    if (alpha < 10) return;
    ++passesDrawn;
    veRenderContextEnable(kRenderAlpha | kRenderTexture);
    veDisplaySetActiveTexture(shadowTex);
    veDisplayActivateView(&aView->_view3d);
    _matrix4 id;
    M4_Identity(&id);
    veEngineSetLocalToWorld(&id);
    const auto a = static_cast<uint32_t>(alpha);
    auto vtx = [&](const qzVector3d& p, float s, float t) {
        return _ve_vertex{p.x, p.y - 3.0f, p.z, 1.0f, s, t, 1.0f, 0.0f, 128, 128, 128, a};
    };
    const float fx = static_cast<float>(nx), fz = static_cast<float>(nz);
    for (int z = 0; z < nz; ++z)
        for (int x = 0; x < nx; ++x) {
            const qzVector3d* v = &vertList[6 * (x + z * nx)];
            // Cells the shadow cannot reach hold only clear texels: not drawn (a cell's margin for
            // the models' height, which the footprint counts at half).
            const float m = 0.5f * (v[5].x - v[0].x);
            if (v[5].x < footprint.minX - m || v[0].x > footprint.maxX + m || v[5].z < footprint.minZ - m ||
                v[0].z > footprint.maxZ + m)
                continue;
            const float s0 = x / fx, s1 = (x + 1) / fx, t0 = 1.0f - z / fz, t1 = 1.0f - (z + 1) / fz;
            _ve_triangle t1r{vtx(v[0], s0, t0), vtx(v[1], s0, t1), vtx(v[2], s1, t0)};
            _ve_triangle t2r{vtx(v[3], s0, t1), vtx(v[4], s1, t0), vtx(v[5], s1, t1)};
            vePrimDrawTri(&t1r);
            vePrimDrawTri(&t2r);
        }
    vePrimSendBuffers();
}
