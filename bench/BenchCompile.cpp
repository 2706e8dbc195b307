// Measures the compile search against the least a search must do: (a) a bare
// readdir walk that reads the first 10 bytes of each .mp3 file, (b) the
// engine's RunSearch with the mask *.mp3 and one include criterion * on titles.
// Both walk the same warm tree; the figure of merit is the ratio b/a.
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
#include <string>

namespace {

struct Tally {
    long Files = 0; // entries that are not folders
    long Mp3 = 0;
    long Tagged = 0; // of (b): files accepted
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

CompileJob SearchJob(const std::string& Library) {
    CompileJob Job;
    Job.Folders = {Library};
    Job.FilenameMasks = {"*.mp3"};
    Job.Criteria.Fields[FieldTitle].Criteria.push_back({"*", CriterionState::Include});
    Job.Criteria.IncludeCount = 1;
    return Job;
}

// Wall-clock and CPU seconds of one phase; the CPU time is steadier on a busy machine.
struct Timing {
    double Wall = 1e30;
    double Cpu = 1e30;
    void KeepBest(const Timing& Other) {
        Wall = std::min(Wall, Other.Wall);
        Cpu = std::min(Cpu, Other.Cpu);
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

Timing TimeSearch(const CompileJob& Job, Tally& Count) {
    Count.Tagged = 0;
    SearchHooks Hooks;
    Hooks.FoundFile = [&Count](const TFileInfo&) { ++Count.Tagged; };
    const Stopwatch Watch;
    const SearchResult Result = RunSearch(Job, Hooks);
    const Timing Elapsed = Watch.Elapsed();
    if (Result.Outcome != SearchOutcome::Completed)
        std::fprintf(stderr, "search failed: %s\n", Result.ErrorMessage.c_str());
    return Elapsed;
}

} // namespace

int main(int argc, char** argv) {
    std::string Library;
    int Rounds = 5;
    bool SearchOnly = false;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--rounds" && I + 1 < argc)
            Rounds = std::max(1, std::atoi(argv[++I]));
        else if (Arg == "--search-only")
            SearchOnly = true;
        else if (Library.empty() && !Arg.empty() && Arg[0] != '-')
            Library = Arg;
        else
            Library.clear(), I = argc;
    }
    if (Library.empty()) {
        std::fprintf(stderr, "usage: bench_compile [--rounds N] [--search-only] LIBRARY\n"
                             "--search-only runs the engine's search once, for strace -c.\n");
        return 2;
    }
    const CompileJob Job = SearchJob(Library);
    Tally Count;
    if (SearchOnly) {
        TimeSearch(Job, Count);
        std::printf("%ld files accepted\n", Count.Tagged);
        return 0;
    }

    // Warm the cache with both kinds of walk, then keep the best round of each.
    TimeBare(Library, Count);
    TimeSearch(Job, Count);
    Timing Bare, Search, Floor;
    for (int Round = 0; Round < Rounds; ++Round) {
        Bare.KeepBest(TimeBare(Library, Count));
        Floor.KeepBest(TimeBare(Library, Count, true));
        Search.KeepBest(TimeSearch(Job, Count));
    }
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);

    const double BareRate = Count.Files / Bare.Wall;
    const double SearchRate = Count.Files / Search.Wall;
    std::printf("library        %s\n", Library.c_str());
    std::printf("files          %ld (%ld .mp3, %ld accepted by the search)\n", Count.Files,
                Count.Mp3, Count.Tagged);
    std::printf("(a) bare walk  %9.0f files/s  (%.3f s wall, %.3f s CPU; best of %d)\n", BareRate,
                Bare.Wall, Bare.Cpu, Rounds);
    std::printf("(b) search     %9.0f files/s  (%.3f s wall, %.3f s CPU; best of %d)\n", SearchRate,
                Search.Wall, Search.Cpu, Rounds);
    std::printf("(c) floor      %9.0f files/s  (%.3f s wall, %.3f s CPU; best of %d)\n",
                Count.Files / Floor.Wall, Floor.Wall, Floor.Cpu, Rounds);
    std::printf("    (c is (a) with fstat and a 4 KiB read per .mp3: the fewest system calls\n"
                "     a search that reports sizes can make; c/a = %.2f)\n",
                Bare.Wall / Floor.Wall);
    std::printf("ratio b/a      %.2f  (by CPU time %.2f)\n", SearchRate / BareRate,
                Bare.Cpu / Search.Cpu);
    std::printf("peak memory    %.1f MiB (ru_maxrss)\n", Usage.ru_maxrss / 1024.0);
    return 0;
}
