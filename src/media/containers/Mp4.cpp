// The MP4 family (M4A, M4B, MP4, AAC and ALAC in MP4): the iTunes-style items
// of moov/udta/meta/ilst and the movie's length from mvhd or mdhd.
#include "media/containers/ContainerReaders.h"
#include "media/id3/ID3v1.h"
#include "media/toolkit/Duration.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// More boxes on one level than any real file has; a hostile file of empty
// boxes stops here.
constexpr int MaxBoxes = 4096;

struct TBox {
    char Type[4];
    std::int64_t Data; // where the box's contents start
    std::int64_t End;  // where the box ends
    bool Is(std::string_view Name) const { return std::memcmp(Type, Name.data(), 4) == 0; }
};

// The boxes inside [Start, End), walked by their sizes: a box of size 1 has a
// 64-bit size after its type, one of size 0 runs to End.
class TBoxes {
public:
    TBoxes(TMediaFile& File, std::int64_t Start, std::int64_t End)
        : file_(File), next_(Start), end_(End) {}

    bool Next(TBox& Box) {
        if (++count_ > MaxBoxes || end_ - next_ < 8)
            return false;
        // A box after a skipped one is read no further than its parent's end:
        // udta behind the sample tables is a few hundred bytes, not a page.
        const unsigned char* header = file_.Bytes(next_, 8, end_);
        if (!header)
            return false;
        std::uint64_t size = BigEndian32(header);
        std::int64_t headerSize = 8;
        std::memcpy(Box.Type, header + 4, 4);
        if (size == 1) {
            const unsigned char* large = end_ - next_ >= 16 ? file_.Bytes(next_ + 8, 8) : nullptr;
            if (!large)
                return false;
            size = BigEndian64(large);
            headerSize = 16;
        } else if (size == 0) {
            size = static_cast<std::uint64_t>(end_ - next_);
        }
        if (size < static_cast<std::uint64_t>(headerSize) ||
            size > static_cast<std::uint64_t>(end_ - next_))
            return false;
        Box.Data = next_ + headerSize;
        Box.End = next_ + static_cast<std::int64_t>(size);
        next_ = Box.End;
        return true;
    }

private:
    TMediaFile& file_;
    std::int64_t next_;
    std::int64_t end_;
    int count_ = 0;
};

// The length that an mvhd or mdhd box states: version 1 has 64-bit times.
std::int64_t HeaderDuration(TMediaFile& File, const TBox& Box) {
    const unsigned char* version = File.Bytes(Box.Data, 1);
    if (!version)
        return -1;
    const bool wide = version[0] == 1;
    const std::int64_t length = wide ? 32 : 20;
    if (Box.End - Box.Data < length)
        return -1;
    const unsigned char* b = File.Bytes(Box.Data, static_cast<std::size_t>(length));
    if (!b)
        return -1;
    const std::uint32_t scale = BigEndian32(b + (wide ? 20 : 12));
    const std::uint64_t duration = wide ? BigEndian64(b + 24) : BigEndian32(b + 16);
    if (duration == (wide ? ~std::uint64_t{0} : 0xFFFFFFFFu))
        return -1;
    return Milliseconds(duration, scale);
}

// The length stated by the first track's media header.
std::int64_t TrackDuration(TMediaFile& File, const TBox& Track) {
    TBoxes boxes(File, Track.Data, Track.End);
    TBox box;
    while (boxes.Next(box))
        if (box.Is("mdia")) {
            TBoxes media(File, box.Data, box.End);
            TBox header;
            while (media.Next(header))
                if (header.Is("mdhd"))
                    return HeaderDuration(File, header);
        }
    return -1;
}

// The first box of type Name inside Parent.
bool FindChild(TMediaFile& File, const TBox& Parent, std::string_view Name, TBox& Child) {
    TBoxes boxes(File, Parent.Data, Parent.End);
    while (boxes.Next(Child))
        if (Child.Is(Name))
            return true;
    return false;
}

// Whether Track is a sound track (its handler says "soun"); Format is then
// the codec that its first sample description names: "mp4a" AAC, "alac"
// ALAC, anything else Unknown.
bool SoundTrackFormat(TMediaFile& File, const TBox& Track, TContentFormat& Format) {
    TBox media;
    if (!FindChild(File, Track, "mdia", media))
        return false;
    TBoxes boxes(File, media.Data, media.End);
    TBox box, information{};
    bool sound = false, informationSeen = false;
    while (boxes.Next(box)) {
        // A full box: version and flags, a reserved word, then the handler type.
        if (box.Is("hdlr") && box.End - box.Data >= 12) {
            const unsigned char* type = File.Bytes(box.Data + 8, 4);
            sound = type && std::memcmp(type, "soun", 4) == 0;
        } else if (box.Is("minf") && !informationSeen) {
            information = box;
            informationSeen = true;
        }
    }
    if (!sound)
        return false;
    Format = TContentFormat::Unknown;
    TBox table{}, descriptions{}, entry{};
    // The descriptions are a full box and an entry count before the entries.
    if (informationSeen && FindChild(File, information, "stbl", table) &&
        FindChild(File, table, "stsd", descriptions) &&
        descriptions.End - descriptions.Data >= 16) {
        TBoxes entries(File, descriptions.Data + 8, descriptions.End);
        if (entries.Next(entry))
            Format = entry.Is("mp4a")   ? TContentFormat::AAC
                     : entry.Is("alac") ? TContentFormat::ALAC
                                        : TContentFormat::Unknown;
    }
    return true;
}

