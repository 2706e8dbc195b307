// What the fuzz targets share: the input as a file reached by path (in memory,
// so no disk is touched per input), and the abort that reports a broken bound.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

inline void Check(bool Condition) {
    if (!Condition)
        std::abort();
}

// Replaces the in-memory file's contents with Data and returns its path.
inline const std::string& WriteInputFile(const void* Data, std::size_t Size) {
    static const int fd = memfd_create("fuzz-input", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    Check(fd >= 0);
    Check(ftruncate(fd, 0) == 0);
    Check(pwrite(fd, Data, Size, 0) == static_cast<ssize_t>(Size));
    return path;
}
