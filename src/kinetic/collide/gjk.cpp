#include "kinetic/collide/gjk.h"

namespace Kinetic {

namespace {

// Cofactors of every subset (bit mask of slots) of the simplex.
struct JSDTable {
    float delta[16][4];
    bool done[16];
};

int lowestSlot(unsigned set) {
    int k = 0;
    while (!(set & (1u << k))) ++k;
    return k;
}

// Fills the cofactors of set (and, recursively, of its subsets).
void cofactors(JSDTable& t, const Vector3* W, unsigned set) {
    if (t.done[set]) return;
    t.done[set] = true;
    for (int j = 0; j < 4; ++j) t.delta[set][j] = 0.0f;
    if ((set & (set - 1)) == 0) {
        t.delta[set][lowestSlot(set)] = 1.0f;
        return;
    }
    for (int j = 0; j < 4; ++j) {
        if (!(set & (1u << j))) continue;
        const unsigned x = set & ~(1u << j);
        cofactors(t, W, x);
        const int k = lowestSlot(x);
        float sum = 0.0f;
        for (int i = 0; i < 4; ++i) {
            if (!(x & (1u << i))) continue;
            float d;
            Vector3::assignSubDot(d, W[k], W[j], W[i]);
            sum += t.delta[x][i] * d;
        }
        t.delta[set][j] = sum;
    }
}

float deltaSum(const JSDTable& t, unsigned set) {
    float s = 0.0f;
    for (int i = 0; i < 4; ++i)
        if (set & (1u << i)) s += t.delta[set][i];
    return s;
}

bool allPositive(const JSDTable& t, unsigned set) {
    for (int i = 0; i < 4; ++i)
        if ((set & (1u << i)) && !(t.delta[set][i] > 0.0f)) return false;
    return true;
}

// Every point outside set would not pull the closest point towards it.
bool outsideOk(JSDTable& t, const Vector3* W, unsigned set, int n) {
    for (int j = 0; j < n; ++j) {
        if (set & (1u << j)) continue;
        const unsigned y = set | (1u << j);
        cofactors(t, W, y);
        if (t.delta[y][j] > 1e-05f) return false;
    }
    return true;
}

// Keeps the points of set: weights, slot exchanges and the new size.
void keep(JSDTable& t, Vector3* W, GJKCache* cache, float* lambda, unsigned set) {
    int m = 0;
    for (int i = 0; i < 4; ++i)
        if (set & (1u << i)) ++m;
    const float total = deltaSum(t, set);
    float w[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i)
        if (set & (1u << i)) w[i] = t.delta[set][i] / total;
    // Each dropped slot below m, in increasing order, takes the next kept slot at or above m.
    int next = m;
    for (int i = 0; i < m; ++i) {
        if (set & (1u << i)) continue;
        while (!(set & (1u << next))) ++next;
        std::swap(W[i], W[next]);
        std::swap(cache->m_verticesA[i], cache->m_verticesA[next]);
        std::swap(cache->m_verticesB[i], cache->m_verticesB[next]);
        std::swap(w[i], w[next]);
        ++next;
    }
    for (int i = 0; i < 4; ++i) lambda[i] = i < m ? w[i] : 0.0f;
    cache->m_size = m;
}

constexpr unsigned kEdges3[3] = {0b011, 0b101, 0b110};
constexpr unsigned kEdges4[6] = {0b0011, 0b0101, 0b1001, 0b0110, 0b1010, 0b1100};
constexpr unsigned kTriangles4[4] = {0b0111, 0b1011, 0b1101, 0b1110};

}  // namespace

bool JSD(Vector3* W, GJKCache* cache, float* lambda) {
    JSDTable t{};
    const int n = cache->m_size;
    if (n <= 1) {
        cache->m_size = 1;
        lambda[0] = 1.0f;
        return true;
    }
    for (int i = 0; i < n; ++i) {
        const unsigned v = 1u << i;
        cofactors(t, W, v);
        if (outsideOk(t, W, v, n)) {
            keep(t, W, cache, lambda, v);
            return true;
        }
    }
    auto accepted = [&](unsigned set) {
        cofactors(t, W, set);
        return allPositive(t, set) && outsideOk(t, W, set, n);
    };
    if (n == 2) {
        cofactors(t, W, 0b11);
        keep(t, W, cache, lambda, 0b11);
        return true;
    }
    if (n == 3) {
        for (unsigned e : kEdges3)
            if (accepted(e)) {
                keep(t, W, cache, lambda, e);
                return true;
            }
        cofactors(t, W, 0b111);
        if (allPositive(t, 0b111)) {
            keep(t, W, cache, lambda, 0b111);
            return true;
        }
        unsigned fallback = 0b100;
        for (unsigned e : kEdges3)
            if (allPositive(t, e) && deltaSum(t, e) > 0.0f) fallback = e;
        keep(t, W, cache, lambda, fallback);
        return true;
    }
    for (unsigned e : kEdges4)
        if (accepted(e)) {
            keep(t, W, cache, lambda, e);
            return true;
        }
    for (unsigned f : kTriangles4)
        if (accepted(f)) {
            keep(t, W, cache, lambda, f);
            return true;
        }
    // Nothing accepted: weigh every candidate tried by its squared distance to the origin.
    unsigned best = 0;
    float bestValue = FLT_MAX;
    auto weigh = [&](unsigned set, bool isVertex) {
        if (!isVertex && !(allPositive(t, set) && deltaSum(t, set) > 0.0f)) return;
        const float total = deltaSum(t, set);
        Vector3 v;
        for (int i = 0; i < 4; ++i)
            if (set & (1u << i)) v += W[i] * (t.delta[set][i] / total);
        const float value = v.lengthSqrd();
        if (best == 0 || value < bestValue) {
            best = set;
            bestValue = value;
        }
    };
    for (int i = 0; i < 4; ++i) weigh(1u << i, true);
    for (unsigned e : kEdges4) weigh(e, false);
    for (unsigned f : kTriangles4) weigh(f, false);
    const Vector3 e1 = W[1] - W[0], e2 = W[2] - W[0], e3 = W[3] - W[0];
    const bool s0 = e1.cross(e2).dot(W[0]) > 0.0f;
    const bool s1 = e2.cross(e3).dot(W[0]) > 0.0f;
    const bool s2 = e3.cross(e1).dot(W[0]) > 0.0f;
    const bool s3 = (W[3] - W[1]).cross(W[2] - W[1]).dot(W[2]) > 0.0f;
    if (s0 == s1 && s1 == s2 && s2 == s3) return false;  // the origin is inside
    keep(t, W, cache, lambda, best);
    return true;
}

}  // namespace Kinetic
