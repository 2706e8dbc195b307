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

namespace {

constexpr int SchemaVersion = 1;

// The most rows the writer gathers before it writes them in one transaction.
constexpr std::size_t WriteBatchOps = 8192;

// The log is copied into the file once it holds this much.
constexpr int WalCopyInBytes = 8 << 20;

const char* const CreateSchema =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS files("
    " path BLOB PRIMARY KEY, dev INTEGER, ino INTEGER, size INTEGER, mtime INTEGER,"
    " ctime INTEGER, reader INTEGER, codepage TEXT, other INTEGER, sources INTEGER,"
    " found INTEGER, fields BLOB, length INTEGER, seen INTEGER) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO meta VALUES('schema', 1);";

const char* const RowColumns =
    "path, dev, ino, size, mtime, ctime, reader, codepage, other, sources, found, fields, "
    "length, seen";

// The same file, read by the same readers: what the row said of it other than
// the tags (or the length) still holds.
const char* const SameFile = "dev = excluded.dev AND ino = excluded.ino AND size = excluded.size "
                             "AND mtime = excluded.mtime AND ctime = excluded.ctime AND "
                             "reader = excluded.reader";

const std::string StampColumns =
    "dev = excluded.dev, ino = excluded.ino, size = excluded.size, mtime = excluded.mtime, "
    "ctime = excluded.ctime, reader = excluded.reader, seen = excluded.seen";

const std::string UpsertTags =
    std::string("INSERT INTO files(") + RowColumns +
    ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, -2, ?13) "
    "ON CONFLICT(path) DO UPDATE SET length = CASE WHEN " +
    SameFile + " THEN length ELSE -2 END, " + StampColumns +
    ", codepage = excluded.codepage, other = excluded.other, sources = excluded.sources, "
    "found = excluded.found, fields = excluded.fields";

const std::string UpsertLength = std::string("INSERT INTO files(") + RowColumns +
                                 ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, '', 0, -1, 0, NULL, ?8, ?9) "
                                 "ON CONFLICT(path) DO UPDATE SET sources = CASE WHEN " +
                                 SameFile + " THEN sources ELSE -1 END, " + StampColumns +
                                 ", length = excluded.length";

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

std::string ColumnBytes(sqlite3_stmt* Statement, int Column) {
    return std::string(ColumnView(Statement, Column));
}

// Columns 1.. of a row, as RowColumns names them.
TIndexRow RowFrom(sqlite3_stmt* Statement) {
    TIndexRow Row;
    Row.Stamp.Device = static_cast<std::uint64_t>(sqlite3_column_int64(Statement, 1));
    Row.Stamp.Inode = static_cast<std::uint64_t>(sqlite3_column_int64(Statement, 2));
    Row.Stamp.Size = sqlite3_column_int64(Statement, 3);
    Row.Stamp.ModifiedNs = sqlite3_column_int64(Statement, 4);
    Row.Stamp.ChangedNs = sqlite3_column_int64(Statement, 5);
    Row.ReaderVersion = sqlite3_column_int(Statement, 6);
    Row.CodePage = ColumnBytes(Statement, 7);
    Row.ReadOtherFormats = sqlite3_column_int(Statement, 8) != 0;
    Row.Sources = sqlite3_column_int(Statement, 9);
    Row.Found = sqlite3_column_int(Statement, 10) != 0;
    Row.Fields = ColumnBytes(Statement, 11);
    Row.LengthMs = sqlite3_column_int64(Statement, 12);
    Row.SeenDay = sqlite3_column_int64(Statement, 13);
    return Row;
}

