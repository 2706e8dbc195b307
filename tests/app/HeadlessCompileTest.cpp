// The headless compile: settings file in, playlist bytes and exit status out.
#include "app/AppEntry.h"
#include "app/CommandLine.h"
#include "app/HeadlessProgress.h"

#include "engine/Criteria.h"
#include "engine/Reasons.h"
#include "settings/SettingsStore.h"
#include "support/AudioBytes.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

using tagbytes::Id3v2Title;

struct Outcome {
    int Status = -1;
    std::vector<std::string> Lines; // what went to stderr
};

// Runs the command in this process with stderr captured.
Outcome RunHeadless(const std::string& SettingsFile, const std::string& Playlist,
                    const TempDir& Scratch, const THeadlessOptions& Options = {}) {
    const std::string Capture = (Scratch.path() / "stderr.txt").string();
    std::fflush(stderr);
    const int Saved = dup(2);
    const int Fd = open(Capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(Fd, 2);
    close(Fd);
    Outcome Result;
    Result.Status =
        RunHeadlessCompile(SettingsFile, Playlist, THeadlessOutput::EveryStatus, Options);
    std::fflush(stderr);
    dup2(Saved, 2);
    close(Saved);
    std::string Text = TempDir::read(Capture);
    for (std::size_t Start = 0; Start < Text.size();) {
        const std::size_t End = Text.find('\n', Start);
        Result.Lines.push_back(Text.substr(Start, End - Start));
        Start = End == std::string::npos ? Text.size() : End + 1;
    }
    return Result;
}

// A library with two tagged files and one tagless one, and settings that find
// the tagged ones.
struct Fixture {
    TempDir Library;
    TempDir Work;
    std::string SettingsFile = (Work.path() / "settings.ini").string();
    std::string Keep = Library.write("Rock/keep.mp3", Id3v2Title("Keep me"));
    std::string Other = Library.write("other.mp3", Id3v2Title("Other"));
    std::string Plain = Library.write("plain.mp3", std::string(300, 'x'));
    WizardSettings Settings;

    Fixture() {
        Settings.Folders = {{Library.str(), Checked}};
        Settings.Filenames = {{"*.mp3", Checked}};
        Settings.Criteria[FieldTitle] = {{"*", Include}};
    }
    void Save() const {
        SettingsStore Store(QString::fromStdString(SettingsFile));
        SaveAllSettings(Store, Settings);
        Store.Flush();
    }
    bool HasLine(const Outcome& Run, const std::string& Line) const {
        return std::find(Run.Lines.begin(), Run.Lines.end(), Line) != Run.Lines.end();
    }
};

} // namespace

TEST(HeadlessCompile, WritesTheFilesFoundInOrderAsM3UOrPls) {
    Fixture F;
    F.Save();
    const std::string SettingsBefore = TempDir::read(F.SettingsFile);

    const std::string M3u = (F.Work.path() / "list.m3u").string();
    Outcome Run = RunHeadless(F.SettingsFile, M3u, F.Work);
    ASSERT_EQ(Run.Status, 0);
    // The statuses tell the order the walk found the two files in.
    const auto RockStatus =
        std::find(Run.Lines.begin(), Run.Lines.end(), "Searching " + F.Library.str() + "/Rock...");
    const auto TopStatus =
        std::find(Run.Lines.begin(), Run.Lines.end(), "Searching " + F.Library.str() + "...");
    ASSERT_NE(RockStatus, Run.Lines.end());
    ASSERT_NE(TopStatus, Run.Lines.end());
    EXPECT_EQ(Run.Lines.back(), "Finished compiling playlist.");
    const bool RockFirst = RockStatus < TopStatus;
    const std::string First = RockFirst ? F.Keep : F.Other;
    const std::string Second = RockFirst ? F.Other : F.Keep;
    EXPECT_EQ(TempDir::read(M3u), "#EXTM3U\r\n" + First + "\r\n" + Second + "\r\n");

    const std::string Pls = (F.Work.path() / "list.PLS").string();
    ASSERT_EQ(RunHeadless(F.SettingsFile, Pls, F.Work).Status, 0);
    EXPECT_EQ(TempDir::read(Pls), "[playlist]\r\nVersion=2\r\nNumberOfEntries=2\r\nFile1=" + First +
                                      "\r\nFile2=" + Second + "\r\n");
    EXPECT_EQ(TempDir::read(F.SettingsFile), SettingsBefore);
}

