// The library watch with real inotify on scratch folders: which changes lead
// to a refresh of which search, the settle time, and each fallback.
#include "watch/LibraryWatch.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A watch running on its own thread over searches the test describes.
class TWatchRun {
public:
    TWatchOptions Options;

    TWatchRun() {
        Options.Settle = 150ms;
        Options.MinGap = 150ms;
        Options.Interval = 1h;
        Options.MissingPoll = 150ms;
        Options.GivesNoEvents = [](const std::string&) { return false; };
    }
    ~TWatchRun() { Stop(); }

    // What Load gives for a search file, while the file itself is there.
    void Describe(const std::string& SearchFile, std::vector<std::string> Folders,
                  bool Recurse = true, std::string OnlyExtension = ".mp3") {
        std::lock_guard Lock(mutex_);
        TWatchedFolders& Watched = searches_[SearchFile];
        Watched.Loaded = true;
        Watched.Folders = std::move(Folders);
        Watched.Recurse = Recurse;
        Watched.Selects = [OnlyExtension](const std::string& Path) {
            return Path.ends_with(OnlyExtension);
        };
    }

    // WaitFirst: returns once each search had its first refresh.
    void Start(bool WaitFirst = true) {
        std::vector<std::string> Files = Only;
        if (Files.empty())
            for (const auto& [File, Watched] : searches_)
                Files.push_back(File);
        TWatchHooks Hooks;
        if (!ListFile.empty()) {
            Hooks.ListFile = ListFile;
            Hooks.ListSearches = [this] {
                std::lock_guard Lock(mutex_);
                return list_;
            };
        }
        Hooks.Load = [this](const std::string& File) {
            std::lock_guard Lock(mutex_);
            ++loads_[File];
            TWatchedFolders Watched = searches_[File];
            if (!fs::exists(File)) {
                Watched.Loaded = false;
                Watched.Error = "cannot read search";
            }
            return Watched;
        };
        Hooks.Refresh = [this](const std::string& File, const std::function<bool()>& Stop) {
            std::this_thread::sleep_for(RefreshTime);
            std::lock_guard Lock(mutex_);
            ++refreshes_[File];
            if (Stop())
                ++stoppedRefreshes_;
        };
        Hooks.Say = [this](const std::string& Line) {
            std::lock_guard Lock(mutex_);
            said_.push_back(Line);
        };
        watch_ = std::make_unique<TLibraryWatch>(Files, Hooks, Options);
        thread_ = std::thread([this] { watch_->Run(); });
        // The first refresh of each search also means its folders are watched.
        if (!WaitFirst)
            return;
        for (const std::string& File : Files)
            ASSERT_TRUE(WaitFor([&] { return Refreshes(File) >= 1; }));
    }

    void Stop() {
        if (!thread_.joinable())
            return;
        watch_->RequestStop();
        thread_.join();
    }

    int Refreshes(const std::string& File) {
        std::lock_guard Lock(mutex_);
        return refreshes_[File];
    }
    int Loads(const std::string& File) {
        std::lock_guard Lock(mutex_);
        return loads_[File];
    }
    int StoppedRefreshes() {
        std::lock_guard Lock(mutex_);
        return stoppedRefreshes_;
    }
    std::vector<std::string> Said() {
        std::lock_guard Lock(mutex_);
        return said_;
    }
    int SaidWith(const std::string& Part) {
        int Count = 0;
        for (const std::string& Line : Said())
            Count += Line.find(Part) != std::string::npos;
        return Count;
    }
    std::size_t WatchCount() const { return watch_->WatchCount(); }

    static bool WaitFor(const std::function<bool()>& Done, std::chrono::milliseconds Limit = 4s) {
        const auto End = std::chrono::steady_clock::now() + Limit;
        while (std::chrono::steady_clock::now() < End) {
            if (Done())
                return true;
            std::this_thread::sleep_for(10ms);
        }
        return Done();
    }

    // What ListSearches gives.
    void SetList(std::vector<std::string> Files) {
        std::lock_guard Lock(mutex_);
        list_ = std::move(Files);
    }

    std::chrono::milliseconds RefreshTime{0};
    std::vector<std::string> Only; // the searches to start with; empty: every one described
    std::string ListFile;

private:
    std::mutex mutex_;
    std::map<std::string, TWatchedFolders> searches_;
    std::map<std::string, int> refreshes_;
    std::map<std::string, int> loads_;
    int stoppedRefreshes_ = 0;
    std::vector<std::string> said_;
    std::vector<std::string> list_;
    std::unique_ptr<TLibraryWatch> watch_;
    std::thread thread_;
};

