// The built program against hostile input: what it says on stderr, its exit
// status and the files it leaves, run as a separate process.
#include "AppTestSupport.h"
#include "app/AppEntry.h"
#include "app/Main.h"
#include "engine/Criteria.h"
#include "files/SaveJournal.h"
#include "panels/CheckListFrame.h"
#include "support/TagBytes.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    bool Ended = false; // within the time allowed
    int Status = -1;
    std::string Out;
    std::string Err;
    std::vector<std::string> ErrLines() const {
        std::vector<std::string> Lines;
        for (std::size_t Start = 0; Start < Err.size();) {
            const std::size_t End = std::min(Err.find('\n', Start), Err.size());
            Lines.push_back(Err.substr(Start, End - Start));
            Start = End + 1;
        }
        return Lines;
    }
};

QString ProgramPath() {
    return QCoreApplication::applicationDirPath() + "/../morvane";
}

using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Arguments are bytes, passed to the program as they are (QProcess would
// re-encode them). InChild runs in the child before the program starts;
// Environment sets (or, without a value, removes) variables for it.
ProgramRun RunProgram(const std::vector<std::string>& Arguments, int TimeoutMs = 60000,
                      const std::function<void()>& InChild = {},
                      const EnvironmentChanges& Environment = {}) {
    const std::string Program = QFile::encodeName(ProgramPath()).toStdString();
    int Out[2], Err[2];
    if (pipe(Out) != 0 || pipe(Err) != 0)
        return {};
    const pid_t Child = fork();
    if (Child == 0) {
        dup2(Out[1], 1);
        dup2(Err[1], 2);
        for (int Fd : {Out[0], Out[1], Err[0], Err[1]})
            close(Fd);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        for (const auto& [Name, Value] : Environment) {
            if (Value)
                setenv(Name.c_str(), Value->c_str(), 1);
            else
                unsetenv(Name.c_str());
        }
        if (InChild)
            InChild();
        std::vector<char*> Argv{const_cast<char*>(Program.c_str())};
        for (const std::string& Argument : Arguments)
            Argv.push_back(const_cast<char*>(Argument.c_str()));
        Argv.push_back(nullptr);
        execv(Program.c_str(), Argv.data());
        _exit(127);
    }
    close(Out[1]);
    close(Err[1]);
    ProgramRun Run;
    pollfd Fds[2] = {{Out[0], POLLIN, 0}, {Err[0], POLLIN, 0}};
    std::string* Sinks[2] = {&Run.Out, &Run.Err};
    const auto Deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    int Open = 2;
    while (Open > 0) {
        const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
            Deadline - std::chrono::steady_clock::now());
        if (Left.count() <= 0 || poll(Fds, 2, static_cast<int>(Left.count())) <= 0)
            break;
        for (int I = 0; I < 2; ++I) {
            if (Fds[I].fd < 0 || !(Fds[I].revents & (POLLIN | POLLHUP)))
                continue;
            char Buffer[4096];
            const ssize_t N = read(Fds[I].fd, Buffer, sizeof Buffer);
            if (N > 0) {
                Sinks[I]->append(Buffer, static_cast<std::size_t>(N));
            } else {
                close(Fds[I].fd);
                Fds[I].fd = -1;
                --Open;
            }
        }
    }
    Run.Ended = Open == 0;
    if (!Run.Ended)
        kill(Child, SIGKILL);
    for (const pollfd& Fd : Fds)
        if (Fd.fd >= 0)
            close(Fd.fd);
    int Status = 0;
    waitpid(Child, &Status, 0);
    Run.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
    return Run;
}

#define REQUIRE_PROGRAM()                                                                          \
    if (!QFile::exists(ProgramPath()))                                                             \
    GTEST_SKIP() << "the program is not built"

using tagbytes::Id3v2Title;

// Settings that find every tagged .mp3 below Folder.
void WriteFindAll(const std::string& SettingsFile, const std::string& Folder) {
    WizardSettings Settings;
    Settings.Folders = {{Folder, CheckState::Checked}};
    Settings.Filenames = {{"*.mp3", CheckState::Checked}};
    Settings.Criteria[FieldTitle] = {{"*", CriterionState::Include}};
    WriteSettings(SettingsFile, Settings);
}

} // namespace

