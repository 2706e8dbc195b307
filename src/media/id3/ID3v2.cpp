// The ID3v2 tag reader (see ID3v2.h).
#include "media/id3/ID3v2.h"

#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2Frames.h"
#include "media/text/TagDecoder.h"
#include "media/text/Unicode.h"
#include "media/text/Utf8.h"
#include "media/toolkit/Bytes.h"
#include "media/toolkit/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// Frame IDs by slot: versions 3 and 4, then version 2.
constexpr std::array<std::string_view, TagInfo::SlotCount> FrameIds34 = {
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM", "TENC",
    "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL", "TPE2"};
constexpr std::array<std::string_view, TagInfo::SlotCount> FrameIds2 = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM", "TEN",
    "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT", "TP2"};

enum Slot {
    TitleSlot,
    ArtistSlot,
    AlbumSlot,
    TrackSlot,
    YearSlot,
    GenreSlot,
    CommentSlot,
    ComposerSlot,
    EncoderSlot,
    RightsSlot,
    LanguageSlot,
    LinkSlot,
    RecordingTimeSlot,
    OriginalArtistSlot,
    ContentGroupSlot,
    OriginalAlbumSlot,
    AlbumArtistSlot,
};

// Text in one of the four encodings an ID3v2 frame declares, as UTF-8 with
// its NUL characters kept (they end a text or separate values).
void DecodePayload(std::string& Out, unsigned char Encoding, std::string_view Payload, bool Cut,
                   TTagDecoder& Decoder) {
    switch (Encoding) {
    case 1:
    case 2: {
        // A byte-order mark at the start of a value sets the byte order
        // (ID3v2.4 gives each value its own); the end of a frame read only in
        // part may cut a character.
        TUtf16Read how;
        how.BigEndian = Encoding == 2;
        how.StopAtNul = false;
        how.SkipMarks = true;
        how.MarkSetsOrder = Encoding == 1;
        how.Cut = TCut::Cut;
        AppendUtf16(Out, Payload, how);
        break;
    }
    case 3:
        Decoder.AppendUtf8OrCodePage(Out, Payload, Cut);
        break;
    default:
        Decoder.AppendUndeclared(Out, Payload);
        break;
    }
}

bool IsAscii(std::string_view Text) {
    for (char C : Text)
        if (static_cast<unsigned char>(C) >= 0x80)
            return false;
    return true;
}

// A text frame decoded by its encoding byte; a first byte that is no encoding
// starts text in the code page. ASCII text in a byte encoding, which most
// frames hold, is its own decoding and is not copied.
std::string_view DecodeFrame(std::string_view Data, bool Cut, TTagDecoder& Decoder,
                             std::string& Scratch) {
    if (Data.empty())
        return {};
    const auto Encoding = static_cast<unsigned char>(Data[0]);
    const std::string_view Payload = Encoding > 3 ? Data : Data.substr(1);
    if ((Encoding == 0 || Encoding >= 3) && IsAscii(Payload))
        return Payload;
    Scratch.clear();
    DecodePayload(Scratch, Encoding > 3 ? 0 : Encoding, Payload, Cut, Decoder);
    return Scratch;
}

// Each value of a slot's frames in the tag's order, trimmed, through Each and
// cut to FieldTextSize bytes: with AllValues (ID3v2.4) a frame holds values
// separated by NULs, otherwise one text up to its first NUL.
template <class Transform>
std::vector<std::string> SlotValues(const TagInfo& Info, Slot Index, bool AllValues,
                                    TTagDecoder& Decoder, Transform&& Each) {
    std::vector<std::string> Values;
    std::string Scratch;
    for (const TagInfo::TKeptFrame& Frame : Info.Frames) {
        if (Frame.Slot != Index)
            continue;
        std::string_view Decoded = DecodeFrame(Info.Bytes(Frame), Frame.Cut, Decoder, Scratch);
        for (;;) {
            const std::size_t Nul = Decoded.find('\0');
            const std::string_view Value = TrimText(Decoded.substr(0, Nul));
            if (!Value.empty() && Values.size() < TTagFields::MaxValues) {
                std::string Text = FieldText(Each(Value));
                if (!Text.empty())
                    Values.push_back(std::move(Text));
            }
            if (!AllValues || Nul == std::string_view::npos)
                break;
            Decoded.remove_prefix(Nul + 1);
        }
    }
    return Values;
}

