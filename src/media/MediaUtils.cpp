// The media-info record's extraction from a file's tags, and track texts read
// as numbers (see MediaUtils.h).
#include "media/MediaUtils.h"

#include "media/AudioTags.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/toolkit/MediaFile.h"

#include <cstddef>
#include <string_view>
#include <utility>

std::string& TMediaInfo::Text(TMediaField Field) {
    return const_cast<std::string&>(std::as_const(*this).Text(Field));
}

const std::string& TMediaInfo::Text(TMediaField Field) const {
    switch (Field) {
    case TMediaField::Title:
        return Title;
    case TMediaField::Artist:
        return Artist;
    case TMediaField::Album:
        return Album;
    case TMediaField::Genre:
        return Genre;
    case TMediaField::Year:
        return Year;
    case TMediaField::AlbumArtist:
        return AlbumArtist;
    case TMediaField::Composer:
        return Composer;
    case TMediaField::Track:
        break;
    }
    return Track;
}

const char* ContentFormatName(TContentFormat Format) {
    static constexpr const char* Names[ContentFormatCount] = {
        "",    "MP3", "FLAC", "Opus", "Vorbis",  "AAC",     "ALAC",
        "WMA", "WAV", "AIFF", "APE",  "WavPack", "Musepack"};
    const auto Index = static_cast<std::size_t>(Format);
    return Index < ContentFormatCount ? Names[Index] : "";
}

void TMediaInfo::SetValues(TMediaField Field, const std::vector<std::string>& FieldValues) {
    std::erase_if(Values, [Field](const TFieldValue& Value) { return Value.Field == Field; });
    std::string& joined = Text(Field);
    joined.clear();
    std::size_t count = 0;
    for (const std::string& value : FieldValues) {
        if (value.empty())
            continue;
        if (count++ > 0)
            joined += "; ";
        joined += value;
    }
    if (count < 2)
        return;
    for (const std::string& value : FieldValues)
        if (!value.empty())
            Values.push_back({Field, value});
}

bool ReadMediaInfo(const std::string& FileName, TMediaInfo& MediaInfo, TTagDecoder& Decoder) {
    std::int64_t size;
    return ReadMediaInfoAndSize(FileName, MediaInfo, size, Decoder);
}

namespace {

bool ReadOpenFile(TMediaFile& file, TMediaInfo& MediaInfo, std::int64_t& FileSize,
                  TTagDecoder& Decoder) {
    FileSize = file.Size();
    if (!file.Open())
        return false;
    // The start, which the ID3v2 reader reads first, before it looks at the end.
    const std::optional<TContentFormat> start = FormatAtAGlance(file, 0);
    return ReadID3v2Info(file, MediaInfo, Decoder) ||
           ReadID3v1Info(file, MediaInfo, Decoder, start);
}

} // namespace

// Fields the ID3v2 tag left empty, from the ID3v1 tag: small ID3v2 tags that
// converters add in front of a file leave the fuller ID3v1 tag the only
// source of the rest. A tag without a track number gives none.
void FillFromID3v1(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder) {
    TID3v1 tag;
    if (!tag.LoadFromMediaFile(File, Decoder) || !tag.TagFound)
        return;
    const auto Fill = [](std::string& Field, std::string&& Value) {
        if (Field.empty())
            Field = std::move(Value);
    };
    Fill(MediaInfo.Title, std::move(tag.Title));
    Fill(MediaInfo.Artist, std::move(tag.Artist));
    Fill(MediaInfo.Album, std::move(tag.Album));
    Fill(MediaInfo.Genre, tag.GenreName());
    Fill(MediaInfo.Year, std::move(tag.Year));
    if (tag.TrackNumber != 0)
        Fill(MediaInfo.Track, std::to_string(tag.TrackNumber));
}

