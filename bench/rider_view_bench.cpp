// One drawn frame's animation of eight human racers: each rider view samples its motion, runs its
// choosers, keeps its bike view in step and solves hands and feet on the bike (the bikes roll from one
// side to the other, so turns start, hold and run back). Measured: the eight riders' and bikes' updates.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "bike/kinetic_bike.h"
#include "bike/rider_model.h"
#include "console/kernel/clock.h"
#include "console/kernel/vsync.h"
#include "engine/hal/engine.h"
#include "engine/sys/clock.h"
#include "engine/sys/heap.h"
#include "game/files/geometry.h"
#include "game/files/master_file_format.h"
#include "game/model/model.h"
#include "game/model/object_description.h"
#include "mkdisc/models.h"
#include "mkdisc/motions.h"
#include "race/scene/bike_motion_view.h"
#include "race/scene/rider_view.h"

namespace {

void* Heap(const std::vector<uint8_t>& bytes) {
    void* p = x_fn_malloc(static_cast<uint32_t>(bytes.size()), "", 0);
    std::memcpy(p, bytes.data(), bytes.size());
    return p;
}

int Describe(void* geometry) {
    auto* d = new CObjectDescription();
    d->geometryIdList.push_back(CResourceStorage<CGeometry>::instance().add(new CGeometry(geometry)));
    return CResourceStorage<CObjectDescription>::instance().add(d);
}

void BM_EightRidersAnimated(benchmark::State& state) {
    static bool booted = false;
    if (!booted) {
        booted = true;
        console::ClockReset();
        console::VsyncReset();
        veClockReset();
        veEngineInit(0, nullptr);
    }
    MasterFileWriter w;
    w.beginLabel();
    for (int i = 0; i <= 75; ++i) {
        std::vector<uint8_t> m = WriteCommonMotion(i);
        w.add(m.empty() ? std::vector<uint8_t>(16, 0) : m);
    }
    void* motions = Heap(w.build());
    const int riderDesc = Describe(Heap(WriteCommonGeometry(9)));
    const int bikeDesc = Describe(Heap(WriteCommonGeometry(2)));
    CModel* model = GetModel();
    std::vector<KineticBike*> bikes;
    std::vector<std::unique_ptr<CKineticPhysicsView>> bikeViews;
    std::vector<std::unique_ptr<CRiderView>> riderViews;
    for (int i = 0; i < 8; ++i) {
        auto* bike = new KineticBike;
        bike->frame.forwardDir = qzVector3d(0, 0, 1);
        bike->frame.rightDir = qzVector3d(1, 0, 0);
        bike->frame.upDir = qzVector3d(0, 1, 0);
        bike->frame.linearVelocityMag = 10.0f;
        bike->status.flags = 1u << BIKE_ON_GROUND;
        model->objects.push_back(bike);
        const int bikeId = static_cast<int>(model->objects.size()) - 1;
        auto* rider = new CRiderModel(bikeId, -1);
        bike->rider = rider;
        model->objects.push_back(rider);
        bikes.push_back(bike);
        bikeViews.push_back(std::make_unique<CKineticPhysicsView>(bikeId, bikeDesc, i, 14, 0, motions));
        riderViews.push_back(std::make_unique<CRiderView>(bikeId + 1, riderDesc, i, 13, 0, motions));
        riderViews.back()->SetBlendMotion(13, 0, 0);
        riderViews.back()->SetBikeView(bikeViews.back().get());
    }
    int frame = 0;
    for (auto _ : state) {
        CMotionView::gameTime += 1.0f / 30.0f;
        for (int i = 0; i < 8; ++i) {
            KineticBike* b = bikes[size_t(i)];
            b->ground.bikeRoll = 30.0f * std::sin(0.05f * float(frame + 10 * i));
            b->status.flags = (1u << BIKE_ON_GROUND) |
                              (b->ground.bikeRoll > 5.0f ? 1u << BIKE_LEFT_TURN : 0u) |
                              (b->ground.bikeRoll < -5.0f ? 1u << BIKE_RIGHT_TURN : 0u);
            bikeViews[size_t(i)]->UpdateFrame(nullptr, 0);
            riderViews[size_t(i)]->UpdateFrame(nullptr, 0);
        }
        ++frame;
    }
    riderViews.clear();
    bikeViews.clear();
    delete CModel::modelPtr;
}
BENCHMARK(BM_EightRidersAnimated)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace
