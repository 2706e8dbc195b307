// Writes the playlist files: M3U and PLS, byte for byte, CRLF line ends.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

// Carries the exact message shown to the user.
class EPlaylistWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class PlaylistFormat { M3U, PLS };

// The format a playlist file gets: PLS when the name ends in ".pls" (any case),
// M3U otherwise. The one place where a name decides the format.
PlaylistFormat PlaylistFormatOf(const std::string& FileName);

// The bytes of a playlist file. Entries are written byte for byte, one line
// each; an entry holding a CR or LF byte is written as a file:// URI with its
// bytes percent-encoded (made absolute first), so no entry ever spans two lines.
std::string FormatM3UPlaylist(const std::vector<std::string>& Entries);
std::string FormatPLSPlaylist(const std::vector<std::string>& Entries);
std::string FormatPlaylist(const std::vector<std::string>& Entries, PlaylistFormat Format);

// The writers throw EPlaylistWriteError with the same words for the same cause:
// "Unable to write to PATH: " and "Disk full", "Folder not found", "Invalid
// filename", "Too many open files", "File access denied" or "I/O error N";
// "File not found" for an empty name.
//
// The file is written by ReplaceFileContents (SafeReplace.h): complete or not at all.
void WritePlaylist(const std::string& FileName, const std::vector<std::string>& Entries,
                   PlaylistFormat Format);
void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);
void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);

// True when FileName's extension, lower-cased, is ".pls".
bool IsPlsFileName(const std::string& FileName);
