// The framing of ID3v2 tags as taggers write it: extended headers,
// unsynchronisation of the whole tag (version 3) or of one frame (version 4),
// compressed frames with and without a data length indicator, encrypted and
// grouped frames, tags that declare more than the file holds, tags appended
// at the end, several values and long texts.
#include "media/MediaUtils.h"
#include "media/id3/ID3v2.h"
#include "media/toolkit/TagFields.h"
#include "support/AudioBytes.h"
#include "support/FramedTags.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace tagbytes;
using namespace std::string_literals;

namespace {

// A version 3 or 4 frame with flag bytes and the extra bytes they add.
std::string FlaggedFrame(int Version, const std::string& Id, std::uint8_t Flags,
                         const std::string& Extra, const std::string& Data) {
    const auto size = static_cast<std::uint32_t>(Extra.size() + Data.size());
    return Id + (Version == 4 ? SyncSafe(size) : BigEndian(size, 4)) + '\0' +
           static_cast<char>(Flags) + Extra + Data;
}

// A tag whose header carries Flags, around Body as it is stored.
std::string FlaggedTag(int Version, std::uint8_t Flags, const std::string& Body) {
    return Header(Version, static_cast<std::uint32_t>(Body.size()), Flags) + Body;
}

// A version 4 tag with a footer, as appended at the end of a file.
std::string AppendedTag(const std::string& Frames) {
    const auto size = static_cast<std::uint32_t>(Frames.size());
    return Header(4, size, 0x10) + Frames + "3DI\x04\0\x10"s + SyncSafe(size);
}

const std::string Audio = audiobytes::MpegFrames(3);

struct TFramingCase {
    const char* Name;
    std::string File;
    std::string Title;
    std::string Artist;
};

} // namespace

