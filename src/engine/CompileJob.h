// The compile job: the settings snapshot of one run, its hooks and readers,
// and the run over the folder walk with the acceptance of each found file. Plain C++, no Qt: the
// worker thread reaches the window only through the hooks.
#pragma once

#include "engine/Criteria.h"
#include "engine/FolderWalk.h"
#include "engine/Reasons.h"
#include "media/MediaUtils.h"
#include "model/WizardSettings.h"

class TTagIndex;

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One accepted file; becomes one playlist entry.
struct TFileInfo {
    std::string FileName; // raw path bytes
    TMediaInfo MediaInfo;
    std::int32_t Size = 0;    // low 32 bits of the file size
    TDecisionReason Reason{}; // why the search kept or dropped it (when the job records reasons)
};

struct CompileJob {
    std::vector<std::string> Folders;
    std::vector<std::string> FilenameMasks;
    bool Recurse = true;
    bool ThoroughID3Check = false;
    bool IncludeTaglessFiles = false;
    // FLAC, Ogg, MP4, WMA, WAV, AIFF and APE files read by their own readers.
    bool ReadOtherFormats = true;
    CriteriaJob Criteria;
    // Each decision keeps its reason, and files a filename mask matched but
    // the rules dropped go to DroppedFile. Off only to weigh what it costs.
    bool RecordReasons = true;
    // The code page of tag text without a declared encoding, and of masks and
    // file names that are not UTF-8.
    std::string TagCodePage = DefaultTagCodePage;
    // The user's changes to an earlier list of this search. A removed path
    // the criteria take is dropped instead ("removed by you"); an added path
    // that still is a file and was not found is handed over after the walk,
    // in the order added, as added by hand.
    std::vector<std::string> RemovedPaths;
    std::vector<std::string> AddedPaths;
    // The locale whose collation orders texts under a selection's order
    // (ICU's name; empty: the root collation). The window and the headless
    // command both give the system's, so that they order alike.
    std::string CollationLocale;
};

// SnapshotSearch + SnapshotCriteria + the three options: the checked folders and
// masks in list order; the removed and added paths.
CompileJob MakeCompileJob(const WizardSettings& Settings);

// How far a run has come, for a progress display.
struct SearchProgress {
    std::uint64_t Files = 0;    // regular files handled
    std::uint64_t Accepted = 0; // of them handed over as found
    std::uint64_t Folders = 0;  // search folders and subfolders reached
    std::string_view Folder;    // of the last file handled; valid during the call
};

// What the search run calls back. Every hook is optional.
struct SearchHooks {
    std::function<bool()> StopRequested;                // polled once per entry
    std::function<void()> SafePoint;                    // pause point, before each entry
    std::function<void(const std::string&)> ShowStatus; // "Searching <folder>..."
    std::function<void(const TFileInfo&)> FoundFile;    // accepted file, in walk order
    // A file that a filename mask matched but the options, its tags or the
    // criteria dropped, with its reason; in walk order among the found files.
    // Only when the job records reasons. Its size is 0 unless known anyway.
    std::function<void(const TFileInfo&)> DroppedFile;
    // Polled by the threads that read tags ahead of the walk: while it is true
    // they start no further read (a paused run stops touching the disk).
    std::function<bool()> HoldReads;
    // After each entry is handled, with the counts so far.
    std::function<void(const SearchProgress&)> Progress;
};

// Reads one file's tags as ReadTagsAt does, giving its size when it had it open.
using TagReadFunction =
    std::function<bool(int FolderFd, const char* Name, TMediaInfo& Info, std::int64_t& Size)>;

// How a search reads tags. The program keeps the defaults; tests slow the
// reads down and the benchmark tries other numbers of readers.
struct SearchReaders {
    // Found by measurement (bench/README.md): enough requests in flight for a
    // cold disk. Only as many as the cores work while reads do not wait, so a
    // warm cache is not crowded.
    static constexpr std::size_t DefaultThreads = 8;
    static constexpr std::size_t DefaultWindow = 256;

    // Threads reading tags ahead of the walk; 0 reads each file on the walking thread.
    std::size_t Threads = DefaultThreads;
    // Entries the walk may list ahead of the hand-overs.
    std::size_t Window = DefaultWindow;
    TagReadFunction Read; // empty: ReadTagsAt, with the sources the job and the name say
    // The length of a file in milliseconds (-1: not known), for a selection
    // that needs lengths. Empty: remembered in Index, else read from the file.
    std::function<std::int64_t(const std::string& Path)> Duration;
    // Where remembered tags are looked up and new ones remembered (when Read
    // is empty); null reads every file.
    std::shared_ptr<TTagIndex> Index;
};

// The last status of a run that walked every folder.
extern const char* const FinishedCompilingMessage; // "Finished compiling playlist."

enum class SearchOutcome { Completed, Aborted, Failed };

struct SearchResult {
    SearchOutcome Outcome = SearchOutcome::Completed;
    std::string ErrorMessage;   // the malformed mask's message when Failed
    NotedPaths Unreadable;      // folders that could not be listed
    NotedPaths UnreadableFiles; // files a mask took that could not be opened for reading
    NotedPaths Climbing;        // links to a search folder or above it, not followed
};

// "Finished compiling playlist.", followed by how many folders and files
// could not be read and how many links were not followed.
std::string FinishedStatus(const SearchResult& Result);
// The one line that names them: "2 folders could not be read: /a, /b; 1 file
// could not be read: /c"; empty when nothing was left out.
std::string LeftOutSummary(const SearchResult& Result);

// Walks every folder of the job, as the worker does. Hooks are called on the
// calling thread only (HoldReads excepted), in the walk's order, whatever
// Readers says. Never throws.
SearchResult RunSearch(const CompileJob& Job, const SearchHooks& Hooks,
                       const SearchReaders& Readers = {});

// Whether one file goes into the playlist; fills Info.MediaInfo when it reads
// tags, and Info.Reason when the job records reasons.
// Throws EMaskException for a malformed mask it reaches. Decoder is to be one
// for the job's code page.
bool AcceptFile(const CompileJob& Job, TFileInfo& Info, TTagDecoder& Decoder);

// "Searching " + the folder part of Path + "...": up to the last delimiter,
// without trailing delimiters ("/" for an entry of the root).
std::string SearchingStatus(const std::string& Path);
