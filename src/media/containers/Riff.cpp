// WAV and AIFF: an ID3v2 tag in an "id3 " or "ID3 " chunk, WAV's LIST/INFO
// texts when there is none, and the length from the format and data sizes.
#include "media/containers/ContainerReaders.h"
#include "media/id3/ID3v2.h"
#include "media/toolkit/Duration.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

// More chunks than any real file has.
constexpr int MaxChunks = 4096;

struct TChunk {
    char Id[4];
    std::int64_t Data;
    std::int64_t Size; // cut to the end of the file
    bool Is(std::string_view Name) const { return std::memcmp(Id, Name.data(), 4) == 0; }
};

// The chunks of a RIFF or IFF body from Start to End; sizes are little endian
// in RIFF, big endian in IFF, and every chunk is padded to an even length.
template <class Visit>
void WalkChunks(TMediaFile& File, std::int64_t Start, std::int64_t End, bool BigEndianSizes,
                Visit&& Visitor) {
    std::int64_t position = Start;
    for (int chunks = 0; chunks < MaxChunks && End - position >= 8; ++chunks) {
        const unsigned char* header = File.Bytes(position, 8);
        if (!header)
            return;
        TChunk chunk;
        std::memcpy(chunk.Id, header, 4);
        const std::int64_t size =
            BigEndianSizes ? BigEndian32(header + 4) : LittleEndian32(header + 4);
        chunk.Data = position + 8;
        // A data chunk whose size runs past the file still tells the length
        // of what is there; a stream written without a final size says 0 or
        // all ones.
        chunk.Size = std::min(size, End - chunk.Data);
        if (!Visitor(chunk) || size > End - chunk.Data)
            return;
        position = chunk.Data + size + (size & 1);
    }
}

// The ID3v2 tag inside a chunk, read by the ID3v2 reader as if it were a file.
void ReadId3Chunk(TMediaFile& File, const TChunk& Chunk, TTagDecoder& Decoder, TTagFields& Fields) {
    File.Restrict(Chunk.Data, Chunk.Size);
    TID3v2 tag;
    const bool found = tag.LoadFromMediaFile(File, Decoder, TID3v2::MediaInfoTexts) && tag.TagFound;
    File.Unrestrict();
    if (!found)
        return;
    struct TText {
        TTagFields::Field Field;
        TMediaField Kept;
        const std::string* Text;
    };
    // The album artist never stands in for the artist here: an ID3 tag has
    // its own frame for each, and a tag of the album artist alone is none.
    const TText texts[] = {
        {TTagFields::Title, TMediaField::Title, &tag.Title},
        {TTagFields::Artist, TMediaField::Artist, &tag.Artist},
        {TTagFields::Album, TMediaField::Album, &tag.Album},
        {TTagFields::Genre, TMediaField::Genre, &tag.Genre},
        {TTagFields::Year, TMediaField::Year, &tag.Year},
        {TTagFields::TrackNumber, TMediaField::Track, &tag.TrackText},
        {TTagFields::AlbumArtistAlone, TMediaField::AlbumArtist, &tag.AlbumArtist},
        {TTagFields::Composer, TMediaField::Composer, &tag.Composer}};
    // The ID3v2 reader keeps the first bytes of a frame: a text that fills them
    // may end in a cut character.
    const auto add = [&Fields](TTagFields::Field Field, const std::string& Text) {
        Fields.Add(Field,
                   Utf8FromUtf8(Text, Text.size() + 1 >= FieldTextSize ? TCut::Cut : TCut::Whole));
    };
    // A field of several values gives each, as the tag reader of an MP3 does.
    for (const TText& text : texts) {
        bool several = false;
        for (const TFieldValue& value : tag.Values)
            if (value.Field == text.Kept) {
                add(text.Field, value.Text);
                several = true;
            }
        if (!several)
            add(text.Field, *text.Text);
    }
}

void ReadInfoList(TMediaFile& File, const TChunk& List, TTagDecoder& Decoder, TTagFields& Fields) {
    static constexpr std::pair<std::string_view, TTagFields::Field> ids[] = {
        {"INAM", TTagFields::Title},      {"IART", TTagFields::Artist},
        {"IPRD", TTagFields::Album},      {"IGNR", TTagFields::Genre},
        {"ICRD", TTagFields::Date},       {"ITRK", TTagFields::TrackNumber},
        {"IPRT", TTagFields::TrackNumber}};
    const unsigned char* type = List.Size >= 4 ? File.Bytes(List.Data, 4) : nullptr;
    if (!type || std::memcmp(type, "INFO", 4) != 0)
        return;
    WalkChunks(File, List.Data + 4, List.Data + List.Size, false, [&](const TChunk& Item) {
        for (const auto& [id, field] : ids)
            if (Item.Is(id)) {
                const std::size_t read =
                    static_cast<std::size_t>(std::min<std::int64_t>(Item.Size, FieldTextSize));
                const unsigned char* bytes = File.Bytes(Item.Data, read);
                if (!bytes)
                    return false;
                std::string_view raw(reinterpret_cast<const char*>(bytes), read);
                raw = raw.substr(0, raw.find('\0'));
                // No character set is declared: UTF-8 where it is valid, the
                // tag code page elsewhere.
                std::string text;
                Decoder.AppendUtf8OrCodePage(text, raw,
                                             static_cast<std::int64_t>(read) < Item.Size);
                Fields.Add(field, std::move(text));
            }
        return true;
    });
}

