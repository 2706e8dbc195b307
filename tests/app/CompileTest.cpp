// The Compile page from end to end: a real settings file and folder tree, the
// worker's files in the playlist, the counts line, pause/resume, abort through
// Back, closing mid-compile, and the saved playlists' exact bytes.
#include "CompilePageFixture.h"
#include "app/BannerFrame.h"
#include "engine/CompileThread.h"
#include "engine/Criteria.h"
#include "media/MediaUtils.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "support/AudioBytes.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

const QString Finished = "Finished compiling playlist.";

class CompileTest : public TCompilePageFixture {
protected:
    void WriteSearchSettings() {
        WizardSettings settings;
        settings.Folders = {{music, Checked}};
        settings.Filenames = {{"*.mp3", Checked}, {"*.txt", Unchecked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        WriteSettings(settingsFile, settings);
    }
    static bool FinishedCompiling(const TMainForm& Form) {
        return Form.CompileState() == TCompileState::Idle && Form.CompileStatus->text() == Finished;
    }
    static QColor StatusColour(const TMainForm& Form) {
        return Form.CompileStatus->palette().color(QPalette::WindowText);
    }
    static QColor WindowText() { return QApplication::palette().color(QPalette::WindowText); }
    static std::string CountsLine(int Checked, int Total) {
        return std::to_string(Checked) + " media files included in playlist / " +
               std::to_string(Total) + " total media files";
    }
};

} // namespace

TEST_F(CompileTest, EndToEndFromSettingsFileToSavedPlaylists) {
    const std::string one =
        dir.write("music/a/one.mp3", Id3v1File("One", "Alpha", "First", "2001", 1));
    const std::string two =
        dir.write("music/a/sub/two.mp3", Id3v1File("Two", "Beta", "First", "2002", 2));
    const std::string three =
        dir.write("music/b/three.mp3", Id3v1File("Three", "Alpha", "Second", "1999", 3));
    // A name that is not valid UTF-8 reaches the playlist file byte for byte.
    const std::string latin =
        dir.write("music/caf\xe9.mp3", Id3v1File("Caf\xe9", "Gamma", "Third", "1987", 4));
    dir.write("music/b/notes.txt", "not media");
    WriteSearchSettings();

    auto form = std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
    form->show();
    const QStringList headings = {"Folders", "Filenames",        "Titles", "Artists",
                                  "Albums",  "Genres",           "Years",  "More criteria",
                                  "Options", "Order and limits", "Summary"};
    for (const QString& heading : headings) {
        form->NextButton()->click();
        EXPECT_EQ(form->Banner()->Heading()->text(), heading);
    }
    const std::vector<std::string> summary = {
        "Folders:",
        "\t" + music,
        "",
        "\tSearch for media files in the subfolders of the folders specified",
        "",
        "Filenames:",
        "\t\"*.mp3\"",
        "\t\"*.txt\"",
        "",
        "Titles:",
        "\tIncluding \"*\"",
        "",
        "\tInclusion of titles should take precedence over exclusion",
        "",
        "Artists:",
        "\t<none>",
        "",
        "\tInclusion of artists should take precedence over exclusion",
        "",
        "Albums:",
        "\t<none>",
        "",
        "\tInclusion of albums should take precedence over exclusion",
        "",
        "Genres:",
        "\t<none>",
        "",
        "\tInclusion of genres should take precedence over exclusion",
        "",
        "Years:",
        "\t<none>",
        "",
        "\tInclusion of years should take precedence over exclusion",
        "",
        "Options:",
        "\tInclusion of media files in playlist should take precedence over exclusion",
        "\tText in tags without a declared encoding: Western (Windows-1252)",
        "\tRead tags of other audio formats (FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, APE)",
    };
    EXPECT_EQ(Lines(form->Summary->toPlainText()), summary);
    ASSERT_TRUE(form->NextButton()->isEnabled());
    form->NextButton()->click();
    EXPECT_EQ(form->Banner()->Heading()->text(), "Compile");
    EXPECT_EQ(form->Banner()->SubHeading()->text(), "You are now ready to compile your playlist");

    form->Compile->click();
    EXPECT_EQ(form->Compile->text(), "Stop");
    ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
    EXPECT_EQ(form->Compile->text(), "Compile");
    EXPECT_EQ(StatusColour(*form), WindowText());

    TMediaFileCheckList& list = *form->Playlist;
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(4, 4));
    list.ListColumnClick(0); // ascending by path
    std::vector<std::string> paths;
    for (const TCheckListEntry& entry : list.Entries())
        paths.push_back(entry.Caption);
    EXPECT_EQ(paths, (std::vector<std::string>{one, two, three, latin}));
    const TCheckListEntry& first = list.Entry(0);
    EXPECT_EQ(first.Columns[0], "One");
    EXPECT_EQ(first.Columns[1], "Alpha");
    EXPECT_EQ(first.Columns[2], "First");
    EXPECT_EQ(first.Columns[4], "2001");
    EXPECT_EQ(first.Value, static_cast<std::int32_t>(std::filesystem::file_size(one)));
    EXPECT_EQ(list.Entry(3).Columns[0], "Caf\xC3\xA9"); // read in the tag code page
    for (int row = 0; row < 4; ++row)
        EXPECT_TRUE(list.Checked(row));