// Two searches on folders of one scratch library: "a" covers a/ (and its
// subfolders), "b" covers b/; the search files lie in work/.
struct TLibrary {
    TempDir Root;
    std::string A = Root.str() + "/a";
    std::string B = Root.str() + "/b";
    std::string Outside = Root.str() + "/outside";
    std::string SearchA = Root.write("work/a.morvane", "a");
    std::string SearchB = Root.write("work/b.morvane", "b");

    TLibrary() {
        Root.write("a/one.mp3", "1");
        Root.write("a/deep/two.mp3", "2");
        Root.write("a/deep/er/three.mp3", "3");
        Root.write("b/four.mp3", "4");
        fs::create_directories(Outside);
    }
};

// Waits long enough for any refresh a change would give to have run.
void Settled() {
    std::this_thread::sleep_for(600ms);
}

} // namespace

TEST(LibraryWatch, EachKindOfChangeRefreshesOnlyTheSearchItConcerns) {
    struct TCase {
        const char* What;
        std::function<void(TLibrary&)> Change;
        bool RefreshesA;
    };
    const TCase Cases[] = {
        {"a file added", [](TLibrary& L) { L.Root.write("a/new.mp3", "n"); }, true},
        {"a file retagged", [](TLibrary& L) { L.Root.write("a/deep/two.mp3", "2b"); }, true},
        {"a file two folders down retagged",
         [](TLibrary& L) { L.Root.write("a/deep/er/three.mp3", "3b"); }, true},
        {"a file removed", [](TLibrary& L) { fs::remove(L.A + "/one.mp3"); }, true},
        {"a file renamed", [](TLibrary& L) { fs::rename(L.A + "/one.mp3", L.A + "/uno.mp3"); },
         true},
        {"a file moved in",
         [](TLibrary& L) {
             L.Root.write("outside/in.mp3", "i");
             fs::rename(L.Outside + "/in.mp3", L.A + "/in.mp3");
         },
         true},
        {"a file moved out",
         [](TLibrary& L) { fs::rename(L.A + "/one.mp3", L.Outside + "/o.mp3"); }, true},
        {"a folder moved out", [](TLibrary& L) { fs::rename(L.A + "/deep", L.Outside + "/deep"); },
         true},
        {"an empty folder made", [](TLibrary& L) { fs::create_directory(L.A + "/empty"); }, true},
        {"a file no mask takes", [](TLibrary& L) { L.Root.write("a/cover.jpg", "j"); }, false},
        {"a file outside every search", [](TLibrary& L) { L.Root.write("outside/x.mp3", "x"); },
         false},
        {"a file of the other search", [](TLibrary& L) { L.Root.write("b/five.mp3", "5"); }, false},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        TLibrary Library;
        TWatchRun Run;
        Run.Describe(Library.SearchA, {Library.A});
        Run.Describe(Library.SearchB, {Library.B});
        Run.Start();
        Case.Change(Library);
        if (Case.RefreshesA) {
            EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
        }
        Settled();
        EXPECT_EQ(Run.Refreshes(Library.SearchA), Case.RefreshesA ? 2 : 1);
        const bool OtherSearch = std::string(Case.What) == "a file of the other search";
        EXPECT_EQ(Run.Refreshes(Library.SearchB), OtherSearch ? 2 : 1);
    }
}

TEST(LibraryWatch, AFolderAddedWithFilesIsWatchedAtOnce) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    // Made elsewhere, files and all, then moved in: no event names its files.
    Library.Root.write("outside/album/x/t1.mp3", "1");
    fs::rename(Library.Outside + "/album", Library.A + "/album");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    // A change deep inside the folder that came is seen too.
    Library.Root.write("a/album/x/t2.mp3", "2");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 3; }));
    // The folder moved out no longer counts once the search has looked again.
    fs::rename(Library.A + "/album", Library.Outside + "/gone");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 4; }));
    Library.Root.write("outside/gone/x/t3.mp3", "3");
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 4);
}

TEST(LibraryWatch, ASearchThatDoesNotRecurseIgnoresItsSubfolders) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A}, false);
    Run.Start();
    EXPECT_EQ(Run.WatchCount(), 2u); // a/ and the search file's folder
    Library.Root.write("a/deep/two.mp3", "changed");
    fs::create_directory(Library.A + "/new");
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 1);
    Library.Root.write("a/top.mp3", "t");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
}

