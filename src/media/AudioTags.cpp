// Which reader serves a file, found by its first bytes (see AudioTags.h).
#include "media/AudioTags.h"

#include "media/containers/ContainerReaders.h"
#include "media/id3/ID3v2Header.h"
#include "media/mpeg/MpegAudio.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Every container format, in the order their first bytes are tried: FLAC
// before MPEG, since a FLAC stream may sit behind an ID3v2 tag. A new format
// is one more line here and its own file in containers/.
constexpr std::array<const TContainerFormat*, 8> Formats = {
    &FlacFormat, &OggFormat,  &Mp4Format, &AsfFormat,
    &WavFormat,  &AiffFormat, &ApeFormat, &MpegFormat,
};

const TContainerFormat* Detect(TMediaFile& File) {
    const std::size_t size = static_cast<std::size_t>(std::clamp<std::int64_t>(File.Size(), 0, 16));
    const unsigned char* head = size > 0 ? File.Bytes(0, size) : nullptr;
    if (!head)
        return nullptr;
    for (const TContainerFormat* format : Formats)
        if (format->Claims(File, head, size))
            return format;
    return nullptr;
}

void ReadContainer(TMediaFile& File, TContainerRead& Read) {
    if (const TContainerFormat* format = Detect(File))
        format->Read(File, Read);
}

// Whether a file that starts with no ID3v2 tag is a container of another
// format. A tag at the start is MPEG's, and looking behind it for a FLAC
// stream would cost an MP3 with a large tag one more read.
bool ClaimedByContainer(TMediaFile& File) {
    const unsigned char* head = File.Size() >= 3 ? File.Bytes(0, 3) : nullptr;
    if (!head || std::memcmp(head, "ID3", 3) == 0)
        return false;
    const TContainerFormat* format = Detect(File);
    return format && format->Format != TAudioFormat::Mpeg;
}

// More ID3v2 tags one behind the other than a tagger's mistakes leave.
constexpr int MaxStackedTags = 4;

// The format of a file that Format claims (null: none does), where no ID3v2
// tag starts it: the container's reader says it, as far as its structure
// goes; MPEG audio is MP3 when a frame starts it.
TContentFormat FormatOfContainer(TMediaFile& File, const TContainerFormat* Format) {
    if (!Format || Format->Format == TAudioFormat::Mpeg)
        return MpegAudioAt(File, 0) ? TContentFormat::MP3 : TContentFormat::Unknown;
    TContainerRead read{DefaultTagDecoder()};
    read.WantTags = false;
    Format->Read(File, read);
    return read.Format;
}

// The format by the first bytes and, for a head that is not a container's,
// what follows the ID3v2 tags at the start.
TContentFormat FormatOf(TMediaFile& File, const TContainerFormat* Format) {
    TID3v2Header tag;
    if (Format && Format->Format == TAudioFormat::Mpeg && ReadID3v2Header(File, 0, tag))
        return ContentFormatBehind(File, tag.TagSize());
    return FormatOfContainer(File, Format);
}

} // namespace

TAudioFormat DetectAudioFormat(TMediaFile& File) {
    const TContainerFormat* format = Detect(File);
    return format ? format->Format : TAudioFormat::Unknown;
}

std::optional<TContentFormat> FormatAtAGlance(TMediaFile& File, std::int64_t Position) {
    const unsigned char* head = File.Bytes(Position, 4);
    if (head && IsMpegAudioFrame(head))
        return TContentFormat::MP3;
    // No other format's first bytes begin with 0xFF.
    if (head && head[0] == 0xFF)
        return TContentFormat::Unknown;
    return std::nullopt;
}

TContentFormat DetectContentFormat(TMediaFile& File) {
    return FormatOf(File, Detect(File));
}

