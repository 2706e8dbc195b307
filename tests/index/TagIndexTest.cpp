// The tag index on a real SQLite file in a scratch folder: what it keeps, and
// what each kind of damage does (one warning, never a stop).
#include "index/TagIndex.h"
#include "index/IndexedReads.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <mutex>
#include <random>

namespace {

struct TWarnings {
    std::mutex Mutex;
    std::vector<std::string> Lines;
    TTagIndex::TWarn Collector() {
        return [this](const std::string& Line) {
            std::lock_guard lock(Mutex);
            Lines.push_back(Line);
        };
    }
};

TFileStamp Stamp(std::uint64_t Inode, std::int64_t Size = 100) {
    TFileStamp stamp;
    stamp.Device = 1;
    stamp.Inode = Inode;
    stamp.Size = Size;
    stamp.ModifiedNs = 10;
    stamp.ChangedNs = 20;
    return stamp;
}

const TMediaInfo Song{"Title", "Artist", "Album", "Rock", "1999", "3/12"};

void Sql(const std::string& Path, const char* Statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    const int code = sqlite3_exec(db, Statements, nullptr, nullptr, &error);
    EXPECT_EQ(code, SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

std::string Contents(const std::string& Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs Body in a child process (for limits and users the test itself must
// not take on) and gives its exit status.
template <class Body> int InChild(Body&& Run) {
    const pid_t child = fork();
    if (child == 0)
        _exit(Run());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

} // namespace

TEST(TagIndex, TagsAndLengthsOfOneFileShareItsRowWhileTheFileStaysTheSame) {
    TempDir dir;
    const std::string path = dir.str() + "/cache/morvane/index.sqlite"; // folders made
    {
        TTagIndex index(path, {});
        ASSERT_TRUE(index.Usable());
        index.RememberTags("/m/a.mp3", Stamp(1), "Windows-1252", true, TTagSources::ID3ThenAPE,
                           true, Song);
        index.RememberLength("/m/a.mp3", Stamp(1), 215000);
        index.RememberTags("/m/b.mp3", Stamp(2), "Windows-1252", true, TTagSources::ID3, false, {});
        index.RememberLength("/m/b.mp3", Stamp(2), 1000);
        // b changed: its new tags make the length of the old file go.
        index.RememberTags("/m/b.mp3", Stamp(2, 101), "Windows-1252", true, TTagSources::ID3, false,
                           {});
        index.RememberLength("/other/c.mp3", Stamp(3), 5);
        // A later write to a folder written before, in the same batch, wins.
        index.RememberLength("/m/a.mp3", Stamp(1), 216000);
    }
    TTagIndex index(path, {});
    TIndexRow a, b, c;
    ASSERT_TRUE(index.Find("/m/a.mp3", a));
    EXPECT_TRUE(TrustsTags(a, Stamp(1), "Windows-1252", true, TTagSources::ID3ThenAPE));
    EXPECT_TRUE(TrustsLength(a, Stamp(1)));
    EXPECT_EQ(a.LengthMs, 216000);
    TMediaInfo info;
    ASSERT_TRUE(UnpackMediaInfo(a.Fields, info));
    EXPECT_EQ(info, Song);
    ASSERT_TRUE(index.Find("/m/b.mp3", b));
    EXPECT_FALSE(b.Found);
    EXPECT_TRUE(TrustsTags(b, Stamp(2, 101), "Windows-1252", true, TTagSources::ID3));
    EXPECT_FALSE(TrustsLength(b, Stamp(2, 101)));
    // A length alone: the tags of that file were never read.
    ASSERT_TRUE(index.Find("/other/c.mp3", c));
    EXPECT_FALSE(TrustsTags(c, Stamp(3), "", false, TTagSources::ID3));
    EXPECT_TRUE(TrustsLength(c, Stamp(3)));
    // A compile loads the rows below its folders that its code page, option
    // and reader version may trust; a length alone holds no tags to trust.
    const auto Below = [&](const std::string& Folder, const std::string& CodePage = "Windows-1252",
                           bool Other = true) {
        return index.RowsBelow({Folder}, CodePage, Other)->CountFiles();
    };
    EXPECT_EQ(Below("/m"), 2u);
    EXPECT_EQ(Below("/m/"), 2u);
    EXPECT_EQ(Below("/"), 2u);
    EXPECT_EQ(Below("/other"), 0u);
    EXPECT_EQ(Below("/m/a"), 0u); // a prefix of a name is not a folder
    EXPECT_EQ(Below("/m", "KOI8-R"), 0u);
    EXPECT_EQ(Below("/m", "Windows-1252", false), 0u);
    const auto Rows = index.RowsBelow({"/m", "/other"}, "Windows-1252", true);
    ASSERT_NE(Rows->Find("/m/a.mp3"), nullptr);
    EXPECT_EQ(Rows->Find("/m/a.mp3")->Stamp, Stamp(1));
    EXPECT_EQ(Rows->Find("/m/a"), nullptr);
    TMediaInfo Packed;
    ASSERT_TRUE(UnpackMediaInfo(Rows->Find("/m/a.mp3")->Fields, Packed));
    EXPECT_EQ(Packed, Song);
    EXPECT_FALSE(Rows->Find("/m/b.mp3")->Found);
    index.Forget();
    index.Flush();
    EXPECT_EQ(Below("/"), 0u);
}

// Writes of many folders, interleaved as reader threads queue them, with the
// same file written again (same or another stamp), lengths, tags and a
// Forget somewhere among them, queued fast enough to be written as one batch:
// each file ends as its writes, applied one by one in the order they were
// queued, leave it.
TEST(TagIndex, InterleavedWritesOfManyFoldersEndAsAppliedInOrder) {
    struct TModel {
        bool TagsRead = false, Found = false;
        std::uint64_t Inode = 0;
        std::int64_t LengthMs = TIndexRow::LengthNotRead;
    };
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 random(seed);
        const auto below = [&](int n) {
            return static_cast<int>(random() % static_cast<unsigned>(n));
        };
        TempDir dir;
        const std::string path = dir.str() + "/index.sqlite";
        std::map<std::string, TModel> model;
        const auto pathOf = [](int folder, int file) {
            // Folder names that sort apart bytewise and naturally, some a
            // prefix of another.
            return "/m/" + std::string(folder % 3 == 0 ? "" : "a") + std::to_string(folder * 7) +
                   "/" + std::to_string(file) + ".mp3";
        };
        {
            TTagIndex index(path, {});
            ASSERT_TRUE(index.Usable());
            const int writes = 300 + below(300), forgetAt = below(2) ? below(writes) : -1;
            for (int k = 0; k < writes; ++k) {
                if (k == forgetAt) {
                    index.Forget();
                    model.clear();
                }
                const std::string file = pathOf(below(40), below(8));
                TModel& entry = model[file];
                const std::uint64_t inode = 1 + static_cast<std::uint64_t>(below(2));
                const bool same = entry.Inode == inode; // 0 until first written
                if (below(3) == 0) {
                    const std::int64_t length = below(100000);
                    index.RememberLength(file, Stamp(inode), length);
                    entry.TagsRead = entry.TagsRead && same;
                    entry.Found = entry.Found && same;
                    entry.LengthMs = length;
                } else {
                    const bool found = below(2);
                    index.RememberTags(file, Stamp(inode), "Windows-1252", true, TTagSources::ID3,
                                       found, Song);
                    entry.LengthMs = same ? entry.LengthMs : TIndexRow::LengthNotRead;
                    entry.TagsRead = true;
                    entry.Found = found;
                }
                entry.Inode = inode;
            }
        }
        TTagIndex index(path, {});
        for (int folder = 0; folder < 40; ++folder)
            for (int file = 0; file < 8; ++file) {
                const std::string each = pathOf(folder, file);
                SCOPED_TRACE(each + " seed " + std::to_string(seed));
                const auto expected = model.find(each);
                TIndexRow row;
                ASSERT_EQ(index.Find(each, row), expected != model.end());
                if (expected == model.end())
                    continue;
                const TModel& want = expected->second;
                EXPECT_EQ(row.Stamp, Stamp(want.Inode));
                EXPECT_EQ(row.LengthMs, want.LengthMs);
                EXPECT_EQ(
                    TrustsTags(row, Stamp(want.Inode), "Windows-1252", true, TTagSources::ID3),
                    want.TagsRead);
                EXPECT_EQ(row.Found, want.Found);
            }
    }
}

// A first compile of a large library: the log is copied into the file as it
// grows, so the next run does not read tens of MiB of log before its first
// row, and every row is there after the index is opened again.
TEST(TagIndex, ALargeCompileLeavesAShortLogAndEveryRow) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    constexpr int Files = 40000;
    TMediaInfo info = Song;
    info.Text(TMediaField::Composer) = std::string(300, 'c'); // about 16 MiB of rows in all
    // Folders of 80 files in the walk's order, as a library's compile gives them.
    const auto pathOf = [](int k) {
        char name[32];
        std::snprintf(name, sizeof name, "/m/%04d/%05d.mp3", k / 80, k);
        return std::string(name);
    };
    {
        TTagIndex index(path, {});
        ASSERT_TRUE(index.Usable());
        for (int k = 0; k < Files; ++k)
            index.RememberTags(pathOf(k), Stamp(static_cast<std::uint64_t>(k)), "Windows-1252",
                               true, TTagSources::ID3, true, info);
    }
    struct stat log {};
    ASSERT_EQ(stat((path + "-wal").c_str(), &log), 0);
    EXPECT_LT(log.st_size, 12 << 20) << "the log was not copied in as it grew";
    TTagIndex again(path, {});
    const auto rows = again.RowsBelow({"/m"}, "Windows-1252", true);
    EXPECT_EQ(rows->CountFiles(), static_cast<std::size_t>(Files));
    const TPackedFile* last = rows->Find(pathOf(Files - 1));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Stamp, Stamp(Files - 1));
}

// Runs that each write a little, all of it at their end (a few changed files
// every time): the log is still copied in and started afresh before it grows
// far past its bound (each run took it up where the one before left it).
TEST(TagIndex, RunsThatWriteOnlyAtTheirEndKeepTheLogShort) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    constexpr int Runs = 24, FilesPerRun = 1500;
    TMediaInfo info = Song;
    info.Text(TMediaField::Composer) = std::string(300, 'c'); // about 0.7 MiB of rows a run
    const auto pathOf = [](int run, int k) {
        char name[40];
        std::snprintf(name, sizeof name, "/m/%02d/%03d/%04d.mp3", run, k / 80, k);
        return std::string(name);
    };
    off_t largest = 0;
    for (int run = 0; run < Runs; ++run) {
        {
            TTagIndex index(path, {});
            ASSERT_TRUE(index.Usable());
            for (int k = 0; k < FilesPerRun; ++k)
                index.RememberTags(pathOf(run, k), Stamp(static_cast<std::uint64_t>(k)),
                                   "Windows-1252", true, TTagSources::ID3, true, info);
        }
        struct stat log {};
        ASSERT_EQ(stat((path + "-wal").c_str(), &log), 0);
        largest = std::max(largest, log.st_size);
    }
    EXPECT_LT(largest, 14 << 20) << "the log was not copied in as runs added to it";
    TTagIndex again(path, {});
    EXPECT_EQ(again.RowsBelow({"/m"}, "Windows-1252", true)->CountFiles(),
              static_cast<std::size_t>(Runs * FilesPerRun));
}

// Another run (the window, say) reading all along: no write can be copied in
// past what it reads, so the run's last transaction finds a long log it
// cannot empty. It leaves it as it is at once, however long the index would
// wait for a lock, and every row is there once the reader is done.
TEST(TagIndex, ARunEndsAtOnceWhileAnotherRunHoldsItsLog) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    TTagIndexOptions options;
    options.BusyTimeoutMs = 60000;
    { TTagIndex made(path, {}, options); }
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM folders;", nullptr, nullptr, nullptr),
        SQLITE_OK);
    constexpr int Files = 40000;
    TMediaInfo info = Song;
    info.Text(TMediaField::Composer) = std::string(300, 'c'); // about 16 MiB of rows in all
    const auto start = std::chrono::steady_clock::now();
    {
        TTagIndex index(path, {}, options);
        for (int k = 0; k < Files; ++k)
            index.RememberTags("/m/" + std::to_string(k / 80) + "/" + std::to_string(k) + ".mp3",
                               Stamp(static_cast<std::uint64_t>(k)), "Windows-1252", true,
                               TTagSources::ID3, true, info);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30))
        << "the last transaction waited for the reader";
    struct stat log {};
    ASSERT_EQ(stat((path + "-wal").c_str(), &log), 0);
    EXPECT_GT(log.st_size, 12 << 20) << "the reader did not hold the log";
    sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(reader);
    TTagIndex again(path, {});
    EXPECT_EQ(again.RowsBelow({"/m"}, "Windows-1252", true)->CountFiles(),
              static_cast<std::size_t>(Files));
}