bool ReadID3v2Info(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder) {
    TID3v2 tag;
    if (!tag.LoadFromMediaFile(File, Decoder, TID3v2::MediaInfoTexts) || !tag.TagFound)
        return false;
    MediaInfo.Title = std::move(tag.Title);
    MediaInfo.Artist = std::move(tag.Artist);
    MediaInfo.Album = std::move(tag.Album);
    MediaInfo.Genre = std::move(tag.Genre);
    MediaInfo.Year = std::move(tag.Year);
    MediaInfo.Track = std::move(tag.TrackText);
    MediaInfo.AlbumArtist = std::move(tag.AlbumArtist);
    MediaInfo.Composer = std::move(tag.Composer);
    MediaInfo.Values = std::move(tag.Values);
    // What follows a tag at the start is most often in the bytes the tag's
    // last read brought; a tag declared larger than the file leaves nothing.
    MediaInfo.Format = tag.Appended      ? DetectContentFormat(File)
                       : tag.TagSize > 0 ? ContentFormatBehind(File, tag.TagSize)
                                         : TContentFormat::Unknown;
    // The end of the file is read only when a field is missing.
    if (MediaInfo.Title.empty() || MediaInfo.Artist.empty() || MediaInfo.Album.empty() ||
        MediaInfo.Genre.empty() || MediaInfo.Year.empty() || MediaInfo.Track.empty())
        FillFromID3v1(File, MediaInfo, Decoder);
    return true;
}

bool ReadID3v1Info(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder,
                   std::optional<TContentFormat> StartFormat) {
    TID3v1 tag;
    if (!tag.LoadFromMediaFile(File, Decoder) || !tag.TagFound)
        return false;
    MediaInfo.Title = std::move(tag.Title);
    MediaInfo.Artist = std::move(tag.Artist);
    MediaInfo.Album = std::move(tag.Album);
    MediaInfo.Genre = tag.GenreName();
    MediaInfo.Year = std::move(tag.Year);
    MediaInfo.Track = std::to_string(tag.TrackNumber);
    MediaInfo.AlbumArtist.clear();
    MediaInfo.Composer.clear();
    MediaInfo.Values.clear();
    MediaInfo.Format = StartFormat ? *StartFormat : DetectContentFormat(File);
    return true;
}

// One descriptor serves both readers: a compile reads a great many files, and
// the open and the reads are most of its cost.
bool ReadMediaInfoAndSize(const std::string& FileName, TMediaInfo& MediaInfo,
                          std::int64_t& FileSize, TTagDecoder& Decoder) {
    TMediaFile file(FileName);
    return ReadOpenFile(file, MediaInfo, FileSize, Decoder);
}

bool ReadMediaInfoAt(int FolderFd, const char* Name, TMediaInfo& MediaInfo, std::int64_t& FileSize,
                     TTagDecoder& Decoder) {
    TMediaFile file(FolderFd, Name);
    return ReadOpenFile(file, MediaInfo, FileSize, Decoder);
}

bool ReadMediaInfoFrom(TMediaFile& File, TMediaInfo& MediaInfo, TTagDecoder& Decoder) {
    std::int64_t size;
    return ReadOpenFile(File, MediaInfo, size, Decoder);
}

namespace {

int DigitValue(char c, int Base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (Base == 16 && c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (Base == 16 && c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value;
}

// A whole signed 32-bit integer: leading spaces, one sign, then decimal
// digits, or hexadecimal ones after "$", "x", "X" or "0x". Anything else,
// trailing spaces included, fails.
bool IntegerValue(std::string_view Text, std::int32_t& Value) {
    std::size_t i = 0;
    while (i < Text.size() && Text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-')) {
        negative = Text[i] == '-';
        ++i;
    }
    int base = 10;
    std::string_view rest = Text.substr(i);
    if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
        base = 16;
        rest.remove_prefix(1);
    } else if (rest.starts_with("0x")) {
        base = 16;
        rest.remove_prefix(2);
    }
    if (rest.empty())
        return false;
    // The magnitude may reach 2^31 for the most negative number.
    constexpr std::int64_t limit = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (char c : rest) {
        int digit = DigitValue(c, base);
        if (digit < 0)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    if (!negative && magnitude == limit)
        return false;
    Value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

std::uint8_t LowByte(std::int32_t Value) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(Value) & 0xFF);
}

} // namespace

TrackNumbers ParseTrackText(const std::string& Text) {
    TrackNumbers numbers;
    const std::size_t slash = Text.find('/');
    std::int32_t value;
    if (slash == std::string::npos) {
        if (IntegerValue(Text, value))
            numbers.TrackNumber = LowByte(value);
        return numbers;
    }
    std::string_view text(Text);
    if (!IntegerValue(text.substr(0, slash), value))
        return numbers;
    numbers.TrackNumber = LowByte(value);
    if (IntegerValue(text.substr(slash + 1), value))
        numbers.TrackCount = LowByte(value);
    return numbers;
}
