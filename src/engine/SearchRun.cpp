// The search run. Written for few system calls per file: a tagged file's size
// comes from the descriptor the tag reader already has open.
#include "engine/SearchRun.h"

#include "engine/FilePolicy.h"
#include "engine/Selection.h"
#include "media/AudioTags.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

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

// Descriptors the process has open now; a guess of many when it cannot tell.
std::size_t OpenDescriptors(std::size_t Guess) {
    DIR* Dir = opendir("/proc/self/fd");
    if (!Dir)
        return Guess;
    std::size_t Count = 0;
    while (const dirent* Entry = readdir(Dir))
        if (Entry->d_name[0] != '.')
            ++Count;
    closedir(Dir);
    return Count > 0 ? Count - 1 : 0; // not the listing's own
}

// Descriptors a run may spend on reading ahead (reader threads and folders
// that reads still need): half of what the process has left beside the walk,
// so that the rest of the program keeps its share.
std::size_t ReadAheadDescriptors() {
    rlimit Limit{};
    if (getrlimit(RLIMIT_NOFILE, &Limit) != 0)
        return 0;
    const std::size_t Soft = Limit.rlim_cur == RLIM_INFINITY
                                 ? std::size_t{1} << 20
                                 : static_cast<std::size_t>(Limit.rlim_cur);
    const std::size_t Used = OpenDescriptors(Soft / 2) + WalkMostDescriptors;
    return Soft > Used ? (Soft - Used) / 2 : 0;
}

// Lists the job's folders and stats their files, as the walk will, until
// Done: this brings them into the cache, and each regular file's stamp goes
// into Stamps, so that the walk's reads need not take it again.
void TakeStampsAhead(const CompileJob& Job, const std::atomic<bool>& Done, TTakenStamps& Stamps) {
    struct EDone {};
    const std::function<void(TFolderEntry&)> Step = [&Done, &Stamps](TFolderEntry& Entry) {
        if (Done.load(std::memory_order_relaxed))
            throw EDone{};
        TFileStamp Stamp;
        if (Entry.Type == DT_REG &&
            StampAt(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset, Stamp) &&
            !Stamps.Add(Entry.Path, Stamp))
            throw EDone{};
    };
    try {
        for (const std::string& Folder : Job.Folders)
            WalkFolder(Folder, Job.Recurse, Step);
    } catch (const EDone&) {
    } catch (...) {
        // Whatever goes wrong here the walk meets and reports itself.
    }
}

} // namespace

