// Measures the search over a mixed library, one folder per format: MP3 with an
// ID3v2 tag, FLAC with a seek table and a cover picture after its comment,
// Opus, M4A with moov after a 4 MiB mdat, M4A with moov first and WMA. Every file carries a tag
// the criterion accepts; the audio is a hole in a sparse file, so the library
// is small on disk and only what the readers touch is ever read.
// Usage: bench_formats [--files N] [--rounds R] [--search-only] FOLDER
//   Without --search-only: generates FOLDER/<format>/ (once) and prints, per
//   format, files per second of the best round and the time per file against
//   MP3's. With --search-only FOLDER: one search over FOLDER (for strace -c).
#include "engine/CompileJob.h"
#include "support/AudioBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace audiobytes;
namespace fs = std::filesystem;

namespace {

struct TFormatFiles {
    const char* Name;
    const char* Extension;
    // Head bytes, the audio's length (a hole), tail bytes.
    std::function<std::string(const TAudioTag&, std::string& Tail, std::int64_t& Hole)> Build;
};

TAudioTag TagOf(std::mt19937& Random, int Index) {
    TAudioTag tag;
    tag.Title = "Track title " + std::to_string(Index);
    tag.Artist = "Artist " + std::to_string(Random() % 500);
    tag.Album = "Album " + std::to_string(Random() % 2000);
    tag.Genres = {"Rock"};
    tag.Date = "2004";
    tag.Track = std::to_string(Index % 15 + 1);
    tag.TrackTotal = "15";
    return tag;
}

std::vector<TFormatFiles> Formats() {
    return {
        {"mp3", ".mp3",
         [](const TAudioTag& Tag, std::string&, std::int64_t& Hole) {
             Hole = 5 << 20;
             std::string frames;
             auto text = [&](const char* Id, const std::string& Value) {
                 frames += tagbytes::TextFrame(3, Id, Value);
             };
             text("TIT2", Tag.Title);
             text("TPE1", Tag.Artist);
             text("TALB", Tag.Album);
             text("TCON", Tag.Genres.front());
             text("TYER", Tag.Date);
             text("TRCK", Tag.Track + "/" + Tag.TrackTotal);
             return tagbytes::Tag(3, frames, 1024) + MpegFrames(1);
         }},
        {"flac", ".flac",
         [](const TAudioTag& Tag, std::string&, std::int64_t& Hole) {
             Hole = 25 << 20;
             return "fLaC" + FlacBlocks({{0, StreamInfo()},
                                         {3, std::string(18 * 60, '\0')},
                                         {4, VorbisComment(VorbisItems(Tag))},
                                         {6, PictureData(120000)},
                                         {1, std::string(8192, '\0')}});
         }},
        {"opus", ".opus",
         [](const TAudioTag& Tag, std::string&, std::int64_t& Hole) {
             Hole = 4 << 20;
             return OggFile(TOggCodec::Opus, Tag);
         }},
        {"m4a", ".m4a",
         [](const TAudioTag& Tag, std::string& Tail, std::int64_t& Hole) {
             // ftyp and the mdat header first; the media is the hole, moov the tail.
             TMp4Layout layout;
             layout.MoovAtEnd = true;
             layout.MdatSize = 0;
             layout.TrackPadding = 40000; // sample tables of a four-minute track
             const std::string whole = Mp4File(Tag, layout);
             const std::size_t moov = whole.find("moov") - 4;
             Hole = 4 << 20;
             Tail = whole.substr(moov);
             std::string head = whole.substr(0, moov);
             head.replace(head.size() - 8, 4, BigEndian(static_cast<std::uint32_t>(8 + Hole), 4));
             return head;
         }},
        {"m4a-first", ".m4a",
         [](const TAudioTag& Tag, std::string&, std::int64_t& Hole) {
             // moov before the media, as a "fast start" file has it: the
             // sample tables still stand between mvhd and udta.
             TMp4Layout layout;
             layout.MdatSize = 0;
             layout.TrackPadding = 40000;
             std::string whole = Mp4File(Tag, layout);
             Hole = 4 << 20;
             whole.replace(whole.size() - 8, 4, BigEndian(static_cast<std::uint32_t>(8 + Hole), 4));
             return whole;
         }},
        {"wma", ".wma",
         [](const TAudioTag& Tag, std::string&, std::int64_t& Hole) {
             Hole = 4 << 20;
             return AsfFile(Tag, true);
         }},
    };
}

void Generate(const std::string& Folder, int Files) {
    std::mt19937 random(5);
    for (const TFormatFiles& format : Formats()) {
        const fs::path dir = fs::path(Folder) / format.Name;
        const fs::path done = fs::path(Folder) / (std::string(format.Name) + ".done");
        if (fs::exists(done))
            continue;
        fs::create_directories(dir);
        for (int i = 0; i < Files; ++i) {
            std::string tail;
            std::int64_t hole = 0;
            const std::string head = format.Build(TagOf(random, i), tail, hole);
            const std::string path =
                (dir / ("track" + std::to_string(i) + format.Extension)).string();
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 ||
                write(fd, head.data(), head.size()) != static_cast<ssize_t>(head.size()) ||
                pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + hole)) !=
                    static_cast<ssize_t>(tail.size()) ||
                ftruncate(fd, static_cast<off_t>(head.size() + hole + tail.size())) != 0) {
                std::perror(path.c_str());
                std::exit(1);
            }
            close(fd);
        }
        close(open(done.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
}

CompileJob SearchJob(const std::string& Folder, const char* Extension) {
    CompileJob job;
    job.Folders = {Folder};
    job.FilenameMasks = {std::string("*") + Extension};
    job.Criteria.Fields[FieldTitle].Criteria.push_back({"Track title*", CriterionState::Include});
    job.Criteria.IncludeCount = 1;
    return job;
}

// Seconds of CPU time, steadier than wall time on a shared machine.
double CpuNow() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

} // namespace

