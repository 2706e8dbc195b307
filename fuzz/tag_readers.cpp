// libFuzzer target: arbitrary bytes as a media file through both tag readers
// and ReadMediaInfo, and as a track text; aborts when a result breaks the
// bounds the tag rules allow.
#include "media/MediaUtils.h"
#include "media/id3/ID3v1.h"
#include "media/id3/ID3v2.h"
#include "media/text/Utf8.h"

#include "FuzzInput.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string& path = WriteInputFile(Data, Size);

    TID3v2 v2;
    const bool headerRead = v2.LoadFromFile(path);
    Check(headerRead == (Size >= 10));
    for (const std::string* text :
         {&v2.Title, &v2.Artist, &v2.Album, &v2.TrackText, &v2.Year, &v2.Genre, &v2.Comment,
          &v2.Link, &v2.AlbumArtist, &v2.Composer})
        // The kept bytes of the frames, at most 3 bytes of text each.
        Check(text->size() <= 3 * TagInfo::TagKeepSize && IsValidUtf8(*text));

    Check(v2.TagSize >= 0 && static_cast<std::size_t>(v2.TagSize) <= Size);

    TID3v1 v1;
    Check(v1.LoadFromFile(path) == (Size >= 128));
    for (const std::string* text : {&v1.Title, &v1.Artist, &v1.Album, &v1.Comment})
        Check(text->size() <= 90 && IsValidUtf8(*text));
    Check(v1.Year.size() <= 12);

    TMediaInfo info{"keep", "", "", "", "", ""};
    std::int64_t fileSize = -1;
    const bool found = ReadMediaInfoAndSize(path, info, fileSize);
    Check(fileSize == static_cast<std::int64_t>(Size));
    Check(found == ((headerRead && v2.TagFound) || v1.TagFound));
    if (!found)
        Check(info == (TMediaInfo{"keep", "", "", "", "", ""}));
    else if (v2.TagFound)
        // Fields the ID3v2 tag leaves empty may come from the ID3v1 tag.
        // The album artist and composer come from the ID3v2 tag alone.
        Check((v2.Title.empty() || info.Title == v2.Title) &&
              (v2.Artist.empty() || info.Artist == v2.Artist) &&
              (v2.TrackText.empty() || info.Track == v2.TrackText) &&
              info.AlbumArtist == v2.AlbumArtist && info.Composer == v2.Composer);
    else
        Check(info.Title == v1.Title && info.Genre == v1.GenreName() && info.AlbumArtist.empty() &&
              info.Composer.empty());
    if (found)
        Check(static_cast<int>(info.Format) < ContentFormatCount);

    ParseTrackText(std::string(reinterpret_cast<const char*>(Data), Size));
    return 0;
}