// The path, the stamp and the reader version: parameters 1 to 7 of both upserts.
void BindFile(TStatement& Statement, std::string_view Path, const TFileStamp& Stamp) {
    Statement.Blob(1, Path);
    Statement.Int(7, TagReaderVersion);
    Statement.Int(2, static_cast<std::int64_t>(Stamp.Device));
    Statement.Int(3, static_cast<std::int64_t>(Stamp.Inode));
    Statement.Int(4, Stamp.Size);
    Statement.Int(5, Stamp.ModifiedNs);
    Statement.Int(6, Stamp.ChangedNs);
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
    if (usable_)
        thread_ = std::thread([this] { WriterLoop(); });
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
        TStatement Schema(reader_, "SELECT value FROM meta WHERE key = 'schema'");
        if (Schema.Code() != SQLITE_OK)
            return IsBusy(Schema.Code()) ? Fail(Schema.Code(), "") : TOpen::Damaged;
        const int Step = sqlite3_step(*Schema);
        if (Step == SQLITE_ROW)
            Version = sqlite3_column_int(*Schema, 0);
        else if (Step != SQLITE_DONE)
            return Fail(Step, "cannot be read");
        if (Version > SchemaVersion) {
            Warn("newer", "made by a newer version of the program; tags are read from the files.");
            sqlite3_close_v2(reader_);
            reader_ = nullptr;
            return TOpen::Failed;
        }
        if (Version != SchemaVersion)
            return TOpen::Damaged;
        TStatement Columns(reader_, std::string("SELECT ") + RowColumns + " FROM files LIMIT 0");
        if (Columns.Code() != SQLITE_OK)
            return IsBusy(Columns.Code()) ? Fail(Columns.Code(), "") : TOpen::Damaged;
    }
    char* Error = nullptr;
    // A new file gets pages of 16 KiB: a first compile's inserts then write
    // a quarter as many log frames and split pages less often (its CPU time
    // fell by 5 to 7 % against 4 KiB). It can be set only before the log is.
    if (!HasTables)
        sqlite3_exec(reader_, "PRAGMA page_size=16384", nullptr, nullptr, nullptr);
    Code = sqlite3_exec(reader_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr,
                        nullptr, &Error);
    sqlite3_free(Error);
    if (Code == SQLITE_OK && !HasTables)
        Code = sqlite3_exec(reader_, CreateSchema, nullptr, nullptr, nullptr);
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

std::shared_ptr<const TRememberedRows> TTagIndex::RowsBelow(const std::vector<std::string>& Folders,
                                                            const std::string& CodePage,
                                                            bool ReadOtherFormats) {
    auto Rows = std::make_shared<TRememberedRows>();
    if (!usable_)
        return Rows;
    std::lock_guard Lock(readMutex_);
    TStatement Select(
        reader_, "SELECT path, dev, ino, size, mtime, ctime, sources, found, fields, seen, length "
                 "FROM files WHERE path >= ?1 AND path < ?2 AND reader = ?3 AND "
                 "codepage = ?4 AND other = ?5 AND sources >= 0");
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
        Select.Int(3, TagReaderVersion);
        Select.Text(4, CodePage);
        Select.Int(5, ReadOtherFormats ? 1 : 0);
        int Step;
        while ((Step = sqlite3_step(*Select)) == SQLITE_ROW) {
            TFileStamp Stamp;
            Stamp.Device = static_cast<std::uint64_t>(sqlite3_column_int64(*Select, 1));
            Stamp.Inode = static_cast<std::uint64_t>(sqlite3_column_int64(*Select, 2));
            Stamp.Size = sqlite3_column_int64(*Select, 3);
            Stamp.ModifiedNs = sqlite3_column_int64(*Select, 4);
            Stamp.ChangedNs = sqlite3_column_int64(*Select, 5);
            if (!Rows->Add(ColumnView(*Select, 0), Stamp, sqlite3_column_int(*Select, 6),
                           sqlite3_column_int(*Select, 7) != 0, ColumnView(*Select, 8),
                           sqlite3_column_int64(*Select, 9), sqlite3_column_int64(*Select, 10)))
                break; // the rest are read from the files
        }
        sqlite3_reset(*Select);
        if (Step != SQLITE_DONE && Step != SQLITE_ROW) {
            Warn(IsBusy(Step) ? "busy" : "read",
                 std::string(IsBusy(Step) ? "locked by another program" : "cannot be read") + " (" +
                     sqlite3_errstr(Step) + "); tags are read from the files.");
            Rows->Clear();
            break;
        }
    }
    Rows->Seal();
    return Rows;
}

