#include "engine/sys/math.h"

#include <cstring>

int16_t x_SinTable[kSinTableSize];

void x_InitMATH() {
    for (int i = 0; i < kSinTableSize; ++i) {
        const float angle = static_cast<float>(i) * (X_TWO_PI / 4096.0f);
        x_SinTable[i] = static_cast<int16_t>(std::trunc(x_accurateSin(angle) * 32000.0f));
    }
}

namespace {
// The table is needed by code that runs before the library's start-up (static constructors, tests).
struct SinTableInit {
    SinTableInit() { x_InitMATH(); }
} g_sinTableInit;
}  // namespace

// ---- scalar ----------------------------------------------------------------------------------------

float x_fmod(float x, float y) {
    float t = x / y;
    t = t < 0.0f ? x_ceil(t) : x_floor(t);
    return x - y * t;
}

float x_asin(float x) {
    if (x > 1.0f) x = 1.0f;
    if (x < -1.0f) x = -1.0f;
    const float a = x_fabs(x);
    const float p =
        1.5707962513f +
        a * (-0.2145988047f +
             a * (0.0889789909f + a * (-0.0501743034f + a * (0.0308918804f - 0.0116805276f * a))));
    const float r = X_HALF_PI - x_sqrt(1.0f - a) * p;
    return x < 0.0f ? -r : r;
}

float x_acos(float x) {
    return X_HALF_PI - x_asin(x);
}

float x_atan(float x) {
    const float a = x_fabs(x);
    const float z = (a - 1.0f) / (a + 1.0f);
    const float w = z * z;
    const float q =
        0.99999934f +
        w * (-0.33329856f +
             w * (0.19946536f +
                  w * (-0.13908534f +
                       w * (0.09642004f + w * (-0.055909887f + w * (0.02186123f - 0.004054058f * w))))));
    const float r = 0.78539816f + z * q;
    return x < 0.0f ? -r : r;
}

float x_atan2(float y, float x) {
    const bool yZero = x_fabs(y) < 1e-6f;
    const bool xZero = x_fabs(x) < 1e-6f;
    if (yZero && xZero) return 0.0f;
    if (xZero) return y < 0.0f ? -X_HALF_PI : X_HALF_PI;
    if (yZero) return x < 0.0f ? X_PI : 0.0f;
    float offset = 0.0f;
    if (x < 0.0f) offset = y > 0.0f ? X_PI : -X_PI;
    const float ratio = y / x;
    if (x_fabs(ratio) < 1e-6f) return offset;
    return x_atan(ratio) + offset;
}

// The logarithm and exponential use the Cody-Waite reductions with single-precision coefficients
// evaluated in double precision.
namespace {
constexpr double kLn2Hi = 0.693359375;
constexpr double kLn2Lo = static_cast<double>(-2.1219444e-4f);
constexpr double kHugeResult = 1.797693e38;
}  // namespace

double x_log(double x) {
    if (!(x > 0.0)) return -kHugeResult;
    int e = 0;
    const double f = x_frexp(x, &e);
    double z;
    if (f > static_cast<double>(0.70710678f)) {
        z = (f - 1.0) / (0.5 * f + 0.5);
    } else {
        e -= 1;
        const double num = f - 0.5;
        z = num / (0.5 * num + 0.5);
    }
    const double w = z * z;
    const double a = (static_cast<double>(-0.78956115f) * w + static_cast<double>(16.383944f)) * w +
                     static_cast<double>(-64.124947f);
    const double b = ((w + static_cast<double>(-35.667976f)) * w + static_cast<double>(312.03223f)) * w +
                     static_cast<double>(-769.49933f);
    const double r = z + z * w * (a / b);
    return r + e * kLn2Lo + e * kLn2Hi;
}

