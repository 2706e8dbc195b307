// Kept searches' folders watched by inotify, each change leading to one
// settled refresh of the searches it concerns.
#include "watch/LibraryWatch.h"

#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>
#include <utility>

namespace {

constexpr std::uint32_t FolderEvents = IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                       IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

std::string Joined(const std::string& Folder, const char* Name) {
    if (Folder.empty() || Folder.back() == '/')
        return Folder + Name;
    return Folder + "/" + Name;
}

bool IsFolder(const std::string& Path) {
    struct stat Info;
    return stat(Path.c_str(), &Info) == 0 && S_ISDIR(Info.st_mode);
}

// An empty folder, or one that cannot be listed, holds nothing to watch.
bool IsEmptyFolder(const std::string& Path) {
    DIR* Listing = opendir(Path.c_str());
    if (!Listing)
        return false;
    bool Empty = true;
    while (const dirent* Entry = readdir(Listing)) {
        const char* Name = Entry->d_name;
        if (!(Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))) {
            Empty = false;
            break;
        }
    }
    closedir(Listing);
    return Empty;
}

void AddOnce(std::vector<std::size_t>& List, std::size_t Value) {
    if (std::find(List.begin(), List.end(), Value) == List.end())
        List.push_back(Value);
}

std::string Minutes(std::chrono::milliseconds Time) {
    const long long Ms = Time.count();
    const auto Counted = [](long long Count, const char* Unit) {
        return std::to_string(Count) + " " + Unit + (Count == 1 ? "" : "s");
    };
    if (Ms % 1000 != 0 || Ms == 0)
        return Counted(Ms, "millisecond");
    if (Ms % 60000 != 0)
        return Counted(Ms / 1000, "second");
    return Counted(Ms / 60000, "minute");
}

} // namespace

std::string NoEventsFileSystem(const std::string& Folder) {
    struct statfs Info;
    if (statfs(Folder.c_str(), &Info) != 0)
        return {};
    // Magic numbers of <linux/magic.h> and the file systems' own headers.
    static const std::pair<std::uint32_t, const char*> Remote[] = {
        {0x6969, "nfs"},      {0x517B, "smb"},      {0xFF534D42, "cifs"}, {0xFE534D42, "smb2"},
        {0x01021997, "9p"},   {0x00C36400, "ceph"}, {0x5346414F, "afs"},  {0x73757245, "coda"},
        {0x65735546, "fuse"}, {0x564C, "ncp"},      {0x47504653, "gpfs"}, {0x0BD00BD0, "lustre"},
    };
    const auto Type = static_cast<std::uint32_t>(Info.f_type);
    for (const auto& [Magic, Name] : Remote)
        if (Type == Magic)
            return Name;
    return {};
}

namespace {

// The mount points of a file in fstab's layout; the octal escapes of blanks
// and backslashes read back.
std::vector<std::string> MountPoints(const std::string& File) {
    std::vector<std::string> Points;
    std::ifstream In(File);
    std::string Line;
    while (std::getline(In, Line)) {
        std::istringstream Fields(Line);
        std::string Device, Point;
        if (!(Fields >> Device >> Point) || Device.starts_with('#'))
            continue;
        std::string Plain;
        for (std::size_t At = 0; At < Point.size(); ++At) {
            if (Point[At] == '\\' && At + 3 < Point.size() &&
                std::isdigit(static_cast<unsigned char>(Point[At + 1]))) {
                Plain += static_cast<char>(std::stoi(Point.substr(At + 1, 3), nullptr, 8));
                At += 3;
            } else {
                Plain += Point[At];
            }
        }
        while (Plain.size() > 1 && Plain.back() == '/')
            Plain.pop_back();
        Points.push_back(std::move(Plain));
    }
    return Points;
}

} // namespace

