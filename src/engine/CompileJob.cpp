// The search of one compile run: the folder walk, the filename-mask test, the
// extension rule and the criteria. Written for few system calls per file: the
// listing's d_type says what an entry is, and a tagged file's size comes from
// the descriptor the tag reader already has open.
#include "engine/CompileJob.h"

#include "engine/Masks.h"
#include "engine/NaturalOrder.h"
#include "engine/ReadAhead.h"
#include "files/Paths.h"
#include "media/AudioTags.h"
#include "model/MessageText.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_set>

const char* const FinishedCompilingMessage = "Finished compiling playlist.";

CompileJob MakeCompileJob(const WizardSettings& Settings) {
    CompileJob Job;
    Job.Recurse = Settings.Recurse;
    Job.ThoroughID3Check = Settings.ThoroughID3Check;
    Job.IncludeTaglessFiles = Settings.IncludeTaglessFiles;
    Job.ReadOtherFormats = Settings.ReadOtherFormats;
    for (const CheckEntry& Entry : Settings.Folders)
        if (Entry.State == CheckState::Checked)
            Job.Folders.push_back(Entry.Caption);
    for (const CheckEntry& Entry : Settings.Filenames)
        if (Entry.State == CheckState::Checked)
            Job.FilenameMasks.push_back(Entry.Caption);
    Job.Criteria = SnapshotCriteria(Settings);
    Job.TagCodePage = Settings.TagCodePage;
    return Job;
}

namespace {

// Raised by the per-entry step when a stop was requested; unwinds the walk.
struct ESearchAborted {};

bool IsMp3Extension(std::string_view Path) {
    return HasExtension(Path, ".mp3");
}

// The folder part of a path: up to its last delimiter, without trailing
// delimiters; the root stays "/" so that its status names it.
std::string_view FolderPart(std::string_view Path) {
    std::size_t Slash = Path.rfind('/');
    if (Slash == std::string_view::npos)
        return {};
    std::string_view Folder = Path.substr(0, Slash);
    while (!Folder.empty() && Folder.back() == '/')
        Folder.remove_suffix(1);
    return Folder.empty() ? std::string_view("/") : Folder;
}

std::int32_t LowBits(std::int64_t Size) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(Size)));
}

// What the filename masks and the options decide before any tag is read.
enum class TNameVerdict { Rejected, Accepted, ReadTags };

// Why, when given, gets the mask that matched and, without a tag read, the reason.
template <class MaskMatches>
TNameVerdict JudgeName(const CompileJob& Job, std::string_view Path, MaskMatches&& Matches,
                       TDecisionReason* Why) {
    bool Matched = false;
    std::size_t Index = 0;
    for (; Index < Job.FilenameMasks.size() && !Matched; ++Index)
        Matched = Matches(Index);
    if (!Matched) {
        if (Why)
            Why->Kind = TReasonKind::NoFilenameMask;
        return TNameVerdict::Rejected;
    }
    if (Why)
        Why->FilenameMask = static_cast<std::uint32_t>(Index - 1);
    if (!Job.ThoroughID3Check && !IsMp3Extension(Path) &&
        !(Job.ReadOtherFormats && HasOtherFormatExtension(Path))) {
        if (Why) {
            Why->Tags = TTagRead::NotRead;
            Why->Kind = Job.IncludeTaglessFiles ? TReasonKind::TaglessIncluded
                                                : TReasonKind::TaglessDropped;
        }
        return Job.IncludeTaglessFiles ? TNameVerdict::Accepted : TNameVerdict::Rejected;
    }
    return TNameVerdict::ReadTags;
}

// The tags a file's read looks for, by its name. A file of another format is
// read by its own reader, whose "no tag" then goes the way of any other file:
// on to the ID3 reader when the thorough check asks for it.
TTagSources TagSourcesOf(const CompileJob& Job, std::string_view Path) {
    if (IsMp3Extension(Path))
        return Job.ReadOtherFormats ? TTagSources::ID3ThenAPE : TTagSources::ID3;
    if (Job.ReadOtherFormats && HasOtherFormatExtension(Path))
        return Job.ThoroughID3Check ? TTagSources::OtherFormatThenID3 : TTagSources::OtherFormat;
    return TTagSources::ID3;
}