double x_exp(double x) {
    if (x != x) return x;
    if (std::fabs(x) < static_cast<double>(2.7105e-20f)) return 1.0;
    const double scaled = x * static_cast<double>(1.4426950f);
    // Beyond these the result over- or underflows whatever the reduction gives; keep n in int range.
    if (scaled > 4096.0) return kHugeResult;
    if (scaled < -4096.0) return 0.0;
    const int n = static_cast<int>(std::floor(scaled + 0.5));
    const double g = x - n * kLn2Hi - n * kLn2Lo;
    const double z = g * g;
    const double p =
        g * ((static_cast<double>(1.6520329e-5f) * z + static_cast<double>(6.9435998e-3f)) * z + 0.25);
    const double q = (static_cast<double>(4.9586286e-4f) * z + static_cast<double>(5.5553868e-2f)) * z + 0.5;
    return x_ldexp(0.5 + p / (q - p), n + 1);
}

namespace {
bool IsIntegral(double y) {
    return std::floor(y) == y;
}
bool IsOddIntegral(double y) {
    return IsIntegral(y) && std::fmod(y, 2.0) != 0.0;
}
// 1/y an odd integer, allowing for the rounding of y itself (y = 1/3 is not exactly a third).
bool IsOddRoot(double y) {
    const double r = 1.0 / y;
    const double n = std::nearbyint(r);
    return std::fabs(r - n) <= 1e-9 * std::fabs(r) && std::fmod(n, 2.0) != 0.0;
}
}  // namespace

double x_pow(double x, double y) {
    if (y == 0.0) return 1.0;
    if (x == 0.0) return y > 0.0 ? 0.0 : kHugeResult;
    if (x > 0.0) return x_exp(y * x_log(x));
    if (IsIntegral(y)) {
        const double r = x_exp(y * x_log(-x));
        return IsOddIntegral(y) ? -r : r;
    }
    if (IsOddRoot(y)) return -x_exp(y * x_log(-x));
    return -kHugeResult;
}

namespace {
constexpr uint64_t kExpMask = 0x7FF0000000000000ull;
constexpr uint64_t kSignMask = 0x8000000000000000ull;
uint64_t Bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
double FromBits(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}
}  // namespace

double x_ldexp(double x, int n) {
    uint64_t u = Bits(x);
    int e = static_cast<int>((u & kExpMask) >> 52);
    if (e == 0x7FF || x == 0.0) return x;  // inf, NaN, zero
    if (e == 0) {
        // Subnormal: normalise first.
        u = Bits(x * 18014398509481984.0);  // 2^54
        e = static_cast<int>((u & kExpMask) >> 52) - 54;
    }
    const bool negative = (u & kSignMask) != 0;
    const long long ne = static_cast<long long>(e) + n;
    if (ne >= 0x7FF) return negative ? -kHugeResult : kHugeResult;
    if (ne <= 0) return negative ? -0.0 : 0.0;
    u = (u & ~kExpMask) | (static_cast<uint64_t>(ne) << 52);
    return FromBits(u);
}

double x_frexp(double x, int* exponent) {
    uint64_t u = Bits(x);
    int e = static_cast<int>((u & kExpMask) >> 52);
    if (e == 0x7FF || x == 0.0) {
        *exponent = 0;
        return x;
    }
    int adjust = 0;
    if (e == 0) {
        u = Bits(x * 18014398509481984.0);  // 2^54
        e = static_cast<int>((u & kExpMask) >> 52);
        adjust = 54;
    }
    *exponent = e - 1022 - adjust;
    u = (u & ~kExpMask) | (static_cast<uint64_t>(1022) << 52);
    return FromBits(u);
}

// ---- vectors ---------------------------------------------------------------------------------------

void V3_RotateX(_vector3d* out, const _vector3d* v, float angle) {
    float s, c;
    x_sincos(angle, &s, &c);
    const _vector3d r = {v->x, v->y * c - v->z * s, v->y * s + v->z * c};
    *out = r;
}

void V3_RotateY(_vector3d* out, const _vector3d* v, float angle) {
    float s, c;
    x_sincos(angle, &s, &c);
    const _vector3d r = {v->x * c + v->z * s, v->y, v->z * c - v->x * s};
    *out = r;
}

void V3_RotateZ(_vector3d* out, const _vector3d* v, float angle) {
    float s, c;
    x_sincos(angle, &s, &c);
    const _vector3d r = {v->x * c - v->y * s, v->y * c + v->x * s, v->z};
    *out = r;
}