std::string Joined(const std::vector<std::string>& Values) {
    std::string Text;
    for (const std::string& Value : Values) {
        if (!Text.empty())
            Text += "; ";
        Text += Value;
    }
    return Text;
}

// The data of a slot's last frame, which the texts that keep one value take.
std::string_view LastFrame(const TagInfo& Info, Slot Index, bool& Cut) {
    for (auto Frame = Info.Frames.rbegin(); Frame != Info.Frames.rend(); ++Frame)
        if (Frame->Slot == Index) {
            Cut = Frame->Cut;
            return Info.Bytes(*Frame);
        }
    Cut = false;
    return {};
}

std::string AsIs(std::string_view Value) {
    return std::string(Value);
}

// The first Count characters of a UTF-8 text.
std::string_view FirstCharacters(std::string_view Text, std::size_t Count) {
    std::size_t End = 0;
    for (std::size_t I = 0; I < Count && End < Text.size(); ++I) {
        ++End;
        while (End < Text.size() && (static_cast<unsigned char>(Text[End]) & 0xC0) == 0x80)
            ++End;
    }
    return Text.substr(0, End);
}

// The text behind a frame's description (which ends at its first NUL).
std::string AfterDescription(std::string_view Decoded) {
    const std::size_t Nul = Decoded.find('\0');
    if (Nul != std::string_view::npos)
        Decoded.remove_prefix(Nul + 1);
    return std::string(TrimText(Decoded.substr(0, Decoded.find('\0'))));
}

std::string CommentText(const TagInfo& Info, TTagDecoder& Decoder) {
    bool Cut;
    const std::string_view Data = LastFrame(Info, CommentSlot, Cut);
    if (Data.size() <= 4)
        return {};
    const auto Encoding = static_cast<unsigned char>(Data[0]);
    // Encoding byte, then the three-letter language, then the description.
    std::string Decoded;
    DecodePayload(Decoded, Encoding <= 3 ? Encoding : 0, Data.substr(4), Cut, Decoder);
    return AfterDescription(Decoded);
}

// A user link: a description in the frame's encoding, then the address in
// Latin letters, which is no text in that encoding.
std::string LinkText(const TagInfo& Info, TTagDecoder& Decoder) {
    bool Cut;
    const std::string_view Data = LastFrame(Info, LinkSlot, Cut);
    if (Data.empty())
        return {};
    const auto Encoding = static_cast<unsigned char>(Data[0]);
    std::string_view Rest = Data.substr(1);
    std::size_t End = std::string_view::npos;
    if (Encoding == 1 || Encoding == 2) {
        for (std::size_t I = 0; I + 1 < Rest.size() && End == std::string_view::npos; I += 2)
            if (Rest[I] == 0 && Rest[I + 1] == 0)
                End = I + 2;
    } else {
        End = Rest.find('\0');
        End = End == std::string_view::npos ? End : End + 1;
    }
    Rest = End == std::string_view::npos || End > Rest.size() ? Rest : Rest.substr(End);
    std::string Out;
    Decoder.AppendUndeclared(Out, Rest.substr(0, Rest.find('\0')));
    return std::string(TrimText(Out));
}

bool IsDigit(char C) {
    return C >= '0' && C <= '9';
}

