// The folder walk. Written for few system calls per entry: the listing's
// d_type says what an entry is, and only links and unknown types are stat'ed.
#include "engine/FolderWalk.h"

#include "engine/NaturalOrder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <string_view>
#include <unordered_set>

namespace {

unsigned char TypeFromMode(mode_t Mode) {
    if (S_ISDIR(Mode))
        return DT_DIR;
    if (S_ISREG(Mode))
        return DT_REG;
    if (S_ISFIFO(Mode))
        return DT_FIFO;
    if (S_ISSOCK(Mode))
        return DT_SOCK;
    if (S_ISCHR(Mode))
        return DT_CHR;
    if (S_ISBLK(Mode))
        return DT_BLK;
    return DT_LNK;
}

// A folder's entries as the listing returned them, read whole before any of
// them is handled: no descriptor has to stay open on a folder while its
// subfolders are walked, and ReadListing is the one place where a folder's
// entries are gathered before they are handed on.
class TListing {
public:
    struct Entry {
        std::size_t NameOffset; // into names_, NUL-terminated
        unsigned char Type;     // d_type as listed
    };

    void Clear() {
        names_.clear();
        entries_.clear();
    }
    void Add(const char* Name, std::size_t Length, unsigned char Type) {
        entries_.push_back({names_.size(), Type});
        names_.append(Name, Length + 1);
    }
    std::size_t Size() const { return entries_.size(); }
    const Entry& At(std::size_t Index) const { return entries_[Index]; }
    const char* Name(const Entry& Listed) const { return names_.data() + Listed.NameOffset; }
    std::vector<Entry>& Entries() { return entries_; }
    void SortNaturally() {
        std::sort(entries_.begin(), entries_.end(),
                  [this](const Entry& A, const Entry& B) { return NaturalLess(Name(A), Name(B)); });
    }

private:
    std::string names_;
    std::vector<Entry> entries_;
};

// Reads the whole listing of the open folder Fd into Listing, "." and ".."
// left out. False when the listing could not be read to its end; what was
// read is kept.
bool ReadListing(int Fd, TListing& Listing, std::vector<char>& Buffer) {
    Listing.Clear();
    for (;;) {
        const ssize_t Got = getdents64(Fd, Buffer.data(), Buffer.size());
        if (Got == 0)
            return true;
        if (Got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (ssize_t At = 0; At < Got;) {
            const auto* Entry = reinterpret_cast<const struct dirent64*>(Buffer.data() + At);
            At += Entry->d_reclen;
            const char* Name = Entry->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                continue;
            Listing.Add(Name, std::strlen(Name), Entry->d_type);
        }
    }
}

// devtmpfs reports the magic number of tmpfs; only the mount table tells the two apart.
bool IsDevtmpfs(dev_t Device) {
    const int Fd = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (Fd < 0)
        return false;
    std::string Table;
    char Chunk[4096];
    ssize_t Got;
    while ((Got = read(Fd, Chunk, sizeof Chunk)) > 0 && Table.size() < (std::size_t{1} << 24))
        Table.append(Chunk, static_cast<std::size_t>(Got));
    close(Fd);
    // "id parent major:minor root mount-point options... - type source options"
    const std::string Id = std::to_string(major(Device)) + ':' + std::to_string(minor(Device));
    std::string_view Rest = Table;
    while (!Rest.empty()) {
        const std::size_t End = std::min(Rest.find('\n'), Rest.size());
        const std::string_view Line = Rest.substr(0, End);
        Rest.remove_prefix(std::min(End + 1, Rest.size()));
        std::size_t Field = Line.find(' ');
        Field = Field == std::string_view::npos ? Field : Line.find(' ', Field + 1);
        if (Field == std::string_view::npos || Line.substr(Field + 1, Id.size() + 1) != Id + ' ')
            continue;
        const std::size_t Separator = Line.find(" - ");
        if (Separator != std::string_view::npos &&
            Line.substr(Separator + 3).starts_with("devtmpfs "))
            return true;
    }
    return false;
}

// File systems that show the kernel's objects rather than files: walking
// them can reach the whole file system again (proc) or never end (sysfs).
bool IsPseudoFileSystem(int Fd, dev_t Device) {
    struct statfs Info;
    if (fstatfs(Fd, &Info) != 0)
        return false;
    switch (static_cast<unsigned long>(Info.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case BPF_FS_MAGIC:
        return true;
    case TMPFS_MAGIC:
        return IsDevtmpfs(Device);
    default:
        return false;
    }
}

struct FolderId {
    dev_t Device;
    ino_t Inode;
    bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
    std::size_t operator()(const FolderId& Id) const {
        return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(Id.Inode) * 31 +
                                          static_cast<std::uint64_t>(Id.Device));
    }
};

// The walk of one search folder, depth first without recursion. Each folder
// on the current path is a frame holding its listing and how far it got. The
// first HeldFolders frames keep their descriptors; a deeper one gives its up
// while a subfolder is walked and opens itself again through the subfolder's
// ".." (or, after a link, by name from the nearest frame that holds one), so
// the number of open descriptors does not grow with depth.
class TWalk {
public:
    TWalk(bool Recurse, const std::function<void(TFolderEntry&)>& Step, TWalkNotes Notes)
        : recurse_(Recurse), step_(Step), notes_(Notes), buffer_(32768) {}
    ~TWalk() {
        for (TFrame& Frame : frames_)
            Frame.Release();
    }
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;

    void Run(const std::string& Folder) {
        path_ = Folder;
        path_.reserve(4096);
        struct stat Info;
        // A search folder that is not there (or not a folder) is no loss.
        const int Fd = OpenFolder(AT_FDCWD, Folder.c_str(), true, Info);
        if (Fd < 0)
            return;
        if (path_.empty() || path_.back() != '/')
            path_.push_back('/');
        visited_.insert({Info.st_dev, Info.st_ino});
        if (recurse_)
            NoteAncestors(Fd, Info);
        Push(Fd, Info, IsPseudoFileSystem(Fd, Info.st_dev), false);
        while (depth_ > 0)
            Advance();
    }

    static constexpr std::size_t HeldFolders = WalkHeldFolders;

private:
    struct TFrame {
        int Fd = -1;                         // -1 while given up for a subfolder's walk
        std::shared_ptr<TOpenFolder> Handle; // owns Fd, shared with reads still under way
        FolderId Id{};
        bool Pseudo = false;          // on a pseudo file system: no subfolder is entered
        bool EnteredByLink = false;   // so its ".." may lead elsewhere
        std::size_t PrefixLength = 0; // path_ up to here is the folder and a '/'
        std::size_t Next = 0;         // the next entry of Listing to handle
        TListing Listing;

        void Hold(int Descriptor) {
            Fd = Descriptor;
            Handle = Fd >= 0 ? std::make_shared<TOpenFolder>(Fd) : nullptr;
        }
        void Release() {
            Handle.reset();
            Fd = -1;
        }
        bool Done() const { return Next == Listing.Size(); }
    };

    // Handles the next entry of the deepest folder, or leaves the folder when it is done.
    void Advance() {
        TFrame& Top = frames_[depth_ - 1];
        if (Top.Done()) {
            Pop();
            return;
        }
        const TListing::Entry& Listed = Top.Listing.At(Top.Next++);
        const char* Name = Top.Listing.Name(Listed);
        path_.resize(Top.PrefixLength);
        path_.append(Name);
        TFolderEntry Found{path_, Top.PrefixLength, Top.Fd, Listed.Type, -1, Top.Handle};
        const bool Link = Found.Type == DT_LNK;
        if (Link || Found.Type == DT_UNKNOWN) {
            struct stat Info;
            if (fstatat(Top.Fd, Name, &Info, 0) == 0) {
                Found.Type = TypeFromMode(Info.st_mode);
                Found.Size = Info.st_size;
            }
        }
        step_(Found);
        if (recurse_ && Found.Type == DT_DIR)
            Enter(Top, Name, Link);
    }

    // Opens the folder Name in At and gets its status; -1 (noted as unreadable
    // at path_ unless it is simply not there) when either fails.
    int OpenFolder(int At, const char* Name, bool NotAFolderIsNoLoss, struct stat& Info) {
        const int Fd = openat(At, Name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Fd < 0) {
            if (errno != ENOENT && !(NotAFolderIsNoLoss && errno == ENOTDIR))
                Note(path_);
            return -1;
        }
        if (fstat(Fd, &Info) != 0) {
            close(Fd);
            Note(path_);
            return -1;
        }
        return Fd;
    }

    void Enter(TFrame& Parent, const char* Name, bool ByLink) {
        struct stat Info;
        // A subfolder gone since the listing: nothing lost.
        const int Fd = OpenFolder(Parent.Fd, Name, false, Info);
        if (Fd < 0)
            return;
        if (ByLink && ancestors_.contains({Info.st_dev, Info.st_ino})) {
            close(Fd);
            if (notes_.Climbing)
                notes_.Climbing->Note(path_);
            return;
        }
        const bool Pseudo =
            Info.st_dev == Parent.Id.Device ? Parent.Pseudo : IsPseudoFileSystem(Fd, Info.st_dev);
        if (Pseudo || !visited_.insert({Info.st_dev, Info.st_ino}).second) {
            close(Fd);
            return;
        }
        if (depth_ > HeldFolders)
            Parent.Release();
        path_.push_back('/');
        Push(Fd, Info, Pseudo, ByLink);
    }

    void Push(int Fd, const struct stat& Info, bool Pseudo, bool ByLink) {
        if (depth_ == frames_.size())
            frames_.emplace_back();
        TFrame& Frame = frames_[depth_++];
        Frame.Hold(Fd);
        Frame.Id = {Info.st_dev, Info.st_ino};
        Frame.Pseudo = Pseudo;
        Frame.EnteredByLink = ByLink;
        Frame.PrefixLength = path_.size();
        Frame.Next = 0;
        if (!ReadListing(Fd, Frame.Listing, buffer_))
            Note(FolderPath(Frame));
        // Every entry of the folder is in Frame.Listing before the first is
        // handed on: sorted once here, they go on in the order a file manager
        // shows them, whatever order the file system keeps.
        Frame.Listing.SortNaturally();
    }

    void Pop() {
        TFrame& Done = frames_[--depth_];
        if (depth_ > 0 && frames_[depth_ - 1].Fd < 0 && NeedsDescriptor(depth_ - 1))
            Reacquire(frames_[depth_ - 1], Done);
        Done.Release();
    }

    // Whether frame Index has entries left, or is the way back by ".." to a
    // frame above it that has.
    bool NeedsDescriptor(std::size_t Index) const {
        for (;; --Index) {
            if (!frames_[Index].Done())
                return true;
            if (Index == 0 || frames_[Index - 1].Fd >= 0)
                return false;
        }
    }

    // Opens a frame that gave up its descriptor again, as the same folder.
    void Reacquire(TFrame& Frame, const TFrame& Child) {
        int Fd = -1;
        if (!Child.EnteredByLink && Child.Fd >= 0)
            Fd = SameFolder(openat(Child.Fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC), Frame);
        if (Fd < 0)
            Fd = SameFolder(ReopenByName(depth_ - 1), Frame);
        if (Fd < 0) {
            Note(
                FolderPath(Frame)); // moved or taken away meanwhile: its remaining entries are lost
            Frame.Next = Frame.Listing.Size();
        }
        Frame.Hold(Fd);
    }

    // Fd when it is the folder of Frame; otherwise closes it and returns -1.
    static int SameFolder(int Fd, const TFrame& Frame) {
        struct stat Info;
        if (Fd >= 0 && fstat(Fd, &Info) == 0 && Info.st_dev == Frame.Id.Device &&
            Info.st_ino == Frame.Id.Inode)
            return Fd;
        if (Fd >= 0)
            close(Fd);
        return -1;
    }

    // Opens frame Index name by name from the nearest frame above it that holds
    // a descriptor (or from the search folder), so no path grows beyond a name.
    int ReopenByName(std::size_t Index) {
        std::size_t Base = Index;
        while (Base > 0 && frames_[Base - 1].Fd < 0)
            --Base;
        int Fd;
        if (Base == 0) {
            Fd = open(path_.substr(0, frames_[0].PrefixLength).c_str(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            Base = 1;
        } else {
            Fd = dup(frames_[Base - 1].Fd);
        }
        for (std::size_t Level = Base; Level <= Index && Fd >= 0; ++Level) {
            const std::size_t From = frames_[Level - 1].PrefixLength;
            const std::string Name = path_.substr(From, frames_[Level].PrefixLength - 1 - From);
            const int Next = openat(Fd, Name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(Fd);
            Fd = Next;
        }
        return Fd;
    }

    std::string FolderPath(const TFrame& Frame) const {
        return Frame.PrefixLength > 1 ? path_.substr(0, Frame.PrefixLength - 1)
                                      : path_.substr(0, 1);
    }

    void Note(const std::string& Folder) {
        if (notes_.Unreadable)
            notes_.Unreadable->Note(Folder);
    }

    // The search folder and every folder above it, up to the root, by ".."
    // from the folder itself (so a search folder reached through links
    // counts the folders it really lies in).
    void NoteAncestors(int Fd, const struct stat& Info) {
        ancestors_.insert({Info.st_dev, Info.st_ino});
        int Current = dup(Fd);
        while (Current >= 0) {
            const int Up = openat(Current, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(Current);
            struct stat UpInfo;
            if (Up < 0 || fstat(Up, &UpInfo) != 0 ||
                !ancestors_.insert({UpInfo.st_dev, UpInfo.st_ino}).second) {
                if (Up >= 0)
                    close(Up);
                return; // the root is its own parent
            }
            Current = Up;
        }
    }

    bool recurse_;
    const std::function<void(TFolderEntry&)>& step_;
    TWalkNotes notes_;
    std::string path_;          // the current entry's path; frame prefixes stay intact below it
    std::deque<TFrame> frames_; // [0, depth_) is the current path; kept for their buffers
    std::size_t depth_ = 0;
    std::unordered_set<FolderId, FolderIdHash> visited_;
    std::unordered_set<FolderId, FolderIdHash> ancestors_; // links to these are not followed
    std::vector<char> buffer_;
};

} // namespace

TOpenFolder::~TOpenFolder() {
    if (fd_ >= 0)
        close(fd_);
}

void NotedPaths::Note(const std::string& Path) {
    if (FirstPaths.size() < KeptPaths)
        FirstPaths.push_back(Path);
    ++Count;
}

void WalkFolder(const std::string& Folder, bool Recurse,
                const std::function<void(TFolderEntry&)>& Step, TWalkNotes Notes) {
    TWalk(Recurse, Step, Notes).Run(Folder);
}
