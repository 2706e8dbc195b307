// A media file opened for reading its tags (see MediaFile.h).
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Positions and sizes beyond 2 GiB must survive the trip through the system calls.
static_assert(sizeof(off_t) == 8, "build with 64-bit file offsets");

TMediaFile::TMediaFile(const std::string& FileName) : TMediaFile(AT_FDCWD, FileName.c_str()) {}

TMediaFile::TMediaFile(int FolderFd, const char* Name) {
    // O_NONBLOCK keeps a FIFO without writer from stalling the open; the
    // fstat below then turns it away before anything is read.
    int fd;
    do {
        fd = ::openat(FolderFd, Name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    Descriptor = fd;
    Opened = st;
    FileSize = static_cast<std::int64_t>(st.st_size);
    WholeSize = FileSize;
}

void TMediaFile::Restrict(std::int64_t Start, std::int64_t Length) {
    if (Descriptor < 0)
        return;
    Unrestrict();
    Start = std::clamp<std::int64_t>(Start, 0, WholeSize);
    Origin = Start;
    FileSize = std::clamp<std::int64_t>(Length, 0, WholeSize - Start);
}

void TMediaFile::Unrestrict() {
    Origin = 0;
    FileSize = WholeSize;
}

TMediaFile::~TMediaFile() {
    if (Descriptor >= 0)
        ::close(Descriptor);
}

const unsigned char* TMediaFile::Bytes(std::int64_t Position, std::size_t Count,
                                       std::int64_t Until) {
    if (Descriptor < 0 || Position < 0 || Count > WindowCapacity ||
        Position > FileSize - static_cast<std::int64_t>(Count))
        return nullptr;
    Position += Origin;
    if (Position >= WindowStart && Position + static_cast<std::int64_t>(Count) <=
                                       WindowStart + static_cast<std::int64_t>(WindowLength))
        return Window + (Position - WindowStart);

    // Refill the window from Position on, as far as the file (or Until) allows.
    const std::size_t readSize = std::max(Count, ReadSize);
    std::int64_t wanted = Origin + FileSize - Position;
    if (Until >= 0)
        wanted =
            std::max(std::min(wanted, Origin + Until - Position), static_cast<std::int64_t>(Count));
    std::size_t length =
        wanted < static_cast<std::int64_t>(readSize) ? static_cast<std::size_t>(wanted) : readSize;
    std::size_t got = 0;
    while (got < length) {
        ssize_t n = ::pread(Descriptor, Window + got, length - got,
                            static_cast<off_t>(Position + static_cast<std::int64_t>(got)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    WindowStart = Position;
    WindowLength = got;
    return got >= Count ? Window : nullptr;
}
