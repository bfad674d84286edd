// The ten riders: one table names them wherever a rider is named (the rider choice screens of the disc,
// each bike's name in a race and on the results, the roster of single races and the career standings),
// and says which rider model every racer of a race rides.
#pragma once

#include <cstdint>

// Per rider model: skills (stability, cornering, jumping, stunt), four unused bytes, the bike model and
// the rider's name.
struct QzRiderRow {
    uint8_t skill[4];
    uint8_t unused[4];
    int32_t bikeModel;
    char name[20];
};
static_assert(sizeof(QzRiderRow) == 32);

inline constexpr int kRiderModels = 10;
inline constexpr int kRaceRacers = 8;
extern const QzRiderRow qzRiderAttributes[kRiderModels];

// Per bike model: acceleration, top speed, traction, suspension (rows 10 and 11 are not raced).
extern const uint8_t qzBikeAttributes[12][4];

// The engine class bike model `model` (0..9) is raced and heard with, in cc: its acceleration level,
// 1 = 125 cc, 2 = 250 cc, 3 = 400 cc (a level outside 1..3 counts as the nearest).
inline int BikeEngineCc(int model) {
    static constexpr int kCc[3] = {125, 250, 400};
    const int level = qzBikeAttributes[model < 0 || model >= kRiderModels ? 0 : model][0];
    return kCc[level < 1 ? 0 : level > 3 ? 2 : level - 1];
}

// A rider or bike number as a model index (outside 0..9: model 0).
inline int RiderModelIndex(int32_t v) {
    return v < 0 || v >= kRiderModels ? 0 : static_cast<int>(v);
}

// The rider model racer `racer` rides when the first `humans` racers are humans who chose the models in
// `humanRider`: a human rides the chosen rider; computer racer i rides model i unless a human has chosen
// it, and then the lowest model that no human and no other computer racer rides, so no rider is in a
// race twice.
inline int RacerRiderModel(int racer, int humans, const int32_t* humanRider) {
    auto chosen = [&](int m) {
        for (int h = 0; h < humans; ++h)
            if (RiderModelIndex(humanRider[h]) == m) return true;
        return false;
    };
    if (racer < humans) return RiderModelIndex(humanRider[racer]);
    if (!chosen(racer)) return racer;
    int displacedBefore = 0;
    for (int j = humans; j < racer; ++j) displacedBefore += chosen(j);
    for (int m = 0; m < kRiderModels; ++m) {
        const bool keptByComputer = m >= humans && m < kRaceRacers && !chosen(m);
        if (chosen(m) || keptByComputer) continue;
        if (displacedBefore-- == 0) return m;
    }
    return racer;
}