TEST(TagIndex, ARowIsTrustedOnlyWhileEveryPartOfItsKeyHolds) {
    TIndexRow row;
    row.Stamp = Stamp(7);
    row.ReaderVersion = TagReaderVersion;
    row.CodePage = "Windows-1252";
    row.ReadOtherFormats = true;
    row.Sources = static_cast<int>(TTagSources::OtherFormat);
    row.LengthMs = 10;
    ASSERT_TRUE(TrustsTags(row, Stamp(7), "Windows-1252", true, TTagSources::OtherFormat));
    ASSERT_TRUE(TrustsLength(row, Stamp(7)));
    const auto changed = [&](auto Change) {
        TFileStamp stamp = Stamp(7);
        Change(stamp);
        return stamp;
    };
    for (const TFileStamp& other :
         {changed([](TFileStamp& s) { s.Device = 2; }), changed([](TFileStamp& s) { s.Inode = 8; }),
          changed([](TFileStamp& s) { s.Size = 99; }),
          changed([](TFileStamp& s) { s.ModifiedNs += 1; }),
          changed([](TFileStamp& s) { s.ChangedNs += 1; })}) {
        EXPECT_FALSE(TrustsTags(row, other, "Windows-1252", true, TTagSources::OtherFormat));
        EXPECT_FALSE(TrustsLength(row, other));
    }
    EXPECT_FALSE(TrustsTags(row, Stamp(7), "ISO-8859-2", true, TTagSources::OtherFormat));
    EXPECT_FALSE(TrustsTags(row, Stamp(7), "Windows-1252", false, TTagSources::OtherFormat));
    EXPECT_FALSE(TrustsTags(row, Stamp(7), "Windows-1252", true, TTagSources::OtherFormatThenID3));
    row.ReaderVersion = TagReaderVersion - 1;
    EXPECT_FALSE(TrustsTags(row, Stamp(7), "Windows-1252", true, TTagSources::OtherFormat));
    EXPECT_FALSE(TrustsLength(row, Stamp(7)));
}

