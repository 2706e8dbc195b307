// The watch on the benchmark library: the built program's `morvane --watch`
// keeps a search over the whole library (read only) plus a small scratch
// folder current. One file in the scratch folder is retagged in and out of
// the search: the time from the end of the write to the rewritten playlist
// (2 s of settle time included). Then 10,000 changes (retags, files made and
// removed, folders made and removed) with a refresh every 1,000: the
// program's resident memory before and after them.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

std::string Be32(std::uint32_t Value) {
    return {static_cast<char>(Value >> 24), static_cast<char>(Value >> 16),
            static_cast<char>(Value >> 8), static_cast<char>(Value)};
}

// An ID3v2.3 tag with one title, and a little audio after it.
std::string TaggedFile(const std::string& Title) {
    const std::string Text = std::string(1, '\0') + Title;
    const std::string Frame =
        "TIT2" + Be32(static_cast<std::uint32_t>(Text.size())) + std::string(2, '\0') + Text;
    const auto Size = static_cast<std::uint32_t>(Frame.size());
    std::string Header = "ID3";
    Header += '\x03';
    Header += '\0';
    Header += '\0';
    for (int Shift = 21; Shift >= 0; Shift -= 7)
        Header += static_cast<char>((Size >> Shift) & 0x7F);
    return Header + Frame + std::string(4096, '\x55');
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
    const int Fd = open(Path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (Fd < 0 || write(Fd, Bytes.data(), Bytes.size()) != static_cast<ssize_t>(Bytes.size())) {
        std::perror(Path.c_str());
        std::exit(1);
    }
    close(Fd);
}

std::string ReadFile(const std::string& Path) {
    std::ifstream In(Path, std::ios::binary);
    std::ostringstream Out;
    Out << In.rdbuf();
    return Out.str();
}

long StatusKiB(pid_t Pid, const char* Key) {
    std::ifstream In("/proc/" + std::to_string(Pid) + "/status");
    std::string Line;
    while (std::getline(In, Line))
        if (Line.starts_with(Key))
            return std::atol(Line.c_str() + std::strlen(Key));
    return -1;
}

std::size_t LogLines(const std::string& Log) {
    const std::string Text = ReadFile(Log);
    return static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\n'));
}

bool WaitFor(const auto& Done, std::chrono::seconds Limit) {
    const auto End = TClock::now() + Limit;
    while (TClock::now() < End) {
        if (Done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::string Program, Library, Scratch = "/tmp";
    int Rounds = 5;
    int Changes = 10000;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--program" && I + 1 < argc)
            Program = argv[++I];
        else if (Arg == "--scratch" && I + 1 < argc)
            Scratch = argv[++I];
        else if (Arg == "--rounds" && I + 1 < argc)
            Rounds = std::max(1, std::atoi(argv[++I]));
        else if (Arg == "--changes" && I + 1 < argc)
            Changes = std::max(0, std::atoi(argv[++I]));
        else
            Library = Arg;
    }
    struct stat Info;
    if (Program.empty() || Library.empty() || stat(Library.c_str(), &Info) != 0 ||
        !S_ISDIR(Info.st_mode)) {
        std::fprintf(stderr, "Usage: bench_watch --program MORVANE [--scratch FOLDER] "
                             "[--rounds N] [--changes N] LIBRARY\n");
        return 2;
    }
    std::string Work = Scratch + "/bench-watch-XXXXXX";
    if (!mkdtemp(Work.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string Album = Work + "/album";
    mkdir(Album.c_str(), 0755);
    const std::string Song = Album + "/retagged.mp3";
    WriteFile(Song, TaggedFile("Bench In"));
    // Every .mp3 of both folders but those titled "Bench Out".
    const std::string Search = Work + "/watched.morvane";
    const std::string Playlist = Work + "/watched.m3u";
    std::ofstream(Search) << "[Folders]\nItem Count=2\nItem 1=" << Library
                          << "\nItem 1 State=1\nItem 2=" << Album
                          << "\nItem 2 State=1\nRecurse=1\n"
                             "[Filenames]\nItem Count=1\nItem 1=*.mp3\nItem 1 State=1\n"
                             "[Titles]\nItem Count=2\nItem 1=*\nItem 1 State=0\n"
                             "Item 2=Bench Out\nItem 2 State=1\nRule=1\n"
                             "[Options]\nInclude Tagless Files=1\n"
                             "[Playlist]\nPath=watched.m3u\n";
    const std::string Log = Work + "/watch.log";
    const std::string Cache = Work + "/cache";

    const pid_t Child = fork();
    if (Child == 0) {
        setenv("XDG_CACHE_HOME", Cache.c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        const int Fd = open(Log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(Fd, 2);
        execl(Program.c_str(), Program.c_str(), "--watch", Search.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto Started = TClock::now();
    // The first refresh fills the (empty) tag index.
    if (!WaitFor([&] { return LogLines(Log) >= 1; }, std::chrono::seconds(600))) {
        std::fprintf(stderr, "no first refresh:\n%s", ReadFile(Log).c_str());
        kill(Child, SIGTERM);
        return 1;
    }
    const double First = std::chrono::duration<double>(TClock::now() - Started).count();
    const std::string FoundLine = ReadFile(Log);
    std::printf("watch          first refresh (empty index) %.2f s: %s", First, FoundLine.c_str());
    const long RssStart = StatusKiB(Child, "VmRSS:");

    // Retagged out of the search and back in: each time the playlist changes.
    std::vector<double> Times;
    bool In = true;
    for (int Round = 0; Round < Rounds; ++Round) {
        In = !In;
        const std::size_t Before = LogLines(Log);
        const std::string Old = ReadFile(Playlist);
        WriteFile(Song, TaggedFile(In ? "Bench In" : "Bench Out"));
        const auto Written = TClock::now();
        const bool Done = WaitFor(
            [&] {
                const std::string Now = ReadFile(Playlist);
                return Now != Old && (Now.find("retagged.mp3") != std::string::npos) == In;
            },
            std::chrono::seconds(60));
        Times.push_back(std::chrono::duration<double>(TClock::now() - Written).count());
        if (!Done) {
            std::fprintf(stderr, "the playlist did not follow the retag:\n%s",
                         ReadFile(Log).c_str());
            kill(Child, SIGTERM);
            return 1;
        }
        WaitFor([&] { return LogLines(Log) > Before; }, std::chrono::seconds(10));
    }
    std::sort(Times.begin(), Times.end());
    std::printf("watch          one file retagged -> playlist rewritten: median %.2f s, min %.2f "
                "s, max %.2f s over %d rounds (settle time 2 s included; %zu-folder search "
                "over the library)\n",
                Times[Times.size() / 2], Times.front(), Times.back(), Rounds, std::size_t(2));

    // Changes of every kind; after each thousand, a pause for a refresh.
    const long RssBefore = StatusKiB(Child, "VmRSS:");
    const std::size_t LinesBefore = LogLines(Log);
    std::string Series; // after each refresh, MiB
    for (int Change = 0; Change < Changes; ++Change) {
        const std::string Name = Album + "/f" + std::to_string(Change % 50) + ".mp3";
        switch (Change % 5) {
        case 0:
            WriteFile(Song, TaggedFile(Change % 10 == 0 ? "Bench Out" : "Bench In"));
            break;
        case 1:
            WriteFile(Name, TaggedFile("New " + std::to_string(Change)));
            break;
        case 2:
            unlink(Name.c_str());
            break;
        case 3:
            mkdir((Album + "/d" + std::to_string(Change % 20)).c_str(), 0755);
            break;
        default:
            rmdir((Album + "/d" + std::to_string((Change + 10) % 20)).c_str());
            break;
        }
        if ((Change + 1) % 1000 == 0) {
            const std::size_t Lines = LogLines(Log);
            WaitFor([&] { return LogLines(Log) > Lines; }, std::chrono::seconds(60));
            char Mib[32];
            std::snprintf(Mib, sizeof Mib, " %.1f", StatusKiB(Child, "VmRSS:") / 1024.0);
            Series += Mib;
        }
    }
    const long RssAfter = StatusKiB(Child, "VmRSS:");
    const long Peak = StatusKiB(Child, "VmHWM:");
    std::printf("watch          resident memory: %.1f MiB after the first refresh, %.1f MiB before "
                "%d changes, %.1f MiB after them (%zu refreshes between), peak %.1f MiB\n",
                RssStart / 1024.0, RssBefore / 1024.0, Changes, RssAfter / 1024.0,
                LogLines(Log) - LinesBefore, Peak / 1024.0);
    std::printf("watch          resident memory after each refresh among them (MiB):%s\n",
                Series.c_str());

    const auto Asked = TClock::now();
    kill(Child, SIGTERM);
    int Status = 0;
    waitpid(Child, &Status, 0);
    std::printf("watch          SIGTERM to exit %.3f s, exit status %d\n",
                std::chrono::duration<double>(TClock::now() - Asked).count(),
                WIFEXITED(Status) ? WEXITSTATUS(Status) : -1);
    std::string Remove = "rm -rf '" + Work + "'";
    return std::system(Remove.c_str()) == 0 ? 0 : 1;
}