    list.SetChecked(1, false);
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(3, 4));

    const std::string pls = dir.str() + "/Mix.PLS";
    const std::string m3u = dir.str() + "/mix.m3u";
    const std::string bare = dir.str() + "/mix";
    dialogs.SaveNames = {pls, m3u, bare};
    for (int i = 0; i < 3; ++i)
        form->Save->click();
    ASSERT_EQ(dialogs.SaveRequests.size(), 3u);
    EXPECT_EQ(dialogs.SaveRequests[0].Title, "Save Playlist");
    EXPECT_EQ(dialogs.SaveRequests[0].Filter,
              "M3U playlist (*.m3u);;PLS playlist (*.pls);;M3U8 playlist, UTF-8 (*.m3u8);;"
              "All files (*)");
    // Default options: today's bytes.
    EXPECT_TRUE(dialogs.SaveRequests[0].PlaylistOptions);
    EXPECT_FALSE(dialogs.SaveRequests[0].RelativePaths);
    EXPECT_FALSE(dialogs.SaveRequests[0].ExtendedPlaylist);
    EXPECT_EQ(dialogs.SaveRequests[0].DefaultSuffix, "m3u");
    EXPECT_EQ(dialogs.SaveRequests[0].FilterIndex, 0);
    EXPECT_EQ(TempDir::read(pls), "[playlist]\r\nVersion=2\r\nNumberOfEntries=3\r\nFile1=" + one +
                                      "\r\nFile2=" + three + "\r\nFile3=" + latin + "\r\n");
    const std::string m3uText = "#EXTM3U\r\n" + one + "\r\n" + three + "\r\n" + latin + "\r\n";
    EXPECT_EQ(TempDir::read(m3u), m3uText);
    EXPECT_EQ(TempDir::read(bare), m3uText);
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(CompileTest, SaveOptionsAreUsedRememberedAndStored) {
    const std::string one =
        dir.write("music/one.mp3", Id3v1File("One", "Alpha", "First", "2001", 1));
    WriteSearchSettings();
    {
        auto form = OpenAtCompilePage();
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
        ASSERT_EQ(form->Playlist->Count(), 1);
        // Relative and extended, into the music folder's parent.
        const std::string list = dir.str() + "/list.m3u8";
        dialogs.SaveNames = {list, dir.str() + "/again.pls"};
        dialogs.SaveOptions = {{true, true}};
        form->Save->click();
        EXPECT_EQ(TempDir::read(list), "#EXTM3U\n#EXTINF:-1,Alpha - One\nmusic/one.mp3\n");
        // The next save offers what was chosen last.
        form->Save->click();
        ASSERT_EQ(dialogs.SaveRequests.size(), 2u);
        EXPECT_TRUE(dialogs.SaveRequests[1].RelativePaths);
        EXPECT_TRUE(dialogs.SaveRequests[1].ExtendedPlaylist);
        EXPECT_EQ(TempDir::read(dir.str() + "/again.pls"),
                  "[playlist]\r\nVersion=2\r\nNumberOfEntries=1\r\nFile1=music/one.mp3\r\n"
                  "Title1=Alpha - One\r\nLength1=-1\r\n");
        // An entry on another file system keeps its path, and the status says so.
        struct stat shm, here;
        if (stat("/dev/shm", &shm) == 0 && stat(dir.str().c_str(), &here) == 0 &&
            shm.st_dev != here.st_dev) {
            const std::string far = "/dev/shm/morvane-save-" + std::to_string(getpid()) + ".m3u";
            dialogs.SaveNames = {far};
            form->Save->click();
            EXPECT_EQ(form->CompileStatus->text().toStdString(),
                      "Saved 1 entry to " + far +
                          ". 1 entry could not be made relative and keeps its full path.");
            unlink(far.c_str());
        }
    }
    // The options outlive the window.
    SettingsStore store(QString::fromStdString(settingsFile));
    EXPECT_EQ(store.ReadString("Options", "Relative Playlist Paths", "?"), "1");
    EXPECT_EQ(store.ReadString("Options", "Extended Playlist", "?"), "1");
    auto again = OpenAtCompilePage();
    dialogs.SaveRequests.clear();
    again->Save->click();
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_TRUE(dialogs.SaveRequests[0].RelativePaths);
    EXPECT_TRUE(dialogs.SaveRequests[0].ExtendedPlaylist);
}

