// Our readers against TagLib's on MP3 files whose tags are written every way
// taggers write them: ID3v2.3 and 2.4 with extended headers, unsynchronised
// tags and frames, compressed frames with and without a data length
// indicator, encrypted frames, long values, several values of one field (2.4
// NUL-separated values, several 2.3 frames of one kind), tags that declare
// more than the file holds, 2.4 tags appended at the end, and APEv2 with
// ID3v1 but no ID3v2; and repeated genres in every other container. Every
// value of title, artist, album and genre is compared, and the year and the
// track as numbers. Where the two differ by design, the case says so and
// checks our side against what the file holds:
// - Long values: we keep 4,096 bytes of each, cut at a character; TagLib's
//   are compared after the same cut.
// - A 2.4 tag appended at the end: TagLib looks for ID3v2 at the start only;
//   we find the tag by its footer when none starts the file.
// - An ID3v2.3 extended header: its size counts the bytes after the size
//   (6 or 10); TagLib counts it as version 4 does, with the size's own four
//   bytes, so it starts four bytes early, meets no frame ID and reads no
//   frame. We pass it over by the version's own rule. Behind a version 4
//   extended header TagLib counts the header's bytes off the frames' end as
//   well and loses the last frame unless padding follows it; such tags are
//   generated with padding.
// - Encrypted frames: both pass them over; TagLib keeps them as frames of
//   unknown content, which give no value.
// - A frame keeps 8,195 bytes (a value's bound in UTF-16) and a tag 64 KiB:
//   values of a version 4 frame that start past the first are not read, nor
//   frames past the second. Generated files put a long value last in its
//   field and hold two at most, so every value lies within both.
#include "media/AudioTags.h"
#include "media/MediaUtils.h"
#include "media/toolkit/TagFields.h"
#include "support/AudioBytes.h"
#include "support/FramedTags.h"
#include "support/MemoryFile.h"
#include "support/TagBytes.h"

#include <gtest/gtest.h>

#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <sys/mman.h>
#include <unistd.h>

using namespace std::string_literals;
using namespace tagbytes;