bool IsUnmountedMountPoint(const std::string& Folder, const std::string& FstabFile,
                           const std::string& MountsFile) {
    std::string Point = Folder;
    while (Point.size() > 1 && Point.back() == '/')
        Point.pop_back();
    const std::vector<std::string> Meant = MountPoints(FstabFile);
    if (std::find(Meant.begin(), Meant.end(), Point) == Meant.end())
        return false;
    const std::vector<std::string> Mounted = MountPoints(MountsFile);
    return std::find(Mounted.begin(), Mounted.end(), Point) == Mounted.end();
}

long SystemWatchLimit() {
    std::ifstream In("/proc/sys/fs/inotify/max_user_watches");
    long Limit = 0;
    if (!(In >> Limit))
        return 0;
    return Limit;
}

TLibraryWatch::TLibraryWatch(std::vector<std::string> SearchFiles, TWatchHooks Hooks,
                             TWatchOptions Options)
    : hooks_(std::move(Hooks)), options_(std::move(Options)) {
    if (!options_.GivesNoEvents)
        options_.GivesNoEvents = [](const std::string& Folder) {
            return !NoEventsFileSystem(Folder).empty();
        };
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0)
        hooks_.Say(std::string("cannot watch for changes (") + std::strerror(errno) +
                   "); every search is refreshed every " + Minutes(options_.Interval) + " instead");
    for (std::string& File : SearchFiles)
        AddSearch(std::move(File));
}

namespace {

std::pair<std::string, std::string> FolderAndName(const std::string& File) {
    const std::size_t Slash = File.rfind('/');
    if (Slash == std::string::npos)
        return {".", File};
    return {Slash == 0 ? "/" : File.substr(0, Slash), File.substr(Slash + 1)};
}

} // namespace

void TLibraryWatch::AddSearch(std::string File) {
    if (std::any_of(searches_.begin(), searches_.end(),
                    [&File](const TSearch& Search) { return Search.File == File; }))
        return;
    TSearch Search;
    std::tie(Search.FileFolder, Search.FileName) = FolderAndName(File);
    Search.File = std::move(File);
    searches_.push_back(std::move(Search));
}

std::vector<std::string> TLibraryWatch::SearchFiles() const {
    std::vector<std::string> Files;
    for (const TSearch& Search : searches_)
        Files.push_back(Search.File);
    return Files;
}

void TLibraryWatch::FollowList() {
    listChanged_ = false;
    std::vector<std::string> Wanted = hooks_.ListSearches();
    std::vector<std::string> Files;
    for (std::string& File : Wanted)
        if (std::find(Files.begin(), Files.end(), File) == Files.end())
            Files.push_back(std::move(File));
    if (Files == SearchFiles())
        return;
    // Every search starts anew: the watches of those that stay are found again.
    for (std::size_t Index = 0; Index < searches_.size(); ++Index)
        Release(Index, {});
    std::vector<int> Unused;
    for (auto& [Watch, Held] : watches_) {
        Held.SearchFiles.clear();
        if (Held.Folders.empty() && !Held.ListFolder)
            Unused.push_back(Watch);
    }
    for (const int Watch : Unused)
        Drop(Watch);
    searches_.clear();
    for (std::string& File : Files)
        AddSearch(std::move(File));
    hooks_.Say("the list of watched searches changed: " + std::to_string(searches_.size()) +
               (searches_.size() == 1 ? " search" : " searches") + " now");
    const TClock::time_point Now = TClock::now();
    for (std::size_t Index = 0; Index < searches_.size(); ++Index)
        StartSearch(Index, Now);
}

void TLibraryWatch::StartSearch(std::size_t Index, TClock::time_point Now) {
    WatchSearchFile(Index);
    Load(Index);
    // The library may have changed while nobody watched.
    Changed(Index, Now);
    searches_[Index].DueAt = Now;
}

TLibraryWatch::~TLibraryWatch() {
    if (inotify_ >= 0)
        close(inotify_);
    if (wake_ >= 0)
        close(wake_);
}

void TLibraryWatch::RequestStop() {
    stop_.store(true, std::memory_order_relaxed);
    const std::uint64_t One = 1;
    if (wake_ >= 0) {
        [[maybe_unused]] const ssize_t Written = write(wake_, &One, sizeof One);
    }
}

