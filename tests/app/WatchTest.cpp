// Playlists kept current by the watch: real search files, real tagged files
// in scratch folders, real inotify; each change reaches the playlist, and
// what changes nothing leaves it alone.
#include "app/CommandLine.h"
#include "app/HeadlessWatch.h"

#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using enum CheckState;
using enum CriterionState;

namespace {

std::string Tagged(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

// A library whose search keeps the files titled "keep...", kept in
// work/keep.morvane with its playlist work/keep.m3u.
struct TWatchedLibrary {
    TempDir Dir;
    std::string Music = Dir.str() + "/music";
    std::string Search = Dir.str() + "/work/keep.morvane";
    std::string Playlist = Dir.str() + "/work/keep.m3u";

    TWatchedLibrary() {
        Dir.write("music/a.mp3", Tagged("keep a"));
        Dir.write("music/sub/b.mp3", Tagged("keep b"));
        Dir.write("music/c.mp3", Tagged("drop c"));
        Dir.write("outside/x.mp3", Tagged("keep x"));
        Save(Settings());
    }
    WizardSettings Settings() const {
        WizardSettings settings;
        settings.Folders = {{Music, Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"keep*", Include}};
        settings.PlaylistPath = "keep.m3u";
        return settings;
    }
    void Save(const WizardSettings& Settings) const {
        fs::create_directories(Dir.str() + "/work");
        // As an editor does: a new file renamed over the old.
        SaveSearchFile(Search + ".new", Settings);
        fs::rename(Search + ".new", Search);
    }
    // The playlist's entries, relative to the library's folder.
    std::vector<std::string> Entries() const {
        std::vector<std::string> entries;
        const std::string text = TempDir::read(Playlist);
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line[0] != '#')
                entries.push_back(line.substr(Dir.str().size() + 1));
            start = end + 2;
        }
        return entries;
    }
};

// The service on its own thread, its log kept.
class TServiceRun {
public:
    explicit TServiceRun(const std::string& Search, const std::string& ListFile = {}) {
        TWatchServiceOptions options;
        if (!Search.empty())
            options.Searches = {Search};
        options.ListFile = ListFile;
        options.Timing.Settle = 150ms;
        options.Timing.MinGap = 150ms;
        options.Timing.GivesNoEvents = [](const std::string&) { return false; };
        service_ = std::make_unique<TWatchService>(options, [this](std::string_view Text) {
            std::lock_guard lock(mutex_);
            log_.emplace_back(Text);
        });
        thread_ = std::thread([this] { service_->Run(); });
    }
    ~TServiceRun() {
        service_->Stop();
        thread_.join();
    }
    std::vector<std::string> Log() {
        std::lock_guard lock(mutex_);
        return log_;
    }
    std::size_t Lines() { return Log().size(); }

private:
    std::mutex mutex_;
    std::vector<std::string> log_;
    std::unique_ptr<TWatchService> service_;
    std::thread thread_;
};

bool WaitFor(const std::function<bool()>& Done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (std::chrono::steady_clock::now() < end) {
        if (Done())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return Done();
}

using TEntries = std::vector<std::string>;

} // namespace

