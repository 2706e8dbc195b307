// The APEv2 tag at the end of Monkey's Audio, WavPack, Musepack and some MP3
// files.
#include "media/containers/ContainerReaders.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

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

// The formats whose tag is APEv2 by their first bytes: Monkey's Audio,
// WavPack and Musepack (SV8, then SV7).
constexpr std::pair<std::string_view, TContentFormat> ApeFamily[] = {
    {"MAC ", TContentFormat::APE},
    {"wvpk", TContentFormat::WavPack},
    {"MPCK", TContentFormat::Musepack},
    {"MP+", TContentFormat::Musepack},
};

TContentFormat ApeFamilyFormat(const unsigned char* Head, std::size_t Size) {
    for (const auto& [magic, format] : ApeFamily)
        if (Size >= magic.size() && std::memcmp(Head, magic.data(), magic.size()) == 0)
            return format;
    return TContentFormat::Unknown;
}

bool ClaimsApeFamily(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return ApeFamilyFormat(Head, Size) != TContentFormat::Unknown;
}

void ReadApeFamily(TMediaFile& File, TContainerRead& Read) {
    const std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(File.Size(), 4));
    if (const unsigned char* head = size > 0 ? File.Bytes(0, size) : nullptr)
        Read.Format = ApeFamilyFormat(head, size);
    ReadApeTag(File, Read);
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
        // Several values are separated by NUL bytes; the genre and the composer
        // keep them all, the other fields their first, as they always have.
        const TCut cut = read < valueSize ? TCut::Cut : TCut::Whole;
        for (std::size_t start = 0; start <= raw.size();) {
            std::size_t nulAt = raw.find('\0', start);
            const bool lastValue = nulAt == std::string_view::npos;
            if (lastValue)
                nulAt = raw.size();
            Read.Tags.Add(field, Utf8FromUtf8(raw.substr(start, nulAt - start),
                                              lastValue ? cut : TCut::Whole));
            if (lastValue || (field != TTagFields::Genre && field != TTagFields::Composer))
                break;
            start = nulAt + 1;
        }
    }
}

const TContainerFormat ApeFormat = {TAudioFormat::Ape, ClaimsApeFamily, ReadApeFamily};
