// The M3U and PLS bytes in memory, and the one place a file name picks the format.
#include "playlists/PlaylistWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

namespace {

struct FormatRow {
    const char* Case;
    std::vector<std::string> Entries;
    std::string M3U;
    std::string PLS;
};

} // namespace

TEST(PlaylistFormat, FormattersGiveTheExactBytesOfEachFormat) {
    const FormatRow rows[] = {
        {"empty", {}, "#EXTM3U\r\n", "[playlist]\r\nVersion=2\r\nNumberOfEntries=0\r\n"},
        {"one",
         {"/m/a.mp3"},
         "#EXTM3U\r\n/m/a.mp3\r\n",
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=/m/a.mp3\r\n"},
        {"repeat and raw bytes",
         {"/m/a.mp3", "/m/a.mp3", "/m/\xff\x00x=y.mp3"s},
         "#EXTM3U\r\n/m/a.mp3\r\n/m/a.mp3\r\n/m/\xff\x00x=y.mp3\r\n"s,
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=3\r\nFile1=/m/a.mp3\r\n"
         "File2=/m/a.mp3\r\nFile3=/m/\xff\x00x=y.mp3\r\n"s},
        {"line break",
         {"/m/a\r\nb.mp3"},
         "#EXTM3U\r\nfile:///m/a%0D%0Ab.mp3\r\n",
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=file:///m/a%0D%0Ab.mp3\r\n"},
        {"windows paths",
         {"C:\\M\\a.mp3"},
         "#EXTM3U\r\nC:\\M\\a.mp3\r\n",
         "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=C:\\M\\a.mp3\r\n"},
    };
    for (const FormatRow& row : rows) {
        EXPECT_EQ(FormatM3UPlaylist(row.Entries), row.M3U) << row.Case;
        EXPECT_EQ(FormatPLSPlaylist(row.Entries), row.PLS) << row.Case;
        EXPECT_EQ(FormatPlaylist(row.Entries, PlaylistFormat::M3U), row.M3U) << row.Case;
        EXPECT_EQ(FormatPlaylist(row.Entries, PlaylistFormat::PLS), row.PLS) << row.Case;
    }
}

TEST(PlaylistFormat, FileNameChoosesPlsOrM3U8ByTheirExtensions) {
    const std::pair<const char*, PlaylistFormat> rows[] = {
        {"/u/list.pls", PlaylistFormat::PLS},
        {"/u/LIST.PLS", PlaylistFormat::PLS},
        {"/u/list.m3u", PlaylistFormat::M3U},
        {"/u/list.m3u8", PlaylistFormat::M3U8},
        {"/u/list", PlaylistFormat::M3U},
        {"/u.pls/list", PlaylistFormat::M3U},
        {"", PlaylistFormat::M3U},
    };
    for (const auto& [name, format] : rows)
        EXPECT_EQ(PlaylistFormatOf(name), format) << name;
}

TEST(PlaylistFormat, WritePlaylistPutsTheFormattersBytesOnDisk) {
    TempDir dir;
    const std::vector<std::string> entries = {"/m/a.mp3", "/m/b \xe9.ogg"};
    for (const PlaylistFormat format : {PlaylistFormat::M3U, PlaylistFormat::PLS}) {
        // The name says M3U: the format passed decides, not the name.
        const std::string file = dir.str() + "/list.m3u";
        WritePlaylist(file, entries, format);
        EXPECT_EQ(TempDir::read(file), FormatPlaylist(entries, format));
    }
}