// One ilst item: the values of its "data" boxes by their type.
void ReadItem(TMediaFile& File, const TBox& Item, TTagFields& Fields) {
    TTagFields::Field field = TTagFields::NoField;
    enum { Text, GenreNumber, Track } kind = Text;
    static constexpr std::pair<std::string_view, TTagFields::Field> textItems[] = {
        {"\xA9nam", TTagFields::Title},
        {"\xA9"
         "ART",
         TTagFields::Artist},
        {"aART", TTagFields::AlbumArtist},
        {"\xA9"
         "alb",
         TTagFields::Album},
        {"\xA9gen", TTagFields::Genre},
        {"\xA9"
         "day",
         TTagFields::Date},
        {"\xA9wrt", TTagFields::Composer}};
    for (const auto& [name, which] : textItems)
        if (Item.Is(name))
            field = which;
    if (Item.Is("gnre")) {
        field = TTagFields::Genre;
        kind = GenreNumber;
    } else if (Item.Is("trkn")) {
        field = TTagFields::TrackNumber;
        kind = Track;
    }
    if (field == TTagFields::NoField)
        return;

    TBoxes boxes(File, Item.Data, Item.End);
    TBox data;
    while (boxes.Next(data)) {
        // Type indicator and locale, four bytes each, come before the value.
        if (!data.Is("data") || data.End - data.Data < 8)
            continue;
        const unsigned char* type = File.Bytes(data.Data, 4);
        if (!type)
            return;
        const std::int64_t value = data.Data + 8;
        const std::int64_t length = data.End - value;
        if (kind == Text) {
            const bool utf16 = (BigEndian32(type) & 0xFFFFFF) == 2;
            const std::size_t read =
                static_cast<std::size_t>(std::min<std::int64_t>(length, FieldTextSize * 2));
            const unsigned char* bytes = File.Bytes(value, read);
            if (!bytes)
                return;
            const std::string_view raw(reinterpret_cast<const char*>(bytes), read);
            const TCut cut = static_cast<std::int64_t>(read) < length ? TCut::Cut : TCut::Whole;
            Fields.Add(field, utf16 ? Utf8FromUtf16(raw, true, cut) : Utf8FromUtf8(raw, cut));
        } else if (kind == GenreNumber) {
            const unsigned char* bytes = length >= 2 ? File.Bytes(value, 2) : nullptr;
            // The number is one more than the ID3v1 genre byte.
            const std::uint32_t number = bytes ? BigEndian16(bytes) : 0;
            if (number >= 1 && number <= GenreNames.size())
                Fields.Add(field, std::string(GenreNames[number - 1]));
        } else {
            const unsigned char* bytes = length >= 4 ? File.Bytes(value, 4) : nullptr;
            if (!bytes)
                return;
            const std::uint32_t number = BigEndian16(bytes + 2);
            const unsigned char* total = length >= 6 ? File.Bytes(value + 4, 2) : nullptr;
            if (number != 0)
                Fields.Add(field, std::to_string(number));
            if (number != 0 && total && BigEndian16(total) != 0)
                Fields.Add(TTagFields::TrackTotal, std::to_string(BigEndian16(total)));
        }
        // Several data boxes are several values of a genre or a composer; the
        // other items keep their first, as the artist always has.
        if (field != TTagFields::Genre && field != TTagFields::Composer)
            return;
    }
}

void ReadMeta(TMediaFile& File, const TBox& Meta, TTagFields& Fields) {
    // meta is a full box (four bytes of version and flags) in iTunes files,
    // a plain one in QuickTime's: its handler box comes first either way.
    std::int64_t start = Meta.Data + 4;
    if (const unsigned char* b = File.Bytes(Meta.Data, 8); b && std::memcmp(b + 4, "hdlr", 4) == 0)
        start = Meta.Data;
    TBoxes boxes(File, start, Meta.End);
    TBox box;
    while (boxes.Next(box))
        if (box.Is("ilst")) {
            TBoxes items(File, box.Data, box.End);
            TBox item;
            while (items.Next(item))
                ReadItem(File, item, Fields);
            return;
        }
}

void ReadMp4(TMediaFile& File, TContainerRead& Read) {
    TBoxes top(File, 0, File.Size());
    TBox moov;
    do {
        if (!top.Next(moov))
            return;
    } while (!moov.Is("moov"));

    std::int64_t movieDuration = -1, trackDuration = -1;
    bool trackSeen = false, soundSeen = false;
    TBoxes boxes(File, moov.Data, moov.End);
    TBox box;
    while (boxes.Next(box)) {
        if (Read.WantDuration && box.Is("mvhd")) {
            movieDuration = HeaderDuration(File, box);
        } else if (box.Is("trak")) {
            if (Read.WantDuration && !trackSeen) {
                trackSeen = true;
                trackDuration = TrackDuration(File, box);
            }
            if (Read.WantFormat && !soundSeen)
                soundSeen = SoundTrackFormat(File, box, Read.Format);
        } else if (Read.WantTags && box.Is("udta")) {
            TBoxes user(File, box.Data, box.End);
            TBox meta;
            while (user.Next(meta))
                if (meta.Is("meta")) {
                    ReadMeta(File, meta, Read.Tags);
                    break;
                }
        }
    }
    Read.DurationMs = movieDuration > 0 ? movieDuration : trackDuration;
}

bool ClaimsMp4(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return Size >= 8 && std::memcmp(Head + 4, "ftyp", 4) == 0;
}

} // namespace

const TContainerFormat Mp4Format = {TAudioFormat::Mp4, ClaimsMp4, ReadMp4};