// The name of a genre number 0-147 written in decimal; empty for anything else.
std::string_view NumberedGenre(std::string_view Digits) {
    if (Digits.empty() || Digits.size() > 3 || !std::all_of(Digits.begin(), Digits.end(), IsDigit))
        return {};
    std::size_t Number = 0;
    for (char C : Digits)
        Number = Number * 10 + static_cast<std::size_t>(C - '0');
    return Number < GenreNames.size() ? GenreNames[Number] : std::string_view();
}

// Where a version 4 tag appended to the file starts, found by its footer at
// the very end, before an ID3v1 tag, or before an APEv2 tag at either place;
// -1 when there is none. Header gets the tag's header.
std::int64_t AppendedTagStart(TMediaFile& File, TID3v2Header& Header) {
    const std::int64_t size = File.Size();
    if (size < 2 * TID3v2Header::Size)
        return -1;
    // One read of the file's end serves every place looked at here and the
    // ID3v1 tag read next.
    constexpr std::int64_t Tail = 512;
    const std::int64_t tail = std::min(size, Tail);
    if (!File.Bytes(size - tail, static_cast<std::size_t>(tail)))
        return -1;
    std::int64_t end = size;
    if (const unsigned char* v1 =
            size >= TID3v1::BlockSize ? File.Bytes(size - TID3v1::BlockSize, 3) : nullptr;
        v1 && std::memcmp(v1, "TAG", 3) == 0)
        end -= TID3v1::BlockSize;
    constexpr std::int64_t ApeFooterSize = 32;
    if (const unsigned char* ape =
            end >= ApeFooterSize ? File.Bytes(end - ApeFooterSize, 32) : nullptr;
        ape && std::memcmp(ape, "APETAGEX", 8) == 0) {
        // The size counts the items and the footer; bit 31 of the flags says a
        // header of the same size comes before them.
        const std::int64_t apeSize = std::int64_t{LittleEndian32(ape + 12)} +
                                     ((LittleEndian32(ape + 20) & 0x80000000u) ? ApeFooterSize : 0);
        if (apeSize > end)
            return -1;
        end -= apeSize;
    }
    const unsigned char* footer =
        end >= TID3v2Header::Size ? File.Bytes(end - TID3v2Header::Size, 10) : nullptr;
    if (!footer || std::memcmp(footer, "3DI", 3) != 0)
        return -1;
    // The footer repeats the header but for its first three bytes.
    const std::int64_t start = end - 2 * TID3v2Header::Size - SyncSafe32(footer + 6);
    if (start < 0 || !ReadID3v2Header(File, start, Header) || Header.MajorVersion != 4)
        return -1;
    return start;
}

} // namespace

std::string GenreText(std::string_view Text) {
    if (std::string_view Name = NumberedGenre(Text); !Name.empty())
        return std::string(Name);
    std::string Names;
    std::string_view Rest = Text;
    while (Rest.size() >= 2 && Rest[0] == '(' && Rest[1] != '(') {
        const std::size_t Close = Rest.find(')');
        if (Close == std::string_view::npos)
            break;
        const std::string_view Reference = Rest.substr(1, Close - 1);
        std::string_view Name = Reference == "RX"   ? std::string_view("Remix")
                                : Reference == "CR" ? std::string_view("Cover")
                                                    : NumberedGenre(Reference);
        if (Name.empty())
            break; // an unknown reference: the text stays as written from here
        if (!Names.empty())
            Names += "; ";
        Names += Name;
        Rest.remove_prefix(Close + 1);
    }
    if (Rest.starts_with("(("))
        Rest.remove_prefix(1);
    Rest = TrimText(Rest);
    return Rest.empty() ? Names : std::string(Rest);
}

void TID3v2::Clear() {
    TagFound = false;
    TagVersion = 0;
    TagSize = 0;
    Appended = false;
    for (std::string* text : {&Title, &Artist, &Album, &TrackText, &Year, &Genre, &Comment,
                              &AlbumArtist, &Composer, &Encoder, &RightsMessage, &Language, &Link})
        text->clear();
    Values.clear();
}

