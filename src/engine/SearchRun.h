// The search run of one compile: the per-entry step over the folder walk,
// with a read-ahead window in which reader threads read the tags of the
// entries the walk listed, while hand-overs keep the walk's order. Plain C++.
#pragma once

#include "engine/CompileJob.h"
#include "engine/FolderWalk.h"
#include "engine/Masks.h"
#include "engine/ReadAhead.h"
#include "index/IndexedReads.h"

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

// Raised by the per-entry step when a stop was requested; unwinds the walk.
struct ESearchAborted {};

// One search run: the per-entry step and the state it keeps between entries.
// With reader threads, the step only lists an entry and judges its name; the
// entry then waits in the read-ahead window while a reader reads its tags,
// and is handed over when it is the oldest there. Hand-overs, the pause point
// and the stop check all happen on the walking thread, in the walk's order,
// exactly as without readers.
class TSearchRun {
public:
    // Thrown by the step after a malformed mask: the walk ends there, and the
    // entries before it are still handed over (Finish).
    struct EWalkEnds {};

    // Files that cannot be opened for reading are dropped and noted in
    // UnreadableFiles (when given).
    TSearchRun(const CompileJob& Job, const SearchHooks& Hooks, const SearchReaders& Readers,
               NotedPaths* UnreadableFiles = nullptr);

    // The per-entry step of the walk.
    void HandleEntry(TFolderEntry& Entry);

    // Hands over every entry still in the window.
    void Finish();

    // After the walk: the job's added paths that are files and were not found.
    void AppendAdded();

    // Last: under a selection, the files kept in the playlist's order, and
    // those it left out with their reasons (until then nothing is handed over).
    void DeliverSelection();

    // A search folder is about to be walked.
    void CountSearchFolder() { ++progress_.Folders; }

private:
    // An entry in the read-ahead window.
    struct TAhead {
        unsigned char Type = DT_UNKNOWN;
        bool ReadTags = false;
        bool Accepted = false;
        bool Unreadable = false; // could not be opened for reading: dropped
        std::size_t NameOffset = 0;
        std::int64_t Size = -1;
        std::shared_ptr<TOpenFolder> Folder; // only while a reader needs it
        bool CountsFolder = false;           // the first slot in a row holding Folder
        std::exception_ptr Error;            // a malformed mask, raised at hand-over
        TFileInfo File;
    };

    void HandleNow(TFolderEntry& Entry);

    // Whether a file the search did not take goes to DroppedFile.
    bool ReportsDrop(const TDecisionReason& Reason) const;
    TDecisionReason* Why(TDecisionReason& Reason) const;

    // The pause point, the stop check and the status of one entry, in the
    // walk's order. False when the entry is not a file to judge.
    bool BeforeEntry(unsigned char Type, const std::string& Path);

    void ReportProgress();

    void Found(const TFileInfo& File);
    // Hands a file over, or keeps it for the selection.
    void Deliver(const TFileInfo& File);

    bool MaskMatches(std::size_t Index, const std::string& Path);

    // Whether the entry goes into the playlist. Unreadable tells a file that
    // the rules took, or wanted to read, but that cannot be opened.
    bool Accept(TFolderEntry& Entry, TMediaInfo& Info, TDecisionReason& Reason, bool& Unreadable);

    // Notes and reports a file that cannot be read.
    void DropUnreadable(TFileInfo& File);

    // This thread's decoder for the job's code page: opened once per thread of
    // the run (iconv keeps state, so the reader threads cannot share one).
    TTagDecoder& Decoder() const { return ThreadTagDecoder(job_.TagCodePage); }

    static std::int64_t SizeOf(int FolderFd, const char* Name);
    // Whether a file taken by its name alone, never opened, could be read.
    static bool Readable(int FolderFd, const char* Name);

    // Walking thread: puts the entry into the window, judged by its name.
    void Queue(TFolderEntry& Entry);

    // Gives the slot at the window's back its folder, keeping the folders held
    // by the window within the descriptor budget: past it, the oldest entries
    // are handed over first (which lets their folders go).
    void HoldFolder(const std::shared_ptr<TOpenFolder>& Folder);

    // A reader thread: the file's tags, the criteria and, if accepted, its size.
    void Work(TAhead& Ahead);

    // Walking thread: hands over the oldest entry of the window once it is read.
    void DeliverOldest();

    const CompileJob& job_;
    const SearchHooks& hooks_;
    NotedPaths* unreadableFiles_;
    std::unordered_set<std::string> removed_;
    std::unordered_set<std::string> found_; // kept only while added paths wait

    std::vector<std::optional<TMask>> masks_;
    // A tag read with the file's full path beside its name in the folder.
    using TReadFile = std::function<bool(int FolderFd, const char* Name, const std::string& Path,
                                         TMediaInfo& Info, std::int64_t& Size)>;
    std::unique_ptr<TIndexedTagReader> indexed_;
    std::shared_ptr<TTagIndex> index_; // for the lengths a selection asks for
    std::function<std::int64_t(const std::string& Path)> duration_;
    // The length of a tagged file for the length criteria.
    std::int64_t LengthOf(int FolderFd, const char* Name, const std::string& Path);
    std::vector<TFileInfo> selecting_; // found files waiting for the selection
    TReadFile read_;
    std::string lastFolder_;
    SearchProgress progress_;
    std::size_t folderQuota_ = 0;               // folders the window may hold open
    std::size_t heldFolders_ = 0;               // slots with CountsFolder
    std::optional<std::size_t> lastFolderSlot_; // the newest slot in the window with a folder
    std::vector<TAhead> ahead_;                 // the window's slots
    std::optional<TReadAhead> window_;          // destroyed first: its readers use ahead_
};