int TLibraryWatch::AddWatch(const std::string& Path, bool& Limit) {
    Limit = false;
    if (inotify_ < 0)
        return -1;
    if (options_.WatchCap != 0 && watches_.size() >= options_.WatchCap) {
        // Only a folder already watched may still be added.
        for (const auto& [Watch, Held] : watches_)
            if (Held.Path == Path)
                return Watch;
        Limit = true;
        errno = ENOSPC;
        return -1;
    }
    const int Watch = inotify_add_watch(inotify_, Path.c_str(), FolderEvents);
    if (Watch < 0) {
        Limit = errno == ENOSPC;
        return -1;
    }
    // The same folder by another path gives the same watch: the newest path serves.
    watches_[Watch].Path = Path;
    return Watch;
}

TLibraryWatch::TAdded TLibraryWatch::WatchBelow(std::size_t Index, const std::string& Root,
                                                std::vector<int>& Added) {
    const bool Recurse = searches_[Index].Watched.Recurse;
    std::vector<std::string> Folders{Root};
    std::set<std::pair<dev_t, ino_t>> Seen; // a link back up must not loop
    while (!Folders.empty()) {
        const std::string Folder = std::move(Folders.back());
        Folders.pop_back();
        struct stat Info;
        if (stat(Folder.c_str(), &Info) != 0 || !S_ISDIR(Info.st_mode) ||
            !Seen.insert({Info.st_dev, Info.st_ino}).second)
            continue;
        bool Limit = false;
        const int Watch = AddWatch(Folder, Limit);
        if (Limit)
            return TAdded::Limit;
        if (Watch < 0)
            continue; // gone meanwhile, or not ours to read: the walk cannot see it either
        AddOnce(watches_[Watch].Folders, Index);
        Added.push_back(Watch);
        if (!Recurse)
            continue;
        DIR* Listing = opendir(Folder.c_str());
        if (!Listing)
            continue;
        while (const dirent* Entry = readdir(Listing)) {
            const char* Name = Entry->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                continue;
            if (Entry->d_type == DT_DIR || Entry->d_type == DT_LNK || Entry->d_type == DT_UNKNOWN)
                Folders.push_back(Joined(Folder, Name));
        }
        closedir(Listing);
    }
    return TAdded::Done;
}

void TLibraryWatch::Drop(int Watch) {
    const auto Found = watches_.find(Watch);
    if (Found == watches_.end() || !Found->second.Folders.empty() ||
        !Found->second.SearchFiles.empty() || Found->second.ListFolder)
        return;
    inotify_rm_watch(inotify_, Watch);
    watches_.erase(Found);
}

void TLibraryWatch::Adopt(std::size_t Index, const std::vector<int>& Added) {
    std::vector<int>& Watches = searches_[Index].Watches;
    Watches.insert(Watches.end(), Added.begin(), Added.end());
    std::sort(Watches.begin(), Watches.end());
    Watches.erase(std::unique(Watches.begin(), Watches.end()), Watches.end());
}

void TLibraryWatch::Release(std::size_t Index, const std::vector<int>& Keep) {
    TSearch& Search = searches_[Index];
    for (const int Watch : Search.Watches) {
        if (std::binary_search(Keep.begin(), Keep.end(), Watch))
            continue;
        const auto Found = watches_.find(Watch);
        if (Found == watches_.end())
            continue;
        std::erase(Found->second.Folders, Index);
        Drop(Watch);
    }
    Search.Watches = Keep;
}

