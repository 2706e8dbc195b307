// Playlist options: the bytes of every format with and without extended lines,
// M3U8's UTF-8 promise, and paths relative to the playlist's folder across
// "..", links, another file system and names with spaces, "#", "%" and bytes
// that are not UTF-8.
#include "playlists/PlaylistWriters.h"
#include "playlists/RelativePaths.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <limits>

using namespace std::string_literals;

namespace {

const std::vector<TPlaylistEntry> SomeEntries = {
    {"/m/Brass Band/Love.mp3", "Brass Band", "Endless Love", 215400},
    {"/m/untitled.take2.ogg", "", "", -1},    // title from the name, no artist, no length
    {"/m/\xff.mp3", "Caf\xc3\xa9", "", 1499}, // a name that is not UTF-8
    {"/m/a\nb.mp3", "", "Two\r\nLines", 500}, // line breaks in the name and the title
};

} // namespace

TEST(PlaylistOptions, BytesOfEveryFormatWithAndWithoutExtendedLines) {
    struct Row {
        PlaylistFormat Format;
        bool Extended;
        std::string Bytes;
    };
    const Row Rows[] = {
        {PlaylistFormat::M3U, false,
         "#EXTM3U\r\n/m/Brass Band/Love.mp3\r\n/m/untitled.take2.ogg\r\n/m/\xff.mp3\r\n"
         "file:///m/a%0Ab.mp3\r\n"},
        {PlaylistFormat::M3U, true,
         "#EXTM3U\r\n#EXTINF:215,Brass Band - Endless Love\r\n/m/Brass Band/Love.mp3\r\n"
         "#EXTINF:-1,untitled.take2\r\n/m/untitled.take2.ogg\r\n"
         "#EXTINF:1,Caf\xc3\xa9 - \xff\r\n/m/\xff.mp3\r\n"
         "#EXTINF:1,Two  Lines\r\nfile:///m/a%0Ab.mp3\r\n"},
        {PlaylistFormat::M3U8, false,
         "#EXTM3U\n/m/Brass Band/Love.mp3\n/m/untitled.take2.ogg\nfile:///m/%FF.mp3\n"
         "file:///m/a%0Ab.mp3\n"},
        {PlaylistFormat::M3U8, true,
         "#EXTM3U\n#EXTINF:215,Brass Band - Endless Love\n/m/Brass Band/Love.mp3\n"
         "#EXTINF:-1,untitled.take2\n/m/untitled.take2.ogg\n"
         "#EXTINF:1,Caf\xc3\xa9 - \xef\xbf\xbd\nfile:///m/%FF.mp3\n"
         "#EXTINF:1,Two  Lines\nfile:///m/a%0Ab.mp3\n"},
        {PlaylistFormat::PLS, false,
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=4\r\nFile1=/m/Brass Band/Love.mp3\r\n"
         "File2=/m/untitled.take2.ogg\r\nFile3=/m/\xff.mp3\r\nFile4=file:///m/a%0Ab.mp3\r\n"},
        {PlaylistFormat::PLS, true,
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=4\r\n"
         "File1=/m/Brass Band/Love.mp3\r\nTitle1=Brass Band - Endless Love\r\nLength1=215\r\n"
         "File2=/m/untitled.take2.ogg\r\nTitle2=untitled.take2\r\nLength2=-1\r\n"
         "File3=/m/\xff.mp3\r\nTitle3=Caf\xc3\xa9 - \xff\r\nLength3=1\r\n"
         "File4=file:///m/a%0Ab.mp3\r\nTitle4=Two  Lines\r\nLength4=1\r\n"},
    };
    std::vector<std::string> Paths;
    for (const TPlaylistEntry& Entry : SomeEntries)
        Paths.push_back(Entry.Path);
    TempDir Dir;
    for (const Row& R : Rows) {
        SCOPED_TRACE(std::to_string(static_cast<int>(R.Format)) + (R.Extended ? " extended" : ""));
        EXPECT_EQ(FormatPlaylist(SomeEntries, R.Format, R.Extended), R.Bytes);
        const std::string File = Dir.str() + "/list";
        EXPECT_EQ(
            WritePlaylist(File, SomeEntries, R.Format, {PlaylistPaths::Absolute, R.Extended, {}}),
            0u);
        EXPECT_EQ(TempDir::read(File), R.Bytes);
        // Without extended lines the paths alone make the bytes; M3U and PLS
        // are today's bytes.
        if (!R.Extended) {
            EXPECT_EQ(FormatPlaylist(Paths, R.Format), R.Bytes);
        }
    }
    EXPECT_EQ(FormatPlaylist(Paths, PlaylistFormat::M3U), FormatM3UPlaylist(Paths));
    EXPECT_EQ(FormatPlaylist(Paths, PlaylistFormat::PLS), FormatPLSPlaylist(Paths));
}

