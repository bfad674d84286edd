#include "kinetic/collide/tt_intersection.h"

#include <cmath>

namespace Kinetic {

namespace {

// Feature codes of the two ends and the inside of each edge.
constexpr int kEdgeCode[3] = {10, 22, 7};

}  // namespace

float TTintersection::closestPointTri(Vector3 p, const Vector3* t, Vector3& result, int& feature) {
    const Vector3 e[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
    float best = (p - t[0]).lengthSqrd() + 100.0f;
    bool usable = false;
    Vector3 kept;
    int keptCode = 0;
    for (int i = 0; i < 3; ++i) {
        const Vector3& start = t[i];
        const Vector3& opposite = t[(i + 2) % 3];
        const float len2 = e[i].lengthSqrd();
        float s = 0.0f;
        int code = kEdgeCode[i];
        if (len2 != 0.0f) {
            s = -e[i].dot(start - p) / len2;
            if (s < 0.0f) {
                s = 0.0f;
                code = 3 * i;
            } else if (s > 1.0f) {
                s = 1.0f;
                code = 3 * ((i + 1) % 3);
            }
        }
        const Vector3 q = start + e[i] * s;
        result = q;
        feature = code;
        const float d2 = (q - p).lengthSqrd();
        if (d2 < best) {
            best = d2;
            kept = q;
            keptCode = code;
            const float side = (opposite - q).dot(p - q);
            if (side < 0.0f) return std::sqrt(d2);  // beyond this edge, seen from the opposite vertex
            usable = side < d2;                     // the mark belongs to the point just remembered
        }
    }
    const Vector3 n = e[0].cross(e[1]);
    const float n2 = n.lengthSqrd();
    if (n2 > 1e-10f && n.cross(e[0]).dot(p - t[0]) > 0.0f && n.cross(e[1]).dot(p - t[1]) > 0.0f &&
        n.cross(e[2]).dot(p - t[2]) > 0.0f) {
        result = p + n * ((t[0] - p).dot(n) / n2);
        feature = 2;
        return (p - result).length();
    }
    if (usable) {
        result = kept;
        feature = keptCode;
        return (p - result).length();
    }
    return 0.0f;  // result and feature hold edge 2's closest point
}

namespace {

// Picks the vertex of t farthest on the side its three signed heights share; -1 when they straddle.
int pickVertex(const float h[3]) {
    int pick = -1;
    if (h[0] < 0.0f && h[1] < 0.0f && h[2] < 0.0f) {
        pick = h[0] > h[1] ? 0 : 1;
        if (h[2] > h[pick]) pick = 2;
    } else if (h[0] > 0.0f && h[1] > 0.0f && h[2] > 0.0f) {
        pick = h[0] < h[1] ? 0 : 1;
        if (h[2] < h[pick]) pick = 2;
    }
    return pick;
}

}  // namespace

float TTintersection::closestTriTri(const Vector3* s, const Vector3* t, Vector3& p, Vector3& q) {
    const Vector3 se[3] = {s[1] - s[0], s[2] - s[1], s[0] - s[2]};
    const Vector3 te[3] = {t[1] - t[0], t[2] - t[1], t[0] - t[2]};
    float best = (s[0] - t[0]).lengthSqrd() + 100.0f;
    bool disjoint = false;
    Vector3 bestP, bestQ;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const Vector3 r = t[j] - s[i];
            const float aa = se[i].dot(se[i]);
            const float bb = te[j].dot(te[j]);
            const float ab = se[i].dot(te[j]);
            const float ar = se[i].dot(r);
            const float br = te[j].dot(r);
            const float denom = aa * bb - ab * ab;
            float ts = 0.0f;
            if (denom != 0.0f) ts = std::fmin(std::fmax((ar * bb - br * ab) / denom, 0.0f), 1.0f);
            float u = bb != 0.0f ? (ab * ts - br) / bb : 0.0f;
            if (bb == 0.0f || u < 0.0f || u > 1.0f) {
                u = std::fmin(std::fmax(u, 0.0f), 1.0f);
                ts = aa != 0.0f ? std::fmin(std::fmax((ab * u + ar) / aa, 0.0f), 1.0f) : 0.0f;
            }
            p = s[i] + se[i] * ts;
            q = t[j] + te[j] * u;
            const Vector3 v = q - p;
            const float dd = v.lengthSqrd();
            if (dd < best) {
                best = dd;
                bestP = p;
                bestQ = q;
                float a = (s[(i + 2) % 3] - p).dot(v);
                float b = (t[(j + 2) % 3] - q).dot(v);
                if (a <= 0.0f && b >= 0.0f) return std::sqrt(dd);
                if (a < 0.0f) a = 0.0f;
                if (b > 0.0f) b = 0.0f;
                if (dd - a + b > 0.0f) disjoint = true;
            }
        }
    }
    const Vector3 sn = se[0].cross(se[1]);
    const float sn2 = sn.lengthSqrd();
    if (sn2 > 1e-10f) {
        const float h[3] = {(s[0] - t[0]).dot(sn), (s[0] - t[1]).dot(sn), (s[0] - t[2]).dot(sn)};
        const int k = pickVertex(h);
        if (k >= 0) {
            disjoint = true;
            const Vector3& tp = t[k];
            if (sn.cross(se[0]).dot(tp - s[0]) > 0.0f && sn.cross(se[1]).dot(tp - s[1]) > 0.0f &&
                sn.cross(se[2]).dot(tp - s[2]) > 0.0f) {
                p = tp + sn * (h[k] / sn2);
                q = tp;
                return (p - q).length();
            }
        }
    }
    const Vector3 tn = te[0].cross(te[1]);
    const float tn2 = tn.lengthSqrd();
    if (tn2 > 1e-10f) {
        const float h[3] = {(t[0] - s[0]).dot(tn), (t[0] - s[1]).dot(tn), (t[0] - s[2]).dot(tn)};
        const int k = pickVertex(h);
        if (k >= 0) {
            disjoint = true;
            const Vector3& sp = s[k];
            if (tn.cross(te[0]).dot(sp - t[0]) > 0.0f && tn.cross(te[1]).dot(sp - t[1]) > 0.0f &&
                tn.cross(te[2]).dot(sp - t[2]) > 0.0f) {
                p = sp;
                q = sp + tn * (h[k] / tn2);
                return (p - q).length();
            }
        }
    }
    if (disjoint) {
        p = bestP;
        q = bestQ;
        return (p - q).length();
    }
    return 0.0f;
}

}  // namespace Kinetic
