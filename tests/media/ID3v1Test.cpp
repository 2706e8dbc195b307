// The ID3v1 reader against real files: the version rule, the field text rule,
// the genre table and files too short to hold a block.
#include "media/id3/ID3v1.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using tagbytes::V1;
using tagbytes::V1Block;

namespace {

TID3v1 Load(const TempDir& Dir, const std::string& Bytes, bool ExpectedResult = true) {
    TID3v1 tag;
    EXPECT_EQ(tag.LoadFromFile(Dir.write("song.mp3", Bytes)), ExpectedResult);
    return tag;
}

void ExpectCleared(const TID3v1& Tag) {
    EXPECT_FALSE(Tag.TagFound);
    EXPECT_EQ(Tag.TagVersion, 1);
    EXPECT_EQ(Tag.Title + Tag.Artist + Tag.Album + Tag.Year + Tag.Comment, "");
    EXPECT_EQ(Tag.TrackNumber, 0);
    EXPECT_EQ(Tag.GenreIndex, 255);
}

} // namespace

TEST(ID3v1, ReadsTheLast128BytesOfFilesOf128BytesOrMore) {
    TempDir dir;
    V1 fields;
    fields.Title = "Song";
    TID3v1 exact = Load(dir, V1Block(fields));
    EXPECT_TRUE(exact.TagFound);
    EXPECT_EQ(exact.Title, "Song");

    // Audio before the block, some of it looking like another tag.
    TID3v1 behindAudio = Load(dir, "TAGxx" + std::string(20000, 'a') + V1Block(fields));
    EXPECT_TRUE(behindAudio.TagFound);
    EXPECT_EQ(behindAudio.Title, "Song");

    ExpectCleared(Load(dir, V1Block(fields).substr(0, 127), false));
    ExpectCleared(Load(dir, "", false));
    TID3v1 missing;
    EXPECT_FALSE(missing.LoadFromFile(dir.str() + "/missing.mp3"));
}

TEST(ID3v1, BlockWithoutTheExactMagicIsReadButNoTag) {
    TempDir dir;
    V1 fields;
    fields.Title = "Song";
    fields.Magic = "tag";
    ExpectCleared(Load(dir, V1Block(fields)));
    fields.Magic = "TAg";
    ExpectCleared(Load(dir, std::string(500, 'x') + V1Block(fields)));
}

TEST(ID3v1, VersionRuleDecidesCommentWidthAndTrack) {
    struct Case {
        int Separator, Track;
        int Version, TrackNumber;
        std::string Comment;
    };
    const std::string c28(28, 'c');
    const Case cases[] = {
        {0, 7, 2, 7, c28},
        {0, 0, 1, 0, c28},      // two NUL bytes end a 30-byte comment
        {32, 32, 1, 0, c28},    // two spaces, trimmed off the comment
        {32, 'Z', 2, 'Z', c28}, // a space separator marks a track too
        {32, 0, 2, 0, c28},     // ... even track 0
        {'A', 'B', 1, 0, c28 + "AB"},
        {0, 32, 2, 32, c28},
        {7, 'Q', 1, 0, c28 + "\aQ"}, // a control byte inside the comment stays
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bytes 125/126 = " << c.Separator << "/" << c.Track);
        V1 fields;
        fields.Comment = c28;
        fields.Separator = c.Separator;
        fields.Track = c.Track;
        TID3v1 tag = Load(dir, V1Block(fields));
        EXPECT_TRUE(tag.TagFound);
        EXPECT_EQ(tag.TagVersion, c.Version);
        EXPECT_EQ(tag.TrackNumber, c.TrackNumber);
        EXPECT_EQ(tag.Comment, c.Comment);
    }
}

TEST(ID3v1, FieldTextsEndAtTheirFirstNulAndAreTrimmedAtBothEnds) {
    TempDir dir;
    V1 fields;
    fields.Title = "Song" + std::string(26, ' ');
    fields.Artist = "  Leading";
    fields.Album = std::string("A\0B", 3);
    fields.Year = "1999";
    fields.Comment = "Caf\xE9 \x01\x1F";
    fields.Separator = 0;
    fields.Track = 0;
    TID3v1 tag = Load(dir, V1Block(fields));
    EXPECT_EQ(tag.Title, "Song");
    EXPECT_EQ(tag.Artist, "Leading");
    EXPECT_EQ(tag.Album, "A");
    EXPECT_EQ(tag.Year, "1999");
    EXPECT_EQ(tag.Comment, "Caf\xC3\xA9");

    // Full-width fields are taken whole, without reaching into the next one.
    fields.Title = std::string(29, 't') + "T";
    fields.Artist = std::string(30, 'a');
    fields.Year = "2001";
    fields.Comment = "Xcomment";
    tag = Load(dir, V1Block(fields));
    EXPECT_EQ(tag.Title, std::string(29, 't') + "T");
    EXPECT_EQ(tag.Artist, std::string(30, 'a'));
    EXPECT_EQ(tag.Year, "2001");
    EXPECT_EQ(tag.Comment, "Xcomment");
}

TEST(ID3v1, GenreByteNamesOnlyTheFirst148Entries) {
    EXPECT_EQ(GenreNames.size(), 148u);
    TempDir dir;
    const std::pair<int, std::string> cases[] = {
        {0, "Blues"},
        {17, "Rock"},
        {67, "Psychadelic"},
        {79, "Hard Rock"},
        {80, "Folk"},
        {85, "Bebob"},
        {92, "Progessive Rock"},
        {123, "A capella"},
        {133, "Negerpunk"},
        {144, "Trash Metal"},
        {147, "Synthpop"},
        {148, ""},
        {200, ""},
        {255, ""},
    };
    for (const auto& [genre, name] : cases) {
        V1 fields;
        fields.Genre = static_cast<std::uint8_t>(genre);
        TID3v1 tag = Load(dir, V1Block(fields));
        EXPECT_EQ(tag.GenreIndex, genre);
        EXPECT_EQ(tag.GenreName(), name) << "genre byte " << genre;
    }
}
