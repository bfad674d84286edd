// A race stand-in for the bike's tests and benchmark: a fresh model with one of the disc's generated
// worlds loaded into a world model, the physics height field over it (terrain collision group 1, in the
// ray caster), the bike's description with the disc's bike collision blocks, and bikes built and placed
// on the start grid as the race builds its racers (with their vehicle actions), driven by action
// packets at 60 Hz.
#pragma once

#include <cmath>
#include <memory>
#include <vector>

#include "../support/heap_image.h"
#include "bike/kinetic_bike.h"
#include "game/files/collision_storage.h"
#include "game/files/common_objects.h"
#include "game/model/global_time.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/packet.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "kinetic/vehicle/raycast_vehicle.h"
#include "mkdisc/disc_writer.h"
#include "mkdisc/track_design.h"
#include "mkdisc/tracks.h"
#include "world/objects/kinetic_collide.h"
#include "world/qz_heightfield.h"
#include "world/subtile_model.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace biketest {

// The first generated world of a kind (baja is the largest: 4 x 4 tiles).
inline const TrackSpec& FirstTrack(TrackKind kind) {
    for (const TrackSpec& s : TrackSpecs())
        if (s.kind == kind) return s;
    return TrackSpecs().front();
}

// The bike's description: chassis, wheel and crash body blocks of the disc's common-objects file.
inline int BikeDescription() {
    auto* d = new CObjectDescription();
    static std::vector<uint8_t> blocks[3];
    for (int k = 0; k < 3; ++k) {
        blocks[k] = CommonCollisionBlock(common::kBikeCollision + k);
        auto* c = new CKineticCollide(blocks[k].data(), blocks[k].size());
        d->collisionIdList.push_back(CResourceStorage<CKineticCollide>::instance().add(c));
    }
    return CResourceStorage<CObjectDescription>::instance().add(d);
}

// A fresh model for bikes built on their own (no world), deleted with the bikes at the end.
class LoneBikes {
public:
    LoneBikes() { GetModel(); }
    ~LoneBikes() {
        for (KineticBike* b : bikes_) delete b;
        delete CModel::modelPtr;
        delete CIntersection::intersectionPtr;
        KineticBike::numOfTotalRacers = 1;
    }
    LoneBikes(const LoneBikes&) = delete;
    LoneBikes& operator=(const LoneBikes&) = delete;
    // Racer `index` with the given description (the disc's bike by default); null if refused.
    KineticBike* Build(unsigned index = 0, bool cpu = false, int description = BikeDescription()) {
        KineticBike* b = KineticBike::create(
            description, -1, GetModel()->kineticToolkit->m_defaultRigidCollection, cpu, index);
        if (b) bikes_.push_back(b);
        return b;
    }

private:
    std::vector<KineticBike*> bikes_;
};

class BikeWorld {
public:
    BikeWorld(const TrackSpec& spec, unsigned racers) : design(DesignTrack(spec)), image_(PackWorld(design)) {
        model = GetModel();
        world = new CWorldModel;
        BuildWorldModel(*world, image_.p);
        model->objects.push_back(world);
        model->worldId = static_cast<int>(model->objects.size()) - 1;
        const float side = CWorldModel::worldWidth * 0.01f;
        field_ =
            std::make_unique<CQZHeightfield>(model->worldId, Kinetic::Vector3(side, 140.0f, side), 896, 896);
        ground = new Kinetic::RigidBody();
        Kinetic::HeightFieldPrimitiveBlueprint bp;
        bp.m_heightField = field_.get();
        bp.m_optimisedCD = 1;
        ground->addPrimitive(bp);
        ground->getPrimitives()[0]->m_collisionGroups = 1;
        ground->m_friction = 1.0f;
        ground->setFixed();
        model->kineticToolkit->addRigidBody(ground, Kinetic::Vector3(0.0f, -140.0f, 0.0f),
                                            Kinetic::Quaternion());
        GetIntersection()->m_raycaster.addRigidBody(ground);
        descriptionId = BikeDescription();
        KineticBike::numOfTotalRacers = racers;
        globalTime = 0.0f;  // as the race sets its clock
    }
    ~BikeWorld() {
        for (auto& a : actions_) model->kineticToolkit->m_defaultRigidCollection->removeAction(a.get());
        actions_.clear();
        delete CModel::modelPtr;  // the bikes and the world model with the other objects
        delete CIntersection::intersectionPtr;
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
        KineticBike::numOfTotalRacers = 1;
    }
    BikeWorld(const BikeWorld&) = delete;
    BikeWorld& operator=(const BikeWorld&) = delete;

