// Entries relative to a music folder, as a music daemon resolves its stored
// playlists, and playlists that are left alone when their bytes would not change.
#include "playlists/RootPaths.h"
#include "playlists/PlaylistWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

TEST(RootPaths, EntriesInsideTheRootLoseItOthersStayWhole) {
    const struct {
        const char* Root;
        const char* Entry;
        const char* Relative; // nullptr: stays absolute
    } rows[] = {
        {"/srv/music", "/srv/music/a.mp3", "a.mp3"},
        {"/srv/music/", "/srv/music/Rock/b c.mp3", "Rock/b c.mp3"},
        {"/srv//music/.", "/srv/music//Rock/./b.mp3", "Rock/b.mp3"},
        {"/srv/music", "/srv/musical/a.mp3", nullptr},
        {"/srv/music", "/srv/a.mp3", nullptr},
        {"/srv/music", "/srv/music", nullptr},
        {"/srv/music", "/srv/music/../x/a.mp3", nullptr},
        {"/srv/music", "relative/a.mp3", nullptr},
        {"/srv/music", "/srv/music/#1.mp3", nullptr},
        {"/srv/music", "/srv/music/ a.mp3", nullptr},
        {"/srv/music", "/srv/music/a.mp3 ", nullptr},
        {"/srv/music", "/srv/music/a\nb.mp3", nullptr},
        {"/srv/music", "/srv/music/Dir/#1.mp3", "Dir/#1.mp3"},
        {"/srv/music", "/srv/music/caf\xe9.mp3", "caf\xe9.mp3"},
        {"/", "/srv/a.mp3", "srv/a.mp3"},
        {"", "/srv/a.mp3", nullptr},
        {"music", "music/a.mp3", nullptr},
    };
    for (const auto& row : rows) {
        const TRootPaths root(row.Root);
        std::string relative = "untouched";
        const bool made = root.Make(row.Entry, relative);
        EXPECT_EQ(made, row.Relative != nullptr) << row.Root << " " << row.Entry;
        EXPECT_EQ(relative, row.Relative ? row.Relative : "untouched") << row.Entry;
    }
}

TEST(RootPaths, ARootReachedThroughALinkMatchesEntriesSpeltEitherWay) {
    TempDir dir;
    dir.write("real/music/a.mp3", "x");
    const std::string link = dir.str() + "/link";
    ASSERT_EQ(symlink((dir.str() + "/real/music").c_str(), link.c_str()), 0);
    const std::string real = std::filesystem::canonical(dir.path() / "real/music").string();
    const TRootPaths root(link);
    std::string relative;
    ASSERT_TRUE(root.Make(link + "/a.mp3", relative));
    EXPECT_EQ(relative, "a.mp3");
    ASSERT_TRUE(root.Make(real + "/Sub/b.mp3", relative));
    EXPECT_EQ(relative, "Sub/b.mp3");
}

TEST(RootPaths, ThePlaylistWritesRootEntriesInEveryFormatAndCountsTheOthers) {
    TempDir dir;
    const std::vector<TPlaylistEntry> entries = {
        {"/srv/music/A/1.mp3", "", "", -1},
        {"/elsewhere/2.mp3", "", "", -1},
        {"/srv/music/\xff.mp3", "", "", -1},
    };
    TPlaylistOptions options;
    options.Paths = PlaylistPaths::Root;
    options.Root = "/srv/music";
    const struct {
        PlaylistFormat Format;
        std::string Bytes;
        std::size_t LeftAbsolute;
    } rows[] = {
        {PlaylistFormat::M3U, "#EXTM3U\r\nA/1.mp3\r\n/elsewhere/2.mp3\r\n\xff.mp3\r\n", 1},
        {PlaylistFormat::PLS,
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=3\r\nFile1=A/1.mp3\r\n"
         "File2=/elsewhere/2.mp3\r\nFile3=\xff.mp3\r\n",
         1},
        // A name that is not UTF-8 needs a URI in M3U8, and a URI is never relative.
        {PlaylistFormat::M3U8, "#EXTM3U\nA/1.mp3\n/elsewhere/2.mp3\nfile:///srv/music/%FF.mp3\n",
         2},
    };
    for (const auto& row : rows) {
        const std::string file = dir.str() + "/list";
        EXPECT_EQ(WritePlaylist(file, entries, row.Format, options), row.LeftAbsolute);
        EXPECT_EQ(TempDir::read(file), row.Bytes);
    }
}

TEST(RefreshPlaylist, SameBytesLeaveTheFileAloneOtherBytesReplaceIt) {
    TempDir dir;
    const std::string file = dir.str() + "/mix.m3u";
    const std::vector<TPlaylistEntry> first = {{"/m/a.mp3", "", "", -1}};
    const std::vector<TPlaylistEntry> second = {{"/m/a.mp3", "", "", -1}, {"/m/b.mp3", "", "", -1}};
    EXPECT_FALSE(RefreshPlaylist(file, first, PlaylistFormat::M3U, {}).Unchanged);
    EXPECT_EQ(TempDir::read(file), "#EXTM3U\r\n/m/a.mp3\r\n");

    // An old time stamp shows whether the file was touched.
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    struct stat before;
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    EXPECT_TRUE(RefreshPlaylist(file, first, PlaylistFormat::M3U, {}).Unchanged);
    struct stat after;
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(after.st_ino, before.st_ino);

    // Other bytes: a longer list, the same list in another format, or a file
    // that holds the new bytes and more.
    EXPECT_FALSE(RefreshPlaylist(file, second, PlaylistFormat::M3U, {}).Unchanged);
    EXPECT_EQ(TempDir::read(file), "#EXTM3U\r\n/m/a.mp3\r\n/m/b.mp3\r\n");
    EXPECT_FALSE(RefreshPlaylist(file, second, PlaylistFormat::M3U8, {}).Unchanged);
    EXPECT_EQ(TempDir::read(file), "#EXTM3U\n/m/a.mp3\n/m/b.mp3\n");
    dir.write("mix.m3u", "#EXTM3U\n/m/a.mp3\n/m/b.mp3\nmore\n");
    EXPECT_FALSE(RefreshPlaylist(file, second, PlaylistFormat::M3U8, {}).Unchanged);
    EXPECT_EQ(TempDir::read(file), "#EXTM3U\n/m/a.mp3\n/m/b.mp3\n");
    EXPECT_THROW(RefreshPlaylist(dir.str() + "/no/such/folder.m3u", first, PlaylistFormat::M3U, {}),
                 EPlaylistWriteError);
}