// The decision once the tags were read (Found: a tag was there).
bool JudgeTags(const CompileJob& Job, std::string_view Path, bool Found, const TMediaInfo& Info,
               TTagDecoder& Decoder, TDecisionReason* Why) {
    if (!Found) {
        const bool Mp3 = IsMp3Extension(Path); // an untagged .mp3 is never taken
        if (Why) {
            Why->Tags = TTagRead::NotFound;
            Why->Kind = Mp3                       ? TReasonKind::Mp3WithoutTag
                        : Job.IncludeTaglessFiles ? TReasonKind::TaglessIncluded
                                                  : TReasonKind::TaglessDropped;
        }
        return !Mp3 && Job.IncludeTaglessFiles;
    }
    return EvaluateCriteria(Job.Criteria, Info, Decoder, Why);
}

// The acceptance rules, shared by AcceptFile and the walk, which differ only
// in how they test a mask and read tags.
template <class MaskMatches, class ReadTags>
bool Decide(const CompileJob& Job, std::string_view Path, const TMediaInfo& Info,
            MaskMatches&& Matches, ReadTags&& Read, TTagDecoder& Decoder, TDecisionReason* Why) {
    switch (JudgeName(Job, Path, Matches, Why)) {
    case TNameVerdict::Rejected:
        return false;
    case TNameVerdict::Accepted:
        return true;
    case TNameVerdict::ReadTags:
        break;
    }
    const bool Found = Read();
    return JudgeTags(Job, Path, Found, Info, Decoder, Why);
}

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
    TWalk(bool Recurse, const std::function<void(TFolderEntry&)>& Step,
          UnreadableFolders* Unreadable)
        : recurse_(Recurse), step_(Step), unreadable_(Unreadable), buffer_(32768) {}
    ~TWalk() {
        for (TFrame& Frame : frames_)
            Frame.Release();
    }
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;

    void Run(const std::string& Folder) {
        path_ = Folder;
        path_.reserve(4096);
        const int Fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Fd < 0) {
            if (errno != ENOENT && errno != ENOTDIR) // a folder that is not there is no loss
                Note(path_);
            return;
        }
        struct stat Info;
        if (fstat(Fd, &Info) != 0) {
            close(Fd);
            Note(path_);
            return;
        }
        if (path_.empty() || path_.back() != '/')
            path_.push_back('/');
        visited_.insert({Info.st_dev, Info.st_ino});
        Push(Fd, Info, IsPseudoFileSystem(Fd, Info.st_dev), false);
        while (depth_ > 0)
            Advance();
    }

    static constexpr std::size_t HeldFolders = 16;
    // The most descriptors a walk has open at once: its held folders, a new
    // subfolder, and the ones it opens on its way back up.
    static constexpr std::size_t MostDescriptors = HeldFolders + 4;

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

    void Enter(TFrame& Parent, const char* Name, bool ByLink) {
        const int Fd = openat(Parent.Fd, Name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (Fd < 0) {
            if (errno != ENOENT) // gone since the listing: nothing lost
                Note(path_);
            return;
        }
        struct stat Info;
        if (fstat(Fd, &Info) != 0) {
            close(Fd);
            Note(path_);
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
        if (unreadable_)
            unreadable_->Note(Folder);
    }

    bool recurse_;
    const std::function<void(TFolderEntry&)>& step_;
    UnreadableFolders* unreadable_;
    std::string path_;          // the current entry's path; frame prefixes stay intact below it
    std::deque<TFrame> frames_; // [0, depth_) is the current path; kept for their buffers
    std::size_t depth_ = 0;
    std::unordered_set<FolderId, FolderIdHash> visited_;
    std::vector<char> buffer_;
};

// Descriptors the process has open now; a guess of many when it cannot tell.
std::size_t OpenDescriptors(std::size_t Guess) {
    DIR* Dir = opendir("/proc/self/fd");
    if (!Dir)
        return Guess;
    std::size_t Count = 0;
    while (const dirent* Entry = readdir(Dir))
        if (Entry->d_name[0] != '.')
            ++Count;
    closedir(Dir);
    return Count > 0 ? Count - 1 : 0; // not the listing's own
}

// Descriptors a run may spend on reading ahead (reader threads and folders
// that reads still need): half of what the process has left beside the walk,
// so that the rest of the program keeps its share.
std::size_t ReadAheadDescriptors() {
    rlimit Limit{};
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0)
        return 0;
    const std::size_t Soft = Limit.rlim_cur == RLIM_INFINITY
                                 ? std::size_t{1} << 20
                                 : static_cast<std::size_t>(Limit.rlim_cur);
    const std::size_t Used = OpenDescriptors(Soft / 2) + TWalk::MostDescriptors;
    return Soft > Used ? (Soft - Used) / 2 : 0;
}

