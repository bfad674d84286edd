// The system library's math: fast table trigonometry beside accurate versions, float polynomials for
// the inverse functions, double-precision log/exp/pow, and the vector (V3_), matrix (M4_) and quaternion
// (Q_) operations every transform of the game is built with.
//
// Conventions: angles in radians. Matrices are 4x4 floats, element (row r, column c) at M[4r + c];
// points are row vectors (p' = p * M) with the translation in M[12..14]. M4_Mult(out, a, b) computes
// b * a, so a point goes through b first. Quaternions keep the scalar first. Every operation reads all
// of its inputs before it writes, so a destination may also be an input.
#pragma once

#include <cmath>
#include <cstdint>

struct _vector3d {
    float x, y, z;
};

struct _quaternion {
    float S;         // scalar part
    _vector3d Axis;  // vector part
};

struct alignas(16) _matrix4 {
    float M[16];
};

static_assert(sizeof(_vector3d) == 12);
static_assert(sizeof(_quaternion) == 16);
static_assert(sizeof(_matrix4) == 64);

inline constexpr float X_PI = 3.14159265358979f;
inline constexpr float X_HALF_PI = 1.57079632679490f;
inline constexpr float X_TWO_PI = 6.28318530717959f;

// Sine table: entry i = sin(i * 2pi / 4096) * 32000, truncated toward zero. Filled by x_InitMATH.
inline constexpr int kSinTableSize = 4096;
extern int16_t x_SinTable[kSinTableSize];

void x_InitMATH();

// ---- scalar ----------------------------------------------------------------------------------------

inline float x_fabs(float x) {
    return std::fabs(x);
}
inline int x_abs(int x) {
    return x < 0 ? -x : x;
}

// Square root of the magnitude: a negative argument yields the root of its absolute value.
inline float veMathSqrt(float x) {
    return std::sqrt(std::fabs(x));
}
inline float x_sqrt(float x) {
    return veMathSqrt(x);
}

// 0.9999999 as the float it is stored as (0.99999988).
inline constexpr float kFloorBias = 0.99999988f;

// Truncation used by floor and ceil; std::trunc keeps values beyond the int range defined.
inline float x_floor(float x) {
    return x < 0.0f ? std::trunc(x - kFloorBias) : std::trunc(x);
}
inline float x_ceil(float x) {
    return x_floor(x + kFloorBias);
}
float x_fmod(float x, float y);

// Table index of an angle: truncate(x * 4096 / 2pi). Products beyond the int range (and NaN) read
// entry 0, as a saturating conversion masked to 12 bits would.
inline constexpr float kSinIndexScale = static_cast<float>(4096.0 / 6.283185307179586);
inline int x_SinIndex(float x) {
    const float t = x * kSinIndexScale;
    return (t > -2147483648.0f && t < 2147483648.0f) ? static_cast<int>(t) : 0;
}
inline float x_sin(float x) {
    return x_SinTable[x_SinIndex(x) & 4095] * 3.125e-5f;
}
inline float x_cos(float x) {
    return x_SinTable[(x_SinIndex(x) + 1024) & 4095] * 3.125e-5f;
}
inline void x_sincos(float x, float* s, float* c) {
    const int i = x_SinIndex(x);
    *s = x_SinTable[i & 4095] * 3.125e-5f;
    *c = x_SinTable[(i + 1024) & 4095] * 3.125e-5f;
}

// The C library's single-precision sine and cosine.
inline float veMathSin(float x) {
    return std::sin(x);
}
inline float veMathCos(float x) {
    return std::cos(x);
}
inline float x_accurateSin(float x) {
    return veMathSin(x);
}
inline float x_accurateCos(float x) {
    return veMathCos(x);
}
inline void x_accurateSincos(float x, float* s, float* c) {
    *s = veMathSin(x);
    *c = veMathCos(x);
}

float x_asin(float x);
float x_acos(float x);
float x_atan(float x);
float x_atan2(float y, float x);

double x_log(double x);
double x_exp(double x);
double x_pow(double x, double y);
double x_ldexp(double x, int n);
double x_frexp(double x, int* exponent);

// ---- vectors ---------------------------------------------------------------------------------------

inline void V3_Zero(_vector3d* v) {
    v->x = v->y = v->z = 0.0f;
}
inline void V3_Set(_vector3d* v, float x, float y, float z) {
    v->x = x;
    v->y = y;
    v->z = z;
}
inline void V3_Copy(_vector3d* dst, const _vector3d* src) {
    *dst = *src;
}
inline void V3_Add(_vector3d* out, const _vector3d* a, const _vector3d* b) {
    const _vector3d r = {a->x + b->x, a->y + b->y, a->z + b->z};
    *out = r;
}
inline void V3_Sub(_vector3d* out, const _vector3d* a, const _vector3d* b) {
    const _vector3d r = {a->x - b->x, a->y - b->y, a->z - b->z};
    *out = r;
}
inline void V3_Scale(_vector3d* out, const _vector3d* a, float s) {
    const _vector3d r = {a->x * s, a->y * s, a->z * s};
    *out = r;
}
inline float V3_Dot(const _vector3d* a, const _vector3d* b) {
    return a->x * b->x + a->y * b->y + a->z * b->z;
}
inline float V3_Distance(const _vector3d* a, const _vector3d* b) {
    const float dx = a->x - b->x, dy = a->y - b->y, dz = a->z - b->z;
    return x_sqrt(dx * dx + dy * dy + dz * dz);
}
inline void V3_Cross(_vector3d* out, const _vector3d* a, const _vector3d* b) {
    const _vector3d r = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
    *out = r;
}
void V3_RotateX(_vector3d* out, const _vector3d* v, float angle);
void V3_RotateY(_vector3d* out, const _vector3d* v, float angle);
void V3_RotateZ(_vector3d* out, const _vector3d* v, float angle);
// Angles that turn +Z along the direction: rotate about X by *angleX, then about Y by *angleY.
void V3_ZToVecRot(const _vector3d* dir, float* angleX, float* angleY);

