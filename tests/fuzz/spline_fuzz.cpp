// libFuzzer target for the spline section of a world file. The first input byte picks the world size
// and grid spacing, the rest is the section, copied to a buffer of exactly its size from the C library's
// allocator so AddressSanitizer sees any read past its end. Every input is also loaded without the check
// (the loader must stay inside the section on its own); checked sections are then queried.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "world/qz_spline.h"
#include "world/spline_format.h"
#include "world/spline_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 16)) return 0;
    // Binding walks each line in steps of a thousandth of the first waypoint gap, up to the step limit: a
    // few thousand steps take every branch of the walk (the seed lines need about 3,000), where the
    // game's limit, sized for whole tracks, made a damaged input cost up to seven walks of two million.
    CQZSpline::bindStepLimit = 4096;
    static const int tiles[] = {4, 9, 16, 16};
    const int numTiles = tiles[data[0] & 3];
    const float grid = float(1 + ((data[0] >> 2) & 15));
    const size_t n = size - 1;
    auto* section = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    if (!section) return 0;
    if (n) std::memcpy(section, data + 1, n);
    const SplineCheck check = CheckSplineSection(section, uint32_t(n), grid);
    CSplineManager* m = CSplineManager::getSplineManager();
    m->loadSplines(section, n, grid, numTiles);
    if (check.ok) {
        const float length =
            m->spline(CSplineManager::WayPoint).GetPointTime(m->spline(CSplineManager::WayPoint).count() - 1);
        const float times[] = {-1.0f, 0.0f, 0.5f, 0.5f * length, length, length + 1.0f, 1e30f, NAN};
        for (float t : times) {
            qzVector3d p, d;
            for (int type = 0; type <= CSplineManager::lastEntry; ++type) {
                m->getPoint(t, CSplineManager::SplineType(type), p, d);
                m->getControlledPoint(t, 20.0f, CSplineManager::SplineType(type), p, d);
            }
            m->wayTimeToPercent(t);
            m->isPastLap(t);
            if (std::isfinite(t) && t > 0.0f && t < length) m->advanceControlTime(t, p, 0);
        }
    }
    CSplineManager::cleanUp();
    std::free(section);
    return 0;
}
