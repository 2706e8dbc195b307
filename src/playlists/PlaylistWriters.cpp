// Writes the playlist files: M3U and PLS, byte for byte, CRLF line ends. A file
// is replaced only once its successor is complete on disk, and a crash while
// writing leaves nothing behind where the file system has unnamed files.
#include "playlists/PlaylistWriters.h"

#include "files/Paths.h"
#include "files/SafeReplace.h"
#include "media/text/Utf8.h"
#include "model/Durations.h"
#include "model/MessageText.h"
#include "playlists/RelativePaths.h"
#include "playlists/RootPaths.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <utility>

namespace {

bool IsUtf8(std::string_view Text) {
    for (std::size_t At = 0, Length = 0; At < Text.size(); At += Length)
        if (DecodeUtf8At(Text, At, Length), Length == 0)
            return false;
    return true;
}

// Every byte that is not part of valid UTF-8 becomes U+FFFD.
std::string ValidUtf8(std::string_view Text) {
    std::string Out;
    for (std::size_t At = 0, Length = 0; At < Text.size(); At += std::max<std::size_t>(Length, 1)) {
        DecodeUtf8At(Text, At, Length);
        if (Length == 0)
            Out += "\xEF\xBF\xBD";
        else
            Out.append(Text.substr(At, Length));
    }
    return Out;
}

std::string FileUri(const std::string& Path);

bool IsAsciiLetter(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z');
}

// A relative entry that players would read as something else: one that starts
// with a byte they strip (white space, a control) or read as syntax ("#" a
// comment, "~" a home folder, '"' a quote), or whose first component looks
// like a URL scheme ("http:", "c:"). "./" before it keeps it a path.
bool NeedsLeadingDotSlash(std::string_view Path) {
    if (Path.empty() || Path[0] == '/')
        return false;
    const unsigned char first = static_cast<unsigned char>(Path[0]);
    if (first <= 0x20 || first == 0x7F || first == '#' || first == '~' || first == '"')
        return true;
    if (!IsAsciiLetter(Path[0]))
        return false;
    for (const char c : Path.substr(1)) {
        if (c == ':')
            return true;
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// Control characters would end a title's line early or act on a terminal that
// shows the playlist: every C0 and C1 control (NEL among them), DEL and the
// line and paragraph separators become spaces. Other bytes stay as they are.
std::string WithoutControls(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(Text[i]);
        const unsigned char next =
            i + 1 < Text.size() ? static_cast<unsigned char>(Text[i + 1]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            out += ' ';
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += ' '; // U+0080 to U+009F
            ++i;
        } else if (byte == 0xE2 && next == 0x80 && i + 2 < Text.size() &&
                   (Text[i + 2] == '\xA8' || Text[i + 2] == '\xA9')) {
            out += ' '; // U+2028, U+2029
            i += 2;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

// A path with a line break in it would end its line early, and what follows
// would be read as further lines: a directive, or a path a player resolves
// elsewhere. Such a path is written as a file URI, which has no raw breaks;
// so is a path that is not UTF-8 in a file that promises UTF-8.
std::string EntryLine(const std::string& Path, bool Utf8Only = false) {
    if (Path.find_first_of("\r\n") == std::string::npos && (!Utf8Only || IsUtf8(Path)))
        return Path;
    return FileUri(Path);
}

// The entry's line: the path as it is, a file URI where the path cannot be
// written bare, or "./" and the path where a player would misread it.
std::string EntryText(const std::string& Path, bool Utf8Only) {
    std::string line = EntryLine(Path, Utf8Only);
    if (line == Path && NeedsLeadingDotSlash(line))
        line.insert(0, "./");
    return line;
}

std::string FileUri(const std::string& Path) {
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
    switch (Format) {
    case PlaylistFormat::PLS:
        return FormatPLSPlaylist(Entries);
    case PlaylistFormat::M3U8:
        break;
    case PlaylistFormat::M3U:
        return FormatM3UPlaylist(Entries);
    }
    std::vector<TPlaylistEntry> Full(Entries.size());
    for (std::size_t I = 0; I < Entries.size(); ++I)
        Full[I].Path = Entries[I];
    return FormatPlaylist(Full, Format, false);
}

std::string EntryDisplayTitle(const TPlaylistEntry& Entry) {
    std::string Title = Entry.Title;
    if (Title.empty()) {
        Title = Entry.Path.substr(Entry.Path.rfind('/') + 1);
        const std::size_t Dot = Title.rfind('.');
        if (Dot != std::string::npos && Dot > 0)
            Title.resize(Dot);
    }
    return WithoutControls(Entry.Artist.empty() ? Title : Entry.Artist + " - " + Title);
}

std::int64_t EntrySeconds(const TPlaylistEntry& Entry) {
    const std::int64_t Milliseconds = PlausibleDurationMs(Entry.DurationMs);
    return Milliseconds < 0 ? -1 : (Milliseconds + 500) / 1000;
}

std::string FormatPlaylist(const std::vector<TPlaylistEntry>& Entries, PlaylistFormat Format,
                           bool Extended) {
    const bool Utf8 = Format == PlaylistFormat::M3U8;
    const char* const Eol = Utf8 ? "\n" : "\r\n";
    const auto Title = [Utf8](const TPlaylistEntry& Entry) {
        return Utf8 ? ValidUtf8(EntryDisplayTitle(Entry)) : EntryDisplayTitle(Entry);
    };
    std::string Text;
    if (Format == PlaylistFormat::PLS) {
        Text =
            "[playlist]\r\nVersion=2\r\nNumberOfEntries=" + std::to_string(Entries.size()) + "\r\n";
        for (std::size_t K = 1; K <= Entries.size(); ++K) {
            const TPlaylistEntry& Entry = Entries[K - 1];
            const std::string N = std::to_string(K);
            Text += "File" + N + "=" + EntryText(Entry.Path, false) + "\r\n";
            if (Extended)
                Text += "Title" + N + "=" + Title(Entry) + "\r\nLength" + N + "=" +
                        std::to_string(EntrySeconds(Entry)) + "\r\n";
        }
        return Text;
    }
    Text = std::string("#EXTM3U") + Eol;
    for (const TPlaylistEntry& Entry : Entries) {
        if (Extended)
            Text += "#EXTINF:" + std::to_string(EntrySeconds(Entry)) + "," + Title(Entry) + Eol;
        Text += EntryText(Entry.Path, Utf8) + Eol;
    }
    return Text;
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

std::string PlaylistBytes(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                          PlaylistFormat Format, const TPlaylistOptions& Options,
                          std::size_t& LeftAbsolute) {
    LeftAbsolute = 0;
    // A relative path cannot be a URI: where a URI is needed the path stays whole.
    const auto Writable = [Format](const std::string& Path) {
        return Path.find_first_of("\r\n") == std::string::npos &&
               (Format != PlaylistFormat::M3U8 || IsUtf8(Path));
    };
    if (Options.Paths == PlaylistPaths::Relative) {
        TRelativePaths Relative(FileName);
        for (TPlaylistEntry& Entry : Entries) {
            std::string Path;
            if (Relative.Make(Entry.Path, Path) && Writable(Path))
                Entry.Path = std::move(Path);
            else
                ++LeftAbsolute;
        }
    } else if (Options.Paths == PlaylistPaths::Root) {
        const TRootPaths Root(Options.Root);
        for (TPlaylistEntry& Entry : Entries) {
            std::string Path;
            if (Root.Make(Entry.Path, Path) && Writable(Path))
                Entry.Path = std::move(Path);
            else
                ++LeftAbsolute;
        }
    }
    return FormatPlaylist(Entries, Format, Options.Extended);
}

namespace {

void WriteBytes(const std::string& FileName, const std::string& Bytes) {
    TWriteFailure failure;
    if (!ReplaceFileContents(FileName, Bytes, failure))
        throw EPlaylistWriteError("Unable to write to " + QuoteForMessage(FileName, 1024) + ": " +
                                  WriteFailureCause(failure));
}

// The regular file FileName holds exactly Bytes. Never blocks on a FIFO.
bool FileHolds(const std::string& FileName, const std::string& Bytes) {
    const int Fd = open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (Fd < 0)
        return false;
    struct stat Info;
    bool Same = fstat(Fd, &Info) == 0 && S_ISREG(Info.st_mode) &&
                static_cast<std::uint64_t>(Info.st_size) == Bytes.size();
    std::string Held;
    if (Same) {
        // One byte more than expected tells a file that grew meanwhile.
        Held.resize(Bytes.size() + 1);
        std::size_t Got = 0;
        while (Got < Held.size()) {
            const ssize_t N = read(Fd, Held.data() + Got, Held.size() - Got);
            if (N < 0 && errno == EINTR)
                continue;
            if (N <= 0)
                break;
            Got += static_cast<std::size_t>(N);
        }
        Held.resize(Got);
        Same = Held == Bytes;
    }
    close(Fd);
    return Same;
}

} // namespace

std::size_t WritePlaylist(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                          PlaylistFormat Format, const TPlaylistOptions& Options) {
    if (FileName.empty())
        throw EPlaylistWriteError("File not found");
    std::size_t LeftAbsolute = 0;
    WriteBytes(FileName,
               PlaylistBytes(FileName, std::move(Entries), Format, Options, LeftAbsolute));
    return LeftAbsolute;
}

TPlaylistRefresh RefreshPlaylist(const std::string& FileName, std::vector<TPlaylistEntry> Entries,
                                 PlaylistFormat Format, const TPlaylistOptions& Options) {
    if (FileName.empty())
        throw EPlaylistWriteError("File not found");
    TPlaylistRefresh Result;
    const std::string Bytes =
        PlaylistBytes(FileName, std::move(Entries), Format, Options, Result.LeftAbsolute);
    Result.Unchanged = FileHolds(FileName, Bytes);
    if (!Result.Unchanged)
        WriteBytes(FileName, Bytes);
    return Result;
}

std::string LeftAbsoluteText(std::size_t Count) {
    return Count == 1 ? "1 entry could not be made relative and keeps its full path."
                      : std::to_string(Count) +
                            " entries could not be made relative and keep their full paths.";
}

void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    WritePlaylist(FileName, Entries, PlaylistFormat::M3U);
}

void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    WritePlaylist(FileName, Entries, PlaylistFormat::PLS);
}

PlaylistFormat PlaylistFormatOf(const std::string& FileName) {
    if (IsPlsFileName(FileName))
        return PlaylistFormat::PLS;
    return HasExtension(FileName, ".m3u8") ? PlaylistFormat::M3U8 : PlaylistFormat::M3U;
}

bool IsPlsFileName(const std::string& FileName) {
    return HasExtension(FileName, ".pls");
}
