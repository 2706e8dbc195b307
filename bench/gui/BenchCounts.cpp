// The counts of what each rule does, on the benchmark library:
// (1) the filling pass that reads tags into an empty tag index, against a
//     compile into an empty index, and then the lengths it reads;
// (2) with every file indexed, the time from an edit of one mask to the new
//     counts, through the window's counting thread (the window adds its 30 ms
//     wait for the end of a burst of keystrokes), and the engine's count alone.
// Usage: bench_counts [--rounds N] [--index FILE] LIBRARY
#include "app/CountsController.h"
#include "engine/CompileJob.h"
#include "engine/Counts.h"
#include "index/TagIndex.h"

#include <QCoreApplication>
#include <QElapsedTimer>

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

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point Start) {
    return std::chrono::duration<double>(TClock::now() - Start).count();
}

void RemoveIndex(const std::string& Path) {
    for (const char* Suffix : {"", "-wal", "-shm"})
        unlink((Path + Suffix).c_str());
}

WizardSettings LibrarySettings(const std::string& Library) {
    WizardSettings Settings;
    Settings.Folders = {{Library, CheckState::Checked}};
    Settings.Filenames = {{"*.mp3", CheckState::Checked}, {"*.flac", CheckState::Checked}};
    Settings.Criteria[FieldTitle] = {{"*", CriterionState::Include},
                                     {"*Love*", CriterionState::Exclude}};
    Settings.Criteria[FieldArtist] = {{"A*", CriterionState::Include}};
    Settings.Criteria[FieldYear] = {{"1990..1999", CriterionState::Exclude}};
    return Settings;
}

double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return Values.empty() ? 0 : Values[Values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication App(argc, argv);
    std::string Library, Index;
    int Rounds = 3;
    for (int I = 1; I < argc; ++I) {
        if (!std::strcmp(argv[I], "--rounds") && I + 1 < argc)
            Rounds = std::max(1, std::atoi(argv[++I]));
        else if (!std::strcmp(argv[I], "--index") && I + 1 < argc)
            Index = argv[++I];
        else
            Library = argv[I];
    }
    struct stat Info;
    if (Library.empty() || stat(Library.c_str(), &Info) != 0 || !S_ISDIR(Info.st_mode)) {
        std::fprintf(stderr, "Usage: bench_counts [--rounds N] [--index FILE] LIBRARY\n");
        return 2;
    }
    if (Index.empty())
        Index = Library + ".counts.sqlite";
    const WizardSettings Settings = LibrarySettings(Library);
    const CompileJob Job = MakeCompileJob(Settings);

    // (1) Reading into an empty index: a compile, and the filling pass.
    double Compile = 1e30, Filling = 1e30, Lengths = 1e30;
    std::size_t Read = 0;
    for (int Round = 0; Round < Rounds; ++Round) {
        RemoveIndex(Index);
        {
            auto Remembered = std::make_shared<TTagIndex>(Index, nullptr);
            SearchReaders Readers;
            Readers.Index = Remembered;
            const TClock::time_point Start = TClock::now();
            RunSearch(Job, {}, Readers);
            Remembered->Flush();
            Compile = std::min(Compile, Since(Start));
        }
        RemoveIndex(Index);
        {
            TTagIndex Remembered(Index, nullptr);
            const TClock::time_point Start = TClock::now();
            TFolderSnapshot Snapshot = TFolderSnapshot::Take(SnapshotKeyOf(Settings), &Remembered);
            Snapshot.FillTags(Job, &Remembered, {},
                              [&Read](std::size_t, std::size_t Wanted) { Read = Wanted; });
            Remembered.Flush();
            Filling = std::min(Filling, Since(Start));
            const TClock::time_point Then = TClock::now();
            Snapshot.FillLengths(Job, &Remembered);
            Remembered.Flush();
            Lengths = std::min(Lengths, Since(Then));
        }
    }

    // (2) Every file indexed: the first counts, then edits of one mask.
    auto Remembered = std::make_shared<TTagIndex>(Index, nullptr);
    TFolderSnapshot Snapshot = TFolderSnapshot::Take(SnapshotKeyOf(Settings), Remembered.get());
    std::vector<double> Engine;
    WizardSettings Edited = Settings;
    for (int Edit = 0; Edit < 10; ++Edit) {
        Edited.Criteria[FieldTitle][1].Caption = "*" + std::string(1, char('a' + Edit)) + "*";
        const TClock::time_point Start = TClock::now();
        const TSearchCounts Counts = CountSearch(Snapshot, Edited);
        Engine.push_back(Since(Start));
        if (!Counts.Complete())
            std::fprintf(stderr, "bench_counts: the index does not hold every file\n");
    }

    std::uint64_t Found = 0;
    TClock::time_point Asked;
    std::vector<double> Through;
    std::uint64_t Waiting = 0;
    double First = 0;
    TCountsController Controller(
        [&](const TSearchCounts& Counts, std::uint64_t Generation, bool Final) {
            if (Final && Generation == Waiting) {
                Through.push_back(Since(Asked));
                Found = Counts.Found;
                App.quit();
            }
        },
        {});
    // The first request walks the folders (from the index); the edits after
    // it count the snapshot that walk made.
    Asked = TClock::now();
    Waiting = Controller.Request(Settings, Remembered);
    App.exec();
    First = Through.back();
    Through.clear();
    for (int Edit = 0; Edit < 10; ++Edit) {
        Edited.Criteria[FieldTitle][1].Caption = "*" + std::string(1, char('k' + Edit)) + "*";
        Asked = TClock::now();
        Waiting = Controller.Request(Edited, Remembered);
        App.exec();
    }

    std::printf("library          %s (%zu files read by the filling pass)\n", Library.c_str(),
                Read);
    std::printf("(1) into an empty index, best of %d:\n", Rounds);
    std::printf("  compile              %.3f s\n", Compile);
    std::printf("  filling pass, tags   %.3f s  (%.2f of the compile's time)\n", Filling,
                Filling / Compile);
    std::printf("  then the lengths     %.3f s  (of the files found, for the total length)\n",
                Lengths);
    std::printf("(2) every file indexed (%llu found):\n", static_cast<unsigned long long>(Found));
    std::printf("  first counts (walk)  %.0f ms\n", First * 1000);
    std::printf("  edit to new counts   %.0f ms median, %.0f ms most, through the counting "
                "thread (+30 ms the window waits for a burst to end; limit 200 ms)\n",
                Median(Through) * 1000, *std::max_element(Through.begin(), Through.end()) * 1000);
    std::printf("  the count alone      %.0f ms median\n", Median(Engine) * 1000);
    Remembered.reset();
    RemoveIndex(Index);
    return 0;
}
