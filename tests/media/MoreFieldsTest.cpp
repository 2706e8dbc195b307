// The album artist, the composer and the format by content from every tag
// reader: the values each container keeps, the six old fields still alone
// deciding whether a tag was found, and the format taken from the bytes
// whatever the file's name says.
#include "media/AudioTags.h"
#include "media/toolkit/MediaFile.h"
#include "support/AudioBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

using namespace audiobytes;
using tagbytes::TextFrame;

namespace {

using enum TContentFormat;

std::string WithId3(const std::string& Bytes) {
    return tagbytes::Tag(3, TextFrame(3, "TIT2", "From ID3"), 10) + Bytes;
}

// A version 4 tag with a footer, as taggers append it to the end of a file.
std::string AppendedId3(const std::string& Frames) {
    std::string tag = tagbytes::Header(4, static_cast<std::uint32_t>(Frames.size()), 0x10) + Frames;
    return tag + "3DI" + tag.substr(3, 7);
}

std::string V1Titled(const char* Title) {
    tagbytes::V1 fields;
    fields.Title = Title;
    return tagbytes::V1Block(fields);
}

// A tag of one version with one frame for each value of the album artist and
// the composer (several frames of a kind are several values).
std::string FramePerValue(int Version, const TAudioTag& Tag) {
    const bool v2 = Version == 2;
    std::string frames = TextFrame(Version, v2 ? "TT2" : "TIT2", Tag.Title) +
                         TextFrame(Version, v2 ? "TP1" : "TPE1", Tag.Artist);
    for (const std::string& albumArtist : Tag.AlbumArtists)
        frames += TextFrame(Version, v2 ? "TP2" : "TPE2", albumArtist);
    for (const std::string& composer : Tag.Composers)
        frames += TextFrame(Version, v2 ? "TCM" : "TCOM", composer);
    return tagbytes::Tag(Version, frames, 64) + MpegFrames(2);
}

TMp4Layout Mp4Codec(const char* SampleEntry, const char* Handler = "soun",
                    bool VideoFirst = false) {
    TMp4Layout layout;
    layout.SampleEntry = SampleEntry;
    layout.Handler = Handler;
    layout.VideoTrackFirst = VideoFirst;
    return layout;
}

struct TContainer {
    const char* Name;
    std::function<std::string(const TAudioTag&)> Build;
    TTagSources Sources;
    TContentFormat Content;
    // Whether the album artist keeps every value; where the artist keeps its
    // first value only (MP4, APEv2), so does the album artist.
    bool EveryAlbumArtist = true;
};

std::vector<TContainer> Containers() {
    const TTagSources other = TTagSources::OtherFormat;
    return {
        {"flac", [](const TAudioTag& T) { return FlacFile(T); }, other, FLAC},
        {"flac behind ID3v2", [](const TAudioTag& T) { return WithId3(FlacFile(T)); }, other, FLAC},
        {"ogg vorbis", [](const TAudioTag& T) { return OggFile(TOggCodec::Vorbis, T); }, other,
         Vorbis},
        {"opus", [](const TAudioTag& T) { return OggFile(TOggCodec::Opus, T); }, other, Opus},
        {"ogg flac", [](const TAudioTag& T) { return OggFile(TOggCodec::Flac, T); }, other, FLAC},
        {"mp4 aac", [](const TAudioTag& T) { return Mp4File(T); }, other, AAC, false},
        {"mp4 alac", [](const TAudioTag& T) { return Mp4File(T, Mp4Codec("alac")); }, other, ALAC,
         false},
        {"asf", [](const TAudioTag& T) { return AsfFile(T); }, other, WMA},
        {"wav id3",
         [](const TAudioTag& T) {
             return RiffFile(WavFormat() + Chunk("data", std::string(100, '\0')) +
                             Chunk("id3 ", Id3Tag(T)));
         },
         other, WAV},
        {"aiff id3", [](const TAudioTag& T) { return AiffFile(Chunk("ID3 ", Id3Tag(T), true)); },
         other, AIFF},
        {"monkey's audio", [](const TAudioTag& T) { return ApeFile("MAC ", T); }, other, APE,
         false},
        {"wavpack", [](const TAudioTag& T) { return ApeFile("wvpk", T); }, other, WavPack, false},
        {"musepack sv8", [](const TAudioTag& T) { return ApeFile("MPCK", T); }, other, Musepack,
         false},
        {"musepack sv7", [](const TAudioTag& T) { return ApeFile("MP+", T); }, other, Musepack,
         false},
        {"mp3 id3v2.4", [](const TAudioTag& T) { return Id3Tag(T) + MpegFrames(2); },
         TTagSources::ID3, MP3},
        {"mp3 id3v2.4, other formats on",
         [](const TAudioTag& T) { return Id3Tag(T) + MpegFrames(2); }, TTagSources::ID3ThenAPE,
         MP3},
        {"mp3 id3v2.3", [](const TAudioTag& T) { return FramePerValue(3, T); }, TTagSources::ID3,
         MP3},
        {"mp3 id3v2.2", [](const TAudioTag& T) { return FramePerValue(2, T); }, TTagSources::ID3,
         MP3},
        {"mp3 with APEv2 only",
         [](const TAudioTag& T) { return MpegFrames(3) + ApeTag(ApeItems(T)); },
         TTagSources::ID3ThenAPE, MP3, false},
    };
}

std::vector<std::string> ValuesOf(const TMediaInfo& Info, TMediaField Field) {
    std::vector<std::string> values;
    for (const TFieldValue& value : Info.Values)
        if (value.Field == Field)
            values.push_back(value.Text);
    return values;
}

} // namespace

