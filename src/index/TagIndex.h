// The tag index: what the readers made of each file, remembered between
// compiles in one SQLite file, so that a file that has not changed is not
// read again. Shared by the window and any number of headless runs. It can
// never stop a compile: whatever goes wrong with the file gives one line of
// warning and the reads go to the files, as without it. Plain C++.
#pragma once

#include "index/IndexRow.h"
#include "index/RememberedRows.h"
#include "media/AudioTags.h"
#include "media/ReaderVersion.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct sqlite3;

// One remembered file.
struct TIndexRow {
    static constexpr std::int64_t LengthNotRead = -2;
    static constexpr int TagsNotRead = -1;

    TFileStamp Stamp;
    int ReaderVersion = 0;
    std::string CodePage; // the Tag Code Page of the tag read
    bool ReadOtherFormats = false;
    int Sources = TagsNotRead; // the TTagSources of the tag read
    bool Found = false;        // the read found a tag
    std::string Fields;        // PackMediaInfo of what it found
    std::int64_t LengthMs = LengthNotRead;
    std::int64_t SeenDay = 0; // the last day a compile saw the file (days since 1970)
};

struct TTagIndexOptions {
    std::int64_t Today = -1; // days since 1970, UTC; -1 takes the clock's
    int BusyTimeoutMs = 2000;
    // A file changed less than this long ago is read but not remembered.
    std::int64_t RecentNs = 2'000'000'000;
    static constexpr std::int64_t KeptDays = 90;
};

class TTagIndex {
public:
    // One line; may come from the index's own thread.
    using TWarn = std::function<void(const std::string& Line)>;

    // $XDG_CACHE_HOME/morvane/index.sqlite, ~/.cache/morvane/index.sqlite without it.
    static std::string DefaultPath();

    // Opens or makes the index at Path (and its folder). A file that is not a
    // database of this layout is moved aside to Path + ".damaged" and a new
    // one made; one the index cannot use (read-only, locked, a newer
    // layout) leaves it unusable for this run. Each says so through Warn.
    TTagIndex(std::string Path, TWarn Warn, TTagIndexOptions Options = {});
    // Writes what is still queued, then closes.
    ~TTagIndex();
    TTagIndex(const TTagIndex&) = delete;
    TTagIndex& operator=(const TTagIndex&) = delete;

    bool Usable() const { return usable_; }
    const std::string& Path() const { return path_; }
    std::int64_t Today() const { return today_; }
    std::int64_t RecentNs() const { return options_.RecentNs; }
    // Reads answered by a remembered row, since the index was opened.
    std::uint64_t Remembered() const { return remembered_.load(std::memory_order_relaxed); }
    void NoteRemembered() { remembered_.fetch_add(1, std::memory_order_relaxed); }

    // The rows of the folders below these folders, read in one go for a
    // compile reading with CodePage and ReadOtherFormats by this reader
    // version: it finds the files such a compile may trust (as far as those
    // go: each file's stamp and sources are for the caller to check).
    std::shared_ptr<const TRememberedFolders> RowsBelow(const std::vector<std::string>& Folders,
                                                        const std::string& CodePage,
                                                        bool ReadOtherFormats);
    // One file's row; false when there is none (or the index cannot say).
    bool Find(const std::string& FilePath, TIndexRow& Row);

    // Queued for the index's own thread, written in batches; never waits.
    void RememberTags(std::string_view FilePath, const TFileStamp& Stamp,
                      const std::string& CodePage, bool ReadOtherFormats, TTagSources Sources,
                      bool Found, const TMediaInfo& Info);
    void RememberLength(std::string_view FilePath, const TFileStamp& Stamp, std::int64_t LengthMs);
    void MarkSeen(std::string_view FilePath);
    // Every row goes, after what is queued before it.
    void Forget();
    // Waits until everything queued so far is written (or given up).
    void Flush();

private:
    enum class TOpKind : unsigned char { Tags, Length, Seen, Forget };
    // A queued write: the file's folder (with the '/' that ends it) and name
    // and, for tags and lengths, the part its folder's row gets when the file
    // has none there yet (PackFilePart). It waits in one buffer as a fixed
    // head and those bytes (Queue), so that queueing a read costs no
    // allocation, and is read back from there (WriterLoop).
    struct TOp {
        TOpKind Kind;
        std::string_view Folder, Name, Part;
    };
    enum class TOpen { Ready, Damaged, Failed };

    TOpen OpenReader();
    void MoveAside();
    void Warn(const std::string& Kind, const std::string& Line);
    // Path's folder is its first FolderSize bytes (FolderEnd).
    void Queue(TOpKind Kind, std::string_view Path, std::size_t FolderSize, std::string_view Part);
    void WriterLoop();
    bool OpenWriter();
    void Prune();
    // One transaction.
    void WriteBatch(std::span<const TOp> Batch);
    // What one queued write (Written: its part unpacked) makes of a file's
    // entry (Present: it has one). Texts taken from the write view its
    // bytes, which outlive the entry.
    static void Apply(TOpKind Kind, const TPackedFile& Written, std::int64_t Today, bool& Present,
                      TPackedFile& File);
    // The entry a file with none gets from a write of Kind (Apply to no entry).
    TPackedFile NewEntry(TOpKind Kind, const TPackedFile& Read, std::string_view Name) const;
    void WriteFailed(int Code, const char* What);
    // SQLite's call after each of the writer's transactions.
    static int AfterCommit(void* Self, sqlite3* Db, const char* Name, int Frames);

    std::string path_;
    TWarn warn_;
    TTagIndexOptions options_;
    std::int64_t today_ = 0;
    bool usable_ = false;
    std::atomic<std::uint64_t> remembered_{0};

    std::mutex readMutex_;
    sqlite3* reader_ = nullptr;
    // Under readMutex_: the folder Find unpacked last, with the index's data
    // version then.
    std::string foundFolder_, foundBlob_;
    std::vector<TPackedFile> foundFiles_;
    std::int64_t foundVersion_ = -1;

    std::mutex warnMutex_;
    std::set<std::string> warned_; // each kind of trouble is told once

    // Writer thread state, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string queue_;      // the writes waiting, packed
    std::size_t queued_ = 0; // how many
    bool writing_ = false;
    bool started_ = false; // the writer has opened its connection and pruned
    bool flushWanted_ = false;
    bool stop_ = false;
    sqlite3* writer_ = nullptr; // the writer thread's own
    bool writable_ = true;      // the writer thread's: false after a failed write
    int pageBytes_ = 4096;      // the writer thread's: the index's page size
    bool lastOfRun_ = false;    // the writer thread's: the last of a run or a flush
    std::thread thread_;
};