TEST(Program, UnreadableFoldersAreNamedOnOneLineAtTheEndOfAHeadlessCompile) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Music = Dir.str() + "/music";
    const std::string Found = Dir.write("music/open/b.mp3", Id3v2Title("B"));
    Dir.write("music/locked/a.mp3", Id3v2Title("A"));
    Dir.write("music/locked2/a.mp3", Id3v2Title("A"));
    const std::string Settings = Dir.str() + "/settings.ini";
    WriteFindAll(Settings, Music);
    // Readable for everybody but the two locked folders; the playlist folder writable.
    for (const fs::path& Path : {Dir.path(), fs::path(Music), fs::path(Music) / "open"})
        fs::permissions(Path, fs::perms::owner_all | fs::perms::others_read |
                                  fs::perms::others_exec | fs::perms::others_write);
    fs::permissions(Found, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(Settings, fs::perms::others_read, fs::perm_options::add);
    fs::permissions(Music + "/locked", fs::perms::none);
    fs::permissions(Music + "/locked2", fs::perms::none);
    // Root reads every folder: the program then runs as an ordinary user.
    const bool Root = geteuid() == 0;
    const std::string Playlist = Dir.str() + "/list.m3u";
    const ProgramRun Run =
        RunProgram({"--settings", Settings, "--compile", Playlist}, 60000, [Root] {
            if (Root && (setgid(65534) != 0 || setuid(65534) != 0))
                _exit(99);
        });
    ASSERT_TRUE(Run.Ended);
    EXPECT_EQ(Run.Status, 0) << Run.Err;
    const std::vector<std::string> Lines = Run.ErrLines();
    ASSERT_GE(Lines.size(), 2u) << Run.Err;
    EXPECT_EQ(Lines[Lines.size() - 2], "Finished compiling playlist.");
    const std::string& Summary = Lines.back();
    EXPECT_TRUE(Summary.starts_with("2 folders could not be read: ")) << Summary;
    EXPECT_NE(Summary.find(Music + "/locked"), std::string::npos) << Summary;
    EXPECT_NE(Summary.find(Music + "/locked2"), std::string::npos) << Summary;
    EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + Found + "\r\n");
}

TEST(Program, SettingsFilesThatAreNoRegularFileOrTooLargeAreRefusedWithoutBlocking) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Fifo = Dir.str() + "/fifo.ini";
    ASSERT_EQ(mkfifo(Fifo.c_str(), 0644), 0);
    const std::string Large = Dir.write("large.ini", "[Options]\n");
    ASSERT_EQ(truncate(Large.c_str(), (off_t{16} << 20) + 1), 0); // sparse
    const struct {
        std::string File, Reason;
    } Rows[] = {
        {Fifo, "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {Dir.str(), "it is a folder"},
        {Large, "larger than 16 MiB"},
    };
    for (const auto& Row : Rows) {
        const std::string Playlist = Dir.str() + "/list.m3u";
        // A generous guard: before, a FIFO blocked forever and /dev/zero filled memory.
        const ProgramRun Run = RunProgram({"--settings", Row.File, "--compile", Playlist}, 30000);
        ASSERT_TRUE(Run.Ended) << Row.File;
        EXPECT_EQ(Run.Status, 2) << Row.File; // nothing loaded, nothing to search
        const std::vector<std::string> Lines = Run.ErrLines();
        ASSERT_FALSE(Lines.empty()) << Row.File;
        EXPECT_EQ(Lines[0], "cannot read settings file " + Row.File + ": " + Row.Reason);
        EXPECT_FALSE(fs::exists(Playlist));
    }
    // The wizard's store never writes over a refused file.
    for (const std::string& File : {Fifo, Large}) {
        SettingsStore Store(File);
        EXPECT_FALSE(Store.LoadError().empty());
        Store.WriteString("Options", "Rule", "1");
        EXPECT_THROW(Store.Flush(), ESettingsError);
    }
    EXPECT_TRUE(fs::is_fifo(Fifo));
    EXPECT_EQ(fs::file_size(Large), (std::uintmax_t{16} << 20) + 1);
    EXPECT_EQ(TempDir::read(Large).substr(0, 10), "[Options]\n");
    // At the limit the file is read.
    ASSERT_EQ(truncate(Large.c_str(), off_t{16} << 20), 0);
    SettingsStore AtLimit(Large);
    EXPECT_TRUE(AtLimit.Found());
    EXPECT_EQ(AtLimit.ReadString("Options", "x", "none"), "none");
    EXPECT_NE(AtLimit.LoadError().find("line 2: cannot read"), std::string::npos);
}

