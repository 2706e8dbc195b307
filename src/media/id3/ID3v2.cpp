// The ID3v2 tag reader (see ID3v2.h).
#include "media/id3/ID3v2.h"

#include "media/id3/ID3v1.h"
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
    "TIT2", "TPE1", "TALB", "TRCK", "TYER", "TCON", "COMM", "TCOM",
    "TENC", "TCOP", "TLAN", "WXXX", "TDRC", "TOPE", "TIT1", "TOAL"};
constexpr std::array<std::string_view, TagInfo::SlotCount> FrameIds2 = {
    "TT2", "TP1", "TAL", "TRK", "TYE", "TCO", "COM", "TCM",
    "TEN", "TCR", "TLA", "WXX", "TOR", "TOA", "TT1", "TOT"};

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

// The bytes that came from a slot's frame (the NUL fill left out).
std::string_view SlotData(const TagInfo& Info, Slot Index) {
    return Info.Slot(Index).substr(0, Info.DataLength[Index]);
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
std::string_view DecodeFrame(const TagInfo& Info, Slot Index, TTagDecoder& Decoder,
                             std::string& Scratch) {
    const std::string_view Data = SlotData(Info, Index);
    if (Data.empty())
        return {};
    const auto Encoding = static_cast<unsigned char>(Data[0]);
    const std::string_view Payload = Encoding > 3 ? Data : Data.substr(1);
    if ((Encoding == 0 || Encoding >= 3) && IsAscii(Payload))
        return Payload;
    Scratch.clear();
    DecodePayload(Scratch, Encoding > 3 ? 0 : Encoding, Payload, Info.Cut[Index], Decoder);
    return Scratch;
}

// A decoded frame's text: up to its first NUL, or with AllValues (ID3v2.4)
// each NUL-separated value, trimmed, through Each and joined by "; ".
template <class Transform>
std::string FrameValues(std::string_view Decoded, bool AllValues, Transform&& Each) {
    if (!AllValues)
        return Each(TrimText(Decoded.substr(0, Decoded.find('\0'))));
    std::string Joined;
    while (!Decoded.empty()) {
        const std::size_t Nul = Decoded.find('\0');
        const std::string_view Value = TrimText(Decoded.substr(0, Nul));
        Decoded.remove_prefix(Nul == std::string_view::npos ? Decoded.size() : Nul + 1);
        if (Value.empty())
            continue;
        std::string Text = Each(Value);
        if (Text.empty())
            continue;
        if (!Joined.empty())
            Joined += "; ";
        Joined += Text;
    }
    return Joined;
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
    const std::string_view Data = SlotData(Info, CommentSlot);
    if (Data.size() <= 4)
        return {};
    const auto Encoding = static_cast<unsigned char>(Data[0]);
    // Encoding byte, then the three-letter language, then the description.
    std::string Decoded;
    DecodePayload(Decoded, Encoding <= 3 ? Encoding : 0, Data.substr(4), Info.Cut[CommentSlot],
                  Decoder);
    return AfterDescription(Decoded);
}

// A user link: a description in the frame's encoding, then the address in
// Latin letters, which is no text in that encoding.
std::string LinkText(const TagInfo& Info, TTagDecoder& Decoder) {
    const std::string_view Data = SlotData(Info, LinkSlot);
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
    for (std::string* text : {&Title, &Artist, &Album, &TrackText, &Year, &Genre, &Comment,
                              &Composer, &Encoder, &RightsMessage, &Language, &Link})
        text->clear();
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
    if (!ParseID3v2Header(header, info.Header))
        return true;
    TagFound = true;
    TagVersion = info.Header.MajorVersion;
    const std::int64_t size = info.Header.TagSize();
    TagSize = size > info.FileSize ? 0 : static_cast<std::int32_t>(size);

    if (TagVersion < 2 || TagVersion > 4 || TagSize == 0)
        return true;
    ScanFrames(File, info);
    DeriveTexts(info, Decoder, Texts);
    return true;
}

void TID3v2::ScanFrames(TMediaFile& File, TagInfo& Info) {
    const bool v2 = TagVersion == 2;
    const std::size_t idLength = v2 ? 3 : 4;
    const std::int64_t frameHeaderSize = v2 ? 6 : 10;
    const auto& ids = v2 ? FrameIds2 : FrameIds34;

    // Extended headers are not looked for: the first byte of their size is 0 in
    // any real tag, so such a tag simply yields no frames.
    std::int64_t position = TID3v2Header::Size;
    while (position < TagSize && position < Info.FileSize) {
        const unsigned char* frame =
            File.Bytes(position, static_cast<std::size_t>(frameHeaderSize));
        if (!frame || frame[0] < 'A' || frame[0] > 'Z')
            return;
        std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        std::uint32_t size = v2                ? BigEndian24(frame + 3)
                             : TagVersion == 4 ? SyncSafe32(frame + 4)
                                               : BigEndian32(frame + 4);
        const std::int64_t dataPosition = position + frameHeaderSize;

        // Frames not kept need no read: one whose data runs past the file also
        // runs past the tag, which ends the scan just the same.
        auto kept = std::find(ids.begin(), ids.end(), id);
        if (kept != ids.end()) {
            const std::size_t length = std::min<std::size_t>(size, TagInfo::FrameTextSize);
            const unsigned char* data = File.Bytes(dataPosition, length);
            if (!data)
                return;
            const auto index = static_cast<std::size_t>(kept - ids.begin());
            auto& slot = Info.FrameText[index];
            std::memcpy(slot.data(), data, length);
            std::memset(slot.data() + length, 0, TagInfo::FrameTextSize - length);
            Info.DataLength[index] = length;
            Info.Present[index] = true;
            Info.Cut[index] = size > TagInfo::FrameTextSize;
        }
        position = dataPosition + static_cast<std::int64_t>(size);
    }
}

void TID3v2::DeriveTexts(const TagInfo& Info, TTagDecoder& Decoder, TextSet Texts) {
    const bool AllValues = TagVersion == 4;
    std::string Scratch;
    const auto Text = [&](Slot Index) {
        return FrameValues(DecodeFrame(Info, Index, Decoder, Scratch), AllValues, AsIs);
    };
    const auto FirstOrFallback = [&](Slot First, Slot Fallback) {
        std::string Found = Text(First);
        return Found.empty() ? Text(Fallback) : Found;
    };
    Title = FirstOrFallback(TitleSlot, ContentGroupSlot);
    Artist = FirstOrFallback(ArtistSlot, OriginalArtistSlot);
    Album = FirstOrFallback(AlbumSlot, OriginalAlbumSlot);
    TrackText = Text(TrackSlot);
    Year = Text(YearSlot);
    if (Year.empty())
        Year = std::string(FirstCharacters(Text(RecordingTimeSlot), 4));
    // Each value of a version 4 genre frame may be a number or a reference.
    Genre = FrameValues(DecodeFrame(Info, GenreSlot, Decoder, Scratch), AllValues, GenreText);
    if (Texts == MediaInfoTexts)
        return;
    Comment = CommentText(Info, Decoder);
    Composer = Text(ComposerSlot);
    Encoder = Text(EncoderSlot);
    RightsMessage = Text(RightsSlot);
    Language = Text(LanguageSlot);
    Link = LinkText(Info, Decoder);
}