TEST(HeadlessCompile, FormatPathsExtendedAndUniqueFlags) {
    Fixture F;
    // Rock is searched twice: once inside the library, once on its own.
    F.Settings.Folders = {{F.Library.str(), Checked}, {F.Library.str() + "/Rock", Checked}};
    F.Save();
    const std::string List = F.Library.str() + "/list.m3u";
    Outcome Plain = RunHeadless(F.SettingsFile, List, F.Work);
    ASSERT_EQ(Plain.Status, 0);
    const std::string Bytes = TempDir::read(List);
    const bool RockFirst = Bytes.find(F.Keep) < Bytes.find(F.Other);
    EXPECT_EQ(Bytes, "#EXTM3U\r\n" +
                         (RockFirst ? F.Keep + "\r\n" + F.Other : F.Other + "\r\n" + F.Keep) +
                         "\r\n" + F.Keep + "\r\n");
    EXPECT_FALSE(F.HasLine(Plain, "Removed 1 duplicate."));

    THeadlessOptions Options;
    Options.Format = PlaylistFormat::M3U8; // though the name says .m3u
    Options.Paths = PlaylistPaths::Relative;
    Options.Extended = true;
    Options.Unique = true;
    Outcome Run = RunHeadless(F.SettingsFile, List, F.Work, Options);
    ASSERT_EQ(Run.Status, 0);
    EXPECT_TRUE(F.HasLine(Run, "Removed 1 duplicate."));
    const std::string Keep = "#EXTINF:-1,Keep me\nRock/keep.mp3\n";
    const std::string Other = "#EXTINF:-1,Other\nother.mp3\n";
    EXPECT_EQ(TempDir::read(List), "#EXTM3U\n" + (RockFirst ? Keep + Other : Other + Keep));

    // A playlist on another file system keeps full paths, and says how many.
    Options = {};
    Options.Paths = PlaylistPaths::Relative;
    const std::string Elsewhere = "/dev/shm/morvane-headless-" + std::to_string(getpid()) + ".pls";
    struct stat Shm, Library;
    if (access("/dev/shm", W_OK) == 0 && stat("/dev/shm", &Shm) == 0 &&
        stat(F.Library.str().c_str(), &Library) == 0 && Shm.st_dev != Library.st_dev) {
        Outcome Far = RunHeadless(F.SettingsFile, Elsewhere, F.Work, Options);
        EXPECT_EQ(Far.Status, 0);
        EXPECT_TRUE(F.HasLine(Far, "3 entries could not be made relative and keep their full "
                                   "paths."))
            << TempDir::read(Elsewhere);
        unlink(Elsewhere.c_str());
    }
}

TEST(HeadlessCompile, ExplainWritesEveryFileAMaskMatchedWithItsReason) {
    Fixture F;
    F.Library.write("notes.txt", "no mask matches this");
    F.Save();
    THeadlessOptions Options;
    Options.ExplainFile = F.Work.str() + "/why.tsv";
    const std::string List = F.Work.str() + "/list.m3u";
    ASSERT_EQ(RunHeadless(F.SettingsFile, List, F.Work, Options).Status, 0);
    const std::string Tsv = TempDir::read(Options.ExplainFile);
    ASSERT_TRUE(Tsv.starts_with("path\tdecision\tfilename mask\ttags\treason\n")) << Tsv;
    const std::string Included =
        "\tincluded\t*.mp3\tread\tIncluded: Title matches \"*\" (include)\n";
    for (const std::string& Line :
         {F.Keep + Included, F.Other + Included,
          F.Plain + "\tdropped\t*.mp3\tno tag found\tDropped: .mp3 without a tag, and Include "
                    "files for which no media info can be found is off\n"})
        EXPECT_NE(Tsv.find("\n" + Line), std::string::npos) << Line;
    EXPECT_EQ(std::count(Tsv.begin(), Tsv.end(), '\n'), 4) << Tsv;
    // The playlist is what it would be without --explain.
    const std::string Bytes = TempDir::read(List);
    EXPECT_EQ(Bytes.size(),
              std::string("#EXTM3U\r\n\r\n\r\n").size() + F.Keep.size() + F.Other.size());

    // A file that cannot be written fails the run.
    Options.ExplainFile = F.Work.str() + "/missing/why.tsv";
    EXPECT_EQ(RunHeadless(F.SettingsFile, List, F.Work, Options).Status, 1);
}