TEST(Program, ABadLineIsQuotedShortWithItsBytesEscaped) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Music = Dir.str() + "/music";
    Dir.write("music/a.mp3", Id3v2Title("A"));
    const std::string Settings = Dir.str() + "/settings.ini";
    WriteFindAll(Settings, Music);
    const std::string BadLine = "\x1b[2J\r" + std::string(10'000'000, 'y');
    const std::string Before = TempDir::read(Settings);
    const auto LineNumber = std::count(Before.begin(), Before.end(), '\n') + 1;
    std::ofstream(Settings, std::ios::app) << BadLine << "\n";
    const ProgramRun Run =
        RunProgram({"--settings", Settings, "--compile", Dir.str() + "/list.m3u"});
    ASSERT_TRUE(Run.Ended);
    EXPECT_EQ(Run.Status, 0); // the rest of the file is read
    const std::vector<std::string> Lines = Run.ErrLines();
    ASSERT_FALSE(Lines.empty());
    EXPECT_EQ(Lines[0], "settings file " + Settings + ", line " + std::to_string(LineNumber) +
                            ": cannot read \"\\x1B[2J\\x0D" + std::string(75, 'y') + "...\"");
    EXPECT_LT(Run.Err.size(), 2000u);
}

TEST(Program, SettingsPathsAreBytesAndEveryProblemIsNamedFirst) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Music = Dir.str() + "/music";
    const std::string Song = Dir.write("music/a.mp3", Id3v2Title("A"));
    const std::string Playlist = Dir.str() + "/list.m3u";
    // A settings path that is not UTF-8 reaches its file.
    const std::string Odd = Dir.str() + "/caf\xe9\xff.ini";
    WriteFindAll(Odd, Music);
    ProgramRun Run = RunProgram({"--settings", Odd, "--compile", Playlist});
    EXPECT_EQ(Run.Status, 0) << Run.Err;
    EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + Song + "\r\n");
    // The window writes the same file back at exit, not one with U+FFFD in its name.
    {
        TScriptedDialogs Dialogs;
        TScopedDialogs Scoped{Dialogs};
        {
            TMainForm Form(Odd);
            Form.Filenames->AddEntry("*.ogg", true);
        }
        EXPECT_TRUE(Dialogs.Errors.empty());
    }
    EXPECT_NE(TempDir::read(Odd).find("Item 2=*.ogg"), std::string::npos);
    for (const auto& Entry : fs::directory_iterator(Dir.path()))
        EXPECT_EQ(Entry.path().filename().string().find("\xef\xbf\xbd"), std::string::npos);

    // An empty --settings is refused and the user's own file is left alone.
    const std::string Home = Dir.str() + "/home";
    Run = RunProgram({"--settings", "", "--compile", Playlist}, 60000, {},
                     {{"HOME", Home}, {"XDG_CONFIG_HOME", {}}, {"MORVANE_SETTINGS", {}}});
    EXPECT_EQ(Run.Status, 2);
    EXPECT_TRUE(Run.Err.starts_with("morvane: --settings needs a value that is not empty\n\n"))
        << Run.Err;
    EXPECT_NE(Run.Err.find("Usage: morvane"), std::string::npos);
    EXPECT_FALSE(fs::exists(Home));

    // Missing, dangling and unreadable settings, and a search folder that is a file:
    // what is wrong comes before the "inadequate" line.
    const std::string Dangling = Dir.str() + "/dangling.ini";
    fs::create_symlink(Dir.str() + "/nowhere.ini", Dangling);
    for (const std::string& File : {Dir.str() + "/missing.ini", Dangling}) {
        Run = RunProgram({"--settings", File, "--compile", Playlist});
        EXPECT_EQ(Run.Status, 2);
        ASSERT_GE(Run.ErrLines().size(), 2u) << Run.Err;
        EXPECT_EQ(Run.ErrLines()[0], "cannot read settings file " + File + ": not found");
        EXPECT_EQ(Run.ErrLines()[1], SearchInadequateMessage);
        SettingsStore Store(File); // the wizard: a first run, no error
        EXPECT_EQ(Store.LoadError(), "");
        EXPECT_FALSE(Store.Found());
    }
    const std::string NotFolder = Dir.str() + "/notfolder.ini";
    WriteFindAll(NotFolder, Song);
    Run = RunProgram({"--settings", NotFolder, "--compile", Playlist});
    EXPECT_EQ(Run.Status, 2);
    EXPECT_EQ(Run.ErrLines(), (std::vector<std::string>{"search folder " + Song + ": not a folder",
                                                        SearchInadequateMessage}));
}