TEST(PlaylistOptions, RelativePathsFromThePlaylistsFolder) {
    TempDir Dir;
    const std::string D = Dir.str();
    std::filesystem::create_directories(Dir.path() / "lists/sub");
    std::filesystem::create_directories(Dir.path() / "music/rock");
    std::filesystem::create_directories(Dir.path() / "elsewhere");
    // The same tree through a folder link (a home folder reached by a link),
    // and a link inside the music tree that must stay as spelt.
    ASSERT_EQ(symlink(D.c_str(), (D + "/home").c_str()), 0);
    ASSERT_EQ(symlink((D + "/elsewhere").c_str(), (D + "/music/alias").c_str()), 0);

    struct Row {
        const char* Case;
        std::string Entry;
        std::string Line; // in a playlist saved as D/home/lists/mix.m3u
    };
    const Row Rows[] = {
        {"beside the playlist", D + "/lists/a.mp3", "a.mp3"},
        {"below it", D + "/lists/sub/b.mp3", "sub/b.mp3"},
        {"across ..", D + "/music/rock/c d.mp3", "../music/rock/c d.mp3"},
        {"spelt with // and /./", D + "//music/./rock/e.mp3", "../music/rock/e.mp3"},
        {"spelt with ..", D + "/music/rock/../f.mp3", "../music/rock/../f.mp3"},
        {"through the link above", D + "/home/music/g.mp3", "../music/g.mp3"},
        {"a link in the music tree stays", D + "/music/alias/h.mp3", "../music/alias/h.mp3"},
        {"a folder not there yet", D + "/music/gone/i.mp3", "../music/gone/i.mp3"},
        {"# at the start would be a comment", D + "/lists/#1 hit.mp3", "./#1 hit.mp3"},
        {"% and # inside", D + "/music/100% #2.mp3", "../music/100% #2.mp3"},
        {"not UTF-8", D + "/music/\xe9t\xe9.mp3", "../music/\xe9t\xe9.mp3"},
        {"another file system", "/proc/version", "/proc/version"},
        {"not an absolute path", "rel/j.mp3", "rel/j.mp3"},
    };
    std::vector<TPlaylistEntry> Entries;
    std::string Expected = "#EXTM3U\r\n";
    for (const Row& R : Rows) {
        Entries.push_back({R.Entry, "", "", -1});
        Expected += R.Line + "\r\n";
    }
    const std::string File = D + "/home/lists/mix.m3u";
    EXPECT_EQ(
        WritePlaylist(File, Entries, PlaylistFormat::M3U, {PlaylistPaths::Relative, false, {}}),
        2u);
    EXPECT_EQ(TempDir::read(File), Expected);

    // M3U8 promises UTF-8: a relative path that is not UTF-8 stays absolute, as a URI.
    const std::string File8 = D + "/lists/mix.m3u8";
    EXPECT_EQ(WritePlaylist(
                  File8, {{D + "/music/\xe9.mp3", "", "", -1}, {D + "/lists/ok.mp3", "", "", -1}},
                  PlaylistFormat::M3U8, {PlaylistPaths::Relative, false, {}}),
              1u);
    std::string Uri = "file://";
    for (char C : D)
        Uri += C == ' ' ? "%20"s : std::string(1, C);
    EXPECT_EQ(TempDir::read(File8), "#EXTM3U\n" + Uri + "/music/%E9.mp3\nok.mp3\n");

    // A playlist folder that cannot be reached leaves every entry absolute.
    TRelativePaths Nowhere(D + "/none/list.m3u");
    std::string Out = "unchanged";
    EXPECT_FALSE(Nowhere.Make(D + "/lists/a.mp3", Out));
    EXPECT_EQ(Out, "unchanged");
}

TEST(PlaylistOptions, TheNameChoosesM3U8) {
    EXPECT_EQ(PlaylistFormatOf("/u/list.m3u8"), PlaylistFormat::M3U8);
    EXPECT_EQ(PlaylistFormatOf("/u/LIST.M3U8"), PlaylistFormat::M3U8);
    EXPECT_EQ(PlaylistFormatOf("/u/list.m3u8.bak"), PlaylistFormat::M3U);
    EXPECT_EQ(PlaylistFormatOf("/u.m3u8/list"), PlaylistFormat::M3U);
}