void V3_ZToVecRot(const _vector3d* dir, float* angleX, float* angleY) {
    const float ay = x_atan2(dir->x, dir->z);
    const float ax = -x_atan2(dir->y, x_sqrt(dir->x * dir->x + dir->z * dir->z));
    *angleY = ay;
    *angleX = ax;
}

// ---- matrices --------------------------------------------------------------------------------------

void M4_Identity(_matrix4* m) {
    for (int i = 0; i < 16; ++i) m->M[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void M4_Mult(_matrix4* out, const _matrix4* a, const _matrix4* b) {
    _matrix4 r;
    for (int i = 0; i < 4; ++i) {
        const float b0 = b->M[4 * i], b1 = b->M[4 * i + 1], b2 = b->M[4 * i + 2], b3 = b->M[4 * i + 3];
        for (int j = 0; j < 4; ++j) {
            r.M[4 * i + j] = b0 * a->M[j] + b1 * a->M[4 + j] + b2 * a->M[8 + j] + b3 * a->M[12 + j];
        }
    }
    *out = r;
}

void M4_PreMultOn(_matrix4* m, const _matrix4* x) {
    M4_Mult(m, x, m);
}

void M4_TranslateBy(_matrix4* m, const _vector3d* v) {
    _matrix4 t;
    M4_Identity(&t);
    t.M[12] = v->x;
    t.M[13] = v->y;
    t.M[14] = v->z;
    M4_PreMultOn(m, &t);
}

void M4_RotateXOn(_matrix4* m, float angle) {
    if (angle == 0.0f) return;
    float s, c;
    x_sincos(angle, &s, &c);
    _matrix4 r;
    M4_Identity(&r);
    r.M[5] = c;
    r.M[6] = s;
    r.M[9] = -s;
    r.M[10] = c;
    M4_PreMultOn(m, &r);
}

void M4_RotateYOn(_matrix4* m, float angle) {
    if (angle == 0.0f) return;
    float s, c;
    x_sincos(angle, &s, &c);
    _matrix4 r;
    M4_Identity(&r);
    r.M[0] = c;
    r.M[2] = -s;
    r.M[8] = s;
    r.M[10] = c;
    M4_PreMultOn(m, &r);
}

void M4_RotateZOn(_matrix4* m, float angle) {
    if (angle == 0.0f) return;
    float s, c;
    x_sincos(angle, &s, &c);
    _matrix4 r;
    M4_Identity(&r);
    r.M[0] = c;
    r.M[1] = s;
    r.M[4] = -s;
    r.M[5] = c;
    M4_PreMultOn(m, &r);
}

void M4_SetRotationsXYZ(_matrix4* m, float x, float y, float z) {
    M4_Identity(m);
    const int nonZero = (x != 0.0f) + (y != 0.0f) + (z != 0.0f);
    if (nonZero == 0) return;
    if (nonZero == 1) {
        if (x != 0.0f) M4_RotateXOn(m, x);
        if (y != 0.0f) M4_RotateYOn(m, y);
        if (z != 0.0f) M4_RotateZOn(m, z);
        return;
    }
    float sX, cX, sY, cY, sZ, cZ;
    x_sincos(x, &sX, &cX);
    x_sincos(y, &sY, &cY);
    x_sincos(z, &sZ, &cZ);
    float* M = m->M;
    M[0] = cY * cZ;
    M[1] = cY * sZ;
    M[2] = -sY;
    M[4] = sX * sY * cZ - cX * sZ;
    M[5] = cX * cZ + sX * sY * sZ;
    M[6] = sX * cY;
    M[8] = cX * sY * cZ + sX * sZ;
    M[9] = cX * sY * sZ - sX * cZ;
    M[10] = cX * cY;
}

void M4_SetScale(_matrix4* m, const _vector3d* s) {
    m->M[0] = s->x;
    m->M[5] = s->y;
    m->M[10] = s->z;
}

void M4_SetUniScale(_matrix4* m, float s) {
    m->M[0] = m->M[5] = m->M[10] = s;
}

void M4_SetTranslation(_matrix4* m, const _vector3d* t) {
    m->M[12] = t->x;
    m->M[13] = t->y;
    m->M[14] = t->z;
}

void M4_GetTranslation(const _matrix4* m, _vector3d* t) {
    const _vector3d r = {m->M[12], m->M[13], m->M[14]};
    *t = r;
}

void M4_ClearTranslations(_matrix4* m) {
    m->M[12] = m->M[13] = m->M[14] = 0.0f;
}

void M4_SetRows(_matrix4* m, const _vector3d* a, const _vector3d* b, const _vector3d* c) {
    const _vector3d va = *a, vb = *b, vc = *c;
    const _vector3d* v[3] = {&va, &vb, &vc};
    for (int k = 0; k < 3; ++k) {
        m->M[k] = v[k]->x;
        m->M[k + 4] = v[k]->y;
        m->M[k + 8] = v[k]->z;
    }
}

void M4_TransformVerts(const _matrix4* m, _vector3d* dst, const _vector3d* src, int count) {
    const float* M = m->M;
    for (int i = 0; i < count; ++i) {
        const _vector3d p = src[i];
        dst[i].x = M[0] * p.x + M[4] * p.y + M[8] * p.z + M[12];
        dst[i].y = M[1] * p.x + M[5] * p.y + M[9] * p.z + M[13];
        dst[i].z = M[2] * p.x + M[6] * p.y + M[10] * p.z + M[14];
    }
}

int M4_Invert(_matrix4* out, const _matrix4* in) {
    // Gauss-Jordan on [in | I] with partial pivoting.
    float a[4][8];
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            a[r][c] = in->M[4 * r + c];
            a[r][c + 4] = (r == c) ? 1.0f : 0.0f;
        }
    }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        float best = x_fabs(a[col][col]);
        for (int r = col + 1; r < 4; ++r) {
            if (x_fabs(a[r][col]) > best) {
                best = x_fabs(a[r][col]);
                pivot = r;
            }
        }
        if (a[pivot][col] == 0.0f) return 1;
        if (pivot != col) {
            for (int c = 0; c < 8; ++c) {
                const float t = a[col][c];
                a[col][c] = a[pivot][c];
                a[pivot][c] = t;
            }
        }
        const float inv = 1.0f / a[col][col];
        for (int c = 0; c < 8; ++c) a[col][c] *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col) continue;
            const float f = a[r][col];
            if (f == 0.0f) continue;
            for (int c = 0; c < 8; ++c) a[r][c] -= f * a[col][c];
        }
    }
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) out->M[4 * r + c] = a[r][c + 4];
    }
    return 0;
}

