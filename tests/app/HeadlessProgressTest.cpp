// The headless compile's progress output, against a clock the test moves:
// one rewritten line on a terminal, few status lines in a log, only errors
// when quiet; and --quiet from the command line to the program's stderr.
#include "app/HeadlessProgress.h"
#include "app/CommandLine.h"

#include "settings/SettingsStore.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

struct Screen {
    std::string Output;
    double Now = 100;

    THeadlessProgress Make(THeadlessOutput Mode, std::size_t Width = 80) {
        return THeadlessProgress(
            Mode, [this](std::string_view Text) { Output += Text; }, [this] { return Now; }, Width);
    }
    // The text written since the last call.
    std::string Take() {
        std::string Text;
        Text.swap(Output);
        return Text;
    }
};

SearchProgress Counts(std::uint64_t Files, std::uint64_t Accepted, std::uint64_t Folders,
                      std::string_view Folder) {
    SearchProgress P;
    P.Files = Files;
    P.Accepted = Accepted;
    P.Folders = Folders;
    P.Folder = Folder;
    return P;
}

// The columns a line takes, any character beyond ASCII counted as one.
std::size_t Characters(const std::string& Text) {
    std::size_t Count = 0;
    for (const char C : Text)
        Count += (static_cast<unsigned char>(C) & 0xC0) != 0x80;
    return Count;
}

} // namespace

TEST(HeadlessProgress, TerminalRewritesOneLineThatNeverWraps) {
    Screen S;
    THeadlessProgress P = S.Make(THeadlessOutput::Terminal, 100);
    P.Status("Searching /music..."); // named by the line itself
    EXPECT_EQ(S.Take(), "");

    P.Update(Counts(1, 0, 1, "/music"));
    EXPECT_EQ(S.Take(), "\r1 files seen, 0 accepted, 1 folders, in /music, 0 files/s\x1b[K");
    S.Now += 0.05;
    P.Update(Counts(2, 1, 1, "/music"));
    EXPECT_EQ(S.Take(), "") << "redrawn a few times a second, not per file";

    // A long folder keeps its end; a control byte in a name cannot reach the terminal.
    const std::string Long = "/music/" + std::string(200, 'a') + "/Caf\xc3\xa9 \x1b[2J end";
    S.Now += 0.95;
    P.Update(Counts(5000, 4000, 300, Long));
    const std::string Line = S.Take();
    ASSERT_EQ(Line.substr(0, 1), "\r");
    ASSERT_TRUE(Line.ends_with("\x1b[K"));
    const std::string Shown = Line.substr(1, Line.size() - 4);
    EXPECT_LE(Characters(Shown), 99u) << Shown;
    EXPECT_EQ(Shown.find('\x1b'), std::string::npos) << Shown;
    EXPECT_TRUE(Shown.starts_with("5000 files seen, 4000 accepted, 300 folders, in ...")) << Shown;
    EXPECT_TRUE(Shown.ends_with("Caf\xc3\xa9 \\x1B[2J end, 5000 files/s")) << Shown;

    // An error clears the line and stands on its own; the end draws the last counts.
    P.Error("2 folders could not be read: /a, /b");
    EXPECT_EQ(S.Take(), "\r\x1b[K2 folders could not be read: /a, /b\n");
    S.Now += 0.01;
    P.Update(Counts(5002, 4001, 300, "/music/z"));
    EXPECT_EQ(S.Take(), "") << "drawn a moment ago";
    S.Now += 0.99;
    P.Finish("Finished compiling playlist.");
    EXPECT_EQ(S.Take(), "\r5002 files seen, 4001 accepted, 300 folders, in /music/z, 2501 "
                        "files/s\x1b[K\nFinished compiling playlist.\n");
}

TEST(HeadlessProgress, LogGetsAStatusLineAtMostOnceASecondAndAlwaysTheEnd) {
    Screen S;
    THeadlessProgress P = S.Make(THeadlessOutput::Lines);
    const SearchProgress Any = Counts(1, 1, 1, "/a");
    P.Status("Searching /a...");
    S.Now += 0.3;
    P.Status("Searching /b...");
    S.Now += 0.3;
    P.Status("Searching /c...");
    P.Update(Any);
    EXPECT_EQ(S.Take(), "Searching /a...\n");
    // The newest status held back comes once its second is over, between entries.
    S.Now += 0.5;
    P.Update(Any);
    EXPECT_EQ(S.Take(), "Searching /c...\n");
    P.Update(Any);
    EXPECT_EQ(S.Take(), "");
    S.Now += 1.5;
    P.Status("Searching /d...");
    S.Now += 0.1;
    P.Status("Searching /e...");
    P.Error("some error");
    P.Finish("Finished compiling playlist.");
    EXPECT_EQ(S.Take(), "Searching /d...\nsome error\nSearching /e...\nFinished compiling "
                        "playlist.\n");
}

