// The ID3v2 tag reader: the tag at the start of a media file, versions 2, 3
// and 4, reduced to the texts of sixteen known frames, decoded to UTF-8.
#pragma once

#include "media/id3/ID3v2Header.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

class TMediaFile;
class TTagDecoder;

// What one read collects from a file: its tag header, its size and the data of
// the kept frames.
struct TagInfo {
    static constexpr std::size_t SlotCount = 16;
    // Bytes kept of each frame; shorter frames are filled up with NUL bytes.
    static constexpr std::size_t FrameTextSize = 250;

    TID3v2Header Header;
    // 64 bits: files beyond 2 GiB are common enough for long recordings.
    std::int64_t FileSize = 0;
    // Slot 1 of the frame table is FrameText[0]: the frame's first bytes, NUL
    // filled to FrameTextSize; all NUL when the frame is absent. Fixed arrays,
    // so reading a file allocates nothing for its frames.
    std::array<std::array<char, FrameTextSize>, SlotCount> FrameText{};
    // How many of a slot's bytes came from the frame; the rest is NUL fill,
    // which trimming removes anyway, so trimmed texts need only look at these.
    std::array<std::size_t, SlotCount> DataLength{};
    // Whether the slot's frame was present at all.
    std::array<bool, SlotCount> Present{};
    // Whether the frame held more than FrameTextSize bytes, so that its last
    // character may have been cut.
    std::array<bool, SlotCount> Cut{};

    std::string_view Slot(std::size_t Index) const {
        return Present[Index] ? std::string_view(FrameText[Index].data(), FrameTextSize)
                              : std::string_view();
    }
};

class TID3v2 {
public:
    bool TagFound;
    std::uint8_t TagVersion;
    // Header, frames, padding and footer: the position where the tag ends; 0
    // when the declared size is larger than the file.
    std::int32_t TagSize;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string TrackText;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string Composer;
    std::string Encoder;
    std::string RightsMessage;
    std::string Language;
    std::string Link;

    TID3v2() { Clear(); }

    void Clear();

    // Which texts a load derives: the media-info reader looks at six of them
    // only, and decoding is most of what deriving costs.
    enum TextSet { AllTexts, MediaInfoTexts };

    // True when the first 10 bytes of the file could be read; whether they start
    // a tag is TagFound. The object is cleared first in every case. Text without
    // a declared encoding is read in Decoder's code page.
    bool LoadFromFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName, TTagDecoder& Decoder);

    // LoadFromFile on a file that is already open, so a caller can go on to the
    // ID3v1 tag through the same descriptor.
    bool LoadFromMediaFile(TMediaFile& File, TTagDecoder& Decoder, TextSet Texts = AllTexts);

private:
    void ScanFrames(TMediaFile& File, TagInfo& Info);
    void DeriveTexts(const TagInfo& Info, TTagDecoder& Decoder, TextSet Texts);
};

// A genre text as the ID3v2 standard reads it: leading references "(17)",
// "(RX)" and "(CR)" become names, joined by "; " unless a text after them
// refines them; "((" starts literal text; a bare number 0-147 is that genre.
std::string GenreText(std::string_view Text);
