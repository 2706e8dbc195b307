// Our readers against TagLib's over thousands of generated files of every
// format: the six fields agree wherever the two field mappings agree. Where
// they differ by design, the test checks our side against what the file
// holds instead:
// - Artist: we take the album artist when there is no artist; TagLib does not.
// - Year and Track: TagLib gives numbers; we give the first four characters
//   of the date and the track as stored, with the count ("3/12"); the
//   numbers are compared.
// - Texts: we trim spaces and control bytes and cut at 4,096 bytes on a
//   character boundary; TagLib's texts are compared after the same.
// - WAV with both an ID3 chunk and LIST/INFO: we take the ID3 tag whole,
//   TagLib fills each empty field from the other tag; only one is generated.
// - WAV LIST/INFO: TagLib reads the track from IPRT only, we from ITRK then
//   IPRT; a text that is not valid UTF-8 is empty to TagLib, Latin-1 to us.
//   Files use IPRT and UTF-8 texts.
// - Texts inside an ID3 chunk (WAV, AIFF): the ID3v2 reader keeps the first
//   bytes of a frame, its encoding byte included, so a long text could end a
//   character earlier than the same text cut at 4,096 bytes (the bytes kept
//   are enough for every encoding, so this no longer happens in practice).
// - Genre numbers of MP4's gnre item: each side names them from its own
//   genre table; the names that differ are printed.
// - Several genre values: we join them with "; ", TagLib with " " or ", " by
//   format; one genre is generated here, and TagLibId3FramingTest compares
//   several value by value.
// - Album artist and composer are compared with the ALBUMARTIST and COMPOSER
//   values of TagLib's property map, value by value, where a tag was found
//   (a tag of the composer alone is none to us). Composers come one to three;
//   the album artist one, since MP4 and APEv2 keep an item's first value only,
//   as they do for the artist. WAV's LIST/INFO has neither.
#include "media/AudioTags.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/toolkit/TagFields.h"
#include "support/AudioBytes.h"
#include "support/MemoryFile.h"

#include <gtest/gtest.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <set>
#include <sys/mman.h>
#include <unistd.h>

using namespace audiobytes;

namespace {

class TGenerator {
public:
    explicit TGenerator(unsigned Seed) : random_(Seed) {}

    int Number(int Low, int High) { return std::uniform_int_distribution<int>(Low, High)(random_); }
    bool Chance(int Percent) { return Number(1, 100) <= Percent; }

    // Words of ASCII, Latin-1 letters, Cyrillic, CJK and emoji; now and then
    // longer than a field keeps.
    std::string Text() {
        static const char* const pieces[] = {"a",
                                             "Z",
                                             "7",
                                             " ",
                                             "-",
                                             "\xC3\xA9",
                                             "\xC3\x9F",
                                             "\xD0\x96",
                                             "\xE6\x97\xA5",
                                             "\xF0\x9F\x8E\xB5"};
        const int length = Chance(5) ? Number(1500, 4000) : Number(1, 30);
        std::string text;
        for (int i = 0; i < length; ++i) {
            text += pieces[Number(0, 9)];
        }
        // Spaces at the ends are ours to trim, so they are not generated.
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        while (!text.empty() && text.front() == ' ')
            text.erase(0, 1);
        return text.empty() ? "x" : text;
    }