TEST(ID3v2Framing, EveryWayATagIsFramedReadsItsFrames) {
    const std::string title3 = TextFrame(3, "TIT2", "Title"),
                      artist3 = TextFrame(3, "TPE1", "Artist");
    const std::string title4 = TextFrame(4, "TIT2", "Title"),
                      artist4 = TextFrame(4, "TPE1", "Artist");
    // A Latin-1 title full of 0xFF bytes and a UTF-16 one whose mark starts
    // with one: what unsynchronisation exists for.
    const std::string yy = "\0\xFF\xFF y\xFF"s;
    const std::string utf16 = "\x01\xFF\xFE"s + "A\0\xFF\0"s;
    const std::string ext3 = BigEndian(6, 4) + std::string(6, '\0');
    const std::string ext3Crc =
        BigEndian(10, 4) + "\x80\0"s + std::string(4, '\0') + "\xFF\xFF\xFF\xFF"s;
    const std::string ext4 = SyncSafe(6) + "\x01\0"s;
    const std::string ext4Crc = SyncSafe(11) + "\x01\x20\x05\x7F\x7F\x7F\x7F"s;
    const std::string longTitle(300, 'L');
    const std::string deflatedTitle = Deflated("\0"s + longTitle);
    const TFramingCase cases[] = {
        {"plain version 3", Tag(3, title3 + artist3) + Audio, "Title", "Artist"},
        {"extended header 3", FlaggedTag(3, 0x40, ext3 + title3 + artist3) + Audio, "Title",
         "Artist"},
        {"extended header 3 with CRC", FlaggedTag(3, 0x40, ext3Crc + title3 + artist3) + Audio,
         "Title", "Artist"},
        {"extended header 4", FlaggedTag(4, 0x40, ext4 + title4 + artist4) + Audio, "Title",
         "Artist"},
        {"extended header 4 with CRC and restrictions",
         FlaggedTag(4, 0x40, ext4Crc + title4 + artist4) + Audio, "Title", "Artist"},
        {"version 3 unsynchronised tag",
         FlaggedTag(3, 0x80, Unsynchronised(Frame(3, "TIT2", yy) + Frame(3, "TPE1", utf16))) +
             Audio,
         "\xC3\xBF\xC3\xBF y\xC3\xBF", "A\xC3\xBF"},
        {"version 3 unsynchronised with an extended header",
         FlaggedTag(3, 0xC0, Unsynchronised(ext3Crc + Frame(3, "TIT2", yy) + artist3)) + Audio,
         "\xC3\xBF\xC3\xBF y\xC3\xBF", "Artist"},
        {"version 4 frame unsynchronised",
         Tag(4, FlaggedFrame(4, "TIT2", 0x02, "", Unsynchronised(yy)) + artist4) + Audio,
         "\xC3\xBF\xC3\xBF y\xC3\xBF", "Artist"},
        {"version 4 frame unsynchronised with a data length indicator",
         Tag(4, FlaggedFrame(4, "TPE1", 0x03, SyncSafe(static_cast<std::uint32_t>(utf16.size())),
                             Unsynchronised(utf16)) +
                    title4) +
             Audio,
         "Title", "A\xC3\xBF"},
        {"version 4 header flag unsynchronises every frame",
         FlaggedTag(4, 0x80, Frame(4, "TIT2", Unsynchronised(yy)) + artist4) + Audio,
         "\xC3\xBF\xC3\xBF y\xC3\xBF", "Artist"},
        {"version 4 compressed",
         Tag(4, FlaggedFrame(4, "TIT2", 0x09, SyncSafe(301), deflatedTitle) + artist4) + Audio,
         longTitle, "Artist"},
        {"version 4 compressed and unsynchronised",
         Tag(4, FlaggedFrame(4, "TIT2", 0x0B, SyncSafe(301), Unsynchronised(deflatedTitle)) +
                    artist4) +
             Audio,
         longTitle, "Artist"},
        {"version 3 compressed",
         Tag(3, FlaggedFrame(3, "TIT2", 0x80, BigEndian(301, 4), deflatedTitle) + artist3) + Audio,
         longTitle, "Artist"},
        {"data length indicator that lies",
         Tag(4, FlaggedFrame(4, "TIT2", 0x09, SyncSafe(0x0FFFFFFF), deflatedTitle) + artist4) +
             Audio,
         longTitle, "Artist"},
        {"compressed frame that is no zlib stream",
         Tag(4, FlaggedFrame(4, "TIT2", 0x09, SyncSafe(6), "\0Title"s) + artist4) + Audio, "",
         "Artist"},
        {"version 4 encrypted frame skipped",
         Tag(4, FlaggedFrame(4, "TIT2", 0x04, "\x80", "\0Secret"s) + artist4) + Audio, "",
         "Artist"},
        {"version 3 encrypted frame skipped",
         Tag(3, FlaggedFrame(3, "TIT2", 0x40, "\x80", "\0Secret"s) + artist3) + Audio, "",
         "Artist"},
        {"version 4 grouped frame",
         Tag(4, FlaggedFrame(4, "TIT2", 0x40, "\x07", "\0Title"s)) + Audio, "Title", ""},
        {"version 3 grouped frame",
         Tag(3, FlaggedFrame(3, "TIT2", 0x20, "\x07", "\0Title"s)) + Audio, "Title", ""},
        {"declared size past the end of the file", Header(3, 5000) + title3 + artist3, "Title",
         "Artist"},
        {"last frame cut by the end of the file",
         Header(3, 5000) + title3 + artist3.substr(0, artist3.size() - 2), "Title", ""},
        {"appended at the end", Audio + AppendedTag(title4 + artist4), "Title", "Artist"},
        {"appended before an ID3v1 tag", Audio + AppendedTag(title4) + V1Block(V1{}), "Title", ""},
        {"appended before an APEv2 tag and an ID3v1 tag",
         Audio + AppendedTag(artist4) + audiobytes::ApeTag({audiobytes::ApeItem("Title", "Ape")}) +
             V1Block(V1{}),
         "", "Artist"},
        {"appended without a header at its start", Audio + AppendedTag(title4).substr(3), "", ""},
    };
    TempDir dir;
    for (const TFramingCase& c : cases) {
        TID3v2 tag;
        ASSERT_TRUE(tag.LoadFromFile(dir.write("framed.mp3", c.File))) << c.Name;
        EXPECT_EQ(tag.Title, c.Title) << c.Name;
        EXPECT_EQ(tag.Artist, c.Artist) << c.Name;
        EXPECT_EQ(tag.TagFound,
                  std::string_view(c.Name) != "appended without a header at its start")
            << c.Name;
    }
}

TEST(ID3v2Framing, CompressedFramesInflateNoFurtherThanTheBound) {
    // Ten megabytes of one letter deflate to a few kilobytes; what is kept of
    // them is one value's bound.
    const std::string bomb = Deflated("\0"s + std::string(10'000'000, 'a'));
    ASSERT_LT(bomb.size(), 20'000u);
    TempDir dir;
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(
        dir.write("bomb.mp3", Tag(4, FlaggedFrame(4, "TIT2", 0x09, SyncSafe(10'000'001), bomb) +
                                         TextFrame(4, "TPE1", "After")))));
    EXPECT_EQ(tag.Title, std::string(FieldTextSize, 'a'));
    EXPECT_EQ(tag.Artist, "After");
}

TEST(ID3v2Framing, LongTextsKeepFieldTextSizeBytesCutAtACharacter) {
    TempDir dir;
    struct Case {
        const char* Name;
        std::string Data;
        std::string Title;
    };
    std::string e(3000, 'e'), eAcute;
    for (int i = 0; i < 3000; ++i)
        eAcute += "\xC3\xA9";
    std::string utf16;
    for (int i = 0; i < 5000; ++i)
        utf16 += "\xE9\0"s;
    std::string utf16Expected;
    for (std::size_t i = 0; i < FieldTextSize / 2; ++i)
        utf16Expected += "\xC3\xA9";
    const Case cases[] = {
        {"short enough", "\0"s + e, e},
        {"Latin-1 longer than the bound", "\0"s + std::string(5000, 'x'),
         std::string(FieldTextSize, 'x')},
        {"UTF-8 cut between characters", "\x03"s + "a" + eAcute,
         "a" + eAcute.substr(0, FieldTextSize - 2)},
        {"UTF-16 of 5000 characters", "\x01\xFF\xFE"s + utf16, utf16Expected},
    };
    for (const Case& c : cases) {
        TID3v2 tag;
        ASSERT_TRUE(
            tag.LoadFromFile(dir.write("long.mp3", Tag(3, Frame(3, "TIT2", c.Data)) + Audio)));
        EXPECT_EQ(tag.Title, c.Title) << c.Name;
    }
}

