// What the readers of the other audio formats share: the fields they collect
// under the common names of tag fields, the texts made UTF-8 and cut to the
// tag readers' width, and bounded reads of a file's bytes.
#pragma once

#include "media/MediaUtils.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class TMediaFile;

// Bytes kept of each field, as for the ID3 readers.
inline constexpr std::size_t FieldTextSize = 250;

// Whether a text is cut: a value longer than what was read of it loses the
// character that the cut split instead of showing it as a bad one.
enum class TCut { Whole, Cut };

// Valid UTF-8 from Raw: bad sequences become U+FFFD; a sequence left open at
// the end is dropped when Raw was Cut.
std::string Utf8FromUtf8(std::string_view Raw, TCut Cut);
// UTF-8 from UTF-16 (little or big endian), up to the first NUL; unpaired
// surrogates become U+FFFD, a pair split by the cut is dropped.
std::string Utf8FromUtf16(std::string_view Raw, bool BigEndian, TCut Cut);
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
        AlbumArtist,
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

    // Adds one value, already UTF-8: the first non-empty value of a field
    // wins, except Genre, whose values are joined with "; ".
    void Add(Field Which, std::string Value);

    bool Empty() const;

    // Fills all six fields and returns true when any of them is not empty;
    // otherwise returns false and leaves MediaInfo alone.
    bool Fill(TMediaInfo& MediaInfo) const;

    const std::string& Value(Field Which) const { return values_[Which]; }

private:
    std::array<std::string, FieldCount> values_;
};

// Little and big endian numbers from raw bytes.
inline std::uint32_t LittleEndian16(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8);
}
inline std::uint32_t LittleEndian32(const unsigned char* b) {
    return LittleEndian16(b) | (LittleEndian16(b + 2) << 16);
}
inline std::uint64_t LittleEndian64(const unsigned char* b) {
    return LittleEndian32(b) | (static_cast<std::uint64_t>(LittleEndian32(b + 4)) << 32);
}
inline std::uint32_t BigEndian16(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 8) | b[1];
}
inline std::uint32_t BigEndian32(const unsigned char* b) {
    return (BigEndian16(b) << 16) | BigEndian16(b + 2);
}
inline std::uint64_t BigEndian64(const unsigned char* b) {
    return (static_cast<std::uint64_t>(BigEndian32(b)) << 32) | BigEndian32(b + 4);
}

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

// A Vorbis comment (vendor, count, "NAME=value" items with little-endian
// lengths), as FLAC, Ogg Vorbis and Opus store it.
void ParseVorbisComment(TByteSource& Source, TTagFields& Fields);