void TLibraryWatch::NoteLimit(std::size_t Index) {
    TSearch& Search = searches_[Index];
    if (!limitSaid_) {
        limitSaid_ = true;
        const long Limit = SystemWatchLimit();
        hooks_.Say("the limit of folders watched for changes is reached (fs.inotify."
                   "max_user_watches = " +
                   (Limit > 0 ? std::to_string(Limit) : std::string("unknown")) +
                   (options_.WatchCap ? ", " + std::to_string(options_.WatchCap) + " here" : "") +
                   "); raise it with \"sysctl fs.inotify.max_user_watches=524288\" as root, and "
                   "keep it with a line \"fs.inotify.max_user_watches=524288\" in "
                   "/etc/sysctl.d/90-inotify.conf");
    }
    if (!Search.OverLimit)
        hooks_.Say(Search.File + ": too many folders to watch; refreshed every " +
                   Minutes(options_.Interval) + " instead");
    Search.OverLimit = true;
}

void TLibraryWatch::WatchSearch(std::size_t Index) {
    TSearch& Search = searches_[Index];
    Search.Rewatch = false;
    Search.Watching = false;
    if (!Search.Watched.Loaded || inotify_ < 0) {
        Release(Index, {});
        return;
    }
    std::vector<int> Added;
    for (const std::string& Root : Search.Watched.Folders) {
        if (std::find(Search.Missing.begin(), Search.Missing.end(), Root) != Search.Missing.end())
            continue;
        if (WatchBelow(Index, Root, Added) == TAdded::Limit) {
            // Half a watch would miss changes: the interval covers it all.
            Adopt(Index, Added);
            Release(Index, {});
            NoteLimit(Index);
            return;
        }
    }
    std::sort(Added.begin(), Added.end());
    Added.erase(std::unique(Added.begin(), Added.end()), Added.end());
    Release(Index, Added);
    Search.Watching = true;
    if (Search.OverLimit) {
        hooks_.Say(Search.File + ": every folder is watched again");
        Search.OverLimit = false;
    }
}

void TLibraryWatch::WatchSearchFile(std::size_t Index) {
    bool Limit = false;
    const int Watch = AddWatch(searches_[Index].FileFolder, Limit);
    if (Watch >= 0)
        AddOnce(watches_[Watch].SearchFiles, Index);
    else if (inotify_ >= 0)
        hooks_.Say(searches_[Index].File + ": edits of the search file are not noticed (" +
                   (Limit ? "the watch limit is reached" : std::strerror(errno)) + ")");
}

void TLibraryWatch::Load(std::size_t Index) {
    TSearch& Search = searches_[Index];
    Search.Watched = hooks_.Load(Search.File);
    if (!Search.Watched.Loaded) {
        if (Search.SaidError != Search.Watched.Error)
            hooks_.Say(Search.File + ": not watched: " + Search.Watched.Error);
        Search.SaidError = Search.Watched.Error;
        Search.Missing.clear();
        Release(Index, {});
        Search.Watching = false;
        return;
    }
    if (!Search.SaidError.empty())
        hooks_.Say(Search.File + ": read again; watched");
    Search.SaidError.clear();
    bool NoEvents = false;
    for (const std::string& Root : Search.Watched.Folders)
        NoEvents = NoEvents || (IsFolder(Root) && options_.GivesNoEvents(Root));
    if (NoEvents && !Search.NoEvents)
        hooks_.Say(Search.File +
                   ": a search folder is on a file system that may not report "
                   "changes; refreshed every " +
                   Minutes(options_.Interval) + " as well");
    Search.NoEvents = NoEvents;
    // Folders no longer in the search are no longer looked for.
    std::erase_if(Search.Missing, [&Search](const std::string& Root) {
        const auto& Folders = Search.Watched.Folders;
        return std::find(Folders.begin(), Folders.end(), Root) == Folders.end();
    });
}

void TLibraryWatch::Changed(std::size_t Index, TClock::time_point Now) {
    TSearch& Search = searches_[Index];
    Search.Pending = true;
    Search.DueAt = std::max(Now + options_.Settle, Search.LastRefresh + options_.MinGap);
}

