// What a search's rules do, counted before a compile: for each filename mask
// and each criterion entry, the files it matches among the files of the
// checked folders and the files it decides (the reason the list's Why column
// would give), and how many files the search would find now with their
// length. The files come from a snapshot of the folders: one walk, with the
// tags the tag index still trusts; a filling pass reads the rest (through the
// index, so it is remembered). Counting a snapshot touches no disk, so it can
// run again after every edit. Plain C++, no Qt.
#pragma once

#include "engine/CompileJob.h"
#include "model/WizardSettings.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TTagIndex;

// What the snapshot was taken for: a change of any of these needs a new walk.
struct TSnapshotKey {
    std::vector<std::string> Folders; // the checked folders, in list order
    bool Recurse = true;
    bool ThoroughID3Check = false;
    bool ReadOtherFormats = true;
    std::string TagCodePage;

    bool operator==(const TSnapshotKey&) const = default;
};
TSnapshotKey SnapshotKeyOf(const WizardSettings& Settings);

class TFolderSnapshot {
public:
    enum class TTags : std::uint8_t { Unknown, NotFound, Found, Unreadable };
    struct TFile {
        std::string Path;
        TMediaInfo Info;
        std::int64_t LengthMs = NotRead; // -1: read and not known
        std::int64_t ModifiedNs = 0;
        bool ModifiedKnown = false;
        TTags Tags = TTags::Unknown;
        // The length and modification time for the criteria that ask for them.
        TFileFacts Facts() const {
            return {std::max<std::int64_t>(LengthMs, -1), ModifiedNs, ModifiedKnown};
        }
    };
    static constexpr std::int64_t NotRead = -2;

    // Stop is polled once per entry; a stopped walk leaves the files listed so far.
    using TStop = std::function<bool()>;

    // Lists the folders as a compile walks them (the same order) and takes
    // each file's tags and length from the index where a row still describes
    // the file. Index may be null.
    static TFolderSnapshot Take(const TSnapshotKey& Key, TTagIndex* Index, const TStop& Stop = {});

    // Reads the tags the job's filename masks ask for and the snapshot does
    // not know yet, then the lengths of the files the job finds, each through
    // the index (remembered for the next time). Progress(done, wanted) after
    // each file. False when Stop ended it first. Read, when given, reads the
    // tags instead (tests slow it down).
    bool Fill(const CompileJob& Job, TTagIndex* Index, const TStop& Stop = {},
              const std::function<void(std::size_t, std::size_t)>& Progress = {},
              const TagReadFunction& Read = {});
    // Its two steps: the tags, then the lengths (of the files the job's
    // criteria take, with every tag known; of every tagged file the masks
    // select when a criterion asks for lengths). The reads run on a few threads.
    bool FillTags(const CompileJob& Job, TTagIndex* Index, const TStop& Stop = {},
                  const std::function<void(std::size_t, std::size_t)>& Progress = {},
                  const TagReadFunction& Read = {});
    bool FillLengths(const CompileJob& Job, TTagIndex* Index, const TStop& Stop = {});

    const TSnapshotKey& Key() const { return key_; }
    const std::vector<TFile>& Files() const { return files_; }
    bool Complete() const { return complete_; } // the walk was not stopped

private:
    TSnapshotKey key_;
    std::vector<TFile> files_;
    bool complete_ = false;
};

struct TEntryCount {
    std::uint64_t Matched = 0; // files it matches
    std::uint64_t Decided = 0; // files whose reason names it
    bool Malformed = false;    // the mask cannot be read: it matches nothing
    bool operator==(const TEntryCount&) const = default;
};

struct TSearchCounts {
    // One per entry of the Filenames list and of each criterion list, in list
    // order, whatever the entry's check mark or state.
    std::vector<TEntryCount> Masks;
    std::array<std::vector<TEntryCount>, CriterionFieldCount> Criteria;
    std::uint64_t Listed = 0;   // regular files in the checked folders
    std::uint64_t Wanted = 0;   // of them, files whose tags the filename masks ask for
    std::uint64_t Known = 0;    // of those, files whose tags are known
    std::uint64_t Found = 0;    // files the search would find (of those known, and added)
    std::uint64_t LengthMs = 0; // the length of the found files whose length is known
    std::uint64_t Lengths = 0;  // how many of them that is
    bool Complete() const { return Known == Wanted; }
    bool operator==(const TSearchCounts&) const = default;
};

// The counts of Settings' rules over the snapshot (taken for Settings' key).
TSearchCounts CountSearch(const TFolderSnapshot& Snapshot, const WizardSettings& Settings);

// The whole of it at once, for a command that waits: a snapshot of Settings'
// folders, filled (through Index, which may be null), counted.
TSearchCounts CountSearchNow(const WizardSettings& Settings, TTagIndex* Index);

// An entry's state as the counts name it: "include", "exclude", "ignore".
const char* CountsStateWord(CriterionState State);

// The first line of the counts as text.
extern const char* const CountsHeader; // "section\tentry\tstate\tfiles matched\tfiles decided\n"

// The counts as tab-separated lines: a header, then one line per entry
// (section, entry, state, files matched, files decided), then the totals.
std::string CountsText(const TSearchCounts& Counts, const WizardSettings& Settings);