TEST_F(CompileTest, RemoveDuplicatesKeepsTheFirstRowOfEachFileThroughLinks) {
    const std::string one =
        dir.write("music/one.mp3", Id3v1File("One", "Alpha", "First", "2001", 1));
    const std::string two =
        dir.write("music/two.mp3", Id3v1File("Two", "Beta", "First", "2002", 2));
    // The same files again through a folder link, and a hand-added path.
    ASSERT_EQ(symlink(music.c_str(), (dir.str() + "/alias").c_str()), 0);
    WizardSettings settings;
    settings.Folders = {{music, Checked}, {dir.str() + "/alias", Checked}};
    settings.Filenames = {{"*.mp3", Checked}};
    settings.Criteria[FieldTitle] = {{"*", Include}};
    WriteSettings(settingsFile, settings);
    auto form = OpenAtCompilePage();
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
    ASSERT_EQ(form->Playlist->Count(), 4);
    form->Playlist->SetChecked(2, false); // the first repeat: its state goes with it
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(3, 4));

    // Each found row says why it is there.
    EXPECT_EQ(form->Playlist->WhyText(3), "Included: Title matches \"*\" (include)");

    form->RemoveDuplicates->click();
    std::vector<std::string> paths;
    for (const TCheckListEntry& entry : form->Playlist->Entries())
        paths.push_back(entry.Caption);
    EXPECT_EQ(paths, (std::vector<std::string>{one, two}));
    EXPECT_EQ(form->CompileStatus->text(), "Removed 2 duplicates.");
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(2, 2));

    form->RemoveDuplicates->click();
    EXPECT_EQ(form->CompileStatus->text(), "No duplicates found.");
    EXPECT_EQ(form->Playlist->Count(), 2);
}

TEST_F(CompileTest, SaveEdgeCases) {
    dir.write("music/one.mp3", Id3v1File("One", "Alpha", "First", "2001", 1));
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
    ASSERT_EQ(form->Playlist->Count(), 1);

    // Cancel writes nothing.
    form->Save->click();
    EXPECT_EQ(dialogs.SaveRequests.size(), 1u);

    // A writer's failure shows its message; the list stays.
    dialogs.SaveNames = {dir.str() + "/no/such/folder/list.m3u"};
    form->Save->click();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_FALSE(dialogs.Errors[0].isEmpty());
    EXPECT_EQ(form->Playlist->Count(), 1);

    // No checked entry: a playlist without entries.
    form->Playlist->SetChecked(0, false);
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(0, 1));
    dialogs.SaveNames = {dir.str() + "/empty.txt", dir.str() + "/empty.pls"};
    form->Save->click();
    form->Save->click();
    EXPECT_EQ(TempDir::read(dir.str() + "/empty.txt"), "#EXTM3U\r\n");
    EXPECT_EQ(TempDir::read(dir.str() + "/empty.pls"),
              "[playlist]\r\nVersion=2\r\nNumberOfEntries=0\r\n");
}

TEST_F(CompileTest, CompileThatFindsNothingEndsWithAnEmptyList) {
    std::filesystem::create_directories(music);
    dir.write("music/readme.txt", "text");
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
    EXPECT_EQ(form->Playlist->Count(), 0);
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(0, 0));
    // After a finished compile Back asks nothing.
    form->BackButton()->click();
    EXPECT_TRUE(dialogs.Questions.empty());
    EXPECT_EQ(form->PageIndex(), SummaryPage);
}