// ---- quaternions -----------------------------------------------------------------------------------

void Q_Set(_quaternion* q, float x, float y, float z, float s) {
    q->S = s;
    q->Axis.x = x;
    q->Axis.y = y;
    q->Axis.z = z;
}

void Q_Identity(_quaternion* q) {
    Q_Set(q, 0.0f, 0.0f, 0.0f, 1.0f);
}

void Q_Add(_quaternion* out, const _quaternion* a, const _quaternion* b) {
    Q_Set(out, a->Axis.x + b->Axis.x, a->Axis.y + b->Axis.y, a->Axis.z + b->Axis.z, a->S + b->S);
}

void Q_Scale(_quaternion* out, const _quaternion* a, float s) {
    Q_Set(out, a->Axis.x * s, a->Axis.y * s, a->Axis.z * s, a->S * s);
}

void Q_Negate(_quaternion* out, const _quaternion* a) {
    Q_Set(out, -a->Axis.x, -a->Axis.y, -a->Axis.z, -a->S);
}

void Q_NegateX(_quaternion* out, const _quaternion* a) {
    Q_Set(out, -a->Axis.x, a->Axis.y, a->Axis.z, -a->S);
}

void Q_Mult(_quaternion* out, const _quaternion* a, const _quaternion* b) {
    const _quaternion qa = *a, qb = *b;
    _vector3d cross;
    V3_Cross(&cross, &qa.Axis, &qb.Axis);
    out->S = qa.S * qb.S - qa.Axis.x * qb.Axis.x - qa.Axis.y * qb.Axis.y - qa.Axis.z * qb.Axis.z;
    out->Axis.x = qa.S * qb.Axis.x + qb.S * qa.Axis.x + cross.x;
    out->Axis.y = qa.S * qb.Axis.y + qb.S * qa.Axis.y + cross.y;
    out->Axis.z = qa.S * qb.Axis.z + qb.S * qa.Axis.z + cross.z;
}

