// The settings store: named string values in sections, read once from the INI
// file and written back whole.
#include "settings/SettingsStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include "files/SafeReplace.h"
#include "model/MessageText.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A path from the environment, or empty when unset or empty.
std::string EnvironmentPath(const char* Name) {
    const char* value = std::getenv(Name);
    return value ? std::string(value) : std::string();
}

// A file descriptor closed on every path.
class TFileHandle {
public:
    explicit TFileHandle(int Fd) : fd_(Fd) {}
    ~TFileHandle() {
        if (fd_ >= 0)
            close(fd_);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

const char* const TooLarge = "larger than 16 MiB";

// Reads a whole regular file of at most SettingsStore::MaxFileSize bytes.
// Returns an empty reason on success, otherwise why the file was refused.
std::string ReadSettingsFile(const std::string& FileName, std::string& Text, bool& Found) {
    // Non-blocking: a FIFO or a device must not hold the program before its window.
    const TFileHandle file(open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0) {
        // No file can be there when a folder on its path is missing or is none.
        const int error = errno;
        Found = error != ENOENT && error != ENOTDIR;
        return error == ENOENT ? "not found" : std::strerror(error);
    }
    Found = true;
    struct stat info;
    if (fstat(file.Get(), &info) != 0)
        return std::strerror(errno);
    if (S_ISDIR(info.st_mode))
        return "it is a folder";
    if (!S_ISREG(info.st_mode))
        return "not a regular file";
    if (info.st_size > static_cast<off_t>(SettingsStore::MaxFileSize))
        return TooLarge;
    // The size may change while the file is read: the limit holds for what is read.
    Text.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t got = 0;
    for (;;) {
        if (got == Text.size()) {
            if (Text.size() > SettingsStore::MaxFileSize)
                return TooLarge;
            Text.resize(std::min(Text.size() * 2, SettingsStore::MaxFileSize + 1));
        }
        const ssize_t n = read(file.Get(), Text.data() + got, Text.size() - got);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return std::strerror(errno);
        }
        got += static_cast<std::size_t>(n);
    }
    Text.resize(got);
    return {};
}

} // namespace

bool SettingsStore::ParseInteger(const std::string& Text, int& Number) {
    const char* begin = Text.data();
    const char* end = begin + Text.size();
    if (end - begin > 1 && *begin == '+' && begin[1] != '-')
        ++begin;
    const auto [stop, error] = std::from_chars(begin, end, Number);
    return begin != end && error == std::errc() && stop == end;
}

std::string SettingsStore::DefaultFileName() {
    const std::string chosen = EnvironmentPath("MORVANE_SETTINGS");
    if (!chosen.empty())
        return chosen;
    std::string config = EnvironmentPath("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    if (config.empty() || config[0] != '/') {
        const std::string home = EnvironmentPath("HOME");
        config =
            (home.empty() ? QFile::encodeName(QDir::homePath()).toStdString() : home) + "/.config";
    }
    return config + "/Morvane/2.ini";
}

SettingsStore::SettingsStore(const QString& FileName)
    : SettingsStore(QFile::encodeName(FileName).toStdString()) {}

SettingsStore::SettingsStore(std::string FileName) : fileName_(std::move(FileName)) {
    std::string text;
    readFailure_ = ReadSettingsFile(fileName_, text, found_);
    if (!found_)
        return; // first run: every value has its default
    if (!readFailure_.empty()) {
        refused_ = true;
        loadError_ =
            "cannot read settings file " + QuoteForMessage(fileName_, 1024) + ": " + readFailure_;
        return;
    }
    std::string badLine;
    std::size_t badLineNumber = 0;
    if (!ParseIni(text, sections_, badLine, &badLineNumber)) {
        damaged_ = true;
        loadError_ = "settings file " + QuoteForMessage(fileName_, 1024) + ", line " +
                     std::to_string(badLineNumber) + ": cannot read \"" + QuoteForMessage(badLine) +
                     "\"";
    }
}

void SettingsStore::NoteValueProblem(const std::string& Message) const {
    defaultedValues_ = true;
    if (std::find(valueProblems_.begin(), valueProblems_.end(), Message) == valueProblems_.end())
        valueProblems_.push_back(Message);
}

IniSection* SettingsStore::FindSection(const std::string& Name) {
    const std::string folded = FoldIniName(Name);
    for (IniSection& section : sections_)
        if (FoldIniName(section.Name()) == folded)
            return &section;
    return nullptr;
}

