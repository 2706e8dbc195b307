// The readers of the other audio formats against files built byte by byte:
// every container with the same tag, the field mapping, layouts that cost
// extra reads (pictures first, packets over pages, moov after mdat, 64-bit
// sizes), lying lengths, truncations and flipped bytes, content against
// extension, and the stated lengths.
#include "media/AudioTags.h"
#include "media/toolkit/MediaFile.h"
#include "media/toolkit/TagFields.h"
#include "support/AudioBytes.h"
#include "support/MemoryFile.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace audiobytes;

namespace {

const TMediaInfo Untouched{"t", "a", "al", "g", "y", "tr"};

TAudioTag FullTag() {
    TAudioTag tag;
    tag.Title = "Title";
    tag.Artist = "Artist";
    tag.Album = "Album";
    tag.Genres = {"Rock"};
    tag.Date = "2001-05-06";
    tag.Track = "3";
    tag.TrackTotal = "12";
    return tag;
}

const TMediaInfo FullInfo{"Title", "Artist", "Album", "Rock", "2001", "3/12"};

// Info with Field set to several values, as a reader of repeated items gives it.
TMediaInfo Valued(TMediaInfo Info, TMediaField Field, const std::vector<std::string>& Values) {
    Info.SetValues(Field, Values);
    return Info;
}

struct FormatCase {
    const char* Name;
    std::string Bytes;
    TAudioFormat Format;
    TContentFormat Content;
    // ASF and RIFF INFO have no item for the track count.
    bool WithTrackCount = true;
};

tagbytes::V1 TitledV1(const char* Title) {
    tagbytes::V1 fields;
    fields.Title = Title;
    return fields;
}

std::string WithId3(const std::string& Bytes) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", "From ID3"), 10) + Bytes;
}

// Every container and layout carrying FullTag().
std::vector<FormatCase> AllFormats() {
    const TAudioTag tag = FullTag();
    TMp4Layout endWide;
    endWide.MoovAtEnd = true;
    endWide.WideMdat = true;
    endWide.MdatSize = 3 << 20;
    endWide.TrackPadding = 20000;
    TMp4Layout plainEnd;
    plainEnd.MoovAtEnd = true;
    return {
        {"flac", FlacFile(tag), TAudioFormat::Flac, TContentFormat::FLAC},
        {"flac_picture_first", FlacFile(tag, 200000), TAudioFormat::Flac, TContentFormat::FLAC},
        {"flac_behind_id3v2", WithId3(FlacFile(tag)), TAudioFormat::Flac, TContentFormat::FLAC},
        {"vorbis", OggFile(TOggCodec::Vorbis, tag), TAudioFormat::Ogg, TContentFormat::Vorbis},
        {"vorbis_comment_over_pages", OggFile(TOggCodec::Vorbis, tag, 2, 90000), TAudioFormat::Ogg,
         TContentFormat::Vorbis},
        {"opus", OggFile(TOggCodec::Opus, tag), TAudioFormat::Ogg, TContentFormat::Opus},
        {"opus_comment_over_pages", OggFile(TOggCodec::Opus, tag, 1, 300), TAudioFormat::Ogg,
         TContentFormat::Opus},
        {"ogg_flac", OggFile(TOggCodec::Flac, tag), TAudioFormat::Ogg, TContentFormat::FLAC},
        {"ogg_flac_over_pages", OggFile(TOggCodec::Flac, tag, 3, 5000), TAudioFormat::Ogg,
         TContentFormat::FLAC},
        {"m4a", Mp4File(tag), TAudioFormat::Mp4, TContentFormat::AAC},
        {"m4a_moov_after_mdat", Mp4File(tag, plainEnd), TAudioFormat::Mp4, TContentFormat::AAC},
        {"m4a_moov_after_wide_mdat", Mp4File(tag, endWide), TAudioFormat::Mp4, TContentFormat::AAC},
        {"wma", AsfFile(tag), TAudioFormat::Asf, TContentFormat::WMA, false},
        {"wav_id3",
         RiffFile(WavFormat() + Chunk("data", std::string(1000, '\0')) +
                  Chunk("id3 ", Id3Tag(tag))),
         TAudioFormat::Wav, TContentFormat::WAV},
        {"wav_info", RiffFile(WavFormat() + InfoList(tag) + Chunk("data", std::string(999, '\0'))),
         TAudioFormat::Wav, TContentFormat::WAV, false},
        {"aiff_id3", AiffFile(Chunk("ID3 ", Id3Tag(tag), true)), TAudioFormat::Aiff,
         TContentFormat::AIFF},
        {"ape", ApeFile("MAC ", tag), TAudioFormat::Ape, TContentFormat::APE},
        {"wavpack", ApeFile("wvpk", tag), TAudioFormat::Ape, TContentFormat::WavPack},
        {"musepack", ApeFile("MPCK", tag), TAudioFormat::Ape, TContentFormat::Musepack},
        {"ape_before_id3v1",
         "MAC " + std::string(40, '\0') + ApeTag(ApeItems(tag)) + tagbytes::V1Block({}),
         TAudioFormat::Ape, TContentFormat::APE},
    };
}

