// Measures the compile search against the least a search must do: (a) a bare
// readdir walk that reads the first 10 bytes of each .mp3 file, (b) the
// engine's RunSearch with the mask *.mp3 and one include criterion * on titles,
// (c) the walk of (a) with an fstat and a 4 KiB read per .mp3 on one thread.
// Each runs on a warm page cache and, where the page cache can be dropped
// (root), on a cold one; the figures of merit are the ratios b/a warm and
// b/c cold, taken within one run. With --selection it times instead the
// search of (b) against the same search whose selection orders the playlist
// by artist, album and track, limits it to 600 minutes and caps each artist at
// three files, round by round, and gives the ratio.
#include "BenchJob.h"
#include "engine/CompileJob.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

struct Tally {
    long Files = 0; // entries that are not folders
    long Mp3 = 0;
    long Tagged = 0;  // of (b): files accepted
    long Dropped = 0; // of (b): files a mask matched that the rules dropped
};

// Reads the first 10 bytes, as any tag check must; with Floor, does what a tag
// reader cannot do without instead: fstat for the size and one 4 KiB read, as the tag reader makes.
void BareWalk(std::string& Path, Tally& Count, bool Floor) {
    DIR* Dir = opendir(Path.c_str());
    if (!Dir)
        return;
    const std::size_t Length = Path.size();
    while (const dirent* Entry = readdir(Dir)) {
        const char* Name = Entry->d_name;
        if (Name[0] == '.' && (Name[1] == 0 || (Name[1] == '.' && Name[2] == 0)))
            continue;
        Path.resize(Length);
        Path += '/';
        Path += Name;
        if (Entry->d_type == DT_DIR) {
            BareWalk(Path, Count, Floor);
            continue;
        }
        ++Count.Files;
        const std::size_t NameLength = std::strlen(Name);
        if (NameLength < 4 || std::strcmp(Name + NameLength - 4, ".mp3") != 0)
            continue;
        ++Count.Mp3;
        const int Fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (Fd < 0)
            continue;
        static char Head[4096];
        struct stat Info;
        if (Floor && fstat(Fd, &Info) != 0)
            std::perror(Path.c_str());
        if (pread(Fd, Head, Floor ? sizeof Head : 10, 0) < 0)
            std::perror(Path.c_str());
        close(Fd);
    }
    Path.resize(Length);
    closedir(Dir);
}

// Wall-clock and CPU seconds of one phase; the CPU time is steadier on a busy machine.
struct Timing {
    double Wall = 1e30;
    double Cpu = 1e30;
};

// The rounds of one phase: the best is the figure, the worst shows the noise.
struct Rounds {
    std::vector<Timing> All;
    void Add(const Timing& T) { All.push_back(T); }
    Timing Best() const {
        Timing B;
        for (const Timing& T : All) {
            B.Wall = std::min(B.Wall, T.Wall);
            B.Cpu = std::min(B.Cpu, T.Cpu);
        }
        return B;
    }
    double WorstWall() const {
        double W = 0;
        for (const Timing& T : All)
            W = std::max(W, T.Wall);
        return W;
    }
};

class Stopwatch {
public:
    Stopwatch() : wall_(std::chrono::steady_clock::now()), cpu_(CpuNow()) {}
    Timing Elapsed() const {
        return {std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_).count(),
                CpuNow() - cpu_};
    }

private:
    static double CpuNow() {
        timespec Now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &Now);
        return double(Now.tv_sec) + double(Now.tv_nsec) * 1e-9;
    }
    std::chrono::steady_clock::time_point wall_;
    double cpu_;
};

Timing TimeBare(const std::string& Library, Tally& Count, bool Floor = false) {
    Count = {};
    std::string Path = Library;
    const Stopwatch Watch;
    BareWalk(Path, Count, Floor);
    return Watch.Elapsed();
}

// Reasons (the program's way) or none: the job records why each file was
// kept or dropped, and dropped files are handed over too.
// Lengths the library's files do not have (their audio is filler): 2:00 to
// 5:59 by the path, as a tag index that remembers them would answer.
std::int64_t MadeUpLength(const std::string& Path) {
    return 120000 + static_cast<std::int64_t>(std::hash<std::string>{}(Path) % 240) * 1000;
}

