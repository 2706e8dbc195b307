// Tag text decoded to UTF-8: each ID3v2 encoding byte and UTF-16 byte order,
// the code page for text without a declared encoding, characters cut by the
// bound of a value, ID3v2.4 multiple values, ID3v1 fields, ID3v1 filling what
// the ID3v2 tag leaves empty, and genre references.
#include "media/MediaUtils.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/text/TagDecoder.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <iconv.h>

using namespace tagbytes;
using namespace std::string_literals;

namespace {

std::string Utf16(std::u16string_view Text, bool BigEndian) {
    std::string out;
    for (char16_t unit : Text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        out += BigEndian ? high : low;
        out += BigEndian ? low : high;
    }
    return out;
}

const std::string LeMark("\xFF\xFE", 2), BeMark("\xFE\xFF", 2);

std::string TitleOf(const TempDir& Dir, int Version, const std::string& Data,
                    const char* CodePage = DefaultTagCodePage) {
    TTagDecoder decoder(CodePage);
    TID3v2 tag;
    EXPECT_TRUE(tag.LoadFromFile(Dir.write("song.mp3", Tag(Version, Frame(Version, "TIT2", Data))),
                                 decoder));
    return tag.Title;
}

} // namespace

TEST(TagDecoding, EachEncodingByteAndByteOrder) {
    const std::u16string deja = u"D\u00e9j\u00e0 V\u00fc \U0001D11E";
    const std::string dejaUtf8 = "D\xC3\xA9j\xC3\xA0 V\xC3\xBC \xF0\x9D\x84\x9E";
    struct Case {
        const char* Name;
        std::string Data;
        std::string Title;
        const char* CodePage = DefaultTagCodePage;
    };
    const Case cases[] = {
        {"0 in the code page", "\0D\xE9j\xE0 V\xFC"s, "D\xC3\xA9j\xC3\xA0 V\xC3\xBC"},
        {"0 in Windows-1251", "\0\xCF\xF0\xE8"s, "\xD0\x9F\xD1\x80\xD0\xB8", "Windows-1251"},
        {"0 in Shift_JIS", "\0\x93\xFA\x96\x7B"s, "\xE6\x97\xA5\xE6\x9C\xAC", "Shift_JIS"},
        {"1 little-endian mark", "\x01" + LeMark + Utf16(deja, false) + std::string(2, '\0'),
         dejaUtf8},
        {"1 big-endian mark", "\x01" + BeMark + Utf16(deja, true), dejaUtf8},
        {"1 without a mark", "\x01" + Utf16(deja, false), dejaUtf8},
        {"2 big-endian", "\x02" + Utf16(deja, true), dejaUtf8},
        {"2 with a mark", "\x02" + BeMark + Utf16(deja, true), dejaUtf8},
        {"3 UTF-8", "\x03" + dejaUtf8 + std::string(1, '\0'), dejaUtf8},
        {"3 with invalid bytes",
         "\x03"
         "Caf\xE9 \xC3\xA9",
         "Caf\xC3\xA9 \xC3\xA9"},
        {"3 with invalid bytes in Windows-1251", "\x03\xCF\xF0\xE8 \xC3\xA9",
         "\xD0\x9F\xD1\x80\xD0\xB8 \xC3\xA9", "Windows-1251"},
        {"no encoding byte", "D\xE9j\xE0", "D\xC3\xA9j\xC3\xA0"},
        {"lone surrogate",
         "\x01" + LeMark +
             Utf16(u"a\xD800"
                   "b",
                   false),
         "a\xEF\xBF\xBD"
         "b"},
        {"text ends at its first NUL", "\0One\0Two"s, "One"},
        {"UTF-16 text ends at its first NUL",
         "\x01" + Utf16(u"One", false) + std::string(2, '\0') + Utf16(u"Two", false), "One"},
        {"trimmed at both ends", "\0 \t Mid dle \x01"s, "Mid dle"},
    };
    TempDir dir;
    for (const Case& c : cases)
        EXPECT_EQ(TitleOf(dir, 3, c.Data, c.CodePage), c.Title) << c.Name;
}