// --counts: what each rule does, after the compile, as the counts file says
// it; never over the playlist or a file of another kind.
TEST(HeadlessCompile, CountsSayWhatEachRuleDoes) {
    Fixture F;
    F.Library.write("notes.txt", "no mask matches this");
    F.Settings.Filenames.push_back({"*.txt", Unchecked});
    F.Settings.Criteria[FieldTitle].push_back({"Other", Exclude});
    F.Save();
    THeadlessOptions Options;
    Options.CountsFile = F.Work.str() + "/counts.tsv";
    const std::string List = F.Work.str() + "/list.m3u";
    ASSERT_EQ(RunHeadless(F.SettingsFile, List, F.Work, Options).Status, 0);
    EXPECT_EQ(TempDir::read(Options.CountsFile),
              "section\tentry\tstate\tfiles matched\tfiles decided\n"
              "Filenames\t*.mp3\tchecked\t3\t3\n"
              "Filenames\t*.txt\tunchecked\t1\t0\n"
              "Titles\t*\tinclude\t2\t2\n"
              "Titles\tOther\texclude\t1\t0\n"
              "Total\tfiles found\t\t2\t\n"
              "Total\tfiles listed\t\t4\t\n");
    for (const std::string& Target : {List, F.Library.write("song.mp3", "not counts")}) {
        Options.CountsFile = Target;
        EXPECT_EQ(RunHeadless(F.SettingsFile, F.Work.str() + "/other.m3u", F.Work, Options).Status,
                  2)
            << Target;
    }
}

TEST(HeadlessCompile, InadequateSettingsWriteNothingAndExitTwo) {
    Fixture F;
    F.Settings.Folders = {{F.Library.str(), Unchecked}};
    F.Settings.Criteria[FieldTitle] = {{"*", Exclude}};
    F.Save();
    const std::string Playlist = (F.Work.path() / "list.m3u").string();
    Outcome Run = RunHeadless(F.SettingsFile, Playlist, F.Work);
    EXPECT_EQ(Run.Status, 2);
    EXPECT_EQ(Run.Lines,
              (std::vector<std::string>{SearchInadequateMessage, CriteriaInadequateMessage}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Playlist)));

    // A missing settings file loads as empty settings: nothing to search.
    Outcome Missing = RunHeadless((F.Work.path() / "none.ini").string(), Playlist, F.Work);
    EXPECT_EQ(Missing.Status, 2);
    EXPECT_FALSE(QFile::exists(F.Work.str().c_str() + QString("/none.ini")));
}

TEST(HeadlessCompile, TheStoredOptionDecidesWhetherOtherFormatsAreRead) {
    Fixture F;
    audiobytes::TAudioTag Tag;
    Tag.Title = "Opus song";
    const std::string Opus =
        F.Library.write("song.opus", audiobytes::OggFile(audiobytes::TOggCodec::Opus, Tag));
    F.Settings.Filenames = {{"*.opus", Checked}};
    F.Settings.Criteria[FieldTitle] = {{"Opus*", Include}};
    const std::string Playlist = (F.Work.path() / "list.m3u").string();
    for (const bool Read : {true, false}) {
        F.Settings.ReadOtherFormats = Read;
        F.Save();
        ASSERT_EQ(RunHeadless(F.SettingsFile, Playlist, F.Work).Status, 0);
        EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + (Read ? Opus + "\r\n" : ""));
    }
}

TEST(HeadlessCompile, TaglessFilesAloneAreAdequate) {
    Fixture F;
    F.Settings.Criteria[FieldTitle].clear();
    F.Settings.IncludeTaglessFiles = true;
    F.Settings.Filenames = {{"*/plain.*", Checked}};
    F.Settings.ThoroughID3Check = true;
    F.Save();
    const std::string Playlist = (F.Work.path() / "list.m3u").string();
    ASSERT_EQ(RunHeadless(F.SettingsFile, Playlist, F.Work).Status, 0);
    // The tagless option takes an untagged .mp3 as it takes any other file.
    EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + F.Plain + "\r\n");
}

TEST(HeadlessCompile, MalformedMaskOrWriteErrorExitsOne) {
    Fixture F;
    F.Settings.Filenames = {{"*.ogg", Checked}, {"*[a", Checked}};
    F.Save();
    const std::string Playlist = (F.Work.path() / "list.m3u").string();
    Outcome Bad = RunHeadless(F.SettingsFile, Playlist, F.Work);
    EXPECT_EQ(Bad.Status, 1);
    EXPECT_TRUE(F.HasLine(Bad, "'*[a' is an invalid mask at (4)"));
    EXPECT_FALSE(F.HasLine(Bad, "Finished compiling playlist."));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Playlist)));

    Fixture G;
    G.Save();
    const std::string Unwritable = (G.Work.path() / "missing/list.m3u").string();
    Outcome Failed = RunHeadless(G.SettingsFile, Unwritable, G.Work);
    EXPECT_EQ(Failed.Status, 1);
    EXPECT_TRUE(G.HasLine(Failed, "Finished compiling playlist."));
    EXPECT_NE(Failed.Lines.back(), "Finished compiling playlist.");
}

