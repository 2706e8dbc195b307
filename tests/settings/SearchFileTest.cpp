// Search files: every section through save and open, odd path bytes included;
// the window's own sections kept out; where the playlist goes; recent searches.
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

// Bytes that the INI form must carry through: not UTF-8, the separators of
// its own syntax, blanks at either end, line breaks, a backslash.
const std::vector<std::string> OddBytes = {
    "caf\xe9 \xff\xfe",    "a=b;c#d[e]",    " lead and trail ",
    "line\nbreak\rreturn", "back\\slash\\", "\t",
    "[Section]",           ";comment",      "#hash",
    "\xc3\xa9t\xc3\xa9",
};

WizardSettings EverySection(const std::string& Folder) {
    WizardSettings settings;
    settings.Folders = {{Folder, Checked}, {Folder, Unchecked}};
    settings.Filenames = {{"*.mp3", Checked}, {"*.\xe9", Unchecked}};
    settings.Criteria[FieldTitle] = {{"*love*", Exclude}, {"\xff*", Ignore}};
    settings.Criteria[FieldYear] = {{"1999", Include}};
    settings.Recurse = false;
    settings.ThoroughID3Check = true;
    settings.IncludeTaglessFiles = true;
    settings.FieldRules = {ByOrder, ExclusionFirst, InclusionFirst, ByOrder, ExclusionFirst};
    settings.OrderRule = ByOrder;
    settings.FieldOrder = CompleteFieldOrder({"Year", "Title", "Artist", "Album", "Genre"});
    // The More criteria page's fields, each in a section of its own.
    settings.Criteria[FieldAlbumArtist] = {{"Various*", Exclude}};
    settings.Criteria[FieldComposer] = {{"*Bach*", Include}, {"\xe9*", Ignore}};
    settings.Criteria[FieldFormat] = {{"FLAC", Include}};
    settings.Criteria[FieldLength] = {{"..2:30", Exclude}, {"1:00..", Include}};
    settings.Criteria[FieldModified] = {{"30 days", Include}};
    settings.FieldRules[FieldLength] = ByOrder;
    settings.PlaylistPath = "lists/\xe9 mix.m3u8";
    settings.PlaylistFormatName = "m3u8";
    settings.PlaylistPathsName = "root";
    settings.PlaylistRoot = "/srv/m\xfcsic";
    settings.PlaylistExtended = true;
    settings.PlaylistUnique = true;
    settings.RemovedPaths = OddBytes;
    settings.AddedPaths = {OddBytes.rbegin(), OddBytes.rend()};
    return settings;
}

} // namespace

TEST(SearchFile, EverySectionSurvivesSaveAndOpenWithOddBytesInPaths) {
    TempDir dir;
    const std::string file = dir.str() + "/rock \xe9.morvane";
    const WizardSettings saved = EverySection(dir.str());
    SaveSearchFile(file, saved);
    const TLoadedSearch opened = LoadSearchFile(file);
    EXPECT_EQ(opened.Error, "");
    EXPECT_TRUE(opened.Found);
    EXPECT_EQ(opened.Settings.RemovedPaths, saved.RemovedPaths);
    EXPECT_EQ(opened.Settings.AddedPaths, saved.AddedPaths);
    EXPECT_TRUE(opened.Settings == saved);
    // Saving what was opened gives the same bytes.
    const std::string bytes = TempDir::read(file);
    SaveSearchFile(file, opened.Settings);
    EXPECT_EQ(TempDir::read(file), bytes);
}

