// ASF (WMA): the Content Description and Extended Content Description objects
// of the header, UTF-16LE texts, and the length from File Properties.
#include "media/containers/ContainerReaders.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr unsigned char HeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char ContentGuid[16] = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr unsigned char ExtendedGuid[16] = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                            0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr unsigned char PropertiesGuid[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};

constexpr std::int64_t ObjectHeaderSize = 24;
// More objects or descriptors than any real header has.
constexpr std::uint32_t MaxObjects = 1024;
constexpr std::uint32_t MaxDescriptors = 4096;

// The UTF-16LE text of Length bytes at Position, cut to what a field keeps.
bool ReadText(TMediaFile& File, std::int64_t Position, std::uint32_t Length, std::string& Text) {
    const std::size_t read = std::min<std::size_t>(Length, FieldTextSize * 2);
    const unsigned char* bytes = File.Bytes(Position, read);
    if (!bytes)
        return false;
    Text = Utf8FromUtf16(std::string_view(reinterpret_cast<const char*>(bytes), read), false,
                         read < Length ? TCut::Cut : TCut::Whole);
    return true;
}

void ReadContent(TMediaFile& File, std::int64_t Data, std::int64_t End, TTagFields& Fields) {
    const unsigned char* lengths = End - Data >= 10 ? File.Bytes(Data, 10) : nullptr;
    if (!lengths)
        return;
    const std::uint32_t title = LittleEndian16(lengths), author = LittleEndian16(lengths + 2);
    std::int64_t position = Data + 10;
    std::string text;
    if (title > End - position || !ReadText(File, position, title, text))
        return;
    Fields.Add(TTagFields::Title, text);
    position += title;
    if (author > End - position || !ReadText(File, position, author, text))
        return;
    Fields.Add(TTagFields::Artist, text);
}

// Whether a descriptor name of Length UTF-16LE bytes is the ASCII Name.
bool NameIs(const unsigned char* Bytes, std::uint32_t Length, std::string_view Name) {
    if (Length != 2 * Name.size() && Length != 2 * Name.size() + 2)
        return false;
    for (std::size_t i = 0; i < Name.size(); ++i)
        if (Bytes[2 * i] != static_cast<unsigned char>(Name[i]) || Bytes[2 * i + 1] != 0)
            return false;
    return Length == 2 * Name.size() || (Bytes[Length - 2] == 0 && Bytes[Length - 1] == 0);
}

void ReadExtended(TMediaFile& File, std::int64_t Data, std::int64_t End, TTagFields& Fields) {
    static constexpr std::pair<std::string_view, TTagFields::Field> names[] = {
        {"WM/AlbumTitle", TTagFields::Album},  {"WM/AlbumArtist", TTagFields::AlbumArtist},
        {"WM/Composer", TTagFields::Composer}, {"WM/Genre", TTagFields::Genre},
        {"WM/Year", TTagFields::Year},         {"WM/TrackNumber", TTagFields::TrackNumber}};
    const unsigned char* b = End - Data >= 2 ? File.Bytes(Data, 2) : nullptr;
    if (!b)
        return;
    const std::uint32_t count = std::min(LittleEndian16(b), MaxDescriptors);
    std::int64_t position = Data + 2;
    // WM/Track counts from 0 and is older; it serves only when WM/TrackNumber is absent.
    std::string zeroBasedTrack;
    for (std::uint32_t i = 0; i < count; ++i) {
        b = End - position >= 2 ? File.Bytes(position, 2) : nullptr;
        if (!b)
            return;
        const std::uint32_t nameLength = LittleEndian16(b);
        const std::int64_t name = position + 2;
        if (End - name < static_cast<std::int64_t>(nameLength) + 4)
            return;
        const unsigned char* head = File.Bytes(name + nameLength, 4);
        if (!head)
            return;
        const std::uint32_t type = LittleEndian16(head), valueLength = LittleEndian16(head + 2);
        const std::int64_t value = name + nameLength + 4;
        if (End - value < valueLength)
            return;
        position = value + valueLength;

        // Names this reader keeps are short; longer ones need no read.
        const unsigned char* nameBytes = nameLength <= 64 ? File.Bytes(name, nameLength) : nullptr;
        if (!nameBytes)
            continue;
        TTagFields::Field field = TTagFields::NoField;
        for (const auto& [known, which] : names)
            if (NameIs(nameBytes, nameLength, known))
                field = which;
        const bool track0 = NameIs(nameBytes, nameLength, "WM/Track");
        if (field == TTagFields::NoField && !track0)
            continue;
        std::string text;
        if (type == 0) {
            if (!ReadText(File, value, valueLength, text))
                return;
        } else if (type == 3 && valueLength == 4) {
            const unsigned char* number = File.Bytes(value, 4);
            if (!number)
                return;
            text = std::to_string(LittleEndian32(number) + (track0 ? 1 : 0));
        } else {
            continue;
        }
        if (track0 && type == 0 && !text.empty() &&
            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            text.size() < 9)
            text = std::to_string(std::stoul(text) + 1);
        if (track0)
            zeroBasedTrack = text;
        else
            Fields.Add(field, text);
    }
    if (Fields.Values(TTagFields::TrackNumber).empty())
        Fields.Add(TTagFields::TrackNumber, zeroBasedTrack);
}

