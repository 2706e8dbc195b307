// Writes the playlist files: M3U and PLS, byte for byte, CRLF line ends. A file
// is replaced only once its successor is complete on disk, and a crash while
// writing leaves nothing behind where the file system has unnamed files.
#include "playlists/PlaylistWriters.h"

#include "model/MessageText.h"
#include "playlists/SafeReplace.h"

#include <unistd.h>

namespace {

// A path with a line break in it would end its line early, and what follows
// would be read as further lines: a directive, or a path a player resolves
// elsewhere. Such a path is written as a file URI, which has no raw breaks.
std::string EntryLine(const std::string& Path) {
    if (Path.find_first_of("\r\n") == std::string::npos)
        return Path;
    std::string absolute = Path;
    if (absolute.empty() || absolute[0] != '/') {
        char folder[4096];
        if (getcwd(folder, sizeof folder))
            absolute = std::string(folder) + "/" + absolute;
    }
    static const char Digits[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : absolute) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
            (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '.' || c == '_' ||
            c == '~') {
            uri += c;
        } else {
            uri += '%';
            uri += Digits[byte >> 4];
            uri += Digits[byte & 0x0F];
        }
    }
    return uri;
}

} // namespace

std::string FormatM3UPlaylist(const std::vector<std::string>& Entries) {
    std::string text = "#EXTM3U\r\n";
    for (const std::string& entry : Entries)
        text.append(EntryLine(entry)).append("\r\n");
    return text;
}

std::string FormatPLSPlaylist(const std::vector<std::string>& Entries) {
    const size_t count = Entries.size();
    std::string text =
        "[playlist]\r\nVersion=2\r\nNumberOfEntries=" + std::to_string(count) + "\r\n";
    for (size_t k = 0; k < count; ++k)
        text.append("File")
            .append(std::to_string(k + 1))
            .append("=")
            .append(EntryLine(Entries[k]))
            .append("\r\n");
    return text;
}

std::string FormatPlaylist(const std::vector<std::string>& Entries, PlaylistFormat Format) {
    return Format == PlaylistFormat::PLS ? FormatPLSPlaylist(Entries) : FormatM3UPlaylist(Entries);
}

// The same cause gives the same words in both formats: the file is written the
// same way whatever its bytes are.
void WritePlaylist(const std::string& FileName, const std::vector<std::string>& Entries,
                   PlaylistFormat Format) {
    if (FileName.empty())
        throw EPlaylistWriteError("File not found");
    TWriteFailure failure;
    if (!ReplaceFileContents(FileName, FormatPlaylist(Entries, Format), failure))
        throw EPlaylistWriteError("Unable to write to " + QuoteForMessage(FileName, 1024) + ": " +
                                  WriteFailureCause(failure));
}

void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    WritePlaylist(FileName, Entries, PlaylistFormat::M3U);
}

void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    WritePlaylist(FileName, Entries, PlaylistFormat::PLS);
}

PlaylistFormat PlaylistFormatOf(const std::string& FileName) {
    return IsPlsFileName(FileName) ? PlaylistFormat::PLS : PlaylistFormat::M3U;
}

bool IsPlsFileName(const std::string& FileName) {
    const std::string base = FileName.substr(FileName.rfind('/') + 1);
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = base.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension == ".pls";
}