TEST(SearchFile, TheSettingsStoreOfEarlierVersionsOpensAsASearchAndItsWindowValuesStayOut) {
    TempDir dir;
    // A settings file as the program wrote it before searches were files.
    const std::string old = dir.write("2.ini", "[Folders]\nItem Count=1\nItem 1=" + dir.str() +
                                                   "\nItem 1 State=1\nRecurse=0\n"
                                                   "[Filenames]\nItem Count=1\nItem 1=*.ogg\n"
                                                   "[Window]\nLeft=10\nTop=20\nWidth=700\n"
                                                   "[Recent Searches]\nItem Count=1\nItem 1=/x\n"
                                                   "[Watched]\nItem Count=1\nItem 1=/y\n"
                                                   "[Options]\nInclude Tagless Files=1\n");
    const TLoadedSearch opened = LoadSearchFile(old);
    ASSERT_EQ(opened.Error, "");
    EXPECT_EQ(opened.Settings.Folders, (std::vector<CheckEntry>{{dir.str(), Checked}}));
    EXPECT_EQ(opened.Settings.Filenames, (std::vector<CheckEntry>{{"*.ogg", Checked}}));
    EXPECT_FALSE(opened.Settings.Recurse);
    EXPECT_TRUE(opened.Settings.IncludeTaglessFiles);
    EXPECT_EQ(opened.Settings.PlaylistPath, "");
    EXPECT_TRUE(opened.Settings.RemovedPaths.empty());

    // Saved over a copy that holds window values, the search drops them.
    const std::string search = dir.write("copy.morvane", TempDir::read(old));
    SaveSearchFile(search, opened.Settings);
    const SettingsStore store(search);
    EXPECT_FALSE(store.SectionExists("Window"));
    EXPECT_FALSE(store.SectionExists("Recent Searches"));
    EXPECT_FALSE(store.SectionExists("Watched"));
    EXPECT_FALSE(store.SectionExists("Playlist"));
    EXPECT_FALSE(store.SectionExists("Removed"));
    EXPECT_EQ(store.ReadString("Options", "Include Tagless Files", ""), "1");
}

TEST(SearchFile, MissingOrDamagedFilesSayWhyAndUnknownNamesLoadAsDefaults) {
    TempDir dir;
    const TLoadedSearch missing = LoadSearchFile(dir.str() + "/none.morvane");
    EXPECT_FALSE(missing.Found);
    EXPECT_NE(missing.Error.find("not found"), std::string::npos) << missing.Error;

    const std::string damaged =
        dir.write("bad.morvane", "[Playlist]\nPath=/x.m3u\nthis is no value\n");
    const TLoadedSearch partly = LoadSearchFile(damaged);
    EXPECT_NE(partly.Error.find("line 3"), std::string::npos) << partly.Error;
    EXPECT_EQ(partly.Settings.PlaylistPath, "/x.m3u");

    const struct {
        const char* Format;
        const char* Paths;
        const char* WantFormat;
        const char* WantPaths;
    } rows[] = {
        {"m3u", "relative", "m3u", "relative"},
        {"pls", "root", "pls", "root"},
        {"m3u8", "absolute", "m3u8", "absolute"},
        {"PLS", "Root", "", "absolute"},
        {"wav", "up", "", "absolute"},
        {"", "", "", "absolute"},
    };
    for (const auto& row : rows) {
        const std::string file =
            dir.write("r.morvane", std::string("[Playlist]\nFormat=") + row.Format +
                                       "\nPaths=" + row.Paths + "\n");
        const TLoadedSearch loaded = LoadSearchFile(file);
        EXPECT_EQ(loaded.Settings.PlaylistFormatName, row.WantFormat) << row.Format;
        EXPECT_EQ(loaded.Settings.PlaylistPathsName, row.WantPaths) << row.Paths;
    }
}