namespace {

std::mt19937 Random(20261210);

int Number(int Low, int High) {
    return std::uniform_int_distribution<int>(Low, High)(Random);
}
bool Chance(int Percent) {
    return Number(1, 100) <= Percent;
}

// Words of ASCII, Latin-1 letters, Cyrillic, CJK and emoji, with 0xFF-rich
// characters (ÿ, U+FFxx) that unsynchronisation exists for; now and then far
// longer than a value keeps.
std::string Words(bool MayBeLong = true) {
    static const char* const pieces[] = {"a",
                                         "Z",
                                         "7",
                                         " ",
                                         "\xC3\xA9",
                                         "\xC3\xBF",
                                         "\xD0\x96",
                                         "\xE6\x97\xA5",
                                         "\xEF\xBF\xA0",
                                         "\xF0\x9F\x8E\xB5"};
    const int length = MayBeLong && Chance(4) ? Number(3000, 6000) : Number(1, 30);
    std::string text;
    for (int i = 0; i < length; ++i)
        text += pieces[Number(0, 9)];
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(0, 1);
    return text.empty() ? "x" : text;
}

std::string Utf16Le(const std::string& Utf8) {
    std::string out = "\xFF\xFE"s;
    for (std::size_t i = 0; i < Utf8.size();) {
        const auto b = static_cast<unsigned char>(Utf8[i]);
        const int length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? b : b & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(Utf8[i + k]) & 0x3F);
        i += length;
        auto unit = [&](char32_t u) {
            out += static_cast<char>(u & 0xFF);
            out += static_cast<char>(u >> 8);
        };
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

// What a file holds: the values of the four text fields, a year and a track.
struct TFields {
    std::vector<std::string> Title, Artist, Album, Genre;
    int Year = 0, Track = 0;
};

// A long value comes last in its field, and a file has two at most (see the
// differences above).
TFields RandomFields() {
    TFields fields;
    int longOnes = 0;
    auto some = [&](std::vector<std::string>& Values, int Most, const std::string& Prefix) {
        if (Chance(85))
            for (int n = Number(1, Most); n > 0; --n) {
                Values.push_back(Prefix + Words(n == 1 && longOnes < 2));
                longOnes += Values.back().size() > 1000;
            }
    };
    some(fields.Title, 1, "");
    some(fields.Artist, 3, "");
    some(fields.Album, 1, "");
    some(fields.Genre, 3, "g"); // never a genre number
    if (Chance(80))
        fields.Year = Number(1900, 2030);
    if (Chance(80))
        fields.Track = Number(1, 99);
    return fields;
}

// How one ID3v2 tag is framed.
struct TFraming {
    int Version = 4;
    bool Extended = false;
    bool Unsynchronised = false;
    bool Compressed = false;
    bool DataLength = false;
    bool Encrypted = false;
    bool Oversized = false;
    bool Appended = false;
};

std::string FlagsAndData(const TFraming& How, const std::string& Id, std::string Data) {
    std::uint8_t flags = 0;
    std::string extra;
    const bool compress = How.Compressed && Chance(60);
    if (How.Version == 4) {
        const bool unsync = How.Unsynchronised;
        if (compress)
            flags |= 0x08;
        if (unsync)
            flags |= 0x02;
        if (compress || How.DataLength)
            flags |= 0x01;
        if (flags & 0x01)
            extra = SyncSafe(static_cast<std::uint32_t>(Data.size()));
        if (compress)
            Data = Deflated(Data);
        std::string stored = extra + Data;
        if (unsync)
            stored = Unsynchronised(stored);
        return Id + SyncSafe(static_cast<std::uint32_t>(stored.size())) + '\0' +
               static_cast<char>(flags) + stored;
    }
    if (compress) {
        flags |= 0x80;
        extra = BigEndian(static_cast<std::uint32_t>(Data.size()), 4);
        Data = Deflated(Data);
    }
    const std::string stored = extra + Data;
    return Id + BigEndian(static_cast<std::uint32_t>(stored.size()), 4) + '\0' +
           static_cast<char>(flags) + stored;
}

std::string Id3v2Tag(const TFraming& How, const TFields& Fields) {
    const bool v4 = How.Version == 4;
    std::string frames;
    // Version 4: UTF-8 values separated by NULs in one frame; version 3:
    // UTF-16 with a byte-order mark, one frame per value.
    auto text = [&](const std::string& Id, const std::vector<std::string>& Values) {
        if (Values.empty())
            return;
        if (v4) {
            std::string data = "\x03"s;
            for (std::size_t i = 0; i < Values.size(); ++i)
                data += (i ? "\0"s : ""s) + Values[i];
            frames += FlagsAndData(How, Id, data);
        } else {
            for (const std::string& value : Values)
                frames += FlagsAndData(How, Id, "\x01"s + Utf16Le(value));
        }
    };
    if (How.Encrypted)
        frames += Frame(How.Version, "TPE1", "\x80\0Secret"s) // method byte, then data
                      .replace(9, 1, v4 ? "\x04"s : "\x40"s);
    text("TIT2", Fields.Title);
    text("TPE1", Fields.Artist);
    text("TALB", Fields.Album);
    text("TCON", Fields.Genre);
    if (Fields.Year)
        text(v4 ? "TDRC" : "TYER", {std::to_string(Fields.Year)});
    if (Fields.Track)
        text("TRCK", {std::to_string(Fields.Track)});
    // See the differences above for the padding behind an extended header.
    std::string body =
        frames + std::string(static_cast<std::size_t>(Number(How.Extended ? 32 : 0, 300)), '\0');
    std::uint8_t flags = 0;
    if (How.Extended) {
        flags |= 0x40;
        body = (v4 ? SyncSafe(6) + "\x01\0"s
                   : BigEndian(10, 4) + "\x80\0"s + BigEndian(0, 4) + BigEndian(0x12345678, 4)) +
               body;
    }
    if (How.Unsynchronised && !v4) {
        flags |= 0x80;
        body = Unsynchronised(body);
    }
    if (How.Appended) {
        flags |= 0x10;
        const std::string header = Header(4, static_cast<std::uint32_t>(body.size()), flags);
        return header + body + "3DI" + header.substr(3);
    }
    const auto declared = static_cast<std::uint32_t>(body.size() + (How.Oversized ? 50000 : 0));
    return Header(How.Version, declared, flags) + body;
}

std::vector<std::string> Bounded(const TagLib::StringList& Values) {
    std::vector<std::string> out;
    for (const TagLib::String& value : Values)
        if (std::string text = FieldText(value.to8Bit(true)); !text.empty())
            out.push_back(text);
    return out;
}

std::vector<std::string> Bounded(const std::vector<std::string>& Values) {
    std::vector<std::string> out;
    for (const std::string& value : Values)
        if (std::string text = FieldText(value); !text.empty())
            out.push_back(text);
    return out;
}

std::vector<std::string> OurValues(const TMediaInfo& Info, TMediaField Field) {
    std::vector<std::string> values;
    for (const TFieldValue& value : Info.Values)
        if (value.Field == Field)
            values.push_back(value.Text);
    if (values.empty() && !Info.Text(Field).empty())
        values.push_back(Info.Text(Field));
    return values;
}

// The figures of a run.
struct TTally {
    int Files = 0, Fields = 0, Agreed = 0, Documented = 0;
};

// One field: agreement counts; otherwise the difference must be one the
// case documents, checked against what the file holds.
void Compare(TTally& Tally, const char* Field, const std::vector<std::string>& Ours,
             const std::vector<std::string>& Theirs, const std::vector<std::string>& Held,
             bool TheirsDocumentedEmpty) {
    ++Tally.Fields;
    if (Ours == Theirs && !TheirsDocumentedEmpty) {
        ++Tally.Agreed;
        return;
    }
    if (!TheirsDocumentedEmpty) {
        // Where they part, briefly: long values would fill pages.
        std::ostringstream where;
        where << Field << ": " << Ours.size() << " values / " << Theirs.size();
        for (std::size_t i = 0; i < std::min(Ours.size(), Theirs.size()); ++i) {
            const std::string &a = Ours[i], &b = Theirs[i];
            if (a == b)
                continue;
            const std::size_t at =
                std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
            where << "; value " << i << " of " << a.size() << " / " << b.size()
                  << " bytes differs at " << at << ": " << testing::PrintToString(a.substr(at, 12))
                  << " / " << testing::PrintToString(b.substr(at, 12));
            break;
        }
        ADD_FAILURE() << where.str();
        return;
    }
    EXPECT_TRUE(Theirs.empty()) << Field;
    EXPECT_EQ(Ours, Held) << Field;
    ++Tally.Documented;
}

struct TReadBack {
    TMediaInfo Ours;
    bool Found = false;
};

} // namespace

TEST(TagLibDifferential, EveryValueOfId3v2TagsFramedEveryWayAgrees) {
    TMemoryFile memory;
    TTally tally;
    auto* frames = TagLib::ID3v2::FrameFactory::instance();
    const int filesPerKind = 150;
    const struct {
        const char* Name;
        std::function<void(TFraming&)> Set;
    } kinds[] = {
        {"plain", [](TFraming&) {}},
        {"extended header", [](TFraming& F) { F.Extended = true; }},
        {"unsynchronised", [](TFraming& F) { F.Unsynchronised = true; }},
        {"compressed", [](TFraming& F) { F.Compressed = true; }},
        {"compressed and unsynchronised",
         [](TFraming& F) { F.Compressed = F.Unsynchronised = true; }},
        {"data length indicator", [](TFraming& F) { F.DataLength = true; }},
        {"encrypted frame beside", [](TFraming& F) { F.Encrypted = true; }},
        {"everything at once",
         [](TFraming& F) {
             F.Extended = F.Unsynchronised = F.Compressed = F.DataLength = F.Encrypted = true;
         }},
        {"oversized", [](TFraming& F) { F.Oversized = true; }},
        {"appended", [](TFraming& F) { F.Appended = true; }},
    };
    for (const auto& kind : kinds) {
        for (int i = 0; i < filesPerKind; ++i) {
            TFraming how;
            how.Version = Chance(50) ? 3 : 4;
            kind.Set(how);
            if (how.Appended)
                how.Version = 4;
            const TFields fields = RandomFields();
            const std::string audio = audiobytes::MpegFrames(Number(2, 5));
            const std::string tag = Id3v2Tag(how, fields);
            const std::string bytes = how.Appended ? audio + tag : tag + audio;
            SCOPED_TRACE(std::string(kind.Name) + " v" + std::to_string(how.Version) + " #" +
                         std::to_string(i));

            TMediaInfo ours;
            const bool found = ReadMediaInfo(memory.Holding(bytes), ours);
            TagLib::ByteVector data(bytes.data(), static_cast<unsigned>(bytes.size()));
            TagLib::ByteVectorStream stream(data);
            TagLib::MPEG::File file(&stream, frames, false);
            ASSERT_TRUE(file.isValid());
            const bool theirsRead = file.hasID3v2Tag();
            // TagLib reads no appended tag, and no frame behind a version 3
            // extended header.
            EXPECT_EQ(theirsRead, !how.Appended);
            const bool documented = how.Appended || (how.Extended && how.Version == 3);
            EXPECT_TRUE(found);
            const TagLib::PropertyMap theirs =
                theirsRead ? file.ID3v2Tag()->properties() : TagLib::PropertyMap();
            ++tally.Files;
            Compare(tally, "title", OurValues(ours, TMediaField::Title), Bounded(theirs["TITLE"]),
                    Bounded(fields.Title), documented && !fields.Title.empty());
            Compare(tally, "artist", OurValues(ours, TMediaField::Artist),
                    Bounded(theirs["ARTIST"]), Bounded(fields.Artist),
                    documented && !fields.Artist.empty());
            Compare(tally, "album", OurValues(ours, TMediaField::Album), Bounded(theirs["ALBUM"]),
                    Bounded(fields.Album), documented && !fields.Album.empty());
            Compare(tally, "genre", OurValues(ours, TMediaField::Genre), Bounded(theirs["GENRE"]),
                    Bounded(fields.Genre), documented && !fields.Genre.empty());
            const unsigned theirYear = theirsRead ? file.ID3v2Tag()->year() : 0;
            const unsigned theirTrack = theirsRead ? file.ID3v2Tag()->track() : 0;
            auto number = [&](const char* Field, unsigned Ours, unsigned Theirs, int Held) {
                const auto text = [](unsigned N) {
                    return N ? std::vector<std::string>{std::to_string(N)}
                             : std::vector<std::string>{};
                };
                Compare(tally, Field, text(Ours), text(Theirs), text(static_cast<unsigned>(Held)),
                        documented && Held != 0);
            };
            number("year", LeadingNumber(ours.Year), theirYear, fields.Year);
            number("track", LeadingNumber(ours.Track), theirTrack, fields.Track);
            if (HasFailure())
                break;
        }
        if (HasFailure())
            break;
    }
    std::cout << "ID3v2 framing: " << tally.Files << " files, " << tally.Fields
              << " fields compared, " << tally.Agreed << " agree, " << tally.Documented
              << " differ as documented\n";
    EXPECT_EQ(tally.Files, filesPerKind * static_cast<int>(std::size(kinds)));
    EXPECT_EQ(tally.Agreed + tally.Documented, tally.Fields);
}

TEST(TagLibDifferential, ApeBeforeId3v1AndRepeatedGenresInEveryContainerAgree) {
    TMemoryFile memory;
    TTally tally;
    auto* frames = TagLib::ID3v2::FrameFactory::instance();
    using namespace audiobytes;
    // Each container with several genre values, and an MP3 with APEv2 and
    // ID3v1 (ASCII, so that Latin-1 and the code page read it alike).
    const struct {
        const char* Name;
        std::function<std::string(TAudioTag&)> Build;
        std::function<std::unique_ptr<TagLib::File>(TagLib::IOStream*)> Open;
        TTagSources Sources = TTagSources::OtherFormat;
    } formats[] = {
        {"flac", [](TAudioTag& T) { return FlacFile(T); },
         [frames](TagLib::IOStream* S) {
             return std::make_unique<TagLib::FLAC::File>(S, frames, false);
         }},
        {"ogg vorbis", [](TAudioTag& T) { return OggFile(TOggCodec::Vorbis, T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::Ogg::Vorbis::File>(S, false); }},
        {"asf", [](TAudioTag& T) { return AsfFile(T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::ASF::File>(S, false); }},
        {"ape", [](TAudioTag& T) { return ApeFile("MAC ", T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::APE::File>(S, false); }},
        {"mp4", [](TAudioTag& T) { return Mp4File(T); },
         [](TagLib::IOStream* S) { return std::make_unique<TagLib::MP4::File>(S, false); }},
        {"mp3 APEv2 and ID3v1",
         [](TAudioTag& T) {
             V1 v1;
             v1.Title = "v1 title";
             v1.Album = "v1 album";
             v1.Year = "1999";
             v1.Genre = 255;
             // The APEv2 tag lacks the album now and then: ID3v1 fills it.
             if (Chance(40))
                 T.Album.clear();
             return MpegFrames(Number(2, 5)) + ApeTag(ApeItems(T)) + V1Block(v1);
         },
         [frames](TagLib::IOStream* S) {
             return std::make_unique<TagLib::MPEG::File>(S, frames, false);
         },
         TTagSources::ID3ThenAPE},
    };
    const int filesPerFormat = 150;
    for (const auto& format : formats) {
        for (int i = 0; i < filesPerFormat; ++i) {
            TAudioTag tag;
            tag.Title = Words(false);
            tag.Artist = Words(false);
            tag.Album = Words(false);
            for (int n = Number(1, 3); n > 0; --n)
                tag.Genres.push_back("g" + std::to_string(i) + "-" + std::to_string(n));
            tag.Date = std::to_string(Number(1900, 2030));
            tag.Track = std::to_string(Number(1, 99));
            const std::string bytes = format.Build(tag);
            SCOPED_TRACE(std::string(format.Name) + " #" + std::to_string(i));

            TMediaInfo ours;
            ASSERT_TRUE(ReadTags(memory.Holding(bytes), format.Sources, ours));
            TagLib::ByteVector data(bytes.data(), static_cast<unsigned>(bytes.size()));
            TagLib::ByteVectorStream stream(data);
            const std::unique_ptr<TagLib::File> file = format.Open(&stream);
            ASSERT_TRUE(file->isValid());
            const TagLib::Tag* theirs = file->tag();
            ++tally.Files;
            auto single = [&](const char* Field, const std::string& Ours,
                              const TagLib::String& Theirs) {
                Compare(tally, Field, Bounded(std::vector<std::string>{Ours}),
                        Bounded(TagLib::StringList(Theirs)), {}, false);
            };
            single("title", ours.Title, theirs->title());
            single("artist", ours.Artist, theirs->artist());
            single("album", ours.Album, theirs->album());
            // Every genre value, through the container's own property map.
            const bool mp3 = format.Sources == TTagSources::ID3ThenAPE;
            const TagLib::PropertyMap properties =
                mp3 ? static_cast<TagLib::MPEG::File&>(*file).APETag()->properties()
                    : file->properties();
            Compare(tally, "genre", OurValues(ours, TMediaField::Genre),
                    Bounded(properties["GENRE"]), {}, false);
            ++tally.Fields;
            if (LeadingNumber(ours.Year) == theirs->year())
                ++tally.Agreed;
            else
                ADD_FAILURE() << "year " << ours.Year << " / " << theirs->year();
            if (HasFailure())
                break;
        }
        if (HasFailure())
            break;
    }
    std::cout << "APEv2 before ID3v1 and repeated genres: " << tally.Files << " files, "
              << tally.Fields << " fields compared, " << tally.Agreed << " agree\n";
    EXPECT_EQ(tally.Agreed, tally.Fields);
}