bool TTagIndex::Find(const std::string& FilePath, TIndexRow& Row) {
    if (!usable_)
        return false;
    std::lock_guard Lock(readMutex_);
    TStatement Select(reader_, std::string("SELECT ") + RowColumns + " FROM files WHERE path = ?1");
    if (Select.Code() != SQLITE_OK)
        return false;
    Select.Blob(1, FilePath);
    if (sqlite3_step(*Select) != SQLITE_ROW)
        return false;
    Row = RowFrom(*Select);
    return true;
}

void TTagIndex::RememberTags(std::string FilePath, const TFileStamp& Stamp,
                             const std::string& CodePage, bool ReadOtherFormats,
                             TTagSources Sources, bool Found, const TMediaInfo& Info) {
    TOp Op{TOpKind::Tags, std::move(FilePath), {}};
    Op.Row.Stamp = Stamp;
    Op.Row.CodePage = CodePage;
    Op.Row.ReadOtherFormats = ReadOtherFormats;
    Op.Row.Sources = static_cast<int>(Sources);
    Op.Row.Found = Found;
    if (Found)
        Op.Row.Fields = PackMediaInfo(Info);
    Queue(std::move(Op));
}

void TTagIndex::RememberLength(std::string FilePath, const TFileStamp& Stamp,
                               std::int64_t LengthMs) {
    TOp Op{TOpKind::Length, std::move(FilePath), {}};
    Op.Row.Stamp = Stamp;
    Op.Row.LengthMs = LengthMs;
    Queue(std::move(Op));
}

void TTagIndex::MarkSeen(std::string FilePath) {
    Queue({TOpKind::Seen, std::move(FilePath), {}});
}

void TTagIndex::Forget() {
    Queue({TOpKind::Forget, {}, {}});
}

