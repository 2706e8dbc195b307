// Builders of raw tag bytes for the tests: ID3v1 blocks, ID3v2 headers
// and frames of each version.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>

#include "media/MediaUtils.h"

#include <gtest/gtest.h>

namespace tagbytes {

// An ID3v1 block. Texts are cut or NUL-filled to their widths; Separator and
// Track, when not negative, overwrite comment bytes 28 and 29.
struct V1 {
    std::string Magic = "TAG";
    std::string Title, Artist, Album, Year, Comment;
    int Separator = -1;
    int Track = -1;
    std::uint8_t Genre = 255;
};

inline void Put(std::string& Block, std::size_t Offset, const std::string& Text,
                std::size_t Width) {
    std::memcpy(Block.data() + Offset, Text.data(), std::min(Text.size(), Width));
}

inline std::string V1Block(const V1& Fields) {
    std::string block(128, '\0');
    Put(block, 0, Fields.Magic, 3);
    Put(block, 3, Fields.Title, 30);
    Put(block, 33, Fields.Artist, 30);
    Put(block, 63, Fields.Album, 30);
    Put(block, 93, Fields.Year, 4);
    Put(block, 97, Fields.Comment, 30);
    if (Fields.Separator >= 0)
        block[125] = static_cast<char>(Fields.Separator);
    if (Fields.Track >= 0)
        block[126] = static_cast<char>(Fields.Track);
    block[127] = static_cast<char>(Fields.Genre);
    return block;
}

inline std::string SyncSafe(std::uint32_t Value) {
    return {static_cast<char>((Value >> 21) & 0x7F), static_cast<char>((Value >> 14) & 0x7F),
            static_cast<char>((Value >> 7) & 0x7F), static_cast<char>(Value & 0x7F)};
}

inline std::string BigEndian(std::uint32_t Value, int Bytes) {
    std::string out;
    for (int i = Bytes - 1; i >= 0; --i)
        out += static_cast<char>((Value >> (8 * i)) & 0xFF);
    return out;
}

// A frame header and its data; the size is the data's length unless given.
inline std::string Frame(int Version, const std::string& Id, const std::string& Data,
                         std::int64_t Size = -1) {
    const auto size = static_cast<std::uint32_t>(Size < 0 ? Data.size() : Size);
    if (Version == 2)
        return Id.substr(0, 3) + BigEndian(size, 3) + Data;
    return Id.substr(0, 4) + (Version == 4 ? SyncSafe(size) : BigEndian(size, 4)) +
           std::string(2, '\0') + Data;
}

// A text frame in encoding 0 (the encoding byte starts its data).
inline std::string TextFrame(int Version, const std::string& Id, const std::string& Text) {
    return Frame(Version, Id, std::string(1, '\0') + Text);
}

inline std::string Header(int Version, std::uint32_t Size, std::uint8_t Flags = 0) {
    return std::string("ID3") + static_cast<char>(Version) + '\0' + static_cast<char>(Flags) +
           SyncSafe(Size);
}

// A whole tag: header, frames and Padding zero bytes, its size covering both.
inline std::string Tag(int Version, const std::string& Frames, std::size_t Padding = 0) {
    return Header(Version, static_cast<std::uint32_t>(Frames.size() + Padding)) + Frames +
           std::string(Padding, '\0');
}

// The bytes of a small .mp3: an ID3v2.3 tag holding a title frame, and some
// audio-like bytes after it.
inline std::string Id3v2Title(const std::string& Title) {
    return Tag(3, TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

} // namespace tagbytes

// Failure messages show the texts rather than the record's raw bytes: the six,
// then the album artist, the composer, the format and the separate values
// where there are any.
inline void PrintTo(const TMediaInfo& Info, std::ostream* Out) {
    *Out << "{" << testing::PrintToString(Info.Title) << ", " << testing::PrintToString(Info.Artist)
         << ", " << testing::PrintToString(Info.Album) << ", " << testing::PrintToString(Info.Genre)
         << ", " << testing::PrintToString(Info.Year) << ", " << testing::PrintToString(Info.Track);
    if (!Info.AlbumArtist.empty() || !Info.Composer.empty())
        *Out << ", album artist " << testing::PrintToString(Info.AlbumArtist) << ", composer "
             << testing::PrintToString(Info.Composer);
    if (Info.Format != TContentFormat::Unknown)
        *Out << ", " << ContentFormatName(Info.Format);
    for (const TFieldValue& Value : Info.Values)
        *Out << ", [" << static_cast<int>(Value.Field) << "] "
             << testing::PrintToString(Value.Text);
    *Out << "}";
}