TEST(Watch, EachChangeToTheLibraryOrTheSearchReachesThePlaylist) {
    struct TCase {
        const char* What;
        std::function<void(TWatchedLibrary&)> Change;
        TEntries After;
    };
    const TCase Cases[] = {
        {"a file added",
         [](TWatchedLibrary& L) { L.Dir.write("music/d.mp3", Tagged("keep d")); },
         {"music/a.mp3", "music/d.mp3", "music/sub/b.mp3"}},
        {"a file retagged into the search",
         [](TWatchedLibrary& L) { L.Dir.write("music/c.mp3", Tagged("keep c")); },
         {"music/a.mp3", "music/c.mp3", "music/sub/b.mp3"}},
        {"a file retagged out of it",
         [](TWatchedLibrary& L) { L.Dir.write("music/sub/b.mp3", Tagged("drop b")); },
         {"music/a.mp3"}},
        {"a file removed",
         [](TWatchedLibrary& L) { fs::remove(L.Music + "/a.mp3"); },
         {"music/sub/b.mp3"}},
        {"a folder added with files",
         [](TWatchedLibrary& L) {
             L.Dir.write("outside/album/e.mp3", Tagged("keep e"));
             fs::rename(L.Dir.str() + "/outside/album", L.Music + "/album");
         },
         {"music/a.mp3", "music/album/e.mp3", "music/sub/b.mp3"}},
        {"a folder moved out",
         [](TWatchedLibrary& L) { fs::rename(L.Music + "/sub", L.Dir.str() + "/outside/sub"); },
         {"music/a.mp3"}},
        {"the search file edited",
         [](TWatchedLibrary& L) {
             WizardSettings settings = L.Settings();
             settings.Criteria[FieldTitle] = {{"drop*", Include}};
             L.Save(settings);
         },
         {"music/c.mp3"}},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.What);
        TWatchedLibrary library;
        TServiceRun run(library.Search);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(library.Playlist); }));
        EXPECT_EQ(library.Entries(), (TEntries{"music/a.mp3", "music/sub/b.mp3"}));
        Case.Change(library);
        EXPECT_TRUE(WaitFor([&] { return library.Entries() == Case.After; }));
        EXPECT_EQ(library.Entries(), Case.After);
    }
}