TEST(TagIndex, EachDamagedFileGivesOneWarningAndANewIndexOrNone) {
    struct Case {
        const char* Name;
        std::function<void(const std::string&)> Make;
        bool Usable, MovedAside;
    };
    const Case cases[] = {
        {"not a database", [](const std::string& p) { std::ofstream(p) << std::string(5000, 'x'); },
         true, true},
        {"a database of another program",
         [](const std::string& p) {
             Sql(p, "CREATE TABLE songs(a, b); INSERT INTO songs VALUES(1, 2);");
         },
         true, true},
        {"our tables without a layout version",
         [](const std::string& p) {
             Sql(p, "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER);"
                    "CREATE TABLE files(path BLOB PRIMARY KEY);");
         },
         true, true},
        {"an older layout",
         [](const std::string& p) {
             Sql(p, "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER);"
                    "INSERT INTO meta VALUES('schema', 0); CREATE TABLE files(path BLOB);");
         },
         true, true},
        {"the right version but missing columns",
         [](const std::string& p) {
             Sql(p, "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER);"
                    "INSERT INTO meta VALUES('schema', 2); CREATE TABLE folders(path BLOB);");
         },
         true, true},
        {"a newer layout, left for the newer program",
         [](const std::string& p) {
             Sql(p, "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER);"
                    "INSERT INTO meta VALUES('schema', 9);");
         },
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        const std::string path = dir.str() + "/index.sqlite";
        c.Make(path);
        const std::string before = Contents(path);
        TWarnings warnings;
        {
            TTagIndex index(path, warnings.Collector());
            EXPECT_EQ(index.Usable(), c.Usable);
            index.RememberTags("/m/a.mp3", Stamp(1), "Windows-1252", true, TTagSources::ID3, true,
                               Song);
            index.Flush();
            TIndexRow row;
            EXPECT_EQ(index.Find("/m/a.mp3", row), c.Usable);
        }
        ASSERT_EQ(warnings.Lines.size(), 1u);
        EXPECT_NE(warnings.Lines[0].find(path), std::string::npos) << warnings.Lines[0];
        EXPECT_EQ(warnings.Lines[0].find('\n'), std::string::npos);
        EXPECT_EQ(Contents(path + ".damaged") == before, c.MovedAside);
        if (!c.MovedAside) {
            EXPECT_EQ(Contents(path), before);
        }
        // The next run finds a sound index: no warning at all.
        TWarnings again;
        TTagIndex next(path, again.Collector());
        EXPECT_EQ(again.Lines.size(), c.Usable ? 0u : 1u);
    }
}

// An index of the layout before (a row per file) is made anew in place, with
// no warning: what it held is read again once.
TEST(TagIndex, TheLayoutBeforeIsMadeAnewQuietly) {
    // Alone, the file also gets a new index's larger pages; beside another
    // run that has it open it keeps its pages and is used as well.
    for (const bool shared : {false, true}) {
        SCOPED_TRACE(shared ? "another run has it open" : "alone");
        TempDir dir;
        const std::string path = dir.str() + "/index.sqlite";
        Sql(path,
            "PRAGMA page_size=4096; PRAGMA journal_mode=WAL;"
            "CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;"
            "INSERT INTO meta VALUES('schema', 1);"
            "CREATE TABLE files(path BLOB PRIMARY KEY, dev INTEGER, ino INTEGER, size INTEGER,"
            " mtime INTEGER, ctime INTEGER, reader INTEGER, codepage TEXT, other INTEGER,"
            " sources INTEGER, found INTEGER, fields BLOB, length INTEGER, seen INTEGER)"
            " WITHOUT ROWID;"
            "INSERT INTO files VALUES(X'2F6D2F612E6D7033', 1, 1, 100, 10, 20, 1, '', 1, 0, 0,"
            " NULL, -2, 1);");
        sqlite3* other = nullptr;
        if (shared) {
            ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(other, "SELECT count(*) FROM meta", nullptr, nullptr, nullptr),
                      SQLITE_OK);
        }
        TWarnings warnings;
        {
            TTagIndex index(path, warnings.Collector());
            ASSERT_TRUE(index.Usable());
            TIndexRow row;
            EXPECT_FALSE(index.Find("/m/a.mp3", row));
            EXPECT_TRUE(index.RowsBelow({"/"}, "", true)->empty());
            index.RememberTags("/m/a.mp3", Stamp(1), "", true, TTagSources::ID3, true, Song);
        }
        sqlite3_close(other);
        EXPECT_TRUE(warnings.Lines.empty());
        struct stat aside {};
        EXPECT_NE(stat((path + ".damaged").c_str(), &aside), 0);
        TTagIndex again(path, warnings.Collector());
        TIndexRow row;
        EXPECT_TRUE(again.Find("/m/a.mp3", row));
        EXPECT_TRUE(warnings.Lines.empty());
        sqlite3* look = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &look), SQLITE_OK);
        sqlite3_stmt* pages = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(look, "PRAGMA page_size", -1, &pages, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(pages), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(pages, 0), shared ? 4096 : 16384);
        sqlite3_finalize(pages);
        sqlite3_close(look);
    }
}

