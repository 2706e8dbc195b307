// Which reader serves a file, found by its first bytes (see AudioTags.h).
#include "media/AudioTags.h"

#include "media/containers/ContainerReaders.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <array>

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

} // namespace

TAudioFormat DetectAudioFormat(TMediaFile& File) {
    const TContainerFormat* format = Detect(File);
    return format ? format->Format : TAudioFormat::Unknown;
}

bool ReadTagsFrom(TMediaFile& File, TTagSources Sources, TMediaInfo& MediaInfo,
                  TTagDecoder& Decoder) {
    if (!File.Open())
        return false;
    if (Sources == TTagSources::ID3 || Sources == TTagSources::ID3ThenAPE) {
        if (ReadMediaInfoFrom(File, MediaInfo, Decoder))
            return true;
        if (Sources == TTagSources::ID3)
            return false;
        TContainerRead read{Decoder};
        ReadApeTag(File, read);
        return read.Tags.Fill(MediaInfo);
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