TEST(TagDecoding, CharacterCutByTheBoundIsDropped) {
    TempDir dir;
    const std::size_t bound = FieldTextSize;
    static_assert(FieldTextSize % 2 == 0);
    // Two-byte characters in UTF-16 fill the bound exactly.
    const std::string utf16 =
        "\x01" + LeMark + Utf16(std::u16string(bound / 2 + 10, u'\u00e9'), false);
    std::string expected;
    for (std::size_t i = 0; i < bound / 2; ++i)
        expected += "\xC3\xA9";
    EXPECT_EQ(TitleOf(dir, 3, utf16), expected);

    // A four-byte character from a surrogate pair that would end past the bound.
    std::u16string pairs = std::u16string(bound - 2, u'x') + u"\U0001D11E\U0001D11E";
    EXPECT_EQ(TitleOf(dir, 3, "\x01" + LeMark + Utf16(pairs, false)), std::string(bound - 2, 'x'));
    pairs = std::u16string(bound - 4, u'x') + u"\U0001D11E\U0001D11E";
    EXPECT_EQ(TitleOf(dir, 3, "\x01" + LeMark + Utf16(pairs, false)),
              std::string(bound - 4, 'x') + "\xF0\x9D\x84\x9E");

    // UTF-8: letters, then two-byte characters of which one byte fits.
    const std::string utf8 = "\x03" + std::string(bound - 1, 'a') + "\xC3\xA9\xC3\xA9";
    EXPECT_EQ(TitleOf(dir, 3, utf8), std::string(bound - 1, 'a'));
    // Not cut, the same lone byte is read in the code page.
    EXPECT_EQ(TitleOf(dir, 3, "\x03" + std::string(10, 'a') + "\xC3"),
              std::string(10, 'a') + "\xC3\x83");

    // Shift_JIS: letters, then two-byte characters (three in UTF-8) of which
    // the first fits and the second does not.
    const std::string sjis =
        std::string(1, '\0') + std::string(bound - 3, 'a') + "\x93\xFA\x93\xFA";
    EXPECT_EQ(TitleOf(dir, 3, sjis, "Shift_JIS"), std::string(bound - 3, 'a') + "\xE6\x97\xA5");
}

TEST(TagDecoding, Version4ValuesAreJoinedAndOtherVersionsKeepTheFirst) {
    TempDir dir;
    const std::string artists = "\0Ann\0 Bob \0\0Cy\0"s;
    const std::string frames = Frame(4, "TPE1", artists) +
                               Frame(4, "TIT2",
                                     "\x01" + LeMark + Utf16(u"One", false) + std::string(2, '\0') +
                                         BeMark + Utf16(u"Two", true)) +
                               Frame(4, "TCON",
                                     "\0"
                                     "17\0(RX)\0Jazz Fusion"s) +
                               Frame(4, "TDRC",
                                     "\0"
                                     "2001-05-06\0"
                                     "2003"s);
    TID3v2 v4;
    ASSERT_TRUE(v4.LoadFromFile(dir.write("v4.mp3", Tag(4, frames))));
    EXPECT_EQ(v4.Artist, "Ann; Bob; Cy");
    EXPECT_EQ(v4.Title, "One; Two");
    EXPECT_EQ(v4.Genre, "Rock; Remix; Jazz Fusion");
    EXPECT_EQ(v4.Year, "2001");

    TID3v2 v3;
    ASSERT_TRUE(v3.LoadFromFile(dir.write("v3.mp3", Tag(3, Frame(3, "TPE1", artists)))));
    EXPECT_EQ(v3.Artist, "Ann");
}

TEST(TagDecoding, Id3v1FieldsEndAtTheirFirstNulInTheCodePage) {
    TempDir dir;
    V1 fields;
    fields.Title = "  D\xE9j\xE0 V\xFC  ";
    fields.Artist = std::string("A\0B", 3);
    fields.Album = "\xCF\xF0\xE8";
    const std::string file = dir.write("v1.mp3", V1Block(fields));
    TID3v1 western;
    ASSERT_TRUE(western.LoadFromFile(file));
    EXPECT_EQ(western.Title, "D\xC3\xA9j\xC3\xA0 V\xC3\xBC");
    EXPECT_EQ(western.Artist, "A");
    TTagDecoder cyrillic("Windows-1251");
    TID3v1 russian;
    ASSERT_TRUE(russian.LoadFromFile(file, cyrillic));
    EXPECT_EQ(russian.Album, "\xD0\x9F\xD1\x80\xD0\xB8");
}