// An 80-bit IEEE extended number, as AIFF states its sample rate.
double ExtendedValue(const unsigned char* b) {
    const int exponent = static_cast<int>(BigEndian16(b) & 0x7FFF);
    const std::uint64_t mantissa = BigEndian64(b + 2);
    if (exponent == 0 || exponent == 0x7FFF || mantissa == 0)
        return 0;
    return std::ldexp(static_cast<double>(mantissa), exponent - 16383 - 63);
}

void ReadWav(TMediaFile& File, TContainerRead& Read) {
    const unsigned char* header = File.Bytes(0, 12);
    if (!header || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0)
        return;
    Read.Format = TContentFormat::WAV;
    const std::int64_t end =
        std::min<std::int64_t>(File.Size(), 8 + std::int64_t{LittleEndian32(header + 4)});
    TTagFields id3, info;
    std::uint32_t byteRate = 0;
    std::int64_t dataSize = -1;
    WalkChunks(File, 12, end, false, [&](const TChunk& Chunk) {
        if (Read.WantTags && (Chunk.Is("id3 ") || Chunk.Is("ID3 ")) && id3.Empty())
            ReadId3Chunk(File, Chunk, Read.Decoder, id3);
        else if (Read.WantTags && Chunk.Is("LIST") && info.Empty())
            ReadInfoList(File, Chunk, Read.Decoder, info);
        else if (Read.WantDuration && Chunk.Is("fmt ") && Chunk.Size >= 12) {
            if (const unsigned char* format = File.Bytes(Chunk.Data, 12))
                byteRate = LittleEndian32(format + 8);
        } else if (Read.WantDuration && Chunk.Is("data") && dataSize < 0)
            dataSize = Chunk.Size;
        return true;
    });
    Read.Tags = id3.Empty() ? info : id3;
    if (dataSize >= 0)
        Read.DurationMs = Milliseconds(static_cast<std::uint64_t>(dataSize), byteRate);
}

void ReadAiff(TMediaFile& File, TContainerRead& Read) {
    const unsigned char* header = File.Bytes(0, 12);
    if (!header || std::memcmp(header, "FORM", 4) != 0 ||
        (std::memcmp(header + 8, "AIFF", 4) != 0 && std::memcmp(header + 8, "AIFC", 4) != 0))
        return;
    Read.Format = TContentFormat::AIFF;
    const std::int64_t end =
        std::min<std::int64_t>(File.Size(), 8 + std::int64_t{BigEndian32(header + 4)});
    WalkChunks(File, 12, end, true, [&](const TChunk& Chunk) {
        if (Read.WantTags && (Chunk.Is("ID3 ") || Chunk.Is("id3 ")) && Read.Tags.Empty())
            ReadId3Chunk(File, Chunk, Read.Decoder, Read.Tags);
        else if (Read.WantDuration && Chunk.Is("COMM") && Chunk.Size >= 18) {
            if (const unsigned char* common = File.Bytes(Chunk.Data, 18)) {
                const double rate = ExtendedValue(common + 8);
                const std::uint32_t frames = BigEndian32(common + 2);
                if (rate >= 1 && rate < 1e7)
                    Read.DurationMs = static_cast<std::int64_t>(frames * 1000.0 / rate);
            }
        }
        return true;
    });
}

bool Starts(const unsigned char* Head, std::size_t Size, std::string_view Magic, std::size_t At) {
    return Size >= At + Magic.size() && std::memcmp(Head + At, Magic.data(), Magic.size()) == 0;
}

bool ClaimsWav(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return Starts(Head, Size, "RIFF", 0) && Starts(Head, Size, "WAVE", 8);
}

bool ClaimsAiff(TMediaFile&, const unsigned char* Head, std::size_t Size) {
    return Starts(Head, Size, "FORM", 0) &&
           (Starts(Head, Size, "AIFF", 8) || Starts(Head, Size, "AIFC", 8));
}

} // namespace

const TContainerFormat WavFormat = {TAudioFormat::Wav, ClaimsWav, ReadWav};
const TContainerFormat AiffFormat = {TAudioFormat::Aiff, ClaimsAiff, ReadAiff};
