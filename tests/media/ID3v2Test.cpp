// The ID3v2 reader against real files: header and size rules, frame sizes of
// each version, the kept slots and their fallbacks, the text rules, and tags
// that lie about their sizes.
#include "media/id3/ID3v2.h"
#include "media/toolkit/MediaFile.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tagbytes;

namespace {

TID3v2 Load(const TempDir& Dir, const std::string& Bytes, bool ExpectedResult = true) {
    TID3v2 tag;
    EXPECT_EQ(tag.LoadFromFile(Dir.write("song.mp3", Bytes)), ExpectedResult);
    return tag;
}

std::string AllTexts(const TID3v2& Tag) {
    return Tag.Title + Tag.Artist + Tag.Album + Tag.TrackText + Tag.Year + Tag.Genre + Tag.Comment +
           Tag.Composer + Tag.Encoder + Tag.RightsMessage + Tag.Language + Tag.Link;
}

} // namespace

TEST(ID3v2, NeedsTenHeaderBytes) {
    TempDir dir;
    const std::string header = Header(3, 0);
    for (std::size_t length = 0; length < 10; ++length) {
        TID3v2 tag = Load(dir, header.substr(0, length), false);
        EXPECT_FALSE(tag.TagFound) << length << " bytes";
    }
    TID3v2 bare = Load(dir, header);
    EXPECT_TRUE(bare.TagFound);
    EXPECT_EQ(bare.TagVersion, 3);
    EXPECT_EQ(bare.TagSize, 10);

    EXPECT_FALSE(Load(dir, "id3" + header.substr(3) + "audio").TagFound);
    TID3v2 missing;
    EXPECT_FALSE(missing.LoadFromFile(dir.str() + "/none.mp3"));
}

TEST(ID3v2, TagSizeUsesEverySizeByteWholeAndCountsTheFooter) {
    TempDir dir;
    const std::string frames = TextFrame(4, "TIT2", "Title");
    std::string tag = Header(4, 0) + frames + std::string(400, '\0');
    tag[6] = 0, tag[7] = 0, tag[8] = 1, tag[9] = 72; // 200 as a sync-safe number
    EXPECT_EQ(Load(dir, tag).TagSize, 210);
    tag[5] = 16; // footer present
    EXPECT_EQ(Load(dir, tag).TagSize, 220);
    tag[5] = static_cast<char>(0x80 | 16);
    EXPECT_EQ(Load(dir, tag).TagSize, 220);
    tag[5] = 0;
    tag[9] = static_cast<char>(0x80 | 72); // top bit counts as 128 more
    EXPECT_EQ(Load(dir, tag).TagSize, 338);
    EXPECT_EQ(Load(dir, tag).Title, "Title");
    tag[9] = 72;
    tag[8] = static_cast<char>(0x83); // 131 * 128 + 72 + 10 exceeds the file
    TID3v2 tooLarge = Load(dir, tag);
    EXPECT_TRUE(tooLarge.TagFound);
    EXPECT_EQ(tooLarge.TagSize, 0);
    EXPECT_EQ(AllTexts(tooLarge), "Title"); // the frames within the file are read
}

TEST(ID3v2, UnsupportedVersionIsFoundButEmptyAndAnOversizedTagKeepsItsWholeFrames) {
    TempDir dir;
    const std::string frames = TextFrame(3, "TIT2", "Title") + TextFrame(3, "TPE1", "Artist");
    for (int version : {0, 1, 5, 255}) {
        std::string bytes = Tag(3, frames, 20);
        bytes[3] = static_cast<char>(version);
        TID3v2 tag = Load(dir, bytes);
        EXPECT_TRUE(tag.TagFound);
        EXPECT_EQ(tag.TagVersion, version);
        EXPECT_EQ(AllTexts(tag), "") << "version " << version;
    }
    const std::string oversized = Header(3, static_cast<std::uint32_t>(frames.size() + 1)) + frames;
    TID3v2 tag = Load(dir, oversized);
    EXPECT_TRUE(tag.TagFound);
    EXPECT_EQ(tag.TagSize, 0);
    EXPECT_EQ(AllTexts(tag), "TitleArtist");
    // A download cut inside the second frame keeps the first.
    const std::string cutShort = Header(3, 4000) + frames.substr(0, frames.size() - 2);
    tag = Load(dir, cutShort);
    EXPECT_EQ(tag.TagSize, 0);
    EXPECT_EQ(tag.Title, "Title");
    EXPECT_EQ(tag.Artist, "");

    // A size exactly up to the end of the file is fine.
    TID3v2 exact = Load(dir, Tag(3, frames));
    EXPECT_EQ(exact.TagSize, static_cast<std::int32_t>(frames.size() + 10));
    EXPECT_EQ(exact.Artist, "Artist");
}