TSearchRun::TSearchRun(const CompileJob& Job, const SearchHooks& Hooks,
                       const SearchReaders& Readers, NotedPaths* UnreadableFiles)
    : job_(Job), hooks_(Hooks), unreadableFiles_(UnreadableFiles),
      removed_(Job.RemovedPaths.begin(), Job.RemovedPaths.end()), masks_(Job.FilenameMasks.size()),
      index_(Readers.Index), duration_(Readers.Duration) {
    if (Readers.Read) {
        read_ = [Read = Readers.Read](int FolderFd, const char* Name, const std::string&,
                                      TMediaInfo& Info, std::int64_t& Size) {
            return Read(FolderFd, Name, Info, Size);
        };
    } else if (Readers.Index && Readers.Index->Usable()) {
        // While the remembered rows load, the folders the walk will list
        // first are looked at on another thread: on a cold disk their
        // listings come in meanwhile, and the walk then finds them in the
        // cache (it still lists everything). The files' stamps taken there
        // are this run's: the walk's reads use them instead of a second status.
        std::atomic<bool> RowsLoaded{false};
        auto Stamps = std::make_shared<TTakenStamps>();
        std::thread Ahead(
            [&Job, &RowsLoaded, &Stamps] { TakeStampsAhead(Job, RowsLoaded, *Stamps); });
        try {
            indexed_ = std::make_unique<TIndexedTagReader>(*Readers.Index, Job.Folders,
                                                           Job.TagCodePage, Job.ReadOtherFormats);
        } catch (...) {
            RowsLoaded = true;
            Ahead.join();
            throw;
        }
        RowsLoaded = true;
        Ahead.join();
        Stamps->Seal();
        indexed_->UseStampsTaken(std::move(Stamps));
        read_ = [this](int FolderFd, const char* Name, const std::string& Path, TMediaInfo& Info,
                       std::int64_t& Size) {
            return indexed_->ReadAt(FolderFd, Name, Path, TagSourcesOf(job_, Name), Info, Size,
                                    Decoder());
        };
    } else {
        read_ = [this](int FolderFd, const char* Name, const std::string&, TMediaInfo& Info,
                       std::int64_t& Size) {
            return ReadTagsAt(FolderFd, Name, TagSourcesOf(job_, Name), Info, Size, Decoder());
        };
    }
    if (Readers.Threads == 0)
        return;
    // Each reader has one file open; the rest of the budget goes to
    // folders that reads in the window still need. Too few descriptors
    // for both: read on the walking thread.
    const std::size_t Budget = ReadAheadDescriptors();
    const std::size_t Threads = std::min(Readers.Threads, Budget / 2);
    folderQuota_ = std::min(Budget - Threads, Readers.Window);
    if (Threads == 0 || folderQuota_ == 0)
        return;
    ahead_.resize(std::max<std::size_t>(Readers.Window, 1));
    // Answered from the index, a file costs a status and a lookup: lighter
    // than the walk's own share, so one core is left to the walk until reads
    // are seen to wait (files changed since, or a cold disk); and the walk,
    // when it waits for a read, takes on reads no reader has begun.
    std::size_t Fewest = 0;
    const bool Light = indexed_ && indexed_->Rows() > 0;
    if (Light)
        Fewest = std::max(2u, std::thread::hardware_concurrency()) - 1;
    window_.emplace(
        Threads, ahead_.size(), [this](std::size_t Slot) { Work(ahead_[Slot]); }, Hooks.HoldReads,
        Fewest, Light);
}

void TSearchRun::HandleEntry(TFolderEntry& Entry) {
    if (window_)
        Queue(Entry);
    else
        HandleNow(Entry);
}

void TSearchRun::Finish() {
    while (window_ && !window_->Empty())
        DeliverOldest();
}

void TSearchRun::HandleNow(TFolderEntry& Entry) {
    if (!BeforeEntry(Entry.Type, Entry.Path))
        return;
    TMediaInfo Info;
    TDecisionReason Reason;
    bool Unreadable = false;
    if (!Accept(Entry, Info, Reason, Unreadable)) {
        if (Unreadable) {
            TFileInfo File{Entry.Path, {}, LowBits(std::max<std::int64_t>(Entry.Size, 0)), Reason};
            DropUnreadable(File);
        } else if (ReportsDrop(Reason))
            hooks_.DroppedFile(TFileInfo{Entry.Path, std::move(Info),
                                         LowBits(std::max<std::int64_t>(Entry.Size, 0)), Reason});
        return;
    }
    if (Entry.Size < 0)
        Entry.Size = SizeOf(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset);
    Found(TFileInfo{Entry.Path, std::move(Info), LowBits(Entry.Size), Reason});
}

void TSearchRun::DropUnreadable(TFileInfo& File) {
    if (unreadableFiles_)
        unreadableFiles_->Note(File.FileName);
    File.MediaInfo = TMediaInfo{};
    File.Reason.Kind = TReasonKind::Unreadable;
    File.Reason.Tags = TTagRead::NotRead;
    if (ReportsDrop(File.Reason))
        hooks_.DroppedFile(File);
}

bool TSearchRun::ReportsDrop(const TDecisionReason& Reason) const {
    return job_.RecordReasons && hooks_.DroppedFile && Reason.Kind != TReasonKind::NoFilenameMask;
}

