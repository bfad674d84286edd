// The track generator: lap shapes per kind, jumps along the lap, terrain heights, surface codes, colour
// pictures, splines, objects, cameras and bonuses (see track_design.h).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "mkdisc/track_design.h"
#include "world/terrain_map_format.h"
#include "world/terrain_type.h"
#include "world/world_file_format.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// ---- Random numbers and noise -------------------------------------------------------------------

class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    float uniform(float lo, float hi) { return lo + (hi - lo) * float(next() >> 40) / float(1 << 24); }
    int pick(int n) { return int(next() % uint64_t(n)); }

private:
    uint64_t state_;
};

uint32_t Hash(int32_t x, int32_t z, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8DA6B343u ^ uint32_t(z) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
    h ^= h >> 13;
    h *= 0x5BD1E995u;
    return h ^ (h >> 15);
}

float Lattice(int32_t x, int32_t z, uint32_t seed) {
    return float(Hash(x, z, seed) & 0xFFFF) / 65535.0f;
}

float Smooth(float t) {
    return t * t * (3 - 2 * t);
}
float Clamp01(float t) {
    return std::clamp(t, 0.0f, 1.0f);
}

// Value noise in 0..1 with unit lattice spacing.
float ValueNoise(float x, float z, uint32_t seed) {
    const float fx = std::floor(x), fz = std::floor(z);
    const int32_t ix = int32_t(fx), iz = int32_t(fz);
    const float tx = Smooth(x - fx), tz = Smooth(z - fz);
    const float a = Lattice(ix, iz, seed), b = Lattice(ix + 1, iz, seed);
    const float c = Lattice(ix, iz + 1, seed), d = Lattice(ix + 1, iz + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * tz;
}

// Fractal noise in about 0..1: `octaves` layers, each twice as fine and half as strong.
float Fbm(float x, float z, int octaves, uint32_t seed) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += amp * ValueNoise(x, z, seed + uint32_t(o) * 101u);
        norm += amp;
        x *= 2.03f;
        z *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}

// ---- Lap shapes ---------------------------------------------------------------------------------

struct Vertex {
    float x, z, radius;  // corner fillet radius
};

// A closed polygon with rounded corners, as a dense polyline starting where the fillet of vertex 0
// ends (the start of the edge from vertex 0 to vertex 1).
std::vector<std::array<float, 2>> RoundedPolygon(const std::vector<Vertex>& v) {
    const size_t n = v.size();
    struct Corner {
        float ax, az, bx, bz;  // fillet start and end
        float cx, cz, r, a0, sweep;
    };
    std::vector<Corner> corners(n);
    for (size_t i = 0; i < n; ++i) {
        const Vertex& p = v[(i + n - 1) % n];
        const Vertex& c = v[i];
        const Vertex& q = v[(i + 1) % n];
        float ix = c.x - p.x, iz = c.z - p.z, ox = q.x - c.x, oz = q.z - c.z;
        const float li = std::hypot(ix, iz), lo = std::hypot(ox, oz);
        ix /= li, iz /= li, ox /= lo, oz /= lo;
        const float turn = std::atan2(ix * oz - iz * ox, ix * ox + iz * oz);
        float tl = c.radius * std::tan(std::fabs(turn) / 2);
        tl = std::min(tl, 0.5f * std::min(li, lo));
        const float r = std::fabs(turn) > 1e-4f ? tl / std::tan(std::fabs(turn) / 2) : 0.0f;
        Corner k{};
        k.ax = c.x - ix * tl, k.az = c.z - iz * tl;
        k.bx = c.x + ox * tl, k.bz = c.z + oz * tl;
        k.r = r;
        k.sweep = turn;
        if (r > 0) {
            const float sgn = turn > 0 ? 1.0f : -1.0f;  // centre on the left of a left turn
            k.cx = k.ax - iz * r * sgn, k.cz = k.az + ix * r * sgn;
            k.a0 = std::atan2(k.az - k.cz, k.ax - k.cx);
        }
        corners[i] = k;
    }
    std::vector<std::array<float, 2>> out;
    for (size_t i = 0; i < n; ++i) {
        const Corner& from = corners[i];
        const Corner& to = corners[(i + 1) % n];
        const float len = std::hypot(to.ax - from.bx, to.az - from.bz);
        const int pieces = std::max(1, int(len / 100.0f));
        for (int k = 0; k < pieces; ++k) {
            const float t = float(k) / float(pieces);
            out.push_back({from.bx + (to.ax - from.bx) * t, from.bz + (to.az - from.bz) * t});
        }
        if (to.r > 0) {
            const int pieces2 = std::max(2, int(std::fabs(to.sweep) * to.r / 50.0f));
            for (int k = 0; k < pieces2; ++k) {
                const float a = to.a0 + to.sweep * float(k) / float(pieces2);
                out.push_back({to.cx + to.r * std::cos(a), to.cz + to.r * std::sin(a)});
            }
        }
    }
    return out;
}

// Resamples a closed dense polyline at `step` (adjusted so the lap closes), starting `startAt` units
// along it.
std::vector<CentrePoint> Resample(const std::vector<std::array<float, 2>>& line, float step, float startAt,
                                  float* lapLength) {
    const size_t n = line.size();
    std::vector<double> cum(n + 1, 0.0);
    for (size_t i = 0; i < n; ++i) {
        const auto& a = line[i];
        const auto& b = line[(i + 1) % n];
        cum[i + 1] = cum[i] + std::hypot(double(b[0] - a[0]), double(b[1] - a[1]));
    }
    const double total = cum[n];
    const int count = std::max(8, int(std::lround(total / step)));
    const double ds = total / count;
    std::vector<CentrePoint> out(static_cast<size_t>(count));
    size_t seg = 0;
    for (int k = 0; k < count; ++k) {
        double at = std::fmod(startAt + k * ds, total);
        if (k == 0) seg = 0;
        while (!(cum[seg] <= at && at <= cum[seg + 1])) seg = (seg + 1) % n;
        const double f = (at - cum[seg]) / std::max(1e-9, cum[seg + 1] - cum[seg]);
        const auto& a = line[seg];
        const auto& b = line[(seg + 1) % n];
        CentrePoint& p = out[size_t(k)];
        p = CentrePoint{};
        p.x = float(a[0] + (b[0] - a[0]) * f);
        p.z = float(a[1] + (b[1] - a[1]) * f);
        p.s = float(k * ds);
    }
    for (int k = 0; k < count; ++k) {
        const CentrePoint& a = out[size_t((k + count - 1) % count)];
        const CentrePoint& b = out[size_t((k + 1) % count)];
        CentrePoint& p = out[size_t(k)];
        const float dx = b.x - a.x, dz = b.z - a.z, l = std::hypot(dx, dz);
        p.dirX = dx / l, p.dirZ = dz / l;
    }
    for (int k = 0; k < count; ++k) {
        const CentrePoint& a = out[size_t((k + count - 1) % count)];
        const CentrePoint& b = out[size_t((k + 1) % count)];
        const float turn = std::atan2(a.dirX * b.dirZ - a.dirZ * b.dirX, a.dirX * b.dirX + a.dirZ * b.dirZ);
        out[size_t(k)].curvature = turn / float(2 * ds);
    }
    *lapLength = float(total);
    return out;
}

// ---- Nearest point of the lap -------------------------------------------------------------------

struct Hit {
    bool near = false;
    float d = 0;   // signed distance to the left of the centre line
    float s = 0;   // lap distance of the nearest centre-line point
    float hw = 0;  // half width there
    int seg = -1;
};

// A coarse grid over the world holding, for every cell within reach of the centre line (its half width
// plus `reach`), the nearest centre-line segment and its distance; queries refine it on the neighbouring
// segments.
class LapField {
public:
    LapField(const std::vector<CentrePoint>& c, float lap, float side, float cell, float reach)
        : cell_(cell), n_(int(std::ceil(side / cell))), count_(int(c.size())) {
        for (int i = 0; i < count_; ++i) {
            const CentrePoint& a = c[size_t(i)];
            const CentrePoint& b = c[size_t((i + 1) % count_)];
            Segment g{};
            g.ax = a.x, g.az = a.z, g.sx = b.x - a.x, g.sz = b.z - a.z;
            g.invLen2 = 1.0f / (g.sx * g.sx + g.sz * g.sz);
            g.invLen = std::sqrt(g.invLen2);
            g.s0 = a.s, g.ds = (i + 1 == count_ ? lap : b.s) - a.s;
            g.hw0 = a.halfWidth, g.dhw = b.halfWidth - a.halfWidth;
            seg_.push_back(g);
            maxHalfWidth_ = std::max(maxHalfWidth_, a.halfWidth);
        }
        radius_ = maxHalfWidth_ + reach;
        span_ = 1 + int(std::ceil(cell * 0.75f / std::max(1.0f, lap / float(count_))));
        index_.assign(size_t(n_) * size_t(n_), -1);
        dist_.assign(index_.size(), 1e30f);
        for (int i = 0; i < count_; ++i) {
            const Segment& g = seg_[size_t(i)];
            const float r = std::max(g.hw0, g.hw0 + g.dhw) + reach + cell;
            const int x0 = std::max(0, int((std::min(g.ax, g.ax + g.sx) - r) / cell));
            const int x1 = std::min(n_ - 1, int((std::max(g.ax, g.ax + g.sx) + r) / cell));
            const int z0 = std::max(0, int((std::min(g.az, g.az + g.sz) - r) / cell));
            const int z1 = std::min(n_ - 1, int((std::max(g.az, g.az + g.sz) + r) / cell));
            for (int gz = z0; gz <= z1; ++gz)
                for (int gx = x0; gx <= x1; ++gx) {
                    float t;
                    const float d2 = Distance2(g, (float(gx) + 0.5f) * cell, (float(gz) + 0.5f) * cell, &t);
                    const size_t k = size_t(gz) * size_t(n_) + size_t(gx);
                    if (d2 < r * r && d2 < dist_[k]) dist_[k] = d2, index_[k] = i;
                }
        }
        for (float& d : dist_) d = d < 1e29f ? std::sqrt(d) : d;
    }

