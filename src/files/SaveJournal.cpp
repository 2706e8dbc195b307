// The journal copies of in-place saves and their recovery (see SaveJournal.h).
//
// A copy is one file, "inplace-DEVICE-INODE", linked into the journal folder
// only once it is complete and synced:
//   MORVANE-INPLACE-1\n
//   <length of the file name>\n<file name bytes>\n
//   <former size>\n<new size>\n<new content's FNV-1a, hex>\n
//   <former content>
// Its owner holds an exclusive flock on it for as long as the save runs.
#include "files/SaveJournal.h"

#include "files/Paths.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view Magic = "MORVANE-INPLACE-1\n";
constexpr std::string_view JournalPrefix = "inplace-";

std::uint64_t Fnv1a(std::string_view Bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : Bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string Hex(std::uint64_t Value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(Value));
    return text;
}

std::string JournalBaseName(dev_t Device, ino_t Inode) {
    return std::string(JournalPrefix) + std::to_string(static_cast<unsigned long long>(Device)) +
           "-" + std::to_string(static_cast<unsigned long long>(Inode));
}

// The whole content of the open file Fd, read from its start.
bool ReadWhole(int Fd, std::string& Out) {
    struct stat info;
    if (fstat(Fd, &info) != 0)
        return false;
    Out.clear();
    Out.reserve(static_cast<size_t>(info.st_size));
    char buffer[1 << 16];
    for (off_t offset = 0;;) {
        const ssize_t n = pread(Fd, buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        Out.append(buffer, static_cast<size_t>(n));
        offset += n;
    }
}

bool WriteWholeAt(int Fd, std::string_view Bytes) {
    size_t done = 0;
    while (done < Bytes.size()) {
        const ssize_t n =
            pwrite(Fd, Bytes.data() + done, Bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// Makes Bytes the whole content of the open file Fd, on disk.
bool RewriteWhole(int Fd, std::string_view Bytes) {
    return WriteWholeAt(Fd, Bytes) && ftruncate(Fd, static_cast<off_t>(Bytes.size())) == 0 &&
           fsync(Fd) == 0;
}

void SyncFolder(const std::string& Folder) {
    const int fd = open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// Creates Folder and the folders above it that are missing, for this user only.
bool MakeFolders(const std::string& Folder) {
    struct stat info;
    if (stat(Folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const std::string parent = FolderOf(Folder);
    if (parent != Folder && !MakeFolders(parent))
        return false;
    return mkdir(Folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string EnvironmentPath(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? value : "";
}

// A journal's header and former content, as read back.
struct TJournalRecord {
    std::string FileName;
    std::string Former;
    size_t NewSize = 0;
    std::string NewHash;
};

bool ReadLine(std::string_view& Rest, std::string_view& Line) {
    const size_t end = Rest.find('\n');
    if (end == std::string_view::npos)
        return false;
    Line = Rest.substr(0, end);
    Rest.remove_prefix(end + 1);
    return true;
}

bool ReadNumber(std::string_view& Rest, size_t& Number) {
    std::string_view line;
    if (!ReadLine(Rest, line) || line.empty())
        return false;
    const auto [stop, error] = std::from_chars(line.data(), line.data() + line.size(), Number);
    return error == std::errc() && stop == line.data() + line.size();
}

bool ParseJournal(std::string_view Bytes, TJournalRecord& Record) {
    if (!Bytes.starts_with(Magic))
        return false;
    std::string_view rest = Bytes.substr(Magic.size());
    size_t nameLength = 0;
    if (!ReadNumber(rest, nameLength) || nameLength == 0 || nameLength >= rest.size() ||
        rest[nameLength] != '\n')
        return false;
    Record.FileName = std::string(rest.substr(0, nameLength));
    rest.remove_prefix(nameLength + 1);
    size_t formerSize = 0;
    std::string_view hash;
    if (!ReadNumber(rest, formerSize) || !ReadNumber(rest, Record.NewSize) ||
        !ReadLine(rest, hash) || rest.size() != formerSize)
        return false;
    Record.NewHash = std::string(hash);
    Record.Former = std::string(rest);
    return true;
}

bool ParseKey(std::string_view Name, unsigned long long& Device, unsigned long long& Inode) {
    if (!Name.starts_with(JournalPrefix))
        return false;
    Name.remove_prefix(JournalPrefix.size());
    const char* end = Name.data() + Name.size();
    const auto device = std::from_chars(Name.data(), end, Device);
    if (device.ec != std::errc() || device.ptr == end || *device.ptr != '-')
        return false;
    const auto inode = std::from_chars(device.ptr + 1, end, Inode);
    return inode.ec == std::errc() && inode.ptr == end && inode.ptr != device.ptr + 1;
}

// Links the complete, locked copy Fd under Name. A copy already there is an
// earlier save of the same file that never ended: it holds the content from
// before that save, so it stays, and Fd becomes that copy (locked in turn).
bool LinkJournal(int& Fd, const std::string& Name, const std::string& PartName) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        int linked;
        if (PartName.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(Fd);
            linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, Name.c_str(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno != EEXIST)
                linked = linkat(Fd, "", AT_FDCWD, Name.c_str(), AT_EMPTY_PATH);
        } else {
            linked = link(PartName.c_str(), Name.c_str());
        }
        if (linked == 0)
            return true;
        if (errno != EEXIST)
            return false;
        const int earlier = open(Name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (earlier < 0)
            continue; // removed meanwhile: link ours
        struct stat info;
        if (flock(earlier, LOCK_EX) == 0 && fstat(earlier, &info) == 0 && info.st_nlink > 0) {
            close(Fd);
            Fd = earlier;
            return true;
        }
        close(earlier); // its save ended and removed it: link ours
    }
    errno = EEXIST;
    return false;
}

} // namespace

std::string SaveJournalFolder() {
    std::string cache = EnvironmentPath("XDG_CACHE_HOME");
    if (cache.empty() || cache[0] != '/') {
        std::string home = EnvironmentPath("HOME");
        if (home.empty())
            if (const passwd* user = getpwuid(getuid()))
                home = user->pw_dir ? user->pw_dir : "";
        cache = home + "/.cache";
    }
    return cache + "/morvane";
}

TSaveJournal::~TSaveJournal() {
    if (journal_ >= 0)
        close(journal_);
}

bool TSaveJournal::Begin(int Fd, const std::string& FileName, const std::string& NewBytes) {
    struct stat info;
    std::string former;
    if (fstat(Fd, &info) != 0 || !ReadWhole(Fd, former))
        return false;
    const std::string folder = SaveJournalFolder();
    if (!MakeFolders(folder))
        return false;
    name_ = folder + "/" + JournalBaseName(info.st_dev, info.st_ino);

    std::string partName;
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        partName = name_ + ".part-" + std::to_string(getpid());
        fd = open(partName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    if (fd < 0)
        return false;
    const std::string header = std::string(Magic) + std::to_string(FileName.size()) + "\n" +
                               FileName + "\n" + std::to_string(former.size()) + "\n" +
                               std::to_string(NewBytes.size()) + "\n" + Hex(Fnv1a(NewBytes)) + "\n";
    bool ok = flock(fd, LOCK_EX) == 0 && WriteWholeAt(fd, header + former) && fsync(fd) == 0 &&
              LinkJournal(fd, name_, partName);
    const int error = errno;
    if (!partName.empty())
        unlink(partName.c_str());
    if (!ok) {
        close(fd);
        errno = error;
        return false;
    }
    SyncFolder(folder);
    journal_ = fd;
    former_ = std::move(former);
    return true;
}

void TSaveJournal::PutBack(int Fd) {
    if (journal_ >= 0 && RewriteWhole(Fd, former_))
        End();
}

void TSaveJournal::End() {
    if (journal_ < 0)
        return;
    unlink(name_.c_str());
    close(journal_);
    journal_ = -1;
    former_.clear();
}

std::vector<TInterruptedSave> RecoverInterruptedSaves() {
    std::vector<TInterruptedSave> found;
    const std::string folder = SaveJournalFolder();
    DIR* listing = opendir(folder.c_str());
    if (!listing)
        return found;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(listing)) {
        unsigned long long device = 0, inode = 0;
        if (ParseKey(entry->d_name, device, inode))
            names.emplace_back(entry->d_name);
    }
    closedir(listing);

    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        const int journal = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (journal < 0)
            continue;
        struct stat journalInfo;
        std::string bytes;
        TJournalRecord record;
        // A save still under way holds the lock; one that just ended removed the copy.
        if (flock(journal, LOCK_EX | LOCK_NB) != 0 || fstat(journal, &journalInfo) != 0 ||
            journalInfo.st_nlink == 0 || !ReadWhole(journal, bytes) ||
            !ParseJournal(bytes, record)) {
            close(journal);
            continue;
        }
        bytes.clear();
        unsigned long long device = 0, inode = 0;
        ParseKey(name, device, inode);

        TInterruptedSave save;
        save.FileName = record.FileName;
        struct stat info;
        const bool same = stat(record.FileName.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
                          info.st_dev == device && info.st_ino == inode;
        if (!same) {
            // Not ours to put back any more; the former content stays at hand.
            save.Outcome = TInterruptedSave::TOutcome::Replaced;
            save.KeptCopy = folder + "/former-" + name.substr(JournalPrefix.size());
            const int copy = open(save.KeptCopy.c_str(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
            if (copy >= 0 && RewriteWhole(copy, record.Former)) {
                unlink(path.c_str());
            } else {
                save.Outcome = TInterruptedSave::TOutcome::Failed;
                save.Error = errno;
            }
            if (copy >= 0)
                close(copy);
        } else {
            const int target = open(record.FileName.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
            std::string current;
            if (target >= 0 && ReadWhole(target, current) && current.size() == record.NewSize &&
                Hex(Fnv1a(current)) == record.NewHash) {
                save.Outcome = TInterruptedSave::TOutcome::Finished;
                unlink(path.c_str());
            } else if (target >= 0 && RewriteWhole(target, record.Former)) {
                save.Outcome = TInterruptedSave::TOutcome::Restored;
                unlink(path.c_str());
            } else {
                save.Outcome = TInterruptedSave::TOutcome::Failed;
                save.Error = errno;
            }
            if (target >= 0)
                close(target);
        }
        SyncFolder(folder);
        close(journal);
        found.push_back(std::move(save));
    }
    return found;
}
