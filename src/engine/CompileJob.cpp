// The search of one compile run: the folder walk, the filename-mask test, the
// extension rule and the criteria. Written for few system calls per file: the
// listing's d_type says what an entry is, and a tagged file's size comes from
// the descriptor the tag reader already has open.
#include "engine/CompileJob.h"

#include "engine/Masks.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <memory>
#include <optional>
#include <string_view>

const char* const FinishedCompilingMessage = "Finished compiling playlist.";

CompileJob MakeCompileJob(const WizardSettings& Settings) {
    CompileJob Job;
    Job.Recurse = Settings.Recurse;
    Job.ThoroughID3Check = Settings.ThoroughID3Check;
    Job.IncludeTaglessFiles = Settings.IncludeTaglessFiles;
    for (const ListEntry& Entry : Settings.Folders)
        if (Entry.State != 0)
            Job.Folders.push_back(Entry.Caption);
    for (const ListEntry& Entry : Settings.Filenames)
        if (Entry.State != 0)
            Job.FilenameMasks.push_back(Entry.Caption);
    Job.Criteria = SnapshotCriteria(Settings);
    return Job;
}

namespace {

// Raised by the per-entry step when a stop was requested; unwinds the walk.
struct ESearchAborted {};

bool IsMp3Extension(std::string_view Path) {
    const std::size_t Dot = Path.find_last_of("./");
    if (Dot == std::string_view::npos || Path[Dot] != '.' || Path.size() - Dot != 4)
        return false;
    auto Lower = [](char C) { return C >= 'A' && C <= 'Z' ? char(C - 'A' + 'a') : C; };
    return Lower(Path[Dot + 1]) == 'm' && Lower(Path[Dot + 2]) == 'p' && Path[Dot + 3] == '3';
}

// The folder part of a path: up to its last delimiter, without trailing
// delimiters; the root stays "/" so that its status names it.
std::string_view FolderPart(std::string_view Path) {
    std::size_t Slash = Path.rfind('/');
    if (Slash == std::string_view::npos)
        return {};
    std::string_view Folder = Path.substr(0, Slash);
    while (!Folder.empty() && Folder.back() == '/')
        Folder.remove_suffix(1);
    return Folder.empty() ? std::string_view("/") : Folder;
}

std::int32_t LowBits(std::int64_t Size) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(Size)));
}

// The acceptance rules, shared by AcceptFile and the walk, which differ only
// in how they test a mask and read tags.
template <class MaskMatches, class ReadTags>
bool Decide(const CompileJob& Job, std::string_view Path, const TMediaInfo& Info,
            MaskMatches&& Matches, ReadTags&& Read) {
    bool Matched = false;
    for (std::size_t Index = 0; Index < Job.FilenameMasks.size() && !Matched; ++Index)
        Matched = Matches(Index);
    if (!Matched)
        return false;
    const bool Mp3 = IsMp3Extension(Path);
    if (!Mp3 && !Job.ThoroughID3Check)
        return Job.IncludeTaglessFiles;
    if (!Read())
        return !Mp3 && Job.IncludeTaglessFiles; // an untagged .mp3 is never taken
    return EvaluateCriteria(Job.Criteria, Info);
}

unsigned char TypeFromMode(mode_t Mode) {
    if (S_ISDIR(Mode))
        return DT_DIR;
    if (S_ISREG(Mode))
        return DT_REG;
    if (S_ISFIFO(Mode))
        return DT_FIFO;
    if (S_ISSOCK(Mode))
        return DT_SOCK;
    if (S_ISCHR(Mode))
        return DT_CHR;
    if (S_ISBLK(Mode))
        return DT_BLK;
    return DT_LNK;
}