// Root reads every folder: the worker then runs with the file-system identity
// of an ordinary user, which a new thread takes over from the one starting it.
class TOrdinaryFileAccess {
public:
    TOrdinaryFileAccess() : root_(geteuid() == 0) {
        if (root_) {
            syscall(SYS_setfsgid, 65534);
            syscall(SYS_setfsuid, 65534);
        }
    }
    ~TOrdinaryFileAccess() {
        if (root_) {
            syscall(SYS_setfsuid, 0);
            syscall(SYS_setfsgid, 0);
        }
    }

private:
    bool root_;
};

TEST_F(CompileTest, UnreadableFoldersAreCountedAfterFinishedWithoutAMessageBox) {
    dir.write("music/locked/a.mp3", Id3v1File("A", "X", "Y", "2001", 1));
    dir.write("music/open/b.mp3", Id3v1File("B", "X", "Y", "2001", 2));
    namespace fs = std::filesystem;
    for (const fs::path& Open : {dir.path(), fs::path(music), fs::path(music) / "open"})
        fs::permissions(Open,
                        fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(music + "/open/b.mp3", fs::perms::others_read, fs::perm_options::add);
    fs::permissions(music + "/locked", fs::perms::none);
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    // The ordinary user may not write the test's tag index, which would add
    // its own warning to the status line.
    form->DisableTagIndex();
    {
        TOrdinaryFileAccess Ordinary;
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
    }
    EXPECT_EQ(form->CompileStatus->text(), Finished + " 1 folder could not be read.");
    EXPECT_EQ(form->Playlist->Count(), 1);
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(CompileTest, PauseResumeBackAndANewCompileAfterTheAbort) {
    const int files = 80;
    for (int i = 0; i < files; ++i)
        dir.write("music/track" + std::to_string(100 + i) + ".mp3",
                  Id3v1File("T" + std::to_string(i), "A", "B", "2000", 1));
    WriteSearchSettings();
    auto form = OpenAtCompilePage();

    // Slowed reads spread the files over several batches; "Stop" is pressed
    // when the first batch has arrived, so the pause comes before the end.
    form->CompileController().Readers.Threads = 0;
    form->CompileController().Readers.Read = [](int FolderFd, const char* Name, TMediaInfo& Info,
                                                std::int64_t& Size) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ReadMediaInfoAt(FolderFd, Name, Info, Size);
    };
    const QMetaObject::Connection stopper =
        QObject::connect(form->Playlist, &TCheckList::EntriesChanged, [&] {
            if (form->Playlist->Count() >= 1 && form->CompileState() == TCompileState::Running)
                form->Compile->click();
        });
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Paused; }));
    QObject::disconnect(stopper);
    // Paused: nothing more arrives while the event loop turns.
    for (int i = 0; i < 50; ++i)
        QApplication::processEvents();
    const int found = form->Playlist->Count();
    EXPECT_GE(found, 1);
    EXPECT_EQ(form->Compile->text(), "Resume");
    EXPECT_EQ(form->CompileState(), TCompileState::Paused);
    EXPECT_EQ(StatusColour(*form), QColor(255, 0, 0));
    const QString pausedStatus = form->CompileStatus->text();
    EXPECT_TRUE(pausedStatus.startsWith("Paused: Searching ")) << pausedStatus.toStdString();
    EXPECT_EQ(form->Playlist->Count(), found);
    ASSERT_LT(found, files) << "paused before the end";

    form->Compile->click();
    EXPECT_EQ(form->Compile->text(), "Stop");
    EXPECT_EQ(StatusColour(*form), WindowText());
    EXPECT_FALSE(form->CompileStatus->text().contains("Paused"))
        << form->CompileStatus->text().toStdString();
    form->Compile->click();
    EXPECT_EQ(form->Compile->text(), "Resume");
    EXPECT_EQ(form->CompileStatus->text(), pausedStatus) << "pausing keeps the text";
    const int pausedCount = form->Playlist->Count();

    // No: nothing changes, the compile stays paused.
    dialogs.Answers = {false};
    form->BackButton()->click();
    ASSERT_EQ(dialogs.Questions.size(), 1u);
    EXPECT_EQ(dialogs.Questions[0], "Are you sure you want to abort the compilation and go back?");
    EXPECT_EQ(form->PageIndex(), CompilePage);
    EXPECT_EQ(form->Compile->text(), "Resume");
    EXPECT_TRUE(form->CompileExists());
    EXPECT_FALSE(form->CompileRunning());
    EXPECT_EQ(StatusColour(*form), QColor(255, 0, 0));

    // Yes: aborted at once, back on the Summary page, entries kept.
    dialogs.Answers = {true};
    form->BackButton()->click();
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    EXPECT_EQ(form->Compile->text(), "Compile");
    EXPECT_EQ(form->CompileStatus->text(), "Ready to compile.");
    EXPECT_EQ(StatusColour(*form), WindowText());
    EXPECT_FALSE(form->CompileExists());
    EXPECT_EQ(form->Playlist->Count(), pausedCount);

    // A new compile straight away gets only its own files, and the ending
    // one's late news never reaches the window.
    // The entries kept are unsaved work, so the new compile asks first.
    form->NextButton()->click();
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->Compile->click();
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return FinishedCompiling(*form); }));
    std::set<std::string> captions;
    for (const TCheckListEntry& entry : form->Playlist->Entries())
        captions.insert(entry.Caption);
    EXPECT_EQ(form->Playlist->Count(), files);
    EXPECT_EQ(captions.size(), size_t(files));
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(files, files));
    EXPECT_EQ(form->Compile->text(), "Compile");
}

