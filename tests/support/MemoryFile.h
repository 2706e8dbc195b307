// A file in memory reached by path (memfd behind /proc/self/fd): thousands of
// variants of a file cost no disk writes.
#pragma once

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <string>

class TMemoryFile {
public:
    TMemoryFile()
        : fd_(memfd_create("variant", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {}
    ~TMemoryFile() { close(fd_); }
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;
    // The path, now holding Bytes and nothing else.
    const std::string& Holding(const std::string& Bytes) {
        EXPECT_EQ(ftruncate(fd_, 0), 0);
        EXPECT_EQ(pwrite(fd_, Bytes.data(), Bytes.size(), 0), static_cast<ssize_t>(Bytes.size()));
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

// The leading number of a text such as "3/12" or "2001"; 0 when there is none.
inline unsigned LeadingNumber(const std::string& Text) {
    unsigned value = 0;
    for (char c : Text) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return value;
}