// One search run: the per-entry step and the state it keeps between entries.
// With reader threads, the step only lists an entry and judges its name; the
// entry then waits in the read-ahead window while a reader reads its tags,
// and is handed over when it is the oldest there. Hand-overs, the pause point
// and the stop check all happen on the walking thread, in the walk's order,
// exactly as without readers.
class TSearchRun {
public:
    // Thrown by the step after a malformed mask: the walk ends there, and the
    // entries before it are still handed over (Finish).
    struct EWalkEnds {};

    TSearchRun(const CompileJob& Job, const SearchHooks& Hooks, const SearchReaders& Readers)
        : job_(Job), hooks_(Hooks), masks_(Job.FilenameMasks.size()), read_(Readers.Read) {
        if (!read_)
            read_ = [this](int FolderFd, const char* Name, TMediaInfo& Info, std::int64_t& Size) {
                return ReadTagsAt(FolderFd, Name, TagSourcesOf(job_, Name), Info, Size, Decoder());
            };
        if (Readers.Threads == 0)
            return;
        // Each reader has one file open; the rest of the budget goes to
        // folders that reads in the window still need. Too few descriptors
        // for both: read on the walking thread.
        const std::size_t Budget = ReadAheadDescriptors();
        const std::size_t Threads = std::min(Readers.Threads, Budget / 2);
        folderQuota_ = std::min(Budget - Threads, Readers.Window);
        if (Threads == 0 || folderQuota_ == 0)
            return;
        ahead_.resize(std::max<std::size_t>(Readers.Window, 1));
        window_.emplace(
            Threads, ahead_.size(), [this](std::size_t Slot) { Work(ahead_[Slot]); },
            Hooks.HoldReads);
    }

    void HandleEntry(TFolderEntry& Entry) {
        if (window_)
            Queue(Entry);
        else
            HandleNow(Entry);
    }

    // Hands over every entry still in the window.
    void Finish() {
        while (window_ && !window_->Empty())
            DeliverOldest();
    }

private:
    // An entry in the read-ahead window.
    struct TAhead {
        unsigned char Type = DT_UNKNOWN;
        bool ReadTags = false;
        bool Accepted = false;
        std::size_t NameOffset = 0;
        std::int64_t Size = -1;
        std::shared_ptr<TOpenFolder> Folder; // only while a reader needs it
        bool CountsFolder = false;           // the first slot in a row holding Folder
        std::exception_ptr Error;            // a malformed mask, raised at hand-over
        TFileInfo File;
    };

