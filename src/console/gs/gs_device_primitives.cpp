// Vertices in (one XYZ write at a time or whole packed lists), the kick that closes a primitive and its
// hand-over to the rasteriser or the threads' queue.
#include "console/gs/gs_device.h"

#include <emmintrin.h>
#include <cstddef>
#include <cstring>

namespace console::gs {
namespace {

float FloatBits(uint32_t bits) {
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

}  // namespace

void GsDevice::WriteXyz(uint32_t addr, uint64_t value) {
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    GsVertex& q = queue_[queued_++];
    q.x = int32_t(value & 0xFFFF) - int32_t(ctx_[ctxt].xyoffset.OFX);
    q.y = int32_t((value >> 16) & 0xFFFF) - int32_t(ctx_[ctxt].xyoffset.OFY);
    if (addr == kRegXyzf2 || addr == kRegXyzf3) {
        q.z = uint32_t((value >> 32) & 0xFFFFFF);
        q.fog = uint8_t(value >> 56);
    } else {
        q.z = uint32_t(value >> 32);
        q.fog = uint8_t(fog_.F);
    }
    q.r = uint8_t(rgbaq_.R);
    q.g = uint8_t(rgbaq_.G);
    q.b = uint8_t(rgbaq_.B);
    q.a = uint8_t(rgbaq_.A);
    q.q = FloatBits(uint32_t(rgbaq_.Q));
    q.s = FloatBits(uint32_t(st_.S));
    q.t = FloatBits(uint32_t(st_.T));
    q.u = uint32_t(uv_.U);
    q.v = uint32_t(uv_.V);
    Kick(addr == kRegXyz2 || addr == kRegXyzf2);
}

// Vertex by vertex, for lists that mix the fogged XYZ forms with the others.
void GsDevice::WritePackedVerticesMixed(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                                        uint32_t forms, uint32_t* qbits) {
    // Nothing a vertex list writes changes the primitive, the context, its offset, UV or FOG: they are
    // read once.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    const int32_t ofx = int32_t(ctx_[ctxt].xyoffset.OFX), ofy = int32_t(ctx_[ctxt].xyoffset.OFY);
    const uint8_t fog = uint8_t(fog_.F);
    const uint32_t u = uint32_t(uv_.U), v = uint32_t(uv_.V);
    const bool triangles = prim_.PRIM == kPrimTriangle;
    uint64_t st = RegBits(st_);
    uint32_t qb = *qbits;
    uint32_t c[4] = {};
    uint32_t form = 0;
    const size_t stride = withSt ? 48 : 32;
    for (size_t i = 0; i < count; ++i, qw += stride) {
        const uint8_t* at = qw;
        if (withSt) {
            uint32_t w[3];
            std::memcpy(w, qw, 12);
            st = uint64_t(w[0]) | (uint64_t(w[1]) << 32);
            qb = w[2];
            at += 16;
        }
        uint32_t p[4];
        std::memcpy(c, at, 16);
        std::memcpy(p, at + 16, 16);
        const uint32_t addr = xyzAddr[form];
        if (++form == forms) form = 0;
        GsVertex& q = queue_[queued_++];
        q.x = int32_t(p[0] & 0xFFFF) - ofx;
        q.y = int32_t(p[1] & 0xFFFF) - ofy;
        if (addr == kRegXyzf2 || addr == kRegXyzf3) {
            q.z = (p[2] >> 4) & 0xFFFFFF;
            q.fog = uint8_t(p[3] >> 4);
        } else {
            q.z = p[2];
            q.fog = fog;
        }
        q.r = uint8_t(c[0]);
        q.g = uint8_t(c[1]);
        q.b = uint8_t(c[2]);
        q.a = uint8_t(c[3]);
        q.q = FloatBits(qb);
        q.s = FloatBits(uint32_t(st));
        q.t = FloatBits(uint32_t(st >> 32));
        q.u = u;
        q.v = v;
        // The ADC bit (bit 15 of the last word) queues the vertex without drawing.
        const bool draw = (addr == kRegXyz2 || addr == kRegXyzf2) && !((p[3] >> 15) & 1);
        if (triangles) {
            // Triangle lists, by far the most common: every third vertex ends a primitive.
            if (queued_ == 3) {
                if (draw) Draw();
                queued_ = 0;
            }
        } else {
            Kick(draw);
        }
    }
    st_ = RegFrom<GsSt>(st);
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(c[0] & 0xFF) | (uint64_t(c[1] & 0xFF) << 8) |
                              (uint64_t(c[2] & 0xFF) << 16) | (uint64_t(c[3] & 0xFF) << 24) |
                              (uint64_t(qb) << 32));
    *qbits = qb;
}

// The vertex as the packed quadwords hold it: x, y, z and the colour bytes make its first 16 bytes, S, T, Q
// and U the next 16, V and the fog byte the last 8.
static_assert(offsetof(GsVertex, x) == 0 && offsetof(GsVertex, y) == 4 && offsetof(GsVertex, z) == 8 &&
              offsetof(GsVertex, r) == 12 && offsetof(GsVertex, g) == 13 && offsetof(GsVertex, b) == 14 &&
              offsetof(GsVertex, a) == 15 && offsetof(GsVertex, s) == 16 && offsetof(GsVertex, t) == 20 &&
              offsetof(GsVertex, q) == 24 && offsetof(GsVertex, u) == 28 && offsetof(GsVertex, v) == 32 &&
              offsetof(GsVertex, fog) == 36 && sizeof(GsVertex) == 40);

template <bool kSt, bool kFogged>
void GsDevice::PackedVertexRun(const uint8_t* qw, size_t count, uint32_t drawForms, uint32_t forms) {
    // Nothing a vertex list writes changes the primitive, the context, its offset, UV or FOG: they are
    // read once.
    const uint32_t ctxt = prmodecont_.AC != 0 ? uint32_t(prim_.CTXT) : uint32_t(prmode_.CTXT);
    const __m128i offset =
        _mm_setr_epi32(int32_t(ctx_[ctxt].xyoffset.OFX), int32_t(ctx_[ctxt].xyoffset.OFY), 0, 0);
    const __m128i xyzMask = _mm_setr_epi32(0xFFFF, 0xFFFF, kFogged ? 0 : -1, 0);
    const __m128i zfMask = _mm_setr_epi32(0, 0, 0xFFFFFF, 0);
    const __m128i byteMask = _mm_set1_epi32(0xFF), lastLane = _mm_setr_epi32(0, 0, 0, -1);
    const __m128i stqMask = _mm_setr_epi32(-1, -1, -1, 0);
    const uint32_t u = uint32_t(uv_.U);
    const __m128i uLane = _mm_setr_epi32(0, 0, 0, int32_t(u));
    // Without ST every vertex has the S and T of the register and the Q the GIF keeps.
    const uint64_t stBits = RegBits(st_);
    const __m128i stqu = _mm_setr_epi32(int32_t(uint32_t(stBits)), int32_t(uint32_t(stBits >> 32)),
                                        int32_t(qbitsIn_), int32_t(u));
    const uint64_t vFog = uint64_t(uint32_t(uv_.V)) | (uint64_t(uint8_t(fog_.F)) << 32);
    const bool triangles = prim_.PRIM == kPrimTriangle;
    constexpr size_t kStride = kSt ? 48 : 32;
    int n = queued_;
    uint32_t form = 0;
    for (size_t i = 0; i < count; ++i, qw += kStride) {
        const uint8_t* at = kSt ? qw + 16 : qw;
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
        uint8_t* q = reinterpret_cast<uint8_t*>(&queue_[n++]);
        // x and y less the offset, z, and the low byte of each colour word packed into the fourth word.
        __m128i xyz = _mm_and_si128(p, xyzMask);
        if (kFogged) xyz = _mm_or_si128(xyz, _mm_and_si128(_mm_srli_epi32(p, 4), zfMask));
        xyz = _mm_sub_epi32(xyz, offset);
        __m128i rgba = _mm_and_si128(c, byteMask);
        rgba = _mm_packs_epi32(rgba, rgba);
        rgba = _mm_packus_epi16(rgba, rgba);
        xyz = _mm_or_si128(xyz, _mm_and_si128(rgba, lastLane));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q), xyz);
        // S, T and ST's third word (the Q of this RGBAQ), then U.
        const __m128i st =
            kSt ? _mm_or_si128(_mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(qw)), stqMask),
                               uLane)
                : stqu;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(q + 16), st);
        uint32_t w3;
        std::memcpy(&w3, at + 28, 4);
        const uint64_t tail = kFogged ? (vFog & 0xFFFFFFFFu) | (uint64_t(uint8_t(w3 >> 4)) << 32) : vFog;
        std::memcpy(q + 32, &tail, 8);
        // The ADC bit (bit 15 of the last word) queues the vertex without drawing.
        const bool draw = ((drawForms >> form) & 1) != 0 && !((w3 >> 15) & 1);
        if (++form == forms) form = 0;
        if (triangles) {
            // Triangle lists, by far the most common: every third vertex ends a primitive.
            if (n == 3) {
                if (draw) DrawListTriangle();
                n = 0;
            }
        } else {
            queued_ = n;
            Kick(draw);
            n = queued_;
        }
    }
    queued_ = n;
}