Timing TimeSearch(CompileJob Job, Tally& Count, std::size_t Readers, bool Reasons = true,
                  bool KnownLengths = false) {
    Count.Tagged = 0;
    Count.Dropped = 0;
    Job.RecordReasons = Reasons;
    SearchHooks Hooks;
    Hooks.FoundFile = [&Count](const TFileInfo&) { ++Count.Tagged; };
    if (Reasons)
        Hooks.DroppedFile = [&Count](const TFileInfo&) { ++Count.Dropped; };
    SearchReaders Tuning;
    Tuning.Threads = Readers;
    if (KnownLengths)
        Tuning.Duration = MadeUpLength;
    const Stopwatch Watch;
    const SearchResult Result = RunSearch(Job, Hooks, Tuning);
    const Timing Elapsed = Watch.Elapsed();
    if (Result.Outcome != SearchOutcome::Completed)
        std::fprintf(stderr, "search failed: %s\n", Result.ErrorMessage.c_str());
    return Elapsed;
}

const char* const DropCaches = "/proc/sys/vm/drop_caches";

// Writes back and drops the page cache, dentries and inodes. False (with the
// reason in Why) where that is not allowed.
bool DropPageCache(std::string& Why) {
    sync();
    const int Fd = open(DropCaches, O_WRONLY | O_CLOEXEC);
    if (Fd < 0 || write(Fd, "3", 1) != 1) {
        Why = std::string(std::strerror(errno));
        if (Fd >= 0)
            close(Fd);
        return false;
    }
    close(Fd);
    return true;
}

void PrintPhase(const char* Name, long Files, const Rounds& R) {
    const Timing Best = R.Best();
    std::printf("%-22s %9.0f files/s  (%.3f s wall, %.3f s CPU; best of %zu, worst %.3f s)\n", Name,
                Files / Best.Wall, Best.Wall, Best.Cpu, R.All.size(), R.WorstWall());
}

// The ratio Slow/Fast of every round, as "min-max": how much the machine's noise moves it.
std::string RatioSpread(const Rounds& Slow, const Rounds& Fast) {
    double Low = 1e30, High = 0;
    for (std::size_t I = 0; I < Slow.All.size() && I < Fast.All.size(); ++I) {
        const double Ratio = Slow.All[I].Wall / Fast.All[I].Wall;
        Low = std::min(Low, Ratio);
        High = std::max(High, Ratio);
    }
    char Text[64];
    std::snprintf(Text, sizeof Text, "%.2f-%.2f", Low, High);
    return Text;
}

// The median of the per-round ratios Slow/Fast by wall and by CPU time:
// steadier than a ratio of two best rounds when the machine is noisy.
std::pair<double, double> MedianRatios(const Rounds& Slow, const Rounds& Fast) {
    std::vector<double> Wall, Cpu;
    for (std::size_t I = 0; I < Slow.All.size() && I < Fast.All.size(); ++I) {
        Wall.push_back(Slow.All[I].Wall / Fast.All[I].Wall);
        Cpu.push_back(Slow.All[I].Cpu / Fast.All[I].Cpu);
    }
    return {Median(Wall), Median(Cpu)};
}

std::vector<std::size_t> ParseList(const std::string& Text) {
    std::vector<std::size_t> Out;
    std::stringstream In(Text);
    std::string Item;
    while (std::getline(In, Item, ','))
        if (!Item.empty())
            Out.push_back(static_cast<std::size_t>(std::atol(Item.c_str())));
    return Out;
}

} // namespace

