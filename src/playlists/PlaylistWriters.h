// Writes the playlist files: M3U and PLS, byte for byte, CRLF line ends; and
// on request M3U8, extended lines and paths relative to the playlist.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// Carries the exact message shown to the user.
class EPlaylistWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// M3U8 is M3U in UTF-8 with LF line ends: an entry whose path is not UTF-8
// is written as a file:// URI with its bytes percent-encoded.
enum class PlaylistFormat { M3U, PLS, M3U8 };

// The format a playlist file gets: PLS when the name ends in ".pls" (any case),
// M3U8 when it ends in ".m3u8", M3U otherwise. The one place where a name
// decides the format.
PlaylistFormat PlaylistFormatOf(const std::string& FileName);

// Relative: to the playlist's folder. Root: to TPlaylistOptions::Root, the
// music folder of a player that resolves entries against it.
enum class PlaylistPaths { Absolute, Relative, Root };

// What the user may choose beyond the format. The defaults write today's bytes.
struct TPlaylistOptions {
    PlaylistPaths Paths = PlaylistPaths::Absolute;
    // M3U: "#EXTINF:<seconds>,<Artist> - <Title>" before each entry; PLS:
    // TitleN and LengthN after each FileN.
    bool Extended = false;
    std::string Root; // the music folder, for PlaylistPaths::Root

    // {Paths, Extended} alone stays a complete way to write the options.
    TPlaylistOptions() = default;
    TPlaylistOptions(PlaylistPaths Paths_, bool Extended_, std::string Root_ = {})
        : Paths(Paths_), Extended(Extended_), Root(std::move(Root_)) {}

    bool operator==(const TPlaylistOptions&) const = default;
};

// One entry and what its extended lines tell.
struct TPlaylistEntry {
    std::string Path;             // raw bytes
    std::string Artist;           // tag texts, UTF-8; empty when unknown
    std::string Title;            // empty: the file name without its extension stands for it
    std::int64_t DurationMs = -1; // -1 when unknown
};

// The text an extended line gives an entry: "Artist - Title", or the title
// alone without an artist; every control character (C0, C1, DEL, U+2028,
// U+2029) becomes a space.
std::string EntryDisplayTitle(const TPlaylistEntry& Entry);
// Whole seconds, rounded; -1 for an unknown length or one beyond 100 hours.
std::int64_t EntrySeconds(const TPlaylistEntry& Entry);

// The bytes of a playlist file. Entries are written byte for byte, one line
// each; an entry holding a CR or LF byte is written as a file:// URI with its
// bytes percent-encoded (made absolute first), so no entry ever spans two lines.
std::string FormatM3UPlaylist(const std::vector<std::string>& Entries);
std::string FormatPLSPlaylist(const std::vector<std::string>& Entries);
std::string FormatPlaylist(const std::vector<std::string>& Entries, PlaylistFormat Format);
// Paths as they are given (made relative beforehand, if at all).
std::string FormatPlaylist(const std::vector<TPlaylistEntry>& Entries, PlaylistFormat Format,
                           bool Extended);

// The writers throw EPlaylistWriteError with the same words for the same cause:
// "Unable to write to PATH: " and "Disk full", "Folder not found", "Invalid
// filename", "Too many open files", "File access denied" or "I/O error N";
// "File not found" for an empty name.
//
// The file is written by ReplaceFileContents (SafeReplace.h): complete or not at all.
void WritePlaylist(const std::string& FileName, const std::vector<std::string>& Entries,
                   PlaylistFormat Format);
// With relative or root paths asked for, returns how many entries stayed
// absolute (TRelativePaths could not reach them, they lie outside the root,
// or their relative form could not be written in this format); 0 otherwise.
std::size_t WritePlaylist(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                          PlaylistFormat Format, const TPlaylistOptions& Options);
// The bytes that WritePlaylist would write, with the same count of entries
// left absolute in LeftAbsolute.
std::string PlaylistBytes(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                          PlaylistFormat Format, const TPlaylistOptions& Options,
                          std::size_t& LeftAbsolute);
// As WritePlaylist, but a file that holds these very bytes already is not
// written at all (its modification time stays, so players watching it are not
// disturbed).
struct TPlaylistRefresh {
    std::size_t LeftAbsolute = 0;
    bool Unchanged = false;
};
TPlaylistRefresh RefreshPlaylist(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                                 PlaylistFormat Format, const TPlaylistOptions& Options);
// "2 entries could not be made relative and keep their full paths." (or
// "1 entry ... keeps its full path.").
std::string LeftAbsoluteText(std::size_t Count);
void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);
void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);

// True when FileName's extension, lower-cased, is ".pls".
bool IsPlsFileName(const std::string& FileName);
