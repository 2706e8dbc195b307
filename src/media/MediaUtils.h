// The media-info record of one file, its extraction from the file's ID3v2 or
// ID3v1 tag, and the reading of track texts for sorting.
#pragma once

#include "media/text/TagDecoder.h"

#include <cstdint>
#include <string>

// The tag fields of one file as UTF-8 texts; empty means unknown.
struct TMediaInfo {
    std::string Title;
    std::string Artist;
    std::string Album;
    std::string Genre;
    std::string Year;
    std::string Track;

    bool operator==(const TMediaInfo&) const = default;
};

// True when an ID3v2 or an ID3v1 tag was found; all six fields are then
// overwritten, those the ID3v2 tag leaves empty from the ID3v1 tag when the
// file has both. False when neither was found; MediaInfo is left untouched.
// Text without a declared encoding is read in Decoder's code page. Never
// throws, never blocks on special files.
bool ReadMediaInfo(const std::string& FileName, TMediaInfo& MediaInfo,
                   TTagDecoder& Decoder = DefaultTagDecoder());

// ReadMediaInfo that also gives the file's size in bytes from the descriptor it
// already has open (-1 when the file could not be opened as a regular file), so
// a folder walk needs no separate stat of each file it reads.
bool ReadMediaInfoAndSize(const std::string& FileName, TMediaInfo& MediaInfo,
                          std::int64_t& FileSize, TTagDecoder& Decoder = DefaultTagDecoder());
// The same for the file Name inside the open folder FolderFd.
bool ReadMediaInfoAt(int FolderFd, const char* Name, TMediaInfo& MediaInfo, std::int64_t& FileSize,
                     TTagDecoder& Decoder = DefaultTagDecoder());
// The same on a file that is already open, so a reader of another format can
// fall back to the ID3 tags through its descriptor.
class TMediaFile;
bool ReadMediaInfoFrom(TMediaFile& File, TMediaInfo& MediaInfo,
                       TTagDecoder& Decoder = DefaultTagDecoder());

struct TrackNumbers {
    std::uint8_t TrackNumber = 0;
    std::uint8_t TrackCount = 0;
};

// "3/12" gives 3 and 12; a text that is no number gives 0.
TrackNumbers ParseTrackText(const std::string& Text);
