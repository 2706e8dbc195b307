// The APEv2 tag at the end of Monkey's Audio, WavPack, Musepack and some MP3
// files, and the length of an MPEG audio stream from its first frame.
#include "media/ContainerReaders.h"
#include "media/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::int64_t FooterSize = 32;
constexpr std::int64_t ID3v1Size = 128;
constexpr std::uint32_t MaxItems = 4096;
// Item names are 2 to 255 ASCII characters and a NUL.
constexpr std::size_t MaxNameSize = 256;

// Where the tag's footer is: at the very end, or before an ID3v1 tag.
std::int64_t FooterPosition(TMediaFile& File) {
    const std::int64_t size = File.Size();
    const unsigned char* footer = File.Bytes(size - FooterSize, FooterSize);
    if (footer && std::memcmp(footer, "APETAGEX", 8) == 0)
        return size - FooterSize;
    const unsigned char* v1 = File.Bytes(size - ID3v1Size, 3);
    if (!v1 || std::memcmp(v1, "TAG", 3) != 0)
        return -1;
    footer = File.Bytes(size - ID3v1Size - FooterSize, FooterSize);
    if (footer && std::memcmp(footer, "APETAGEX", 8) == 0)
        return size - ID3v1Size - FooterSize;
    return -1;
}

} // namespace

void ReadApeTag(TMediaFile& File, TContainerRead& Read) {
    if (!Read.WantTags)
        return;
    const std::int64_t footerAt = FooterPosition(File);
    if (footerAt < 0)
        return;
    const unsigned char* footer = File.Bytes(footerAt, FooterSize);
    if (!footer)
        return;
    // The size counts the items and the footer, not a header before them.
    const std::int64_t size = LittleEndian32(footer + 12);
    const std::uint32_t count = std::min(LittleEndian32(footer + 16), MaxItems);
    if (size < FooterSize || size > footerAt + FooterSize)
        return;
    std::int64_t position = footerAt + FooterSize - size;
    for (std::uint32_t i = 0; i < count && footerAt - position >= 8; ++i) {
        const unsigned char* head = File.Bytes(position, 8);
        if (!head)
            return;
        const std::uint32_t valueSize = LittleEndian32(head), flags = LittleEndian32(head + 4);
        const std::int64_t name = position + 8;
        const std::size_t nameRead =
            static_cast<std::size_t>(std::min<std::int64_t>(footerAt - name, MaxNameSize));
        const unsigned char* nameBytes = File.Bytes(name, nameRead);
        if (!nameBytes)
            return;
        const void* nul = std::memchr(nameBytes, 0, nameRead);
        if (!nul)
            return;
        const std::string_view itemName(
            reinterpret_cast<const char*>(nameBytes),
            static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - nameBytes));
        const std::int64_t value = name + static_cast<std::int64_t>(itemName.size()) + 1;
        if (valueSize > footerAt - value)
            return;
        position = value + valueSize;
        const TTagFields::Field field = TTagFields::FromName(itemName);
        // Bits 1 and 2 of the flags say the kind of value: 0 is UTF-8 text.
        if (field == TTagFields::NoField || ((flags >> 1) & 3) != 0)
            continue;
        const std::size_t read = std::min<std::size_t>(valueSize, FieldTextSize);
        const unsigned char* bytes = File.Bytes(value, read);
        if (!bytes)
            return;
        std::string_view raw(reinterpret_cast<const char*>(bytes), read);
        // Several values are separated by NUL bytes; the genre keeps them all.
        const TCut cut = read < valueSize ? TCut::Cut : TCut::Whole;
        for (std::size_t start = 0; start <= raw.size();) {
            std::size_t nulAt = raw.find('\0', start);
            const bool lastValue = nulAt == std::string_view::npos;
            if (lastValue)
                nulAt = raw.size();
            Read.Tags.Add(field, Utf8FromUtf8(raw.substr(start, nulAt - start),
                                              lastValue ? cut : TCut::Whole));
            if (lastValue || field != TTagFields::Genre)
                break;
            start = nulAt + 1;
        }
    }
}

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
    if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
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

} // namespace

std::int64_t Mp3DurationMs(TMediaFile& File) {
    std::int64_t start = 0;
    const unsigned char* id3 = File.Bytes(0, 10);
    if (id3 && std::memcmp(id3, "ID3", 3) == 0) {
        // The tag's size is sync-safe; a footer adds ten bytes.
        start = 10 + ((id3[6] & 0x7F) << 21) + ((id3[7] & 0x7F) << 14) + ((id3[8] & 0x7F) << 7) +
                (id3[9] & 0x7F) + ((id3[5] & 0x10) ? 10 : 0);
    }
    // The first frame: at the tag's end, or a little after it past padding.
    const std::int64_t look = std::min<std::int64_t>(File.Size() - start, 4096);
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