TEST_F(CompileTest, ClosingMidCompileEndsCleanlyAndStoresTheSettings) {
    for (int i = 0; i < 60; ++i)
        dir.write("music/t" + std::to_string(i) + ".mp3", Id3v1File("T", "A", "B", "2000", 1));
    WriteSearchSettings();
    for (bool paused : {false, true}) {
        std::filesystem::remove(settingsFile);
        WriteSearchSettings();
        auto form = OpenAtCompilePage();
        form->Recurse->setChecked(false);
        bool closed = false;
        QObject::connect(form.get(), &TMainForm::FormClosed, [&] { closed = true; });
        // The list found so far is unsaved work: closing asks first.
        dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
        // The window closes (or pauses, then closes) when the first batch of
        // files has arrived, so the compile surely still exists then.
        bool handled = false;
        QObject::connect(form->Playlist, &TCheckList::EntriesChanged, [&] {
            if (handled || form->Playlist->Count() == 0)
                return;
            handled = true;
            if (paused)
                form->Compile->click();
            EXPECT_TRUE(form->CompileExists());
            EXPECT_EQ(form->CompileRunning(), !paused);
            EXPECT_TRUE(form->close());
        });
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return closed; }));
        form.reset(); // ends the worker; must not hang
        SettingsStore store(QString::fromStdString(settingsFile));
        EXPECT_EQ(store.ReadString("Folders", "Recurse", "?"), "0") << paused;
        EXPECT_EQ(store.ReadString("Folders", "Item 1", "?"), music) << paused;
    }
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(CompileTest, FilesAddedByHandAreReadByTheirFormatsReadersWhenAsked) {
    audiobytes::TAudioTag tag;
    tag.Title = "Flac Song";
    tag.Artist = "Flac Band";
    const std::string flac = dir.write("by-hand/song.flac", audiobytes::FlacFile(tag));
    std::filesystem::create_directories(music);
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    QAction* add = form->Playlist->Action(TListCommand::Add);
    ASSERT_NE(add, nullptr);
    dialogs.OpenNames = {flac, flac};
    add->trigger();
    form->ReadOtherFormats->setChecked(false);
    add->trigger();
    ASSERT_EQ(form->Playlist->Count(), 2);
    EXPECT_EQ(form->Playlist->Entry(0).Columns[0], "Flac Song");
    EXPECT_EQ(form->Playlist->Entry(0).Columns[1], "Flac Band");
    EXPECT_EQ(form->Playlist->Entry(1).Columns, (std::array<std::string, ListTextColumns>{}));
}