TEST(ID3v2, FrameSizeIsSyncSafeInVersion4AndPlainInVersion3) {
    // Size bytes 0, 0, 1, 72: 200 data bytes in version 4, 328 in version 3.
    const std::string title = std::string(1, '\0') + std::string(199, 't');
    const std::string artistFrame = TextFrame(4, "TPE1", "Four");
    const std::string albumFrame = TextFrame(3, "TALB", "Three");
    std::string frames = Frame(4, "TIT2", title, 200) + artistFrame;
    frames += std::string(328 - 200 - artistFrame.size(), 'p') + albumFrame;
    ASSERT_EQ(frames.substr(4, 4), std::string("\0\0\1\x48", 4));

    TempDir dir;
    TID3v2 v4 = Load(dir, Tag(4, frames, 10));
    EXPECT_EQ(v4.Title, std::string(199, 't'));
    EXPECT_EQ(v4.Artist, "Four");
    EXPECT_EQ(v4.Album, ""); // the filler after the artist frame is no frame

    std::string v3Bytes = Tag(4, frames, 10);
    v3Bytes[3] = 3;
    TID3v2 v3 = Load(dir, v3Bytes);
    EXPECT_EQ(v3.Artist, "");
    EXPECT_EQ(v3.Album, "Three");
    // The text runs on into the artist frame's header up to its first NUL.
    EXPECT_EQ(v3.Title, std::string(199, 't') + "TPE1");
}

TEST(ID3v2, KeepsTheBoundOfAFrameAndSkipsTheRest) {
    TempDir dir;
    // Longer than what is kept of a frame, let alone of a value.
    const std::string longTitle =
        std::string(1, '\0') + std::string(3 * TagInfo::FrameKeepSize, 'L') + "E";
    TID3v2 tag = Load(dir, Tag(3, Frame(3, "TIT2", longTitle) + TextFrame(3, "TPE1", "After")));
    EXPECT_EQ(tag.Title, std::string(FieldTextSize, 'L'));
    EXPECT_EQ(tag.Artist, "After");
    // A text just within the bound is kept whole.
    const std::string fits = std::string(1, '\0') + std::string(FieldTextSize - 1, 'L') + "E";
    tag = Load(dir, Tag(3, Frame(3, "TIT2", fits)));
    EXPECT_EQ(tag.Title, fits.substr(1));

    // A picture far larger than the read window is passed over by position.
    const std::string picture = Frame(3, "APIC", std::string(3 * TMediaFile::WindowCapacity, 'P'));
    tag = Load(dir, Tag(3, picture + TextFrame(3, "TIT2", "Behind the picture"), 100) +
                        std::string(5000, 'a'));
    EXPECT_EQ(tag.Title, "Behind the picture");
}

TEST(ID3v2, FramesStraddlingTheReadWindowAreReadWhole) {
    TempDir dir;
    const std::int64_t window = TMediaFile::WindowCapacity;
    // Move a title frame's header and data across the window's end byte by byte.
    for (std::int64_t start = window - 40; start <= window + 2; ++start) {
        const std::string filler = Frame(3, "PRIV", std::string(start - 10 - 10, 'f'));
        const std::string title = std::string(1, '\0') + "T" + std::string(20, 'x') + "E";
        TID3v2 tag =
            Load(dir, Tag(3, filler + Frame(3, "TIT2", title) + TextFrame(3, "TPE1", "Next")));
        EXPECT_EQ(tag.Title, "T" + std::string(20, 'x') + "E") << "frame at " << start;
        EXPECT_EQ(tag.Artist, "Next") << "frame at " << start;
    }
}

TEST(ID3v2, ExtendedHeaderIsPassedOverBySizeRulesOfItsVersion) {
    TempDir dir;
    struct Case {
        int Version;
        std::string Extended;
    };
    const Case cases[] = {
        // Version 3 counts the bytes after the size: flags and padding size,
        // then a CRC when the first flag says so.
        {3, std::string("\0\0\0\x06\0\0\0\0\0\0", 10)},
        {3, std::string("\0\0\0\x0A\x80\0\0\0\0\0\x12\x34\x56\x78", 14)},
        // Version 4 counts the size itself, as a sync-safe number.
        {4, std::string("\0\0\0\x06\x01\0", 6)},
        {4, std::string("\0\0\0\x0C\x01\x20\x05\x12\x34\x56\x78\x00", 12)},
    };
    for (const Case& c : cases) {
        std::string bytes = Tag(c.Version, c.Extended + TextFrame(c.Version, "TIT2", "T"));
        bytes[5] = 0x40;
        TID3v2 tag = Load(dir, bytes);
        EXPECT_TRUE(tag.TagFound);
        EXPECT_EQ(AllTexts(tag), "T") << "version " << c.Version << ", " << c.Extended.size();
        // Without the flag the same bytes are no frame.
        bytes[5] = 0;
        EXPECT_EQ(AllTexts(Load(dir, bytes)), "");
    }
    // A version 4 size below the size's own four bytes, or one past the file.
    for (const std::string& extended :
         {std::string("\0\0\0\x03\x01\0", 6), std::string("\0\0\x7F\x7F\x01\0", 6)}) {
        std::string bytes = Tag(4, extended + TextFrame(4, "TIT2", "T"));
        bytes[5] = 0x40;
        EXPECT_EQ(AllTexts(Load(dir, bytes)), "");
    }
}