    void HandleNow(TFolderEntry& Entry) {
        if (!BeforeEntry(Entry.Type, Entry.Path))
            return;
        TMediaInfo Info;
        TDecisionReason Reason;
        if (!Accept(Entry, Info, Reason)) {
            if (ReportsDrop(Reason))
                hooks_.DroppedFile(TFileInfo{Entry.Path, std::move(Info),
                                             LowBits(std::max<std::int64_t>(Entry.Size, 0)),
                                             Reason});
            return;
        }
        if (Entry.Size < 0)
            Entry.Size = SizeOf(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset);
        Found(TFileInfo{Entry.Path, std::move(Info), LowBits(Entry.Size), Reason});
    }

    // Whether a file the search did not take goes to DroppedFile.
    bool ReportsDrop(const TDecisionReason& Reason) const {
        return job_.RecordReasons && hooks_.DroppedFile &&
               Reason.Kind != TReasonKind::NoFilenameMask;
    }
    TDecisionReason* Why(TDecisionReason& Reason) const {
        return job_.RecordReasons ? &Reason : nullptr;
    }

    // The pause point, the stop check and the status of one entry, in the
    // walk's order. False when the entry is not a file to judge.
    bool BeforeEntry(unsigned char Type, const std::string& Path) {
        if (hooks_.SafePoint)
            hooks_.SafePoint();
        if (hooks_.StopRequested && hooks_.StopRequested())
            throw ESearchAborted{};
        // Only regular files (after links) become entries: a "*" mask would
        // otherwise put folders, FIFOs, devices and broken links into the playlist.
        if (Type != DT_REG) {
            if (Type == DT_DIR && job_.Recurse)
                ++progress_.Folders;
            ReportProgress();
            return false;
        }
        ++progress_.Files;
        const std::string_view Folder = FolderPart(Path);
        if (Folder != lastFolder_) {
            lastFolder_.assign(Folder);
            if (hooks_.ShowStatus)
                hooks_.ShowStatus(SearchingStatus(Path));
        }
        ReportProgress();
        return true;
    }

    void ReportProgress() {
        if (hooks_.Progress) {
            progress_.Folder = lastFolder_;
            hooks_.Progress(progress_);
        }
    }

    void Found(const TFileInfo& File) {
        ++progress_.Accepted;
        if (hooks_.FoundFile)
            hooks_.FoundFile(File);
    }

public:
    // A search folder is about to be walked.
    void CountSearchFolder() { ++progress_.Folders; }

private:
    bool MaskMatches(std::size_t Index, const std::string& Path) {
        std::optional<TMask>& Mask = masks_[Index];
        if (!Mask) // compiled when first reached, so a bad mask fails only there
            Mask.emplace(job_.FilenameMasks[Index], Decoder());
        return Mask->Matches(Path);
    }

    bool Accept(TFolderEntry& Entry, TMediaInfo& Info, TDecisionReason& Reason) {
        auto Matches = [&](std::size_t Index) { return MaskMatches(Index, Entry.Path); };
        auto Read = [&] {
            std::int64_t Size = -1;
            const bool Found =
                read_(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset, Info, Size);
            if (Size >= 0)
                Entry.Size = Size;
            return Found;
        };
        return Decide(job_, Entry.Path, Info, Matches, Read, Decoder(), Why(Reason));
    }

    // This thread's decoder for the job's code page: opened once per thread of
    // the run (iconv keeps state, so the reader threads cannot share one).
    TTagDecoder& Decoder() const { return ThreadTagDecoder(job_.TagCodePage); }

    static std::int64_t SizeOf(int FolderFd, const char* Name) {
        struct stat Stat;
        return fstatat(FolderFd, Name, &Stat, 0) == 0 ? Stat.st_size : 0;
    }