bool TLibraryWatch::FolderThere(const std::string& Root) {
    struct stat Info;
    if (stat(Root.c_str(), &Info) != 0 || !S_ISDIR(Info.st_mode))
        return false;
    // A share unmounted from a search folder leaves the empty folder below it:
    // an empty folder on another device than before is the share gone.
    // So is an empty folder where a share is meant to be mounted but is not.
    const auto Known = devices_.find(Root);
    if (IsEmptyFolder(Root) &&
        ((Known != devices_.end() && Known->second != Info.st_dev) ||
         IsUnmountedMountPoint(Root, options_.FstabFile, options_.MountsFile)))
        return false;
    devices_[Root] = Info.st_dev;
    return true;
}

bool TLibraryWatch::CheckFolders(std::size_t Index, TClock::time_point Now) {
    TSearch& Search = searches_[Index];
    bool Back = false;
    for (const std::string& Root : Search.Watched.Folders) {
        const bool There = FolderThere(Root);
        const auto Listed = std::find(Search.Missing.begin(), Search.Missing.end(), Root);
        if (!There && Listed == Search.Missing.end()) {
            Search.Missing.push_back(Root);
            hooks_.Say(Search.File + ": the search folder " + Root +
                       " is gone; its playlist is left as it is, and the folder looked for every " +
                       Minutes(options_.MissingPoll));
        } else if (There && Listed != Search.Missing.end()) {
            Search.Missing.erase(Listed);
            hooks_.Say(Search.File + ": the search folder " + Root + " is back");
            Back = true;
        }
    }
    if (!Search.Missing.empty()) {
        Search.NextMissingCheck = Now + options_.MissingPoll;
        return false;
    }
    if (Back) {
        Search.Rewatch = true;
        Changed(Index, Now);
    }
    return true;
}

void TLibraryWatch::RefreshNow(std::size_t Index) {
    TSearch& Search = searches_[Index];
    Search.Pending = false;
    if (!Search.Watched.Loaded)
        return;
    const TClock::time_point Now = TClock::now();
    // A search whose folder is gone would write an empty playlist.
    if (!CheckFolders(Index, Now))
        return;
    // Over the limit, watching is tried again each time: it may have been raised.
    if (Search.Rewatch || !Search.Watching)
        WatchSearch(Index);
    hooks_.Refresh(Search.File, [this] { return StopRequested(); });
    Search.LastRefresh = TClock::now();
    Search.NextInterval = Search.LastRefresh + options_.Interval;
}

void TLibraryWatch::ReadEvents() {
    alignas(inotify_event) char Buffer[16384];
    const TClock::time_point Now = TClock::now();
    for (;;) {
        const ssize_t Length = read(inotify_, Buffer, sizeof Buffer);
        if (Length <= 0)
            return;
        for (ssize_t At = 0; At < Length;) {
            inotify_event Event;
            std::memcpy(&Event, Buffer + At, sizeof Event);
            const char* Name = Event.len ? Buffer + At + sizeof(inotify_event) : "";
            At += static_cast<ssize_t>(sizeof(inotify_event) + Event.len);
            if (Event.mask & IN_Q_OVERFLOW) {
                // Changes were lost: every search looks again.
                for (std::size_t Index = 0; Index < searches_.size(); ++Index) {
                    searches_[Index].Rewatch = true;
                    Changed(Index, Now);
                }
                continue;
            }
            const auto Found = watches_.find(Event.wd);
            if (Found == watches_.end())
                continue;
            if (Event.mask & IN_IGNORED) {
                // The folder went; what covered it is made anew at the next refresh.
                for (const std::size_t Index : Found->second.Folders) {
                    std::erase(searches_[Index].Watches, Event.wd);
                    searches_[Index].Rewatch = true;
                }
                watches_.erase(Found);
                continue;
            }
            if (Found->second.ListFolder && Event.len != 0 && listName_ == Name)
                listChanged_ = true;
            const std::string Folder = Found->second.Path;
            const std::vector<std::size_t> SearchFiles = Found->second.SearchFiles;
            const std::vector<std::size_t> Folders = Found->second.Folders;
            for (const std::size_t Index : SearchFiles) {
                if (Event.len == 0 || searches_[Index].FileName != Name)
                    continue;
                Load(Index);
                searches_[Index].Rewatch = true;
                Changed(Index, Now);
            }
            for (const std::size_t Index : Folders) {
                TSearch& Search = searches_[Index];
                if (Event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                    Search.Rewatch = true;
                    Changed(Index, Now);
                } else if (Event.mask & IN_ISDIR) {
                    if (!Search.Watched.Recurse)
                        continue;
                    Changed(Index, Now);
                    if (Event.mask & (IN_CREATE | IN_MOVED_TO)) {
                        // Watched at once, so files put into it now are seen.
                        std::vector<int> Added;
                        const TAdded Result = WatchBelow(Index, Joined(Folder, Name), Added);
                        Adopt(Index, Added);
                        if (Result == TAdded::Limit) {
                            Release(Index, {});
                            Search.Watching = false;
                            NoteLimit(Index);
                        }
                    } else {
                        Search.Rewatch = true;
                    }
                } else if (Event.len != 0 && (!Search.Watched.Selects ||
                                              Search.Watched.Selects(Joined(Folder, Name)))) {
                    Changed(Index, Now);
                }
            }
        }
    }
}

