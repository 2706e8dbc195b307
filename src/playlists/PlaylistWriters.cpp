// Writes the playlist files: M3U and PLS, byte for byte, CRLF line ends. A file
// is replaced only once its successor is complete on disk.
#include "playlists/PlaylistWriters.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
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

std::string M3UText(const std::vector<std::string>& Entries) {
    std::string text = "#EXTM3U\r\n";
    for (const std::string& entry : Entries)
        text.append(EntryLine(entry)).append("\r\n");
    return text;
}

std::string PLSText(const std::vector<std::string>& Entries) {
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

// Where a write went wrong: opening or replacing the file, or putting bytes on disk.
struct WriteFailure {
    int Error = 0;
    bool WhileWriting = false;
};

std::string FolderOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : Path.substr(0, slash);
}

std::string BaseOf(const std::string& Path) {
    const size_t slash = Path.rfind('/');
    return slash == std::string::npos ? Path : Path.substr(slash + 1);
}

// Follows a symbolic link in the last component to the name that finally gets
// written, so that saving through a link updates the link's target and keeps
// the link. Returns false with errno set when the chain does not end.
bool FollowLinks(std::string& Path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info;
        if (lstat(Path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return true;
        std::string target(4096, '\0');
        const ssize_t length = readlink(Path.c_str(), target.data(), target.size());
        if (length < 0)
            return false;
        target.resize(static_cast<size_t>(length));
        if (!target.empty() && target[0] == '/')
            Path = target;
        else
            Path = Path.find('/') == std::string::npos ? target : FolderOf(Path) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

bool WriteAll(int Fd, const std::string& Bytes, WriteFailure& Failure) {
    size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t n = write(Fd, Bytes.data() + done, Bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Failure = {n < 0 ? errno : ENOSPC, true};
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Device nodes and FIFOs (/dev/stdout, a pipe) cannot be replaced by a rename;
// they are written where they are.
bool WriteInPlace(const std::string& FileName, const std::string& Bytes, WriteFailure& Failure) {
    const int fd = open(FileName.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        Failure = {errno, false};
        return false;
    }
    const bool written = WriteAll(fd, Bytes, Failure);
    if (close(fd) != 0 && written && errno != EINTR) {
        Failure = {errno, true};
        return false;
    }
    return written;
}

// Creates a new, empty side file next to Target. O_EXCL with mode 0666 lets the
// process's umask decide the permissions, as it would for a plain create.
int CreateSideFile(const std::string& Target, std::string& SideName) {
    std::string base = BaseOf(Target);
    if (base.size() > 200)
        base.resize(200);
    const std::string prefix = FolderOf(Target) + "/." + base + ".part-";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        SideName = prefix + suffix;
        const int fd =
            open(SideName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void SyncFolder(const std::string& Folder) {
    const int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Writes Bytes as the whole content of FileName. A regular file is replaced by
// a complete side file, so a failure leaves the former file as it was.
bool WritePlaylistFile(const std::string& FileName, const std::string& Bytes,
                       WriteFailure& Failure) {
    struct stat existing;
    bool targetExists = false;
    if (stat(FileName.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            Failure = {EISDIR, false};
            return false;
        }
        if (!S_ISREG(existing.st_mode))
            return WriteInPlace(FileName, Bytes, Failure);
        targetExists = true;
    } else if (errno != ENOENT) {
        Failure = {errno, false};
        return false;
    }

    std::string target = FileName;
    if (!FollowLinks(target)) {
        Failure = {errno, false};
        return false;
    }
    std::string sideName;
    const int fd = CreateSideFile(target, sideName);
    if (fd < 0) {
        Failure = {errno, false};
        return false;
    }
    if (targetExists) {
        // Keep who may read and write the playlist as it was.
        fchmod(fd, existing.st_mode & 07777);
        if (existing.st_uid != geteuid() || existing.st_gid != getegid())
            (void)!fchown(fd, existing.st_uid, existing.st_gid);
    }
    bool ok = WriteAll(fd, Bytes, Failure);
    if (ok && fsync(fd) != 0) {
        Failure = {errno, true};
        ok = false;
    }
    if (close(fd) != 0 && ok && errno != EINTR) {
        Failure = {errno, true};
        ok = false;
    }
    if (ok && rename(sideName.c_str(), target.c_str()) != 0) {
        Failure = {errno, false};
        ok = false;
    }
    if (!ok) {
        unlink(sideName.c_str());
        return false;
    }
    SyncFolder(FolderOf(target));
    return true;
}

std::string M3UMessage(const WriteFailure& Failure) {
    switch (Failure.Error) {
    case ENOSPC:
    case EDQUOT:
        return "Disk full";
    case EFBIG: // the file may not grow any further: as good as a full disk
        if (Failure.WhileWriting)
            return "Disk full";
        break;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return "Invalid filename";
    case EMFILE:
    case ENFILE:
        return "Too many open files";
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return "File access denied";
    default:
        break;
    }
    char message[32];
    std::snprintf(message, sizeof message, "I/O error %d", Failure.Error);
    return message;
}

} // namespace

void WriteM3UPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    if (FileName.empty())
        throw EPlaylistWriteError("File not found");
    WriteFailure failure;
    if (!WritePlaylistFile(FileName, M3UText(Entries), failure))
        throw EPlaylistWriteError(M3UMessage(failure));
}

void WritePLSPlaylist(const std::string& FileName, const std::vector<std::string>& Entries) {
    WriteFailure failure;
    if (FileName.empty() || !WritePlaylistFile(FileName, PLSText(Entries), failure))
        throw EPlaylistWriteError("Unable to write to " + FileName);
}

bool IsPlsFileName(const std::string& FileName) {
    const std::string base = BaseOf(FileName);
    const size_t dot = base.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = base.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return extension == ".pls";
}