bool ValidUtf8(const std::string& Text) {
    return Utf8FromUtf8(Text, TCut::Whole) == Text;
}

// What any read must keep to, whatever the bytes: texts of at most FieldTextSize bytes
// of valid UTF-8, and the record untouched when nothing was found.
void ExpectSane(bool Found, const TMediaInfo& Info) {
    if (!Found) {
        EXPECT_EQ(Info, Untouched);
        return;
    }
    for (const std::string* text :
         {&Info.Title, &Info.Artist, &Info.Album, &Info.Genre, &Info.Year, &Info.Track}) {
        EXPECT_LE(text->size(), FieldTextSize);
        EXPECT_TRUE(ValidUtf8(*text)) << testing::PrintToString(*text);
    }
}

} // namespace

TEST(AudioTags, EveryContainerGivesTheSameSixFields) {
    TempDir dir;
    for (const FormatCase& c : AllFormats()) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.write(std::string(c.Name) + ".bin", c.Bytes);
        TMediaFile file(path);
        EXPECT_EQ(DetectAudioFormat(file), c.Format);
        EXPECT_EQ(DetectContentFormat(file), c.Content);
        TMediaInfo info = Untouched;
        ASSERT_TRUE(ReadTags(path, TTagSources::OtherFormat, info));
        TMediaInfo expected = FullInfo;
        if (!c.WithTrackCount)
            expected.Track = "3";
        expected.Format = c.Content;
        EXPECT_EQ(info, expected);
    }
}

