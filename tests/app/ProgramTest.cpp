// The built program against hostile input: what it says on stderr, its exit
// status and the files it leaves, run as a separate process.
#include "AppTestSupport.h"
#include "engine/Criteria.h"
#include "support/TagBytes.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

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

// Arguments are bytes, passed to the program as they are. InChild runs in the
// child before the program starts.
ProgramRun RunProgram(const std::vector<std::string>& Arguments, int TimeoutMs = 60000,
                      const std::function<void()>& InChild = {}) {
    QStringList List;
    for (const std::string& Argument : Arguments)
        List << QFile::decodeName(QByteArray::fromStdString(Argument));
    QProcess Process;
    Process.setProgram(ProgramPath());
    Process.setArguments(List);
    if (InChild)
        Process.setChildProcessModifier(InChild);
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert("QT_QPA_PLATFORM", "offscreen");
    Process.setProcessEnvironment(Environment);
    Process.start();
    ProgramRun Run;
    Run.Ended = Process.waitForFinished(TimeoutMs);
    if (!Run.Ended) {
        Process.kill();
        Process.waitForFinished();
    }
    Run.Status = Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    Run.Out = Process.readAllStandardOutput().toStdString();
    Run.Err = Process.readAllStandardError().toStdString();
    return Run;
}

#define REQUIRE_PROGRAM()                                                                          \
    if (!QFile::exists(ProgramPath()))                                                             \
    GTEST_SKIP() << "the program is not built"

std::string Id3v2Title(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

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