int main(int argc, char** argv) {
    std::string Library;
    int WarmRounds = 5;
    int ColdRounds = 3;
    bool SearchOnly = false;
    bool Cold = true;
    bool Selection = false;
    std::size_t Readers = SearchReaders::DefaultThreads;
    std::vector<std::size_t> Sweep;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--rounds" && I + 1 < argc)
            WarmRounds = std::max(1, std::atoi(argv[++I]));
        else if (Arg == "--cold-rounds" && I + 1 < argc)
            ColdRounds = std::max(1, std::atoi(argv[++I]));
        else if (Arg == "--readers" && I + 1 < argc)
            Readers = static_cast<std::size_t>(std::atol(argv[++I]));
        else if (Arg == "--sweep" && I + 1 < argc)
            Sweep = ParseList(argv[++I]);
        else if (Arg == "--no-cold")
            Cold = false;
        else if (Arg == "--search-only")
            SearchOnly = true;
        else if (Arg == "--selection")
            Selection = true;
        else if (Library.empty() && !Arg.empty() && Arg[0] != '-')
            Library = Arg;
        else
            Library.clear(), I = argc;
    }
    if (Library.empty()) {
        std::fprintf(stderr,
                     "usage: bench_compile [--rounds N] [--cold-rounds N] [--no-cold] "
                     "[--readers N] [--sweep N,N,...] [--search-only] [--selection] LIBRARY\n"
                     "--search-only runs the engine's search once, for strace -c.\n"
                     "--selection times the search with and without an order, a limit and "
                     "a cap.\n"
                     "--sweep times only the search, with each number of reader threads.\n");
        return 2;
    }
    // A mistyped library would time empty walks and print ratios of nothing.
    struct stat LibraryInfo;
    if (stat(Library.c_str(), &LibraryInfo) != 0 || !S_ISDIR(LibraryInfo.st_mode)) {
        std::fprintf(stderr, "bench_compile: %s is not a folder\n", Library.c_str());
        return 2;
    }
    const CompileJob Job = SearchJob(Library);
    Tally Count;
    if (SearchOnly) {
        TimeSearch(Job, Count, Readers);
        std::printf("%ld files accepted\n", Count.Tagged);
        return 0;
    }
    if (Selection) {
        // The plain search and the selected one in turn, the first of the three
        // alternating, warm cache only. The library's files have no audio to
        // take a length from, so the selection runs twice: with lengths known
        // (made up, as remembered by a tag index) and with every length read
        // from the file and found unknown (the limit then never fills).
        CompileJob Selected = Job;
        Selected.Criteria.Selection =
            ReadSelection({"Artist, Album, Track", "", "600 minutes", "", "3", ""});
        TimeBare(Library, Count); // counts the files
        TimeSearch(Job, Count, Readers);
        TimeSearch(Selected, Count, Readers, true, true);
        Rounds Plain, Known, Unknown;
        long KnownKept = 0, UnknownKept = 0;
        for (int Round = 0; Round < WarmRounds; ++Round) {
            const bool PlainFirst = Round % 2 == 0;
            if (PlainFirst)
                Plain.Add(TimeSearch(Job, Count, Readers));
            Known.Add(TimeSearch(Selected, Count, Readers, true, true));
            KnownKept = Count.Tagged;
            Unknown.Add(TimeSearch(Selected, Count, Readers));
            UnknownKept = Count.Tagged;
            if (!PlainFirst)
                Plain.Add(TimeSearch(Job, Count, Readers));
        }
        std::printf("library        %s\n", Library.c_str());
        PrintPhase("(b) search", Count.Files, Plain);
        PrintPhase("(s) selected", Count.Files, Known);
        PrintPhase("(u) s, lengths read", Count.Files, Unknown);
        std::printf("selection      Order=Artist, Album, Track; Limit=600 minutes; Per Artist=3: "
                    "%ld files kept (s), %ld (u)\n",
                    KnownKept, UnknownKept);
        for (const auto& [Name, Timed] :
             {std::pair<const char*, const Rounds*>{"s/b", &Known}, {"u/b", &Unknown}}) {
            const auto [Wall, Cpu] = MedianRatios(*Timed, Plain);
            std::printf("ratio %s      %.3f by best wall time (rounds %s); median of the rounds' "
                        "ratios by wall %.3f, by CPU time %.3f\n",
                        Name, Timed->Best().Wall / Plain.Best().Wall,
                        RatioSpread(*Timed, Plain).c_str(), Wall, Cpu);
        }
        return 0;
    }
    std::string Why;
    if (Cold && !DropPageCache(Why)) {
        std::printf("cold cache     skipped: writing %s failed (%s); it needs root\n", DropCaches,
                    Why.c_str());
        Cold = false;
    }

    if (!Sweep.empty()) {
        // One round visits every reader count in turn, so slow spells of the
        // machine spread over all of them.
        std::vector<Rounds> Warm(Sweep.size()), ColdRuns(Sweep.size());
        TimeBare(Library, Count); // counts the files
        TimeSearch(Job, Count, Readers);
        for (int Round = 0; Round < WarmRounds; ++Round)
            for (std::size_t I = 0; I < Sweep.size(); ++I)
                Warm[I].Add(TimeSearch(Job, Count, Sweep[I]));
        for (int Round = 0; Cold && Round < ColdRounds; ++Round)
            for (std::size_t I = 0; I < Sweep.size(); ++I) {
                DropPageCache(Why);
                ColdRuns[I].Add(TimeSearch(Job, Count, Sweep[I]));
            }
        for (std::size_t I = 0; I < Sweep.size(); ++I) {
            const std::string Name = "readers " + std::to_string(Sweep[I]);
            PrintPhase((Name + " warm").c_str(), Count.Files, Warm[I]);
            if (Cold)
                PrintPhase((Name + " cold").c_str(), Count.Files, ColdRuns[I]);
        }
        return 0;
    }

    // Warm the cache with both kinds of walk; rounds interleave the phases.
    TimeBare(Library, Count);
    TimeSearch(Job, Count, Readers);
    Rounds Bare, Search, Single, Floor, NoReasons, SingleNoReasons;
    long Dropped = 0;
    for (int Round = 0; Round < WarmRounds; ++Round) {
        Bare.Add(TimeBare(Library, Count));
        Floor.Add(TimeBare(Library, Count, true));
        // With and without reasons, in turn first, so neither always runs
        // on the cache state the other leaves.
        const bool ReasonsFirst = Round % 2 == 0;
        if (!ReasonsFirst)
            NoReasons.Add(TimeSearch(Job, Count, Readers, false));
        Search.Add(TimeSearch(Job, Count, Readers));
        Dropped = Count.Dropped;
        if (ReasonsFirst)
            NoReasons.Add(TimeSearch(Job, Count, Readers, false));
        if (!ReasonsFirst)
            SingleNoReasons.Add(TimeSearch(Job, Count, 0, false));
        Single.Add(TimeSearch(Job, Count, 0));
        if (ReasonsFirst)
            SingleNoReasons.Add(TimeSearch(Job, Count, 0, false));
    }
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);

    std::printf("library        %s\n", Library.c_str());
    std::printf("files          %ld (%ld .mp3, %ld accepted by the search)\n", Count.Files,
                Count.Mp3, Count.Tagged);
    const std::size_t Cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("warm cache, %zu reader threads (%zu at work until reads wait):\n", Readers,
                std::min(Readers, Cores));
    PrintPhase("(a) bare walk", Count.Files, Bare);
    PrintPhase("(b) search", Count.Files, Search);
    PrintPhase("(b1) search, 1 thread", Count.Files, Single);
    PrintPhase("(b0) b without reasons", Count.Files, NoReasons);
    PrintPhase("(b10) b1 w/o reasons", Count.Files, SingleNoReasons);
    PrintPhase("(c) floor", Count.Files, Floor);
    // What recording reasons costs: each phase with reasons over the same without.
    const auto [ThreadsWall, ThreadsCpu] = MedianRatios(Search, NoReasons);
    const auto [SingleWall, SingleCpu] = MedianRatios(Single, SingleNoReasons);
    std::printf("reasons        b/b0 %.3f, b1/b10 %.3f by best wall time (rounds %s); median of "
                "the rounds' ratios by wall %.3f, %.3f and by CPU time %.3f, %.3f; %ld dropped "
                "files handed over with their reasons\n",
                Search.Best().Wall / NoReasons.Best().Wall,
                Single.Best().Wall / SingleNoReasons.Best().Wall,
                RatioSpread(Search, NoReasons).c_str(), ThreadsWall, SingleWall, ThreadsCpu,
                SingleCpu, Dropped);
    std::printf("    (c is (a) with fstat and a 4 KiB read per .mp3, on one thread: the fewest\n"
                "     system calls a search that reports sizes can make; c/a = %.2f)\n",
                Bare.Best().Wall / Floor.Best().Wall);
    std::printf("ratio b/a      %.2f  (rounds %s; by CPU time %.2f; b1/a %.2f)\n",
                Bare.Best().Wall / Search.Best().Wall, RatioSpread(Bare, Search).c_str(),
                Bare.Best().Cpu / Search.Best().Cpu, Bare.Best().Wall / Single.Best().Wall);
    std::printf("ratio b/c      %.2f  (rounds %s)\n", Floor.Best().Wall / Search.Best().Wall,
                RatioSpread(Floor, Search).c_str());
    std::printf("peak memory    %.1f MiB (ru_maxrss)\n", Usage.ru_maxrss / 1024.0);

    if (Cold) {
        Rounds ColdBare, ColdSearch, ColdSingle, ColdFloor;
        for (int Round = 0; Round < ColdRounds; ++Round) {
            DropPageCache(Why);
            ColdBare.Add(TimeBare(Library, Count));
            DropPageCache(Why);
            ColdFloor.Add(TimeBare(Library, Count, true));
            DropPageCache(Why);
            ColdSearch.Add(TimeSearch(Job, Count, Readers));
            DropPageCache(Why);
            ColdSingle.Add(TimeSearch(Job, Count, 0));
        }
        std::printf("cold cache (page cache dropped before each walk), %zu reader threads:\n",
                    Readers);
        PrintPhase("(a) bare walk", Count.Files, ColdBare);
        PrintPhase("(b) search", Count.Files, ColdSearch);
        PrintPhase("(b1) search, 1 thread", Count.Files, ColdSingle);
        PrintPhase("(c) floor", Count.Files, ColdFloor);
        std::printf("ratio b/c      %.2f  (rounds %s; b1/c %.2f)\n",
                    ColdFloor.Best().Wall / ColdSearch.Best().Wall,
                    RatioSpread(ColdFloor, ColdSearch).c_str(),
                    ColdFloor.Best().Wall / ColdSingle.Best().Wall);
        std::printf("ratio b/a      %.2f  (rounds %s)\n",
                    ColdBare.Best().Wall / ColdSearch.Best().Wall,
                    RatioSpread(ColdBare, ColdSearch).c_str());
    }
    return 0;
}