    TAudioTag Tag() {
        TAudioTag tag;
        auto maybe = [&](std::string& Field) {
            if (Chance(85))
                Field = Text();
        };
        maybe(tag.Title);
        maybe(tag.Artist);
        if (Chance(30))
            tag.AlbumArtists = {Text()};
        maybe(tag.Album);
        if (Chance(40))
            for (int n = Number(1, 3); n > 0; --n)
                tag.Composers.push_back(Text());
        // A genre of digits alone is an ID3v1 genre number to TagLib's ID3v2
        // reader; that is the ID3 readers' matter, not these formats'.
        if (Chance(80))
            tag.Genres = {"g" + Text()};
        if (Chance(80))
            tag.Date = std::to_string(Number(1900, 2030)) + (Chance(50) ? "-05-06" : "");
        if (Chance(80)) {
            tag.Track = std::to_string(Number(1, 99));
            if (Chance(50))
                tag.TrackTotal = std::to_string(Number(1, 99));
        }
        return tag;
    }

private:
    std::mt19937 random_;
};

std::string Text(const TagLib::String& Value) {
    return Value.to8Bit(true);
}

// Ours against TagLib's text after our trimming and cut; a text that came
// through the ID3v2 reader may be a character shorter.
void ExpectSameText(const std::string& Ours, const TagLib::String& Theirs, bool ThroughId3) {
    const std::string theirs = FieldText(Text(Theirs));
    if (ThroughId3 && Ours != theirs && Ours.size() + 4 >= FieldTextSize) {
        EXPECT_TRUE(theirs.starts_with(Ours)) << Ours << "\n" << theirs;
        return;
    }
    EXPECT_EQ(Ours, theirs);
}

// Our values of Field (its text when it has one value) against TagLib's
// values, the empty ones left out. Readers keep the first KeptBytes of an
// item that holds several values (0: no bound), the ID3v2 reader the first
// bytes of a frame and the APEv2 reader FieldTextSize bytes of an item: of
// values longer together, the values in those bytes, the last perhaps cut.
void ExpectSameValues(const TMediaInfo& Ours, TMediaField Field, const TagLib::StringList& Theirs,
                      bool ThroughId3, std::size_t KeptBytes) {
    std::vector<std::string> ours;
    for (const TFieldValue& value : Ours.Values)
        if (value.Field == Field)
            ours.push_back(value.Text);
    if (ours.empty() && !Ours.Text(Field).empty())
        ours.push_back(Ours.Text(Field));
    std::vector<TagLib::String> theirs;
    std::size_t frameBytes = 0;
    for (const TagLib::String& value : Theirs)
        if (!FieldText(Text(value)).empty()) {
            theirs.push_back(value);
            frameBytes += Text(value).size() + 1;
        }
    if (KeptBytes != 0 && frameBytes > KeptBytes && !ours.empty() && ours.size() <= theirs.size()) {
        for (std::size_t i = 0; i + 1 < ours.size(); ++i)
            ExpectSameText(ours[i], theirs[i], ThroughId3);
        EXPECT_TRUE(FieldText(Text(theirs[ours.size() - 1])).starts_with(ours.back()));
        return;
    }
    ASSERT_EQ(ours.size(), theirs.size()) << static_cast<int>(Field);
    for (std::size_t i = 0; i < ours.size(); ++i)
        ExpectSameText(ours[i], theirs[i], ThroughId3);
}

struct TFormat {
    const char* Name;
    std::function<std::string(TGenerator&, TAudioTag&)> Build;
    std::function<std::unique_ptr<TagLib::File>(TagLib::IOStream*)> Open;
    TTagSources Sources = TTagSources::OtherFormat;
    bool ThroughId3 = false;
    // Bytes kept of an item of several values (0: no bound).
    std::size_t KeptBytes = 0;
    // TagLib's WAV file gives its ID3v2 tag as its tag; INFO is asked for apart.
    std::function<TagLib::Tag*(TagLib::File&)> TagOf = [](TagLib::File& F) { return F.tag(); };
};

std::vector<TFormat> Formats() {
    auto* frames = TagLib::ID3v2::FrameFactory::instance();
    return {
        {"flac",
         [](TGenerator& G, TAudioTag& T) {
             return FlacFile(T, G.Chance(30) ? static_cast<std::size_t>(G.Number(1, 20000)) : 0);
         },
         [frames](TagLib::IOStream* S) {
             return std::make_unique<TagLib::FLAC::File>(S, frames, false);
         }},
        {"ogg vorbis",
         [](TGenerator& G, TAudioTag& T) {
             return OggFile(TOggCodec::Vorbis, T, G.Number(1, 255),
                            G.Chance(30) ? static_cast<std::size_t>(G.Number(1, 70000)) : 0);
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::Ogg::Vorbis::File>(S, false); }},
        {"opus",
         [](TGenerator& G, TAudioTag& T) {
             return OggFile(TOggCodec::Opus, T, G.Number(1, 255),
                            G.Chance(30) ? static_cast<std::size_t>(G.Number(1, 70000)) : 0);
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::Ogg::Opus::File>(S, false); }},
        {"ogg flac",
         [](TGenerator& G, TAudioTag& T) { return OggFile(TOggCodec::Flac, T, G.Number(1, 255)); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::Ogg::FLAC::File>(S, false); }},
        {"mp4",
         [](TGenerator& G, TAudioTag& T) {
             TMp4Layout layout;
             layout.MoovAtEnd = G.Chance(50);
             layout.WideMdat = G.Chance(30);
             layout.MdatSize = static_cast<std::size_t>(G.Number(100, 100000));
             layout.TrackPadding = static_cast<std::size_t>(G.Number(0, 10000));
             if (G.Chance(20) && !T.Genres.empty()) {
                 layout.GenreNumber = G.Number(1, 148);
                 T.Genres = {
                     std::string(GenreNames[static_cast<std::size_t>(layout.GenreNumber - 1)])};
             }
             return Mp4File(T, layout);
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::MP4::File>(S, false); }},
        {"asf",
         [](TGenerator& G, TAudioTag& T) {
             T.TrackTotal.clear(); // ASF has no item for it
             return AsfFile(T, G.Chance(50));
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::ASF::File>(S, false); }},
        {"wav id3",
         [](TGenerator&, TAudioTag& T) {
             return RiffFile(WavFormat() + Chunk("data", std::string(100, '\0')) +
                             Chunk("id3 ", Id3Tag(T)));
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::RIFF::WAV::File>(S, false); },
         TTagSources::OtherFormat, true, TagInfo::FrameKeepSize},
        {"wav info",
         [](TGenerator&, TAudioTag& T) {
             T.TrackTotal.clear(); // INFO has no item for it
             T.AlbumArtists.clear();
             T.Composers.clear();
             return RiffFile(WavFormat() + InfoList(T, "IPRT") +
                             Chunk("data", std::string(100, '\0')));
         },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::RIFF::WAV::File>(S, false); },
         TTagSources::OtherFormat, false, 0,
         [](TagLib::File& F) -> TagLib::Tag* {
             return static_cast<TagLib::RIFF::WAV::File&>(F).InfoTag();
         }},
        {"aiff", [](TGenerator&, TAudioTag& T) { return AiffFile(Chunk("ID3 ", Id3Tag(T), true)); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::RIFF::AIFF::File>(S, false); },
         TTagSources::OtherFormat, true, TagInfo::FrameKeepSize},
        {"ape", [](TGenerator&, TAudioTag& T) { return ApeFile("MAC ", T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::APE::File>(S, false); },
         TTagSources::OtherFormat, false, FieldTextSize},
        {"wavpack", [](TGenerator&, TAudioTag& T) { return ApeFile("wvpk", T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::WavPack::File>(S, false); },
         TTagSources::OtherFormat, false, FieldTextSize},
        {"musepack", [](TGenerator&, TAudioTag& T) { return ApeFile("MPCK", T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::MPC::File>(S, false); },
         TTagSources::OtherFormat, false, FieldTextSize},
        {"mp3 with APEv2 only",
         [](TGenerator& G, TAudioTag& T) {
             return MpegFrames(G.Number(2, 6)) + ApeTag(ApeItems(T));
         },
         [frames](TagLib::IOStream* S) {
             return std::make_unique<TagLib::MPEG::File>(S, frames, false);
         },
         TTagSources::ID3ThenAPE, false, FieldTextSize},
    };
}

} // namespace

TEST(TagLibDifferential, SixFieldsAgreeOverGeneratedFilesOfEveryFormat) {
    const int filesPerFormat = 300;
    const int fd = memfd_create("differential", 0);
    ASSERT_GE(fd, 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TGenerator generator(20261209);
    int compared = 0, withMore = 0;
    std::set<std::string> namesDiffering;
    auto generatedFromNumber = [](const TAudioTag& Tag) {
        return !Tag.Genres.empty() && std::find(GenreNames.begin(), GenreNames.end(),
                                                Tag.Genres.front()) != GenreNames.end();
    };
    for (const TFormat& format : Formats()) {
        for (int i = 0; i < filesPerFormat; ++i) {
            TAudioTag tag = generator.Tag();
            const std::string bytes = format.Build(generator, tag);
            SCOPED_TRACE(std::string(format.Name) + " #" + std::to_string(i));

            ASSERT_EQ(ftruncate(fd, 0), 0);
            ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), 0),
                      static_cast<ssize_t>(bytes.size()));
            TMediaInfo ours;
            const bool found = ReadTags(path, format.Sources, ours);

            TagLib::ByteVector data(bytes.data(), static_cast<unsigned>(bytes.size()));
            TagLib::ByteVectorStream stream(data);
            const std::unique_ptr<TagLib::File> file = format.Open(&stream);
            ASSERT_TRUE(file->isValid());
            const TagLib::Tag* theirs = format.TagOf(*file);
            ASSERT_NE(theirs, nullptr);

            const std::string albumArtist =
                tag.AlbumArtists.empty() ? std::string() : tag.AlbumArtists.front();
            EXPECT_EQ(found, !theirs->isEmpty() || !albumArtist.empty());
            ExpectSameText(ours.Title, theirs->title(), format.ThroughId3);
            ExpectSameText(ours.Album, theirs->album(), format.ThroughId3);
            const std::string theirGenre = FieldText(Text(theirs->genre()));
            if (ours.Genre != theirGenre && generatedFromNumber(tag)) {
                // Both name the genre by the number in their own genre tables.
                EXPECT_EQ(ours.Genre, tag.Genres.front());
                namesDiffering.insert(ours.Genre + " / " + theirGenre);
            } else {
                ExpectSameText(ours.Genre, theirs->genre(), format.ThroughId3);
            }
            if (!theirs->artist().isEmpty())
                ExpectSameText(ours.Artist, theirs->artist(), format.ThroughId3);
            else
                EXPECT_EQ(ours.Artist, FieldText(albumArtist));
            if (found) {
                const TagLib::PropertyMap properties = file->properties();
                ExpectSameValues(ours, TMediaField::AlbumArtist, properties["ALBUMARTIST"],
                                 format.ThroughId3, format.KeptBytes);
                ExpectSameValues(ours, TMediaField::Composer, properties["COMPOSER"],
                                 format.ThroughId3, format.KeptBytes);
                withMore += !tag.Composers.empty() || !albumArtist.empty();
            }
            EXPECT_EQ(LeadingNumber(ours.Year), theirs->year());
            EXPECT_EQ(LeadingNumber(ours.Track), theirs->track());
            if (!tag.TrackTotal.empty() && !tag.Track.empty()) {
                EXPECT_EQ(ours.Track, tag.Track + "/" + tag.TrackTotal);
            }
            ++compared;
            if (HasFailure())
                break;
        }
        if (HasFailure())
            break;
    }
    close(fd);
    for (const std::string& names : namesDiffering)
        std::cout << "genre number named differently (ours / TagLib's): " << names << "\n";
    EXPECT_EQ(compared, filesPerFormat * static_cast<int>(Formats().size()));
    // Enough files carried an album artist or a composer for the comparison to count.
    EXPECT_GT(withMore, compared / 3);
}
