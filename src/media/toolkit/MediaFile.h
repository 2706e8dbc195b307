// A media file opened for reading its tags: read-only, never blocking, regular
// files only, with a window of bytes that serves most tag reads from one read.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

class TMediaFile {
public:
    // Opens the file; Open() is false when it cannot be opened or is anything but
    // a regular file (a FIFO, socket, device or folder is never read).
    explicit TMediaFile(const std::string& FileName);
    // Opens Name relative to the open folder FolderFd (AT_FDCWD for the current
    // folder): a folder walk saves the kernel the lookup of the whole path.
    TMediaFile(int FolderFd, const char* Name);
    ~TMediaFile();
    TMediaFile(const TMediaFile&) = delete;
    TMediaFile& operator=(const TMediaFile&) = delete;

    bool Open() const { return Descriptor >= 0; }
    // The size from the one fstat made when opening; -1 when not open. Within a
    // restricted range, the range's length.
    std::int64_t Size() const { return FileSize; }
    // That fstat whole (zeroes when not open): what the file was when opened.
    const struct stat& Status() const { return Opened; }

    // Makes positions count from Start and the file end at Start + Length (cut to
    // the file), so a reader of whole files reads a tag that another container
    // embeds as one of its chunks. Unrestrict() gives back the whole file.
    void Restrict(std::int64_t Start, std::int64_t Length);
    void Unrestrict();

    // The Count bytes at Position, valid until the next call; nullptr when they
    // do not all lie inside the file or cannot be read. Count is at most
    // WindowCapacity. Until, when given, is where the bytes the caller will ask
    // for next end (a box's end): a read then copies no further than that.
    const unsigned char* Bytes(std::int64_t Position, std::size_t Count, std::int64_t Until = -1);

    // Large enough for the header and the text frames of a usual tag.
    static constexpr std::size_t WindowCapacity = 8192;
    // A read fetches one page unless more is asked for: that holds the text
    // frames of a usual tag, and a compile reads every file, where copying
    // less counts.
    static constexpr std::size_t ReadSize = 4096;

private:
    int Descriptor = -1;
    struct stat Opened {};
    std::int64_t FileSize = -1;
    std::int64_t WholeSize = -1;
    std::int64_t Origin = 0;
    std::int64_t WindowStart = 0;
    std::size_t WindowLength = 0;
    unsigned char Window[WindowCapacity];
};