void ReadProperties(TMediaFile& File, std::int64_t Data, std::int64_t End, TContainerRead& Read) {
    const unsigned char* b = End - Data >= 64 ? File.Bytes(Data, 64) : nullptr;
    if (!b)
        return;
    // 100-nanosecond units of play time, which include the preroll in milliseconds.
    const std::uint64_t play = LittleEndian64(b + 40), preroll = LittleEndian64(b + 56);
    const std::uint64_t milliseconds = play / 10000;
    if (milliseconds > preroll)
        Read.DurationMs = static_cast<std::int64_t>(
            std::min<std::uint64_t>(milliseconds - preroll, std::uint64_t{1} << 62));
}

void ReadAsf(TMediaFile& File, TContainerRead& Read) {
    const unsigned char* header = File.Bytes(0, 30);
    if (!header || std::memcmp(header, HeaderGuid, 16) != 0)
        return;
    Read.Format = TContentFormat::WMA;
    const std::uint64_t size = LittleEndian64(header + 16);
    const std::int64_t end = static_cast<std::int64_t>(
        std::min<std::uint64_t>(size, static_cast<std::uint64_t>(File.Size())));
    const std::uint32_t count = std::min(LittleEndian32(header + 24), MaxObjects);
    std::int64_t position = 30;
    for (std::uint32_t i = 0; i < count && end - position >= ObjectHeaderSize; ++i) {
        const unsigned char* object = File.Bytes(position, ObjectHeaderSize);
        if (!object)
            return;
        unsigned char guid[16];
        std::memcpy(guid, object, 16);
        const std::uint64_t objectSize = LittleEndian64(object + 16);
        if (objectSize < ObjectHeaderSize ||
            objectSize > static_cast<std::uint64_t>(end - position))
            return;
        const std::int64_t data = position + ObjectHeaderSize;
        const std::int64_t objectEnd = position + static_cast<std::int64_t>(objectSize);
        if (Read.WantTags && std::memcmp(guid, ContentGuid, 16) == 0)
            ReadContent(File, data, objectEnd, Read.Tags);
        else if (Read.WantTags && std::memcmp(guid, ExtendedGuid, 16) == 0)
            ReadExtended(File, data, objectEnd, Read.Tags);
        else if (Read.WantDuration && std::memcmp(guid, PropertiesGuid, 16) == 0)
            ReadProperties(File, data, objectEnd, Read);
        position = objectEnd;
    }
}

constexpr unsigned char AsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};

bool ClaimsAsf(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return Size >= 16 && std::memcmp(Head, AsfHeaderGuid, 16) == 0;
}

} // namespace

const TContainerFormat AsfFormat = {TAudioFormat::Asf, ClaimsAsf, ReadAsf};