TEST(HeadlessProgress, QuietShowsOnlyErrorsAndEveryStatusShowsAllOfThem) {
    Screen S;
    {
        THeadlessProgress P = S.Make(THeadlessOutput::Quiet);
        P.Status("Searching /a...");
        P.Update(Counts(1, 1, 1, "/a"));
        S.Now += 5;
        P.Update(Counts(2, 1, 1, "/a"));
        P.Error("cannot write /x.m3u");
        P.Finish("Finished compiling playlist.");
        EXPECT_EQ(S.Take(), "cannot write /x.m3u\n");
    }
    THeadlessProgress P = S.Make(THeadlessOutput::EveryStatus);
    P.Status("Searching /a...");
    P.Status("Searching /b...");
    P.Update(Counts(1, 1, 1, "/b"));
    P.Finish("Finished compiling playlist.");
    EXPECT_EQ(S.Take(), "Searching /a...\nSearching /b...\nFinished compiling playlist.\n");
}

TEST(HeadlessProgress, QuietComesWithCompileOnly) {
    const struct {
        std::vector<std::string> Arguments;
        bool Ok;
        bool Quiet;
    } Rows[] = {
        {{"--compile", "x.m3u"}, true, false},
        {{"--compile", "x.m3u", "--quiet"}, true, true},
        {{"-quiet", "--compile", "x.m3u"}, true, true},
        {{"--quiet"}, false, false},
        {{"--quiet", "--screenshots", "d"}, false, false},
        {{"--quiet", "--compile", "x", "--quiet"}, false, false},
    };
    for (const auto& Row : Rows) {
        TCommandLine Line;
        std::string Error;
        ASSERT_EQ(ParseCommandLine(Row.Arguments, Line, Error), Row.Ok) << Row.Arguments.size();
        EXPECT_EQ(Line.Quiet, Row.Quiet) << Error;
    }
}

TEST(HeadlessProgress, TheQuietProgramWritesOnlyErrors) {
    const QString Program = QCoreApplication::applicationDirPath() + "/../morvane";
    if (!QFile::exists(Program))
        GTEST_SKIP() << "the program is not built";
    TempDir Library;
    TempDir Work;
    const std::string Song = Library.write(
        "a/song.mp3", tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", "Song")) + "audio");
    WizardSettings Settings;
    Settings.Folders = {{Library.str(), CheckState::Checked}};
    Settings.Filenames = {{"*.mp3", CheckState::Checked}};
    Settings.Criteria[FieldTitle] = {{"*", CriterionState::Include}};
    const std::string SettingsFile = (Work.path() / "s.ini").string();
    {
        SettingsStore Store(QString::fromStdString(SettingsFile));
        SaveAllSettings(Store, Settings);
        Store.Flush();
    }
    const QString Playlist = QFile::decodeName((Work.path() / "list.m3u").c_str());
    QProcess Run;
    Run.start(Program, {"--settings", QFile::decodeName(SettingsFile.c_str()), "--compile",
                        Playlist, "--quiet"});
    ASSERT_TRUE(Run.waitForFinished(60000));
    EXPECT_EQ(Run.exitCode(), 0);
    EXPECT_EQ(Run.readAllStandardError().toStdString(), "");
    EXPECT_EQ(TempDir::read(Playlist.toStdString()), "#EXTM3U\r\n" + Song + "\r\n");

    // An error still gets through.
    Run.start(Program, {"--settings", QFile::decodeName(SettingsFile.c_str()), "--compile",
                        QFile::decodeName((Work.path() / "no/such/list.m3u").c_str()), "--quiet"});
    ASSERT_TRUE(Run.waitForFinished(60000));
    EXPECT_EQ(Run.exitCode(), 1);
    EXPECT_NE(Run.readAllStandardError().toStdString(), "");
}

// A folder named with terminal escapes is written escaped in a log, as the
// terminal line writes it, in every mode that writes status lines.
TEST(HeadlessProgress, StatusLinesEscapeWhatAFolderNameWouldDoToATerminal) {
    for (const THeadlessOutput Mode : {THeadlessOutput::Lines, THeadlessOutput::EveryStatus}) {
        Screen S;
        THeadlessProgress P = S.Make(Mode);
        P.Status("Searching /m/\x1b]0;title\x07\x1b[2J\xc2\x9b\xe2\x80\xae/x...");
        P.Error("cannot read \x1b[31m");
        P.Finish("Finished compiling playlist.");
        EXPECT_EQ(S.Take(),
                  "Searching /m/\\x1B]0;title\\x07\\x1B[2J\\xC2\\x9B\\xE2\\x80\\xAE/x...\n"
                  "cannot read \\x1B[31m\n"
                  "Finished compiling playlist.\n");
    }
}
