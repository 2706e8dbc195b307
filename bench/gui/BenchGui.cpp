// Measures how fast the main window takes in found files (the compile's
// hand-over: AddFoundFile into the playlist panel, counts line included) for
// 10,000 and 100,000 files, and how long sorting 100,000 rows takes per column.
// Usage: bench_gui [--rounds N] [--small FILES] [--large FILES]
// Runs offscreen; the window is shown on its Compile page so the view is live.
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
#include <vector>

namespace {

std::vector<TFileInfo> MakeFiles(int Count, unsigned Seed) {
    std::mt19937 random(Seed);
    auto pick = [&](int Limit) { return static_cast<int>(random() % unsigned(Limit)); };
    const char* const genres[] = {"Rock", "Pop", "Jazz", "Blues", "Classical", "Folk", "Metal"};
    std::vector<TFileInfo> files;
    files.reserve(Count);
    for (int i = 0; i < Count; ++i) {
        const int artist = pick(2000), album = pick(12), track = 1 + pick(14);
        TFileInfo file;
        file.MediaInfo.Artist = "Artist " + std::to_string(artist);
        file.MediaInfo.Album = "Album " + std::to_string(album);
        file.MediaInfo.Title = "Title " + std::to_string(pick(1000000));
        file.MediaInfo.Genre = genres[pick(7)];
        file.MediaInfo.Year = std::to_string(1950 + pick(75));
        file.MediaInfo.Track = std::to_string(track) + "/14";
        file.FileName = "/srv/music/" + file.MediaInfo.Artist + "/" + file.MediaInfo.Album + "/" +
                        std::to_string(track) + " " + file.MediaInfo.Title + ".mp3";
        file.Size = 2000000 + pick(4000000);
        files.push_back(std::move(file));
    }
    return files;
}

// One ingestion run into an emptied list; the event loop turns once per file,
// as it does between the worker's hand-overs. Returns files per second.
double Ingest(TMainForm& Form, const std::vector<TFileInfo>& Files) {
    Form.Playlist->Clear();
    Form.UpdatePlaylistCheckCount();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    for (const TFileInfo& file : Files) {
        Form.AddFoundFile(file);
        QApplication::processEvents();
    }
    Form.Playlist->Model()->Flush();
    QApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    const std::string expected = std::to_string(Files.size()) + " media files included";
    if (Form.Playlist->Count() != static_cast<int>(Files.size()) ||
        !Form.PlaylistCheckCount->text().toStdString().starts_with(expected)) {
        std::fprintf(stderr, "bench_gui: the list or counts line is wrong\n");
        std::exit(1);
    }
    return Files.size() / seconds;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int rounds = 3, smallCount = 10000, largeCount = 100000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--small"))
            smallCount = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--large"))
            largeCount = std::max(1, std::atoi(argv[++i]));
    }
    QApplication app(argc, argv);
    QTemporaryDir settingsDir;
    TMainForm form(QDir(settingsDir.path()).filePath("2.ini"));
    form.SetStoreOnDestroy(false);
    form.show();
    for (int i = 0; i <= CompilePage; ++i)
        form.NextClick();

    const std::vector<TFileInfo> small = MakeFiles(smallCount, 1);
    const std::vector<TFileInfo> large = MakeFiles(largeCount, 2);
    Ingest(form, small); // warm-up: icon cache, allocator, fonts

    double smallRate = 0, largeRate = 0;
    for (int round = 0; round < rounds; ++round) {
        smallRate = std::max(smallRate, Ingest(form, small));
        largeRate = std::max(largeRate, Ingest(form, large));
    }
    std::printf("gui ingestion %7d files: %9.0f files/s (best of %d)\n", smallCount, smallRate,
                rounds);
    std::printf("gui ingestion %7d files: %9.0f files/s (best of %d)\n", largeCount, largeRate,
                rounds);
    std::printf("gui ratio 100k/10k  %.2f (target >= 0.80)\n", largeRate / smallRate);

    const char* const headers[] = {"Filename", "Title", "Artist", "Album",
                                   "Genre",    "Year",  "Track"};
    // Each timed sort starts from an order unrelated to its column (sorted by
    // the random titles, or by path for the title column itself), and a click
    // on a column other than the last one always sorts ascending.
    std::printf("gui sort %d rows (click, best of %d):", largeCount, rounds);
    for (int column = 0; column < 7; ++column) {
        double best = 1e9;
        for (int round = 0; round < rounds; ++round) {
            form.Playlist->ListColumnClick(column == 1 ? 0 : 1);
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            form.Playlist->ListColumnClick(column);
            QApplication::processEvents();
            best = std::min(best, timer.nsecsElapsed() / 1e6);
        }
        std::printf(" %s %.0f ms", headers[column], best);
    }
    std::printf("\n");
    return 0;
}
