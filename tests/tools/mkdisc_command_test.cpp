// The mkdisc program's command line: its usage, and the reason it gives when it cannot write.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

using MkdiscRun = testsupport::CommandRun;

// Runs mkdisc with `args` from the directory `cwd`; `redirect` replaces standard output's pipe.
MkdiscRun Mkdisc(const std::string& cwd, const std::string& args, const std::string& redirect = "") {
    return testsupport::RunCommand("cd '" + cwd + "' && " + std::string(QZ_BUILD_DIR) + "/mkdisc " + args +
                                   redirect);
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Asking for help, or giving an option, writes no disc into a folder of that name.
TEST(MkdiscCommand, HelpAndOptionsAreNotDirectories) {
    testsupport::TempDir cwd;
    for (const char* help : {"--help", "-h"}) {
        const MkdiscRun r = Mkdisc(cwd.path(), help);
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_EQ(r.out.rfind("usage: mkdisc DIR\n", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "") << help;
        EXPECT_FALSE(Exists(cwd.file(help))) << help;
    }
    // Help that cannot be written is a failure.
    const MkdiscRun full = Mkdisc(cwd.path(), "--help", " >/dev/full");
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(full.err,
              "mkdisc: the help could not all be written to standard output: No space left on device\n");

    struct Case {
        std::string args, firstLine;
    } cases[] = {
        {"", "mkdisc: give one directory to write the disc into\n"},
        {"a b", "mkdisc: give one directory to write the disc into\n"},
        {"--out disc",
         "mkdisc: unknown option '--out' (a directory starting with '-' is given as ./--out)\n"},
    };
    for (const Case& c : cases) {
        const MkdiscRun r = Mkdisc(cwd.path(), c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_EQ(r.err.substr(0, c.firstLine.size()), c.firstLine) << c.args;
        EXPECT_NE(r.err.find("usage: mkdisc DIR\n"), std::string::npos) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
    EXPECT_FALSE(Exists(cwd.file("--out")));
    EXPECT_FALSE(Exists(cwd.file("disc")));
}

// A directory that cannot be made is named with the system's reason.
TEST(MkdiscCommand, AFailedWriteSaysWhy) {
    testsupport::TempDir cwd;
    cwd.write("a-file", std::string("x"));
    const MkdiscRun r = Mkdisc(cwd.path(), "a-file/disc");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              "mkdisc: cannot create a-file/disc: Not a directory\n"
              "mkdisc: the sample disc could not be written to a-file/disc\n");
}

}  // namespace