TEST(ID3v2, FallbackSlotsFillEmptyTitleArtistAlbumAndYear) {
    TempDir dir;
    TID3v2 v3 = Load(dir, Tag(3, TextFrame(3, "TIT1", "Classics") + TextFrame(3, "TOPE", "Orig") +
                                     TextFrame(3, "TOAL", "First Album") +
                                     TextFrame(3, "TDRC", "2001-05-06")));
    EXPECT_EQ(v3.Title, "Classics");
    EXPECT_EQ(v3.Artist, "Orig");
    EXPECT_EQ(v3.Album, "First Album");
    EXPECT_EQ(v3.Year, "2001");

    TID3v2 v2 =
        Load(dir, Tag(2, TextFrame(2, "TT1", "Classics") + TextFrame(2, "TOA", "Orig") +
                             TextFrame(2, "TOT", "First Album") + TextFrame(2, "TOR", "98")));
    EXPECT_EQ(v2.Title, "Classics");
    EXPECT_EQ(v2.Artist, "Orig");
    EXPECT_EQ(v2.Album, "First Album");
    EXPECT_EQ(v2.Year, "98");

    // The first choice wins when it has text, whatever the frame order; a
    // frame of blanks counts as empty.
    TID3v2 both =
        Load(dir, Tag(4, TextFrame(4, "TDRC", "2001") + TextFrame(4, "TYER", "1999") +
                             TextFrame(4, "TIT1", "Group") + TextFrame(4, "TIT2", "Song") +
                             TextFrame(4, "TPE1", "  \t ") + TextFrame(4, "TOPE", "Orig")));
    EXPECT_EQ(both.Year, "1999");
    EXPECT_EQ(both.Title, "Song");
    EXPECT_EQ(both.Artist, "Orig");
}

TEST(ID3v2, Version2TagsUseThreeLetterIdsAnd24BitSizes) {
    TempDir dir;
    const std::string frames = TextFrame(2, "TT2", "Title") + TextFrame(2, "TP1", "Artist") +
                               TextFrame(2, "TAL", "Album") + TextFrame(2, "TRK", "3/12") +
                               TextFrame(2, "TYE", "1987") + TextFrame(2, "TCO", "(17)Rock") +
                               TextFrame(2, "TIT2", "four-letter IDs are no v2 frames");
    TID3v2 tag = Load(dir, Tag(2, frames, 64));
    EXPECT_EQ(tag.Title, "Title");
    EXPECT_EQ(tag.Artist, "Artist");
    EXPECT_EQ(tag.Album, "Album");
    EXPECT_EQ(tag.TrackText, "3/12");
    EXPECT_EQ(tag.Year, "1987");
    EXPECT_EQ(tag.Genre, "Rock");

    // Version 3 IDs are not matched against version 2 ones and vice versa.
    EXPECT_EQ(Load(dir, Tag(3, TextFrame(3, "TT2 ", "x") + TextFrame(3, "TIT2", "y"))).Title, "y");
    EXPECT_EQ(Load(dir, Tag(3, TextFrame(3, "tit2", "lower"))).Title, "");
}