// Two runs on one index, the files of one flat folder written in turns:
// each sees every write of the other, whatever folder it looked in last.
TEST(TagIndex, RunsSharingAnIndexSeeEachOthersWrites) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    TTagIndex one(path, {}), two(path, {});
    ASSERT_TRUE(one.Usable() && two.Usable());
    constexpr int Files = 5000;
    const auto name = [](int k) { return "/flat/" + std::to_string(k) + ".mp3"; };
    for (int k = 0; k < Files; ++k)
        (k % 2 ? one : two)
            .RememberTags(name(k), Stamp(static_cast<std::uint64_t>(k)), "", true, TTagSources::ID3,
                          k % 3 != 0, Song);
    one.Flush();
    two.Flush();
    TIndexRow row;
    for (int k = 0; k < Files; ++k) {
        ASSERT_TRUE((k % 5 ? one : two).Find(name(k), row)) << k;
        EXPECT_EQ(row.Stamp, Stamp(static_cast<std::uint64_t>(k)));
        EXPECT_EQ(row.Found, k % 3 != 0);
    }
    EXPECT_FALSE(one.Find("/flat/x.mp3", row));
    // A length the other run remembers is seen by the next look in the same folder.
    two.RememberLength(name(7), Stamp(7), 1234);
    two.Flush();
    ASSERT_TRUE(one.Find(name(7), row));
    EXPECT_EQ(row.LengthMs, 1234);
    EXPECT_TRUE(TrustsTags(row, Stamp(7), "", true, TTagSources::ID3));
    EXPECT_EQ(one.RowsBelow({"/flat"}, "", true)->CountFiles(), static_cast<std::size_t>(Files));
    one.Forget();
    one.Flush();
    EXPECT_FALSE(two.Find(name(7), row));
}