TEST(SearchFile, ThePlaylistPathIsKeptRelativeOnlyInsideTheSearchFilesFolder) {
    const struct {
        const char* Search;
        const char* Playlist;
        const char* Stored;
    } rows[] = {
        {"/home/u/s/rock.morvane", "/home/u/s/rock.m3u", "rock.m3u"},
        {"/home/u/s/rock.morvane", "/home/u/s/out/rock.pls", "out/rock.pls"},
        {"/home/u/s/rock.morvane", "/home/u/rock.m3u", "/home/u/rock.m3u"},
        {"/home/u/s/rock.morvane", "/home/u/sx/rock.m3u", "/home/u/sx/rock.m3u"},
        {"/home/u/s/rock.morvane", "/home/u/s/../t/rock.m3u", "/home/u/s/../t/rock.m3u"},
        {"/home/u/s/rock.morvane", "/home/u/s/a/../../b.m3u", "/home/u/s/a/../../b.m3u"},
        {"/rock.morvane", "/rock.m3u", "rock.m3u"},
        {"", "/x/rock.m3u", "/x/rock.m3u"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(StoredPlaylistPath(row.Search, row.Playlist), row.Stored) << row.Playlist;
        // And back: the stored form leads to the same file.
        WizardSettings settings;
        settings.PlaylistPath = StoredPlaylistPath(row.Search, row.Playlist);
        if (*row.Search) {
            EXPECT_EQ(SearchPlaylistFile(row.Search, settings), row.Playlist) << row.Playlist;
        }
    }
    WizardSettings none;
    EXPECT_EQ(SearchPlaylistFile("/a/b.morvane", none), "");
}

TEST(SearchFile, RecentSearchesKeepTheNewestEightOnceEachNewestFirst) {
    std::mt19937 random(7);
    std::vector<std::string> recent;
    std::vector<std::string> opened;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "/s/" + std::to_string(random() % 12) + ".morvane";
        NoteRecentSearch(recent, name);
        opened.push_back(name);
        // The model: the distinct names, by their last opening, newest first.
        std::vector<std::string> expected;
        for (auto it = opened.rbegin(); it != opened.rend() && expected.size() < 8; ++it)
            if (std::find(expected.begin(), expected.end(), *it) == expected.end())
                expected.push_back(*it);
        ASSERT_EQ(recent, expected) << "after " << i;
    }

    TempDir dir;
    const std::string file = dir.str() + "/2.ini";
    {
        SettingsStore store(file);
        SaveRecentSearches(store, recent);
        store.Flush();
    }
    EXPECT_EQ(LoadRecentSearches(SettingsStore(file)), recent);
    // A hand-edited list: blanks and repeats are skipped, and only eight are taken.
    const std::string edited =
        dir.write("3.ini", "[Recent Searches]\nItem Count=11\nItem 1=/a\nItem 2=\nItem 3=/a\n"
                           "Item 4=/b\nItem 5=/c\nItem 6=/d\nItem 7=/e\nItem 8=/f\nItem 9=/g\n"
                           "Item 10=/h\nItem 11=/i\n");
    EXPECT_EQ(LoadRecentSearches(SettingsStore(edited)),
              (std::vector<std::string>{"/a", "/b", "/c", "/d", "/e", "/f", "/g", "/h"}));
}

TEST(SearchFile, TheWatchedSearchesAreKeptWholeOnceEachInTheirOrder) {
    TempDir dir;
    std::vector<std::string> watched;
    for (int i = 0; i < 12; ++i) // no cap, unlike the recent searches
        watched.push_back("/w/" + std::to_string((i * 7) % 12) + " \xe9.morvane");
    const std::string file = dir.str() + "/2.ini";
    {
        SettingsStore store(file);
        SaveRecentSearches(store, {"/r.morvane"});
        SaveWatchedSearches(store, watched);
        store.Flush();
    }
    EXPECT_EQ(LoadWatchedSearches(SettingsStore(file)), watched);
    EXPECT_EQ(LoadRecentSearches(SettingsStore(file)), std::vector<std::string>{"/r.morvane"});
    const std::string edited = dir.write(
        "3.ini", "[Watched]\nItem Count=5\nItem 1=/b\nItem 2=\nItem 3=/a\nItem 4=/b\nItem 5=/c\n");
    EXPECT_EQ(LoadWatchedSearches(SettingsStore(edited)),
              (std::vector<std::string>{"/b", "/a", "/c"}));
    EXPECT_TRUE(LoadWatchedSearches(SettingsStore(dir.str() + "/none.ini")).empty());
}