TEST(LibraryWatch, ABurstOfChangesGivesOneRefreshAfterItSettles) {
    TLibrary Library;
    TWatchRun Run;
    Run.Options.Settle = 300ms;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    // Changes 50 ms apart keep putting the refresh off.
    for (int Step = 0; Step < 12; ++Step) {
        Library.Root.write("a/burst" + std::to_string(Step % 3) + ".mp3", std::to_string(Step));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(Run.Refreshes(Library.SearchA), 1) << "step " << Step;
    }
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 2);
}

TEST(LibraryWatch, RefreshesOfOneSearchKeepTheirGapHoweverShortTheSettle) {
    TLibrary Library;
    TWatchRun Run;
    Run.Options.Settle = 10ms;
    Run.Options.MinGap = 400ms;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    const auto Start = std::chrono::steady_clock::now();
    // Changes for a second, each as soon as the last refresh ran.
    while (std::chrono::steady_clock::now() - Start < 1s) {
        Library.Root.write("a/often.mp3", "x");
        std::this_thread::sleep_for(20ms);
    }
    Settled();
    // The first refresh at start, then at most one per 400 ms over about 1.6 s.
    EXPECT_GE(Run.Refreshes(Library.SearchA), 2);
    EXPECT_LE(Run.Refreshes(Library.SearchA), 5);
}

TEST(LibraryWatch, AnEditedSearchFileIsReadAgainAndItsNewFoldersWatched) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    EXPECT_EQ(Run.Loads(Library.SearchA), 1);
    // The search now covers b/ instead of a/; editors replace the file by a rename.
    Run.Describe(Library.SearchA, {Library.B});
    Library.Root.write("work/.a.morvane.new", "edited");
    fs::rename(Library.Root.str() + "/work/.a.morvane.new", Library.SearchA);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    EXPECT_EQ(Run.Loads(Library.SearchA), 2);
    Library.Root.write("a/one.mp3", "no longer the search's");
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 2);
    Library.Root.write("b/four.mp3", "the search's now");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 3; }));
    // Another file beside it changes nothing.
    Library.Root.write("work/other.txt", "x");
    Settled();
    EXPECT_EQ(Run.Loads(Library.SearchA), 2);
}

TEST(LibraryWatch, ASearchFileThatGoesStopsItsRefreshesUntilItComesBack) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    fs::remove(Library.SearchA);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.SaidWith("not watched") == 1; }));
    Library.Root.write("a/one.mp3", "changed");
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 1);
    Library.Root.write("work/a.morvane", "back");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    EXPECT_EQ(Run.SaidWith("read again"), 1);
}

TEST(LibraryWatch, OverTheWatchLimitASearchIsRefreshedByTheIntervalAndTheLimitSaidOnce) {
    TLibrary Library;
    Library.Root.write("b/more/five.mp3", "5");
    TWatchRun Run;
    // The two search files' folder and one more: neither search fits whole.
    Run.Options.WatchCap = 2;
    Run.Options.Interval = 300ms;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Describe(Library.SearchB, {Library.B});
    Run.Start();
    EXPECT_EQ(Run.SaidWith("max_user_watches"), 1);
    EXPECT_EQ(Run.SaidWith("sysctl fs.inotify.max_user_watches="), 1);
    EXPECT_EQ(Run.SaidWith("too many folders to watch; refreshed every 300 milliseconds"), 2);
    EXPECT_EQ(Run.SaidWith(": too many folders to watch"), 2);
    // Half-watched searches give their watches back.
    EXPECT_EQ(Run.WatchCount(), 1u);
    // No change, yet each is refreshed at every interval.
    EXPECT_TRUE(TWatchRun::WaitFor([&] {
        return Run.Refreshes(Library.SearchA) >= 3 && Run.Refreshes(Library.SearchB) >= 3;
    }));
    EXPECT_EQ(Run.SaidWith("max_user_watches"), 1);
    EXPECT_EQ(Run.SaidWith(": too many folders to watch"), 2);
}

TEST(LibraryWatch, ASearchThatFitsUnderTheLimitIsStillWatched) {
    TLibrary Library;
    TWatchRun Run;
    Run.Options.WatchCap = 3; // work/ and b/ fit; a/ with its two subfolders does not
    Run.Describe(Library.SearchA, {Library.A});
    Run.Describe(Library.SearchB, {Library.B});
    Run.Start();
    EXPECT_EQ(Run.SaidWith(": too many folders to watch"), 1);
    EXPECT_EQ(Run.SaidWith(Library.SearchA + ": too many folders"), 1);
    Library.Root.write("b/four.mp3", "retagged");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchB) == 2; }));
}

