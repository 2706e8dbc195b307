// The tags of audio formats other than MP3 (FLAC, Ogg Vorbis and Opus, the MP4
// family, ASF/WMA, WAV, AIFF and the APEv2 formats), which reader serves a file
// by its content, and the stated length of a track.
#pragma once

#include "media/MediaUtils.h"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TMediaFile;

// The containers told apart by their first bytes.
enum class TAudioFormat { Unknown, Flac, Ogg, Mp4, Asf, Wav, Aiff, Ape, Mpeg };

// The format that a file's first bytes announce, whatever its name says. A
// FLAC stream behind an ID3v2 tag counts as FLAC. Mpeg is an ID3v2 tag or a
// frame header at the start; Unknown is anything else.
TAudioFormat DetectAudioFormat(TMediaFile& File);

// The format that a file's content shows: the container its first bytes
// announce and, for Ogg and MP4, the codec of its stream; behind ID3v2 tags
// at the start, what follows them (MPEG audio is MP3). Unknown when the
// content is none of the formats. Reads little beyond the first bytes but
// for an MP4, whose sample descriptions lie inside its moov box.
TContentFormat DetectContentFormat(TMediaFile& File);
// The format that the bytes at Position show at a glance, costing no read
// where they are at hand: MP3 for a frame of MPEG audio, Unknown for a 0xFF
// byte that starts none (no other format begins so); nothing where a closer
// look has to decide.
std::optional<TContentFormat> FormatAtAGlance(TMediaFile& File, std::int64_t Position);
// The format of what follows an ID3v2 tag that starts the file and ends at
// TagEnd. File must not be restricted to a range.
TContentFormat ContentFormatBehind(TMediaFile& File, std::int64_t TagEnd);

// Which tags one read looks for, in order; the first that holds a field wins.
enum class TTagSources {
    ID3,                // ID3v2, then ID3v1: an MP3 file as it always was
    ID3ThenAPE,         // and then an APEv2 tag at the end
    OtherFormat,        // the reader of the file's own format only
    OtherFormatThenID3, // that, and when it found nothing, ID3v2 then ID3v1
};

// Fills MediaInfo from the first source that gives a tag, with the format
// its content shows, and returns true; false leaves it untouched. A reader
// of another format finds a tag when any of the six fields title, artist,
// album, genre, year and track has a text (the album artist stands in for a
// missing artist under the names that always did; a composer alone is none). Never throws, never
// blocks on special files. Text without a declared encoding is read in Decoder's code page.
bool ReadTags(const std::string& FileName, TTagSources Sources, TMediaInfo& MediaInfo,
              TTagDecoder& Decoder = DefaultTagDecoder());
// The same for Name in the open folder FolderFd, giving the file's size from
// the one descriptor (-1 when it could not be opened as a regular file).
bool ReadTagsAt(int FolderFd, const char* Name, TTagSources Sources, TMediaInfo& MediaInfo,
                std::int64_t& FileSize, TTagDecoder& Decoder = DefaultTagDecoder());
// The same, giving the status of the file as it was opened (all zero when it
// could not be opened as a regular file): a stamp taken before the read.
bool ReadTagsAt(int FolderFd, const char* Name, TTagSources Sources, TMediaInfo& MediaInfo,
                struct stat& Opened, TTagDecoder& Decoder);
// The same on a file already open.
bool ReadTagsFrom(TMediaFile& File, TTagSources Sources, TMediaInfo& MediaInfo,
                  TTagDecoder& Decoder = DefaultTagDecoder());

// The track's length in milliseconds as the file states it (FLAC STREAMINFO,
// Ogg's last granule position, MP4 mvhd/mdhd, ASF File Properties, WAV/AIFF
// format and data sizes, MP3 Xing/Info, VBRI or a constant bit rate); -1 when
// the file does not say. Separate from the tag read, which never looks for it.
std::int64_t ReadDurationMs(const std::string& FileName);
std::int64_t ReadDurationMsFrom(TMediaFile& File);