// ---- matrices --------------------------------------------------------------------------------------

void M4_Identity(_matrix4* m);
inline void M4_Copy(_matrix4* dst, const _matrix4* src) {
    *dst = *src;
}
// out = b * a: a point goes through b first, then a. out may be a or b.
void M4_Mult(_matrix4* out, const _matrix4* a, const _matrix4* b);
// m = m * x: the existing transform first, then x.
void M4_PreMultOn(_matrix4* m, const _matrix4* x);
// m = m * T(v).
void M4_TranslateBy(_matrix4* m, const _vector3d* v);
// m = m * R(angle); an angle of exactly 0 leaves m unchanged.
void M4_RotateXOn(_matrix4* m, float angle);
void M4_RotateYOn(_matrix4* m, float angle);
void M4_RotateZOn(_matrix4* m, float angle);
// m = Rx * Ry * Rz (X first), no translation.
void M4_SetRotationsXYZ(_matrix4* m, float x, float y, float z);
void M4_SetScale(_matrix4* m, const _vector3d* s);
void M4_SetUniScale(_matrix4* m, float s);
void M4_SetTranslation(_matrix4* m, const _vector3d* t);
void M4_GetTranslation(const _matrix4* m, _vector3d* t);
void M4_ClearTranslations(_matrix4* m);
// Vector a fills column 0 of the rotation part (M0, M4, M8), b column 1, c column 2.
void M4_SetRows(_matrix4* m, const _vector3d* a, const _vector3d* b, const _vector3d* c);
// count points p' = p * m; dst may equal src.
void M4_TransformVerts(const _matrix4* m, _vector3d* dst, const _vector3d* src, int count);
// 0 on success, 1 when singular (out is then left unchanged).
int M4_Invert(_matrix4* out, const _matrix4* in);

// ---- quaternions -----------------------------------------------------------------------------------

void Q_Set(_quaternion* q, float x, float y, float z, float s);
void Q_Identity(_quaternion* q);
inline void Q_Copy(_quaternion* dst, const _quaternion* src) {
    *dst = *src;
}
void Q_Add(_quaternion* out, const _quaternion* a, const _quaternion* b);
void Q_Scale(_quaternion* out, const _quaternion* a, float s);
void Q_Negate(_quaternion* out, const _quaternion* a);
// Negates S and X only (a mirror in X).
void Q_NegateX(_quaternion* out, const _quaternion* a);
// Hamilton product a (x) b; out may be a or b.
void Q_Mult(_quaternion* out, const _quaternion* a, const _quaternion* b);
void Q_PostMultOn(_quaternion* q, const _quaternion* r);
void Q_TransformVect(const _quaternion* q, _vector3d* out, const _vector3d* v);
float Q_Length(const _quaternion* q);
void Q_Normalize(_quaternion* q);
void Q_SetupFromAxisAngle(_quaternion* q, const _vector3d* axis, float angle);
void Q_SetupFromAngles(_quaternion* q, float x, float y, float z);
void Q_SetupFromMatrix(_quaternion* q, const _matrix4* m);
void Q_SetupMatrix(const _quaternion* q, _matrix4* m);
void Q_BlendSpherical(_quaternion* out, const _quaternion* a, const _quaternion* b, float t);
void Q_GetAxis(const _quaternion* q, _vector3d* out);
float Q_GetAngle(const _quaternion* q);
void Q_SetupFromFixed(_quaternion* q, int16_t s, int16_t x, int16_t y, int16_t z);

// ---- engine helpers --------------------------------------------------------------------------------

// C = localToWorld * worldToView (local first); localToScreen = C * viewToScreen, localToClip = C *
// viewToClip.
void veMathCreateLocalToScreenLocalToClip(_matrix4* localToScreen, _matrix4* localToClip,
                                          const _matrix4* localToWorld, const _matrix4* viewToScreen,
                                          const _matrix4* viewToClip, const _matrix4* worldToView);
// The unit normal of triangle p0 p1 p2 ((p1 - p0) x (p2 - p0), normalised) into normal[0..2] with
// normal[3] = 1, and into *height the y of the triangle's plane at point's x and z.
void veMathVectorTriNormalAndPoint(float* height, float normal[4], const _vector3d* p0, const _vector3d* p1,
                                   const _vector3d* p2, const _vector3d* point);
