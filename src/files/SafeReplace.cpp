// The one way a whole file is written: playlists and the settings file.
#include "files/SafeReplace.h"

#include "files/SaveJournal.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

bool WriteAll(int Fd, const std::string& Bytes, TWriteFailure& Failure) {
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
bool WriteInPlace(const std::string& FileName, const std::string& Bytes, TWriteFailure& Failure) {
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
// Flags: O_CREAT | O_EXCL (a file to write) or 0 with the name only chosen.
int CreateSideFile(const std::string& Target, std::string& SideName, bool Open = true) {
    std::string base(FileNameOf(Target));
    if (base.size() > 200)
        base.resize(200);
    const std::string prefix = FolderOf(Target) + "/." + base + ".part-";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        SideName = prefix + suffix;
        if (!Open)
            return 0;
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

// Gives the unnamed file Fd the name Name; fails with EEXIST when the name is taken.
bool LinkUnnamedFile(int Fd, const std::string& Name) {
    const std::string self = "/proc/self/fd/" + std::to_string(Fd);
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // Without /proc: a process allowed to (CAP_DAC_READ_SEARCH) links the descriptor itself.
    return linkat(Fd, "", AT_FDCWD, Name.c_str(), AT_EMPTY_PATH) == 0;
}

bool WriteAndSync(int Fd, const std::string& Bytes, TWriteFailure& Failure) {
    if (!WriteAll(Fd, Bytes, Failure))
        return false;
    if (fsync(Fd) != 0) {
        Failure = {errno, true};
        return false;
    }
    return true;
}

bool CloseChecked(int Fd, bool Ok, TWriteFailure& Failure) {
    if (close(Fd) != 0 && Ok && errno != EINTR) {
        Failure = {errno, true};
        return false;
    }
    return Ok;
}

// Replaces (or creates) Target with a file that is complete before it takes the
// name. The file is written unnamed (O_TMPFILE) where the file system allows,
// so a crash while writing leaves nothing behind; elsewhere as a hidden side
// file. Existing: the former file's status, or null when there is none.
bool ReplaceWhole(const std::string& Target, const struct stat* Existing, const std::string& Bytes,
                  TWriteFailure& Failure) {
    const std::string folder = FolderOf(Target);
    int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    const bool unnamed = fd >= 0;
    std::string sideName;
    if (!unnamed) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            Failure = {errno, false};
            return false;
        }
        fd = CreateSideFile(Target, sideName);
        if (fd < 0) {
            Failure = {errno, false};
            return false;
        }
    }
    if (Existing) {
        // Keep who may read and write the playlist as it was.
        fchmod(fd, Existing->st_mode & 07777);
        if (Existing->st_uid != geteuid() || Existing->st_gid != getegid())
            (void)!fchown(fd, Existing->st_uid, Existing->st_gid);
    }
    bool ok = WriteAndSync(fd, Bytes, Failure);
    if (ok && unnamed) {
        // A new name is linked in directly; a name in use gets the file under
        // a side name first, renamed over it at once.
        if (!Existing && LinkUnnamedFile(fd, Target)) {
            ok = CloseChecked(fd, true, Failure);
            SyncFolder(folder);
            return ok;
        }
        CreateSideFile(Target, sideName, false);
        if (!LinkUnnamedFile(fd, sideName)) {
            Failure = {errno, false};
            sideName.clear();
            ok = false;
        }
    }
    ok = CloseChecked(fd, ok, Failure);
    if (ok && rename(sideName.c_str(), Target.c_str()) != 0) {
        Failure = {errno, false};
        ok = false;
    }
    if (!ok) {
        if (!sideName.empty())
            unlink(sideName.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

// Whether Bytes would fit on the file system of the open file Fd: its blocks
// are reserved up to that size, its content and length left as they are. Where
// the file system cannot reserve, a throw-away copy is written instead, in
// Folder or else in the temporary folder.
bool ContentFits(int Fd, const std::string& Folder, const std::string& Bytes,
                 TWriteFailure& Failure) {
    if (Bytes.empty())
        return true;
    // A reservation that keeps the length is not held to the file size limit.
    struct rlimit limit;
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        Bytes.size() > limit.rlim_cur) {
        Failure = {EFBIG, true};
        return false;
    }
    if (fallocate(Fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(Bytes.size())) == 0)
        return true;
    if (errno != EOPNOTSUPP && errno != ENOSYS) {
        Failure = {errno, true};
        return false;
    }
    for (const std::string& place : {Folder, std::string(P_tmpdir)}) {
        const int trial = open(place.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (trial < 0)
            continue;
        const bool fits = WriteAll(trial, Bytes, Failure);
        close(trial);
        return fits;
    }
    return true; // nowhere to try: the write itself will tell
}

// Rewrites Target where it is, for a file that another name shares (a hard
// link) or whose folder does not let it be replaced. The new content is known
// to fit first; a failure after that (an I/O error) leaves the file holding
// the new content up to the failure and the former content after it.
bool RewriteInPlace(const std::string& Target, const std::string& Bytes, TWriteFailure& Failure) {
    // Read and write: the former content is copied before it is written over.
    const int fd = open(Target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        Failure = {errno, false};
        return false;
    }
    if (!ContentFits(fd, FolderOf(Target), Bytes, Failure))
        return CloseChecked(fd, false, Failure);
    TSaveJournal journal;
    if (!journal.Begin(fd, Target, Bytes)) {
        Failure = {errno, false, true};
        return CloseChecked(fd, false, Failure);
    }
    bool ok = WriteAll(fd, Bytes, Failure);
    if (ok && ftruncate(fd, static_cast<off_t>(Bytes.size())) != 0) {
        Failure = {errno, true};
        ok = false;
    }
    if (ok && fsync(fd) != 0) {
        Failure = {errno, true};
        ok = false;
    }
    if (ok)
        journal.End();
    else
        journal.PutBack(fd);
    return CloseChecked(fd, ok, Failure);
}

} // namespace

bool ReplaceFileContents(const std::string& FileName, const std::string& Bytes,
                         TWriteFailure& Failure) {
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
    if (targetExists && (existing.st_nlink > 1 || faccessat(AT_FDCWD, FolderOf(target).c_str(),
                                                            W_OK | X_OK, AT_EACCESS) != 0))
        return RewriteInPlace(target, Bytes, Failure);
    return ReplaceWhole(target, targetExists ? &existing : nullptr, Bytes, Failure);
}

std::string WriteFailureCause(const TWriteFailure& Failure) {
    const char* cause = nullptr;
    switch (Failure.Error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: // the file may not grow any further: as good as a full disk
        cause = "Disk full";
        break;
    case ENOENT:
    case ENOTDIR:
        cause = "Folder not found";
        break;
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        cause = "Invalid filename";
        break;
    case EMFILE:
    case ENFILE:
        cause = "Too many open files";
        break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        cause = "File access denied";
        break;
    default:
        break;
    }
    std::string text = cause ? cause : "I/O error " + std::to_string(Failure.Error);
    if (Failure.WhileKeepingFormer)
        text += " while keeping a copy of the former file in " + SaveJournalFolder();
    return text;
}
