// A race stand-in for the bike's tests and benchmark: a fresh model with a world written by the world
// file writer, the physics height field over it (terrain collision group 1, in the ray caster), the
// bike's description with the disc's bike collision blocks, and bikes built and placed as the race
// builds its racers (with their vehicle actions), driven by action packets at 60 Hz.
#pragma once

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "bike/kinetic_bike.h"
#include "bike/kinetic_collide.h"
#include "game/core/main_loop.h"
#include "game/files/collision_storage.h"
#include "game/model/intersection.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "game/model/packet.h"
#include "kinetic/collide/primitive.h"
#include "kinetic/collide/primitive_blueprint.h"
#include "kinetic/dynamics/rigid_body.h"
#include "kinetic/dynamics/rigid_collection.h"
#include "kinetic/dynamics/toolkit.h"
#include "kinetic/dynamics/world.h"
#include "kinetic/vehicle/kinetic_vehicle_action.h"
#include "mkdisc/disc_writer.h"
#include "game/files/common_objects.h"
#include "support/heap_image.h"
#include "world/qz_heightfield.h"
#include "world/subtile_model.h"
#include "world/world_file_format.h"
#include "world/world_loader.h"
#include "world/world_model.h"

namespace biketest {

// Ground samples of a world of `tiles` x `tiles` tiles (sample 0 lies lowest).
using Heights = std::function<uint16_t(int x, int z)>;

inline std::vector<uint8_t> WorldImage(int tiles, int grid, const Heights& height) {
    WorldDescription w;
    w.tilesPerSide = tiles;
    w.gridSize = grid;
    w.scaleY = 100.0f;
    const int cells = tiles * worldfile::kTileCells;
    w.heights.resize(static_cast<size_t>(cells) * cells);
    for (int z = 0; z < cells; ++z)
        for (int x = 0; x < cells; ++x) w.heights[static_cast<size_t>(z) * cells + x] = height(x, z);
    w.typeTable = {MakeTypeRecord(1, 2, 2, 1, 0, 100)};
    w.descriptions.resize(1);
    w.descriptions[0].geometries.push_back(std::vector<uint8_t>(32, 0));
    w.splineSection = WriteSplineSection(SplineSection{});
    w.terrainMap = terrainmap::WriteMap(std::vector<uint8_t>(terrainmap::kSide * terrainmap::kSide, 2));
    for (auto& t : w.bonuses.type) t = TRACK_BONUS_NONE;
    return WriteWorldFile(w);
}

class BikeWorld {
public:
    BikeWorld(int tiles, int grid, const Heights& height, unsigned racers)
        : image_(WorldImage(tiles, grid, height)) {
        model = GetModel();
        world = new CWorldModel;
        BuildWorldModel(*world, image_.p);
        model->objects.push_back(world);
        model->worldId = static_cast<int>(model->objects.size()) - 1;
        const float side = CWorldModel::worldWidth * 0.01f;
        field_ = std::make_unique<CQZHeightfield>(model->worldId, Kinetic::Vector3(side, 140.0f, side), 896, 896);
        ground = new Kinetic::RigidBody();
        Kinetic::HeightFieldPrimitiveBlueprint bp;
        bp.m_heightField = field_.get();
        bp.m_optimisedCD = 1;
        ground->addPrimitive(bp);
        ground->getPrimitives()[0]->m_collisionGroups = 1;
        ground->m_friction = 1.0f;
        ground->setFixed();
        model->kineticToolkit->addRigidBody(ground, Kinetic::Vector3(0.0f, -140.0f, 0.0f), Kinetic::Quaternion());
        GetIntersection()->m_raycaster.addRigidBody(ground);
        descriptionId = BikeDescription();
        KineticBike::numOfTotalRacers = racers;
    }
    ~BikeWorld() {
        for (auto& a : actions_) model->kineticToolkit->m_defaultRigidCollection->removeAction(a.get());
        delete CModel::modelPtr;  // the bikes and the world model with the other objects
        actions_.clear();
        delete CIntersection::intersectionPtr;
        CWorldModel::resetStatics();
        CSubtileModel::resetStatics();
        KineticBike::numOfTotalRacers = 1;
    }

    // The bike's description: chassis, wheel and crash body blocks of the disc's common-objects file.
    static int BikeDescription() {
        auto* d = new CObjectDescription();
        for (int k = 0; k < 3; ++k) {
            static std::vector<std::vector<uint8_t>> blocks(3);
            blocks[k] = CommonCollisionBlock(common::kBikeCollision + k);
            auto* c = new CKineticCollide(blocks[k].data(), blocks[k].size());
            d->collisionIdList.push_back(CResourceStorage<CKineticCollide>::instance().add(c));
        }
        return CResourceStorage<CObjectDescription>::instance().add(d);
    }

    // A racer as the race builds it, placed at world (x, z) facing `dir`.
    KineticBike* AddBike(unsigned index, bool cpu, float x, float z, qzVector3d dir) {
        KineticBike* b = KineticBike::create(descriptionId, cpu ? -1 : 0,
                                             model->kineticToolkit->m_defaultRigidCollection, cpu, index);
        model->objects.push_back(b);
        actions_.push_back(std::make_unique<Kinetic::KineticVehicleAction>(b->vehicle));
        model->kineticToolkit->m_defaultRigidCollection->addAction(actions_.back().get(), 1);
        b->setStartPos(qzVector3d(x, 0.0f, z), dir);
        return b;
    }

    // One 60 Hz model step: the packets, the physics, the objects.
    void Step(std::vector<CPacket> packets = {}) {
        ++steps;
        model->processPackets(packets, 0.0f);
        model->update(static_cast<float>(steps) / 60.0f);
    }

    static CPacket Packet(const KineticBike* b, std::initializer_list<int> actions, uint8_t accel = 255,
                          uint8_t brake = 255, uint8_t left = 0, uint8_t right = 0) {
        int bits = 0;
        for (int a : actions) bits |= 1 << a;
        unsigned char parms[10] = {0, 0, left, right, accel, brake, 0, 0, 0, 0};
        CPacket p(IdOf(b), PKT_ACTION, bits, parms);
        return p;
    }
    static int IdOf(const KineticBike* b) {
        const auto& o = CModel::modelPtr->objects;
        for (size_t i = 0; i < o.size(); ++i)
            if (o[i] == b) return static_cast<int>(i);
        return -1;
    }

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