bool TID3v2::LoadFromFile(const std::string& FileName) {
    return LoadFromFile(FileName, DefaultTagDecoder());
}

bool TID3v2::LoadFromFile(const std::string& FileName, TTagDecoder& Decoder) {
    TMediaFile file(FileName);
    return LoadFromMediaFile(file, Decoder);
}

bool TID3v2::LoadFromMediaFile(TMediaFile& File, TTagDecoder& Decoder, TextSet Texts) {
    Clear();
    const unsigned char* header = File.Bytes(0, TID3v2Header::Size);
    if (!header)
        return false;

    TagInfo info;
    info.FileSize = File.Size();
    std::int64_t start = 0;
    if (ParseID3v2Header(header, info.Header)) {
        const std::int64_t size = info.Header.TagSize();
        TagSize = size > info.FileSize ? 0 : static_cast<std::int32_t>(size);
    } else if (start = AppendedTagStart(File, info.Header); start < 0) {
        return true;
    } else {
        Appended = true;
    }
    TagFound = true;
    TagVersion = info.Header.MajorVersion;
    if (TagVersion < 2 || TagVersion > 4)
        return true;
    ScanFrames(File, info, start);
    DeriveTexts(info, Decoder, Texts);
    return true;
}

void TID3v2::ScanFrames(TMediaFile& File, TagInfo& Info, std::int64_t Start) {
    const TID3v2Header& header = Info.Header;
    const bool v2 = TagVersion == 2, v4 = TagVersion == 4;
    const std::size_t idLength = v2 ? 3 : 4;
    const std::size_t frameHeaderSize = v2 ? 6 : 10;
    const auto& ids = v2 ? FrameIds2 : FrameIds34;
    // Frames start before the end of the frames and padding; a frame's data
    // may run on past it as far as the file goes, and a tag that declares
    // more than the file holds gives the frames that are there.
    const std::int64_t framesEnd = Start + TID3v2Header::Size + header.BodySize;
    const bool unsynchronised = (header.Flags & TID3v2Header::UnsynchronisationFlag) != 0;
    // Unsynchronisation covers the whole tag in versions 2 and 3 and each
    // frame in version 4.
    TTagBody body(File, Start + TID3v2Header::Size, Info.FileSize, unsynchronised && !v4);
    if (!v2 && (header.Flags & TID3v2Header::ExtendedHeaderFlag)) {
        unsigned char size[4];
        if (body.Read(size, 4) != 4)
            return;
        // Version 3 counts the bytes after the size, version 4 the size too.
        const std::uint32_t rest = v4 ? SyncSafe32(size) : BigEndian32(size);
        if ((v4 && rest < 4) || !body.Skip(v4 ? rest - 4 : rest))
            return;
    }
    unsigned char frame[10];
    std::string data;
    // Room for a usual tag's text frames at once, not grown frame by frame.
    Info.Frames.reserve(16);
    Info.Data.reserve(512);
    std::array<std::size_t, TagInfo::SlotCount> framesOf{};
    while (body.FilePosition() < framesEnd && Info.Data.size() < TagInfo::TagKeepSize) {
        if (body.Read(frame, frameHeaderSize) != frameHeaderSize || frame[0] < 'A' ||
            frame[0] > 'Z')
            return;
        const std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        const std::uint32_t size = v2   ? BigEndian24(frame + 3)
                                   : v4 ? SyncSafe32(frame + 4)
                                        : BigEndian32(frame + 4);
        // The flags' extra bytes come before the data, in the order of the
        // flags that add them.
        TFrameCoding coding;
        bool encrypted = false;
        std::uint32_t extra = 0;
        if (v4) {
            const unsigned flags = frame[9];
            extra = ((flags & 0x40) ? 1 : 0) + ((flags & 0x04) ? 1 : 0) + ((flags & 0x01) ? 4 : 0);
            encrypted = (flags & 0x04) != 0;
            coding.Compressed = (flags & 0x08) != 0;
            coding.Unsynchronised = (flags & 0x02) != 0 || unsynchronised;
        } else if (!v2) {
            const unsigned flags = frame[9];
            extra = ((flags & 0x80) ? 4 : 0) + ((flags & 0x40) ? 1 : 0) + ((flags & 0x20) ? 1 : 0);
            encrypted = (flags & 0x40) != 0;
            coding.Compressed = (flags & 0x80) != 0;
        }
        // Frames not kept, encrypted ones and those of a slot that has all the
        // values it keeps are passed over unread.
        const auto kept = std::find(ids.begin(), ids.end(), id);
        const auto slot = static_cast<std::size_t>(kept - ids.begin());
        if (kept == ids.end() || encrypted || size < extra ||
            framesOf[slot] >= TTagFields::MaxValues) {
            if (!body.Skip(size))
                return;
            continue;
        }
        bool cut;
        // The last frame kept may be cut short by what the tag keeps in all.
        const std::size_t limit =
            std::min(TagInfo::FrameKeepSize, TagInfo::TagKeepSize - Info.Data.size());
        if (!ReadFrameData(body, size, coding, extra, limit, data, cut))
            continue;
        ++framesOf[slot];
        Info.Frames.push_back({static_cast<std::uint8_t>(slot), cut,
                               static_cast<std::uint32_t>(Info.Data.size()),
                               static_cast<std::uint32_t>(data.size())});
        Info.Data += data;
    }
}