TEST(TagDecoding, Id3v1FillsEachFieldTheId3v2TagLeavesEmpty) {
    V1 full;
    full.Title = "V1 Title";
    full.Artist = "V1 Artist";
    full.Album = "V1 Album";
    full.Year = "1999";
    full.Separator = 0;
    full.Track = 9;
    full.Genre = 17;
    const TMediaInfo fromV1{"V1 Title", "V1 Artist", "V1 Album", "Rock", "1999", "9"};
    const TMediaInfo fromV2{"T", "Ar", "Al", "Jazz", "2001", "3"};
    const char* ids[] = {"TIT2", "TPE1", "TALB", "TCON", "TYER", "TRCK"};
    std::string TMediaInfo::*fields[] = {&TMediaInfo::Title, &TMediaInfo::Artist,
                                         &TMediaInfo::Album, &TMediaInfo::Genre,
                                         &TMediaInfo::Year,  &TMediaInfo::Track};
    TempDir dir;
    for (int missing = 0; missing < 6; ++missing) {
        std::string frames;
        for (int field = 0; field < 6; ++field)
            frames += TextFrame(3, ids[field], field == missing ? "  " : fromV2.*fields[field]);
        TMediaInfo info;
        ASSERT_TRUE(
            ReadMediaInfo(dir.write("both.mp3", Tag(3, frames) + "audio" + V1Block(full)), info));
        TMediaInfo expected = fromV2;
        expected.*fields[missing] = fromV1.*fields[missing];
        EXPECT_EQ(info, expected) << ids[missing];
    }

    // An ID3v1.0 tag has no track and a genre byte of 255 no genre: they fill nothing.
    V1 v10 = full;
    v10.Separator = v10.Track = -1;
    v10.Genre = 255;
    TMediaInfo info;
    ASSERT_TRUE(ReadMediaInfo(
        dir.write("v10.mp3", Tag(3, TextFrame(3, "TIT2", "T")) + "audio" + V1Block(v10)), info));
    EXPECT_EQ(info, (TMediaInfo{"T", "V1 Artist", "V1 Album", "", "1999", ""}));
}

TEST(TagDecoding, GenreReferencesAsTheId3v2StandardReadsThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"(17)", "Rock"},
        {"(17)Rock", "Rock"},
        {"(17)(6)", "Rock; Grunge"},
        {"(4)Eurodisco", "Eurodisco"},
        {"17", "Rock"},
        {"(RX)", "Remix"},
        {"(CR)", "Cover"},
        {"(RX)(CR)(0)", "Remix; Cover; Blues"},
        {"Rock (live)", "Rock (live)"},
        {"(200)", "(200)"},
        {"(17)(200)", "(200)"},
        {"(17)(200)Live", "(200)Live"},
        {"(13) Rock", "Rock"},
        {"((17) is a number", "(17) is a number"},
        {"(17)((Live)", "(Live)"},
        {"0", "Blues"},
        {"147", "Synthpop"},
        {"148", "148"},
        {"017", "Rock"},
        {"-1", "-1"},
        {"1a", "1a"},
        {"()", "()"},
        {"(17", "(17"},
        {"(rx)", "(rx)"},
        {"Rock", "Rock"},
        {"", ""},
    };
    for (const auto& [text, genre] : cases)
        EXPECT_EQ(GenreText(text), genre) << text;
    TempDir dir;
    TID3v2 tag;
    ASSERT_TRUE(tag.LoadFromFile(dir.write("g.mp3", Tag(3, TextFrame(3, "TCON", " (17)(6) ")))));
    EXPECT_EQ(tag.Genre, "Rock; Grunge");
}