    // A lower bound of the distance from (x, z) to the centre line (huge when out of reach).
    float lowerBound(float x, float z) const {
        const int gx = int(x / cell_), gz = int(z / cell_);
        if (x < 0 || z < 0 || gx >= n_ || gz >= n_) return 1e30f;
        return dist_[size_t(gz) * size_t(n_) + size_t(gx)] - cell_ * 0.7072f;
    }
    float maxHalfWidth() const { return maxHalfWidth_; }

    Hit query(float x, float z) const {
        Hit h;
        const int gx = int(x / cell_), gz = int(z / cell_);
        if (x < 0 || z < 0 || gx >= n_ || gz >= n_) return h;
        const int i0 = index_[size_t(gz) * size_t(n_) + size_t(gx)];
        if (i0 < 0) return h;
        float best = 1e30f, bestT = 0;
        int bestI = i0;
        for (int k = -span_; k <= span_; ++k) {
            const int i = (i0 + k + count_) % count_;
            float t;
            const float d2 = Distance2(seg_[size_t(i)], x, z, &t);
            if (d2 < best) best = d2, bestI = i, bestT = t;
        }
        const Segment& g = seg_[size_t(bestI)];
        const float px = g.ax + g.sx * bestT, pz = g.az + g.sz * bestT;
        h.d = ((x - px) * -g.sz + (z - pz) * g.sx) * g.invLen;
        h.near = std::fabs(h.d) < radius_;
        h.s = g.s0 + g.ds * bestT;
        h.hw = g.hw0 + g.dhw * bestT;
        h.seg = bestI;
        return h;
    }

private:
    struct Segment {
        float ax, az, sx, sz, invLen2, invLen, s0, ds, hw0, dhw;
    };
    static float Distance2(const Segment& g, float x, float z, float* tOut) {
        const float t = std::clamp(((x - g.ax) * g.sx + (z - g.az) * g.sz) * g.invLen2, 0.0f, 1.0f);
        const float dx = x - (g.ax + g.sx * t), dz = z - (g.az + g.sz * t);
        *tOut = t;
        return dx * dx + dz * dz;
    }

    std::vector<Segment> seg_;
    float cell_;
    int n_, count_;
    int span_ = 3;
    float radius_ = 0, maxHalfWidth_ = 0;
    std::vector<int> index_;
    std::vector<float> dist_;
};

// ---- Features along the lap ---------------------------------------------------------------------

struct Mound {
    float s0, up, top, down, h;
};

float MoundHeight(const Mound& m, float s) {
    const float u = s - m.s0;
    if (u <= 0 || u >= m.up + m.top + m.down) return 0;
    if (u < m.up) return m.h * Smooth(u / m.up);
    if (u < m.up + m.top) return m.h;
    return m.h * Smooth(1 - (u - m.up - m.top) / m.down);
}

struct KindParams {
    int tiles, grid;
    float step;                       // centre-line spacing
    float halfWidth, startHalfWidth;  // riding surface
    float shoulder;                   // blend to the surroundings
    float splineStep;                 // spline point spacing
    float bandDepth;                  // checkpoint band depth
    int checkpoints;
    uint8_t surface, offSurface, floorSurface;
    float featureGap;              // plain riding between features
    float bermHeight, bermRadius;  // the outside of a corner of radius bermRadius or less rises bermHeight
};

KindParams ParamsFor(TrackKind kind) {
    switch (kind) {
        case TrackKind::Baja:
            return {4, 200, 200, 750, 1700, 2500, 1200, 2000, 12, loam, offSand, offSand, 1500, 0, 1};
        case TrackKind::Indoor:
            return {2, 50, 50, 420, 1650, 350, 300, 600, 8, clay, offLoam, offCement, 600, 90, 900};
        case TrackKind::Outdoor:
            return {3, 100, 100, 600, 1650, 1200, 500, 1500, 10, loam, offGrass, offGrass, 1000, 130, 2200};
        case TrackKind::Freestyle:
        default:
            return {2, 60, 60, 700, 1650, 600, 300, 0, 0, loam, offGrass, hardpack, 600, 60, 2600};
    }
}

class Generator {
public:
    Generator(const TrackSpec& spec, TrackDesign& d)
        : spec_(spec), d_(d), p_(ParamsFor(spec.kind)), rng_(spec.seed) {}

    void run();

private:
    // Lap shape.
    std::vector<Vertex> indoorShape();
    std::vector<Vertex> loopShape(int minN, int maxN, float radiusLo, float radiusHi, float cornerLo,
                                  float cornerHi);
    std::vector<Vertex> freestyleShape();
    bool selfClear() const;
    void buildCentre();
    // Features.
    bool straightOver(float s0, float s1, float maxCurv) const;
    bool freeOver(float s0, float s1) const;
    void addJump(const Jump& j, const std::vector<Mound>& mounds);
    bool placeFeature(float length, float maxCurv, float lo, float hi, float* at);
    void planCheckpoints();
    void buildFeatures();
    void buildBands();
    // Terrain.
    float base(float x, float z) const;
    float profile(float s) const;
    float trackBase(float s) const;
    float surfaceHeight(float x, float z, const Hit& h) const;
    bool onFloor(float x, float z) const;
    void buildHeights();
    uint8_t codeAt(float x, float z) const;
    void buildCodes();
    void buildColours();
    void buildRadar();
    // The rest.
    void buildSplines();
    void setLineSpeeds(std::vector<SplinePointW>& pts, int stride, int level) const;
    void buildObjects();
    void buildCameras();
    void buildBonuses();

    float halfWidthAt(float s) const;
    const CentrePoint& at(float s) const;
    bool clearOfLap(float x, float z, float margin) const;

    struct FreeRamp {
        float x, z, dirX, dirZ, length, height;  // starts at (x, z), runs along dir
    };
    float freeRampHeight(float x, float z) const;
    std::vector<FreeRamp> freeRamps_;

    const TrackSpec& spec_;
    TrackDesign& d_;
    KindParams p_;
    Rng rng_;
    std::vector<Mound> mounds_;
    std::vector<std::array<float, 2>> occupied_;  // s ranges taken by features
    std::vector<float> checkpointPlan_;           // indoor: band starts kept free before the features
    std::vector<float> trackBase_;                // per centre point, smoothed surroundings
    LapField* field_ = nullptr;
    float startClear0_ = 0, startClear1_ = 0;
};

// -- shapes --

std::vector<Vertex> Generator::indoorShape() {
    // A serpentine of lanes across the floor joined by hairpins; the start lane runs along the bottom
    // (+x) and a return lane down the left side closes the lap.
    const float cx = d_.side / 2;
    const float x0 = cx - 8800 + rng_.uniform(-300, 300);  // return lane
    const float xl = x0 + 2900 + rng_.uniform(0, 400);     // left hairpins
    const float xr = cx + 8800 + rng_.uniform(-400, 400);  // right hairpins
    // Four lanes, far enough apart that the hairpins between them are ridden at speed: a rider looks
    // some 25 m along the line ahead, and round a tighter hairpin that look cuts across the infield
    // onto the next lane. (The draw that once chose the lane count is kept so the rest stays put.)
    rng_.pick(2);
    const int lanes = 4;
    float z = cx - 5600 + rng_.uniform(-300, 300);
    std::vector<float> zs = {z};
    z += 3600;  // the start lane is wide: keep the next lane well clear
    zs.push_back(z);
    const float spacing = 3000.0f;
    for (int i = 2; i < lanes; ++i) zs.push_back(z += spacing + rng_.uniform(0, 400));
    std::vector<Vertex> v;
    v.push_back({x0, zs[0], 1800});  // the return lane's corners are ridden at speed too
    for (int i = 0; i < lanes; ++i) {
        const bool east = i % 2 == 0;
        const float gap = i + 1 < lanes ? zs[size_t(i) + 1] - zs[size_t(i)] : 0;
        if (i == 0) {
            v.push_back({xr, zs[0], gap / 2});
            continue;
        }
        // Arrive at lane i from the hairpin on the side the previous lane ended on.
        const float arrive = east ? xl : xr;
        const float prevGap = zs[size_t(i)] - zs[size_t(i) - 1];
        v.push_back({arrive, zs[size_t(i)], prevGap / 2});
        if (i + 1 < lanes) {
            // No chicanes: the lanes are kept straight, for the jumps. (The draw that chose them stays.)
            rng_.pick(3);
            v.push_back({east ? xr : xl, zs[size_t(i)], gap / 2});
        }
    }
    v.push_back({x0, zs.back(), 1800});  // top-left corner into the return lane
    return v;
}