void TLibraryWatch::Work(TClock::time_point Now) {
    for (std::size_t Index = 0; Index < searches_.size() && !StopRequested(); ++Index) {
        TSearch& Search = searches_[Index];
        if (!Search.Watched.Loaded)
            continue;
        if (!Search.Missing.empty()) {
            if (Now >= Search.NextMissingCheck)
                CheckFolders(Index, Now);
            continue;
        }
        const bool ByInterval =
            (Search.OverLimit || Search.NoEvents || inotify_ < 0) && Now >= Search.NextInterval;
        if ((Search.Pending && Now >= Search.DueAt) || ByInterval)
            RefreshNow(Index);
    }
}

int TLibraryWatch::WaitMs(TClock::time_point Now) const {
    TClock::time_point Next = TClock::time_point::max();
    for (const TSearch& Search : searches_) {
        if (!Search.Watched.Loaded)
            continue;
        if (!Search.Missing.empty()) {
            Next = std::min(Next, Search.NextMissingCheck);
            continue;
        }
        if (Search.Pending)
            Next = std::min(Next, Search.DueAt);
        if (Search.OverLimit || Search.NoEvents || inotify_ < 0)
            Next = std::min(Next, Search.NextInterval);
    }
    if (Next == TClock::time_point::max())
        return -1;
    if (Next <= Now)
        return 0;
    const auto Ms = std::chrono::ceil<std::chrono::milliseconds>(Next - Now).count();
    return static_cast<int>(std::min<long long>(Ms, 24LL * 3600 * 1000));
}

void TLibraryWatch::Run() {
    const TClock::time_point Start = TClock::now();
    if (!hooks_.ListFile.empty() && hooks_.ListSearches) {
        std::string Folder;
        std::tie(Folder, listName_) = FolderAndName(hooks_.ListFile);
        bool Limit = false;
        const int Watch = AddWatch(Folder, Limit);
        if (Watch >= 0)
            watches_[Watch].ListFolder = true;
        else
            hooks_.Say("changes to the list of watched searches in " + hooks_.ListFile +
                       " are not followed (" +
                       (Limit ? std::string("the watch limit is reached")
                              : std::string(std::strerror(errno))) +
                       ")");
    }
    for (std::size_t Index = 0; Index < searches_.size(); ++Index)
        StartSearch(Index, Start);
    while (!StopRequested()) {
        Work(TClock::now());
        if (StopRequested())
            break;
        pollfd Waits[2] = {{wake_, POLLIN, 0}, {inotify_, POLLIN, 0}};
        const int Count = poll(Waits, inotify_ >= 0 ? 2 : 1, WaitMs(TClock::now()));
        if (Count < 0 && errno != EINTR)
            break;
        if (Count > 0 && (Waits[1].revents & POLLIN))
            ReadEvents();
        if (listChanged_)
            FollowList();
    }
}