const IniSection* SettingsStore::FindSection(const std::string& Name) const {
    return const_cast<SettingsStore*>(this)->FindSection(Name);
}

std::string SettingsStore::ReadString(const std::string& Section, const std::string& Name,
                                      const std::string& Default) const {
    const IniSection* section = FindSection(Section);
    const std::string* value = section ? section->Find(Name) : nullptr;
    return value ? *value : Default;
}

int SettingsStore::ReadInteger(const std::string& Section, const std::string& Name,
                               int Default) const {
    const IniSection* section = FindSection(Section);
    const std::string* value = section ? section->Find(Name) : nullptr;
    if (!value)
        return Default;
    int number = 0;
    if (ParseInteger(*value, number))
        return number;
    defaultedValues_ = true;
    return Default;
}

bool SettingsStore::ReadBool(const std::string& Section, const std::string& Name,
                             bool Default) const {
    return ReadInteger(Section, Name, Default ? 1 : 0) != 0;
}

void SettingsStore::WriteString(const std::string& Section, const std::string& Name,
                                const std::string& Text) {
    IniSection* section = FindSection(Section);
    if (!section)
        section = &sections_.emplace_back(Section);
    section->Set(Name, Text);
}

void SettingsStore::WriteInteger(const std::string& Section, const std::string& Name, int Number) {
    WriteString(Section, Name, std::to_string(Number));
}

void SettingsStore::WriteBool(const std::string& Section, const std::string& Name, bool Flag) {
    WriteString(Section, Name, Flag ? "1" : "0");
}

void SettingsStore::EraseSection(const std::string& Section) {
    // Sections named "Section\..." lie below it, as subkeys did.
    const std::string folded = FoldIniName(Section);
    const std::string below = folded + '\\';
    std::erase_if(sections_, [&](const IniSection& section) {
        const std::string name = FoldIniName(section.Name());
        return name == folded || name.starts_with(below);
    });
}

void SettingsStore::EraseValue(const std::string& Section, const std::string& Name) {
    if (IniSection* section = FindSection(Section))
        section->Erase(Name);
}

bool SettingsStore::SectionExists(const std::string& Section) const {
    return FindSection(Section) != nullptr;
}

const std::vector<std::pair<std::string, std::string>>&
SettingsStore::SectionValues(const std::string& Section) const {
    static const std::vector<std::pair<std::string, std::string>> none;
    const IniSection* section = FindSection(Section);
    return section ? section->Values() : none;
}

void SettingsStore::KeepDamagedCopy() {
    const std::string failed = "cannot save settings file " + QuoteForMessage(fileName_, 1024) +
                               ": no copy of the file as found could be kept (";
    std::string text;
    bool found = false;
    const std::string reason = ReadSettingsFile(fileName_, text, found);
    if (!found)
        return; // gone meanwhile: nothing to keep
    if (!reason.empty())
        throw ESettingsError(failed + reason + ")");
    const std::string stem =
        fileName_ + ".damaged-" +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    std::string copy = stem;
    int fd = -1;
    for (int n = 2; n < 1000; ++n) {
        // A new name only: an earlier copy is never written over.
        fd = open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd >= 0 || errno != EEXIST)
            break;
        copy = stem + '-' + std::to_string(n);
    }
    if (fd < 0)
        throw ESettingsError(failed + std::strerror(errno) + ")");
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const int error = done < text.size() ? (errno ? errno : ENOSPC) : 0;
    if (error != 0 || fsync(fd) != 0) {
        const int cause = error ? error : errno;
        close(fd);
        unlink(copy.c_str());
        throw ESettingsError(failed + WriteFailureCause({cause, true}) + ")");
    }
    close(fd);
    damagedCopyName_ = copy;
}

void SettingsStore::Flush() {
    const std::string failed = "cannot save settings file " + QuoteForMessage(fileName_, 1024);
    if (refused_)
        throw ESettingsError(failed + ": it could not be read (" + readFailure_ +
                             "), so it is left as it is");
    if (damaged_ || defaultedValues_)
        KeepDamagedCopy();
    // Missing folders on the way are made; a failure shows in the write below.
    const std::string folder = FolderOf(fileName_);
    for (std::size_t slash = folder.find('/', 1); slash != std::string::npos;
         slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0777);
    mkdir(folder.c_str(), 0777);
    TWriteFailure failure;
    if (!ReplaceFileContents(fileName_, FormatIni(sections_), failure))
        throw ESettingsError(failed + ": " + WriteFailureCause(failure));
    damaged_ = false;
    defaultedValues_ = false;
}