std::vector<Vertex> Generator::loopShape(int minN, int maxN, float radiusLo, float radiusHi, float cornerLo,
                                         float cornerHi) {
    const int n = minN + rng_.pick(maxN - minN + 1);
    const float c = d_.side / 2;
    const float rmax = d_.side * 0.44f;
    std::vector<Vertex> v;
    const float phase = rng_.uniform(0, 2 * kPi);
    for (int i = 0; i < n; ++i) {
        const float a = phase + 2 * kPi * (float(i) + rng_.uniform(-0.25f, 0.25f)) / float(n);
        const float r = rmax * rng_.uniform(radiusLo, radiusHi);
        v.push_back({c + r * std::cos(a), c + r * std::sin(a), rng_.uniform(cornerLo, cornerHi)});
    }
    // The start straight is the longest edge.
    size_t longest = 0;
    float best = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const Vertex& a = v[i];
        const Vertex& b = v[(i + 1) % v.size()];
        const float l = std::hypot(b.x - a.x, b.z - a.z);
        if (l > best) best = l, longest = i;
    }
    std::rotate(v.begin(), v.begin() + long(longest), v.end());
    return v;
}

std::vector<Vertex> Generator::freestyleShape() {
    const float c = d_.side / 2;
    const float hx = 7600 + rng_.uniform(0, 1200), hz = 4400 + rng_.uniform(0, 1000);
    // Two kicker-and-landing pairs on the infield, off the lap, for free riding.
    freeRamps_.clear();
    const float len = rng_.uniform(3200, 4000);
    freeRamps_.push_back({c - hx * 0.55f, c, 1, 0, len, rng_.uniform(260, 330)});
    freeRamps_.push_back({c + hx * 0.55f, c + rng_.uniform(-800, 800), -1, 0, len, rng_.uniform(260, 330)});
    return {{c - hx, c - hz, 2600}, {c + hx, c - hz, 2600}, {c + hx, c + hz, 2600}, {c - hx, c + hz, 2600}};
}

float Generator::halfWidthAt(float s) const {
    // Wide from shortly before the start line to well after it, tapering on both sides.
    const float lap = d_.lapLength;
    float u = s > lap / 2 ? s - lap : s;  // -lap/2 .. lap/2 around the start line
    float wide;
    if (u < -1000)
        wide = 1 - Clamp01((-1000 - u) / 1500);
    else if (u > 3000)
        wide = 1 - Clamp01((u - 3000) / 2000);
    else
        wide = 1;
    wide = Smooth(wide);
    return p_.halfWidth + (p_.startHalfWidth - p_.halfWidth) * wide;
}

const CentrePoint& Generator::at(float s) const {
    const int n = int(d_.centre.size());
    s = std::fmod(s, d_.lapLength);
    if (s < 0) s += d_.lapLength;
    return d_.centre[size_t(std::min(n - 1, int(std::lround(s / d_.step)) % n))];
}

bool Generator::selfClear() const {
    // Parts of the lap that are far apart along it must be far apart on the ground too.
    const auto& c = d_.centre;
    const size_t n = c.size();
    const size_t stride = std::max<size_t>(1, size_t(400 / d_.step));
    for (size_t i = 0; i < n; i += stride)
        for (size_t j = i + stride; j < n; j += stride) {
            const float along = std::min(c[j].s - c[i].s, d_.lapLength - (c[j].s - c[i].s));
            const float need = c[i].halfWidth + c[j].halfWidth + std::max(p_.shoulder, 500.0f);
            if (along < need * 2.5f) continue;
            if (std::hypot(c[i].x - c[j].x, c[i].z - c[j].z) < need) return false;
        }
    return true;
}

void Generator::buildCentre() {
    d_.step = p_.step;
    for (int attempt = 0; attempt < 40; ++attempt) {
        std::vector<Vertex> v;
        float startAt = 0;
        switch (spec_.kind) {
            case TrackKind::Indoor:
                v = indoorShape();
                startAt = 2600;
                break;
            case TrackKind::Outdoor:
                v = loopShape(9, 13, 0.4f, 1.0f, 1500, 4000);
                break;
            case TrackKind::Baja:
                v = loopShape(8, 11, 0.5f, 1.0f, 5000, 12000);
                break;
            case TrackKind::Freestyle:
                v = freestyleShape();
                startAt = 3000;
                break;
        }
        if (spec_.kind == TrackKind::Outdoor || spec_.kind == TrackKind::Baja) {
            const float edge = std::hypot(v[1].x - v[0].x, v[1].z - v[0].z);
            startAt = std::min(edge * 0.3f, 6000.0f);
        }
        const std::vector<std::array<float, 2>> line = RoundedPolygon(v);
        d_.centre = Resample(line, p_.step, startAt, &d_.lapLength);
        d_.step = d_.lapLength / float(d_.centre.size());
        for (CentrePoint& p : d_.centre) p.halfWidth = halfWidthAt(p.s);
        bool inside = true;
        for (const CentrePoint& p : d_.centre) {
            const float margin = 1500 + p.halfWidth;
            if (p.x < margin || p.z < margin || p.x > d_.side - margin || p.z > d_.side - margin)
                inside = false;
        }
        if (inside && selfClear()) return;
    }
    std::fprintf(stderr, "mkdisc: track %s: no clear lap found, using the last\n", spec_.name);
}

// -- features --

bool Generator::straightOver(float s0, float s1, float maxCurv) const {
    for (float s = s0; s <= s1; s += d_.step)
        if (std::fabs(at(s).curvature) > maxCurv) return false;
    return true;
}

bool Generator::freeOver(float s0, float s1) const {
    if (s0 < startClear1_ || s1 > d_.lapLength - startClear0_) return false;
    for (const auto& o : occupied_)
        if (s0 < o[1] && s1 > o[0]) return false;
    return true;
}

bool Generator::placeFeature(float length, float maxCurv, float lo, float hi, float* at) {
    const float gap = p_.featureGap;
    // Indoors a rider comes off a feature flat out: the straight runs on past it far enough to brake
    // for the hairpin after it.
    const bool indoor = spec_.kind == TrackKind::Indoor;
    const float runOut = indoor ? 2000.0f : gap;
    // Indoors the straights are few and a feature fits only in a part of each: look longer for it.
    for (int tries = 0; tries < (indoor ? 1000 : 200); ++tries) {
        const float s0 = rng_.uniform(lo, std::max(lo, hi - length));
        if (freeOver(s0 - gap, s0 + length + gap) && straightOver(s0 - gap, s0 + length + runOut, maxCurv)) {
            occupied_.push_back({s0 - gap, s0 + length + gap});
            *at = s0;
            return true;
        }
    }
    return false;
}

void Generator::addJump(const Jump& j, const std::vector<Mound>& mounds) {
    d_.jumps.push_back(j);
    for (const Mound& m : mounds) mounds_.push_back(m);
}

// Indoors the lanes fill up with jumps and whoops, and a checkpoint left to the gaps between them ends
// up at a hairpin's exit, where a rider running wide meets its gate from the side. So the checkpoints
// are planned first, each on a straight with a run-in as long as a rider's look along the line.
void Generator::planCheckpoints() {
    constexpr float kRunIn = 2500, kRunOut = 600;
    const int n = p_.checkpoints;
    const float depth = p_.bandDepth, tight = 1.0f / 2500;
    for (int k = 0; k < n; ++k) {
        const float from = d_.lapLength * (float(k) + 0.6f) / float(n);
        const float limit = std::min(d_.lapLength * (float(k) + 1.4f) / float(n), d_.lapLength - 2500);
        for (float s = from; s < limit; s += d_.step) {
            if (!checkpointPlan_.empty() && s < checkpointPlan_.back() + depth + kRunIn) continue;
            if (!straightOver(s - kRunIn, s + depth + kRunOut, tight)) continue;
            checkpointPlan_.push_back(s);
            occupied_.push_back({s - 300, s + depth + 300});
            break;
        }
    }
}

