// The ID3v1 tag reader: the fixed 128-byte block at the end of a media file,
// and the table of genre names its genre byte refers to.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TMediaFile;
class TTagDecoder;

// Genre names by genre byte; a byte of 148 or more has no name.
extern const std::array<std::string_view, 148> GenreNames;

class TID3v1 {
public:
    static constexpr std::int64_t BlockSize = 128;

    bool TagFound;
    std::uint8_t TagVersion; // 1 = ID3v1.0, 2 = ID3v1.1
    // UTF-8 texts.
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Year;
    std::string Comment;
    std::uint8_t TrackNumber;
    std::uint8_t GenreIndex; // 255 means no genre

    TID3v1() { Clear(); }

    void Clear();

    // True when the last 128 bytes of the file could be read; whether they hold
    // a tag is TagFound. The object is cleared first in every case. The texts
    // are read in Decoder's code page (the tag declares no encoding).
    bool LoadFromFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName, TTagDecoder& Decoder);

    // LoadFromFile on a file that is already open, so a caller that read its
    // head can reuse the descriptor (and, for small files, the bytes read).
    bool LoadFromMediaFile(TMediaFile& File, TTagDecoder& Decoder);

    // Fills the fields from one 128-byte block; the object is cleared first.
    void LoadFromBlock(const unsigned char* Block, TTagDecoder& Decoder);

    // The name of GenreIndex, empty when it has none.
    std::string GenreName() const;
};
