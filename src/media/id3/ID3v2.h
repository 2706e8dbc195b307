// The ID3v2 tag reader: the tag at the start of a media file (or a version 4
// tag appended at its end), versions 2, 3 and 4, reduced to the texts of
// seventeen known frames, decoded to UTF-8.
#pragma once

#include "media/MediaUtils.h"
#include "media/id3/ID3v2Header.h"
#include "media/toolkit/TagFields.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TMediaFile;
class TTagDecoder;

// What one read collects from a tag: its header and the data of the kept
// frames, each undone of its unsynchronisation and compression.
struct TagInfo {
    static constexpr std::size_t SlotCount = 17;
    // Bytes kept of one frame: a value of FieldTextSize UTF-8 bytes written in
    // UTF-16, with its encoding byte and byte-order mark.
    static constexpr std::size_t FrameKeepSize = 2 * FieldTextSize + 3;
    // Bytes kept of all frames of one tag; a tag of thousands of repeated
    // frames keeps its first ones.
    static constexpr std::size_t TagKeepSize = 8 * FrameKeepSize;

    struct TKeptFrame {
        std::uint8_t Slot;
        // Whether the frame held more than FrameKeepSize bytes, so that its
        // last character may have been cut.
        bool Cut;
        std::uint32_t Offset;
        std::uint32_t Length;
    };

    TID3v2Header Header;
    // 64 bits: files beyond 2 GiB are common enough for long recordings.
    std::int64_t FileSize = 0;
    // Every kept frame in the tag's order; a slot may have several.
    std::vector<TKeptFrame> Frames;
    std::string Data;

    std::string_view Bytes(const TKeptFrame& Frame) const {
        return std::string_view(Data).substr(Frame.Offset, Frame.Length);
    }
};

class TID3v2 {
public:
    bool TagFound;
    std::uint8_t TagVersion;
    // Header, frames, padding and footer: the position where a tag at the
    // start ends; 0 when the declared size is larger than the file (the frames
    // that lie within the file are read all the same) or the tag was found at
    // the end.
    std::int32_t TagSize;
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string TrackText;
    std::string Year;
    std::string Genre;
    std::string Comment;
    std::string AlbumArtist;
    std::string Composer;
    std::string Encoder;
    std::string RightsMessage;
    std::string Language;
    std::string Link;
    // Whether the tag was found at the end of the file rather than its start.
    bool Appended;
    // The values of the media-info fields (title, artist, album, genre, album
    // artist, composer) that hold two or more: from several values in a
    // version 4 frame or from several frames of one kind. Their texts above
    // are them joined by "; ".
    std::vector<TFieldValue> Values;

    TID3v2() { Clear(); }

    void Clear();

    // Which texts a load derives: the media-info reader looks at eight of them
    // only, and decoding is most of what deriving costs.
    enum TextSet { AllTexts, MediaInfoTexts };

    // True when the first 10 bytes of the file could be read; whether they start
    // a tag, or a version 4 tag with a footer ends the file (before an ID3v1
    // or an APEv2 tag), is TagFound. The object is cleared first in every case. Text without
    // a declared encoding is read in Decoder's code page.
    bool LoadFromFile(const std::string& FileName);
    bool LoadFromFile(const std::string& FileName, TTagDecoder& Decoder);

    // LoadFromFile on a file that is already open, so a caller can go on to the
    // ID3v1 tag through the same descriptor.
    bool LoadFromMediaFile(TMediaFile& File, TTagDecoder& Decoder, TextSet Texts = AllTexts);

private:
    void ScanFrames(TMediaFile& File, TagInfo& Info, std::int64_t Start);
    void DeriveTexts(const TagInfo& Info, TTagDecoder& Decoder, TextSet Texts);
};

// A genre text as the ID3v2 standard reads it: leading references "(17)",
// "(RX)" and "(CR)" become names, joined by "; " unless a text after them
// refines them; "((" starts literal text; a bare number 0-147 is that genre.
std::string GenreText(std::string_view Text);