// The same through the built program, when it has been built beside the tests.
TEST(HeadlessCompile, TheProgramRunsItFromTheCommandLine) {
    const QString Program = QCoreApplication::applicationDirPath() + "/../morvane";
    if (!QFile::exists(Program))
        GTEST_SKIP() << "the program is not built";
    Fixture F;
    F.Settings.Filenames = {{"*/rock/*", Checked}};
    F.Save();
    const QString Settings = QFile::decodeName(F.SettingsFile.c_str());
    const std::string Playlist = (F.Work.path() / "list.m3u").string();

    QProcess Run;
    Run.start(Program, {"--settings", Settings, "--compile", QFile::decodeName(Playlist.c_str())});
    ASSERT_TRUE(Run.waitForFinished(60000));
    EXPECT_EQ(Run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Run.exitCode(), 0);
    const std::string Errors = Run.readAllStandardError().toStdString();
    EXPECT_NE(Errors.find("Searching " + F.Library.str() + "/Rock...\n"), std::string::npos);
    EXPECT_TRUE(Errors.ends_with("\nFinished compiling playlist.\n")) << Errors;
    EXPECT_EQ(TempDir::read(Playlist), "#EXTM3U\r\n" + F.Keep + "\r\n");

    F.Settings.Filenames = {{"*/rock/*", Unchecked}};
    F.Save();
    Run.start(Program, {"--settings", Settings, "--compile", QFile::decodeName(Playlist.c_str())});
    ASSERT_TRUE(Run.waitForFinished(60000));
    EXPECT_EQ(Run.exitCode(), 2);
    EXPECT_EQ(Run.readAllStandardError().toStdString(),
              std::string(SearchInadequateMessage) + "\n");

    Run.start(Program, {"--help"});
    ASSERT_TRUE(Run.waitForFinished(60000));
    EXPECT_EQ(Run.exitCode(), 0);
    EXPECT_EQ(QString::fromLocal8Bit(Run.readAllStandardOutput()), UsageText());
}