TEST(MoreFields, AlbumArtistComposerAndFormatFromEveryContainer) {
    TAudioTag one;
    one.Title = "Title";
    one.Artist = "Artist";
    one.AlbumArtists = {"Band"};
    one.Composers = {"Writer"};
    TAudioTag several = one;
    several.AlbumArtists = {"Band", "Guests"};
    several.Composers = {"Writer", "Lyricist", "Arranger"};
    const TMediaInfo untouched{"t", "a", "al", "g", "y", "tr", "aa", "c", TContentFormat::WMA};
    TempDir dir;
    for (const TContainer& c : Containers()) {
        for (const TAudioTag* tag : {&one, &several}) {
            const bool many = tag == &several;
            SCOPED_TRACE(std::string(c.Name) + (many ? ", several values" : ", one value"));
            const std::string path = dir.write("file", c.Build(*tag));
            TMediaInfo info = untouched;
            ASSERT_TRUE(ReadTags(path, c.Sources, info));
            EXPECT_EQ(info.Title, "Title");
            EXPECT_EQ(info.Artist, "Artist");
            EXPECT_EQ(info.Format, c.Content);
            const std::vector<std::string> albumArtists =
                many && c.EveryAlbumArtist ? tag->AlbumArtists
                                           : std::vector<std::string>{tag->AlbumArtists.front()};
            EXPECT_EQ(info.AlbumArtist, JoinedBy(albumArtists, "; "));
            EXPECT_EQ(info.Composer, JoinedBy(tag->Composers, "; "));
            // Each value on its own where there are several, for masks that name one.
            EXPECT_EQ(ValuesOf(info, TMediaField::AlbumArtist),
                      albumArtists.size() > 1 ? albumArtists : std::vector<std::string>{});
            EXPECT_EQ(ValuesOf(info, TMediaField::Composer),
                      many ? tag->Composers : std::vector<std::string>{});
            EXPECT_EQ(info.AnyText(TMediaField::Composer,
                                   [](const std::string& Text) { return Text == "Lyricist"; }),
                      many);
            // The file's own format, read apart from its tags.
            TMediaFile file(path);
            EXPECT_EQ(DetectContentFormat(file), c.Content);
        }
    }
}