void GsDevice::WritePackedVertices(const uint8_t* qw, size_t count, bool withSt, const uint8_t* xyzAddr,
                                   uint32_t forms, uint32_t* qbits) {
    if (count == 0) return;
    // The forms that draw (XYZ2, XYZF2) by bit, and whether the forms carry fog (XYZF2, XYZF3): lists that
    // mix the fogged forms with the others go vertex by vertex.
    uint32_t drawForms = 0, fogged = 0;
    for (uint32_t k = 0; k < forms; ++k) {
        const uint32_t addr = xyzAddr[k];
        if (addr == kRegXyz2 || addr == kRegXyzf2) drawForms |= 1u << k;
        if (addr == kRegXyzf2 || addr == kRegXyzf3) fogged |= 1u << k;
    }
    qbitsIn_ = *qbits;
    if (fogged == 0) {
        if (withSt) {
            PackedVertexRun<true, false>(qw, count, drawForms, forms);
        } else {
            PackedVertexRun<false, false>(qw, count, drawForms, forms);
        }
    } else if (fogged == (1u << forms) - 1) {
        if (withSt) {
            PackedVertexRun<true, true>(qw, count, drawForms, forms);
        } else {
            PackedVertexRun<false, true>(qw, count, drawForms, forms);
        }
    } else {
        WritePackedVerticesMixed(qw, count, withSt, xyzAddr, forms, qbits);
        return;
    }
    // The registers as the last vertex left them.
    const size_t stride = withSt ? 48 : 32;
    const uint8_t* last = qw + (count - 1) * stride;
    uint32_t c[4];
    std::memcpy(c, last + (withSt ? 16 : 0), 16);
    uint32_t qb = *qbits;
    if (withSt) {
        uint32_t w[3];
        std::memcpy(w, last, 12);
        st_ = RegFrom<GsSt>(uint64_t(w[0]) | (uint64_t(w[1]) << 32));
        qb = w[2];
    }
    rgbaq_ = RegFrom<GsRgbaq>(uint64_t(c[0] & 0xFF) | (uint64_t(c[1] & 0xFF) << 8) |
                              (uint64_t(c[2] & 0xFF) << 16) | (uint64_t(c[3] & 0xFF) << 24) |
                              (uint64_t(qb) << 32));
    *qbits = qb;
}