TContentFormat ContentFormatBehind(TMediaFile& File, std::int64_t TagEnd) {
    const std::int64_t size = File.Size();
    // The usual case first: a frame right behind the tag.
    if (const std::optional<TContentFormat> seen = FormatAtAGlance(File, TagEnd))
        return *seen;
    for (int tags = 0; tags < MaxStackedTags && TagEnd < size; ++tags) {
        // The stream behind the tag is read as a file of its own.
        File.Restrict(TagEnd, size - TagEnd);
        const TContainerFormat* format = Detect(File);
        TID3v2Header tag;
        if (format && format->Format == TAudioFormat::Mpeg && ReadID3v2Header(File, 0, tag)) {
            File.Unrestrict();
            TagEnd += tag.TagSize();
            continue;
        }
        const TContentFormat found = FormatOfContainer(File, format);
        File.Unrestrict();
        return found;
    }
    return TContentFormat::Unknown;
}

bool ReadTagsFrom(TMediaFile& File, TTagSources Sources, TMediaInfo& MediaInfo,
                  TTagDecoder& Decoder) {
    if (!File.Open())
        return false;
    if (Sources == TTagSources::ID3)
        return ReadMediaInfoFrom(File, MediaInfo, Decoder);
    if (Sources == TTagSources::ID3ThenAPE) {
        // The content decides: a FLAC, Ogg, MP4 or other stream is read by its
        // own reader whatever the file's name says.
        if (ClaimedByContainer(File))
            Sources = TTagSources::OtherFormatThenID3;
    }
    if (Sources == TTagSources::ID3ThenAPE) {
        // The start is at hand from the look above, the tags at the end next.
        const std::optional<TContentFormat> start = FormatAtAGlance(File, 0);
        if (ReadID3v2Info(File, MediaInfo, Decoder))
            return true;
        // An APEv2 tag holds full UTF-8 texts where an ID3v1 tag holds 30
        // Latin-1 bytes: it comes first, and ID3v1 fills what it lacks.
        TContainerRead read{Decoder};
        ReadApeTag(File, read);
        if (read.Tags.Fill(MediaInfo)) {
            FillFromID3v1(File, MediaInfo, Decoder);
            MediaInfo.Format = start ? *start : DetectContentFormat(File);
            return true;
        }
        return ReadID3v1Info(File, MediaInfo, Decoder, start);
    }
    TContainerRead read{Decoder};
    const TContainerFormat* format = Detect(File);
    if (format)
        format->Read(File, read);
    if (read.Tags.Fill(MediaInfo)) {
        MediaInfo.Format = read.Format;
        return true;
    }
    if (Sources != TTagSources::OtherFormatThenID3 || !ReadMediaInfoFrom(File, MediaInfo, Decoder))
        return false;
    // The container's reader has seen more of the content than the ID3
    // readers look at (an MP4's sample descriptions).
    if (format && format->Format != TAudioFormat::Mpeg)
        MediaInfo.Format = read.Format;
    return true;
}

bool ReadTags(const std::string& FileName, TTagSources Sources, TMediaInfo& MediaInfo,
              TTagDecoder& Decoder) {
    TMediaFile file(FileName);
    return ReadTagsFrom(file, Sources, MediaInfo, Decoder);
}

bool ReadTagsAt(int FolderFd, const char* Name, TTagSources Sources, TMediaInfo& MediaInfo,
                std::int64_t& FileSize, TTagDecoder& Decoder) {
    TMediaFile file(FolderFd, Name);
    FileSize = file.Size();
    return ReadTagsFrom(file, Sources, MediaInfo, Decoder);
}

bool ReadTagsAt(int FolderFd, const char* Name, TTagSources Sources, TMediaInfo& MediaInfo,
                struct stat& Opened, TTagDecoder& Decoder) {
    TMediaFile file(FolderFd, Name);
    Opened = file.Status();
    return ReadTagsFrom(file, Sources, MediaInfo, Decoder);
}

std::int64_t ReadDurationMsFrom(TMediaFile& File) {
    if (!File.Open())
        return -1;
    TContainerRead read{DefaultTagDecoder()};
    read.WantTags = false;
    read.WantDuration = true;
    read.WantFormat = false;
    ReadContainer(File, read);
    return read.DurationMs;
}

std::int64_t ReadDurationMs(const std::string& FileName) {
    TMediaFile file(FileName);
    return ReadDurationMsFrom(file);
}