TEST(TagIndex, ALockHeldPastTheTimeoutLeavesReadsToTheFiles) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    { TTagIndex make(path, {}); }
    TTagIndexOptions quick;
    quick.BusyTimeoutMs = 50;

    // Another program holds the whole file: no index for this run.
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder,
                           "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                           "INSERT INTO meta VALUES('x', 1);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    {
        TWarnings warnings;
        TTagIndex index(path, warnings.Collector(), quick);
        EXPECT_FALSE(index.Usable());
        EXPECT_TRUE(index.RowsBelow({"/"}, "Windows-1252", true)->empty());
        ASSERT_EQ(warnings.Lines.size(), 1u);
        EXPECT_NE(warnings.Lines[0].find("locked"), std::string::npos) << warnings.Lines[0];
    }
    sqlite3_close(holder);

    // Another writer in the middle of a long write: lookups go on, this
    // run's rows are not remembered, and the writer does not hang.
    ASSERT_EQ(sqlite3_open(path.c_str(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE; INSERT INTO meta VALUES('y', 1);", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    TWarnings warnings;
    TTagIndex index(path, warnings.Collector(), quick);
    EXPECT_TRUE(index.Usable());
    index.RememberTags("/m/a.mp3", Stamp(1), "", true, TTagSources::ID3, true, Song);
    index.Flush();
    TIndexRow row;
    EXPECT_FALSE(index.Find("/m/a.mp3", row));
    ASSERT_EQ(warnings.Lines.size(), 1u);
    EXPECT_NE(warnings.Lines[0].find("not remembered"), std::string::npos) << warnings.Lines[0];
    sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    // Once the lock is gone, the next batch goes in.
    index.RememberTags("/m/a.mp3", Stamp(1), "", true, TTagSources::ID3, true, Song);
    index.Flush();
    EXPECT_TRUE(index.Find("/m/a.mp3", row));
    EXPECT_EQ(warnings.Lines.size(), 1u);
}

TEST(TagIndex, AFullDiskAndAReadOnlyIndexGiveOneWarningAndNoStop) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    {
        TTagIndex make(path, {});
        make.RememberTags("/m/old.mp3", Stamp(9), "", true, TTagSources::ID3, true, Song);
    }
    // Full: no file may grow past a few pages.
    const int full = InChild([&] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        TWarnings warnings;
        TTagIndex index(path, warnings.Collector());
        for (int k = 0; k < 2000; ++k)
            index.RememberTags("/m/" + std::to_string(k) + std::string(200, 'x'), Stamp(k), "",
                               true, TTagSources::ID3, true, Song);
        index.Flush();
        TIndexRow row;
        const bool oldKept = index.Find("/m/old.mp3", row);
        return warnings.Lines.size() == 1 && oldKept ? 0 : 1;
    });
    EXPECT_EQ(full, 0) << "1: not one warning, or the rows of before were lost";

    // Read-only: a user who may read the file but not write it or its folder.
    chmod(dir.str().c_str(), 0755);
    const int readOnly = InChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            return 3;
        chmod(path.c_str(), 0444);
        TWarnings warnings;
        TTagIndex index(path, warnings.Collector());
        index.RememberTags("/m/new.mp3", Stamp(1), "", true, TTagSources::ID3, true, Song);
        index.Flush();
        return warnings.Lines.size() == 1 ? 0 : 1;
    });
    EXPECT_EQ(readOnly, 0) << "1: not one warning, 3: could not drop root";

    // Whatever happened, the index is sound for the next run.
    chmod(path.c_str(), 0644);
    TWarnings warnings;
    TTagIndex index(path, warnings.Collector());
    EXPECT_TRUE(index.Usable());
    TIndexRow row;
    EXPECT_TRUE(index.Find("/m/old.mp3", row));
    EXPECT_TRUE(warnings.Lines.empty());
}

