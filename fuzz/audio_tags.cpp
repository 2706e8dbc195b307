// libFuzzer target: arbitrary bytes through the readers of the other audio
// formats and their stated lengths. The first byte picks the magic put in
// front of the rest, so every reader gets its share of inputs; aborts when a
// result breaks the bounds the tag rules allow.
#include "media/AudioTags.h"
#include "media/text/Utf8.h"
#include "media/toolkit/MediaFile.h"
#include "media/toolkit/TagFields.h"

#include "FuzzInput.h"

#include <array>
#include <cstdint>
#include <fcntl.h>
#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// The heads of each container; the last entries leave the bytes as they come.
constexpr std::array<std::string_view, 12> Magics = {
    "fLaC"sv,
    "OggS\0"sv,
    "\0\0\0\x18"
    "ftyp"sv,
    "\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C"sv,
    "RIFF\xFF\xFF\xFF\x7F"
    "WAVE"sv,
    "FORM\x7F\xFF\xFF\xFF"
    "AIFF"sv,
    "MAC "sv,
    "wvpk"sv,
    "ID3\x04\0\0\0\0\0\x20"sv,
    "\xFF\xFB\x90\x00"sv,
    ""sv,
    ""sv,
};

const TMediaInfo Kept{"keep", "", "", "", "", ""};

void CheckResult(bool Found, const TMediaInfo& Info) {
    if (!Found) {
        Check(Info == Kept);
        return;
    }
    for (const std::string* text : {&Info.Title, &Info.Artist, &Info.Album, &Info.Genre, &Info.Year,
                                    &Info.Track, &Info.AlbumArtist, &Info.Composer})
        // Every value of a field, each within its bound, joined with "; ".
        Check(text->size() <= TTagFields::MaxValues * (FieldTextSize + 2) && IsValidUtf8(*text));
    Check(static_cast<int>(Info.Format) < ContentFormatCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0)
        return 0;
    const std::string_view magic = Magics[Data[0] % Magics.size()];
    std::string bytes(magic);
    bytes.append(reinterpret_cast<const char*>(Data + 1), Size - 1);

    const std::string& path = WriteInputFile(bytes.data(), bytes.size());

    for (TTagSources sources : {TTagSources::OtherFormat, TTagSources::ID3ThenAPE}) {
        TMediaInfo info = Kept;
        const bool found = ReadTags(path, sources, info);
        CheckResult(found, info);
        // A reader of another format finds a tag by the six fields alone.
        if (found && sources == TTagSources::OtherFormat)
            Check(!(info.Title.empty() && info.Artist.empty() && info.Album.empty() &&
                    info.Genre.empty() && info.Year.empty() && info.Track.empty()));
    }
    TMediaInfo info = Kept;
    std::int64_t fileSize = 0;
    CheckResult(ReadTagsAt(AT_FDCWD, path.c_str(), TTagSources::OtherFormatThenID3, info, fileSize),
                info);
    Check(fileSize == static_cast<std::int64_t>(bytes.size()));

    const std::int64_t duration = ReadDurationMs(path);
    Check(duration >= -1);
    return 0;
}
