// Which reader serves a file, found by its first bytes (see AudioTags.h).
#include "media/AudioTags.h"

#include "media/ContainerReaders.h"
#include "media/MediaFile.h"

#include <algorithm>
#include <array>
#include <cstring>

std::int64_t Milliseconds(std::uint64_t Units, std::uint64_t Rate) {
    if (Rate == 0)
        return -1;
    // Split so that no product overflows; a hostile length is capped.
    const std::uint64_t seconds = Units / Rate;
    constexpr std::uint64_t cap = std::uint64_t{1} << 52;
    if (seconds >= cap)
        return static_cast<std::int64_t>(cap * 1000);
    return static_cast<std::int64_t>(seconds * 1000 + (Units % Rate) * 1000 / Rate);
}

namespace {

constexpr unsigned char AsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

bool Starts(const unsigned char* Bytes, std::size_t Size, std::string_view Magic,
            std::size_t At = 0) {
    return Size >= At + Magic.size() && std::memcmp(Bytes + At, Magic.data(), Magic.size()) == 0;
}

// The format and, for FLAC, where its stream starts.
TAudioFormat Detect(TMediaFile& File, std::int64_t& FlacStart) {
    FlacStart = 0;
    const std::size_t size = static_cast<std::size_t>(std::clamp<std::int64_t>(File.Size(), 0, 16));
    const unsigned char* b = size > 0 ? File.Bytes(0, size) : nullptr;
    if (!b)
        return TAudioFormat::Unknown;
    if (Starts(b, size, "fLaC"))
        return TAudioFormat::Flac;
    if (Starts(b, size, "ID3") && size >= 10) {
        // Some taggers put an ID3v2 tag before a FLAC stream.
        const std::int64_t end = 10 + ((b[6] & 0x7F) << 21) + ((b[7] & 0x7F) << 14) +
                                 ((b[8] & 0x7F) << 7) + (b[9] & 0x7F) + ((b[5] & 0x10) ? 10 : 0);
        const unsigned char* flac = File.Bytes(end, 4);
        if (flac && std::memcmp(flac, "fLaC", 4) == 0) {
            FlacStart = end;
            return TAudioFormat::Flac;
        }
        return TAudioFormat::Mpeg;
    }
    if (Starts(b, size, "OggS"))
        return TAudioFormat::Ogg;
    if (Starts(b, size, "ftyp", 4))
        return TAudioFormat::Mp4;
    if (size >= 16 && std::memcmp(b, AsfHeaderGuid, 16) == 0)
        return TAudioFormat::Asf;
    if (Starts(b, size, "RIFF") && Starts(b, size, "WAVE", 8))
        return TAudioFormat::Wav;
    if (Starts(b, size, "FORM") && (Starts(b, size, "AIFF", 8) || Starts(b, size, "AIFC", 8)))
        return TAudioFormat::Aiff;
    if (Starts(b, size, "MAC ") || Starts(b, size, "wvpk") || Starts(b, size, "MPCK") ||
        Starts(b, size, "MP+"))
        return TAudioFormat::Ape;
    if (size >= 2 && b[0] == 0xFF && (b[1] & 0xE0) == 0xE0)
        return TAudioFormat::Mpeg;
    return TAudioFormat::Unknown;
}

void ReadContainer(TMediaFile& File, TContainerRead& Read) {
    std::int64_t flacStart;
    switch (Detect(File, flacStart)) {
    case TAudioFormat::Flac:
        ReadFlac(File, flacStart, Read);
        break;
    case TAudioFormat::Ogg:
        ReadOgg(File, Read);
        break;
    case TAudioFormat::Mp4:
        ReadMp4(File, Read);
        break;
    case TAudioFormat::Asf:
        ReadAsf(File, Read);
        break;
    case TAudioFormat::Wav:
        ReadWav(File, Read);
        break;
    case TAudioFormat::Aiff:
        ReadAiff(File, Read);
        break;
    case TAudioFormat::Ape:
        ReadApeTag(File, Read);
        break;
    case TAudioFormat::Mpeg:
        if (Read.WantDuration)
            Read.DurationMs = Mp3DurationMs(File);
        break;
    case TAudioFormat::Unknown:
        break;
    }
}

} // namespace

TAudioFormat DetectAudioFormat(TMediaFile& File) {
    std::int64_t flacStart;
    return Detect(File, flacStart);
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