void Generator::buildFeatures() {
    const float lap = d_.lapLength;
    startClear0_ = 2000;  // before the start line
    startClear1_ = 6000;  // after it
    float maxCurv = 1.0f / 8000;
    struct Plan {
        const char* shape;
        int count;
    };
    std::vector<Plan> plans;
    switch (spec_.kind) {
        case TrackKind::Indoor:
            maxCurv = 1.0f / 6000;
            plans = {{"triple", 1},   {"double", 2}, {"whoops", 1},
                     {"tabletop", 1}, {"double", 1}, {"whoops", 1}};
            break;
        case TrackKind::Outdoor:
            maxCurv = 1.0f / 9000;
            plans = {{"bigtable", 2}, {"double", 1}, {"step", 1}, {"rollers", 2}, {"bigtable", 1}};
            break;
        case TrackKind::Baja:
            maxCurv = 1.0f / 20000;
            plans = {{"tabletop", 2}, {"rollers", 3}};
            break;
        case TrackKind::Freestyle:
            maxCurv = 1.0f / 9000;
            startClear1_ = 3000;
            plans = {{"kicker", 4}, {"bigtable", 1}};
            break;
    }
    if (spec_.kind == TrackKind::Indoor) planCheckpoints();
    const float scaleUp = spec_.kind == TrackKind::Outdoor ? 1.4f : 1.0f;
    // How far past the lip the riders come down on each kind of jump: the jump assist launches them at
    // about 30 m/s, and the lines ride the jumps flat out. The landing face of each jump runs down to
    // that point, a long gentle slope, and its landing mark ends just before it, so the riders'
    // time-to-land estimates (to the end of the mark) agree with their flights.
    constexpr float kLip = 0.95f;
    auto carry = [&](const std::string& shape) {
        if (spec_.kind == TrackKind::Outdoor) return shape == "bigtable" ? 6400.0f : 4600.0f;
        if (spec_.kind == TrackKind::Indoor)
            return shape == "tabletop" ? 2900.0f : shape == "triple" ? 3900.0f : 3600.0f;
        return 0.0f;  // baja and freestyle: the shapes' own proportions
    };
    for (const Plan& plan : plans)
        for (int k = 0; k < plan.count; ++k) {
            const std::string shape = plan.shape;
            float s0 = 0;
            if (shape == "whoops" || shape == "rollers") {
                const int n = shape == "whoops" ? 7 + rng_.pick(5) : 3 + rng_.pick(3);
                const float pitch = shape == "whoops" ? 280.0f : 1100.0f;
                const float h = shape == "whoops" ? 55.0f : 120.0f;
                if (!placeFeature(pitch * float(n), maxCurv, 0, lap, &s0)) continue;
                for (int i = 0; i < n; ++i)
                    mounds_.push_back({s0 + pitch * float(i), pitch * 0.45f, 0, pitch * 0.45f, h});
                continue;
            }
            // Jumps: mounds, and the takeoff and landing faces that get their markers.
            std::vector<Mound> m;
            Jump j{};
            j.shape = plan.shape;
            float length = 0;
            if (shape == "tabletop" || shape == "bigtable") {
                const bool big = shape == "bigtable";
                const float h = (big ? 320.0f : 170.0f) * scaleUp * rng_.uniform(0.85f, 1.1f);
                const float up = h * 3.2f, top = big ? 1800 * scaleUp : 900;
                // The landing runs down as far as the flight carries, so the bike comes down on it.
                const float down = std::max(h * 4.5f, carry(shape) - up * (1 - kLip) - top);
                length = up + top + down;
                if (!placeFeature(length, maxCurv, 0, lap, &s0)) continue;
                m.push_back({s0, up, top, down, h});
                j.takeoff0 = s0 + up * 0.3f, j.takeoff1 = s0 + up * kLip;
                j.landing0 = s0 + up + top + down * 0.3f, j.landing1 = s0 + up + top + down * 0.95f;
                // The computer riders' own marks (preload patch, take-off lip) go round these faces,
                // so the faces keep to codes those marks never pair with.
                if (big)
                    j.takeoffCode = preload3, j.landingCode = landing3;
                else if (spec_.kind == TrackKind::Baja)
                    j.takeoffCode = preload2, j.landingCode = landing2;
                else
                    j.takeoffCode = jump_skill2, j.landingCode = landing2;
            } else if (shape == "double" || shape == "triple" || shape == "step") {
                const int count = shape == "triple" ? 3 : 2;
                const float h = (shape == "triple" ? 210.0f : 180.0f) * scaleUp * rng_.uniform(0.9f, 1.1f);
                const float up = h * 2.6f, down = h * 3.2f,
                            gap = shape == "triple" ? 150.0f : 250.0f * scaleUp;
                const float each = up + down + gap;
                // The last mound's landing runs down as far as the flight carries.
                const float lastTop = shape == "step" ? 600.0f : 0.0f;
                const float lastStart = each * float(count - 1);
                const float lastDown = std::max(down, up * kLip + carry(shape) - lastStart - up - lastTop);
                length = lastStart + up + lastTop + lastDown;
                if (!placeFeature(length, maxCurv, 0, lap, &s0)) continue;
                for (int i = 0; i < count; ++i) {
                    const bool last = i + 1 == count;
                    const bool stepUp = shape == "step" && last;
                    m.push_back({s0 + each * float(i), up, last ? lastTop : 0.0f, last ? lastDown : down,
                                 stepUp ? h * 1.3f : h});
                }
                const Mound& last = m.back();
                j.takeoff0 = s0 + up * 0.3f, j.takeoff1 = s0 + up * kLip;
                j.landing0 = last.s0 + last.up + last.top + last.down * 0.3f;
                j.landing1 = last.s0 + last.up + last.top + last.down * 0.95f;
                if (shape == "triple")
                    j.takeoffCode = jump_skill3, j.landingCode = landing3;
                else if (spec_.kind == TrackKind::Outdoor)
                    j.takeoffCode = preload2, j.landingCode = landing2;
                else
                    j.takeoffCode = jump_skill2, j.landingCode = landing2;
            } else {  // kicker: a steep ramp and a landing mound beyond a gap
                const float h = rng_.uniform(260, 340);
                const float up = h * 2.2f, gap = rng_.uniform(900, 1400), land = h * 5;
                length = up + gap + land;
                if (!placeFeature(length, maxCurv, 0, lap, &s0)) continue;
                m.push_back({s0, up, 60, h * 1.3f, h});
                m.push_back({s0 + up + gap - land * 0.35f, land * 0.35f, 200, land, h * 0.9f});
                j.takeoff0 = s0 + up * 0.3f, j.takeoff1 = s0 + up * 0.95f;
                const Mound& l = m.back();
                j.landing0 = l.s0 + l.up + l.top + l.down * 0.05f,
                j.landing1 = l.s0 + l.up + l.top + l.down * 0.7f;
                j.takeoffCode = jump_skill4, j.landingCode = landing4;
            }
            addJump(j, m);
        }
    std::sort(d_.jumps.begin(), d_.jumps.end(),
              [](const Jump& a, const Jump& b) { return a.takeoff0 < b.takeoff0; });
}

void Generator::buildBands() {
    std::vector<Band>& b = d_.bands;
    const float bandGap = std::max(300.0f, 3.0f * float(d_.gridSize));
    for (const Jump& j : d_.jumps) {
        // The ramp from its foot: the computer riders' preload patch up to the face, the face's first
        // third marked as a take-off they show off from, then the bike's own code up to the lip. The
        // ramp search reads the three as one take-off of the code it is left by, the bike's.
        const float face = j.takeoff1 - j.takeoff0, foot = j.takeoff0 - face * (0.3f / 0.65f);
        const float patch = std::min(foot - 150.0f, j.takeoff0 - 350.0f), mark = j.takeoff0 + face * 0.35f;
        b.push_back({patch, j.takeoff0, aiPreLoad});
        b.push_back({j.takeoff0, mark, jumpLand});
        b.push_back({mark, j.takeoff1, j.takeoffCode});
        b.push_back({j.landing0, j.landing1, j.landingCode});
        // A rider who falls on a big jump is put back beyond its landing: a crash zone round it.
        const std::string shape = j.shape;
        if ((spec_.kind == TrackKind::Indoor || spec_.kind == TrackKind::Outdoor) && shape != "tabletop") {
            b.push_back({patch - 350, patch - 100, crash_begin});
            b.push_back({j.landing1 + bandGap, j.landing1 + bandGap + 250, crash_end});
            d_.crashZones.push_back({patch - 100, j.landing1 + bandGap + 250});
        }
    }
    auto clear = [&](float s0, float s1) {
        const float gap = std::max(300.0f, 3.0f * float(d_.gridSize));
        for (const Band& x : b)
            if (s0 - gap < x.s1 && s1 + gap > x.s0) return false;
        for (const auto& o : occupied_)
            if (s0 < o[1] && s1 > o[0]) return false;
        return true;
    };
    // The hole shot: across the lap just before its first real corner.
    for (float s = 2000; s < d_.lapLength / 2 && p_.checkpoints > 0; s += d_.step)
        if (std::fabs(at(s).curvature) > 1.0f / 4000) {
            const float s0 = std::max(1500.0f, s - 800);
            if (clear(s0, s0 + 300)) {
                b.push_back({s0, s0 + 300, holeShot});
                d_.holeShot = s0 + 150;
            }
            break;
        }
    // Checkpoints, evenly round the lap, moved forward off features and, where the lap allows, out of
    // corners: a rider running wide or landing off line still rides through a band on a straight.
    const int n = p_.checkpoints;
    const float depth = p_.bandDepth, tight = spec_.kind == TrackKind::Indoor ? 1.0f / 2500 : 1.0f / 6000;
    auto straight = [&](float s) { return straightOver(s - depth, s + 2 * depth, tight); };
    for (float s : checkpointPlan_) {
        // Planned before the features: the band only has to keep clear of the other bands.
        bool free = true;
        for (const Band& x : b) free = free && (s + depth + 300 < x.s0 || s - 300 > x.s1);
        if (!free) continue;
        b.push_back({s, s + depth, uint8_t(checkpoint0 + d_.checkpoints.size())});
        d_.checkpoints.push_back(s + depth / 2);
    }
    for (int k = 0; k < n && checkpointPlan_.empty(); ++k) {
        const float from = d_.lapLength * (float(k) + 0.6f) / float(n);
        const float limit = std::min(d_.lapLength * (float(k) + 1.4f) / float(n), d_.lapLength - 2500);
        float s = from;
        while (s < limit && !(clear(s, s + depth) && straight(s))) s += d_.step;
        if (s >= limit)
            for (s = from; s < limit && !clear(s, s + depth);) s += d_.step;
        if (!clear(s, s + depth) || s >= limit) continue;
        b.push_back({s, s + p_.bandDepth, uint8_t(checkpoint0 + d_.checkpoints.size())});
        d_.checkpoints.push_back(s + p_.bandDepth / 2);
    }
    std::sort(b.begin(), b.end(), [](const Band& x, const Band& y) { return x.s0 < y.s0; });
    // Number the checkpoints in lap order (they are placed in order, so this keeps them).
}