TEST_F(CompileTest, FilesAddedByHandGetTheirTagsAndTheCounts) {
    const std::string tagged = dir.write("by-hand/song.mp3", Id3v1File("Song", "Solo", "", "", 0));
    const std::string bare = dir.write("by-hand/noise.ogg", std::string(300, 'n'));
    std::filesystem::create_directories(music);
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    ASSERT_EQ(form->Playlist->Count(), 0);
    QAction* add = form->Playlist->Action(TListCommand::Add);
    ASSERT_NE(add, nullptr);

    dialogs.OpenNames = {tagged, bare};
    add->trigger();
    add->trigger();
    ASSERT_EQ(dialogs.OpenRequests.size(), 2u);
    EXPECT_TRUE(dialogs.OpenRequests[0].Filter.startsWith("User-specified files (*.mp3);;"));
    ASSERT_EQ(form->Playlist->Count(), 2);
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(2, 2));
    EXPECT_EQ(form->Playlist->Entry(0).Caption, tagged);
    EXPECT_EQ(form->Playlist->Entry(0).Columns[0], "Song");
    EXPECT_EQ(form->Playlist->Entry(0).Columns[1], "Solo");
    EXPECT_EQ(form->Playlist->Entry(1).Columns, (std::array<std::string, ListTextColumns>{}));

    form->Playlist->Action(TListCommand::InvertChecks)->trigger();
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(0, 2));
    form->Playlist->SetSelectedIndex(0);
    form->Playlist->Action(TListCommand::Remove)->trigger();
    EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(), CountsLine(0, 1));
}

// The counts line follows the list's own change signals, so a change the window
// did not make (the list's methods called directly, bypassing its commands)
// still shows.
TEST_F(CompileTest, CountsLineFollowsChangesTheWindowDidNotMake) {
    std::filesystem::create_directories(music);
    WriteSearchSettings();
    auto form = OpenAtCompilePage();
    TMediaFileCheckList& list = *form->Playlist;
    const struct {
        const char* Change;
        std::function<void()> Make;
        int Checked;
        int Total;
    } steps[] = {
        {"add checked", [&] { list.AddMediaEntry("/m/a.mp3", TMediaInfo{}, true); }, 1, 1},
        {"add unchecked", [&] { list.AddMediaEntry("/m/b.mp3", TMediaInfo{}, false); }, 1, 2},
        {"check one", [&] { list.SetChecked(1, true); }, 2, 2},
        {"invert", [&] { list.InvertChecksExecute(); }, 0, 2},
        {"check all", [&] { list.CheckAllExecute(); }, 2, 2},
        {"remove", [&] { list.RemoveEntry(0); }, 1, 1},
        {"clear", [&] { list.Clear(); }, 0, 0},
    };
    for (const auto& step : steps) {
        step.Make();
        EXPECT_EQ(form->PlaylistCheckCount->text().toStdString(),
                  CountsLine(step.Checked, step.Total))
            << step.Change;
    }
}

// A search folder missing at start (an unmounted drive) stays in the list with
// its check state, the Summary names it, a compile skips it and says so, and
// the settings file keeps it.
TEST_F(CompileTest, AMissingSearchFolderIsKeptNamedAndSkipped) {
    dir.write("music/a.mp3", Id3v1File("T", "A", "B", "2000", 1));
    const std::string gone = dir.str() + "/unmounted";
    WizardSettings settings;
    settings.Folders = {{gone, Checked}, {music, Checked}, {dir.str() + "/also-gone", Unchecked}};
    settings.Filenames = {{"*.mp3", Checked}};
    settings.Criteria[FieldTitle] = {{"*", Include}};
    WriteSettings(settingsFile, settings);
    {
        auto form = OpenAtCompilePage();
        ASSERT_EQ(form->Folders->Count(), 3);
        EXPECT_TRUE(form->Folders->FolderMissing(0));
        EXPECT_FALSE(form->Folders->FolderMissing(1));
        EXPECT_EQ(form->Folders->CheckedCount(), 2);
        EXPECT_TRUE(
            form->Summary->toPlainText().contains(QString::fromStdString(gone) + " (not found)"))
            << form->Summary->toPlainText().toStdString();
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
        EXPECT_EQ(form->Playlist->Count(), 1);
        const QString status = form->CompileStatus->text();
        EXPECT_TRUE(status.startsWith(Finished)) << status.toStdString();
        EXPECT_TRUE(status.endsWith("Not found, skipped: " + QString::fromStdString(gone)))
            << status.toStdString() << ": only the checked missing folder";
        dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
        form->close();
    }
    const SettingsStore store(QString::fromStdString(settingsFile));
    EXPECT_EQ(LoadCheckListSection(store, "Folders"), settings.Folders);
}
