// Counts what ReadMediaInfo asks of the system for one file: run it under
// strace once with the file and once with "-" (no call) and subtract.
// Built as bench_media_syscalls; run it under strace -c -f (see bench/README.md).
#include "media/MediaUtils.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: syscalls_media FILE|-\n");
        return 2;
    }
    TMediaInfo info;
    const bool found = std::string(argv[1]) != "-" && ReadMediaInfo(argv[1], info);
    return found ? 0 : 1;
}
