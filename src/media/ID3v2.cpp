// The ID3v2 tag reader (see ID3v2.h).
#include "media/ID3v2.h"

#include "media/MediaFile.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr std::int64_t HeaderSize = 10;
constexpr std::uint8_t FooterFlag = 16;

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

// Each byte is used whole, as the readers this tag was written for did: a
// size byte with its top bit set simply makes the number larger.
std::uint32_t SyncSafe(const unsigned char* b) {
    return static_cast<std::uint32_t>(b[0]) * 2097152u + static_cast<std::uint32_t>(b[1]) * 16384u +
           static_cast<std::uint32_t>(b[2]) * 128u + b[3];
}

std::uint32_t BigEndian32(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
           (static_cast<std::uint32_t>(b[2]) << 8) | b[3];
}

std::uint32_t BigEndian24(const unsigned char* b) {
    return (static_cast<std::uint32_t>(b[0]) << 16) | (static_cast<std::uint32_t>(b[1]) << 8) |
           b[2];
}

std::string_view Trim(std::string_view Text) {
    std::size_t begin = 0, end = Text.size();
    while (begin < end && static_cast<unsigned char>(Text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(Text[end - 1]) <= 32)
        --end;
    return Text.substr(begin, end - begin);
}

// The text behind a frame's Skip leading bytes and the NUL-ended description
// that follows them, trimmed.
std::string_view AfterDescription(std::string_view Slot, std::size_t Skip) {
    std::string_view rest = Slot.size() > Skip ? Slot.substr(Skip) : std::string_view();
    std::size_t nul = rest.find('\0');
    if (nul != std::string_view::npos)
        rest.remove_prefix(nul + 1);
    return Trim(rest);
}

// A slot's text trimmed. Its NUL fill would be trimmed away in any case, so
// only the bytes that came from the frame are looked at.
std::string_view TrimmedSlot(const TagInfo& Info, Slot Index) {
    return Trim(Info.Slot(Index).substr(0, Info.DataLength[Index]));
}

std::string FirstOrFallback(const TagInfo& Info, Slot First, Slot Fallback) {
    std::string_view text = TrimmedSlot(Info, First);
    if (text.empty())
        text = TrimmedSlot(Info, Fallback);
    return std::string(text);
}

} // namespace

void TID3v2::Clear() {
    TagFound = false;
    TagVersion = 0;
    TagSize = 0;
    for (std::string* text : {&Title, &Artist, &Album, &TrackText, &Year, &Genre, &Comment,
                              &Composer, &Encoder, &RightsMessage, &Language, &Link})
        text->clear();
}

bool TID3v2::LoadFromFile(const std::string& FileName) {
    TMediaFile file(FileName);
    return LoadFromMediaFile(file);
}

bool TID3v2::LoadFromMediaFile(TMediaFile& File) {
    Clear();
    const unsigned char* header = File.Bytes(0, HeaderSize);
    if (!header)
        return false;

    TagInfo info;
    std::memcpy(info.Magic.data(), header, 3);
    info.MajorVersion = header[3];
    info.Revision = header[4];
    info.Flags = header[5];
    std::memcpy(info.SizeBytes.data(), header + 6, 4);
    info.FileSize = File.Size();

    if (std::memcmp(info.Magic.data(), "ID3", 3) != 0)
        return true;
    TagFound = true;
    TagVersion = info.MajorVersion;
    std::int64_t size = static_cast<std::int64_t>(SyncSafe(info.SizeBytes.data())) + HeaderSize;
    if (info.Flags & FooterFlag)
        size += HeaderSize;
    // At most 255 * 2113665 + 20, so it always fits the 32-bit field.
    TagSize = size > info.FileSize ? 0 : static_cast<std::int32_t>(size);

    if (TagVersion < 2 || TagVersion > 4 || TagSize == 0)
        return true;
    ScanFrames(File, info);
    DeriveTexts(info);
    return true;
}

void TID3v2::ScanFrames(TMediaFile& File, TagInfo& Info) {
    const bool v2 = TagVersion == 2;
    const std::size_t idLength = v2 ? 3 : 4;
    const std::int64_t frameHeaderSize = v2 ? 6 : 10;
    const auto& ids = v2 ? FrameIds2 : FrameIds34;

    // Extended headers are not looked for: the first byte of their size is 0 in
    // any real tag, so such a tag simply yields no frames.
    std::int64_t position = HeaderSize;
    while (position < TagSize && position < Info.FileSize) {
        const unsigned char* frame =
            File.Bytes(position, static_cast<std::size_t>(frameHeaderSize));
        if (!frame || frame[0] < 'A' || frame[0] > 'Z')
            return;
        std::string_view id(reinterpret_cast<const char*>(frame), idLength);
        std::uint32_t size = v2                ? BigEndian24(frame + 3)
                             : TagVersion == 4 ? SyncSafe(frame + 4)
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
        }
        position = dataPosition + static_cast<std::int64_t>(size);
    }
}

void TID3v2::DeriveTexts(const TagInfo& Info) {
    Title = FirstOrFallback(Info, TitleSlot, ContentGroupSlot);
    Artist = FirstOrFallback(Info, ArtistSlot, OriginalArtistSlot);
    Album = FirstOrFallback(Info, AlbumSlot, OriginalAlbumSlot);
    TrackText = std::string(TrimmedSlot(Info, TrackSlot));
    Year = std::string(TrimmedSlot(Info, YearSlot));
    if (Year.empty())
        Year = std::string(TrimmedSlot(Info, RecordingTimeSlot).substr(0, 4));
    std::string_view genre = TrimmedSlot(Info, GenreSlot);
    std::size_t close = genre.rfind(')');
    if (close != std::string_view::npos)
        genre.remove_prefix(close + 1);
    Genre = std::string(genre);
    Comment = std::string(AfterDescription(Info.Slot(CommentSlot), 4));
    Composer = std::string(TrimmedSlot(Info, ComposerSlot));
    Encoder = std::string(TrimmedSlot(Info, EncoderSlot));
    RightsMessage = std::string(TrimmedSlot(Info, RightsSlot));
    Language = std::string(TrimmedSlot(Info, LanguageSlot));
    Link = std::string(AfterDescription(Info.Slot(LinkSlot), 1));
}
