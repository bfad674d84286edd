// CWorldModel::update: the static bodies of the gates and scenery near each human racer.
#include <cstring>
#include <memory>
#include <utility>

#include "engine/sys/files.h"
#include "game/core/global_options.h"
#include "game/files/collision_storage.h"
#include "game/model/object_description.h"
#include "world/objects/kinetic_collide.h"
#include "world/objects/kinetic_track_objects.h"
#include "world/subtile_model.h"
#include "world/world_model.h"

namespace {

constexpr float kReachSquared = 2250000.0f;  // 1500 units

// The radius of a description's first collision data; false when it has none.
bool CollisionRadius(int descriptionId, float* radius) {
    CObjectDescription* d = CResourceStorage<CObjectDescription>::instance().get(descriptionId);
    if (!d || d->collisionIdList.empty() || d->collisionIdList[0] == -1) return false;
    CKineticCollide* c = CResourceStorage<CKineticCollide>::instance().get(d->collisionIdList[0]);
    if (!c) return false;
    *radius = c->radius;
    return true;
}

uint32_t Mask(const _Placement& p) {
    uint32_t m;
    std::memcpy(&m, &p.w, 4);
    return m;
}
void SetMask(_Placement& p, uint32_t m) {
    std::memcpy(&p.w, &m, 4);
}

float DistanceSquared(const _Placement& p, const qzVector3d& q) {
    const float dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
    return dx * dx + dy * dy + dz * dz;
}

}  // namespace

void CWorldModel::update(float time) {
    if (!(gameOptions.gameOptions & 0x1)) return;
    const float dt = lastUpdateTime >= 0.0f && time > lastUpdateTime ? time - lastUpdateTime : 0.0f;
    lastUpdateTime = time;
    const int racers =
        static_cast<int>(humanRacers.size()) < kMaxRacers ? static_cast<int>(humanRacers.size()) : kMaxRacers;
    const int S = CSubtileModel::subtileSize, T = CSubtileModel::tileSize;
    for (int k = 0; k < racers; ++k) {
        if (!humanRacers[static_cast<size_t>(k)]) continue;
        const qzVector3d p = humanRacers[static_cast<size_t>(k)]->position;
        // Where the racer will be in a second, from its movement since the last step.
        qzVector3d d;
        if (dt > 0.0f) {
            d.x = (p.x - lastRacerPosition[k].x) / dt;
            d.z = (p.z - lastRacerPosition[k].z) / dt;
        }
        lastRacerPosition[k] = p;
        const uint32_t bit = 1u << k;

        // 1. Release the colliders out of reach.
        for (int slot = 0; slot < kCollidersPerRacer; ++slot) {
            std::unique_ptr<CModelObject>& o = collisionObjects[k][slot];
            float r = 0.0f;
            if (!o || o->descriptionId == -1 || !CollisionRadius(o->descriptionId, &r)) continue;
            const float dx = o->position.x - p.x, dy = o->position.y - p.y, dz = o->position.z - p.z;
            if (dx * dx + dy * dy + dz * dz < kReachSquared + r * r) continue;
            if (_Placement* rec = collisionRecords[k][slot]) SetMask(*rec, Mask(*rec) & ~bit);
            o.reset();
            collisionRecords[k][slot] = nullptr;
        }

        // 2. The subtiles under the racer and its look-ahead points, each once.
        const float px[4] = {p.x, p.x + d.x, p.x, p.x + d.x}, pz[4] = {p.z, p.z, p.z + d.z, p.z + d.z};
        int taken[4], n = 0;
        for (int i = 0; i < 4; ++i) {
            if (S <= 0 || !(px[i] >= 0.0f) || !(pz[i] >= 0.0f)) continue;
            const int x = static_cast<int>(px[i]), z = static_cast<int>(pz[i]);
            const int tc = x / T, tr = z / T;
            if (tc >= worldWidthInTiles || tr >= worldDepthInTiles) continue;
            const int s = 16 * (tr * worldWidthInTiles + tc) + 4 * ((z - tr * T) / S) + (x - tc * T) / S;
            if (s < 0 || s >= static_cast<int>(stmList.size())) continue;
            bool seen = false;
            for (int j = 0; j < n; ++j) seen = seen || taken[j] == s;
            if (!seen) taken[n++] = s;
        }

        // 3. Bodies for the placements within reach, once per entry into reach.
        for (int j = 0; j < n; ++j) {
            CSubtileModel* stm = stmList[static_cast<size_t>(taken[j])];
            for (size_t i = 0; i < stm->objectList.size(); ++i) {
                _Placement* records = stm->objectList[i];
                const int desc = static_cast<int>(i) + CSubtileModel::firstObjectId;
                float r = 0.0f;
                if (!records || !CollisionRadius(desc, &r)) continue;
                uint32_t count;
                std::memcpy(&count, reinterpret_cast<uint8_t*>(records) - 16, 4);
                for (uint32_t q = 0; q < count; ++q) {
                    _Placement& rec = records[q];
                    if (DistanceSquared(rec, p) >= kReachSquared + r * r) {
                        SetMask(rec, Mask(rec) & ~bit);
                        continue;
                    }
                    if (Mask(rec) & bit) continue;
                    int slot = 0;
                    while (slot < kCollidersPerRacer && collisionObjects[k][slot]) ++slot;
                    if (slot == kCollidersPerRacer) {
                        // Every slot in use: no body (its bit stays clear, so a later step tries again).
                        x_printf("colliders of racer %d full: placement of description %d left out\n", k,
                                 desc);
                        continue;
                    }
                    auto o = std::make_unique<CKineticStaticRigidObject>(desc);
                    o->qOrientation.S = rec.qw;
                    o->qOrientation.Axis = {rec.qx, rec.qy, rec.qz};
                    o->position = qzVector3d(rec.x, rec.y, rec.z);
                    o->updateModelWorld();
                    collisionObjects[k][slot] = std::move(o);
                    collisionRecords[k][slot] = &rec;
                    SetMask(rec, Mask(rec) | bit);
                }
            }
        }
    }
}