TEST(TagIndex, AKillAtAnyMomentLeavesAUsableIndex) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    for (const int afterMs : {0, 5, 30, 120}) {
        const pid_t child = fork();
        if (child == 0) {
            TTagIndex index(path, {});
            for (int k = 0;; ++k) {
                index.RememberTags("/m/" + std::to_string(k), Stamp(k), "", true, TTagSources::ID3,
                                   true, Song);
                if (k % 500 == 0)
                    index.Flush();
            }
        }
        usleep(afterMs * 1000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        TWarnings warnings;
        TTagIndex index(path, warnings.Collector());
        EXPECT_TRUE(index.Usable()) << afterMs;
        EXPECT_TRUE(warnings.Lines.empty()) << afterMs;
        index.RememberTags("/after", Stamp(1), "", true, TTagSources::ID3, true, Song);
        index.Flush();
        TIndexRow row;
        EXPECT_TRUE(index.Find("/after", row)) << afterMs;
    }
}

// A kill while the index is first made, at moments spread over its making:
// the next run finds it whole or empty, never damaged.
TEST(TagIndex, AKillWhileTheIndexIsMadeLeavesNoDamage) {
    TempDir dir;
    for (int afterUs = 0; afterUs <= 3000; afterUs += 100) {
        const std::string path = dir.str() + "/" + std::to_string(afterUs) + "/index.sqlite";
        const pid_t child = fork();
        if (child == 0) {
            TTagIndex index(path, {});
            pause();
        }
        usleep(static_cast<useconds_t>(afterUs));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        TWarnings warnings;
        TTagIndex index(path, warnings.Collector());
        EXPECT_TRUE(index.Usable()) << afterUs;
        EXPECT_EQ(warnings.Lines, std::vector<std::string>{}) << afterUs;
    }
}

