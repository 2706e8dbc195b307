// Refreshing kept searches: each search file compiled and its playlist
// written as it says, one line each, failures named while the others run.
#include "app/CommandLine.h"
#include "app/HeadlessRefresh.h"

#include "settings/SearchFile.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

using enum CheckState;
using enum CriterionState;

namespace {

std::string Tagged(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

struct TRefreshRun {
    int Status = -1;
    std::vector<std::string> Lines;
};

TRefreshRun Refresh(const std::vector<std::string>& Searches, bool Quiet = false) {
    TRefreshRun run;
    std::string text;
    run.Status = RunRefresh(Searches, Quiet, [&text](std::string_view Line) { text += Line; });
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        run.Lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return run;
}

// A library of three tagged files, and a search that finds them all.
struct TLibrary {
    TempDir Music;
    TempDir Work;
    std::string A = Music.write("a.mp3", Tagged("A"));
    std::string B = Music.write("b.mp3", Tagged("B"));
    std::string C = Music.write("c.mp3", Tagged("C"));

    WizardSettings Search(const std::string& Playlist) const {
        WizardSettings settings;
        settings.Folders = {{Music.str(), Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        settings.PlaylistPath = Playlist;
        return settings;
    }
    std::string Keep(const std::string& Name, const WizardSettings& Settings) const {
        const std::string file = Work.str() + "/" + Name;
        SaveSearchFile(file, Settings);
        return file;
    }
};

} // namespace

TEST(Refresh, EverySearchRunsAndEachFailureIsNamedOnItsOwnLine) {
    TLibrary lib;
    const std::string all = lib.Keep("all.morvane", lib.Search("all.m3u"));
    WizardSettings onlyB = lib.Search(lib.Work.str() + "/b.pls");
    onlyB.Criteria[FieldTitle] = {{"B", Include}};
    const std::string b = lib.Keep("b.morvane", onlyB);
    const std::string noPlaylist = lib.Keep("none.morvane", lib.Search(""));
    WizardSettings noMask = lib.Search("x.m3u");
    noMask.Filenames.clear();
    const std::string inadequate = lib.Keep("inadequate.morvane", noMask);
    const std::string unwritable = lib.Keep("unwritable.morvane", lib.Search("no/such/dir/x.m3u"));
    WizardSettings rootless = lib.Search("r.m3u");
    rootless.PlaylistPathsName = "root";
    const std::string noRoot = lib.Keep("noroot.morvane", rootless);
    const std::string missing = lib.Work.str() + "/missing.morvane";
    const std::string damaged = lib.Work.str() + "/damaged.morvane";
    lib.Work.write("damaged.morvane", TempDir::read(all) + "not a value\n");
    WizardSettings oddPage = lib.Search("odd.m3u");
    oddPage.TagCodePage = "Windows-9999";
    const std::string unknownPage = lib.Keep("page.morvane", oddPage);
    WizardSettings aliasPage = lib.Search("alias.m3u");
    aliasPage.TagCodePage = "cp1251";
    const std::string alias = lib.Keep("alias.morvane", aliasPage);

    const std::vector<std::string> searches = {
        noPlaylist, all, inadequate, b, unwritable, noRoot, missing, damaged, unknownPage, alias};
    const TRefreshRun run = Refresh(searches);
    EXPECT_EQ(run.Status, 1);
    ASSERT_EQ(run.Lines.size(), searches.size());
    const std::string why[] = {
        "no playlist to write",
        "3 files found; 3 entries written to " + lib.Work.str() + "/all.m3u",
        "inadequate",
        "1 file found; 1 entry written to " + lib.Work.str() + "/b.pls",
        "Unable to write to",
        "Paths=root needs",
        "not found",
        "line ",
        "Tag Code Page: unknown code page \"Windows-9999\"",
        "3 files found; 3 entries written to " + lib.Work.str() + "/alias.m3u",
    };
    for (std::size_t i = 0; i < searches.size(); ++i) {
        EXPECT_TRUE(run.Lines[i].starts_with(searches[i] + ": ")) << run.Lines[i];
        EXPECT_NE(run.Lines[i].find(why[i]), std::string::npos) << run.Lines[i];
        const bool written = i == 1 || i == 3 || i == 9;
        EXPECT_EQ(run.Lines[i].find("not refreshed") == std::string::npos, written) << run.Lines[i];
    }
    // The playlist path is relative to the search file's folder; the format
    // follows the name.
    EXPECT_EQ(TempDir::read(lib.Work.str() + "/all.m3u"),
              "#EXTM3U\r\n" + lib.A + "\r\n" + lib.B + "\r\n" + lib.C + "\r\n");
    EXPECT_EQ(TempDir::read(lib.Work.str() + "/b.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=" + lib.B + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(lib.Work.path() / "x.m3u"));

    // Quiet: only what failed is said; every search written gives status 0.
    const TRefreshRun quiet = Refresh({all, inadequate}, true);
    EXPECT_EQ(quiet.Status, 1);
    ASSERT_EQ(quiet.Lines.size(), 1u);
    EXPECT_TRUE(quiet.Lines[0].starts_with(inadequate + ": not refreshed")) << quiet.Lines[0];
    EXPECT_EQ(Refresh({all, b}, true).Status, 0);
    EXPECT_TRUE(Refresh({all, b}, true).Lines.empty());
}

TEST(Refresh, AnUnchangedPlaylistIsNotRewrittenAndAChangedOneIs) {
    TLibrary lib;
    WizardSettings settings = lib.Search(lib.Work.str() + "/mix.m3u8");
    settings.PlaylistFormatName = "pls"; // the format said overrides the name
    settings.PlaylistPathsName = "root";
    settings.PlaylistRoot = lib.Music.str();
    const std::string search = lib.Keep("mix.morvane", settings);
    const std::string playlist = lib.Work.str() + "/mix.m3u8";
    ASSERT_EQ(Refresh({search}).Status, 0);
    EXPECT_EQ(TempDir::read(playlist), "[playlist]\r\nVersion=2\r\nNumberOfEntries=3\r\n"
                                       "File1=a.mp3\r\nFile2=b.mp3\r\nFile3=c.mp3\r\n");

    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, playlist.c_str(), old, 0), 0);
    const TRefreshRun again = Refresh({search});
    EXPECT_EQ(again.Status, 0);
    ASSERT_EQ(again.Lines.size(), 1u);
    EXPECT_NE(again.Lines[0].find("3 files found; " + playlist + " unchanged"), std::string::npos)
        << again.Lines[0];
    struct stat info;
    ASSERT_EQ(stat(playlist.c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);

    // A new file in the library changes the playlist.
    const std::string d = lib.Music.write("d.mp3", Tagged("D"));
    ASSERT_EQ(Refresh({search}).Status, 0);
    ASSERT_EQ(stat(playlist.c_str(), &info), 0);
    EXPECT_NE(info.st_mtim.tv_sec, 1000000000);
    EXPECT_NE(TempDir::read(playlist).find("File4=d.mp3\r\n"), std::string::npos);
}

TEST(Refresh, TheCommandLineTakesSearchesAfterRefreshAndOneSearchForTheWindow) {
    const struct {
        std::vector<std::string> Arguments;
        TCommandLine::TAction Action;
        std::vector<std::string> Searches;
        bool Quiet;
    } taken[] = {
        {{"--refresh", "a.morvane"}, TCommandLine::TAction::Refresh, {"a.morvane"}, false},
        {{"--refresh", "--quiet", "a", "b\xe9"},
         TCommandLine::TAction::Refresh,
         {"a", "b\xe9"},
         true},
        {{"a.morvane"}, TCommandLine::TAction::Wizard, {"a.morvane"}, false},
        {{"/s/Rock.MORVANE"}, TCommandLine::TAction::Wizard, {"/s/Rock.MORVANE"}, false},
        {{"--settings", "s.ini", "a.morvane"}, TCommandLine::TAction::Wizard, {"a.morvane"}, false},
        {{}, TCommandLine::TAction::Wizard, {}, false},
    };
    for (const auto& row : taken) {
        TCommandLine line;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(row.Arguments, line, error)) << error;
        EXPECT_EQ(line.Action, row.Action);
        EXPECT_EQ(line.Searches, row.Searches);
        EXPECT_EQ(line.Quiet, row.Quiet);
    }
    const std::pair<std::vector<std::string>, const char*> refused[] = {
        {{"--refresh"}, "--refresh needs at least one search file"},
        {{"a.morvane", "b.morvane"}, "unexpected argument 'a.morvane'"},
        {{"a.m3u"}, "unexpected argument 'a.m3u'"},
        {{"--compile", "x.m3u", "a.morvane"}, "unexpected argument 'a.morvane'"},
        {{"--refresh", "a", "--compile", "x"},
         "--compile, --refresh, --watch, --screenshots, --help and --version exclude each "
         "other, and --help and --version take no other option"},
        {{"--refresh", "a", "--unique"}, "--unique goes with --compile"},
        {{"--quiet"}, "--quiet goes with --compile, --refresh or --watch"},
    };
    for (const auto& [arguments, message] : refused) {
        TCommandLine line;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(arguments, line, error)) << message;
        EXPECT_EQ(error, message);
    }
}
