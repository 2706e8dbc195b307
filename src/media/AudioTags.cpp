// Which reader serves a file, found by its first bytes (see AudioTags.h).
#include "media/AudioTags.h"

#include "media/containers/ContainerReaders.h"
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

} // namespace

TAudioFormat DetectAudioFormat(TMediaFile& File) {
    const TContainerFormat* format = Detect(File);
    return format ? format->Format : TAudioFormat::Unknown;
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
        if (ReadID3v2Info(File, MediaInfo, Decoder))
            return true;
        // An APEv2 tag holds full UTF-8 texts where an ID3v1 tag holds 30
        // Latin-1 bytes: it comes first, and ID3v1 fills what it lacks.
        TContainerRead read{Decoder};
        ReadApeTag(File, read);
        if (read.Tags.Fill(MediaInfo)) {
            FillFromID3v1(File, MediaInfo, Decoder);
            return true;
        }
        return ReadID3v1Info(File, MediaInfo, Decoder);
    }
    TContainerRead read{Decoder};
    ReadContainer(File, read);
    if (read.Tags.Fill(MediaInfo))
        return true;
    return Sources == TTagSources::OtherFormatThenID3 &&
           ReadMediaInfoFrom(File, MediaInfo, Decoder);
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
    ReadContainer(File, read);
    return read.DurationMs;
}

std::int64_t ReadDurationMs(const std::string& FileName) {
    TMediaFile file(FileName);
    return ReadDurationMsFrom(file);
}