    // Walking thread: puts the entry into the window, judged by its name.
    void Queue(TFolderEntry& Entry) {
        if (window_->Full())
            DeliverOldest();
        TAhead& Ahead = ahead_[window_->Back()];
        Ahead.Type = Entry.Type;
        if (Entry.Type != DT_REG) {
            window_->Push(false);
            // The walk may now wait for the disk to list the subfolder: idle
            // readers get what has gathered so far.
            if (Entry.Type == DT_DIR && window_->ReadersIdle())
                window_->Publish();
            return;
        }
        Ahead.File.FileName = Entry.Path;
        Ahead.File.MediaInfo = TMediaInfo{};
        Ahead.File.Reason = TDecisionReason{};
        Ahead.NameOffset = Entry.NameOffset;
        Ahead.Size = Entry.Size;
        Ahead.Error = nullptr;
        TNameVerdict Verdict;
        try {
            auto Matches = [&](std::size_t Index) { return MaskMatches(Index, Entry.Path); };
            Verdict = JudgeName(job_, Entry.Path, Matches, Why(Ahead.File.Reason));
        } catch (...) {
            Ahead.Error = std::current_exception();
            Ahead.Accepted = false;
            window_->Push(false);
            throw EWalkEnds{};
        }
        Ahead.ReadTags = Verdict == TNameVerdict::ReadTags;
        Ahead.Accepted = Verdict == TNameVerdict::Accepted;
        const bool NeedsReader = Ahead.ReadTags || (Ahead.Accepted && Ahead.Size < 0);
        if (NeedsReader)
            HoldFolder(Entry.Folder);
        window_->Push(NeedsReader);
    }

    // Gives the slot at the window's back its folder, keeping the folders held
    // by the window within the descriptor budget: past it, the oldest entries
    // are handed over first (which lets their folders go).
    void HoldFolder(const std::shared_ptr<TOpenFolder>& Folder) {
        const std::size_t Slot = window_->Back();
        const bool Same = lastFolderSlot_ && ahead_[*lastFolderSlot_].Folder == Folder;
        if (!Same) {
            if (window_->ReadersIdle())
                window_->Publish();
            while (heldFolders_ >= folderQuota_ && !window_->Empty())
                DeliverOldest();
            ++heldFolders_;
            lastFolderSlot_ = Slot;
        }
        ahead_[Slot].Folder = Folder;
        ahead_[Slot].CountsFolder = !Same;
    }

    // A reader thread: the file's tags, the criteria and, if accepted, its size.
    void Work(TAhead& Ahead) {
        const int FolderFd = Ahead.Folder->Fd();
        const char* Name = Ahead.File.FileName.c_str() + Ahead.NameOffset;
        try {
            if (Ahead.ReadTags) {
                std::int64_t Size = -1;
                const bool Found = read_(FolderFd, Name, Ahead.File.MediaInfo, Size);
                if (Size >= 0)
                    Ahead.Size = Size;
                Ahead.Accepted = JudgeTags(job_, Ahead.File.FileName, Found, Ahead.File.MediaInfo,
                                           Decoder(), Why(Ahead.File.Reason));
            }
            if (Ahead.Accepted && Ahead.Size < 0)
                Ahead.Size = SizeOf(FolderFd, Name);
        } catch (...) {
            Ahead.Accepted = false;
            Ahead.Error = std::current_exception();
        }
    }

    // Walking thread: hands over the oldest entry of the window once it is read.
    void DeliverOldest() {
        const std::size_t Slot = window_->Front();
        TAhead& Ahead = ahead_[Slot];
        Ahead.Folder.reset();
        if (Ahead.CountsFolder) {
            Ahead.CountsFolder = false;
            --heldFolders_;
        }
        if (lastFolderSlot_ == Slot)
            lastFolderSlot_.reset();
        if (BeforeEntry(Ahead.Type, Ahead.File.FileName)) {
            if (Ahead.Error)
                std::rethrow_exception(Ahead.Error);
            if (Ahead.Accepted) {
                Ahead.File.Size = LowBits(Ahead.Size);
                Found(Ahead.File);
            } else if (ReportsDrop(Ahead.File.Reason)) {
                Ahead.File.Size = LowBits(std::max<std::int64_t>(Ahead.Size, 0));
                hooks_.DroppedFile(Ahead.File);
            }
        }
        window_->Pop();
    }