int GsDevice::QueuedVertices(GsVertex* out) const {
    for (int i = 0; i < queued_; ++i) out[i] = queue_[i];
    return queued_;
}

void GsDevice::Kick(bool draw) {
    static constexpr int kNeeded[8] = {1, 2, 2, 3, 3, 3, 2, 1};
    const uint32_t type = prim_.PRIM;
    if (queued_ < kNeeded[type]) return;
    if (type == 7) {
        // Reserved primitive type: vertices are dropped.
        queued_ = 0;
        return;
    }
    if (draw) Draw();
    switch (type) {
        case kPrimLineStrip:
            queue_[0] = queue_[1];
            queued_ = 1;
            break;
        case kPrimTriangleStrip:
            queue_[0] = queue_[1];
            queue_[1] = queue_[2];
            queued_ = 2;
            break;
        case kPrimTriangleFan:
            queue_[1] = queue_[2];
            queued_ = 2;
            break;
        default:
            queued_ = 0;
            break;
    }
}

void GsDevice::DrawListTriangle() {
    // The drawing state mostly stands from one triangle of a list to the next: straight into set-up then.
    if (stateDirty_ || bands_ || (clutPending_ && state_.textured && IsPaletted(state_.tpsm)) ||
        prim_.PRIM != kPrimTriangle) {
        Draw();
        return;
    }
    textures_.BeforeDraw(state_, stateVersion_, mem_.Data(), bands_);
    ++prims_;
    rast_.DrawTriangle(state_, queue_[0], queue_[1], queue_[2], queue_[2]);
}

void GsDevice::Draw() {
    if (stateDirty_) BuildState();
    if (clutPending_ && state_.textured && IsPaletted(state_.tpsm)) LoadClut();
    textures_.BeforeDraw(state_, stateVersion_, mem_.Data(), bands_);
    ++prims_;
    if (bands_) {
        static constexpr PrimKind kKinds[7] = {PrimKind::kPoint,    PrimKind::kLine,     PrimKind::kLine,
                                               PrimKind::kTriangle, PrimKind::kTriangle, PrimKind::kTriangle,
                                               PrimKind::kSprite};
        if (prim_.PRIM < 7 && bands_->Queue(kKinds[prim_.PRIM], state_, state_.version, queue_)) return;
    }
    switch (prim_.PRIM) {
        case kPrimPoint:
            rast_.DrawPoint(state_, queue_[0]);
            break;
        case kPrimLine:
        case kPrimLineStrip:
            rast_.DrawLine(state_, queue_[0], queue_[1]);
            break;
        case kPrimTriangle:
        case kPrimTriangleStrip:
        case kPrimTriangleFan:
            rast_.DrawTriangle(state_, queue_[0], queue_[1], queue_[2], queue_[2]);
            break;
        case kPrimSprite:
            rast_.DrawSprite(state_, queue_[0], queue_[1]);
            break;
        default:
            break;
    }
}

}  // namespace console::gs