TEST(MoreFields, TheFormatIsTheContentsNotTheName) {
    TAudioTag tag;
    tag.Title = "Title";
    std::string aifc = AiffFile(Chunk("ID3 ", Id3Tag(tag), true));
    aifc.replace(8, 4, "AIFC");
    const std::string idTag = tagbytes::Tag(3, TextFrame(3, "TIT2", "Title"));
    struct Case {
        const char* Name;
        const char* FileName;
        std::string Bytes;
        TTagSources Sources;
        TContentFormat Expected;
    };
    const Case cases[] = {
        {"FLAC behind ID3v2 named .mp3, ID3 only", "a.mp3", WithId3(FlacFile(tag)),
         TTagSources::ID3, FLAC},
        {"FLAC named .mp3, other formats on", "a.mp3", FlacFile(tag), TTagSources::ID3ThenAPE,
         FLAC},
        {"MP3 named .flac", "a.flac", WithId3(MpegFrames(3)), TTagSources::OtherFormatThenID3, MP3},
        {"MP3 named .flac, ID3 only", "a.flac", WithId3(MpegFrames(3)), TTagSources::ID3, MP3},
        {"MP3 after zero bytes the tag did not count", "a.mp3",
         idTag + std::string(700, '\0') + MpegFrames(2), TTagSources::ID3, MP3},
        {"MP3 with ID3v1 only", "a.mp3", MpegFrames(3) + V1Titled("V1"), TTagSources::ID3, MP3},
        {"MP3 with an appended ID3v2.4 tag", "a.mp3",
         MpegFrames(3) + AppendedId3(tagbytes::Frame(4, "TIT2", "\x03Title")), TTagSources::ID3,
         MP3},
        {"MP3 behind two ID3v2 tags", "a.mp3", idTag + idTag + MpegFrames(2), TTagSources::ID3,
         MP3},
        {"an ID3v2 tag and nothing else", "a.mp3", idTag, TTagSources::ID3, Unknown},
        {"an ID3v2 tag before text", "a.mp3", idTag + "not audio at all", TTagSources::ID3,
         Unknown},
        {"a text file with an ID3v1 tag", "a.mp3", "plain text\n" + V1Titled("V1"),
         TTagSources::ID3, Unknown},
        {"0xFF bytes behind an ID3v2 tag", "a.mp3", idTag + std::string(600, '\xFF'),
         TTagSources::ID3ThenAPE, Unknown},
        {"0xFF bytes and an ID3v1 tag", "a.mp3", std::string(600, '\xFF') + V1Titled("V1"),
         TTagSources::ID3ThenAPE, Unknown},
        {"a frame header of a reserved bit rate", "a.mp3",
         idTag + std::string("\xFF\xFB\xF0\x00", 4) + std::string(600, '\0'), TTagSources::ID3,
         Unknown},
        {"MPEG audio and an ID3v1 tag, other formats on", "a.mp3", MpegFrames(3) + V1Titled("V1"),
         TTagSources::ID3ThenAPE, MP3},
        {"a WAV with an ID3v1 tag, ID3 only", "a.mp3",
         RiffFile(WavFormat() + Chunk("data", std::string(100, '\0'))) + V1Titled("V1"),
         TTagSources::ID3, WAV},
        {"Ogg Vorbis", "a.ogg", OggFile(TOggCodec::Vorbis, tag), TTagSources::OtherFormat, Vorbis},
        {"Opus named .ogg", "a.ogg", OggFile(TOggCodec::Opus, tag), TTagSources::OtherFormat, Opus},
        {"Ogg FLAC", "a.oga", OggFile(TOggCodec::Flac, tag), TTagSources::OtherFormat, FLAC},
        {"MP4 AAC", "a.m4a", Mp4File(tag), TTagSources::OtherFormat, AAC},
        {"MP4 ALAC", "a.m4a", Mp4File(tag, Mp4Codec("alac")), TTagSources::OtherFormat, ALAC},
        {"MP4 of another codec", "a.m4a", Mp4File(tag, Mp4Codec("Opus")), TTagSources::OtherFormat,
         Unknown},
        {"MP4 with a video track before the sound", "a.mp4",
         Mp4File(tag, Mp4Codec("alac", "soun", true)), TTagSources::OtherFormat, ALAC},
        {"MP4 without a sound track", "a.mp4", Mp4File(tag, Mp4Codec("avc1", "vide")),
         TTagSources::OtherFormat, Unknown},
        {"WavPack named .ape", "a.ape", ApeFile("wvpk", tag), TTagSources::OtherFormat, WavPack},
        {"Musepack SV7", "a.mpc", ApeFile("MP+", tag), TTagSources::OtherFormat, Musepack},
        {"Musepack SV8", "a.mpc", ApeFile("MPCK", tag), TTagSources::OtherFormat, Musepack},
        {"Monkey's Audio named .wv", "a.wv", ApeFile("MAC ", tag), TTagSources::OtherFormat, APE},
        {"WAV", "a.wav", RiffFile(WavFormat() + InfoList(tag)), TTagSources::OtherFormat, WAV},
        {"AIFF", "a.aiff", AiffFile(Chunk("ID3 ", Id3Tag(tag), true)), TTagSources::OtherFormat,
         AIFF},
        {"AIFC", "a.aif", aifc, TTagSources::OtherFormat, AIFF},
        {"WMA", "a.wma", AsfFile(tag), TTagSources::OtherFormat, WMA},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::string path = dir.write(c.FileName, c.Bytes);
        TMediaInfo info;
        ASSERT_TRUE(ReadTags(path, c.Sources, info));
        EXPECT_EQ(info.Format, c.Expected);
        EXPECT_STREQ(ContentFormatName(info.Format), ContentFormatName(c.Expected));
        TMediaFile file(path);
        EXPECT_EQ(DetectContentFormat(file), c.Expected);
    }
    // A file without a tag says no format: its record is left as it was.
    TMediaInfo info;
    info.Format = WMA;
    EXPECT_FALSE(ReadTags(dir.write("b.flac", FlacFile({})), TTagSources::OtherFormat, info));
    EXPECT_EQ(info.Format, WMA);
}