TEST(ID3v2, SecondaryTextsAndTheirDescriptionRules) {
    TempDir dir;
    const std::string frames = TextFrame(3, "TCOM", "Composer") + TextFrame(3, "TENC", "Encoder") +
                               TextFrame(3, "TCOP", "2004 Someone") + TextFrame(3, "TLAN", "eng") +
                               Frame(3, "COMM", std::string("\0engdesc\0Nice", 13)) +
                               Frame(3, "WXXX", std::string("\0home\0http://example.org/", 26));
    TID3v2 tag = Load(dir, Tag(3, frames));
    EXPECT_EQ(tag.Composer, "Composer");
    EXPECT_EQ(tag.Encoder, "Encoder");
    EXPECT_EQ(tag.RightsMessage, "2004 Someone");
    EXPECT_EQ(tag.Language, "eng");
    EXPECT_EQ(tag.Comment, "Nice");
    EXPECT_EQ(tag.Link, "http://example.org/");

    struct Case {
        std::string Data, Comment;
    };
    const Case comments[] = {
        {std::string("\0eng\0Nice", 9), "Nice"},        // empty description
        {std::string("\0eng\0 Nice \0\0", 13), "Nice"}, // trimmed
        {std::string("\0engNice", 8), "Nice"},          // no description: all is text
        {std::string("\0en", 3), ""},                   // shorter than encoding and language
        {std::string("\0eng", 4) + std::string(246, 'd'), std::string(246, 'd')}, // no NUL at all
    };
    for (const Case& c : comments) {
        TID3v2 comment = Load(dir, Tag(3, Frame(3, "COMM", c.Data)));
        EXPECT_EQ(comment.Comment, c.Comment) << testing::PrintToString(c.Data);
    }
}

TEST(ID3v2, RepeatedFramesGiveEveryValueAndPaddingEndsTheScan) {
    TempDir dir;
    TID3v2 twice =
        Load(dir, Tag(3, TextFrame(3, "TIT2", "First") + TextFrame(3, "TIT2", "Second")));
    EXPECT_EQ(twice.Title, "First; Second");
    EXPECT_EQ(twice.Values, (std::vector<TFieldValue>{{TMediaField::Title, "First"},
                                                      {TMediaField::Title, "Second"}}));

    // A frame hidden behind padding inside the tag is never reached.
    const std::string frames =
        TextFrame(3, "TIT2", "Title") + std::string(50, '\0') + TextFrame(3, "TPE1", "Hidden");
    TID3v2 padded = Load(dir, Tag(3, frames, 100));
    EXPECT_EQ(padded.Title, "Title");
    EXPECT_EQ(padded.Artist, "");
    // So does any first byte that is no capital letter.
    EXPECT_EQ(Load(dir, Tag(3, TextFrame(3, "TIT2", "T") + "@" + TextFrame(3, "TPE1", "A"))).Artist,
              "");
}

TEST(ID3v2, HostileFrameSizesNeverReadOutsideTheFile) {
    TempDir dir;
    const std::string artist = TextFrame(3, "TPE1", "Kept");
    // Size 0 keeps an empty text and goes on with the next frame.
    TID3v2 zero = Load(dir, Tag(3, Frame(3, "TIT2", "") + artist));
    EXPECT_EQ(zero.Title, "");
    EXPECT_EQ(zero.Artist, "Kept");

    // 0xFFFFFFFF: fewer bytes are left than a frame keeps, so the frame is
    // dropped.
    TID3v2 huge =
        Load(dir, Tag(3, artist + Frame(3, "TIT2", std::string("\0Title", 6), 0xFFFFFFFF)) +
                      std::string(TagInfo::FrameKeepSize - 100, 0));
    EXPECT_EQ(huge.Artist, "Kept");
    EXPECT_EQ(huge.Title, "");
    // With what a frame keeps behind it the frame is kept, then the scan ends.
    huge = Load(dir, Tag(3, artist + Frame(3, "TIT2", std::string("\0Title", 6), 0xFFFFFFFF)) +
                         std::string(TagInfo::FrameKeepSize, 0));
    EXPECT_EQ(huge.Title, "Title");
    // Version 4 sizes with every top bit set are large but harmless too.
    std::string v4 = Tag(4, Frame(4, "TIT2", std::string("\0Big", 4)) + TextFrame(4, "TPE1", "A"));
    v4.replace(14, 4, "\xFF\xFF\xFF\xFF");
    TID3v2 topBits = Load(dir, v4 + std::string(TagInfo::FrameKeepSize, 'a'));
    EXPECT_EQ(topBits.Title.substr(0, 3), "Big");
    EXPECT_EQ(topBits.Artist, "");

    // A frame that starts inside the tag is read even where its data runs past it.
    std::string past = Header(3, 10) + Frame(3, "TIT2", std::string("\0Beyond the tag", 15));
    EXPECT_EQ(Load(dir, past).Title, "Beyond the tag");
    // A frame header cut off by the end of the file ends the scan quietly.
    std::string cut = Tag(3, artist + Frame(3, "TIT2", "\0x").substr(0, 7));
    EXPECT_EQ(Load(dir, cut).Artist, "Kept");
    // A version 2 frame header cut off likewise.
    cut = Tag(2, TextFrame(2, "TP1", "Kept") + "TT2\0");
    EXPECT_EQ(Load(dir, cut).Artist, "Kept");
}