    const CompileJob& job_;
    const SearchHooks& hooks_;
    std::vector<std::optional<TMask>> masks_;
    TagReadFunction read_;
    std::string lastFolder_;
    SearchProgress progress_;
    std::size_t folderQuota_ = 0;               // folders the window may hold open
    std::size_t heldFolders_ = 0;               // slots with CountsFolder
    std::optional<std::size_t> lastFolderSlot_; // the newest slot in the window with a folder
    std::vector<TAhead> ahead_;                 // the window's slots
    std::optional<TReadAhead> window_;          // destroyed first: its readers use ahead_
};

} // namespace

TOpenFolder::~TOpenFolder() {
    if (fd_ >= 0)
        close(fd_);
}

void WalkFolder(const std::string& Folder, bool Recurse,
                const std::function<void(TFolderEntry&)>& Step, UnreadableFolders* Unreadable) {
    TWalk(Recurse, Step, Unreadable).Run(Folder);
}

void UnreadableFolders::Note(const std::string& Path) {
    if (FirstPaths.size() < KeptPaths)
        FirstPaths.push_back(Path);
    ++Count;
}

namespace {
std::string UnreadableCount(std::size_t Count) {
    return std::to_string(Count) + (Count == 1 ? " folder" : " folders") + " could not be read";
}
} // namespace

std::string FinishedStatus(const SearchResult& Result) {
    std::string Status = FinishedCompilingMessage;
    if (Result.Unreadable.Count > 0)
        Status += ' ' + UnreadableCount(Result.Unreadable.Count) + '.';
    return Status;
}

std::string UnreadableFoldersSummary(const UnreadableFolders& Unreadable) {
    if (Unreadable.Count == 0)
        return {};
    std::string Line = UnreadableCount(Unreadable.Count) + ": ";
    for (std::size_t I = 0; I < Unreadable.FirstPaths.size(); ++I)
        Line += (I ? ", " : "") + QuoteForMessage(Unreadable.FirstPaths[I], 200);
    if (Unreadable.Count > Unreadable.FirstPaths.size())
        Line += ", ...";
    return Line;
}

std::string SearchingStatus(const std::string& Path) {
    return "Searching " + std::string(FolderPart(Path)) + "...";
}

bool AcceptFile(const CompileJob& Job, TFileInfo& Info, TTagDecoder& Decoder) {
    auto Matches = [&](std::size_t Index) {
        return MatchWildcard(Info.FileName, Job.FilenameMasks[Index], Decoder);
    };
    auto Read = [&] {
        return ReadTags(Info.FileName, TagSourcesOf(Job, Info.FileName), Info.MediaInfo, Decoder);
    };
    return Decide(Job, Info.FileName, Info.MediaInfo, Matches, Read, Decoder,
                  Job.RecordReasons ? &Info.Reason : nullptr);
}

SearchResult RunSearch(const CompileJob& Job, const SearchHooks& Hooks,
                       const SearchReaders& Readers) {
    SearchResult Result;
    try {
        TSearchRun Run(Job, Hooks, Readers);
        const std::function<void(TFolderEntry&)> Step = [&Run](TFolderEntry& Entry) {
            Run.HandleEntry(Entry);
        };
        try {
            for (const std::string& Folder : Job.Folders) {
                Run.CountSearchFolder();
                WalkFolder(Folder, Job.Recurse, Step, &Result.Unreadable);
            }
        } catch (const TSearchRun::EWalkEnds&) {
            // The entries before the malformed mask still go out, then its error.
        }
        Run.Finish();
    } catch (const ESearchAborted&) {
        Result.Outcome = SearchOutcome::Aborted;
    } catch (const std::exception& Error) {
        Result.Outcome = SearchOutcome::Failed;
        Result.ErrorMessage = Error.what();
    } catch (...) {
        Result.Outcome = SearchOutcome::Failed;
    }
    return Result;
}