TEST(Watch, AChangeNoMaskTakesLeavesThePlaylistAloneAndEachRefreshSaysOneLine) {
    TWatchedLibrary library;
    TServiceRun run(library.Search);
    ASSERT_TRUE(WaitFor([&] { return run.Lines() == 1; }));
    const std::vector<std::string> first = run.Log();
    // Time, search, files found, what was written.
    EXPECT_TRUE(first[0].size() > 20 && first[0][4] == '-' && first[0][13] == ':') << first[0];
    EXPECT_NE(
        first[0].find(library.Search + ": 2 files found; 2 entries written to " + library.Playlist),
        std::string::npos)
        << first[0];
    EXPECT_EQ(first[0].back(), '\n');
    struct stat before;
    ASSERT_EQ(stat(library.Playlist.c_str(), &before), 0);

    // Neither a file the masks do not take nor one outside the search folders.
    library.Dir.write("music/cover.jpg", "jpeg");
    library.Dir.write("outside/y.mp3", Tagged("keep y"));
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(run.Lines(), 1u);

    // A file the masks take but the criteria do not: refreshed, not rewritten.
    library.Dir.write("music/f.mp3", Tagged("drop f"));
    ASSERT_TRUE(WaitFor([&] { return run.Lines() == 2; }));
    EXPECT_NE(
        run.Log()[1].find(library.Search + ": 2 files found; " + library.Playlist + " unchanged"),
        std::string::npos)
        << run.Log()[1];
    struct stat after;
    ASSERT_EQ(stat(library.Playlist.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
}

TEST(Watch, AVanishedSearchFolderLeavesThePlaylistUntouched) {
    TWatchedLibrary library;
    TServiceRun run(library.Search);
    ASSERT_TRUE(WaitFor([&] { return fs::exists(library.Playlist); }));
    const std::string kept = TempDir::read(library.Playlist);
    fs::rename(library.Music, library.Dir.str() + "/unmounted");
    ASSERT_TRUE(WaitFor([&] {
        for (const std::string& line : run.Log())
            if (line.find("is gone") != std::string::npos)
                return true;
        return false;
    }));
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(TempDir::read(library.Playlist), kept);
}

TEST(Watch, ASearchMarkedInTheSettingsStoreWhileTheWatchRunsIsWatchedAtOnce) {
    TWatchedLibrary library;
    const std::string store = library.Dir.str() + "/2.ini";
    {
        SettingsStore settings(store);
        SaveRecentSearches(settings, {library.Search});
        settings.Flush();
    }
    TServiceRun run("", store);
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(fs::exists(library.Playlist));
    {
        // As the window saves its settings.
        SettingsStore settings(store);
        SaveWatchedSearches(settings, {library.Search});
        settings.Flush();
    }
    ASSERT_TRUE(WaitFor([&] { return fs::exists(library.Playlist); }));
    EXPECT_EQ(library.Entries(), (TEntries{"music/a.mp3", "music/sub/b.mp3"}));
    library.Dir.write("music/d.mp3", Tagged("keep d"));
    EXPECT_TRUE(WaitFor([&] {
        return library.Entries() == TEntries{"music/a.mp3", "music/d.mp3", "music/sub/b.mp3"};
    }));
}

TEST(Watch, TheSearchesLoadedForTheWatchAreItsCheckedFoldersAndMasks) {
    TWatchedLibrary library;
    WizardSettings settings = library.Settings();
    settings.Folders.push_back({library.Dir.str() + "/unchecked", Unchecked});
    settings.Filenames = {{"*.mp3", Checked}, {"*.flac", Checked}, {"*.ogg", Unchecked}};
    settings.Recurse = false;
    library.Save(settings);
    const TWatchedFolders watched = LoadWatchedFolders(library.Search);
    ASSERT_TRUE(watched.Loaded);
    EXPECT_EQ(watched.Folders, std::vector<std::string>{library.Music});
    EXPECT_FALSE(watched.Recurse);
    ASSERT_TRUE(watched.Selects);
    const struct {
        const char* Path;
        bool Selected;
    } Rows[] = {{"/m/a.mp3", true},  {"/m/b.FLAC", true}, {"/m/c.ogg", false},
                {"/m/d.jpg", false}, {"/m/.e.mp3", true}, {"/m/f.m3u", false}};
    for (const auto& Row : Rows)
        EXPECT_EQ(watched.Selects(Row.Path), Row.Selected) << Row.Path;

    // A malformed mask: every file counts, and the refresh names the mask.
    settings.Filenames = {{"*.[mp3", Checked}};
    library.Save(settings);
    const TWatchedFolders malformed = LoadWatchedFolders(library.Search);
    EXPECT_TRUE(malformed.Loaded);
    EXPECT_FALSE(malformed.Selects);
    const TWatchedFolders missing = LoadWatchedFolders(library.Dir.str() + "/none.morvane");
    EXPECT_FALSE(missing.Loaded);
    EXPECT_NE(missing.Error.find("cannot read search"), std::string::npos);
}

TEST(Watch, TheCommandLineTakesWatchWithAnyNumberOfSearchesAndAnInterval) {
    using A = TCommandLine::TAction;
    const struct {
        std::vector<std::string> Arguments;
        bool Ok;
        std::size_t Searches;
        int Interval;
        bool Quiet;
    } Rows[] = {
        {{"--watch"}, true, 0, 10, false},
        {{"--watch", "a.morvane", "b.morvane"}, true, 2, 10, false},
        {{"--watch", "--interval", "3", "--quiet", "a.morvane"}, true, 1, 3, true},
        {{"--watch", "--interval=1440", "--no-index", "--settings", "s.ini"}, true, 0, 1440, false},
        {{"--watch", "--interval", "0"}, false, 0, 0, false},
        {{"--watch", "--interval", "1441"}, false, 0, 0, false},
        {{"--watch", "--interval", "ten"}, false, 0, 0, false},
        {{"--watch", "--interval", ""}, false, 0, 0, false},
        {{"--interval", "5"}, false, 0, 0, false},
        {{"--refresh", "a.morvane", "--interval", "5"}, false, 0, 0, false},
        {{"--watch", "--refresh", "a.morvane"}, false, 0, 0, false},
        {{"--watch", "--compile", "x.m3u"}, false, 0, 0, false},
        {{"--watch", "--watch"}, false, 0, 0, false},
        {{"--watch", "--format", "pls"}, false, 0, 0, false},
    };
    for (const auto& Row : Rows) {
        std::string joined;
        for (const std::string& argument : Row.Arguments)
            joined += argument + ' ';
        TCommandLine line;
        std::string error;
        ASSERT_EQ(ParseCommandLine(Row.Arguments, line, error), Row.Ok) << joined << error;
        if (!Row.Ok) {
            EXPECT_FALSE(error.empty()) << joined;
            continue;
        }
        EXPECT_EQ(line.Action, A::Watch) << joined;
        EXPECT_EQ(line.Searches.size(), Row.Searches) << joined;
        EXPECT_EQ(line.IntervalMinutes, Row.Interval) << joined;
        EXPECT_EQ(line.Quiet, Row.Quiet) << joined;
    }
}