TEST(LibraryWatch, AVanishedSearchFolderLeavesThePlaylistAloneUntilItReturns) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Start();
    fs::rename(Library.A, Library.Outside + "/unmounted");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.SaidWith(" is gone") == 1; }));
    // Polled while gone (every 150 ms here), said once, never refreshed.
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 1);
    EXPECT_EQ(Run.SaidWith(" is gone"), 1);
    EXPECT_EQ(Run.SaidWith("looked for every 150 milliseconds"), 1);
    fs::rename(Library.Outside + "/unmounted", Library.A);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    EXPECT_EQ(Run.SaidWith(" is back"), 1);
    // Watched again after its return.
    Library.Root.write("a/deep/two.mp3", "retagged");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 3; }));
}

TEST(LibraryWatch, AShareUnmountedFromASearchFolderIsGoneUntilMountedAgain) {
    TLibrary Library;
    const std::string Share = Library.Root.str() + "/share";
    fs::create_directories(Share);
    if (mount("morvane-test", Share.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    struct TUnmount {
        std::string Path;
        ~TUnmount() { umount2(Path.c_str(), MNT_DETACH); }
    } Unmount{Share};
    Library.Root.write("share/x.mp3", "x");
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Share});
    Run.Start();
    // The empty folder left below the share is not the share.
    ASSERT_EQ(umount(Share.c_str()), 0) << std::strerror(errno);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.SaidWith(Share + " is gone") == 1; }));
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 1);
    ASSERT_EQ(mount("morvane-test", Share.c_str(), "tmpfs", 0, "size=1m"), 0);
    Library.Root.write("share/y.mp3", "y");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 2; }));
    EXPECT_EQ(Run.SaidWith(Share + " is back"), 1);
    // Watched again on the new mount.
    Library.Root.write("share/z.mp3", "z");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 3; }));
}

TEST(LibraryWatch, AMountPointThatFstabNamesButIsNotMountedIsTold) {
    TempDir Dir;
    const std::string Fstab = Dir.write("fstab", "# <file system> <mount point> <type>\n"
                                                 "UUID=1 / ext4 defaults 0 1\n"
                                                 "//nas/music /srv/music cifs credentials=/x 0 0\n"
                                                 "nas:/share /mnt/my\\040songs/ nfs defaults 0 0\n"
                                                 "   \n"
                                                 "#nas:/old /srv/old nfs defaults 0 0\n"
                                                 "nas:/b /srv/both nfs defaults 0 0\n");
    const std::string Mounts =
        Dir.write("mounts", "/dev/sda1 / ext4 rw 0 0\nnas:/b /srv/both nfs rw 0 0\n");
    const struct {
        const char* Folder;
        bool Unmounted;
    } Rows[] = {
        {"/srv/music", true}, {"/srv/music/", true},     {"/mnt/my songs", true},
        {"/srv/both", false}, {"/srv/old", false},       {"/", false},
        {"/srv", false},      {"/srv/music/sub", false},
    };
    for (const auto& Row : Rows)
        EXPECT_EQ(IsUnmountedMountPoint(Row.Folder, Fstab, Mounts), Row.Unmounted) << Row.Folder;
    EXPECT_FALSE(IsUnmountedMountPoint("/srv/music", Dir.str() + "/none", Mounts));
    EXPECT_TRUE(IsUnmountedMountPoint("/srv/music", Fstab, Dir.str() + "/none"));
}

TEST(LibraryWatch, AnEmptySearchFolderWhereAShareIsMeantToBeMountedWaitsForIt) {
    TLibrary Library;
    const std::string Share = Library.Root.str() + "/share";
    fs::create_directories(Share);
    TWatchRun Run;
    Run.Options.FstabFile =
        Library.Root.write("fstab", "nas:/music " + Share + " nfs defaults 0 0\n");
    Run.Options.MountsFile = Library.Root.write("mounts", "/dev/sda1 / ext4 rw 0 0\n");
    Run.Describe(Library.SearchA, {Share});
    Run.Start(false);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.SaidWith(Share + " is gone") == 1; }));
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 0);
    // Files there: the share is mounted (or the folder used as it is).
    Library.Root.write("share/x.mp3", "x");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 1; }));
    EXPECT_EQ(Run.SaidWith(Share + " is back"), 1);
}

