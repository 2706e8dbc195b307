// Measures how fast the main window takes in found files (the compile's
// hand-over: AddFoundFile into the playlist panel, counts line included) for
// 10,000 and 100,000 files, then fills the list with 1,000,000 files and
// reports how long sorting them takes per column and the process's peak memory.
// Usage: bench_gui [--rounds N] [--small FILES] [--large FILES] [--rows FILES]
// Runs offscreen; the window is shown on its Compile page so the view is live.
// The files are made one at a time as they are handed over, so the benchmark's
// own data does not count in the peak.
#include "app/Main.h"
#include "engine/CompileJob.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

// The files of one run, made on demand from a seed: the same seed gives the same files.
class TFileMaker {
public:
    explicit TFileMaker(unsigned Seed) : random_(Seed) {}
    const TFileInfo& Next() {
        auto pick = [&](int Limit) { return static_cast<int>(random_() % unsigned(Limit)); };
        static const char* const genres[] = {"Rock",      "Pop",  "Jazz", "Blues",
                                             "Classical", "Folk", "Metal"};
        const int artist = pick(2000), album = pick(12), track = 1 + pick(14);
        TMediaInfo& info = file_.MediaInfo;
        info.Artist = "Artist " + std::to_string(artist);
        info.Album = "Album " + std::to_string(album);
        info.Title = "Title " + std::to_string(pick(1000000));
        info.Genre = genres[pick(7)];
        info.Year = std::to_string(1950 + pick(75));
        info.Track = std::to_string(track) + "/14";
        file_.FileName = "/srv/music/" + info.Artist + "/" + info.Album + "/" +
                         std::to_string(track) + " " + info.Title + ".mp3";
        file_.Size = 2000000 + pick(4000000);
        return file_;
    }

private:
    std::mt19937 random_;
    TFileInfo file_;
};

double PeakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// One ingestion run into an emptied list; the event loop turns once per file,
// as it does between the worker's hand-overs. Returns files per second.
double Ingest(TMainForm& Form, int Count, unsigned Seed) {
    Form.Playlist->Clear();
    Form.UpdatePlaylistCheckCount();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    TFileMaker files(Seed);
    for (int i = 0; i < Count; ++i) {
        Form.AddFoundFile(files.Next());
        QApplication::processEvents();
    }
    Form.Playlist->Model()->Flush();
    QApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const std::string expected = std::to_string(Count) + " media files included";
    if (Form.Playlist->Count() != Count ||
        !Form.PlaylistCheckCount->text().toStdString().starts_with(expected)) {
        std::fprintf(stderr, "bench_gui: the list or counts line is wrong\n");
        std::exit(1);
    }
    return Count / seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 3, smallCount = 10000, largeCount = 100000, rowCount = 1000000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--small"))
            smallCount = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--large"))
            largeCount = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--rows"))
            rowCount = std::max(1, std::atoi(argv[++i]));
    }
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    TMainForm form(QDir(settingsDir.path()).filePath("2.ini"));
    form.SetStoreOnDestroy(false);
    form.show();
    for (int i = 0; i <= CompilePage; ++i)
        form.NextClick();

    Ingest(form, smallCount, 1); // warm-up: icon cache, allocator, fonts

    double smallRate = 0, largeRate = 0;
    for (int round = 0; round < rounds; ++round) {
        smallRate = std::max(smallRate, Ingest(form, smallCount, 1));
        largeRate = std::max(largeRate, Ingest(form, largeCount, 2));
    }
    std::printf("gui ingestion %7d files: %9.0f files/s (best of %d)\n", smallCount, smallRate,
                rounds);
    std::printf("gui ingestion %7d files: %9.0f files/s (best of %d)\n", largeCount, largeRate,
                rounds);
    std::printf("gui ratio 100k/10k  %.2f (target >= 0.80)\n", largeRate / smallRate);

    const double rowsRate = Ingest(form, rowCount, 3);
    std::printf("gui ingestion %7d files: %9.0f files/s (one round)\n", rowCount, rowsRate);
    std::printf("gui peak memory with %d rows: %.0f MB (ru_maxrss, after ingestion)\n", rowCount,
                PeakMegabytes());

    const char* const headers[] = {"Filename", "Title", "Artist", "Album",
                                   "Genre",    "Year",  "Track"};
    // Each timed sort starts from an order unrelated to its column (sorted by
    // the random titles, or by path for the title column itself), and a click
    // on a column other than the last one always sorts ascending. The first
    // click on a column is reported apart: it may build what later clicks reuse.
    std::vector<double> first(7), best(7, 1e9);
    for (int round = 0; round <= rounds; ++round) {
        for (int column = 0; column < 7; ++column) {
            form.Playlist->ListColumnClick(column == 1 ? 0 : 1);
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            form.Playlist->ListColumnClick(column);
            QApplication::processEvents();
            const double milliseconds = timer.nsecsElapsed() / 1e6;
            if (round == 0)
                first[column] = milliseconds;
            else
                best[column] = std::min(best[column], milliseconds);
        }
    }
    std::printf("gui sort %d rows, first click:", rowCount);
    for (int column = 0; column < 7; ++column)
        std::printf(" %s %.0f ms", headers[column], first[column]);
    std::printf("\ngui sort %d rows, later clicks (best of %d):", rowCount, rounds);
    for (int column = 0; column < 7; ++column)
        std::printf(" %s %.0f ms", headers[column], best[column]);
    std::printf("\ngui peak memory with %d rows: %.0f MB (ru_maxrss, after sorting)\n", rowCount,
                PeakMegabytes());
    return 0;
}