TEST(AudioTags, FieldsMapAsLaidDown) {
    struct Case {
        const char* Name;
        std::vector<std::string> Items;
        bool Found;
        TMediaInfo Expected;
    };
    // Longer than the bound of a value; 3-byte characters meet the bound
    // in the middle of one.
    static_assert(FieldTextSize % 3 != 0);
    const std::string longText(FieldTextSize + 50, 'x');
    std::string euros;
    for (std::size_t i = 0; i < FieldTextSize / 3 + 20; ++i)
        euros += "\xE2\x82\xAC";
    const Case cases[] = {
        {"album artist serves when artist is absent",
         {"ALBUMARTIST=Band"},
         true,
         {"", "Band", "", "", "", "", "Band"}},
        {"artist wins over album artist",
         {"ALBUMARTIST=Band", "ARTIST=Singer"},
         true,
         {"", "Singer", "", "", "", "", "Band"}},
        {"genres are joined",
         {"GENRE=Rock", "GENRE=Pop"},
         true,
         Valued({}, TMediaField::Genre, {"Rock", "Pop"})},
        {"year from date", {"DATE=1999-12-31"}, true, {"", "", "", "", "1999", ""}},
        {"year from year", {"YEAR=1987"}, true, {"", "", "", "", "1987", ""}},
        {"date wins over year", {"YEAR=1987", "DATE=2003"}, true, {"", "", "", "", "2003", ""}},
        {"four characters, not bytes",
         {"DATE=\xC3\xA9t\xC3\xA9 2001"},
         true,
         {"", "", "", "", "\xC3\xA9t\xC3\xA9 ", ""}},
        {"track with a separate total",
         {"TRACKNUMBER=3", "TRACKTOTAL=12"},
         true,
         {"", "", "", "", "", "3/12"}},
        {"total under its other name",
         {"TOTALTRACKS=9", "TRACKNUMBER=4"},
         true,
         {"", "", "", "", "", "4/9"}},
        {"track that has its total",
         {"TRACKNUMBER=3/12", "TRACKTOTAL=10"},
         true,
         {"", "", "", "", "", "3/12"}},
        {"a total alone is no track",
         {"TRACKTOTAL=10", "TITLE=x"},
         true,
         {"x", "", "", "", "", ""}},
        {"names in any letter case",
         {"title=a", "Artist=b", "aLbUm=c"},
         true,
         {"a", "b", "c", "", "", ""}},
        {"every value is kept",
         {"TITLE=one", "TITLE=two"},
         true,
         Valued({}, TMediaField::Title, {"one", "two"})},
        {"artists kept, empty ones left out",
         {"ARTIST=Ann", "ARTIST= ", "ARTIST=Bob"},
         true,
         Valued({}, TMediaField::Artist, {"Ann", "Bob"})},
        {"texts are trimmed", {"TITLE=  spaced \t"}, true, {"spaced", "", "", "", "", ""}},
        {"long text is cut to the bound",
         {"TITLE=" + longText},
         true,
         {std::string(FieldTextSize, 'x'), "", "", "", "", ""}},
        {"a cut character is dropped",
         {"TITLE=" + euros},
         true,
         {euros.substr(0, FieldTextSize / 3 * 3), "", "", "", "", ""}},
        {"bad UTF-8 becomes U+FFFD",
         {"TITLE=a\xFF"
          "b"},
         true,
         {"a\xEF\xBF\xBD"
          "b",
          "", "", "", "", ""}},
        {"only unknown items is no tag", {"COMMENT=hello", "ENCODER=x"}, false, Untouched},
        {"empty values are no tag", {"TITLE=", "ARTIST= "}, false, Untouched},
        {"an item without = is passed over",
         {"TITLE", "ALBUM=ok"},
         true,
         {"", "", "ok", "", "", ""}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.write(
            "a.flac", "fLaC" + FlacBlocks({{0, StreamInfo()}, {4, VorbisComment(c.Items)}}));
        TMediaInfo info = Untouched;
        EXPECT_EQ(ReadTags(path, TTagSources::OtherFormat, info), c.Found);
        TMediaInfo expected = c.Expected;
        if (c.Found)
            expected.Format = TContentFormat::FLAC;
        EXPECT_EQ(info, expected);
    }
}

TEST(AudioTags, EachFormatMapsItsOwnItems) {
    TAudioTag bandOnly;
    bandOnly.AlbumArtists = {"Band"};
    bandOnly.Title = "T";
    TAudioTag genres = FullTag();
    genres.Genres = {"Rock", "Pop"};
    TAudioTag numericTrack = FullTag();
    numericTrack.TrackTotal.clear();
    TMp4Layout gnre;
    gnre.GenreNumber = 18; // ID3v1 genre 17
    struct Case {
        const char* Name;
        std::string Bytes;
        TMediaInfo Expected;
        TContentFormat Content;
    };
    const TMediaInfo band{"T", "Band", "", "", "", "", "Band"};
    const Case cases[] = {
        {"mp4 aART for the artist", Mp4File(bandOnly), band, TContentFormat::AAC},
        {"mp4 gnre is a genre number", Mp4File(FullTag(), gnre), FullInfo, TContentFormat::AAC},
        {"asf album artist", AsfFile(bandOnly), band, TContentFormat::WMA},
        {"asf genres joined", AsfFile(genres),
         Valued({"Title", "Artist", "Album", "", "2001", "3"}, TMediaField::Genre, {"Rock", "Pop"}),
         TContentFormat::WMA},
        {"asf track as a number",
         AsfFile(numericTrack, true),
         {"Title", "Artist", "Album", "Rock", "2001", "3"},
         TContentFormat::WMA},
        {"asf old zero-based track",
         AsfHeaderGuid + LittleEndian(30 + 24 + 2 + 40, 8) + LittleEndian(1, 4) + "\x01\x02" +
             AsfObject(AsfExtendedGuid,
                       LittleEndian(1, 2) + AsfDescriptor("WM/Track", 3, LittleEndian(4, 4))),
         {"", "", "", "", "", "5"},
         TContentFormat::WMA},
        {"ape genres joined", ApeFile("wvpk", genres),
         Valued({"Title", "Artist", "Album", "", "2001", "3/12"}, TMediaField::Genre,
                {"Rock", "Pop"}),
         TContentFormat::WavPack},
        {"ape binary items are not text",
         "MAC " + ApeTag({ApeItem("Title", "bin", 2), ApeItem("Album", "A")}),
         {"", "", "A", "", "", ""},
         TContentFormat::APE},
        {"wav INFO track under IPRT",
         RiffFile(InfoList(FullTag(), "IPRT")),
         {"Title", "Artist", "Album", "Rock", "2001", "3"},
         TContentFormat::WAV},
        {"wav INFO in Latin-1",
         RiffFile(Chunk("LIST", "INFO" + Chunk("INAM", "Caf\xE9"))),
         {"Caf\xC3\xA9", "", "", "", "", ""},
         TContentFormat::WAV},
        {"wav ID3 wins over INFO", RiffFile(InfoList(bandOnly) + Chunk("ID3 ", Id3Tag(FullTag()))),
         FullInfo, TContentFormat::WAV},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMediaInfo info = Untouched;
        EXPECT_TRUE(ReadTags(dir.write("f", c.Bytes), TTagSources::OtherFormat, info));
        TMediaInfo expected = c.Expected;
        expected.Format = c.Content;
        EXPECT_EQ(info, expected);
    }
}

TEST(AudioTags, SourcesDecideWhichTagsCount) {
    TempDir dir;
    const std::string id3Mp3 = WithId3(MpegFrames(3));
    const std::string apeMp3 = MpegFrames(3) + ApeTag(ApeItems(FullTag()));
    const std::string bothMp3 = WithId3(apeMp3);
    const TMediaInfo fromId3{"From ID3", "", "", "", "", ""};
    using enum TContentFormat;
    struct Case {
        const char* Name;
        std::string Bytes;
        TTagSources Sources;
        bool Found;
        TMediaInfo Expected;
        TContentFormat Content = Unknown;
    };
    const Case cases[] = {
        {"APEv2 unseen by the ID3 reader", apeMp3, TTagSources::ID3, false, Untouched},
        {"APEv2 counts without ID3", apeMp3, TTagSources::ID3ThenAPE, true, FullInfo, MP3},
        {"ID3 wins over APEv2", bothMp3, TTagSources::ID3ThenAPE, true, fromId3, MP3},
        {"APEv2 wins over ID3v1", apeMp3 + tagbytes::V1Block(TitledV1("V1")),
         TTagSources::ID3ThenAPE, true, FullInfo, MP3},
        {"ID3v1 fills what APEv2 lacks",
         MpegFrames(3) + ApeTag({ApeItem("Title", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCF\x82")}) +
             tagbytes::V1Block(TitledV1("????")),
         TTagSources::ID3ThenAPE,
         true,
         {"\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCF\x82", "", "", "", "", ""},
         MP3},
        {"a FLAC stream behind an MP3 name is read as FLAC", FlacFile(FullTag()),
         TTagSources::ID3ThenAPE, true, FullInfo, FLAC},
        {"an Ogg stream behind an MP3 name is read as Ogg", OggFile(TOggCodec::Vorbis, FullTag()),
         TTagSources::ID3ThenAPE, true, FullInfo, Vorbis},
        {"MP3 behind a FLAC name: no FLAC tag", id3Mp3, TTagSources::OtherFormat, false, Untouched},
        {"MP3 behind a FLAC name: ID3 after", id3Mp3, TTagSources::OtherFormatThenID3, true,
         fromId3, MP3},
        {"text behind an m4a name", "hello, not a movie", TTagSources::OtherFormatThenID3, false,
         Untouched},
        {"the content decides, not the name", FlacFile(FullTag()), TTagSources::OtherFormat, true,
         FullInfo, FLAC},
        {"an empty comment falls back to ID3", WithId3(FlacFile({})),
         TTagSources::OtherFormatThenID3, true, fromId3, FLAC},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMediaInfo info = Untouched;
        EXPECT_EQ(ReadTags(dir.write("x.m4a", c.Bytes), c.Sources, info), c.Found);
        TMediaInfo expected = c.Expected;
        if (c.Found)
            expected.Format = c.Content;
        EXPECT_EQ(info, expected);
    }
}

TEST(AudioTags, LyingLengthsGiveNoTag) {
    const std::string comment = VorbisComment(VorbisItems(FullTag()));
    std::string hugeCount = comment;
    hugeCount.replace(4 + 11, 4, LittleEndian(0xFFFFFFFF, 4));
    std::string hugeVendor = comment;
    hugeVendor.replace(0, 4, LittleEndian(0xFFFFFFF0, 4));
    std::string hugeItem = VorbisComment({"TITLE=x"});
    hugeItem.replace(4 + 11 + 4, 4, LittleEndian(0x7FFFFFFF, 4));
    std::string mp4TooBig = Mp4File(FullTag());
    const std::size_t moov = mp4TooBig.find("moov") - 4;
    mp4TooBig.replace(moov, 4, BigEndian(0x7FFFFFFF, 4));
    std::string ilstTooBig = Mp4File(FullTag());
    const std::size_t ilst = ilstTooBig.find("ilst") - 4;
    ilstTooBig.replace(ilst, 4, BigEndian(0x00FFFFFF, 4));
    std::string asfTooBig = AsfFile(FullTag());
    const std::size_t content = asfTooBig.find(AsfContentGuid);
    asfTooBig.replace(content + 16, 8, LittleEndian(0xFFFFFFFFFFFFull, 8));
    std::string apeTooBig = ApeFile("MAC ", FullTag());
    apeTooBig.replace(apeTooBig.size() - 20, 4, LittleEndian(0xFFFFFF, 4));
    std::string oggTableBeyond = OggFile(TOggCodec::Opus, FullTag());
    oggTableBeyond.resize(oggTableBeyond.find("OpusTags") + 20);
    struct Case {
        const char* Name;
        std::string Bytes;
    };
    const Case cases[] = {
        {"flac block longer than the file",
         "fLaC" + FlacBlocks({{0, StreamInfo()}, {4, comment, 0xFFFFFF}})},
        {"flac vendor beyond the block", "fLaC" + FlacBlocks({{4, hugeVendor}})},
        {"flac item beyond the block", "fLaC" + FlacBlocks({{4, hugeItem}})},
        {"flac endless empty blocks", "fLaC" + std::string(40000, '\x01')},
        {"mp4 moov larger than the file", mp4TooBig},
        {"mp4 ilst larger than its parent", ilstTooBig},
        {"mp4 box of size 4", Box("ftyp", "M4A ") + BigEndian(4, 4) + "moov"},
        {"asf object larger than the header", asfTooBig},
        {"ape tag larger than the file", apeTooBig},
        {"ogg packet cut by the end of the file", oggTableBeyond},
        {"wav chunk larger than the file",
         RiffFile(Chunk("LIST", "INFO" + Chunk("INAM", "x")).substr(0, 4) +
                  LittleEndian(0x7FFFFFF0, 4) + "INFO")},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMediaInfo info = Untouched;
        EXPECT_FALSE(ReadTags(dir.write("f", c.Bytes), TTagSources::OtherFormat, info));
        EXPECT_EQ(info, Untouched);
        EXPECT_LE(ReadDurationMs(dir.str() + "/f"), std::int64_t{1} << 62);
    }
    // Items read whole before the damage are kept, as a cut file keeps them.
    TMediaInfo info = Untouched;
    EXPECT_TRUE(ReadTags(dir.write("f", "fLaC" + FlacBlocks({{4, hugeCount}})),
                         TTagSources::OtherFormat, info));
    TMediaInfo expected = FullInfo;
    expected.Format = TContentFormat::FLAC;
    EXPECT_EQ(info, expected);
}

// Every prefix of every format, and seeded flips of single bytes: no crash,
// no read outside the file (the sanitizer build watches), sane results.
TEST(AudioTags, TruncatedAndDamagedFilesStaySane) {
    TMemoryFile file;
    std::mt19937 random(11);
    for (const FormatCase& c : AllFormats()) {
        SCOPED_TRACE(c.Name);
        const std::string& bytes = c.Bytes;
        if (bytes.size() > (1 << 20))
            continue; // its head is another case's; its size adds only time
        const std::size_t step = std::max<std::size_t>(1, bytes.size() / 1000);
        for (std::size_t length = 0; length < bytes.size(); length += step) {
            TMediaInfo info = Untouched;
            const std::string& path = file.Holding(bytes.substr(0, length));
            ExpectSane(ReadTags(path, TTagSources::OtherFormat, info), info);
            ReadDurationMs(path);
        }
        for (int round = 0; round < 500; ++round) {
            std::string damaged = bytes;
            for (int flips = 0; flips < 4; ++flips)
                damaged[random() % std::min<std::size_t>(damaged.size(), 8192)] =
                    static_cast<char>(random());
            TMediaInfo info = Untouched;
            const std::string& path = file.Holding(damaged);
            ExpectSane(ReadTags(path, TTagSources::OtherFormat, info), info);
            ReadDurationMs(path);
        }
    }
}

TEST(AudioTags, SpecialFilesAreNoTagAtOnce) {
    TempDir dir;
    const std::string fifo = dir.str() + "/pipe.flac";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int writer = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    for (const std::string& path : {fifo, dir.str(), std::string("/dev/zero")}) {
        TMediaInfo info = Untouched;
        std::int64_t size = 0;
        EXPECT_FALSE(
            ReadTagsAt(AT_FDCWD, path.c_str(), TTagSources::OtherFormatThenID3, info, size));
        EXPECT_EQ(size, -1);
        EXPECT_EQ(ReadDurationMs(path), -1);
    }
    close(writer);
}

TEST(AudioTags, DurationsAsTheFormatsStateThem) {
    struct Case {
        const char* Name;
        std::string Bytes;
        std::int64_t Expected;
    };
    TMp4Layout end;
    end.MoovAtEnd = true;
    end.WideMdat = true;
    std::string mp4NoMvhd = Mp4File({}, {}, 1000, 2500);
    mp4NoMvhd.replace(mp4NoMvhd.find("mvhd"), 4, "xxxx");
    const Case cases[] = {
        {"flac streaminfo", FlacFile(FullTag(), 0, 441000 * 3), 30000},
        {"flac behind a picture and ID3v2", WithId3(FlacFile(FullTag(), 9000, 22050)), 500},
        {"vorbis last granule", OggFile(TOggCodec::Vorbis, FullTag(), 255, 0, 44100 * 7), 7000},
        {"opus granule less pre-skip", OggFile(TOggCodec::Opus, FullTag(), 255, 0, 48000 * 2 + 312),
         2000},
        {"ogg flac", OggFile(TOggCodec::Flac, FullTag(), 255, 0, 88200), 2000},
        {"mp4 mvhd", Mp4File(FullTag(), {}, 600, 1500), 2500},
        {"mp4 mvhd after mdat", Mp4File(FullTag(), end, 44100, 441000), 10000},
        {"mp4 mdhd without mvhd", mp4NoMvhd, 2500},
        {"asf play time less preroll", AsfFile(FullTag(), false, 12345, 3000), 12345},
        {"wav data over byte rate",
         RiffFile(WavFormat() + Chunk("data", std::string(176400 / 2, '\0'))), 500},
        {"aiff frames over rate", AiffFile("", 44100 * 3), 3000},
        {"mp3 xing", WithId3(XingFrame(100) + MpegFrames(5)), 2612},
        {"mp3 info", XingFrame(1000, "Info") + MpegFrames(5), 26122},
        {"mp3 vbri", FrameWith("\xFF\xFB\x90\x00", 36, Vbri(500)) + MpegFrames(5), 13061},
        {"mp3 vbri behind ID3v2", WithId3(FrameWith("\xFF\xFB\x90\x00", 36, Vbri(500))), 13061},
        {"mp3 xing, MPEG-1 mono",
         FrameWith("\xFF\xFB\x90\xC0", 21, "Xing" + BigEndian(1, 4) + BigEndian(200, 4)), 5224},
        {"mp3 xing, MPEG-2 mono at 22.05 kHz",
         FrameWith("\xFF\xF3\x80\xC0", 13, "Xing" + BigEndian(1, 4) + BigEndian(1000, 4), 144),
         26122},
        // A Xing header without its frame count says nothing: the bit rate does.
        {"mp3 xing without frames",
         FrameWith("\xFF\xFB\x90\x00", 36, "Xing" + BigEndian(0, 4)) + MpegFrames(99), 2606},
        {"mp3 constant bit rate", MpegFrames(100), 2606},
        {"mp3 constant bit rate, zero bytes after the ID3v2 tag",
         WithId3(std::string(300, '\0') + MpegFrames(100)), 2606},
        {"mp3 constant bit rate, ID3v1 left out", MpegFrames(100) + tagbytes::V1Block({}), 2606},
        {"ape family states nothing here", ApeFile("MAC ", FullTag()), -1},
        {"unknown content", "plain text", -1},
        {"wav without a format chunk", RiffFile(Chunk("data", "xxxx")), -1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(ReadDurationMs(dir.write("d", c.Bytes)), c.Expected);
    }
}

TEST(AudioTags, Utf16TextsAndTheirCuts) {
    struct Case {
        const char* Name;
        std::string_view Raw;
        TCut Cut;
        std::string Expected;
    };
    using namespace std::string_view_literals;
    const Case cases[] = {
        {"ascii up to NUL", "a\0b\0\0\0c\0"sv, TCut::Whole, "ab"},
        {"pair", "\x3D\xD8\x00\xDE"sv, TCut::Whole, "\xF0\x9F\x98\x80"},
        {"lone low surrogate",
         "\x00\xDE"
         "a\0"sv,
         TCut::Whole,
         "\xEF\xBF\xBD"
         "a"},
        {"high surrogate cut off", "a\0\x3D\xD8"sv, TCut::Cut, "a"},
        {"high surrogate at the true end", "a\0\x3D\xD8"sv, TCut::Whole, "a\xEF\xBF\xBD"},
        {"odd byte left", "a\0b"sv, TCut::Cut, "a"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8FromUtf16(c.Raw, false, c.Cut), c.Expected) << c.Name;
    EXPECT_EQ(Utf8FromUtf8("ab\xE2\x82", TCut::Cut), "ab");
    EXPECT_EQ(Utf8FromUtf8("ab\xE2\x82", TCut::Whole), "ab\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(AudioTags, AReadBoundedByABoxEndStillGivesEveryByteAskedFor) {
    TempDir dir;
    std::string bytes(20000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    TMediaFile file(dir.write("bytes.bin", bytes));
    ASSERT_TRUE(file.Open());
    struct Ask {
        std::int64_t Position;
        std::size_t Count;
        std::int64_t Until;
    };
    // In turn: bounded reads, one whose bound falls inside the asked bytes,
    // reads past a bound (a new read), a bound past the end, and the tail.
    for (const Ask& ask : {Ask{100, 8, 120}, Ask{110, 10, 120}, Ask{118, 8, 120},
                           Ask{4000, 300, 4100}, Ask{4200, 16, -1}, Ask{19990, 10, 30000},
                           Ask{12000, 8, 12001}, Ask{12008, 4096, 12016}}) {
        SCOPED_TRACE(ask.Position);
        const unsigned char* got = file.Bytes(ask.Position, ask.Count, ask.Until);
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(got), ask.Count),
                  bytes.substr(static_cast<std::size_t>(ask.Position), ask.Count));
    }
    EXPECT_EQ(file.Bytes(19995, 10, 30000), nullptr) << "past the end whatever the bound";
}
