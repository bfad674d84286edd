// The disc's music pieces all play at one loudness, with no sample above the ceiling, and the levelling
// keeps each loop seamless (its end runs into its start with no larger step than anywhere inside it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "mkdisc/music.h"

namespace {

TEST(MusicLevel, EveryPieceAtTheCommonLoudnessUnderTheCeiling) {
    const std::vector<MusicPiece>& pieces = MusicPieces();
    ASSERT_EQ(pieces.size(), 12u);
    for (const MusicPiece& p : pieces) {
        std::vector<int16_t> l, r;
        RenderMusic(p, l, r);
        ASSERT_EQ(l.size(), r.size());
        ASSERT_GT(l.size(), 1000u);
        double sum = 0;
        int peak = 0, innerStep = 0;
        for (size_t i = 0; i < l.size(); ++i) {
            sum += 0.5 * (double(l[i]) * l[i] + double(r[i]) * r[i]);
            peak = std::max({peak, std::abs(int(l[i])), std::abs(int(r[i]))});
            if (i > 0)
                innerStep = std::max({innerStep, std::abs(l[i] - l[i - 1]), std::abs(r[i] - r[i - 1])});
        }
        const double rmsDb = 10.0 * std::log10(sum / double(l.size()) / (32767.0 * 32767.0));
        std::printf("%s: %.2f dBFS RMS, peak %d\n", p.file, rmsDb, peak);
        EXPECT_NEAR(rmsDb, 20.0 * std::log10(kMusicRms), 0.5) << p.file;
        EXPECT_LE(peak, int(std::lround(kMusicCeiling * 32767)) + 1) << p.file;
        const int seam = std::max(std::abs(l.front() - l.back()), std::abs(r.front() - r.back()));
        EXPECT_LE(seam, innerStep) << p.file;
    }
}

}  // namespace