void Q_PostMultOn(_quaternion* q, const _quaternion* r) {
    Q_Mult(q, q, r);
}

void Q_TransformVect(const _quaternion* q, _vector3d* out, const _vector3d* v) {
    const _vector3d A = q->Axis;
    const _vector3d p = *v;
    _vector3d av, aav;
    V3_Cross(&av, &A, &p);
    V3_Cross(&aav, &A, &av);
    const float s2 = 2.0f * q->S;
    out->x = p.x + s2 * av.x + 2.0f * aav.x;
    out->y = p.y + s2 * av.y + 2.0f * aav.y;
    out->z = p.z + s2 * av.z + 2.0f * aav.z;
}

float Q_Length(const _quaternion* q) {
    return x_sqrt(q->S * q->S + q->Axis.x * q->Axis.x + q->Axis.y * q->Axis.y + q->Axis.z * q->Axis.z);
}

void Q_Normalize(_quaternion* q) {
    const float len = Q_Length(q);
    if (len == 0.0f) return;
    const float inv = 1.0f / len;
    Q_Scale(q, q, inv);
}

void Q_SetupFromAxisAngle(_quaternion* q, const _vector3d* axis, float angle) {
    const float s = x_accurateSin(angle * 0.5f);
    const float c = x_accurateCos(angle * 0.5f);
    Q_Set(q, axis->x * s, axis->y * s, axis->z * s, c);
}

void Q_SetupFromAngles(_quaternion* q, float x, float y, float z) {
    float sX, cX, sY, cY, sZ, cZ;
    x_accurateSincos(x * 0.5f, &sX, &cX);
    x_accurateSincos(y * 0.5f, &sY, &cY);
    x_accurateSincos(z * 0.5f, &sZ, &cZ);
    q->S = cX * cY * cZ + sX * sY * sZ;
    q->Axis.x = sX * cY * cZ - cX * sY * sZ;
    q->Axis.y = cX * sY * cZ + sX * cY * sZ;
    q->Axis.z = cX * cY * sZ - sX * sY * cZ;
}

void Q_SetupFromMatrix(_quaternion* q, const _matrix4* m) {
    const float* M = m->M;
    const float s = 0.25f * (1.0f + M[0] + M[5] + M[10]);
    const float sq[4] = {s, s - 0.5f * (M[5] + M[10]), s - 0.5f * (M[10] + M[0]), s - 0.5f * (M[0] + M[5])};
    int big = 0;
    for (int i = 1; i < 4; ++i) {
        if (sq[i] >= sq[big]) big = i;  // later component wins ties
    }
    const float v = x_sqrt(sq[big]);
    const float k = 0.25f / v;
    float S, X, Y, Z;
    switch (big) {
        case 0:
            S = v;
            X = k * (M[6] - M[9]);
            Y = k * (M[8] - M[2]);
            Z = k * (M[1] - M[4]);
            break;
        case 1:
            X = v;
            S = k * (M[6] - M[9]);
            Y = k * (M[4] + M[1]);
            Z = k * (M[8] + M[2]);
            break;
        case 2:
            Y = v;
            S = k * (M[8] - M[2]);
            X = k * (M[1] + M[4]);
            Z = k * (M[9] + M[6]);
            break;
        default:
            Z = v;
            S = k * (M[1] - M[4]);
            X = k * (M[2] + M[8]);
            Y = k * (M[6] + M[9]);
            break;
    }
    if (S < 0.0f) {
        S = -S;
        X = -X;
        Y = -Y;
        Z = -Z;
    }
    Q_Set(q, X, Y, Z, S);
    Q_Normalize(q);
}