TEST(Program, CommandLineGivesVersionRefusesWhatItDoesNotKnowAndPassesQtOptions) {
    REQUIRE_PROGRAM();
    ProgramRun Run = RunProgram({"--version"});
    EXPECT_EQ(Run.Status, 0);
    EXPECT_EQ(Run.Out, "Morvane 2.0\n");
    for (const std::vector<std::string>& Refused :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"--compile", "a.m3u", "--compile", "b.m3u"},
                                               {"--compile", "a.m3u", "--screenshots", "d"},
                                               {"stray"}}) {
        Run = RunProgram(Refused);
        EXPECT_EQ(Run.Status, 2) << Refused[0];
        EXPECT_TRUE(Run.Err.starts_with("morvane: ")) << Run.Err;
        EXPECT_TRUE(Run.Err.ends_with(UsageText().toStdString())) << Run.Err;
        EXPECT_EQ(Run.Out, "");
    }
    // -platform reaches Qt: without it there is no display to open windows on.
    TempDir Dir;
    const std::string Shots = Dir.str() + "/shots";
    Run = RunProgram(
        {"-platform", "offscreen", "--settings", Dir.str() + "/s.ini", "--screenshots", Shots},
        120000, {}, {{"QT_QPA_PLATFORM", {}}, {"DISPLAY", {}}, {"WAYLAND_DISPLAY", {}}});
    EXPECT_EQ(Run.Status, 0) << Run.Err;
    EXPECT_TRUE(fs::exists(Shots + "/00-welcome.png"));
    EXPECT_FALSE(fs::exists(Dir.str() + "/s.ini"));
}

TEST(Program, ANameWithLineBreaksGivesOnePlaylistLineThatLeadsBackToTheFile) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Music = Dir.str() + "/music";
    const std::string Hostile =
        Dir.write("music/song\n#EXTINF:123,Injected\nx.mp3", Id3v2Title("H"));
    Dir.write("music/x.mp3", Id3v2Title("X"));
    Dir.write("music/plain.mp3", Id3v2Title("P"));
    const std::string Settings = Dir.str() + "/settings.ini";
    WriteFindAll(Settings, Music);
    // Percent-decoding of a file URI gives back the path's bytes.
    auto Decode = [](const std::string& Uri) {
        std::string Path;
        for (std::size_t I = 7; I < Uri.size(); ++I) {
            if (Uri[I] == '%' && I + 2 < Uri.size()) {
                Path += static_cast<char>(std::stoi(Uri.substr(I + 1, 2), nullptr, 16));
                I += 2;
            } else {
                Path += Uri[I];
            }
        }
        return Path;
    };
    for (const char* Name : {"/list.m3u", "/list.pls"}) {
        const std::string Playlist = Dir.str() + Name;
        const ProgramRun Run = RunProgram({"--settings", Settings, "--compile", Playlist});
        ASSERT_EQ(Run.Status, 0) << Run.Err;
        const std::string Text = TempDir::read(Playlist);
        const auto Lines = std::count(Text.begin(), Text.end(), '\n');
        EXPECT_EQ(std::count(Text.begin(), Text.end(), '\r'), Lines);
        EXPECT_EQ(Lines, std::string(Name) == "/list.m3u" ? 1 + 3 : 3 + 3) << Text;
        EXPECT_EQ(Text.find("#EXTINF"), std::string::npos) << Text;
        const std::size_t Uri = Text.find("file://");
        ASSERT_NE(Uri, std::string::npos) << Text;
        EXPECT_EQ(Decode(Text.substr(Uri, Text.find('\r', Uri) - Uri)), Hostile);
    }
}

namespace {

// A save that a kill cut short after Written bytes: the journal copy is made
// and part of the new content written over File, and the process dies.
void CutShortSave(const std::string& File, const std::string& New, size_t Written,
                  const std::string& Cache) {
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        setenv("XDG_CACHE_HOME", Cache.c_str(), 1);
        const int Fd = open(File.c_str(), O_RDWR);
        auto* Journal = new TSaveJournal; // never ended: as if killed
        if (Fd < 0 || !Journal->Begin(Fd, File, New) ||
            pwrite(Fd, New.data(), Written, 0) != static_cast<ssize_t>(Written))
            _exit(1);
        _exit(0);
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status) && WEXITSTATUS(Status) == 0);
}

} // namespace

