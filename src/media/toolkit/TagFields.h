// What the readers of the other audio formats share: the fields they collect
// under the common names of tag fields, the texts made UTF-8 and cut to the
// tag readers' width, and bounded reads of a file's bytes.
#pragma once

#include "media/MediaUtils.h"
#include "media/text/Unicode.h"
#include "media/toolkit/Bytes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TMediaFile;

// Bytes kept of each value (UTF-8), as for the ID3 readers: long enough for
// the titles of classical works and compilations, short enough to bound the
// memory a file costs.
inline constexpr std::size_t FieldTextSize = 4096;

// Text trimmed of bytes up to 32 at both ends and cut to FieldTextSize bytes
// without splitting a character.
std::string FieldText(std::string Text);

// The fields a tag holds under its own names, gathered by the readers and
// turned into the media-info record in one way for all formats.
class TTagFields {
public:
    enum Field {
        Title,
        Artist,
        // The album artist under the names that also stand in for a missing
        // artist (ALBUMARTIST, aART, WM/AlbumArtist, APE's Album Artist).
        AlbumArtist,
        // The album artist under names that never stand in for the artist
        // (ALBUM_ARTIST, an ID3 chunk's TPE2): a tag of it alone is no tag,
        // as it was before the field was read at all.
        AlbumArtistAlone,
        Composer,
        Album,
        Genre,
        Date,
        Year,
        TrackNumber,
        TrackTotal,
        FieldCount,
        NoField = FieldCount
    };

    // The field of a Vorbis comment or APEv2 item name, in any letter case.
    static Field FromName(std::string_view Name);

    // Adds one value, already UTF-8, trimmed and cut to FieldTextSize bytes;
    // an empty one is left out. A field keeps every value, up to MaxValues.
    void Add(Field Which, std::string Value);

    // Whether it holds none of the fields that make a tag: the album artist
    // alone and the composer make none.
    bool Empty() const;

    // Fills the record (all but its format) and returns true when any of the
    // six fields title, artist, album, genre, year and track is not empty;
    // otherwise returns false and leaves MediaInfo alone. Each field gets all
    // its values; the year each date's first four characters, the track its
    // first number with the first count; the artist the album artist when
    // the tag has none.
    bool Fill(TMediaInfo& MediaInfo) const;

    const std::vector<std::string>& Values(Field Which) const { return values_[Which]; }

    // More values of one field than any tagger writes: a hostile tag of
    // thousands of artists costs no more than this.
    static constexpr std::size_t MaxValues = 64;

private:
    std::array<std::vector<std::string>, FieldCount> values_;
};

// A stream of bytes that a tag is parsed from: a range of the file, or the
// packets of an Ogg stream. Every read is checked; a failed one ends the parse.
class TByteSource {
public:
    virtual ~TByteSource() = default;
    // Copies Count bytes (at most TMediaFile::WindowCapacity) to Out.
    virtual bool Read(unsigned char* Out, std::size_t Count) = 0;
    // Passes over Count bytes without reading them where it can.
    virtual bool Skip(std::uint64_t Count) = 0;
};

// The bytes of the file from Start up to End.
class TFileRange : public TByteSource {
public:
    TFileRange(TMediaFile& File, std::int64_t Start, std::int64_t End)
        : file_(File), position_(Start), end_(End) {}
    bool Read(unsigned char* Out, std::size_t Count) override;
    bool Skip(std::uint64_t Count) override;
    std::int64_t Position() const { return position_; }

private:
    TMediaFile& file_;
    std::int64_t position_;
    std::int64_t end_;
};
