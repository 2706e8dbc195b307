// The folder walk of a search: lists each folder whole, sorts it in natural
// name order and hands on its entries depth first, following links without
// looping, keeping out of kernel pseudo file systems and holding a fixed
// number of descriptors however deep the tree. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Paths a search left out and tells the user about, counted, with the first
// few kept for the message: folders it meant to list but could not (no
// permission, no descriptor left, a read error), files it could not open,
// links it did not follow.
struct NotedPaths {
    static constexpr std::size_t KeptPaths = 3;
    std::size_t Count = 0;
    std::vector<std::string> FirstPaths; // the first KeptPaths, in walk order
    void Note(const std::string& Path);
};

// What a walk notes besides its entries; either may be null.
struct TWalkNotes {
    NotedPaths* Unreadable = nullptr; // folders that could not be listed
    NotedPaths* Climbing = nullptr;   // links not followed: they lead back up (see WalkFolder)
};

// A folder's descriptor, closed when the last holder lets it go: a read
// ahead of the walk may still need a folder that the walk has left.
class TOpenFolder {
public:
    explicit TOpenFolder(int Fd) : fd_(Fd) {}
    ~TOpenFolder();
    TOpenFolder(const TOpenFolder&) = delete;
    TOpenFolder& operator=(const TOpenFolder&) = delete;
    int Fd() const { return fd_; }

private:
    int fd_;
};

// One listed entry other than "." and "..", as the walk hands it on.
struct TFolderEntry {
    const std::string& Path; // folder, one delimiter, name: raw bytes
    std::size_t NameOffset;  // where the name starts in Path
    int FolderFd;            // the listed folder, for *at() calls on the name
    unsigned char Type;      // DT_REG, DT_DIR, DT_FIFO...; links and DT_UNKNOWN resolved
                             // (a broken or looping link stays DT_LNK)
    std::int64_t Size;       // -1 until something asked the file system
    const std::shared_ptr<TOpenFolder>& Folder; // holds FolderFd open beyond this Step
};

// The most descriptors one walk has open at once: the folders it holds, a new
// subfolder, and the ones it opens on its way back up.
constexpr std::size_t WalkHeldFolders = 16;
constexpr std::size_t WalkMostDescriptors = WalkHeldFolders + 4;

// Lists Folder and calls Step for every entry but "." and "..", in natural
// name order (NaturalOrder.h); with Recurse, descends into each subfolder (links included)
// right after its Step, depth first. Within one call no folder (device and
// inode) is walked twice, so links can neither loop nor fan out, and no
// subfolder on a kernel pseudo file system (proc, sysfs, devtmpfs, cgroup...)
// is entered. A link to Folder itself or to a folder above it (such as "/")
// would take the walk out over everything around the search: it is noted in
// Climbing, once, and not followed. Depth is bounded only by the file system:
// a fixed number of descriptors stays open however deep the tree. A missing
// Folder yields nothing; any other folder that cannot be listed is noted in
// Unreadable. Exceptions from Step unwind the walk.
void WalkFolder(const std::string& Folder, bool Recurse,
                const std::function<void(TFolderEntry&)>& Step, TWalkNotes Notes = {});