// -- terrain --

float Generator::base(float x, float z) const {
    const uint32_t seed = spec_.seed;
    switch (spec_.kind) {
        case TrackKind::Indoor:
            return 0;
        case TrackKind::Freestyle: {
            if (onFloor(x, z)) return freeRampHeight(x, z);
            // Spectator banks rising away from the arena floor.
            const float dx = std::max({d_.floorX0 - x, x - d_.floorX1, 0.0f});
            const float dz = std::max({d_.floorZ0 - z, z - d_.floorZ1, 0.0f});
            const float out = std::hypot(dx, dz);
            return std::min(out, 3000.0f) * 0.25f + 200 * Fbm(x / 5000, z / 5000, 3, seed);
        }
        case TrackKind::Outdoor:
            return 400 + 2200 * Fbm(x / 24000, z / 24000, 4, seed);
        case TrackKind::Baja:
        default: {
            const float dunes =
                1 - std::fabs(2 * ValueNoise(x / 16000 + 0.3f * z / 16000, z / 40000, seed + 7) - 1);
            return 300 + 2000 * Fbm(x / 60000, z / 60000, 3, seed) + 900 * dunes * dunes;
        }
    }
}

float Generator::freeRampHeight(float x, float z) const {
    float h = 0;
    for (const FreeRamp& r : freeRamps_) {
        const float u = (x - r.x) * r.dirX + (z - r.z) * r.dirZ;
        const float v = std::fabs(-(x - r.x) * r.dirZ + (z - r.z) * r.dirX);
        if (u <= 0 || u >= r.length || v >= 450) continue;
        const float kickUp = r.height * 2.3f, landUp = r.length * 0.18f, landDown = r.length * 0.4f;
        const Mound kicker{0, kickUp, 40, 150, r.height};
        const Mound landing{r.length - landUp - 200 - landDown, landUp, 200, landDown, r.height * 0.9f};
        const float along = std::max(MoundHeight(kicker, u), MoundHeight(landing, u));
        h = std::max(h, along * (v < 250 ? 1.0f : Smooth(1 - (v - 250) / 200)));
    }
    return h;
}

float Generator::profile(float s) const {
    float h = 0;
    for (const Mound& m : mounds_) h = std::max(h, MoundHeight(m, s));
    return h;
}

float Generator::trackBase(float s) const {
    const int n = int(d_.centre.size());
    const float f = std::fmod(s / d_.step, float(n));
    const int i = int(f);
    const float t = f - float(i);
    return trackBase_[size_t(i % n)] * (1 - t) + trackBase_[size_t((i + 1) % n)] * t;
}

float Generator::surfaceHeight(float x, float z, const Hit& h) const {
    const float b = base(x, z);
    if (!h.near) return b;
    // Corners are bermed: the outside edge rises with the corner's tightness.
    const CentrePoint& c = at(h.s);
    const float outside = (c.curvature > 0 ? -h.d : h.d) / h.hw;
    const float berm =
        p_.bermHeight * std::min(1.0f, std::fabs(c.curvature) * p_.bermRadius) * Smooth(Clamp01(outside));
    const float track = trackBase(h.s) + profile(h.s) + berm;
    const float out = std::fabs(h.d) - h.hw;
    if (out <= 0) return track;
    const float t = Smooth(Clamp01(out / p_.shoulder));
    return track + (b - track) * t;
}

bool Generator::onFloor(float x, float z) const {
    return x >= d_.floorX0 && x <= d_.floorX1 && z >= d_.floorZ0 && z <= d_.floorZ1;
}

void Generator::buildHeights() {
    // The lap's surroundings, smoothed along the lap, give the riding surface its height.
    const int n = int(d_.centre.size());
    std::vector<float> raw(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) raw[size_t(i)] = base(d_.centre[size_t(i)].x, d_.centre[size_t(i)].z);
    const int w = std::max(1, int((spec_.kind == TrackKind::Baja ? 12000.0f : 5000.0f) / d_.step));
    trackBase_.assign(size_t(n), 0);
    double sum = 0;
    for (int k = -w; k <= w; ++k) sum += raw[size_t((k + n) % n)];
    for (int i = 0; i < n; ++i) {
        trackBase_[size_t(i)] = float(sum / (2 * w + 1));
        sum += raw[size_t((i + w + 1) % n)] - raw[size_t((i - w + n) % n)];
    }
    for (int i = 0; i < n; ++i)
        d_.centre[size_t(i)].height = trackBase_[size_t(i)] + profile(d_.centre[size_t(i)].s);

    const int cells = 224 * d_.tilesPerSide;
    const float unitsPerSample = d_.scaleY / 655.35f;
    d_.heights.assign(size_t(cells) * size_t(cells), 0);
    for (int r = 0; r < cells; ++r)
        for (int c = 0; c < cells; ++c) {
            const float x = float(c * d_.gridSize), z = float(r * d_.gridSize);
            const float reach = field_->maxHalfWidth() + p_.shoulder;
            const float h =
                surfaceHeight(x, z, field_->lowerBound(x, z) > reach ? Hit{} : field_->query(x, z));
            d_.heights[size_t(r) * size_t(cells) + size_t(c)] =
                uint16_t(std::clamp(std::lround(h / unitsPerSample), 0L, 65535L));
        }
}

uint8_t Generator::codeAt(float x, float z) const {
    const Hit h =
        field_->lowerBound(x, z) > field_->maxHalfWidth() + p_.shoulder ? Hit{} : field_->query(x, z);
    // Checkpoint bands reach out over the shoulders, for riders who run wide.
    const float reach = h.near ? h.hw + p_.shoulder * 0.8f : 0.0f;
    if (h.near && std::fabs(h.d) <= reach) {
        const auto& b = d_.bands;
        auto it = std::upper_bound(b.begin(), b.end(), h.s, [](float s, const Band& x) { return s < x.s0; });
        const bool in = it != b.begin() && h.s < std::prev(it)->s1;
        if (std::fabs(h.d) <= h.hw) return in ? std::prev(it)->code : p_.surface;
        if (in && std::prev(it)->code >= checkpoint0) return std::prev(it)->code;
    }
    if (spec_.kind == TrackKind::Freestyle) return onFloor(x, z) ? p_.floorSurface : p_.offSurface;
    if (spec_.kind == TrackKind::Indoor) return onFloor(x, z) ? p_.offSurface : p_.floorSurface;
    return p_.offSurface;
}

void Generator::buildCodes() {
    const uint32_t n = terrainmap::kSide;
    const float scale = terrainmap::TileScale(d_.tilesPerSide * d_.tilesPerSide);
    const float unitsPerPos = float(d_.gridSize) / scale / 2;  // world units per half map unit
    d_.codes.assign(size_t(n) * n, 0);
    for (uint32_t z = 0; z < n; ++z)
        for (uint32_t x = 0; x < n; ++x)
            d_.codes[size_t(z) * n + x] =
                codeAt((float(x) + 0.5f) * unitsPerPos, (float(z) + 0.5f) * unitsPerPos);
}

// Colour materials: 16 shades each in the colour palette.
enum Material : uint8_t {
    kDirt,
    kClay,
    kHardpack,
    kPacked,
    kGrass,
    kDryGrass,
    kSand,
    kDarkSand,
    kTurf,
    kConcrete,
    kWhite,
    kLooseDirt,
    kRut,
    kBlack,
    kRock,
    kBlue
};

