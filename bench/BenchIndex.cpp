// The tag index against today's search, on the benchmark library: the first
// compile into an empty index, the second warm and cold, peak memory and the
// index's size per file, and the same over a simulated slow share (an
// LD_PRELOAD shim that delays each open and read under the library by 0.5 ms).
// Each phase runs in a process of its own (this program with --phase), so its
// peak memory is its own and the cold phases start from a dropped cache.
#include "BenchJob.h"
#include "engine/CompileJob.h"
#include "index/TagIndex.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int ReaderThreads = -1; // --readers: the search's reader threads; -1 its default

struct TPhase {
    double Wall = 0;
    double Cpu = 0; // the process's user and system time
    double MaxRssMiB = 0;
    long Accepted = 0;
};

void RemoveIndex(const std::string& Path) {
    for (const char* Suffix : {"", "-wal", "-shm"})
        unlink((Path + Suffix).c_str());
}

// One phase, in this process: "search" (no index), "first" (into an empty
// index, its writes included) or "second" (with the index as it stands).
int RunPhase(const std::string& Phase, const std::string& Library, const std::string& Index) {
    const CompileJob Job = SearchJob(Library);
    if (Phase == "first")
        RemoveIndex(Index);
    long Accepted = 0;
    SearchHooks Hooks;
    Hooks.FoundFile = [&](const TFileInfo&) { ++Accepted; };
    Hooks.DroppedFile = [](const TFileInfo&) {};
    const auto Start = std::chrono::steady_clock::now();
    {
        std::shared_ptr<TTagIndex> Remembered;
        if (Phase != "search")
            Remembered = std::make_shared<TTagIndex>(
                Index, [](const std::string& Line) { std::fprintf(stderr, "%s\n", Line.c_str()); });
        SearchReaders Readers;
        Readers.Index = Remembered;
        if (ReaderThreads >= 0)
            Readers.Threads = static_cast<std::size_t>(ReaderThreads);
        RunSearch(Job, Hooks, Readers);
    } // the index's writes end here, as the headless compile's do before it exits
    const double Wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    const auto Seconds = [](const timeval& Time) { return Time.tv_sec + Time.tv_usec / 1e6; };
    std::printf("%.6f %.6f %.1f %ld\n", Wall, Seconds(Usage.ru_utime) + Seconds(Usage.ru_stime),
                Usage.ru_maxrss / 1024.0, Accepted);
    return 0;
}

bool DropPageCache() {
    sync();
    const int Fd = open("/proc/sys/vm/drop_caches", O_WRONLY | O_CLOEXEC);
    const bool Done = Fd >= 0 && write(Fd, "3", 1) == 1;
    if (Fd >= 0)
        close(Fd);
    return Done;
}

std::string Self;

TPhase Spawn(const std::string& Phase, const std::string& Library, const std::string& Index,
             const std::string& Preload = {}) {
    std::string Command;
    if (!Preload.empty())
        Command = "LD_PRELOAD='" + Preload + "' BENCH_SLOW_PREFIX='" + Library + "' ";
    Command += "'" + Self + "' --phase " + Phase + " --index '" + Index + "' '" + Library + "'";
    if (ReaderThreads >= 0)
        Command += " --readers " + std::to_string(ReaderThreads);
    TPhase Result;
    FILE* Out = popen(Command.c_str(), "r");
    if (!Out || std::fscanf(Out, "%lf %lf %lf %ld", &Result.Wall, &Result.Cpu, &Result.MaxRssMiB,
                            &Result.Accepted) != 4)
        std::fprintf(stderr, "bench_index: phase %s failed\n", Phase.c_str());
    if (Out)
        pclose(Out);
    return Result;
}

double Best(const std::vector<TPhase>& Rounds) {
    double B = 1e30;
    for (const TPhase& R : Rounds)
        B = std::min(B, R.Wall);
    return B;
}

// Each round's phase against the same round's search (they ran one after
// the other, so a slow spell of the host falls on both): the median and the
// range over the rounds, beside the ratio of the best rounds; then the
// median of the rounds' CPU time ratios. The search keeps both cores of a
// small machine busy, so what the index adds to it shows in its CPU time,
// which the host's other work moves less than the wall time.
std::string RoundRatios(const std::vector<TPhase>& Phase, const std::vector<TPhase>& Search) {
    std::vector<double> Ratios, CpuRatios;
    for (std::size_t K = 0; K < Phase.size() && K < Search.size(); ++K) {
        if (Search[K].Wall > 0)
            Ratios.push_back(Phase[K].Wall / Search[K].Wall);
        if (Search[K].Cpu > 0)
            CpuRatios.push_back(Phase[K].Cpu / Search[K].Cpu);
    }
    if (Ratios.empty())
        return {};
    const auto [Least, Most] = std::minmax_element(Ratios.begin(), Ratios.end());
    char Line[128];
    std::snprintf(Line, sizeof Line, "; per round %.2f (%.2f to %.2f), CPU time %.2f",
                  Median(Ratios), *Least, *Most, Median(CpuRatios));
    return Line;
}

double MostMemory(const std::vector<TPhase>& Rounds) {
    double M = 0;
    for (const TPhase& R : Rounds)
        M = std::max(M, R.MaxRssMiB);
    return M;
}

