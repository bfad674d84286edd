#include "host/options.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct Args {
    explicit Args(std::vector<std::string> a) : strings(std::move(a)) {
        strings.insert(strings.begin(), "qz");
        for (auto& s : strings) ptrs.push_back(s.data());
    }
    int argc() const { return static_cast<int>(ptrs.size()); }
    char** argv() { return ptrs.data(); }
    std::vector<std::string> strings;
    std::vector<char*> ptrs;
};

// The parsed options point into the arguments, so they are kept alive for the whole test.
bool Parse(std::vector<std::string> a, host::Options* o, std::string* err = nullptr) {
    static std::vector<std::unique_ptr<Args>> kept;
    kept.push_back(std::make_unique<Args>(std::move(a)));
    Args& args = *kept.back();
    host::Error error;
    bool ok = host::ParseOptions(args.argc(), args.argv(), "default-disc", o, &error);
    if (err) *err = error.Text();
    return ok;
}

TEST(HostOptions, BadCommandLinesSayWhy) {
    host::Options o;
    std::string err;
    EXPECT_FALSE(Parse({"--fast"}, &o, &err));
    EXPECT_EQ(err, "unknown option '--fast'");
    EXPECT_FALSE(Parse({"--frames"}, &o, &err));
    EXPECT_EQ(err, "--frames needs a number");
    EXPECT_FALSE(Parse({"--frames", "ten"}, &o, &err));
    EXPECT_EQ(err, "bad value for --frames: 'ten' (give a whole number from 1 to 100000000)");
    EXPECT_FALSE(Parse({"--frames", "-3"}, &o, &err));
    EXPECT_FALSE(Parse({"--heap-mb", "4"}, &o, &err));
    // Below what a race needs: the message says what to give.
    EXPECT_FALSE(Parse({"--heap-mb", "19"}, &o, &err));
    EXPECT_EQ(
        err,
        "--heap-mb 19 is too small: a race needs an engine heap of at least 20 MB; give --heap-mb 20 or "
        "more (the default is 192)");
    EXPECT_TRUE(Parse({"--heap-mb", "20"}, &o, &err));
    EXPECT_EQ(o.heapMb, 20);
    EXPECT_FALSE(Parse({"--heap-mb", "897"}, &o, &err));  // would reach past 2 GB
    EXPECT_TRUE(Parse({"--heap-mb", "896"}, &o, &err));
    EXPECT_FALSE(Parse({"--heap-mb", "99999999999999999999"}, &o, &err));
    EXPECT_FALSE(Parse({"--disc"}, &o, &err));
    EXPECT_FALSE(Parse({"--gs-threads", "0"}, &o, &err));
    EXPECT_FALSE(Parse({"--gs-threads", "17"}, &o, &err));
    EXPECT_TRUE(Parse({"--gs-threads", "3"}, &o, &err));
    EXPECT_EQ(o.gsThreads, 3);
    EXPECT_EQ(o.stage, host::kStageAuto);
    EXPECT_TRUE(Parse({"--stage", "deferred"}, &o, &err));
    EXPECT_EQ(o.stage, host::kStageDeferred);
    EXPECT_TRUE(Parse({"--stage", "inline"}, &o, &err));
    EXPECT_EQ(o.stage, host::kStageInline);
    EXPECT_TRUE(Parse({"--stage", "thread"}, &o, &err));
    EXPECT_EQ(o.stage, host::kStageThread);
    EXPECT_FALSE(Parse({"--stage", "later"}, &o, &err));
    EXPECT_FALSE(Parse({"--stage"}, &o, &err));
    // Without a choice the stage runs beside the game once the rasteriser has threads of its own.
    EXPECT_TRUE(Parse({}, &o, &err));
    EXPECT_EQ(host::ChosenStage(o, 1), host::kStageInline);
    EXPECT_EQ(host::ChosenStage(o, 4), host::kStageThread);
    EXPECT_TRUE(Parse({"--stage", "inline"}, &o, &err));
    EXPECT_EQ(host::ChosenStage(o, 4), host::kStageInline);
    EXPECT_TRUE(Parse({"--stage", "thread"}, &o, &err));
    EXPECT_EQ(host::ChosenStage(o, 1), host::kStageThread);
}

}  // namespace