std::vector<uint32_t> ColourPalette() {
    static const uint8_t kBase[16][3] = {{122, 84, 52}, {140, 92, 58},   {182, 152, 108}, {100, 70, 45},
                                         {72, 118, 50}, {128, 134, 72},  {208, 184, 134}, {194, 168, 120},
                                         {58, 96, 56},  {128, 128, 124}, {236, 236, 236}, {156, 116, 78},
                                         {88, 60, 40},  {28, 28, 28},    {112, 106, 100}, {48, 70, 170}};
    std::vector<uint32_t> pal(256);
    for (int m = 0; m < 16; ++m)
        for (int l = 0; l < 16; ++l) {
            const float k = 0.45f + 0.055f * float(l);
            uint32_t rgb = 0;
            for (int ch = 0; ch < 3; ++ch)
                rgb |= uint32_t(std::min(255.0f, float(kBase[m][ch]) * k)) << (8 * ch);
            pal[size_t(m * 16 + l)] = rgb | 0x80000000u;
        }
    return pal;
}

void Generator::buildColours() {
    d_.colourPalette = ColourPalette();
    const int tiles = d_.tilesPerSide;
    const int px = TrackDesign::kColourSize;
    const float subtile = 56.0f * float(d_.gridSize);
    const float g = float(d_.gridSize);
    const uint32_t seed = spec_.seed;
    Material track = kDirt, off = kGrass, floor = kGrass;
    switch (spec_.kind) {
        case TrackKind::Indoor:
            track = kClay, off = kTurf, floor = kConcrete;
            break;
        case TrackKind::Outdoor:
            track = kDirt, off = kGrass, floor = kGrass;
            break;
        case TrackKind::Baja:
            track = kDirt, off = kSand, floor = kSand;
            break;
        case TrackKind::Freestyle:
            track = kPacked, off = kGrass, floor = kLooseDirt;
            break;
    }
    d_.colour.assign(size_t(16 * tiles * tiles), std::vector<uint8_t>(size_t(px * px)));
    const float reach = field_->maxHalfWidth() + p_.shoulder;
    const float patchScale = d_.side / 24;
    const int cells = 224 * tiles;
    auto sample = [&](int c, int r) {
        c = std::clamp(c, 0, cells - 1), r = std::clamp(r, 0, cells - 1);
        return float(d_.heights[size_t(r) * size_t(cells) + size_t(c)]) * d_.scaleY / 655.35f;
    };
    for (int t = 0; t < tiles * tiles; ++t)
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < 4; ++j) {
                std::vector<uint8_t>& pic = d_.colour[size_t(16 * t + 4 * k + j)];
                const float x0 = float((t % tiles) * 4 + j) * subtile,
                            z0 = float((t / tiles) * 4 + k) * subtile;
                for (int py = 0; py < px; ++py)
                    for (int pxl = 0; pxl < px; ++pxl) {
                        const float x = x0 + (float(pxl) + 0.5f) * subtile / float(px);
                        const float z = z0 + (float(py) + 0.5f) * subtile / float(px);
                        const Hit h = field_->lowerBound(x, z) > reach ? Hit{} : field_->query(x, z);
                        const float jitter = float(Hash(int32_t(x), int32_t(z), seed) & 255) / 255.0f;
                        const float patch = Fbm(x / patchScale, z / patchScale, 2, seed + 17);
                        Material m;
                        if (spec_.kind == TrackKind::Freestyle && !onFloor(x, z))
                            m = patch > 0.64f ? kDryGrass : off;
                        else if (spec_.kind == TrackKind::Freestyle)
                            m = floor;
                        else if (spec_.kind == TrackKind::Indoor)
                            m = onFloor(x, z) ? off : floor;
                        else if (spec_.kind == TrackKind::Baja)
                            m = patch > 0.6f ? kDarkSand : (patch < 0.22f ? kRock : off);
                        else
                            m = patch > 0.64f ? kDryGrass : off;
                        if (h.near) {
                            const float out = std::fabs(h.d) - h.hw;
                            if (out <= 0) {
                                m = track;
                                // Ruts along the racing line, a start line, tuff-block edges indoors.
                                if (std::fabs(h.d + h.hw * 0.25f * std::sin(h.s / 1700)) < 60 &&
                                    jitter > 0.4f)
                                    m = kRut;
                                if (spec_.kind == TrackKind::Indoor && out > -40)
                                    m = (int(h.s / 120) % 2) ? kWhite : kBlue;
                                if (h.s < 60 || h.s > d_.lapLength - 60)
                                    m = ((int((h.d + 20000) / 60) + int(h.s / 60 + 2)) % 2) ? kWhite : kBlack;
                            } else if (out < p_.shoulder * 0.5f && jitter > out / (p_.shoulder * 0.5f)) {
                                m = track;  // the dirt frays into the surroundings
                            }
                        }
                        // Shade by the slope of the ground (sun from the north-west, high).
                        const int sc = int(x / g + 0.5f), sr = int(z / g + 0.5f);
                        const float hx = sample(sc + 1, sr) - sample(sc - 1, sr);
                        const float hz = sample(sc, sr + 1) - sample(sc, sr - 1);
                        float nx = -hx / (2 * g), nz = -hz / (2 * g), ny = 1;
                        const float len = std::sqrt(nx * nx + ny * ny + nz * nz);
                        nx /= len, ny /= len, nz /= len;
                        const float shade = (nx * -0.4f + ny * 1.0f + nz * -0.3f) / 1.118f;
                        const int level =
                            std::clamp(int(10.5f + (shade - 0.894f) * 28 + (jitter - 0.5f) * 2.2f), 0, 15);
                        pic[size_t(py * px + pxl)] = uint8_t(m * 16 + level);
                    }
            }
}

void Generator::buildRadar() {
    const int n = TrackDesign::kRadarSize;
    d_.radar.assign(size_t(n * n), 0);
    d_.radarPalette.assign(256, 0);
    d_.radarPalette[1] = 0x80F0F0F0u;  // riding surface
    d_.radarPalette[2] = 0x80303030u;  // its border
    d_.radarPalette[3] = 0x802020E0u;  // start line
    // Row 0 is the far edge of the world (largest z): the HUD shows the map with +z up the screen and
    // reads the picture's rows from the top down.
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float wx = (float(x) + 0.5f) * d_.side / float(n),
                        wz = (float(n - 1 - y) + 0.5f) * d_.side / float(n);
            const Hit h = field_->query(wx, wz);
            if (!h.near) continue;
            const float pixel = d_.side / float(n);
            const float hw = std::max(h.hw, pixel * 0.8f);
            const float out = std::fabs(h.d) - hw;
            if (out <= 0)
                d_.radar[size_t(y * n + x)] = (h.s < pixel || h.s > d_.lapLength - pixel) ? 3 : 1;
            else if (out < pixel)
                d_.radar[size_t(y * n + x)] = 2;
        }
}

// -- splines --

void Generator::buildSplines() {
    // The waypoint line runs along the centre; the racing lines cut toward the inside of corners, more
    // for the harder difficulties, each pair split to either side.
    const int n = int(d_.centre.size());
    std::vector<float> apex(static_cast<size_t>(n));
    const float ref =
        spec_.kind == TrackKind::Indoor ? 900.0f : (spec_.kind == TrackKind::Baja ? 8000.0f : 2500.0f);
    for (int i = 0; i < n; ++i)
        apex[size_t(i)] = std::clamp(d_.centre[size_t(i)].curvature * ref, -1.0f, 1.0f);
    const int w = std::max(1, int((spec_.kind == TrackKind::Indoor ? 600.0f : 2000.0f) / d_.step));
    std::vector<float> smooth(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        float s = 0;
        for (int k = -w; k <= w; ++k) s += apex[size_t((i + k + n) % n)];
        smooth[size_t(i)] = s / float(2 * w + 1);
    }
    static const float kCut[9] = {0, 0.15f, 0.15f, 0.3f, 0.3f, 0.42f, 0.42f, 0.5f, 0.5f};
    static const float kBias[9] = {0, 0.05f, -0.12f, 0.1f, -0.1f, 0.06f, -0.06f, 0.1f, -0.1f};
    const int stride = std::max(1, int(std::lround(p_.splineStep / d_.step)));
    for (int line = 0; line < 9; ++line) {
        auto& pts = d_.splines[size_t(line)];
        pts.clear();
        for (int i = 0; i + stride / 2 < n; i += stride) {
            const CentrePoint& c = d_.centre[size_t(i)];
            const float off =
                std::clamp(kCut[line] * smooth[size_t(i)] + kBias[line], -0.55f, 0.55f) * c.halfWidth;
            const float x = c.x - c.dirZ * off, z = c.z + c.dirX * off;
            pts.push_back({x, d_.heightAt(x, z), z, 100.0f});
        }
        if (line > 0) setLineSpeeds(pts, stride, (line - 1) / 2);
    }
    d_.lapWaypoint = 0;
    d_.startLapped = true;
}

