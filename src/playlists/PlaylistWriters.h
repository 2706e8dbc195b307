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

// Entries are written byte for byte, one line each; an entry holding a CR or
// LF byte is written as a file:// URI with its bytes percent-encoded (made
// absolute first), so no entry ever spans two lines.
// Both throw EPlaylistWriteError. A failed write leaves a former file of that
// name as it was: a regular file is replaced by a complete side file renamed
// over it, keeping its permissions (a new file gets 0666 less the umask). A
// symbolic link is written through (its target is replaced, the link stays);
// a FIFO or device node is written in place.
void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);
void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries);

// True when FileName's extension, lower-cased, is ".pls".
bool IsPlsFileName(const std::string& FileName);
