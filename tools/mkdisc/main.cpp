// mkdisc DIR: writes the sample disc into DIR.
#include <cstdio>

#include "mkdisc/disc_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mkdisc DIR\n");
        return 2;
    }
    if (!WriteSampleDisc(argv[1])) return 1;
    std::printf("mkdisc: sample disc written to %s\n", argv[1]);
    return 0;
}