// The speed a racing line asks for at each point, in percent of full throttle: what the bend there
// allows, eased down ahead of the bend as far as the bike needs to brake; flat out from the run-up of a
// jump to its landing, so the jumps are cleared.
void Generator::setLineSpeeds(std::vector<SplinePointW>& pts, int stride, int level) const {
    const int n = int(pts.size());
    if (n < 4) return;
    // The harder lines (level 0 beginner .. 3 expert) are ridden closer to the bike's grip.
    static constexpr float kFullSpeedRadius[4] = {6500, 5000, 4000, 3500}, kSlowest[4] = {35, 40, 45, 50};
    const float fullSpeedRadius = kFullSpeedRadius[level & 3], slowest = kSlowest[level & 3];
    constexpr float kBrakePerUnit = 0.03f;
    auto flat = [&](int i) {
        const float s = d_.centre[size_t(std::min(int(d_.centre.size()) - 1, i * stride))].s;
        for (const Jump& j : d_.jumps)
            if (s > j.takeoff0 - 1500 && s < j.landing1) return true;
        return false;
    };
    auto seg = [&](int i) {
        const SplinePointW &a = pts[size_t(i)], &b = pts[size_t((i + 1) % n)];
        return std::hypot(b.x - a.x, b.z - a.z);
    };
    std::vector<float> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        // The turn over two segments either side, for a curvature that does not jitter.
        const SplinePointW &a = pts[size_t((i + n - 2) % n)], &c = pts[size_t(i)],
                           &b = pts[size_t((i + 2) % n)];
        const float ax = c.x - a.x, az = c.z - a.z, bx = b.x - c.x, bz = b.z - c.z;
        const float turn = std::fabs(std::atan2(ax * bz - az * bx, ax * bx + az * bz));
        const float length = 0.5f * (std::hypot(ax, az) + std::hypot(bx, bz));
        const float radius = turn > 1e-4f ? length / turn : 1e9f;
        v[size_t(i)] =
            flat(i) ? 100.0f : std::clamp(100.0f * std::sqrt(radius / fullSpeedRadius), slowest, 100.0f);
    }
    for (int pass = 0; pass < 2; ++pass)
        for (int i = n - 1; i >= 0; --i) {
            const int next = (i + 1) % n;
            if (!flat(i)) v[size_t(i)] = std::min(v[size_t(i)], v[size_t(next)] + kBrakePerUnit * seg(i));
        }
    for (int i = 0; i < n; ++i) pts[size_t(i)].w = std::round(v[size_t(i)]);
}

// -- objects, cameras, bonuses --

bool Generator::clearOfLap(float x, float z, float margin) const {
    if (x < 800 || z < 800 || x > d_.side - 800 || z > d_.side - 800) return false;
    const Hit h = field_->query(x, z);
    return !h.near || std::fabs(h.d) > h.hw + margin;
}

// Run-off between the riding surface and the solid things beside it: the computer riders run a few
// metres wide of their lines in the tight corners, and a bale or gate post at the very edge is hit by
// one rider or another on nearly every lap.
constexpr float kBaleRunOff = 400;      // from the edge to a bale's centre, outside a tight corner
constexpr float kGatePostRunOff = 400;  // from the edge to a gate's posts
constexpr float kGateReach = 3000;      // along the lap either side of a gate: the surface its posts clear
constexpr float kGateStepOut = 25;      // a post moved out this much at a time until it is clear

void Generator::buildObjects() {
    auto place = [&](Prop prop, float x, float z, float heading) {
        d_.placements.push_back({prop, x, z, d_.heightAt(x, z), heading});
    };
    auto headingOf = [](float dx, float dz) { return std::atan2(dx, dz); };
    // Gates: one per checkpoint, then the finish gate on the start line. The posts stand the run-off clear
    // of the surface near the gate, not only of its width at the gate: where the track widens toward the
    // start, a post set out from the narrower surface would stand at the edge of the wider one a little on.
    auto clearance = [&](float s, float x, float z) {
        float nearest = 1e9f;
        for (float k = -kGateReach; k <= kGateReach; k += d_.step) {
            const CentrePoint& q = at(s + k);
            nearest = std::min(nearest, std::hypot(x - q.x, z - q.z) - q.halfWidth);
        }
        return nearest;
    };
    auto gateAt = [&](float s) {
        const CentrePoint& c = at(s);
        float half = c.halfWidth + kGatePostRunOff;
        while (half < c.halfWidth + kGatePostRunOff + kGateReach &&
               std::min(clearance(s, c.x - c.dirZ * half, c.z + c.dirX * half),
                        clearance(s, c.x + c.dirZ * half, c.z - c.dirX * half)) < kGatePostRunOff - 1)
            half += kGateStepOut;
        d_.gates.push_back({c.x, c.z, d_.heightAt(c.x, c.z), headingOf(c.dirX, c.dirZ), half});
    };
    if (spec_.kind != TrackKind::Freestyle) {
        for (float s : d_.checkpoints) gateAt(s);
        gateAt(0);
    }
    // The start gate a little ahead of the grid.
    {
        const CentrePoint& c = at(150);
        place(Prop::StartGate, c.x, c.z, headingOf(c.dirX, c.dirZ));
    }
    // Hay bales round the outside of tight corners, banners beside the lap, fences along the start.
    const int n = int(d_.centre.size());
    const float tight = spec_.kind == TrackKind::Indoor ? 1.0f / 2000 : 1.0f / 4000;
    int bales = 0;
    float lastCorner = -1e9f;
    for (int i = 0; i < n && bales < 90; ++i) {
        const CentrePoint& c = d_.centre[size_t(i)];
        const CentrePoint& prev = d_.centre[size_t((i + n - 1) % n)];
        const CentrePoint& next = d_.centre[size_t((i + 1) % n)];
        const float k = std::fabs(c.curvature);
        if (k < tight || k < std::fabs(prev.curvature) || k < std::fabs(next.curvature)) continue;
        if (c.s - lastCorner < 1500) continue;
        lastCorner = c.s;
        const float side = c.curvature > 0 ? -1.0f : 1.0f;  // outside of the turn
        for (int b = -2; b <= 2; ++b) {
            const CentrePoint& q = at(c.s + float(b) * 200);
            const float off = side * (q.halfWidth + kBaleRunOff);
            const float x = q.x - q.dirZ * off, z = q.z + q.dirX * off;
            if (clearOfLap(x, z, 80)) place(Prop::HayBale, x, z, headingOf(q.dirX, q.dirZ)), ++bales;
        }
    }
    const float bannerStep =
        spec_.kind == TrackKind::Indoor ? 3500.0f : (spec_.kind == TrackKind::Baja ? 15000.0f : 7000.0f);
    int k = 0;
    for (float s = 4000; s < d_.lapLength - 2000; s += bannerStep, ++k) {
        const CentrePoint& c = at(s);
        const float side = k % 2 ? 1.0f : -1.0f;
        const float off = side * (c.halfWidth + (spec_.kind == TrackKind::Indoor ? 180.0f : 350.0f));
        const float x = c.x - c.dirZ * off, z = c.z + c.dirX * off;
        if (clearOfLap(x, z, 100)) place(Prop::Banner, x, z, headingOf(c.dirX, c.dirZ));
    }
    if (spec_.kind == TrackKind::Outdoor || spec_.kind == TrackKind::Baja)
        for (float s = -1500; s < 4000; s += 400)
            for (float side : {-1.0f, 1.0f}) {
                const CentrePoint& c = at(s);
                const float off = side * (c.halfWidth + 250);
                const float x = c.x - c.dirZ * off, z = c.z + c.dirX * off;
                if (clearOfLap(x, z, 100)) place(Prop::Fence, x, z, headingOf(c.dirX, c.dirZ));
            }
    // Grandstands beside the start straight, facing the lap, on every outdoor-style track.
    if (spec_.kind != TrackKind::Indoor)
        for (float s : {700.0f, 2600.0f}) {
            const CentrePoint& c = at(s);
            const float side = s < 1000 ? 1.0f : -1.0f;
            const float off = side * (c.halfWidth + 1300);
            const float x = c.x - c.dirZ * off, z = c.z + c.dirX * off;
            if (clearOfLap(x, z, 600))
                place(Prop::Grandstand, x, z, headingOf(c.dirZ * side, -c.dirX * side));
        }
    // Trees off the lap: woods on the outdoor tracks and round the freestyle arena, a few on the baja
    // (their own draws, so the rest of the design does not move).
    if (spec_.kind != TrackKind::Indoor) {
        Rng trees(spec_.seed ^ 0x7EE5u);
        const int want = spec_.kind == TrackKind::Outdoor     ? 160
                         : spec_.kind == TrackKind::Freestyle ? 80
                                                              : 60;
        for (int tries = 0, placed = 0; tries < 4000 && placed < want; ++tries) {
            const float x = trees.uniform(900, d_.side - 900), z = trees.uniform(900, d_.side - 900);
            const bool onFloor = x > d_.floorX0 - 400 && x < d_.floorX1 + 400 && z > d_.floorZ0 - 400 &&
                                 z < d_.floorZ1 + 400 && spec_.kind == TrackKind::Freestyle;
            // Well clear of the shoulders: a rider running wide, a chase camera swinging behind it or
            // a rider landing off line never meets a trunk or the foliage.
            if (onFloor || !clearOfLap(x, z, p_.shoulder + 2000)) continue;
            place(Prop::Tree, x, z, trees.uniform(0, 6.28f));
            ++placed;
        }
    }
    // Freestyle pickups: over the landings and round the floor.
    if (spec_.kind == TrackKind::Freestyle) {
        for (const Jump& j : d_.jumps) {
            const CentrePoint& c = at((j.takeoff1 + j.landing0) / 2);
            place(Prop::Pickup, c.x, c.z, 0);
        }
        for (int i = 0; i < 8; ++i) {
            const float x = d_.floorX0 + 1500 + rng_.uniform(0, d_.floorX1 - d_.floorX0 - 3000);
            const float z = d_.floorZ0 + 1500 + rng_.uniform(0, d_.floorZ1 - d_.floorZ0 - 3000);
            place(Prop::Pickup, x, z, 0);
        }
    }
}

