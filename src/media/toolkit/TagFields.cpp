// The shared fields, texts and reads of the other audio formats' readers (see
// TagFields.h).
#include "media/toolkit/TagFields.h"

#include "media/text/Utf8.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>

namespace {

char UpperAscii(char C) {
    return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

bool SameName(std::string_view Name, std::string_view Upper) {
    return Name.size() == Upper.size() &&
           std::equal(Name.begin(), Name.end(), Upper.begin(),
                      [](char A, char B) { return UpperAscii(A) == B; });
}

} // namespace

std::string FieldText(std::string Text) {
    std::size_t begin = 0, end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= 32)
        --end;
    if (end - begin > FieldTextSize) {
        end = begin + FieldTextSize;
        // Back to the start of the character that the cut would split.
        std::size_t start = end;
        while (start > begin && (static_cast<unsigned char>(Text[start]) & 0xC0) == 0x80)
            --start;
        end = start;
        while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= 32)
            --end;
    }
    return Text.substr(begin, end - begin);
}

TTagFields::Field TTagFields::FromName(std::string_view Name) {
    static constexpr std::pair<std::string_view, Field> names[] = {
        {"TITLE", Title},
        {"ARTIST", Artist},
        {"ALBUMARTIST", AlbumArtist},
        {"ALBUM ARTIST", AlbumArtist},
        {"ALBUM", Album},
        {"GENRE", Genre},
        {"DATE", Date},
        {"YEAR", Year},
        {"TRACKNUMBER", TrackNumber},
        {"TRACK", TrackNumber},
        {"TRACKTOTAL", TrackTotal},
        {"TOTALTRACKS", TrackTotal},
    };
    for (const auto& [name, field] : names)
        if (SameName(Name, name))
            return field;
    return NoField;
}

void TTagFields::Add(Field Which, std::string Value) {
    if (Which >= FieldCount)
        return;
    Value = FieldText(std::move(Value));
    if (Value.empty())
        return;
    std::string& field = values_[Which];
    if (field.empty())
        field = std::move(Value);
    else if (Which == Genre && field.size() < FieldTextSize)
        field = FieldText(field + "; " + Value);
}

bool TTagFields::Empty() const {
    return std::all_of(values_.begin(), values_.end(),
                       [](const std::string& Text) { return Text.empty(); });
}

bool TTagFields::Fill(TMediaInfo& MediaInfo) const {
    TMediaInfo info;
    info.Title = values_[Title];
    info.Artist = values_[Artist].empty() ? values_[AlbumArtist] : values_[Artist];
    info.Album = values_[Album];
    info.Genre = values_[Genre];
    // The year is the first four characters of a date such as 2001-05-17.
    const std::string& date = values_[Date].empty() ? values_[Year] : values_[Date];
    std::size_t end = 0;
    for (int characters = 0; characters < 4 && end < date.size(); ++characters) {
        ++end;
        while (end < date.size() && (static_cast<unsigned char>(date[end]) & 0xC0) == 0x80)
            ++end;
    }
    info.Year = date.substr(0, end);
    info.Track = values_[TrackNumber];
    if (!info.Track.empty() && !values_[TrackTotal].empty() &&
        info.Track.find('/') == std::string::npos)
        info.Track = FieldText(info.Track + "/" + values_[TrackTotal]);
    if (info == TMediaInfo{})
        return false;
    MediaInfo = std::move(info);
    return true;
}

bool TFileRange::Read(unsigned char* Out, std::size_t Count) {
    if (static_cast<std::int64_t>(Count) > end_ - position_)
        return false;
    const unsigned char* bytes = file_.Bytes(position_, Count);
    if (!bytes)
        return false;
    std::memcpy(Out, bytes, Count);
    position_ += static_cast<std::int64_t>(Count);
    return true;
}

bool TFileRange::Skip(std::uint64_t Count) {
    if (Count > static_cast<std::uint64_t>(end_ - position_))
        return false;
    position_ += static_cast<std::int64_t>(Count);
    return true;
}
