// mkdisc DIR: writes the sample disc into DIR.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mkdisc/disc_writer.h"

namespace {

const char kUsage[] =
    "usage: mkdisc DIR\n"
    "Writes the sample disc (25 tracks, models, sounds, fonts, front-end screens) into DIR, made when\n"
    "missing; files already there are written over. Give it to the game with qz --disc DIR.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::fprintf(stderr, "mkdisc: the help could not all be written to standard output: %s\n",
                         std::strerror(errno));
            return 1;
        }
        return 0;
    }
    // mkdisc takes no options: a directory whose name starts with '-' is given as ./-name.
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            std::fprintf(stderr,
                         "mkdisc: unknown option '%s' (a directory starting with '-' is given as ./%s)\n%s",
                         argv[i], argv[i], kUsage);
            return 2;
        }
    }
    if (argc != 2 || argv[1][0] == '\0') {
        std::fprintf(stderr, "mkdisc: give one directory to write the disc into\n%s", kUsage);
        return 2;
    }
    if (!WriteSampleDisc(argv[1])) {
        std::fprintf(stderr, "mkdisc: the sample disc could not be written to %s\n", argv[1]);
        return 1;
    }
    std::printf("mkdisc: sample disc written to %s\n", argv[1]);
    return 0;
}
