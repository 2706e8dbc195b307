// The checks of a compile's outputs against its inputs (see OutputTargets.h).
#include "app/OutputTargets.h"
#include "engine/Counts.h"

#include "engine/Masks.h"
#include "engine/Reasons.h"
#include "files/Paths.h"
#include "model/MessageText.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace {

// The path with its folder resolved (links, "..") and made absolute; the
// path itself where its folder cannot be resolved.
std::string ResolvedPath(const std::string& Path) {
    char resolved[PATH_MAX];
    if (!realpath(FolderOf(Path).c_str(), resolved))
        return Path;
    const std::string folder = resolved;
    return (folder == "/" ? "" : folder) + "/" + std::string(FileNameOf(Path));
}

std::string KindName(TOutputKind Kind) {
    switch (Kind) {
    case TOutputKind::Playlist:
        return "playlist";
    case TOutputKind::Explain:
        return "explain file";
    case TOutputKind::Counts:
        break;
    }
    return "counts file";
}

// The first bytes of File, up to Count; empty when it cannot be read.
std::string FirstBytes(const std::string& File, size_t Count) {
    std::string bytes(Count, '\0');
    const int fd = open(File.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    const ssize_t n = read(fd, bytes.data(), Count);
    close(fd);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

bool StartsWithNoCase(std::string_view Text, std::string_view Start) {
    if (Text.size() < Start.size())
        return false;
    for (size_t i = 0; i < Start.size(); ++i) {
        const char a = Text[i] >= 'A' && Text[i] <= 'Z' ? static_cast<char>(Text[i] + 32) : Text[i];
        if (a != Start[i])
            return false;
    }
    return true;
}

// A playlist as written by us and by the players: M3U (with a byte-order
// mark, perhaps) or PLS.
bool LooksLikePlaylist(std::string_view Bytes) {
    if (Bytes.starts_with("\xEF\xBB\xBF"))
        Bytes.remove_prefix(3);
    return StartsWithNoCase(Bytes, "#extm3u") || StartsWithNoCase(Bytes, "[playlist]");
}

} // namespace

bool SameFile(const std::string& A, const std::string& B) {
    struct stat a, b;
    const bool aExists = stat(A.c_str(), &a) == 0;
    const bool bExists = stat(B.c_str(), &b) == 0;
    if (aExists && bExists)
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    if (aExists != bExists)
        return false;
    return ResolvedPath(A) == ResolvedPath(B);
}

std::string TargetIsSettingsFile(const std::string& Target, TOutputKind Kind,
                                 const std::string& SettingsFile) {
    if (!SameFile(Target, SettingsFile))
        return {};
    return "refusing to write the " + KindName(Kind) + " " + QuoteForMessage(Target, 1024) +
           ": it is the settings file " + QuoteForMessage(SettingsFile, 1024);
}

std::string TargetIsForeign(const std::string& Target, TOutputKind Kind,
                            const std::vector<std::string>& FilenameMasks) {
    struct stat info;
    if (stat(Target.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {}; // absent, or a device or FIFO the user named on purpose
    // The walk matches full paths: so does this.
    std::string full = Target;
    if (full.empty() || full[0] != '/') {
        char folder[PATH_MAX];
        if (getcwd(folder, sizeof folder))
            full = std::string(folder) + "/" + full;
    }
    for (const std::string& mask : FilenameMasks) {
        bool selected = false;
        try {
            selected = MatchWildcard(full, mask);
        } catch (const std::exception&) {
            // the compile reports a malformed mask itself
        }
        if (selected)
            return "the filename mask " + QuoteForMessage(mask, 200) + " selects it";
    }
    if (info.st_size == 0)
        return {};
    const std::string start = FirstBytes(Target, 64);
    const bool ours = Kind == TOutputKind::Playlist  ? LooksLikePlaylist(start)
                      : Kind == TOutputKind::Explain ? start.starts_with(ExplainHeader)
                                                     : start.starts_with(CountsHeader);
    if (ours)
        return {};
    return "it is no " + KindName(Kind);
}

std::string ForeignTargetRefusal(const std::string& Target, TOutputKind Kind,
                                 const std::string& Why) {
    return "refusing to replace " + QuoteForMessage(Target, 1024) + " with the " + KindName(Kind) +
           ": " + Why + " (--force replaces it)";
}