TEST(MoreFields, OnlyTheSixOldFieldsMakeATag) {
    TAudioTag composerOnly;
    composerOnly.Composers = {"Writer"};
    const std::string tpe2Only = tagbytes::Tag(4, tagbytes::Frame(4, "TPE2",
                                                                  "\x03"
                                                                  "Band"));
    const std::string data = Chunk("data", std::string(100, '\0'));
    const TMediaInfo untouched{"t", "a", "al", "g", "y", "tr", "aa", "c", TContentFormat::WMA};
    struct Case {
        const char* Name;
        std::string Bytes;
        TTagSources Sources;
        bool Found;
        TMediaInfo Expected; // with Found
    };
    auto flac = [](const std::vector<std::string>& Items) {
        return "fLaC" + FlacBlocks({{0, StreamInfo()}, {4, VorbisComment(Items)}});
    };
    const TTagSources other = TTagSources::OtherFormat;
    const Case cases[] = {
        {"ALBUM_ARTIST alone", flac({"ALBUM_ARTIST=Band"}), other, false, {}},
        {"COMPOSER alone", flac({"COMPOSER=Writer"}), other, false, {}},
        {"both alone", flac({"ALBUM_ARTIST=Band", "COMPOSER=Writer"}), other, false, {}},
        {"ALBUMARTIST stands in for the artist, as it always did",
         flac({"ALBUMARTIST=Band"}),
         other,
         true,
         {"", "Band", "", "", "", "", "Band", "", FLAC}},
        {"ALBUM_ARTIST never stands in for the artist",
         flac({"ALBUM_ARTIST=Band", "TITLE=T", "COMPOSER=Writer"}),
         other,
         true,
         {"T", "", "", "", "", "", "Band", "Writer", FLAC}},
        {"ALBUMARTIST wins over ALBUM_ARTIST",
         flac({"ALBUM_ARTIST=Other", "ALBUMARTIST=Band", "TITLE=T"}),
         other,
         true,
         {"T", "Band", "", "", "", "", "Band", "", FLAC}},
        {"mp4 composer alone", Mp4File(composerOnly), other, false, {}},
        {"asf composer alone", AsfFile(composerOnly), other, false, {}},
        {"apev2 composer alone", ApeFile("MAC ", composerOnly), other, false, {}},
        {"apev2 composer alone on an MP3",
         MpegFrames(2) + ApeTag(ApeItems(composerOnly)),
         TTagSources::ID3ThenAPE,
         false,
         {}},
        {"wav ID3 chunk of the album artist alone",
         RiffFile(WavFormat() + Chunk("id3 ", tpe2Only)),
         other,
         false,
         {}},
        {"aiff ID3 chunk of the composer alone",
         AiffFile(Chunk("ID3 ", Id3Tag(composerOnly), true)),
         other,
         false,
         {}},
        {"wav INFO serves when the ID3 chunk has the album artist alone",
         RiffFile(WavFormat() + Chunk("id3 ", tpe2Only) +
                  Chunk("LIST", "INFO" + Chunk("INAM", std::string("Named\0", 6))) + data),
         other,
         true,
         {"Named", "", "", "", "", "", "", "", WAV}},
        {"wav INFO serves when the ID3 chunk has the composer alone",
         RiffFile(WavFormat() + Chunk("id3 ", Id3Tag(composerOnly)) +
                  Chunk("LIST", "INFO" + Chunk("IART", std::string("Singer\0", 7))) + data),
         other,
         true,
         {"", "Singer", "", "", "", "", "", "", WAV}},
        // An ID3v2 tag is found by its header, whatever frames it holds.
        {"an MP3's ID3v2 tag of the album artist alone",
         tpe2Only + MpegFrames(2),
         TTagSources::ID3,
         true,
         {"", "", "", "", "", "", "Band", "", MP3}},
        // ID3v1 fills the six, never the two it does not have.
        {"ID3v1 fills the artist beside an ID3v2 album artist",
         tagbytes::Tag(3, TextFrame(3, "TPE2", "Band")) + MpegFrames(2) +
             [] {
                 tagbytes::V1 fields;
                 fields.Artist = "From V1";
                 return tagbytes::V1Block(fields);
             }(),
         TTagSources::ID3,
         true,
         {"", "From V1", "", "", "", "", "Band", "", MP3}},
        {"ID3v1 alone clears what a record held",
         MpegFrames(2) + V1Titled("V1"),
         TTagSources::ID3,
         true,
         {"V1", "", "", "", "", "0", "", "", MP3}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TMediaInfo info = untouched;
        EXPECT_EQ(ReadTags(dir.write("f", c.Bytes), c.Sources, info), c.Found);
        EXPECT_EQ(info, c.Found ? c.Expected : untouched);
    }
}