void TID3v2::DeriveTexts(const TagInfo& Info, TTagDecoder& Decoder, TextSet Texts) {
    const bool allValues = TagVersion == 4;
    const auto values = [&](Slot Index) {
        return SlotValues(Info, Index, allValues, Decoder, AsIs);
    };
    const auto firstOrFallback = [&](Slot First, Slot Fallback) {
        std::vector<std::string> found = values(First);
        return found.empty() ? values(Fallback) : found;
    };
    const auto set = [&](std::string& Text, TMediaField Field,
                         std::vector<std::string> FieldValues) {
        if (FieldValues.size() == 1) { // the usual tag: one value, no copy
            Text = std::move(FieldValues.front());
            return;
        }
        Text = Joined(FieldValues);
        for (std::string& value : FieldValues)
            Values.push_back({Field, std::move(value)});
    };
    set(Title, TMediaField::Title, firstOrFallback(TitleSlot, ContentGroupSlot));
    set(Artist, TMediaField::Artist, firstOrFallback(ArtistSlot, OriginalArtistSlot));
    set(Album, TMediaField::Album, firstOrFallback(AlbumSlot, OriginalAlbumSlot));
    // Each value of a version 4 genre frame may be a number or a reference.
    set(Genre, TMediaField::Genre, SlotValues(Info, GenreSlot, allValues, Decoder, GenreText));
    // A recording has one year and one track number: the first value gives them.
    std::vector<std::string> tracks = values(TrackSlot);
    TrackText = tracks.empty() ? std::string() : std::move(tracks.front());
    std::vector<std::string> years = values(YearSlot);
    if (!years.empty()) {
        Year = std::move(years.front());
    } else if (const std::vector<std::string> times = values(RecordingTimeSlot); !times.empty()) {
        Year = std::string(FirstCharacters(times.front(), 4));
    }
    set(AlbumArtist, TMediaField::AlbumArtist, values(AlbumArtistSlot));
    set(Composer, TMediaField::Composer, values(ComposerSlot));
    if (Texts == MediaInfoTexts)
        return;
    Comment = CommentText(Info, Decoder);
    Encoder = Joined(values(EncoderSlot));
    RightsMessage = Joined(values(RightsSlot));
    Language = Joined(values(LanguageSlot));
    Link = LinkText(Info, Decoder);
}