TDecisionReason* TSearchRun::Why(TDecisionReason& Reason) const {
    return job_.RecordReasons ? &Reason : nullptr;
}

bool TSearchRun::BeforeEntry(unsigned char Type, const std::string& Path) {
    if (hooks_.SafePoint)
        hooks_.SafePoint();
    if (hooks_.StopRequested && hooks_.StopRequested())
        throw ESearchAborted{};
    // Only regular files (after links) become entries: a "*" mask would
    // otherwise put folders, FIFOs, devices and broken links into the playlist.
    if (Type != DT_REG) {
        if (Type == DT_DIR && job_.Recurse)
            ++progress_.Folders;
        ReportProgress();
        return false;
    }
    ++progress_.Files;
    const std::string_view Folder = FolderPart(Path);
    if (Folder != lastFolder_) {
        lastFolder_.assign(Folder);
        if (hooks_.ShowStatus)
            hooks_.ShowStatus(SearchingStatus(Path));
    }
    ReportProgress();
    return true;
}

void TSearchRun::ReportProgress() {
    if (hooks_.Progress) {
        progress_.Folder = lastFolder_;
        hooks_.Progress(progress_);
    }
}

void TSearchRun::Found(const TFileInfo& File) {
    if (!removed_.empty() && removed_.contains(File.FileName)) {
        if (ReportsDrop(File.Reason)) {
            TFileInfo Dropped = File;
            Dropped.Reason.Kind = TReasonKind::RemovedByYou;
            hooks_.DroppedFile(Dropped);
        }
        return;
    }
    if (!job_.AddedPaths.empty())
        found_.insert(File.FileName);
    ++progress_.Accepted;
    Deliver(File);
}

void TSearchRun::Deliver(const TFileInfo& File) {
    if (job_.Criteria.Selection.Active())
        selecting_.push_back(File);
    else if (hooks_.FoundFile)
        hooks_.FoundFile(File);
}

void TSearchRun::DeliverSelection() {
    if (!job_.Criteria.Selection.Active())
        return;
    TSelectionFacts Facts;
    Facts.CollationLocale = job_.CollationLocale;
    if (duration_)
        Facts.DurationMs = duration_;
    else if (index_ && index_->Usable())
        Facts.DurationMs = [Index = index_.get()](const std::string& Path) {
            return ReadDurationRemembered(Index, Path);
        };
    const TSelectionOutcome Outcome = SelectFiles(job_.Criteria.Selection, selecting_, Facts);
    // Those left out first, in the walk's order, as the walk's drops came.
    for (const TSelectionLeftOut& Left : Outcome.LeftOut) {
        TFileInfo& File = selecting_[Left.Index];
        File.Reason.Kind = Left.Kind;
        File.Reason.Criterion = Left.Ordinal;
        if (ReportsDrop(File.Reason))
            hooks_.DroppedFile(File);
    }
    for (const std::size_t Index : Outcome.Kept) {
        if (hooks_.SafePoint)
            hooks_.SafePoint();
        if (hooks_.StopRequested && hooks_.StopRequested())
            throw ESearchAborted{};
        if (hooks_.FoundFile)
            hooks_.FoundFile(selecting_[Index]);
    }
    selecting_.clear();
}

void TSearchRun::AppendAdded() {
    for (const std::string& Path : job_.AddedPaths) {
        if (hooks_.SafePoint)
            hooks_.SafePoint();
        if (hooks_.StopRequested && hooks_.StopRequested())
            throw ESearchAborted{};
        // Once each, and never a file the walk found or the user removed again.
        if (found_.contains(Path) || removed_.contains(Path))
            continue;
        // Only regular files: a FIFO put in its place must not hold the run.
        struct stat Info;
        if (stat(Path.c_str(), &Info) != 0 || !S_ISREG(Info.st_mode))
            continue;
        TFileInfo File{Path, {}, LowBits(Info.st_size), {}};
        if (!Readable(AT_FDCWD, Path.c_str())) {
            DropUnreadable(File);
            continue;
        }
        File.Reason.Kind = TReasonKind::AddedByHand;
        if (!ReadTags(Path, HandAddedTagSources(Path, job_.ReadOtherFormats), File.MediaInfo,
                      Decoder()))
            File.MediaInfo = TMediaInfo{};
        found_.insert(Path);
        ++progress_.Accepted;
        Deliver(File);
    }
}