void Q_SetupMatrix(const _quaternion* q, _matrix4* m) {
    const float S = q->S, X = q->Axis.x, Y = q->Axis.y, Z = q->Axis.z;
    float* M = m->M;
    M[0] = 1.0f - 2.0f * (Y * Y + Z * Z);
    M[1] = 2.0f * (X * Y + Z * S);
    M[2] = 2.0f * (X * Z - Y * S);
    M[3] = 0.0f;
    M[4] = 2.0f * (X * Y - Z * S);
    M[5] = 1.0f - 2.0f * (X * X + Z * Z);
    M[6] = 2.0f * (Y * Z + X * S);
    M[7] = 0.0f;
    M[8] = 2.0f * (X * Z + Y * S);
    M[9] = 2.0f * (Y * Z - X * S);
    M[10] = 1.0f - 2.0f * (X * X + Y * Y);
    M[11] = 0.0f;
    M[12] = M[13] = M[14] = 0.0f;
    M[15] = 1.0f;
}

namespace {
float Dot4(const _quaternion& a, const _quaternion& b) {
    return a.S * b.S + a.Axis.x * b.Axis.x + a.Axis.y * b.Axis.y + a.Axis.z * b.Axis.z;
}
}  // namespace

void Q_BlendSpherical(_quaternion* out, const _quaternion* a, const _quaternion* b, float t) {
    const _quaternion qa = *a;
    _quaternion qb = *b;
    float c = Dot4(qa, qb);
    if (c <= 0.0f) {
        Q_Negate(&qb, &qb);
        c = Dot4(qa, qb);
    }
    const float s = x_sqrt(x_fabs(1.0f - c * c));
    if (s < 0.001f) {
        *out = qa;
        return;
    }
    const float theta = x_atan2(s, c);
    const float wa = x_accurateSin((1.0f - t) * theta) / s;
    const float wb = x_accurateSin(t * theta) / s;
    out->S = wa * qa.S + wb * qb.S;
    out->Axis.x = wa * qa.Axis.x + wb * qb.Axis.x;
    out->Axis.y = wa * qa.Axis.y + wb * qb.Axis.y;
    out->Axis.z = wa * qa.Axis.z + wb * qb.Axis.z;
}

void Q_GetAxis(const _quaternion* q, _vector3d* out) {
    // 1 / sin(angle / 2) = 1 / sqrt(1 - S^2). For a rotation of (nearly) nothing the axis is undefined;
    // hand back the vector part as it is rather than infinities.
    const float d = 1.0f - q->S * q->S;
    if (!(d > 0.0f)) {
        *out = q->Axis;
        return;
    }
    V3_Scale(out, &q->Axis, 1.0f / std::sqrt(d));
}

float Q_GetAngle(const _quaternion* q) {
    float s = q->S;
    if (s > 1.0f) s = 1.0f;
    if (s < -1.0f) s = -1.0f;
    return 2.0f * x_acos(s);
}

void Q_SetupFromFixed(_quaternion* q, int16_t s, int16_t x, int16_t y, int16_t z) {
    constexpr float k = 1.0f / 16384.0f;
    Q_Set(q, x * k, y * k, z * k, s * k);
}

// ---- engine helpers --------------------------------------------------------------------------------

void veMathCreateLocalToScreenLocalToClip(_matrix4* localToScreen, _matrix4* localToClip,
                                          const _matrix4* localToWorld, const _matrix4* viewToScreen,
                                          const _matrix4* viewToClip, const _matrix4* worldToView) {
    _matrix4 c;
    M4_Mult(&c, worldToView, localToWorld);
    _matrix4 screen, clip;
    M4_Mult(&screen, viewToScreen, &c);
    M4_Mult(&clip, viewToClip, &c);
    *localToScreen = screen;
    *localToClip = clip;
}

void veMathVectorTriNormalAndPoint(float* height, float normal[4], const _vector3d* p0, const _vector3d* p1,
                                   const _vector3d* p2, const _vector3d* point) {
    _vector3d e1, e2, n;
    V3_Sub(&e1, p1, p0);
    V3_Sub(&e2, p2, p0);
    V3_Cross(&n, &e1, &e2);
    const float len2 = n.x * n.x + n.y * n.y + n.z * n.z;
    if (len2 > 0.0f) V3_Scale(&n, &n, 1.0f / std::sqrt(len2));
    const float h = (V3_Dot(p0, &n) - point->x * n.x - point->z * n.z) / n.y;
    normal[0] = n.x;
    normal[1] = n.y;
    normal[2] = n.z;
    normal[3] = 1.0f;
    *height = h;
}