struct DirCloser {
    void operator()(DIR* Dir) const { closedir(Dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct FolderId {
    dev_t Device;
    ino_t Inode;
};

class TWalk {
public:
    TWalk(bool Recurse, const std::function<void(TFolderEntry&)>& Step)
        : recurse_(Recurse), step_(Step) {}

    // Path holds the folder's path; it is used as the buffer of every entry path below it.
    void Walk(std::string& Path) {
        DirHandle Dir(opendir(Path.c_str()));
        if (!Dir)
            return;
        struct stat Info;
        if (fstat(dirfd(Dir.get()), &Info) != 0)
            return;
        for (const FolderId& Ancestor : ancestors_)
            if (Ancestor.Device == Info.st_dev && Ancestor.Inode == Info.st_ino)
                return; // a link back up the current path
        ancestors_.push_back({Info.st_dev, Info.st_ino});
        if (Path.empty() || Path.back() != '/')
            Path.push_back('/');
        List(Dir.get(), Path);
        ancestors_.pop_back();
    }

private:
    void List(DIR* Dir, std::string& Path) {
        const std::size_t PrefixLength = Path.size();
        const int Fd = dirfd(Dir);
        while (const dirent* Entry = readdir(Dir)) {
            const char* Name = Entry->d_name;
            if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
                continue;
            Path.resize(PrefixLength);
            Path.append(Name);
            TFolderEntry Found{Path, PrefixLength, Fd, Entry->d_type, -1};
            if (Found.Type == DT_UNKNOWN || Found.Type == DT_LNK) {
                struct stat Info;
                if (fstatat(Fd, Name, &Info, 0) == 0) {
                    Found.Type = TypeFromMode(Info.st_mode);
                    Found.Size = Info.st_size;
                } else if (fstatat(Fd, Name, &Info, AT_SYMLINK_NOFOLLOW) == 0) {
                    Found.Type = TypeFromMode(Info.st_mode); // a dangling link
                    Found.Size = Info.st_size;
                }
            }
            step_(Found);
            if (recurse_ && Found.Type == DT_DIR)
                Walk(Path);
        }
    }

    bool recurse_;
    const std::function<void(TFolderEntry&)>& step_;
    std::vector<FolderId> ancestors_;
};

// One search run: the per-entry step and the state it keeps between entries.
class TSearchRun {
public:
    TSearchRun(const CompileJob& Job, const SearchHooks& Hooks)
        : job_(Job), hooks_(Hooks), masks_(Job.FilenameMasks.size()) {}

    void HandleEntry(TFolderEntry& Entry) {
        if (hooks_.SafePoint)
            hooks_.SafePoint();
        if (hooks_.StopRequested && hooks_.StopRequested())
            throw ESearchAborted{};
        // Folders never reach the mask test: a "*" mask would otherwise put
        // folder paths into the playlist.
        if (Entry.IsFolder())
            return;
        const std::string& Path = Entry.Path;
        const std::string_view Folder = FolderPart(Path);
        if (Folder != lastFolder_) {
            lastFolder_.assign(Folder);
            if (hooks_.ShowStatus)
                hooks_.ShowStatus(SearchingStatus(Path));
        }
        TMediaInfo Info;
        if (!Accept(Entry, Info))
            return;
        if (Entry.Size < 0) {
            struct stat Stat;
            Entry.Size = fstatat(Entry.FolderFd, Path.c_str() + Entry.NameOffset, &Stat, 0) == 0
                             ? Stat.st_size
                             : 0;
        }
        if (hooks_.FoundFile)
            hooks_.FoundFile(TFileInfo{Path, std::move(Info), LowBits(Entry.Size)});
    }

private:
    bool Accept(TFolderEntry& Entry, TMediaInfo& Info) {
        auto Matches = [&](std::size_t Index) {
            std::optional<TMask>& Mask = masks_[Index];
            if (!Mask) // compiled when first reached, so a bad mask fails only there
                Mask.emplace(job_.FilenameMasks[Index]);
            return Mask->Matches(Entry.Path);
        };
        auto Read = [&] {
            // Only regular files are opened: a FIFO or device never blocks the walk.
            if (Entry.Type != DT_REG)
                return false;
            std::int64_t Size = -1;
            const bool Found =
                ReadMediaInfoAt(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset, Info, Size);
            if (Size >= 0)
                Entry.Size = Size;
            return Found;
        };
        return Decide(job_, Entry.Path, Info, Matches, Read);
    }

    const CompileJob& job_;
    const SearchHooks& hooks_;
    std::vector<std::optional<TMask>> masks_;
    std::string lastFolder_;
};

} // namespace

bool TFolderEntry::IsFolder() const {
    return Type == DT_DIR;
}

void WalkFolder(const std::string& Folder, bool Recurse,
                const std::function<void(TFolderEntry&)>& Step) {
    std::string Path = Folder;
    Path.reserve(4096);
    TWalk(Recurse, Step).Walk(Path);
}

std::string SearchingStatus(const std::string& Path) {
    return "Searching " + std::string(FolderPart(Path)) + "...";
}

bool AcceptFile(const CompileJob& Job, TFileInfo& Info) {
    auto Matches = [&](std::size_t Index) {
        return MatchWildcard(Info.FileName, Job.FilenameMasks[Index]);
    };
    auto Read = [&] { return ReadMediaInfo(Info.FileName, Info.MediaInfo); };
    return Decide(Job, Info.FileName, Info.MediaInfo, Matches, Read);
}

SearchResult RunSearch(const CompileJob& Job, const SearchHooks& Hooks) {
    SearchResult Result;
    try {
        TSearchRun Run(Job, Hooks);
        const std::function<void(TFolderEntry&)> Step = [&Run](TFolderEntry& Entry) {
            Run.HandleEntry(Entry);
        };
        for (const std::string& Folder : Job.Folders)
            WalkFolder(Folder, Job.Recurse, Step);
    } catch (const ESearchAborted&) {
        Result.Outcome = SearchOutcome::Aborted;
    } catch (const std::exception& Error) {
        Result.Outcome = SearchOutcome::Failed;
        Result.ErrorMessage = Error.what();
    } catch (...) {
        Result.Outcome = SearchOutcome::Failed;
    }
    return Result;
}