TEST(TagIndex, RowsUnseenForNinetyDaysGoAtMostOnceADay) {
    TempDir dir;
    const std::string path = dir.str() + "/index.sqlite";
    const auto at = [&](std::int64_t Day) {
        TTagIndexOptions options;
        options.Today = Day;
        return std::make_unique<TTagIndex>(path, nullptr, options);
    };
    const auto has = [&](const char* File) {
        TIndexRow row;
        return at(0)->Find(File, row);
    };
    {
        auto index = at(1000);
        index->RememberTags("/old", Stamp(1), "", true, TTagSources::ID3, true, Song);
        index->RememberTags("/seen", Stamp(2), "", true, TTagSources::ID3, true, Song);
    }
    at(1050)->MarkSeen("/seen");
    at(1089)->Flush(); // 89 days: kept
    EXPECT_TRUE(has("/old"));
    at(1091)->Flush();
    EXPECT_FALSE(has("/old"));
    EXPECT_TRUE(has("/seen"));
    // A row left at day 900 by a run whose clock was wrong stays until the next day's pruning.
    at(900)->RememberTags("/stale", Stamp(3), "", true, TTagSources::ID3, true, Song);
    at(1091)->Flush();
    EXPECT_TRUE(has("/stale"));
    at(1092)->Flush();
    EXPECT_FALSE(has("/stale"));
    EXPECT_TRUE(has("/seen"));
}