TEST(Program, AStartPutsBackTheSettingsAndAPlaylistThatAKilledSaveLeftHalfWritten) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Cache = Dir.str() + "/cache";
    const std::string Found = Dir.write("music/a.mp3", Id3v2Title("A"));
    const std::string Settings = Dir.str() + "/settings.ini";
    WriteFindAll(Settings, Dir.str() + "/music");
    const std::string FormerSettings = TempDir::read(Settings);
    const std::string Old = Dir.write("old.m3u", "#EXTM3U\r\n/old/one.mp3\r\n/old/two.mp3\r\n");
    for (const std::string& File : {Settings, Old})
        ASSERT_EQ(link(File.c_str(), (File + ".second name").c_str()), 0);
    CutShortSave(Settings, "[Folders]\nItem Count=0\n" + std::string(4000, '#'), 30, Cache);
    CutShortSave(Old, "#EXTM3U\r\n" + std::string(200, 'x'), 12, Cache);
    ASSERT_NE(TempDir::read(Settings), FormerSettings);

    const std::string Playlist = Dir.str() + "/new.m3u";
    const ProgramRun Run = RunProgram({"--settings", Settings, "--compile", Playlist, "--quiet"},
                                      60000, nullptr, {{"XDG_CACHE_HOME", Cache}});
    ASSERT_TRUE(Run.Ended);
    EXPECT_EQ(Run.Status, 0) << Run.Err;
    std::vector<std::string> Lines = Run.ErrLines();
    std::sort(Lines.begin(), Lines.end());
    const std::string Undone = " was undone: the file holds its former content again.";
    EXPECT_EQ(Lines, (std::vector<std::string>{"An interrupted save of " + Old + Undone,
                                               "An interrupted save of " + Settings + Undone}))
        << Run.Err;
    EXPECT_EQ(TempDir::read(Settings), FormerSettings);
    EXPECT_EQ(TempDir::read(Old + ".second name"), "#EXTM3U\r\n/old/one.mp3\r\n/old/two.mp3\r\n");
    EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + Found + "\r\n");

    // Put right once: the next start has nothing to say.
    const ProgramRun Again = RunProgram({"--settings", Settings, "--compile", Playlist, "--quiet"},
                                        60000, nullptr, {{"XDG_CACHE_HOME", Cache}});
    EXPECT_EQ(Again.Status, 0);
    EXPECT_EQ(Again.Err, "");
}

TEST(Program, AHeadlessCompileRemembersTagsAndADamagedIndexOnlyCostsAWarning) {
    REQUIRE_PROGRAM();
    TempDir Dir;
    const std::string Music = Dir.str() + "/music";
    const std::string Found = Dir.write("music/b.mp3", Id3v2Title("B"));
    const std::string Settings = Dir.str() + "/settings.ini";
    WriteFindAll(Settings, Music);
    const std::string Cache = Dir.str() + "/cache";
    const std::string Index = Cache + "/morvane/index.sqlite";
    fs::create_directories(Cache + "/morvane");
    {
        std::ofstream Garbage(Index);
        Garbage << std::string(4096, 'x');
    }
    const EnvironmentChanges Environment{{"XDG_CACHE_HOME", Cache}};
    const auto Compile = [&](const std::string& Playlist, bool NoIndex) {
        std::vector<std::string> Arguments{"--settings", Settings, "--compile", Playlist,
                                           "--quiet"};
        if (NoIndex)
            Arguments.push_back("--no-index");
        return RunProgram(Arguments, 60000, {}, Environment);
    };
    const ProgramRun Damaged = Compile(Dir.str() + "/1.m3u", false);
    ASSERT_TRUE(Damaged.Ended);
    EXPECT_EQ(Damaged.Status, 0) << Damaged.Err;
    ASSERT_EQ(Damaged.ErrLines().size(), 1u) << Damaged.Err;
    EXPECT_NE(Damaged.Err.find("moved to " + Index + ".damaged"), std::string::npos) << Damaged.Err;
    EXPECT_EQ(TempDir::read(Index + ".damaged"), std::string(4096, 'x'));
    // The new index and --no-index give the same playlist, without a word.
    const ProgramRun Again = Compile(Dir.str() + "/2.m3u", false);
    const ProgramRun Without = Compile(Dir.str() + "/3.m3u", true);
    EXPECT_EQ(Again.Err, "");
    EXPECT_EQ(Without.Err, "");
    const std::string Expected = "#EXTM3U\r\n" + Found + "\r\n";
    for (const char* Name : {"/1.m3u", "/2.m3u", "/3.m3u"})
        EXPECT_EQ(TempDir::read(Dir.str() + Name), Expected) << Name;
}
