#include "index/TagIndex.h"

#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>

namespace {

// 2: a row per folder, its files packed in one value (1 had a row per file).
constexpr int SchemaVersion = 2;

// The most writes in one transaction (the log holds what the file has not
// taken in yet plus one transaction's pages).
constexpr std::size_t WriteBatchOps = 8192;
// The writes that wake the writer: fewer than a transaction holds, so that
// the few queued while it wakes go with them, not in a transaction of their
// own (which rewrote the pages their folders landed in).
constexpr std::size_t WakeOps = WriteBatchOps - WriteBatchOps / 16;
// Room for about a batch of queued writes, made up front in the queue and in
// the writer's copy of it: grown by doubling, each took a chain of ever
// larger buffers, each copied and faulted in while the queue's lock was held
// (the room is faulted in only as it is used).
constexpr std::size_t QueueRoom = WriteBatchOps * 256;

// The log is copied into the file once it holds this much; by the last
// transaction of a run (or of a flush) only once it holds half as much
// again, as copying in syncs the log and the file: at the end of a first
// compile that cost it 20 ms and more, where the next run's writes copy the
// log in while its compile goes on.
constexpr int WalCopyInBytes = 8 << 20;
constexpr int LastCopyInBytes = WalCopyInBytes + WalCopyInBytes / 2;

// A row per folder: its path with the '/' that ends it, and PackFolder of
// its files. A compile's first run inserts a row per folder instead of one
// per file, and a later run reads a row per folder.
const std::string FoldersTable =
    "CREATE TABLE IF NOT EXISTS folders(path BLOB PRIMARY KEY, files BLOB) WITHOUT ROWID;";

// In one transaction: a kill between the tables and the layout's version
// left a file that the next run took for damage and moved aside.
const std::string CreateSchema =
    "BEGIN IMMEDIATE;"
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;" +
    FoldersTable + "INSERT OR IGNORE INTO meta VALUES('schema', 2); COMMIT;";

// An index of the layout before, made anew in place: what it held is only
// read again.
const std::string FromRowsPerFile = "BEGIN IMMEDIATE; DROP TABLE IF EXISTS files;" + FoldersTable +
                                    "UPDATE meta SET value = 2 WHERE key = 'schema'; COMMIT;";

// The pages a new index gets.
constexpr int PageBytes = 16384;

std::int64_t DaysSinceEpoch() {
    return static_cast<std::int64_t>(std::time(nullptr)) / 86400;
}

// A statement, finalized on every path. Bound bytes are not copied: they
// must stay until the statement has stepped (every caller binds, steps and
// resets within one scope).
class TStatement {
public:
    TStatement(sqlite3* Db, const std::string& Sql) {
        code_ = sqlite3_prepare_v2(Db, Sql.c_str(), -1, &statement_, nullptr);
    }
    ~TStatement() { sqlite3_finalize(statement_); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;
    int Code() const { return code_; }
    sqlite3_stmt* operator*() const { return statement_; }
    void Blob(int Index, std::string_view Bytes) {
        sqlite3_bind_blob(statement_, Index, Bytes.data(), static_cast<int>(Bytes.size()),
                          SQLITE_STATIC);
    }
    void Int(int Index, std::int64_t Value) { sqlite3_bind_int64(statement_, Index, Value); }
    void Text(int Index, const std::string& Value) {
        sqlite3_bind_text(statement_, Index, Value.c_str(), static_cast<int>(Value.size()),
                          SQLITE_STATIC);
    }

private:
    sqlite3_stmt* statement_ = nullptr;
    int code_;
};

// Valid until the statement steps on.
std::string_view ColumnView(sqlite3_stmt* Statement, int Column) {
    const void* Data = sqlite3_column_blob(Statement, Column);
    const int Size = sqlite3_column_bytes(Statement, Column);
    return Data ? std::string_view(static_cast<const char*>(Data), static_cast<std::size_t>(Size))
                : std::string_view();
}

// An index just made anew in place (so empty) with smaller pages than a new
// one gets: the layout before had 4 KiB pages, where a folder's row longer
// than about a thousand bytes spills into an overflow page of its own (an
// index nearly three times the size, and a page more to read per folder).
// Pages change only with the log left, which needs the file to itself: while
// another run has it open, it keeps its pages (and works as well, if larger).
void TakeNewPages(sqlite3* Db, int BusyTimeoutMs) {
    {
        TStatement Size(Db, "PRAGMA page_size");
        if (Size.Code() != SQLITE_OK || sqlite3_step(*Size) != SQLITE_ROW ||
            sqlite3_column_int(*Size, 0) >= PageBytes)
            return;
    }
    sqlite3_busy_timeout(Db, 0); // another run there: no waiting for it
    bool Alone = false;
    {
        TStatement Mode(Db, "PRAGMA journal_mode=DELETE");
        Alone = Mode.Code() == SQLITE_OK && sqlite3_step(*Mode) == SQLITE_ROW &&
                ColumnView(*Mode, 0) == "delete";
    }
    if (Alone)
        sqlite3_exec(Db, ("PRAGMA page_size=" + std::to_string(PageBytes) + "; VACUUM;").c_str(),
                     nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(Db, BusyTimeoutMs);
    // The caller puts the log back (journal_mode=WAL) whatever happened here.
}

TIndexRow RowFrom(const TPackedFile& File) {
    TIndexRow Row;
    Row.Stamp = File.Stamp;
    Row.ReaderVersion = File.ReaderVersion;
    Row.CodePage = File.CodePage;
    Row.ReadOtherFormats = File.ReadOtherFormats;
    Row.Sources = File.Sources;
    Row.Found = File.Found;
    Row.Fields = File.Fields;
    Row.LengthMs = File.LengthMs;
    Row.SeenDay = File.SeenDay;
    return Row;
}

bool IsDamage(int Code) {
    const int Primary = Code & 0xff;
    return Primary == SQLITE_NOTADB || Primary == SQLITE_CORRUPT;
}

bool IsBusy(int Code) {
    const int Primary = Code & 0xff;
    return Primary == SQLITE_BUSY || Primary == SQLITE_LOCKED;
}

sqlite3* OpenConnection(const std::string& Path, int BusyTimeoutMs, int& Code) {
    // Each connection is used by one thread at a time: no counting of every
    // allocation under a lock (refused, harmlessly, once SQLite has started).
    static const int NoMemoryStatus = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    (void)NoMemoryStatus;
    sqlite3* Db = nullptr;
    Code =
        sqlite3_open_v2(Path.c_str(), &Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (Code != SQLITE_OK) {
        sqlite3_close_v2(Db);
        return nullptr;
    }
    sqlite3_extended_result_codes(Db, 1);
    sqlite3_busy_timeout(Db, BusyTimeoutMs);
    // The log is copied into the file (with a sync) by the writer once it
    // holds a few MiB, never as a connection closes: a compile does not wait
    // for the disk, and a kill at any moment still leaves a whole index.
    sqlite3_db_config(Db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return Db;
}

void MakeFolders(const std::string& FilePath) {
    for (std::size_t Slash = FilePath.find('/', 1); Slash != std::string::npos;
         Slash = FilePath.find('/', Slash + 1))
        mkdir(FilePath.substr(0, Slash).c_str(), 0700);
}

} // namespace

std::string TTagIndex::DefaultPath() {
    const char* Cache = std::getenv("XDG_CACHE_HOME");
    std::string Folder;
    if (Cache && Cache[0] == '/')
        Folder = Cache;
    else if (const char* Home = std::getenv("HOME"); Home && Home[0])
        Folder = std::string(Home) + "/.cache";
    else
        Folder = "/tmp";
    return Folder + "/morvane/index.sqlite";
}

TTagIndex::TTagIndex(std::string Path, TWarn Warn, TTagIndexOptions Options)
    : path_(std::move(Path)), warn_(std::move(Warn)), options_(Options),
      today_(Options.Today >= 0 ? Options.Today : DaysSinceEpoch()) {
    MakeFolders(path_);
    TOpen Opened = OpenReader();
    if (Opened == TOpen::Damaged) {
        MoveAside();
        Opened = OpenReader();
    }
    usable_ = Opened == TOpen::Ready;
    if (usable_) {
        queue_.reserve(QueueRoom);
        thread_ = std::thread([this] { WriterLoop(); });
    }
}

TTagIndex::~TTagIndex() {
    {
        std::lock_guard Lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    sqlite3_close_v2(reader_);
}

void TTagIndex::Warn(const std::string& Kind, const std::string& Line) {
    {
        std::lock_guard Lock(warnMutex_);
        if (!warned_.insert(Kind).second)
            return;
    }
    if (warn_)
        warn_("Tag index " + path_ + ": " + Line);
}

TTagIndex::TOpen TTagIndex::OpenReader() {
    sqlite3_close_v2(reader_);
    int Code = SQLITE_OK;
    reader_ = OpenConnection(path_, options_.BusyTimeoutMs, Code);
    const auto Fail = [&](int Failed, const char* Doing) {
        if (IsDamage(Failed))
            return TOpen::Damaged;
        const std::string Cause = reader_ ? sqlite3_errmsg(reader_) : sqlite3_errstr(Failed);
        Warn(IsBusy(Failed) ? "busy" : "open",
             std::string(IsBusy(Failed) ? "locked by another program" : Doing) + " (" + Cause +
                 "); tags are read from the files.");
        sqlite3_close_v2(reader_);
        reader_ = nullptr;
        return TOpen::Failed;
    };
    if (!reader_)
        return Fail(Code, "cannot be opened");
    // The layout first: a file of another program's making is not ours to change.
    int Version = 0;
    bool HasTables = false;
    {
        TStatement Tables(reader_, "SELECT count(*) FROM sqlite_master");
        if (Tables.Code() != SQLITE_OK)
            return Fail(Tables.Code(), "cannot be read");
        const int Step = sqlite3_step(*Tables);
        if (Step != SQLITE_ROW)
            return Fail(Step, "cannot be read");
        HasTables = sqlite3_column_int(*Tables, 0) > 0;
    }
    if (HasTables) {
        {
            TStatement Schema(reader_, "SELECT value FROM meta WHERE key = 'schema'");
            if (Schema.Code() != SQLITE_OK)
                return IsBusy(Schema.Code()) ? Fail(Schema.Code(), "") : TOpen::Damaged;
            const int Step = sqlite3_step(*Schema);
            if (Step == SQLITE_ROW)
                Version = sqlite3_column_int(*Schema, 0);
            else if (Step != SQLITE_DONE)
                return Fail(Step, "cannot be read");
        }
        if (Version == 1) {
            const int Made =
                sqlite3_exec(reader_, FromRowsPerFile.c_str(), nullptr, nullptr, nullptr);
            if (Made != SQLITE_OK) {
                sqlite3_exec(reader_, "ROLLBACK", nullptr, nullptr, nullptr);
                return Fail(Made, "cannot be written");
            }
            Version = SchemaVersion;
            TakeNewPages(reader_, options_.BusyTimeoutMs);
        }
        if (Version > SchemaVersion) {
            Warn("newer", "made by a newer version of the program; tags are read from the files.");
            sqlite3_close_v2(reader_);
            reader_ = nullptr;
            return TOpen::Failed;
        }
        if (Version != SchemaVersion)
            return TOpen::Damaged;
        TStatement Columns(reader_, "SELECT path, files FROM folders LIMIT 0");
        if (Columns.Code() != SQLITE_OK)
            return IsBusy(Columns.Code()) ? Fail(Columns.Code(), "") : TOpen::Damaged;
    }
    char* Error = nullptr;
    // A new file gets pages of 16 KiB: a first compile's inserts then write
    // a quarter as many log frames and split pages less often (its CPU time
    // fell by 5 to 7 % against 4 KiB). It can be set only before the log is.
    // A new file is made without syncs (six of them, before the walk could
    // start): one cut short by a crash is found empty and made again, or
    // damaged and moved aside.
    if (!HasTables)
        sqlite3_exec(
            reader_,
            ("PRAGMA page_size=" + std::to_string(PageBytes) + "; PRAGMA synchronous=OFF;").c_str(),
            nullptr, nullptr, nullptr);
    Code = sqlite3_exec(reader_, "PRAGMA journal_mode=WAL;", nullptr, nullptr, &Error);
    sqlite3_free(Error);
    if (Code == SQLITE_OK && !HasTables)
        Code = sqlite3_exec(reader_, CreateSchema.c_str(), nullptr, nullptr, nullptr);
    if (Code == SQLITE_OK)
        Code = sqlite3_exec(reader_, "PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    if (Code != SQLITE_OK)
        return Fail(Code, "cannot be written");
    return TOpen::Ready;
}

void TTagIndex::MoveAside() {
    sqlite3_close_v2(reader_);
    reader_ = nullptr;
    const std::string Aside = path_ + ".damaged";
    const bool Moved = rename(path_.c_str(), Aside.c_str()) == 0;
    unlink((path_ + "-wal").c_str());
    unlink((path_ + "-shm").c_str());
    Warn("damaged", Moved ? "not a usable index; moved to " + Aside + " and a new one made."
                          : std::string("not a usable index and cannot be moved aside (") +
                                std::strerror(errno) + ").");
}

std::shared_ptr<const TRememberedFolders>
TTagIndex::RowsBelow(const std::vector<std::string>& Folders, const std::string& CodePage,
                     bool ReadOtherFormats) {
    auto Rows = std::make_shared<TRememberedFolders>(CodePage, ReadOtherFormats);
    if (!usable_)
        return Rows;
    std::lock_guard Lock(readMutex_);
    TStatement Select(reader_, "SELECT path, files FROM folders WHERE path >= ?1 AND path < ?2");
    if (Select.Code() != SQLITE_OK) {
        Warn(IsBusy(Select.Code()) ? "busy" : "read", std::string("cannot be read (") +
                                                          sqlite3_errmsg(reader_) +
                                                          "); tags are read from the files.");
        return Rows;
    }
    for (const std::string& Folder : Folders) {
        // The walk's paths below Folder all start with it and one '/'.
        std::string From = Folder;
        if (From.empty() || From.back() != '/')
            From.push_back('/');
        std::string To = From;
        To.back() = '/' + 1;
        Select.Blob(1, From);
        Select.Blob(2, To);
        int Step;
        // Past the most a table holds, the rest are read from the files.
        while ((Step = sqlite3_step(*Select)) == SQLITE_ROW &&
               Rows->Add(ColumnView(*Select, 0), ColumnView(*Select, 1)))
            ;
        sqlite3_reset(*Select);
        if (Step != SQLITE_DONE && Step != SQLITE_ROW) {
            Warn(IsBusy(Step) ? "busy" : "read",
                 std::string(IsBusy(Step) ? "locked by another program" : "cannot be read") + " (" +
                     sqlite3_errstr(Step) + "); tags are read from the files.");
            Rows = std::make_shared<TRememberedFolders>(CodePage, ReadOtherFormats);
            break;
        }
    }
    Rows->Seal();
    return Rows;
}

bool TTagIndex::Find(const std::string& FilePath, TIndexRow& Row) {
    if (!usable_)
        return false;
    const std::size_t Split = FolderEnd(FilePath);
    const std::string_view Folder(FilePath.data(), Split);
    const std::string_view Name = std::string_view(FilePath).substr(Split);
    std::lock_guard Lock(readMutex_);
    // Callers ask for the files of a list one after the other, mostly a
    // folder's files together: its row is unpacked once while nothing wrote
    // to the index (a folder of fifty thousand files is not unpacked for
    // each of them).
    std::int64_t Version = -1;
    {
        TStatement Data(reader_, "PRAGMA data_version");
        if (Data.Code() == SQLITE_OK && sqlite3_step(*Data) == SQLITE_ROW)
            Version = sqlite3_column_int64(*Data, 0);
    }
    if (Version < 0 || Version != foundVersion_ || Folder != foundFolder_) {
        foundVersion_ = -1;
        foundFolder_.assign(Folder);
        foundBlob_.clear();
        TStatement Select(reader_, "SELECT files FROM folders WHERE path = ?1");
        if (Select.Code() != SQLITE_OK)
            return false;
        Select.Blob(1, Folder);
        const int Step = sqlite3_step(*Select);
        if (Step != SQLITE_ROW && Step != SQLITE_DONE)
            return false;
        if (Step == SQLITE_ROW)
            foundBlob_.assign(ColumnView(*Select, 0));
        if (!UnpackFolder(foundBlob_, foundFiles_))
            foundFiles_.clear();
        foundVersion_ = Version;
    }
    const TPackedFile* File = FileNamed(foundFiles_, Name);
    if (!File)
        return false;
    Row = RowFrom(*File);
    return true;
}

void TTagIndex::RememberTags(std::string_view FilePath, const TFileStamp& Stamp,
                             const std::string& CodePage, bool ReadOtherFormats,
                             TTagSources Sources, bool Found, const TMediaInfo& Info) {
    // The part the file's folder row gets if it has none there yet (in a
    // first compile, every file), packed outside the lock into this
    // thread's own bytes: the writer puts it in the row as it is.
    TPackedFile Read;
    Read.Stamp = Stamp;
    Read.CodePage = CodePage;
    Read.ReadOtherFormats = ReadOtherFormats;
    Read.Sources = static_cast<int>(Sources);
    Read.Found = Found;
    const std::size_t Folder = FolderEnd(FilePath);
    const TPackedFile File = NewEntry(TOpKind::Tags, Read, FilePath.substr(Folder));
    thread_local std::string Part;
    Part.clear();
    PackReadFilePart(Part, File, Info);
    Queue(TOpKind::Tags, FilePath, Folder, Part);
}

void TTagIndex::RememberLength(std::string_view FilePath, const TFileStamp& Stamp,
                               std::int64_t LengthMs) {
    TPackedFile Read;
    Read.Stamp = Stamp;
    Read.LengthMs = LengthMs;
    const std::size_t Folder = FolderEnd(FilePath);
    thread_local std::string Part;
    Part.clear();
    PackFilePart(Part, NewEntry(TOpKind::Length, Read, FilePath.substr(Folder)));
    Queue(TOpKind::Length, FilePath, Folder, Part);
}

TPackedFile TTagIndex::NewEntry(TOpKind Kind, const TPackedFile& Read,
                                std::string_view Name) const {
    TPackedFile File;
    bool Present = false;
    Apply(Kind, Read, today_, Present, File);
    File.Name = Name;
    return File;
}

void TTagIndex::MarkSeen(std::string_view FilePath) {
    Queue(TOpKind::Seen, FilePath, FolderEnd(FilePath), {});
}

void TTagIndex::Forget() {
    Queue(TOpKind::Forget, {}, 0, {});
}

namespace {

// A queued write: this head as it lies in memory, then the bytes of the path
// (its folder's first) and of the part. Never stored: the writer reads it
// back in the same process.
struct TQueuedHead {
    std::uint32_t FolderSize, NameSize, PartSize;
    unsigned char Kind;
};

} // namespace

void TTagIndex::Queue(TOpKind Kind, std::string_view Path, std::size_t FolderSize,
                      std::string_view Part) {
    if (!usable_)
        return;
    TQueuedHead Head{};
    Head.FolderSize = static_cast<std::uint32_t>(FolderSize);
    Head.NameSize = static_cast<std::uint32_t>(Path.size() - FolderSize);
    Head.PartSize = static_cast<std::uint32_t>(Part.size());
    Head.Kind = static_cast<unsigned char>(Kind);
    bool Wake;
    {
        std::lock_guard Lock(mutex_);
        Wake = queued_ == 0 || queued_ + 1 == WakeOps;
        queue_.append(reinterpret_cast<const char*>(&Head), sizeof Head);
        queue_ += Path;
        queue_ += Part;
        ++queued_;
    }
    if (Wake)
        changed_.notify_all();
}

void TTagIndex::Flush() {
    std::unique_lock Lock(mutex_);
    if (!thread_.joinable())
        return;
    flushWanted_ = true;
    changed_.notify_all();
    changed_.wait(Lock, [this] { return started_ && queued_ == 0 && !writing_; });
    flushWanted_ = false;
}

void TTagIndex::WriterLoop() {
    writable_ = OpenWriter();
    if (writable_)
        Prune();
    std::string Packed;
    Packed.reserve(QueueRoom);
    std::vector<TOp> Batch;
    std::unique_lock Lock(mutex_);
    started_ = true;
    changed_.notify_all();
    for (;;) {
        changed_.wait(Lock, [this] { return stop_ || queued_ > 0; });
        if (queued_ == 0)
            break;
        // Gather a while, so that a compile's rows go in a few transactions,
        // but not past a batch's worth: rows written while the compile goes
        // on are not left for the end, where it would wait for them.
        if (!stop_ && !flushWanted_)
            changed_.wait_for(Lock, std::chrono::milliseconds(200),
                              [this] { return stop_ || flushWanted_ || queued_ >= WakeOps; });
        const bool WaitedFor = stop_ || flushWanted_;
        Packed.swap(queue_);
        queued_ = 0;
        writing_ = true;
        Lock.unlock();
        // The writes view the packed bytes, which stay until they are written.
        for (std::size_t At = 0; At + sizeof(TQueuedHead) <= Packed.size();) {
            TQueuedHead Head;
            std::memcpy(&Head, Packed.data() + At, sizeof Head);
            At += sizeof Head;
            TOp Op{static_cast<TOpKind>(Head.Kind), {}, {}, {}};
            Op.Folder = std::string_view(Packed.data() + At, Head.FolderSize);
            At += Head.FolderSize;
            Op.Name = std::string_view(Packed.data() + At, Head.NameSize);
            At += Head.NameSize;
            Op.Part = std::string_view(Packed.data() + At, Head.PartSize);
            At += Head.PartSize;
            Batch.push_back(Op);
        }
        // Whatever waits goes in transactions of at most a batch each, split
        // evenly: the log is copied in between them, however fast rows come.
        const std::size_t Parts = (Batch.size() + WriteBatchOps - 1) / WriteBatchOps;
        for (std::size_t Part = 0, From = 0; writable_ && Part < Parts; ++Part) {
            const std::size_t To = Batch.size() * (Part + 1) / Parts;
            lastOfRun_ = WaitedFor && Part + 1 == Parts;
            WriteBatch(std::span<TOp>(Batch).subspan(From, To - From));
            From = To;
        }
        Batch.clear();
        Packed.clear();
        Lock.lock();
        writing_ = false;
        changed_.notify_all();
    }
    Lock.unlock();
    sqlite3_close_v2(writer_);
    writer_ = nullptr;
}

bool TTagIndex::OpenWriter() {
    int Code = SQLITE_OK;
    writer_ = OpenConnection(path_, options_.BusyTimeoutMs, Code);
    if (writer_)
        // A page cache of 2 MiB: a batch's folder rows touch a few hundred
        // pages; 16 MiB (for a row per file) gave the same CPU time and 10 MiB
        // more peak memory.
        Code = sqlite3_exec(writer_, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-2048;", nullptr,
                            nullptr, nullptr);
    if (writer_ && Code == SQLITE_OK) {
        TStatement Size(writer_, "PRAGMA page_size");
        if (Size.Code() == SQLITE_OK && sqlite3_step(*Size) == SQLITE_ROW)
            pageBytes_ = std::max(sqlite3_column_int(*Size, 0), 512);
        sqlite3_wal_hook(writer_, &TTagIndex::AfterCommit, this);
    }
    if (Code != SQLITE_OK) {
        WriteFailed(Code, "cannot be opened for writing");
        return false;
    }
    return true;
}

// The log is copied in once it holds WalCopyInBytes (LastCopyInBytes after a
// run's last transaction): the first connection of each run reads the whole
// log to find its pages, so a first compile's log of 43 MiB cost every later
// compile 25 ms at its start. A log copied in is started afresh by the next
// transaction, but only by one of the same run: the next run finds its pages
// again by reading it through and takes it up where it ends, so a run's last
// transaction empties it as it copies it in (else runs that each write once,
// at their end, grew it without bound).
int TTagIndex::AfterCommit(void* Self, sqlite3* Db, const char* Name, int Frames) {
    const TTagIndex& Index = *static_cast<const TTagIndex*>(Self);
    if (static_cast<std::int64_t>(Frames) * Index.pageBytes_ <
        (Index.lastOfRun_ ? LastCopyInBytes : WalCopyInBytes))
        return SQLITE_OK;
    if (!Index.lastOfRun_) {
        sqlite3_wal_checkpoint_v2(Db, Name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }
    // This one waits for no one: past another run's reader or writer, it
    // copies in what it can and leaves the log as it is.
    sqlite3_busy_timeout(Db, 0);
    sqlite3_wal_checkpoint_v2(Db, Name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(Db, Index.options_.BusyTimeoutMs);
    return SQLITE_OK;
}

// Files no compile has seen for KeptDays leave their folder's row (the row
// goes with its last file), at most once a day.
void TTagIndex::Prune() {
    TStatement Last(writer_, "SELECT value FROM meta WHERE key = 'pruned'");
    if (Last.Code() != SQLITE_OK)
        return;
    if (sqlite3_step(*Last) == SQLITE_ROW && sqlite3_column_int64(*Last, 0) >= today_)
        return;
    sqlite3_reset(*Last);
    TStatement Select(writer_, "SELECT path, files FROM folders");
    TStatement Put(writer_, "INSERT OR REPLACE INTO folders VALUES(?1, ?2)");
    TStatement Drop(writer_, "DELETE FROM folders WHERE path = ?1");
    TStatement Mark(writer_, "INSERT OR REPLACE INTO meta VALUES('pruned', ?1)");
    if (sqlite3_exec(writer_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return; // busy: another day, or another run, does it
    const std::int64_t Oldest = today_ - TTagIndexOptions::KeptDays;
    // The folders that change, with what is left of each (nothing: the row goes).
    std::vector<std::pair<std::string, std::string>> Changed;
    std::vector<TPackedFile> Files, Kept;
    int Step;
    while ((Step = sqlite3_step(*Select)) == SQLITE_ROW) {
        const std::string_view Path = ColumnView(*Select, 0);
        if (!UnpackFolder(ColumnView(*Select, 1), Files)) {
            Changed.emplace_back(Path, std::string());
            continue;
        }
        Kept.clear();
        for (const TPackedFile& File : Files)
            if (File.SeenDay >= Oldest)
                Kept.push_back(File);
        if (Kept.size() != Files.size())
            Changed.emplace_back(Path, Kept.empty() ? std::string() : PackFolder(Kept));
    }
    sqlite3_reset(*Select);
    bool Done = Step == SQLITE_DONE;
    for (const auto& [Path, Blob] : Changed) {
        if (!Done)
            break;
        TStatement& Statement = Blob.empty() ? Drop : Put;
        Statement.Blob(1, Path);
        if (!Blob.empty())
            Put.Blob(2, Blob);
        Done = sqlite3_step(*Statement) == SQLITE_DONE;
        sqlite3_reset(*Statement);
    }
    Mark.Int(1, today_);
    Done = Done && sqlite3_step(*Mark) == SQLITE_DONE;
    sqlite3_exec(writer_, Done ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTagIndex::Apply(TOpKind Kind, const TPackedFile& Written, std::int64_t Today, bool& Present,
                      TPackedFile& File) {
    // The same file, read by the same readers: what the entry said of it
    // other than the tags (or the length) still holds.
    const bool Same =
        Present && File.Stamp == Written.Stamp && File.ReaderVersion == TagReaderVersion;
    switch (Kind) {
    case TOpKind::Tags:
        if (!Same)
            File.LengthMs = TIndexRow::LengthNotRead;
        File.CodePage = Written.CodePage;
        File.ReadOtherFormats = Written.ReadOtherFormats;
        File.Sources = Written.Sources;
        File.Found = Written.Found;
        File.Fields = Written.Found ? Written.Fields : std::string_view();
        break;
    case TOpKind::Length:
        if (!Same) {
            File.CodePage = {};
            File.ReadOtherFormats = false;
            File.Sources = TIndexRow::TagsNotRead;
            File.Found = false;
            File.Fields = {};
        }
        File.LengthMs = Written.LengthMs;
        break;
    case TOpKind::Seen:
    case TOpKind::Forget:
        if (Present)
            File.SeenDay = Today;
        return;
    }
    File.Stamp = Written.Stamp;
    File.ReaderVersion = TagReaderVersion;
    File.SeenDay = Today;
    Present = true;
}

void TTagIndex::WriteBatch(std::span<const TOp> Batch) {
    // Each folder's writes together, in the table's order and by name within
    // the folder, so that each folder's row is read and written once per
    // batch; what is queued for one path keeps its order, and nothing
    // crosses a Forget. The readers' writes come interleaved, a folder each
    // at a time: each write takes its folder's number (looked up only where
    // the folder differs from the write before), only the distinct folders
    // are sorted, and the writes are placed by their folder's rank, in the
    // order they came (sorting every write by its path cost more than the
    // writing). Groups holds where each folder's writes (or a Forget alone)
    // lie in Sorted.
    std::vector<TOp> Sorted(Batch.size());
    std::vector<std::pair<std::size_t, std::size_t>> Groups;
    std::unordered_map<std::string_view, std::uint32_t> Numbers;
    std::vector<std::string_view> Folders;
    std::vector<std::uint32_t> NumberOf(Batch.size()), Rank, Next;
    for (std::size_t From = 0; From < Batch.size();) {
        if (Batch[From].Kind == TOpKind::Forget) {
            Groups.emplace_back(From, From + 1);
            Sorted[From] = Batch[From];
            ++From;
            continue;
        }
        Numbers.clear();
        Folders.clear();
        std::size_t To = From;
        for (; To < Batch.size() && Batch[To].Kind != TOpKind::Forget; ++To) {
            const std::string_view Folder = Batch[To].Folder;
            if (To > From && Folder == Batch[To - 1].Folder) {
                NumberOf[To] = NumberOf[To - 1];
                continue;
            }
            const auto [Found, Added] =
                Numbers.try_emplace(Folder, static_cast<std::uint32_t>(Folders.size()));
            if (Added)
                Folders.push_back(Folder);
            NumberOf[To] = Found->second;
        }
        // Rank holds the folders' numbers in the table's order; Next, where
        // the next write of each folder goes.
        Rank.resize(Folders.size());
        for (std::uint32_t K = 0; K < Rank.size(); ++K)
            Rank[K] = K;
        std::sort(Rank.begin(), Rank.end(),
                  [&](std::uint32_t A, std::uint32_t B) { return Folders[A] < Folders[B]; });
        Next.assign(Folders.size(), 0);
        for (std::size_t K = From; K < To; ++K)
            ++Next[NumberOf[K]];
        std::size_t At = From;
        for (const std::uint32_t Number : Rank) {
            const std::size_t Count = Next[Number];
            Groups.emplace_back(At, At + Count);
            Next[Number] = static_cast<std::uint32_t>(At);
            At += Count;
        }
        for (std::size_t K = From; K < To; ++K)
            Sorted[Next[NumberOf[K]]++] = Batch[K];
        From = To;
    }
    const auto ByName = [](const TOp& A, const TOp& B) { return A.Name < B.Name; };
    for (const auto& [First, End] : Groups) {
        const auto Begin = Sorted.begin() + static_cast<std::ptrdiff_t>(First);
        const auto Stop = Sorted.begin() + static_cast<std::ptrdiff_t>(End);
        if (!std::is_sorted(Begin, Stop, ByName))
            std::stable_sort(Begin, Stop, ByName);
    }
    int Code = sqlite3_exec(writer_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (Code != SQLITE_OK) {
        // Held by another writer past the timeout: these rows are not
        // remembered this time; the next compile reads those files again.
        if (IsBusy(Code))
            Warn("busy", "locked by another program; this compile's tags are not remembered.");
        else
            WriteFailed(Code, "cannot be written");
        return;
    }
    TStatement Select(writer_, "SELECT files FROM folders WHERE path = ?1");
    TStatement Put(writer_, "INSERT OR REPLACE INTO folders VALUES(?1, ?2)");
    TStatement Add(writer_, "INSERT OR IGNORE INTO folders VALUES(?1, ?2)");
    TStatement Drop(writer_, "DELETE FROM folders WHERE path = ?1");
    TStatement Clear(writer_, "DELETE FROM folders");
    for (const int Prepared : {Select.Code(), Put.Code(), Add.Code(), Drop.Code(), Clear.Code()})
        if (Prepared != SQLITE_OK) {
            Code = Prepared;
            break;
        }
    const auto Run = [&](TStatement& Statement) {
        const int Step = sqlite3_step(*Statement);
        sqlite3_reset(*Statement);
        if (Step != SQLITE_DONE && Step != SQLITE_ROW)
            Code = Step;
    };
    std::string Old;
    std::vector<TPackedFile> Files, Merged;
    std::vector<std::string_view> Parts;
    for (const auto& [GroupFirst, GroupEnd] : Groups) {
        if (Code != SQLITE_OK)
            break;
        const auto Group = Sorted.cbegin() + static_cast<std::ptrdiff_t>(GroupFirst);
        const auto End = Sorted.cbegin() + static_cast<std::ptrdiff_t>(GroupEnd);
        if (Group->Kind == TOpKind::Forget) {
            Run(Clear);
            continue;
        }
        const std::string_view Folder = Group->Folder;
        // Each file of the folder written once, as a read (a first
        // compile's): if the index has no row for the folder, its row is the
        // files' parts as they were queued, added without looking first.
        bool New = true;
        for (auto Same = Group; New && Same != End; ++Same)
            New = (Same->Kind == TOpKind::Tags || Same->Kind == TOpKind::Length) &&
                  (Same == Group || (Same - 1)->Name != Same->Name);
        if (New) {
            Parts.clear();
            for (auto Same = Group; Same != End; ++Same)
                Parts.push_back(Same->Part);
            const std::string Blob = PackFolderOfParts(Parts);
            Add.Blob(1, Folder);
            Add.Blob(2, Blob);
            Run(Add);
            if (Code != SQLITE_OK || sqlite3_changes(writer_) == 1)
                continue;
            // The folder has a row: merged with it below.
        }
        Old.clear();
        Select.Blob(1, Folder);
        const int Step = sqlite3_step(*Select);
        if (Step == SQLITE_ROW)
            Old.assign(ColumnView(*Select, 0));
        sqlite3_reset(*Select);
        if (Step != SQLITE_ROW && Step != SQLITE_DONE) {
            Code = Step;
            break;
        }
        // A damaged row is replaced by what this batch writes.
        if (!UnpackFolder(Old, Files))
            Files.clear();
        Merged.clear();
        auto Existing = Files.cbegin();
        for (auto Same = Group; Same != End;) {
            const std::string_view Name = Same->Name;
            while (Existing != Files.cend() && Existing->Name < Name)
                Merged.push_back(*Existing++);
            TPackedFile File;
            bool Present = false;
            if (Existing != Files.cend() && Existing->Name == Name) {
                File = *Existing++;
                Present = true;
            }
            for (; Same != End && Same->Name == Name; ++Same) {
                TPackedFile Written;
                if (Same->Part.empty() || UnpackFilePart(Same->Part, Written))
                    Apply(Same->Kind, Written, today_, Present, File);
            }
            if (Present) {
                File.Name = Name;
                Merged.push_back(File);
            }
        }
        Merged.insert(Merged.end(), Existing, Files.cend());
        if (Merged.empty()) {
            if (!Old.empty()) {
                Drop.Blob(1, Folder);
                Run(Drop);
            }
        } else {
            const std::string Blob = PackFolder(Merged);
            Put.Blob(1, Folder);
            Put.Blob(2, Blob);
            Run(Put);
        }
    }
    if (Code == SQLITE_OK)
        Code = sqlite3_exec(writer_, "COMMIT", nullptr, nullptr, nullptr);
    if (Code != SQLITE_OK) {
        sqlite3_exec(writer_, "ROLLBACK", nullptr, nullptr, nullptr);
        WriteFailed(Code, "cannot be written");
    }
}

void TTagIndex::WriteFailed(int Code, const char* What) {
    const int Primary = Code & 0xff;
    const std::string Cause = Primary == SQLITE_FULL       ? "the disk is full"
                              : Primary == SQLITE_READONLY ? "it is read-only"
                              : IsBusy(Code)               ? "locked by another program"
                                                           : sqlite3_errstr(Code);
    Warn("write", std::string(What) + " (" + Cause + "); tags are not remembered.");
    if (!IsBusy(Code))
        writable_ = false;
}