bool TSearchRun::MaskMatches(std::size_t Index, const std::string& Path) {
    std::optional<TMask>& Mask = masks_[Index];
    if (!Mask) // compiled when first reached, so a bad mask fails only there
        Mask.emplace(job_.FilenameMasks[Index], Decoder());
    return Mask->Matches(Path);
}

bool TSearchRun::Accept(TFolderEntry& Entry, TMediaInfo& Info, TDecisionReason& Reason,
                        bool& Unreadable) {
    const char* Name = Entry.Path.c_str() + Entry.NameOffset;
    bool Tried = false; // a tag read opened the file, or found it could not
    auto Matches = [&](std::size_t Index) { return MaskMatches(Index, Entry.Path); };
    auto Read = [&] {
        std::int64_t Size = -1; // stays so when the file could not be opened
        const bool Found = read_(Entry.FolderFd, Name, Entry.Path, Info, Size);
        Tried = true;
        Unreadable = Size < 0;
        if (!Unreadable)
            Entry.Size = Size;
        return Found;
    };
    auto Facts = [&] {
        return FileFactsAt(job_, Entry.FolderFd, Name,
                           [&] { return LengthOf(Entry.FolderFd, Name, Entry.Path); });
    };
    const bool Accepted =
        Decide(job_, Entry.Path, Info, Matches, Read, Facts, Decoder(), Why(Reason));
    if (Accepted && !Tried)
        Unreadable = !Readable(Entry.FolderFd, Name);
    return Accepted && !Unreadable;
}

std::int64_t TSearchRun::LengthOf(int FolderFd, const char* Name, const std::string& Path) {
    if (duration_)
        return duration_(Path);
    if (indexed_)
        return indexed_->LengthAt(FolderFd, Name, Path);
    return ReadDurationMs(Path);
}

bool TSearchRun::Readable(int FolderFd, const char* Name) {
    return faccessat(FolderFd, Name, R_OK, AT_EACCESS) == 0;
}

std::int64_t TSearchRun::SizeOf(int FolderFd, const char* Name) {
    struct stat Stat;
    return fstatat(FolderFd, Name, &Stat, 0) == 0 ? Stat.st_size : 0;
}

void TSearchRun::Queue(TFolderEntry& Entry) {
    if (window_->Full())
        DeliverOldest();
    TAhead& Ahead = ahead_[window_->Back()];
    Ahead.Type = Entry.Type;
    if (Entry.Type != DT_REG) {
        window_->Push(false);
        // The walk may now wait for the disk to list the subfolder: idle
        // readers get what has gathered so far.
        if (Entry.Type == DT_DIR && window_->ReadersIdle())
            window_->Publish();
        return;
    }
    Ahead.File.FileName = Entry.Path;
    Ahead.File.MediaInfo = TMediaInfo{};
    Ahead.File.Reason = TDecisionReason{};
    Ahead.NameOffset = Entry.NameOffset;
    Ahead.Size = Entry.Size;
    Ahead.Unreadable = false;
    Ahead.Error = nullptr;
    TNameVerdict Verdict;
    try {
        auto Matches = [&](std::size_t Index) { return MaskMatches(Index, Entry.Path); };
        Verdict = JudgeName(job_, Entry.Path, Matches, Why(Ahead.File.Reason));
    } catch (...) {
        Ahead.Error = std::current_exception();
        Ahead.Accepted = false;
        window_->Push(false);
        throw EWalkEnds{};
    }
    Ahead.ReadTags = Verdict == TNameVerdict::ReadTags;
    Ahead.Accepted = Verdict == TNameVerdict::Accepted;
    // A file taken by its name is still checked for being readable.
    const bool NeedsReader = Ahead.ReadTags || Ahead.Accepted;
    if (NeedsReader)
        HoldFolder(Entry.Folder);
    window_->Push(NeedsReader);
}