void Generator::buildCameras() {
    const float spacing = spec_.kind == TrackKind::Indoor      ? 3500.0f
                          : spec_.kind == TrackKind::Baja      ? 9000.0f
                          : spec_.kind == TrackKind::Freestyle ? 3000.0f
                                                               : 6000.0f;
    const float lift = spec_.kind == TrackKind::Indoor ? 900.0f : 500.0f;
    int k = 0;
    for (float s = spacing / 2; s < d_.lapLength; s += spacing, ++k) {
        const CentrePoint& c = at(s);
        for (float side : {k % 2 ? 1.0f : -1.0f, k % 2 ? -1.0f : 1.0f}) {
            const float off = side * (c.halfWidth + 700);
            const float x = c.x - c.dirZ * off, z = c.z + c.dirX * off;
            if (!clearOfLap(x, z, 300)) continue;
            TrackCamera cam{};
            cam.x = x, cam.z = z, cam.height = d_.heightAt(x, z) + lift;
            cam.type = k % 3 == 2 ? 1 : 2;
            const CentrePoint& look = at(s + spacing * 0.3f);
            float dx = look.x - x, dy = look.height - cam.height, dz = look.z - z;
            const float l = std::sqrt(dx * dx + dy * dy + dz * dz);
            cam.dx = dx / l, cam.dy = dy / l, cam.dz = dz / l;
            d_.cameras.push_back(cam);
            break;
        }
    }
}

void Generator::buildBonuses() {
    auto add = [&](int32_t type, float value, std::string text, std::string received) {
        d_.bonuses.push_back({type, value, std::move(text), std::move(received)});
    };
    char buf[100];
    const float lapSeconds = d_.lapLength / 100.0f /
                             (spec_.kind == TrackKind::Indoor ? 11.0f
                              : spec_.kind == TrackKind::Baja ? 19.0f
                                                              : 14.0f);
    switch (spec_.kind) {
        case TrackKind::Freestyle:
            add(STUNT_SCORE, 15000, "Score 15000 stunt points", "Stunt score bonus!");
            add(PICKUP_ICON, 0, "Collect every icon", "All icons collected!");
            add(STUNT_COMBO, 4, "Land a 4 stunt combo", "Combo bonus!");
            add(STAT_BIGGEST_AIR, 2.0f, "Stay in the air 2 seconds", "Big air!");
            add(STUNT_NUMBER, 10, "Land 10 stunts", "Stunt master!");
            return;
        default:
            break;
    }
    add(STAT_HOLE_SHOT, 0, "Get the hole shot", "Hole shot!");
    std::snprintf(buf, sizeof buf, "Lap in under %.0f seconds", double(std::ceil(lapSeconds)));
    add(STAT_FASTEST_LAP, std::ceil(lapSeconds), buf, "Fast lap!");
    add(STAT_BIGGEST_AIR,
        spec_.kind == TrackKind::Baja     ? 1.0f
        : spec_.kind == TrackKind::Indoor ? 1.5f
                                          : 2.5f,
        "Catch big air", "Big air!");
    if (spec_.kind == TrackKind::Baja) {
        std::snprintf(buf, sizeof buf, "Finish 3 laps in under %.0f seconds",
                      double(std::ceil(lapSeconds * 3.3f)));
        add(STAT_FASTEST_RACE, std::ceil(lapSeconds * 3.3f), buf, "Fast race!");
    } else {
        add(STUNT_NUMBER, spec_.kind == TrackKind::Indoor ? 5.0f : 8.0f, "Land a handful of stunts",
            "Stunts bonus!");
    }
}

void Generator::run() {
    d_.spec = spec_;
    d_.tilesPerSide = p_.tiles;
    d_.gridSize = p_.grid;
    d_.side = float(224 * p_.tiles * p_.grid);
    buildCentre();
    // Floors: the riding area's bounding box with room around it.
    float x0 = 1e9f, z0 = 1e9f, x1 = -1e9f, z1 = -1e9f;
    for (const CentrePoint& c : d_.centre) {
        x0 = std::min(x0, c.x - c.halfWidth), x1 = std::max(x1, c.x + c.halfWidth);
        z0 = std::min(z0, c.z - c.halfWidth), z1 = std::max(z1, c.z + c.halfWidth);
    }
    const float room = spec_.kind == TrackKind::Indoor ? 600.0f : 1500.0f;
    d_.floorX0 = x0 - room, d_.floorZ0 = z0 - room, d_.floorX1 = x1 + room, d_.floorZ1 = z1 + room;
    d_.arena = spec_.kind == TrackKind::Indoor;

    LapField field(d_.centre, d_.lapLength, d_.side, std::max(d_.step, 100.0f), p_.shoulder + 200);
    field_ = &field;
    buildFeatures();
    buildBands();
    buildHeights();
    buildCodes();
    buildColours();
    buildRadar();
    buildSplines();
    buildObjects();
    buildCameras();
    buildBonuses();
    field_ = nullptr;
}

}  // namespace

float TrackDesign::heightAt(float x, float z) const {
    const int cells = 224 * tilesPerSide;
    const float fx = std::clamp(x / float(gridSize), 0.0f, float(cells - 1) - 0.001f);
    const float fz = std::clamp(z / float(gridSize), 0.0f, float(cells - 1) - 0.001f);
    const int ix = int(fx), iz = int(fz);
    const float tx = fx - float(ix), tz = fz - float(iz);
    auto s = [&](int c, int r) { return float(heights[size_t(r) * size_t(cells) + size_t(c)]); };
    const float v = (s(ix, iz) * (1 - tx) + s(ix + 1, iz) * tx) * (1 - tz) +
                    (s(ix, iz + 1) * (1 - tx) + s(ix + 1, iz + 1) * tx) * tz;
    return v * scaleY / 655.35f;
}

TrackDesign DesignTrack(const TrackSpec& spec) {
    TrackDesign d;
    Generator(spec, d).run();
    return d;
}

const std::vector<TrackSpec>& TrackSpecs() {
    using K = TrackKind;
    static const std::vector<TrackSpec> specs = {
        {"b01.bin", K::Baja, 101, worldfile::kWorldDesert},
        {"b02.bin", K::Baja, 102, worldfile::kWorldSunset},
        {"b03.bin", K::Baja, 103, worldfile::kWorldDesert},
        {"b04.bin", K::Baja, 104, worldfile::kWorldNormal},
        {"b05.bin", K::Baja, 105, worldfile::kWorldDesert},
        {"f01.bin", K::Freestyle, 201, worldfile::kWorldNormal},
        {"f02.bin", K::Freestyle, 202, worldfile::kWorldSunset},
        {"f03.bin", K::Freestyle, 203, worldfile::kWorldNight},
        {"f04.bin", K::Freestyle, 204, worldfile::kWorldNormal},
        {"i02.bin", K::Indoor, 302, worldfile::kWorldDarkIndoor},
        {"i03.bin", K::Indoor, 303, worldfile::kWorldDarkIndoor},
        {"i04.bin", K::Indoor, 304, worldfile::kWorldDarkIndoor},
        {"i05.bin", K::Indoor, 305, worldfile::kWorldDarkIndoor},
        {"i07.bin", K::Indoor, 307, worldfile::kWorldDarkIndoor},
        {"i08.bin", K::Indoor, 308, worldfile::kWorldDarkIndoor},
        {"i09.bin", K::Indoor, 309, worldfile::kWorldDarkIndoor},
        {"i10.bin", K::Indoor, 310, worldfile::kWorldDarkIndoor},
        {"o01.bin", K::Outdoor, 401, worldfile::kWorldNormal},
        {"o03.bin", K::Outdoor, 403, worldfile::kWorldSunset},
        {"o04.bin", K::Outdoor, 404, worldfile::kWorldNormal},
        {"o05.bin", K::Outdoor, 405, worldfile::kWorldWinter},
        {"o06.bin", K::Outdoor, 406, worldfile::kWorldNormal},
        {"o07.bin", K::Outdoor, 407, worldfile::kWorldNight},
        {"o08.bin", K::Outdoor, 408, worldfile::kWorldNormal},
        {"o09.bin", K::Outdoor, 409, worldfile::kWorldSunset},
    };
    return specs;
}