TEST(LibraryWatch, ASearchFolderMissingAtStartIsWaitedFor) {
    TLibrary Library;
    TWatchRun Run;
    const std::string Later = Library.Root.str() + "/later";
    Run.Describe(Library.SearchA, {Library.A, Later});
    Run.Start(false);
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.SaidWith(Later + " is gone") == 1; }));
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 0);
    Library.Root.write("later/x.mp3", "x");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 1; }));
}

TEST(LibraryWatch, AFileSystemWithoutEventsIsRefreshedByTheIntervalAsWell) {
    TLibrary Library;
    TWatchRun Run;
    Run.Options.Interval = 250ms;
    Run.Options.GivesNoEvents = [&Library](const std::string& Folder) {
        return Folder == Library.B;
    };
    Run.Describe(Library.SearchA, {Library.A});
    Run.Describe(Library.SearchB, {Library.B});
    Run.Start();
    EXPECT_EQ(Run.SaidWith(Library.SearchB + ": a search folder is on a file system"), 1);
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchB) >= 4; }));
    EXPECT_EQ(Run.Refreshes(Library.SearchA), 1);
    // What this machine changes there is still seen at once.
    const int Before = Run.Refreshes(Library.SearchA);
    Library.Root.write("a/one.mp3", "x");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == Before + 1; }));
}

TEST(LibraryWatch, AStopEndsTheRunSoonEvenDuringARefresh) {
    TLibrary Library;
    TWatchRun Run;
    Run.Options.Settle = 0ms;
    Run.RefreshTime = 300ms;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Describe(Library.SearchB, {Library.B});
    Run.Start();
    Library.Root.write("a/one.mp3", "x");
    Library.Root.write("b/four.mp3", "x");
    std::this_thread::sleep_for(100ms); // inside a's refresh
    const auto Asked = std::chrono::steady_clock::now();
    Run.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - Asked, 1s);
    // The refresh under way saw the stop; b's never started.
    EXPECT_EQ(Run.StoppedRefreshes(), 1);
    EXPECT_EQ(Run.Refreshes(Library.SearchA) + Run.Refreshes(Library.SearchB), 3);
}

TEST(LibraryWatch, TheListOfSearchesIsFollowedAsItChanges) {
    TLibrary Library;
    TWatchRun Run;
    Run.Describe(Library.SearchA, {Library.A});
    Run.Describe(Library.SearchB, {Library.B});
    Run.ListFile = Library.Root.write("work/2.ini", "a");
    Run.SetList({Library.SearchA});
    Run.Only = {Library.SearchA};
    Run.Start();
    EXPECT_EQ(Run.Refreshes(Library.SearchB), 0);
    // A stays (found again), B joins, once however often it is listed.
    Run.SetList({Library.SearchB, Library.SearchA, Library.SearchB});
    Library.Root.write("work/2.ini", "a b b");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchB) == 1; }));
    EXPECT_EQ(Run.SaidWith("the list of watched searches changed: 2 searches now"), 1);
    Library.Root.write("a/one.mp3", "x");
    EXPECT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchA) == 3; }));
    // A leaves: its folders are let go.
    Run.SetList({Library.SearchB});
    Library.Root.write("work/2.ini", "b");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchB) == 2; }));
    Settled();
    const int RefreshesOfA = Run.Refreshes(Library.SearchA);
    Library.Root.write("a/one.mp3", "y");
    Library.Root.write("b/four.mp3", "y");
    ASSERT_TRUE(TWatchRun::WaitFor([&] { return Run.Refreshes(Library.SearchB) == 3; }));
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchA), RefreshesOfA);
    EXPECT_EQ(Run.WatchCount(), 2u); // work/ and b/
    // The same list written again, or another file beside it: nothing starts anew.
    Library.Root.write("work/2.ini", "b again");
    Library.Root.write("work/other.ini", "x");
    Settled();
    EXPECT_EQ(Run.Refreshes(Library.SearchB), 3);
    EXPECT_EQ(Run.SaidWith("the list of watched searches changed"), 2);
}

TEST(LibraryWatch, TheNetworkFileSystemsAreToldFromLocalOnes) {
    TempDir Local;
    EXPECT_EQ(NoEventsFileSystem(Local.str()), "");
    EXPECT_EQ(NoEventsFileSystem("/proc"), "");
    EXPECT_EQ(NoEventsFileSystem(Local.str() + "/no/such/folder"), "");
    EXPECT_GT(SystemWatchLimit(), 0);
}
