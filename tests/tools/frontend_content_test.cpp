// The sample disc's front-end screens say what they do: each bike is named after the engine class it is
// raced and heard with, a row drawn dim opens nothing and the rows that act are not drawn dim, and the
// trophy case's focused item names the button that leaves.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "mkdisc/frontend_screens.h"
#include "race/riders.h"

namespace {

const FeNode* Find(const FeNode& n, int id) {
    if (n.id == id) return &n;
    for (const FeNode& c : n.children)
        if (const FeNode* f = Find(c, id)) return f;
    return nullptr;
}

// The text of a button (its text child) and the font it is drawn in, normal and focused.
struct Row {
    std::string label;
    int font = -1, hiFont = -1;
    int32_t link = 0;
};
Row RowOf(const FrontEndDesign& d, int screen, int id) {
    Row r;
    const FeNode* b = Find(d.screens.at(size_t(screen)), id);
    if (!b) return r;
    r.link = b->linkScreen;
    for (const FeNode& c : b->children)
        if (c.type == 4 && c.string >= 0) {
            r.label = d.strings.at(size_t(c.string));
            r.font = c.font;
            r.hiFont = c.hiFont < 0 ? c.font : c.hiFont;
        }
    return r;
}

TEST(FrontEndContent, EveryBikeIsNamedAfterItsEngineClass) {
    for (int k = 0; k < 10; ++k) {
        const std::string name = BikeName(k);
        char cc[8];
        std::snprintf(cc, sizeof cc, "%d", BikeEngineCc(k));
        EXPECT_NE(name.find(cc), std::string::npos) << k << ": " << name;
        for (const char* other : {"125", "250", "400", "450", "500"}) {
            if (std::string(other) == cc) continue;
            EXPECT_EQ(name.find(other), std::string::npos) << k << ": " << name;
        }
    }
    // The classes follow the bikes' acceleration levels: the first two are the 125 and the 250.
    EXPECT_EQ(BikeEngineCc(0), 125);
    EXPECT_EQ(BikeEngineCc(1), 250);
    EXPECT_EQ(BikeEngineCc(2), 400);
    // The bike choice screens show these names.
    const FrontEndDesign d = DesignFrontEnd();
    for (int k = 0; k < 10; ++k) {
        const FeNode* t = Find(d.screens.at(24), 972 + 4 * k);
        ASSERT_NE(t, nullptr) << k;
        EXPECT_EQ(d.strings.at(size_t(t->string)), BikeName(k)) << k;
    }
}

TEST(FrontEndContent, DimRowsOpenNothingAndActingRowsAreNotDim) {
    const FrontEndDesign d = DesignFrontEnd();
    constexpr int kDim = kFeDim;
    // Race type: PRACTICE opens nothing, so it is dim focused or not and links nowhere; the four kinds
    // open their set-up screens and are drawn as usual.
    const Row practice = RowOf(d, 31, 1362);
    EXPECT_EQ(practice.label, "PRACTICE");
    EXPECT_EQ(practice.font, kDim);
    EXPECT_EQ(practice.hiFont, kDim);
    EXPECT_EQ(practice.link, 0);
    for (int id : {1350, 1353, 1356, 1359}) {
        const Row r = RowOf(d, 31, id);
        EXPECT_NE(r.font, kDim) << id;
        EXPECT_NE(r.link, 0) << id;
    }
    // Career menu: the two SIM rows give the race's result when accepted, so they look like the others.
    for (int id : {240, 242, 252, 244, 246, 248, 250, 254, 255}) {
        const Row r = RowOf(d, 6, id);
        ASSERT_FALSE(r.label.empty()) << id;
        EXPECT_NE(r.font, kDim) << r.label;
    }
    // Trophy case: X does nothing, the focused item names TRIANGLE.
    const Row back = RowOf(d, 12, 461);
    EXPECT_NE(back.label.find("TRIANGLE"), std::string::npos) << back.label;
}

}  // namespace
