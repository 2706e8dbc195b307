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
        {"ALBUM_ARTIST", AlbumArtistAlone},
        {"COMPOSER", Composer},
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
    if (Which >= FieldCount || values_[Which].size() >= MaxValues)
        return;
    Value = FieldText(std::move(Value));
    if (!Value.empty())
        values_[Which].push_back(std::move(Value));
}

bool TTagFields::Empty() const {
    for (std::size_t field = 0; field < FieldCount; ++field)
        if (field != AlbumArtistAlone && field != Composer && !values_[field].empty())
            return false;
    return true;
}

namespace {

// The first four characters of a date such as 2001-05-17.
std::string YearOf(const std::string& Date) {
    std::size_t end = 0;
    for (int characters = 0; characters < 4 && end < Date.size(); ++characters) {
        ++end;
        while (end < Date.size() && (static_cast<unsigned char>(Date[end]) & 0xC0) == 0x80)
            ++end;
    }
    return Date.substr(0, end);
}

} // namespace

bool TTagFields::Fill(TMediaInfo& MediaInfo) const {
    TMediaInfo info;
    info.SetValues(TMediaField::Title, values_[Title]);
    info.SetValues(TMediaField::Artist,
                   values_[Artist].empty() ? values_[AlbumArtist] : values_[Artist]);
    info.SetValues(TMediaField::Album, values_[Album]);
    info.SetValues(TMediaField::Genre, values_[Genre]);
    std::vector<std::string> years;
    for (const std::string& date : values_[Date].empty() ? values_[Year] : values_[Date])
        years.push_back(YearOf(date));
    info.SetValues(TMediaField::Year, years);
    if (!values_[TrackNumber].empty()) {
        info.Track = values_[TrackNumber].front();
        if (!values_[TrackTotal].empty() && info.Track.find('/') == std::string::npos)
            info.Track = FieldText(info.Track + "/" + values_[TrackTotal].front());
    }
    // Only the six fields make a tag: a file that holds nothing but an album
    // artist under a name of its own, or a composer, stays a file without one.
    if (info == TMediaInfo{})
        return false;
    info.SetValues(TMediaField::AlbumArtist,
                   values_[AlbumArtist].empty() ? values_[AlbumArtistAlone] : values_[AlbumArtist]);
    info.SetValues(TMediaField::Composer, values_[Composer]);
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
