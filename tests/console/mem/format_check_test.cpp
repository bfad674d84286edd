// The common answer of the file-format checks: a pass carries no reason, a refusal carries its reason
// filled in as printf does, cut to the record's room and always terminated.
#include "console/mem/format_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct CountedCheck : FormatCheck {
    int count = -1;
};

TEST(FormatCheck, APassHasNoReasonAndARefusalHasItsReasonFilledIn) {
    const FormatCheck pass = FormatCheck::Pass();
    EXPECT_TRUE(pass.ok);
    EXPECT_STREQ(pass.why, "");

    const FormatCheck bad = FormatCheck::Fail("part %u has %u vertices", 3u, 70000u);
    EXPECT_FALSE(bad.ok);
    EXPECT_STREQ(bad.why, "part 3 has 70000 vertices");

    // SetFail answers false, so that a check can `return c.SetFail(...)` from a bool step; a record
    // extending the answer keeps its own fields.
    CountedCheck c;
    EXPECT_TRUE(c.ok);
    EXPECT_FALSE(c.SetFail("%s", "no image"));
    EXPECT_FALSE(c.ok);
    EXPECT_STREQ(c.why, "no image");
    EXPECT_EQ(c.count, -1);
}

TEST(FormatCheck, AReasonLongerThanTheRecordIsCutAndTerminated) {
    const std::string longText(2 * kFormatWhyBytes, 'x');
    const FormatCheck c = FormatCheck::Fail("%s!", longText.c_str());
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(std::strlen(c.why), kFormatWhyBytes - 1);
    EXPECT_EQ(std::string(c.why), longText.substr(0, kFormatWhyBytes - 1));
    // A reason that just fits is kept whole.
    const std::string fits(kFormatWhyBytes - 2, 'y');
    EXPECT_EQ(std::string(FormatCheck::Fail("%s!", fits.c_str()).why), fits + "!");
}

}  // namespace