void TTagIndex::Queue(TOp Op) {
    if (!usable_)
        return;
    bool Wake;
    {
        std::lock_guard Lock(mutex_);
        Wake = queue_.empty() || queue_.size() + 1 == WriteBatchOps;
        queue_.push_back(std::move(Op));
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
    changed_.wait(Lock, [this] { return started_ && queue_.empty() && !writing_; });
    flushWanted_ = false;
}

void TTagIndex::WriterLoop() {
    writable_ = OpenWriter();
    if (writable_)
        Prune();
    std::vector<TOp> Batch;
    std::unique_lock Lock(mutex_);
    started_ = true;
    changed_.notify_all();
    for (;;) {
        changed_.wait(Lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            break;
        // Gather a while, so that a compile's rows go in a few transactions,
        // but not past a batch's worth: rows written while the compile goes
        // on are not left for the end, where it would wait for them.
        if (!stop_ && !flushWanted_)
            changed_.wait_for(Lock, std::chrono::milliseconds(200), [this] {
                return stop_ || flushWanted_ || queue_.size() >= WriteBatchOps;
            });
        Batch.swap(queue_);
        writing_ = true;
        Lock.unlock();
        // Whatever waits goes in transactions of at most a batch each: the
        // log is copied in between them, however fast rows come.
        for (std::size_t From = 0; writable_ && From < Batch.size(); From += WriteBatchOps)
            WriteBatch(
                std::span<TOp>(Batch).subspan(From, std::min(WriteBatchOps, Batch.size() - From)));
        Batch.clear();
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
        // A compile's rows arrive in the walk's order, which is not the
        // table's: a cache that holds the pages a batch touches saves reading
        // them again and again (it grows only as pages are used).
        Code = sqlite3_exec(writer_, "PRAGMA synchronous=NORMAL; PRAGMA cache_size=-16384;",
                            nullptr, nullptr, nullptr);
    if (writer_ && Code == SQLITE_OK) {
        // The log is copied in once it holds 8 MiB: the first connection of
        // each run reads the whole log to find its pages, so a first
        // compile's log of 43 MiB cost every later compile 25 ms at its start.
        int PageSize = 4096;
        TStatement Size(writer_, "PRAGMA page_size");
        if (Size.Code() == SQLITE_OK && sqlite3_step(*Size) == SQLITE_ROW)
            PageSize = std::max(sqlite3_column_int(*Size, 0), 512);
        sqlite3_wal_autocheckpoint(writer_, WalCopyInBytes / PageSize);
    }
    if (Code != SQLITE_OK) {
        WriteFailed(Code, "cannot be opened for writing");
        return false;
    }
    return true;
}

// Rows of files no compile has seen for KeptDays go, at most once a day.
void TTagIndex::Prune() {
    TStatement Last(writer_, "SELECT value FROM meta WHERE key = 'pruned'");
    if (Last.Code() != SQLITE_OK)
        return;
    if (sqlite3_step(*Last) == SQLITE_ROW && sqlite3_column_int64(*Last, 0) >= today_)
        return;
    sqlite3_reset(*Last);
    TStatement Delete(writer_, "DELETE FROM files WHERE seen < ?1");
    TStatement Mark(writer_, "INSERT OR REPLACE INTO meta VALUES('pruned', ?1)");
    if (sqlite3_exec(writer_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return; // busy: another day, or another run, does it
    Delete.Int(1, today_ - TTagIndexOptions::KeptDays);
    Mark.Int(1, today_);
    const bool Done = sqlite3_step(*Delete) == SQLITE_DONE && sqlite3_step(*Mark) == SQLITE_DONE;
    sqlite3_exec(writer_, Done ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTagIndex::WriteBatch(std::span<TOp> Batch) {
    // In the table's order, so that each page is visited once per batch; what
    // is queued for one path keeps its order, and nothing crosses a Forget.
    for (auto From = Batch.begin(); From != Batch.end();) {
        auto To = std::find_if(From, Batch.end(),
                               [](const TOp& Op) { return Op.Kind == TOpKind::Forget; });
        std::stable_sort(From, To,
                         [](const TOp& A, const TOp& B) { return A.FilePath < B.FilePath; });
        From = To == Batch.end() ? To : To + 1;
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
    TStatement Tags(writer_, UpsertTags);
    TStatement Length(writer_, UpsertLength);
    TStatement Seen(writer_, "UPDATE files SET seen = ?2 WHERE path = ?1");
    TStatement Clear(writer_, "DELETE FROM files");
    for (const int Prepared : {Tags.Code(), Length.Code(), Seen.Code(), Clear.Code()})
        if (Prepared != SQLITE_OK) {
            Code = Prepared;
            break;
        }
    for (std::size_t K = 0; K < Batch.size() && Code == SQLITE_OK; ++K) {
        TOp& Op = Batch[K];
        TStatement* Statement = nullptr;
        switch (Op.Kind) {
        case TOpKind::Tags:
            Statement = &Tags;
            BindFile(Tags, Op.FilePath, Op.Row.Stamp);
            Tags.Text(8, Op.Row.CodePage);
            Tags.Int(9, Op.Row.ReadOtherFormats);
            Tags.Int(10, Op.Row.Sources);
            Tags.Int(11, Op.Row.Found);
            if (Op.Row.Found)
                Tags.Blob(12, Op.Row.Fields);
            else
                sqlite3_bind_null(*Tags, 12);
            Tags.Int(13, today_);
            break;
        case TOpKind::Length:
            Statement = &Length;
            BindFile(Length, Op.FilePath, Op.Row.Stamp);
            Length.Int(8, Op.Row.LengthMs);
            Length.Int(9, today_);
            break;
        case TOpKind::Seen:
            Statement = &Seen;
            Seen.Blob(1, Op.FilePath);
            Seen.Int(2, today_);
            break;
        case TOpKind::Forget:
            Statement = &Clear;
            break;
        }
        const int Step = sqlite3_step(**Statement);
        sqlite3_reset(**Statement);
        if (Step != SQLITE_DONE)
            Code = Step;
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
