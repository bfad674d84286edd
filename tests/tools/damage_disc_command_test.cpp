// The disc-damaging tool's command line: a disc that is not there is said to be missing.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

// The source tree the build was configured from, as CMake keeps it.
std::string SourceDir() {
    std::ifstream cache(std::string(QZ_BUILD_DIR) + "/CMakeCache.txt");
    const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    for (std::string line; std::getline(cache, line);)
        if (line.compare(0, key.size(), key) == 0) return line.substr(key.size());
    return "";
}

// Listing or running with no disc built is a failure that says how to build one, not "0 variants".
TEST(DamageDiscCommand, NoDiscIsAFailureThatSaysHowToBuildOne) {
    const std::string source = SourceDir();
    ASSERT_FALSE(source.empty());
    if (testsupport::RunCommand("command -v python3 >/dev/null").exitCode != 0) GTEST_SKIP() << "no python3";
    testsupport::TempDir empty;
    for (const char* what : {"list", "run"}) {
        const testsupport::CommandRun r =
            testsupport::RunCommand("cd '" + empty.path() + "' && python3 '" + source +
                                    "/tools/damage_disc.py' " + what + " --out '" + empty.file("out") + "'");
        EXPECT_EQ(r.exitCode, 2) << what << "\n" << r.out << r.err;
        EXPECT_EQ(r.err,
                  "damage_disc.py: no game disc at build/release/disc (build it with 'make disc', or give "
                  "--disc DIR)\n")
            << what;
        EXPECT_EQ(r.out, "") << what;
    }
}

}  // namespace