namespace {

// A UTF-8 text as a tagger working in the code page IconvName wrote it.
std::string Written(std::string_view Utf8, const char* IconvName) {
    iconv_t h = iconv_open(IconvName, "UTF-8");
    EXPECT_NE(h, reinterpret_cast<iconv_t>(-1)) << IconvName;
    if (h == reinterpret_cast<iconv_t>(-1))
        return {};
    std::string out(Utf8.size() * 4, '\0');
    char* in = const_cast<char*>(Utf8.data());
    std::size_t inLeft = Utf8.size();
    char* outPointer = out.data();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(h, &in, &inLeft, &outPointer, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(h);
    out.resize(out.size() - outLeft);
    return out;
}

std::string Undeclared(const char* CodePage, std::string_view Bytes) {
    TTagDecoder decoder(CodePage);
    std::string out;
    decoder.AppendUndeclared(out, Bytes);
    return out;
}

} // namespace

// Undeclared 8-bit text is read in a non-Latin code page only when it looks
// written in it; Western words then keep their letters. Latin pages read all.
TEST(TagDecoding, NonLatinCodePagesReadOnlyTextThatLooksWrittenInThem) {
    struct Case {
        const char* CodePage;
        std::string Bytes;
        std::string Expected; // empty: the code page's own reading of Bytes
    };
    const std::string groupa = "Группа крови", ellas = "Ελλάς", deja = "Déjà Vü", groesse = "Größe",
                      oeuvre = "Œuvre";
    const Case cases[] = {
        // Words of each non-Latin page, written in it.
        {"Windows-1251", Written(groupa, "CP1251"), groupa},
        {"KOI8-R", Written(groupa, "KOI8-R"), groupa},
        {"Windows-1253", Written(ellas, "CP1253"), ellas},
        {"Windows-1255", Written("שלום", "CP1255"), "שלום"},
        {"Windows-1256", Written("مرحبا", "CP1256"), "مرحبا"},
        {"Shift_JIS", Written("日本", "CP932"), "日本"},
        {"GBK", Written("中文", "CP936"), "中文"},
        {"Big5", Written("音樂", "CP950"), "音樂"},
        {"EUC-KR", Written("한국", "CP949"), "한국"},
        // Western words under those pages: no run long enough, read as Western.
        {"Windows-1251", Written(deja, "CP1252"), deja},
        {"Windows-1251", Written(groesse, "CP1252"), groesse},
        {"KOI8-R", Written(oeuvre, "CP1252"), oeuvre},
        {"Windows-1253", Written(deja, "CP1252"), deja},
        {"Windows-1256", Written(oeuvre, "CP1252"), oeuvre},
        {"Shift_JIS", Written(deja, "CP1252"), deja},
        {"Big5", Written(oeuvre, "CP1252"), oeuvre},
        // Characters whose second byte is below 0x80 make no run: such a text
        // reads as Western, as the rule says.
        {"Big5", Written("臺灣", "CP950"), "»OÆW"},
        {"Shift_JIS", Written("テスト", "CP932"), "ƒeƒXƒg"},
        // Two bytes in a row are a character to a multi-byte page.
        {"Shift_JIS", Written(groesse, "CP1252"), ""},
        {"GBK", "ab\xE9\xE0", ""},
        // Three in a row for a single-byte page; two are not enough.
        {"Windows-1251", "ab\xC4\xE0\xF0", "abДар"},
        {"Windows-1251", "ab\xE9\xE0", "abéà"},
        // A byte Windows-1252 leaves undefined decides alone.
        {"Windows-1251", "\x81", "Ѓ"},
        {"Windows-1251", "Caf\x90", "Cafђ"},
        {"Windows-1253", "x\x8Dy", ""},
        // Latin pages read every undeclared text.
        {"Windows-1250", Written(deja, "CP1252"), "Déjŕ Vü"},
        {"Windows-1252", Written(oeuvre, "CP1252"), oeuvre},
        {"Windows-1254", "\xFD", "ı"},
        // Text without bytes of 0x80 or above reads alike everywhere.
        {"Shift_JIS", "Plain", "Plain"},
    };
    for (const Case& c : cases) {
        std::string expected = c.Expected;
        if (expected.empty()) {
            TTagDecoder page(c.CodePage);
            page.AppendCodePage(expected, c.Bytes);
        }
        EXPECT_EQ(Undeclared(c.CodePage, c.Bytes), expected) << c.CodePage << " " << c.Expected;
    }
}

TEST(TagDecoding, Id3TextsFollowTheCodePageRule) {
    TempDir dir;
    // ID3v2 text with encoding byte 0: a Western title stays Western under a
    // Cyrillic page, a Russian one is read in it.
    EXPECT_EQ(TitleOf(dir, 3, "\0"s + Written("Déjà Vü", "CP1252"), "Windows-1251"), "Déjà Vü");
    EXPECT_EQ(TitleOf(dir, 4, "\0"s + Written("Группа крови", "CP1251"), "Windows-1251"),
              "Группа крови");
    // ID3v1 fields, each decided on its own.
    V1 fields;
    fields.Title = Written("Ελλάς", "CP1253");
    fields.Artist = Written("Größe", "CP1252");
    TTagDecoder greek("Windows-1253");
    TID3v1 tag;
    ASSERT_TRUE(tag.LoadFromFile(dir.write("v1.mp3", V1Block(fields)), greek));
    EXPECT_EQ(tag.Title, "Ελλάς");
    EXPECT_EQ(tag.Artist, "Größe");
}