// A relative entry a player would misread (a stripped first byte, a comment,
// a home folder, a quote, a URL scheme in its first component) gets "./" in
// every format; paths that only look similar stay as they are.
TEST(PlaylistOptions, RelativeEntriesThatPlayersWouldMisreadStartWithDotSlash) {
    TempDir Dir;
    const std::string D = Dir.str();
    struct Row {
        std::string Name; // below the playlist's folder
        std::string Line;
    };
    const Row Rows[] = {
        {" lead.mp3", "./ lead.mp3"},
        {"\tlead.mp3", "./\tlead.mp3"},
        {"#1.mp3", "./#1.mp3"},
        {"~home.mp3", "./~home.mp3"},
        {"\"quoted\".mp3", "./\"quoted\".mp3"},
        {"http:/host.example/x.mp3", "./http:/host.example/x.mp3"},
        {"c:/x.mp3", "./c:/x.mp3"},
        {"svn+ssh:x.mp3", "./svn+ssh:x.mp3"},
        {"a.b-c:d.mp3", "./a.b-c:d.mp3"},
        {"1http:/x.mp3", "1http:/x.mp3"},
        {"music/http:/x.mp3", "music/http:/x.mp3"},
        {"a b:c.mp3", "a b:c.mp3"},
        {"plain.mp3", "plain.mp3"},
        {"trail .mp3", "trail .mp3"},
    };
    std::vector<TPlaylistEntry> Entries;
    std::string M3U = "#EXTM3U\r\n";
    std::string PLS =
        "[playlist]\r\nVersion=2\r\nNumberOfEntries=" + std::to_string(std::size(Rows)) + "\r\n";
    for (std::size_t K = 0; K < std::size(Rows); ++K) {
        Entries.push_back({D + "/" + Rows[K].Name, "", "", -1});
        M3U += Rows[K].Line + "\r\n";
        PLS += "File" + std::to_string(K + 1) + "=" + Rows[K].Line + "\r\n";
    }
    EXPECT_EQ(WritePlaylist(D + "/list.m3u", Entries, PlaylistFormat::M3U,
                            {PlaylistPaths::Relative, false}),
              0u);
    EXPECT_EQ(TempDir::read(D + "/list.m3u"), M3U);
    EXPECT_EQ(WritePlaylist(D + "/list.pls", Entries, PlaylistFormat::PLS,
                            {PlaylistPaths::Relative, false}),
              0u);
    EXPECT_EQ(TempDir::read(D + "/list.pls"), PLS);
    // Absolute entries need nothing.
    EXPECT_EQ(FormatPlaylist({{"/ lead/http:x.mp3", "", "", -1}}, PlaylistFormat::M3U, false),
              "#EXTM3U\r\n/ lead/http:x.mp3\r\n");
}

// Titles and artists from tags hold whatever bytes a tagger put there: every
// control character becomes a space, in #EXTINF and in TitleN alike.
TEST(PlaylistOptions, ControlCharactersInTitlesBecomeSpaces) {
    struct Row {
        std::string Title;
        std::string Shown;
    };
    const Row Rows[] = {
        {"a\x1b]0;owned\x07z", "a ]0;owned z"},
        {"v\x0bt\x0c", "v t "},
        {"fs\x1cgs\x1drs\x1eus\x1f", "fs gs rs us "},
        {"tab\tdel\x7f", "tab del "},
        {"nel\xc2\x85"
         "csi\xc2\x9b"
         "c1\xc2\x80",
         "nel csi c1 "},
        {"ls\xe2\x80\xa8ps\xe2\x80\xa9", "ls ps "},
        {"kept: \xc2\xa0\xe2\x80\xa6\xc3\xa9\xe2\x80\xaa",
         "kept: \xc2\xa0\xe2\x80\xa6\xc3\xa9\xe2\x80\xaa"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const Row& R : Rows) {
        const std::vector<TPlaylistEntry> Entries = {{"/m/a.mp3", "Ar\x1btist", R.Title, 1000}};
        EXPECT_EQ(FormatPlaylist(Entries, PlaylistFormat::M3U, true),
                  "#EXTM3U\r\n#EXTINF:1,Ar tist - " + R.Shown + "\r\n/m/a.mp3\r\n")
            << R.Title;
        EXPECT_EQ(
            FormatPlaylist(Entries, PlaylistFormat::PLS, true),
            "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=/m/a.mp3\r\nTitle1=Ar tist - " +
                R.Shown + "\r\nLength1=1\r\n")
            << R.Title;
    }
}

// A length from a hostile header (up to 2^52 s seen) is no length: beyond
// 100 hours it is unknown, and no rounding overflows.
TEST(PlaylistOptions, LengthsBeyondOneHundredHoursAreUnknown) {
    const std::pair<std::int64_t, std::int64_t> Rows[] = {
        {-1, -1},
        {0, 0},
        {499, 0},
        {1500, 2},
        {360000000, 360000},
        {360000001, -1},
        {4503599627370496000, -1},
        {std::numeric_limits<std::int64_t>::max(), -1},
        {std::numeric_limits<std::int64_t>::min(), -1},
    };
    for (const auto& [Ms, Seconds] : Rows) {
        const TPlaylistEntry Entry{"/m/a.mp3", "", "T", Ms};
        EXPECT_EQ(EntrySeconds(Entry), Seconds) << Ms;
        EXPECT_EQ(FormatPlaylist({Entry}, PlaylistFormat::M3U, true),
                  "#EXTM3U\r\n#EXTINF:" + std::to_string(Seconds) + ",T\r\n/m/a.mp3\r\n")
            << Ms;
    }
}