    // Racer `index` on the start grid: rows of four across the start line, 4 m apart, facing the lap.
    KineticBike* AddBike(unsigned index, bool cpu) {
        const CentrePoint& c = design.centre.front();
        const float across = (static_cast<float>(index % 4) - 1.5f) * 150.0f;
        const float back = static_cast<float>(index / 4) * 400.0f + 200.0f;
        const float x = c.x - c.dirZ * across - c.dirX * back;
        const float z = c.z + c.dirX * across - c.dirZ * back;
        KineticBike* b = KineticBike::create(descriptionId, -1,
                                             model->kineticToolkit->m_defaultRigidCollection, cpu, index);
        if (!b) return nullptr;
        model->objects.push_back(b);
        actions_.push_back(std::make_unique<Kinetic::KineticVehicleAction>(b->vehicle.get()));
        model->kineticToolkit->m_defaultRigidCollection->addAction(actions_.back().get(), 1);
        // The race fills the tuning levels: middle ones (a computer bike sets its own).
        CBikeAttributes& ba = b->bikeAttributes;
        ba.acceleration = ba.topSpeed = ba.suspension = ba.traction = 2;
        CRiderAttributes& ra = b->riderAttributes;
        ra.jumping = ra.cornering = ra.stunt = 3;
        ra.stability = 4;
        b->setAttributes();
        b->wheelBase = 168.0f;
        b->setStartPos(qzVector3d(x, 0.0f, z), qzVector3d(c.dirX, 0.0f, c.dirZ));
        return b;
    }

    // Takes a racer out of the race and deletes it.
    void RemoveBike(KineticBike* b) {
        for (size_t i = 0; i < actions_.size(); ++i) {
            if (actions_[i]->m_kineticVehicle != b->vehicle.get()) continue;
            model->kineticToolkit->m_defaultRigidCollection->removeAction(actions_[i].get());
            actions_.erase(actions_.begin() + static_cast<long>(i));
            break;
        }
        model->removeObject(b);
        delete b;
    }

    // One 60 Hz model step: the packets, the physics, the objects; then the race clock's step.
    void Step(std::vector<CPacket> packets = {}) {
        ++steps;
        model->processPackets(packets, 0.0f);
        model->update(static_cast<float>(steps) / 60.0f);
        CGlobalTime::updateGlobalTime();
    }

    // A packet for `b` with the given actions; accelerator, brake and turn amounts in their bytes.
    static CPacket Packet(const KineticBike* b, std::initializer_list<int> actions, uint8_t accel = 255,
                          uint8_t brake = 255, uint8_t left = 0, uint8_t right = 0) {
        int bits = 0;
        for (int a : actions) bits |= 1 << a;
        const unsigned char parms[10] = {0, 0, left, right, accel, brake, 0, 0, 0, 0};
        return CPacket(IdOf(b), PKT_ACTION, bits, parms);
    }
    static int IdOf(const KineticBike* b) {
        const auto& o = CModel::modelPtr->objects;
        for (size_t i = 0; i < o.size(); ++i)
            if (o[i] == b) return static_cast<int>(i);
        return -1;
    }

    TrackDesign design;
    CModel* model = nullptr;
    CWorldModel* world = nullptr;
    Kinetic::RigidBody* ground = nullptr;
    int descriptionId = -1;
    int steps = 0;

private:
    testsupport::HeapImage image_;
    std::unique_ptr<CQZHeightfield> field_;
    std::vector<std::unique_ptr<Kinetic::KineticVehicleAction>> actions_;
};

}  // namespace biketest