TEST(ID3v2Framing, EveryValueOfAFieldIsKept) {
    TempDir dir;
    struct Case {
        const char* Name;
        std::string Tag;
        std::string Artist;
        std::vector<std::string> Values;
    };
    const Case cases[] = {
        {"one value", Tag(4, TextFrame(4, "TPE1", "Ann")), "Ann", {}},
        {"version 4 values", Tag(4, TextFrame(4, "TPE1", "Ann\0Bob"s)), "Ann; Bob", {"Ann", "Bob"}},
        {"version 3 frames of one kind",
         Tag(3,
             TextFrame(3, "TPE1", "Ann") + TextFrame(3, "TALB", "X") + TextFrame(3, "TPE1", "Bob")),
         "Ann; Bob",
         {"Ann", "Bob"}},
        {"empty values left out",
         Tag(4, TextFrame(4, "TPE1", "\0Ann\0 \0Bob\0"s)),
         "Ann; Bob",
         {"Ann", "Bob"}},
    };
    for (const Case& c : cases) {
        TMediaInfo info;
        ASSERT_TRUE(ReadMediaInfo(dir.write("values.mp3", c.Tag + Audio), info)) << c.Name;
        EXPECT_EQ(info.Artist, c.Artist) << c.Name;
        std::vector<std::string> values;
        for (const TFieldValue& value : info.Values) {
            EXPECT_EQ(value.Field, TMediaField::Artist) << c.Name;
            values.push_back(value.Text);
        }
        EXPECT_EQ(values, c.Values) << c.Name;
    }
}

TEST(ID3v2Framing, BytesTheFlagsAddAreUnsynchronisedWithTheData) {
    // A group byte of 0xFF before a data length indicator that starts with a
    // zero: unsynchronised, a zero is put between them.
    const std::string title = "\0Grouped"s;
    const std::string stored = Unsynchronised("\xFF"s + SyncSafe(8) + title);
    ASSERT_EQ(stored.substr(0, 3), "\xFF\0\0"s);
    TempDir dir;
    TID3v2 tag;
    ASSERT_TRUE(
        tag.LoadFromFile(dir.write("grouped.mp3", Tag(4, FlaggedFrame(4, "TIT2", 0x43, "", stored) +
                                                             TextFrame(4, "TPE1", "After")) +
                                                      Audio)));
    EXPECT_EQ(tag.Title, "Grouped");
    EXPECT_EQ(tag.Artist, "After");
}

TEST(ID3v2Framing, NothingInsideAFrameCutByTheEndOfTheFileIsReadAsAFrame) {
    // The title runs past the end of the file; behind the part of it that is
    // kept lie bytes that look like artist frames, 16 bytes each, so that a
    // read going on from any multiple of 16 would find one.
    const std::string inside = TextFrame(3, "TPE1", "Insid");
    ASSERT_EQ(inside.size(), 16u);
    const std::size_t kept = (TagInfo::FrameKeepSize + 15) / 16 * 16;
    std::string data = "\0"s + std::string(kept - 1, 't');
    for (int i = 0; i < 1000; ++i)
        data += inside;
    TempDir dir;
    TID3v2 tag;
    ASSERT_TRUE(
        tag.LoadFromFile(dir.write("cut.mp3", Header(3, 100000) + Frame(3, "TIT2", data, 100000))));
    EXPECT_EQ(tag.Title, std::string(FieldTextSize, 't'));
    EXPECT_EQ(tag.Artist, "");
}

TEST(ID3v2Framing, ManyFramesOfOneKindCostNoMoreThanTheValuesKept) {
    std::string frames;
    for (int i = 0; i < 100; ++i)
        frames += TextFrame(3, "TPE1", "A" + std::to_string(i));
    // Empty frames by the ten thousand keep nothing and end nothing.
    for (int i = 0; i < 10000; ++i)
        frames += Frame(3, "TCON", "");
    frames += TextFrame(3, "TIT2", "Last");
    TempDir dir;
    TMediaInfo info;
    ASSERT_TRUE(ReadMediaInfo(dir.write("many.mp3", Tag(3, frames) + Audio), info));
    EXPECT_EQ(info.Title, "Last");
    EXPECT_EQ(info.Genre, "");
    std::vector<std::string> artists;
    for (const TFieldValue& value : info.Values)
        if (value.Field == TMediaField::Artist)
            artists.push_back(value.Text);
    ASSERT_EQ(artists.size(), TTagFields::MaxValues);
    EXPECT_EQ(artists.front(), "A0");
    EXPECT_EQ(artists.back(), "A" + std::to_string(TTagFields::MaxValues - 1));
}
