// The length of an MPEG audio stream (MP3) from its first frame (see
// MpegAudio.h).
#include "media/mpeg/MpegAudio.h"

#include "media/containers/ContainerReaders.h"
#include "media/id3/ID3v2Header.h"
#include "media/toolkit/Bytes.h"
#include "media/toolkit/Duration.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>

namespace {

// The first frame header's facts, for the length of the stream.
struct TFrameHeader {
    int Version;              // 1, 2 or 25 (2.5)
    int Layer;                // 1, 2 or 3
    std::uint32_t Bitrate;    // bits per second
    std::uint32_t SampleRate; // per second
    bool Mono;
    std::uint32_t SamplesPerFrame;
};

bool ParseFrameHeader(const unsigned char* b, TFrameHeader& Header) {
    if (!IsMpegFrameSync(b))
        return false;
    const int versionBits = (b[1] >> 3) & 3, layerBits = (b[1] >> 1) & 3;
    const int bitrateIndex = b[2] >> 4, rateIndex = (b[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
        rateIndex == 3)
        return false;
    Header.Version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
    Header.Layer = 4 - layerBits;
    static constexpr std::uint16_t bitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr std::uint32_t rates[3] = {44100, 48000, 32000};
    const int table = Header.Version == 1 ? 0 : 1;
    Header.Bitrate = bitrates[table][Header.Layer - 1][bitrateIndex] * 1000u;
    Header.SampleRate = rates[rateIndex] / (Header.Version == 1 ? 1 : Header.Version == 2 ? 2 : 4);
    Header.Mono = (b[3] >> 6) == 3;
    Header.SamplesPerFrame = Header.Layer == 1     ? 384
                             : Header.Layer == 2   ? 1152
                             : Header.Version == 1 ? 1152
                                                   : 576;
    return true;
}

// How far past zero bytes the first frame is looked for.
constexpr std::int64_t FrameSearch = 4096;

} // namespace

bool IsMpegAudioFrame(const unsigned char* Bytes) {
    TFrameHeader header{};
    return ParseFrameHeader(Bytes, header);
}

bool MpegAudioAt(TMediaFile& File, std::int64_t Position) {
    TFrameHeader header{};
    // The frame at the very position, the usual case, costs no wider read.
    const unsigned char* bytes = File.Bytes(Position, 4);
    if (!bytes || ParseFrameHeader(bytes, header))
        return bytes != nullptr;
    if (bytes[0] != 0)
        return false;
    const std::int64_t look = std::min<std::int64_t>(File.Size() - Position, FrameSearch);
    bytes = File.Bytes(Position, static_cast<std::size_t>(look));
    if (!bytes)
        return false;
    std::int64_t at = 0;
    while (at < look && bytes[at] == 0)
        ++at;
    return at + 4 <= look && ParseFrameHeader(bytes + at, header);
}

std::int64_t Mp3DurationMs(TMediaFile& File) {
    std::int64_t start = 0;
    if (TID3v2Header tag; ReadID3v2Header(File, 0, tag))
        start = tag.TagSize();
    // The first frame: at the tag's end, or a little after it past padding.
    const std::int64_t look = std::min<std::int64_t>(File.Size() - start, FrameSearch);
    const unsigned char* bytes =
        look >= 4 ? File.Bytes(start, static_cast<std::size_t>(look)) : nullptr;
    if (!bytes)
        return -1;
    TFrameHeader header{};
    std::int64_t at = 0;
    while (at + 4 <= look && !ParseFrameHeader(bytes + at, header))
        ++at;
    if (at + 4 > look)
        return -1;
    const std::int64_t frame = start + at;

    // A Xing or Info header sits where the side information ends.
    const std::int64_t side =
        header.Version == 1 ? (header.Mono ? 17 : 32) : (header.Mono ? 9 : 17);
    if (const unsigned char* xing = File.Bytes(frame + 4 + side, 12);
        xing && (std::memcmp(xing, "Xing", 4) == 0 || std::memcmp(xing, "Info", 4) == 0)) {
        if (BigEndian32(xing + 4) & 1)
            return Milliseconds(std::uint64_t{BigEndian32(xing + 8)} * header.SamplesPerFrame,
                                header.SampleRate);
    }
    if (const unsigned char* vbri = File.Bytes(frame + 36, 18);
        vbri && std::memcmp(vbri, "VBRI", 4) == 0)
        return Milliseconds(std::uint64_t{BigEndian32(vbri + 14)} * header.SamplesPerFrame,
                            header.SampleRate);

    // A constant bit rate: the audio bytes over the rate, an ID3v1 tag left out.
    std::int64_t audio = File.Size() - frame;
    const unsigned char* v1 = File.Bytes(File.Size() - 128, 3);
    if (v1 && std::memcmp(v1, "TAG", 3) == 0)
        audio -= 128;
    if (audio <= 0)
        return -1;
    return Milliseconds(static_cast<std::uint64_t>(audio) * 8, header.Bitrate);
}

namespace {

// An ID3v2 tag at the start (that no other format claimed) or a frame header.
bool ClaimsMpeg(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    TID3v2Header tag;
    return (Size >= TID3v2Header::Size && ParseID3v2Header(Head, tag)) ||
           (Size >= 2 && IsMpegFrameSync(Head));
}

// The tags of MPEG audio are read by the ID3 readers; the container gives the
// length only.
void ReadMpeg(TMediaFile& File, TContainerRead& Read) {
    if (Read.WantDuration)
        Read.DurationMs = Mp3DurationMs(File);
}

} // namespace

const TContainerFormat MpegFormat = {TAudioFormat::Mpeg, ClaimsMpeg, ReadMpeg};