// Outputs aimed at inputs: the settings file and one file for both outputs are
// always refused; a file that is no playlist (or explain file), or one the
// filename masks select, is refused unless --force. Refused means exit 2, a
// message naming the files, and every file as it was.
TEST(HeadlessCompile, OutputsAimedAtInputsAreRefused) {
    Fixture F;
    F.Save();
    const std::string W = F.Work.str();
    const std::string Notes = F.Work.write("notes.txt", "my notes\n");
    const std::string OldList = F.Work.write("old.m3u", "#EXTM3U\r\n/old.mp3\r\n");
    const std::string OldPls = F.Work.write("old.pls", "[Playlist]\r\nFile1=/old.mp3\r\n");
    const std::string BomList = F.Work.write("bom.m3u8", "\xEF\xBB\xBF#EXTM3U\n");
    const std::string Empty = F.Work.write("empty.m3u", "");
    const std::string OldExplain = F.Work.write("old.tsv", std::string(ExplainHeader) + "x\n");
    ASSERT_EQ(link(F.SettingsFile.c_str(), (W + "/settings link.ini").c_str()), 0);
    const std::string SameSpelledOtherwise = W + "/./settings.ini";
    const std::string SettingsRefused = ": it is the settings file " + F.SettingsFile;
    struct Case {
        const char* What;
        std::string Playlist;
        std::string Explain;
        bool Force;
        int Status;
        std::string Message; // the last line; empty when the compile ran
    };
    const Case Cases[] = {
        {"playlist over the settings", F.SettingsFile, "", false, 2,
         "refusing to write the playlist " + F.SettingsFile + SettingsRefused},
        {"playlist over the settings, spelt otherwise", SameSpelledOtherwise, "", true, 2,
         "refusing to write the playlist " + SameSpelledOtherwise + SettingsRefused},
        {"playlist over a second name of the settings", W + "/settings link.ini", "", true, 2,
         "refusing to write the playlist " + W + "/settings link.ini" + SettingsRefused},
        {"explain over the settings", W + "/new.m3u", F.SettingsFile, true, 2,
         "refusing to write the explain file " + F.SettingsFile + SettingsRefused},
        {"both outputs one file", W + "/x", W + "/x", true, 2,
         "refusing to write the playlist " + W + "/x and the explain file " + W +
             "/x: they are one file"},
        {"playlist over a music file", F.Keep, "", false, 2,
         "refusing to replace " + F.Keep +
             " with the playlist: the filename mask *.mp3 selects it (--force replaces it)"},
        {"explain over a music file", W + "/new.m3u", F.Other, false, 2,
         "refusing to replace " + F.Other +
             " with the explain file: the filename mask *.mp3 selects it (--force replaces it)"},
        {"playlist over notes", Notes, "", false, 2,
         "refusing to replace " + Notes +
             " with the playlist: it is no playlist (--force "
             "replaces it)"},
        {"explain over a playlist", W + "/new.m3u", OldList, false, 2,
         "refusing to replace " + OldList +
             " with the explain file: it is no explain file "
             "(--force replaces it)"},
        {"playlist over a playlist", OldList, "", false, 0, ""},
        {"playlist over a PLS", OldPls, "", false, 0, ""},
        {"playlist over an M3U8 with a byte-order mark", BomList, "", false, 0, ""},
        {"playlist over an empty file", Empty, OldExplain, false, 0, ""},
        {"forced over notes", Notes, "", true, 0, ""},
        {"forced over a music file", F.Plain, "", true, 0, ""},
    };
    for (const Case& C : Cases) {
        std::map<std::string, std::string> Before;
        for (const std::string& File :
             {F.SettingsFile, C.Playlist, C.Explain, F.Keep, F.Other, Notes, OldList})
            if (!File.empty())
                Before[File] = TempDir::read(File);
        THeadlessOptions Options;
        Options.ExplainFile = C.Explain;
        Options.Force = C.Force;
        const Outcome Run = RunHeadless(F.SettingsFile, C.Playlist, F.Work, Options);
        EXPECT_EQ(Run.Status, C.Status) << C.What;
        if (C.Status == 2) {
            EXPECT_EQ(Run.Lines.back(), C.Message) << C.What;
            for (const auto& [File, Bytes] : Before)
                EXPECT_EQ(TempDir::read(File), Bytes) << C.What << ": " << File;
        } else {
            EXPECT_EQ(Run.Lines.back(), "Finished compiling playlist.") << C.What;
            const std::string Written = TempDir::read(C.Playlist);
            EXPECT_NE(Written, Before[C.Playlist]) << C.What;
            EXPECT_NE(Written.find(F.Keep), std::string::npos) << C.What;
            if (!C.Explain.empty()) {
                EXPECT_TRUE(TempDir::read(C.Explain).starts_with(ExplainHeader)) << C.What;
            }
            EXPECT_EQ(TempDir::read(F.SettingsFile), Before[F.SettingsFile]) << C.What;
        }
    }
}

TEST(HeadlessCompile, TagCodePageNamesAreReadInAnyCaseAndAnUnknownOneIsReported) {
    const struct {
        const char* Stored;
        bool Reported;
    } Rows[] = {{"Windows-1251", false},
                {"cp1251", false},
                {"WINDOWS-1251", false},
                {"Cyrillic", true},
                {"UTF-8", true}};
    for (const auto& Row : Rows) {
        Fixture F;
        F.Save();
        std::string Text = TempDir::read(F.SettingsFile);
        const std::string Key = "Tag Code Page=Windows-1252";
        ASSERT_NE(Text.find(Key), std::string::npos);
        Text.replace(Text.find(Key), Key.size(), std::string("Tag Code Page=") + Row.Stored);
        F.Work.write("settings.ini", Text);
        const Outcome Run = RunHeadless(F.SettingsFile, (F.Work.path() / "l.m3u").string(), F.Work);
        EXPECT_EQ(Run.Status, 0) << Row.Stored;
        EXPECT_EQ(F.HasLine(Run, "settings file " + F.SettingsFile +
                                     ", Tag Code Page: unknown code page \"" + Row.Stored +
                                     "\", Windows-1252 is used instead"),
                  Row.Reported)
            << Row.Stored;
        // Nothing else is said about it.
        const auto Said = std::count_if(Run.Lines.begin(), Run.Lines.end(), [](const auto& Line) {
            return Line.find("Tag Code Page") != std::string::npos;
        });
        EXPECT_EQ(Said, Row.Reported ? 1 : 0) << Row.Stored;
    }
}