long IndexRows(const std::string& Index) {
    // The log copied into the file, as the next run's writer would, then
    // the files the first compile left: a row per folder, each of its files
    // packed in it.
    // (A connection knows the file is in WAL mode only once it has read it.)
    sqlite3* Db = nullptr;
    int LogFrames = -1;
    if (sqlite3_open_v2(Index.c_str(), &Db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(Db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) !=
            SQLITE_OK ||
        sqlite3_wal_checkpoint_v2(Db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &LogFrames, nullptr) !=
            SQLITE_OK ||
        LogFrames < 0)
        std::fprintf(stderr, "bench_index: the log could not be copied in\n");
    sqlite3_close(Db);
    long Files = 0;
    TTagIndex Opened(Index, {});
    if (!Opened.Usable())
        return 0;
    for (const bool Other : {false, true})
        Files += static_cast<long>(Opened.RowsBelow({"/"}, "Windows-1252", Other)->CountFiles());
    return Files;
}

} // namespace

int main(int argc, char** argv) {
    std::string Phase, Index, Library, Shim;
    int Rounds = 3;
    bool Cold = true;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--phase" && I + 1 < argc)
            Phase = argv[++I];
        else if (Arg == "--index" && I + 1 < argc)
            Index = argv[++I];
        else if (Arg == "--shim" && I + 1 < argc)
            Shim = argv[++I];
        else if (Arg == "--rounds" && I + 1 < argc)
            Rounds = std::max(1, std::atoi(argv[++I]));
        else if (Arg == "--readers" && I + 1 < argc)
            ReaderThreads = std::max(0, std::atoi(argv[++I]));
        else if (Arg == "--no-cold")
            Cold = false;
        else
            Library = Arg;
    }
    struct stat Info;
    if (Library.empty() || stat(Library.c_str(), &Info) != 0 || !S_ISDIR(Info.st_mode)) {
        std::fprintf(stderr, "Usage: bench_index [--rounds N] [--no-cold] [--readers N] "
                             "[--shim LIBSLOW.so] [--index FILE] LIBRARY\n");
        return 2;
    }
    if (Index.empty())
        Index = Library + ".index.sqlite";
    if (!Phase.empty())
        return RunPhase(Phase, Library, Index);
    Self = argv[0];

    std::vector<TPhase> Search, First, Second;
    for (int Round = 0; Round < Rounds; ++Round) {
        Search.push_back(Spawn("search", Library, Index));
        First.push_back(Spawn("first", Library, Index));
        Second.push_back(Spawn("second", Library, Index));
    }
    // The file and its log as the compiles left them (pages stay in the log
    // until it holds a few MiB, some of them also in the file), then the file
    // alone once the log is copied in (the count's connection does that as
    // it closes).
    const auto IndexSize = [&Index] {
        double Bytes = 0;
        for (const char* Suffix : {"", "-wal"}) {
            struct stat Part {};
            if (stat((Index + Suffix).c_str(), &Part) == 0)
                Bytes += static_cast<double>(Part.st_size);
        }
        return Bytes;
    };
    const double IndexBytes = IndexSize();
    const long Rows = IndexRows(Index);
    const double CopiedInBytes = IndexSize();
    std::printf("library          %s (%ld files accepted)\n", Library.c_str(), Search[0].Accepted);
    std::printf("warm cache, best of %d:\n", Rounds);
    std::printf("  today's search          %.3f s\n", Best(Search));
    std::printf("  (1) first, empty index  %.3f s  ratio %.2f  (limit 1.15)%s\n", Best(First),
                Best(First) / Best(Search), RoundRatios(First, Search).c_str());
    std::printf("  (2) second              %.3f s  ratio %.2f  (limit 0.5)%s\n", Best(Second),
                Best(Second) / Best(Search), RoundRatios(Second, Search).c_str());
    std::printf("(4) peak memory  search %.1f MiB, first %.1f MiB, second %.1f MiB\n",
                MostMemory(Search), MostMemory(First), MostMemory(Second));
    std::printf("    index        %.1f MiB with its log, %ld files, %.0f bytes per file; "
                "%.1f MiB, %.0f bytes per file, once the log is copied in\n",
                IndexBytes / 1048576.0, Rows, Rows > 0 ? IndexBytes / double(Rows) : 0.0,
                CopiedInBytes / 1048576.0, Rows > 0 ? CopiedInBytes / double(Rows) : 0.0);

    if (!Cold) {
        std::printf("cold cache       skipped (--no-cold)\n");
    } else if (DropPageCache()) {
        std::vector<TPhase> ColdSearch, ColdSecond;
        for (int Round = 0; Round < Rounds; ++Round) {
            DropPageCache();
            ColdSearch.push_back(Spawn("search", Library, Index));
            DropPageCache();
            ColdSecond.push_back(Spawn("second", Library, Index));
        }
        std::printf("cold cache (dropped before each), best of %d:\n", Rounds);
        std::printf("  today's search          %.3f s\n", Best(ColdSearch));
        std::printf("  (3) second              %.3f s  ratio %.2f  (limit 0.35)%s\n",
                    Best(ColdSecond), Best(ColdSecond) / Best(ColdSearch),
                    RoundRatios(ColdSecond, ColdSearch).c_str());
    } else {
        std::printf("cold cache       skipped (dropping the page cache needs root)\n");
    }

    if (!Shim.empty()) {
        const TPhase SlowSearch = Spawn("search", Library, Index, Shim);
        const TPhase SlowFirst = Spawn("first", Library, Index, Shim);
        const TPhase SlowSecond = Spawn("second", Library, Index, Shim);
        std::printf("(5) slow share, 0.5 ms per open and read, one round each:\n");
        std::printf("  today's search          %.3f s\n", SlowSearch.Wall);
        std::printf("  first, empty index      %.3f s  ratio %.2f\n", SlowFirst.Wall,
                    SlowFirst.Wall / SlowSearch.Wall);
        std::printf("  second                  %.3f s  ratio %.2f\n", SlowSecond.Wall,
                    SlowSecond.Wall / SlowSearch.Wall);
    }
    RemoveIndex(Index);
    return 0;
}
