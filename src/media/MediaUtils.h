// The media-info record of one file, its extraction from the file's ID3v2 or
// ID3v1 tag, and the reading of track texts for sorting.
#pragma once

#include "media/text/TagDecoder.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The fields of the media-info record, in the order of its members.
enum class TMediaField : std::uint8_t {
    Title,
    Artist,
    Album,
    Genre,
    Year,
    Track,
    AlbumArtist,
    Composer
};
inline constexpr int MediaFieldCount = 8;

// What a file holds, as its content (not its name) tells: the container and,
// where one container carries several, the codec.
enum class TContentFormat : std::uint8_t {
    Unknown,
    MP3,
    FLAC,
    Opus,
    Vorbis,
    AAC,
    ALAC,
    WMA,
    WAV,
    AIFF,
    APE,
    WavPack,
    Musepack
};
inline constexpr int ContentFormatCount = 13;

// "MP3", "FLAC", "Opus", ...; "" for Unknown.
const char* ContentFormatName(TContentFormat Format);

// One of the values of a field that holds several.
struct TFieldValue {
    TMediaField Field;
    std::string Text;

    bool operator==(const TFieldValue&) const = default;
};

// The tag fields of one file as UTF-8 texts; empty means unknown. A tag may
// give a field several values (two artists, three genres): the field's text
// is then its values joined with "; ", which the list shows and playlists
// write, and each value is kept in Values as well, for masks that name one.
struct TMediaInfo {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Genre;
    std::string Year;
    std::string Track;
    std::string AlbumArtist = {};
    std::string Composer = {};
    // The format the file's content showed when its tag was read.
    TContentFormat Format = TContentFormat::Unknown;
    // The values of each field that holds two or more, in the tag's order;
    // empty for a file whose fields have one value each, as most have.
    std::vector<TFieldValue> Values = {};

    std::string& Text(TMediaField Field);
    const std::string& Text(TMediaField Field) const;
    // Sets Field to these values, the empty ones left out: their texts joined
    // with "; ", and each on its own when there are two or more.
    void SetValues(TMediaField Field, const std::vector<std::string>& FieldValues);
    // Whether Match holds for the field's text or for one of its values.
    template <class Predicate> bool AnyText(TMediaField Field, Predicate&& Match) const {
        if (Match(Text(Field)))
            return true;
        for (const TFieldValue& Value : Values)
            if (Value.Field == Field && Match(Value.Text))
                return true;
        return false;
    }

    bool operator==(const TMediaInfo&) const = default;
};

// True when an ID3v2 or an ID3v1 tag was found; all fields and the format the
// content shows are then overwritten, those of the six the ID3v2 tag leaves
// empty from the ID3v1 tag when the file has both (an ID3v1 tag has neither
// album artist nor composer). False when neither was found; MediaInfo is left
// untouched.
// Text without a declared encoding is read in Decoder's code page. Never
// throws, never blocks on special files.
bool ReadMediaInfo(const std::string& FileName, TMediaInfo& MediaInfo,
                   TTagDecoder& Decoder = DefaultTagDecoder());

// ReadMediaInfo that also gives the file's size in bytes from the descriptor it
// already has open (-1 when the file could not be opened as a regular file), so
// a folder walk needs no separate stat of each file it reads.
bool ReadMediaInfoAndSize(const std::string& FileName, TMediaInfo& MediaInfo,
                          std::int64_t& FileSize, TTagDecoder& Decoder = DefaultTagDecoder());
// The same for the file Name inside the open folder FolderFd.
bool ReadMediaInfoAt(int FolderFd, const char* Name, TMediaInfo& MediaInfo, std::int64_t& FileSize,
                     TTagDecoder& Decoder = DefaultTagDecoder());
// The same on a file that is already open, so a reader of another format can
// fall back to the ID3 tags through its descriptor.
class TMediaFile;
bool ReadMediaInfoFrom(TMediaFile& File, TMediaInfo& MediaInfo,
                       TTagDecoder& Decoder = DefaultTagDecoder());

// The steps of ReadMediaInfoFrom, for a reader that looks for another tag
// between them: the ID3v2 tag (the fields it leaves empty filled from an
// ID3v1 tag), and the ID3v1 tag alone. Each is true when its tag was found.
// StartFormat is the format the caller saw at the file's start while it was
// at hand, when that decided it: the ID3v1 read then needs no second look at
// the start.
bool ReadID3v2Info(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder);
bool ReadID3v1Info(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder,
                   std::optional<TContentFormat> StartFormat = std::nullopt);
// The fields of MediaInfo that are still empty, from the file's ID3v1 tag.
void FillFromID3v1(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder);

struct TrackNumbers {
    std::uint8_t TrackNumber = 0;
    std::uint8_t TrackCount = 0;
};

// "3/12" gives 3 and 12; a text that is no number gives 0.
TrackNumbers ParseTrackText(const std::string& Text);