int main(int argc, char** argv) {
    int files = 2000, rounds = 5;
    bool searchOnly = false;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc)
            files = std::atoi(argv[++i]);
        else if (arg == "--rounds" && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else if (arg == "--search-only")
            searchOnly = true;
        else
            folder = arg;
    }
    if (folder.empty()) {
        std::fprintf(stderr, "usage: bench_formats [--files N] [--rounds R] [--search-only] "
                             "FOLDER\n");
        return 2;
    }
    if (searchOnly) {
        long found = 0;
        SearchHooks hooks;
        hooks.FoundFile = [&](const TFileInfo&) { ++found; };
        RunSearch(SearchJob(folder, ""), hooks);
        std::printf("%ld\n", found);
        return 0;
    }

    Generate(folder, files);
    // Rounds go over every format in turn, so that a slow spell of the shared
    // machine falls on all of them; each format keeps its best round.
    const std::vector<TFormatFiles> formats = Formats();
    std::vector<double> best(formats.size(), 1e30);
    std::vector<long> found(formats.size(), 0);
    for (int round = 0; round < rounds; ++round)
        for (std::size_t f = 0; f < formats.size(); ++f) {
            const CompileJob job =
                SearchJob((fs::path(folder) / formats[f].Name).string(), formats[f].Extension);
            found[f] = 0;
            SearchHooks hooks;
            hooks.FoundFile = [&](const TFileInfo&) { ++found[f]; };
            const double start = CpuNow();
            RunSearch(job, hooks);
            best[f] = std::min(best[f], CpuNow() - start);
        }
    const double mp3PerFile = best[0] / double(files);
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const double perFile = best[f] / double(files);
        std::printf("format %-9s %6.0f files/s  %6.2f us/file  %.2fx MP3  (%ld of %d accepted, "
                    "CPU time, best of %d)\n",
                    formats[f].Name, double(files) / best[f], perFile * 1e6, perFile / mp3PerFile,
                    found[f], files, rounds);
        if (found[f] != files)
            std::fprintf(stderr, "format %s: only %ld of %d files accepted\n", formats[f].Name,
                         found[f], files);
    }
    return 0;
}
