// Runs a shell command for a test and keeps what it printed on each stream and how it ended.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace testsupport {

struct CommandRun {
    std::string out, err;
    int exitCode = -1;  // -1 when it did not end by exit (a signal) or could not be started
};

// `command` runs under /bin/sh; its standard error goes to a scratch file, so `command` may redirect
// standard output itself (then `out` is empty).
inline CommandRun RunCommand(const std::string& command) {
    TempDir t;
    const std::string cmd = "{ " + command + " ; } 2>" + t.file("err.txt");
    CommandRun r;
    std::FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadText(t.file("err.txt"));
    return r;
}

}  // namespace testsupport
