// libFuzzer target: arbitrary bytes as the frames of an ID3v2 tag whose header
// and frame flags the first bytes choose: extended headers, unsynchronisation
// of the tag or of a frame (across read buffers), zlib-compressed frames with
// hostile sizes and data length indicators that lie, encrypted and grouped
// frames, tags that declare more than the file holds and tags appended at the
// end. Aborts when a text breaks its bound or is no UTF-8.
#include "media/MediaUtils.h"
#include "media/id3/ID3v2.h"
#include "media/id3/ID3v2Frames.h"
#include "media/text/Utf8.h"
#include "media/toolkit/MediaFile.h"

#include "FuzzInput.h"

#include <cstdint>
#include <string>

namespace {

std::string SyncSafe(std::uint32_t Value) {
    return {static_cast<char>((Value >> 21) & 0x7F), static_cast<char>((Value >> 14) & 0x7F),
            static_cast<char>((Value >> 7) & 0x7F), static_cast<char>(Value & 0x7F)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size < 3)
        return 0;
    // Byte 0: version (2-4) and whether the tag is appended; byte 1: header
    // flags; byte 2: how far the declared size strays from the frames' size.
    const int version = 2 + Data[0] % 3;
    const bool appended = (Data[0] & 0x80) != 0;
    const std::uint8_t flags = Data[1];
    const std::string frames(reinterpret_cast<const char*>(Data + 3), Size - 3);
    const std::uint32_t declared = static_cast<std::uint32_t>(frames.size()) +
                                   (Data[2] & 0x7F) * ((Data[2] & 0x80) ? 97u : 1u);
    const std::string header = std::string("ID3") + static_cast<char>(version) + '\0' +
                               static_cast<char>(flags) + SyncSafe(declared);
    std::string file;
    if (appended) {
        file = std::string(64, '\x55') + header + frames + "3DI" + header.substr(3);
    } else {
        file = header + frames;
    }
    const std::string& path = WriteInputFile(file.data(), file.size());

    TID3v2 tag;
    Check(tag.LoadFromFile(path));
    const std::size_t bound = 3 * TagInfo::TagKeepSize;
    for (const std::string* text : {&tag.Title, &tag.Artist, &tag.Album, &tag.TrackText, &tag.Year,
                                    &tag.Genre, &tag.Comment, &tag.AlbumArtist, &tag.Composer,
                                    &tag.Encoder, &tag.RightsMessage, &tag.Language, &tag.Link})
        Check(text->size() <= bound && IsValidUtf8(*text));
    for (const TFieldValue& value : tag.Values)
        Check(!value.Text.empty() && value.Text.size() <= FieldTextSize && IsValidUtf8(value.Text));

    TMediaInfo info;
    ReadMediaInfo(path, info);
    Check(info.Title == tag.Title || tag.Title.empty());

    // The frame data reader alone, on the raw bytes with every coding.
    TMediaFile media(path);
    for (int coding = 0; coding < 4; ++coding) {
        TTagBody body(media, 0, media.Size(), (flags & 1) != 0);
        std::string out;
        bool cut = false;
        const std::size_t limit = 1 + (Data[2] * 37u) % 9000;
        const std::size_t prefix = (Data[2] >> 4) % 7;
        ReadFrameData(body, file.size() + (Data[2] & 3) * 1000u,
                      {(coding & 1) != 0, (coding & 2) != 0}, prefix, limit, out, cut);
        Check(out.size() <= limit);
    }
    return 0;
}