void TSearchRun::HoldFolder(const std::shared_ptr<TOpenFolder>& Folder) {
    const std::size_t Slot = window_->Back();
    const bool Same = lastFolderSlot_ && ahead_[*lastFolderSlot_].Folder == Folder;
    if (!Same) {
        if (window_->ReadersIdle())
            window_->Publish();
        while (heldFolders_ >= folderQuota_ && !window_->Empty())
            DeliverOldest();
        ++heldFolders_;
        lastFolderSlot_ = Slot;
    }
    ahead_[Slot].Folder = Folder;
    ahead_[Slot].CountsFolder = !Same;
}

void TSearchRun::Work(TAhead& Ahead) {
    const int FolderFd = Ahead.Folder->Fd();
    const char* Name = Ahead.File.FileName.c_str() + Ahead.NameOffset;
    try {
        if (Ahead.ReadTags) {
            std::int64_t Size = -1; // stays so when the file could not be opened
            const bool Found =
                read_(FolderFd, Name, Ahead.File.FileName, Ahead.File.MediaInfo, Size);
            Ahead.Unreadable = Size < 0;
            if (Ahead.Unreadable)
                return;
            Ahead.Size = Size;
            TFileFacts Facts;
            const bool WithFacts = Found && NeedsFacts(job_);
            if (WithFacts)
                Facts = FileFactsAt(job_, FolderFd, Name,
                                    [&] { return LengthOf(FolderFd, Name, Ahead.File.FileName); });
            Ahead.Accepted =
                JudgeTags(job_, Ahead.File.FileName, Found, Ahead.File.MediaInfo, Decoder(),
                          Why(Ahead.File.Reason), WithFacts ? &Facts : nullptr);
        } else if (Ahead.Accepted && !Readable(FolderFd, Name)) {
            Ahead.Accepted = false;
            Ahead.Unreadable = true;
            return;
        }
        if (Ahead.Accepted && Ahead.Size < 0)
            Ahead.Size = SizeOf(FolderFd, Name);
    } catch (...) {
        Ahead.Accepted = false;
        Ahead.Error = std::current_exception();
    }
}

void TSearchRun::DeliverOldest() {
    const std::size_t Slot = window_->Front();
    TAhead& Ahead = ahead_[Slot];
    Ahead.Folder.reset();
    if (Ahead.CountsFolder) {
        Ahead.CountsFolder = false;
        --heldFolders_;
    }
    if (lastFolderSlot_ == Slot)
        lastFolderSlot_.reset();
    if (BeforeEntry(Ahead.Type, Ahead.File.FileName)) {
        if (Ahead.Error)
            std::rethrow_exception(Ahead.Error);
        if (Ahead.Accepted) {
            Ahead.File.Size = LowBits(Ahead.Size);
            Found(Ahead.File);
        } else if (Ahead.Unreadable) {
            Ahead.File.Size = LowBits(std::max<std::int64_t>(Ahead.Size, 0));
            DropUnreadable(Ahead.File);
        } else if (ReportsDrop(Ahead.File.Reason)) {
            Ahead.File.Size = LowBits(std::max<std::int64_t>(Ahead.Size, 0));
            hooks_.DroppedFile(Ahead.File);
        }
    }
    window_->Pop();
}

std::string SearchingStatus(const std::string& Path) {
    return "Searching " + std::string(FolderPart(Path)) + "...";
}
