// Noticing changes to the folders of kept searches: inotify watches on every
// folder a search covers (its subfolders when it recurses) and on the folder
// of each search file; a settle time per search, so that a burst of changes
// gives one refresh; and the fallbacks when watching cannot cover a search
// (the watch limit, a file system that reports no changes, a search folder
// that is gone). What a refresh does is the caller's. Plain C++ (Linux).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

// What the watch needs to know of one search, as its file says.
struct TWatchedFolders {
    bool Loaded = false; // false: the file could not be read whole (Error says why)
    std::string Error;
    std::vector<std::string> Folders; // the checked search folders, raw path bytes
    bool Recurse = true;
    // Whether a change to the file at Path can change the playlist (its name
    // is one the search's filename masks take). Empty: every file counts.
    std::function<bool(const std::string& Path)> Selects;
};

struct TWatchOptions {
    using TDuration = std::chrono::milliseconds;
    // A refresh runs this long after the last change to a search's folders...
    TDuration Settle{2000};
    // ...and at most once per this time for any one search.
    TDuration MinGap{2000};
    // How often a search that cannot be watched whole is refreshed anyway.
    TDuration Interval{10 * 60 * 1000};
    // How often a search folder that is gone is looked for.
    TDuration MissingPoll{30 * 1000};
    // At most this many watches, as if the system's limit were this low; 0:
    // the system's own limit only.
    std::size_t WatchCap = 0;
    // Whether changes under a search folder may go unreported (network file
    // systems report only what this machine does). Empty: by the type of the
    // file system (NoEventsFileSystem).
    std::function<bool(const std::string& Folder)> GivesNoEvents;
    // Where file systems are meant to be mounted, and where they are: an
    // empty search folder that the one names and the other does not is a
    // share not mounted yet, not an empty library.
    std::string FstabFile = "/etc/fstab";
    std::string MountsFile = "/proc/self/mounts";
};

struct TWatchHooks {
    // Reads a search file.
    std::function<TWatchedFolders(const std::string& SearchFile)> Load;
    // Refreshes the search's playlist. Stop turns true once the watch is
    // asked to end: a refresh should then give up soon, writing nothing.
    std::function<void(const std::string& SearchFile, const std::function<bool()>& Stop)> Refresh;
    // One notice for the log, without a line end.
    std::function<void(const std::string& Line)> Say;
    // A file that lists the searches to watch (the settings store): after
    // each change to it, ListSearches gives the list anew, and a list that
    // differs from the one watched replaces it. Empty: the searches stay.
    std::string ListFile;
    std::function<std::vector<std::string>()> ListSearches;
};

// The name of the network or user-space file system that holds Folder
// ("nfs", "smb", "fuse", ...), whose changes made on other machines give no
// inotify events; empty for a local file system or when it cannot be told.
std::string NoEventsFileSystem(const std::string& Folder);

// Whether Folder is a mount point of FstabFile (fstab's layout, as
// /proc/self/mounts has too) that MountsFile does not list: where a share
// is meant to be but is not mounted.
bool IsUnmountedMountPoint(const std::string& Folder, const std::string& FstabFile,
                           const std::string& MountsFile);

// The system's fs.inotify.max_user_watches, 0 when it cannot be read.
long SystemWatchLimit();

class TLibraryWatch {
public:
    TLibraryWatch(std::vector<std::string> SearchFiles, TWatchHooks Hooks,
                  TWatchOptions Options = {});
    ~TLibraryWatch();
    TLibraryWatch(const TLibraryWatch&) = delete;
    TLibraryWatch& operator=(const TLibraryWatch&) = delete;

    // Refreshes every search whose folders are there, then keeps them
    // current until RequestStop. Returns after a stop only.
    void Run();
    // Safe from any thread and from a signal handler.
    void RequestStop();
    bool StopRequested() const { return stop_.load(std::memory_order_relaxed); }

    // Watches held now (each folder once, however many searches cover it).
    std::size_t WatchCount() const { return watches_.size(); }
    // The search files watched now.
    std::vector<std::string> SearchFiles() const;

private:
    using TClock = std::chrono::steady_clock;

    enum class TAdded { Done, Limit };

    struct TSearch {
        std::string File;
        std::string FileFolder; // watched for edits of File
        std::string FileName;   // File's last component
        TWatchedFolders Watched;
        std::string SaidError; // the load failure last said
        bool Pending = false;  // a change waits for its refresh
        TClock::time_point DueAt{};
        TClock::time_point LastRefresh{};
        bool Rewatch = false;   // folders came or went: watches are made anew first
        bool Watching = false;  // its folders are watched whole
        bool OverLimit = false; // the watch limit stopped its watches
        bool NoEvents = false;  // a folder on a file system without (every) event
        TClock::time_point NextInterval{};
        std::vector<std::string> Missing; // search folders that are gone
        TClock::time_point NextMissingCheck{};
        std::vector<int> Watches; // of its folders, sorted
    };

    struct TWatch {
        std::string Path;
        std::vector<std::size_t> Folders;     // searches whose folders include it
        std::vector<std::size_t> SearchFiles; // searches whose file lies in it
        bool ListFolder = false;              // holds the list of searches
    };

    void AddSearch(std::string File);
    // The searches of the list file, when they differ from those watched.
    void FollowList();
    void StartSearch(std::size_t Index, TClock::time_point Now);
    void Load(std::size_t Index);
    void WatchSearch(std::size_t Index);
    TAdded WatchBelow(std::size_t Index, const std::string& Root, std::vector<int>& Added);
    int AddWatch(const std::string& Path, bool& Limit);
    // Added joins the search's watches.
    void Adopt(std::size_t Index, const std::vector<int>& Added);
    // The search keeps only the watches in Keep (sorted); a watch no search
    // needs any longer is removed.
    void Release(std::size_t Index, const std::vector<int>& Keep);
    void Drop(int Watch);
    void WatchSearchFile(std::size_t Index);
    void NoteLimit(std::size_t Index);
    void Changed(std::size_t Index, TClock::time_point Now);
    bool FolderThere(const std::string& Root);
    // Notes search folders gone and back; false while one is gone.
    bool CheckFolders(std::size_t Index, TClock::time_point Now);
    void RefreshNow(std::size_t Index);
    void ReadEvents();
    void Work(TClock::time_point Now);
    int WaitMs(TClock::time_point Now) const;

    TWatchHooks hooks_;
    TWatchOptions options_;
    std::vector<TSearch> searches_;
    std::unordered_map<int, TWatch> watches_;
    std::unordered_map<std::string, dev_t> devices_; // of each search folder when last there
    int inotify_ = -1;
    int wake_ = -1;
    bool limitSaid_ = false;
    std::string listName_;     // the list file's last component
    bool listChanged_ = false; // an event named it: read after the batch
    std::atomic<bool> stop_{false};
};
