// The Compile page's list beyond the found files: the checked files' total
// length on the counts line, the dropped files behind "Show dropped files",
// and the lengths an extended save takes without reading on the UI thread.
#include "CompilePageFixture.h"
#include "engine/CompileJob.h"
#include "panels/MediaFileCheckListFrame.h"
#include "support/FakeLengths.h"

#include <QCheckBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

using enum CheckState;
using enum CriterionState;

namespace {

class CompilePageList : public TCompilePageFixture {
protected: // Settings the Summary lets through, so the window reaches the Compile page.
    void WriteMusicSettings() {
        std::filesystem::create_directories(music);
        WizardSettings settings;
        settings.Folders = {{music, Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        WriteSettings(settingsFile, settings);
    }
    static void Found(TMainForm& Form, const std::string& Path) {
        TFileInfo file;
        file.FileName = Path;
        file.MediaInfo.Title = "T " + Path;
        file.MediaInfo.Artist = "A";
        Form.AddFoundFile(file);
    }
    static bool AllRead(const TMainForm& Form) {
        return WaitFor([&] {
            const TCheckListModel& model = *Form.Playlist->Model();
            for (int row = 0; row < model.Count(); ++row)
                if (model.Length(row) == LengthNotRead)
                    return false;
            return true;
        });
    }
    static std::vector<std::string> Captions(const TMediaFileCheckList& List) {
        std::vector<std::string> captions;
        for (int row = 0; row < List.Count(); ++row)
            captions.push_back(List.Model()->Caption(row));
        return captions;
    }
    static std::string Line(const TMainForm& Form) {
        return Form.PlaylistCheckCount->text().toStdString();
    }
};

} // namespace

TEST_F(CompilePageList, CountsLineAddsTheKnownLengthsOfTheCheckedFiles) {
    WriteMusicSettings();
    // Made before the window, so that they outlive its reads.
    TFakeLengths lengths(false, {{"/m/1h", 3600000},
                                 {"/m/2h", 7200000},
                                 {"/m/12min", 720000},
                                 {"/m/unknown", -1},
                                 {"/m/59s", 59000}});
    auto form = OpenAtCompilePage();
    form->Playlist->SetLengthRead(lengths.Read());
    for (const char* path : {"/m/1h", "/m/2h", "/m/12min", "/m/unknown", "/m/59s"})
        Found(*form, path);
    form->Playlist->Model()->Flush();
    // Nothing known yet: the line is the counts alone.
    EXPECT_EQ(Line(*form), "5 media files included in playlist / 5 total media files");
    lengths.Open();
    ASSERT_TRUE(AllRead(*form));
    const std::string counts = " media files included in playlist / 5 total media files";
    const struct {
        const char* Change;
        int Row;
        bool Checked;
        std::string Expected;
    } steps[] = {
        // 1 h + 2 h + 12 min + 59 s: whole minutes, the unknown one adds nothing.
        {"all checked", 0, true, "5" + counts + " \u2014 3 h 12 min"},
        {"without 2 h", 1, false, "4" + counts + " \u2014 1 h 12 min"},
        {"without 1 h", 0, false, "3" + counts + " \u2014 12 min"},
        // Under a minute: seconds, never "0 min".
        {"without 12 min", 2, false, "2" + counts + " \u2014 59 s"},
        {"only the unknown", 4, false, "1" + counts},
        {"back with 2 h", 1, true, "2" + counts + " \u2014 2 h 0 min"},
    };
    for (const auto& step : steps) {
        form->Playlist->SetChecked(step.Row, step.Checked);
        EXPECT_EQ(Line(*form), step.Expected) << step.Change;
    }
    EXPECT_FALSE(lengths.ReadOn(QThread::currentThread()));
}

TEST_F(CompilePageList, DroppedFilesAreShownGreyedWithTheirReasonAndNeverSavedOrCounted) {
    const std::string notag = dir.write("music/a-notag.mp3", std::string(300, 'x'));
    const std::string one = dir.write("music/b-one.mp3", Id3v1File("One", "Alpha", "", "", 1));
    const std::string two = dir.write("music/c-two.mp3", Id3v1File("Two", "Beta", "", "", 2));
    dir.write("music/d-notes.txt", "no filename mask takes it");
    const std::string alias = dir.str() + "/alias";
    ASSERT_EQ(symlink(music.c_str(), alias.c_str()), 0);
    WizardSettings settings;
    settings.Folders = {{music, Checked}, {alias, Checked}};
    settings.Filenames = {{"*.mp3", Checked}};
    settings.Criteria[FieldTitle] = {{"One", Include}};
    WriteSettings(settingsFile, settings);
    auto form = OpenAtCompilePage();
    TMediaFileCheckList& list = *form->Playlist;
    ASSERT_FALSE(form->ShowDroppedFiles->isChecked()) << "off in every new window";

    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
    const std::vector<std::string> found = {one, alias + "/b-one.mp3"};
    EXPECT_EQ(Captions(list), found);
    EXPECT_EQ(Line(*form), "2 media files included in playlist / 2 total media files");

    // Shown without a new compile, in walk order among the found files.
    form->ShowDroppedFiles->click();
    const std::vector<std::string> all = {
        notag, one, two, alias + "/a-notag.mp3", alias + "/b-one.mp3", alias + "/c-two.mp3"};
    ASSERT_EQ(Captions(list), all);
    for (int row = 0; row < list.Count(); ++row) {
        const bool dropped = row % 3 != 1;
        EXPECT_EQ(list.Model()->Dropped(row), dropped) << all[row];
        EXPECT_EQ(list.Model()->index(row, 1).data(Qt::ForegroundRole).isValid(), dropped);
        EXPECT_EQ(list.WhyText(row).startsWith("Dropped: "), dropped) << all[row];
    }
    EXPECT_EQ(list.WhyText(0), "Dropped: .mp3 without a tag, and Include files for which no media "
                               "info can be found is off");
    EXPECT_EQ(Line(*form), "2 media files included in playlist / 2 total media files");

    // Check All passes them by, and Save writes only the found files.
    list.Action(TListCommand::CheckAll)->trigger();
    EXPECT_EQ(list.CheckedCount(), 2);
    const std::string m3u = dir.str() + "/list.m3u";
    dialogs.SaveNames = {m3u};
    form->Save->click();
    EXPECT_EQ(TempDir::read(m3u), "#EXTM3U\r\n" + found[0] + "\r\n" + found[1] + "\r\n");

    // Remove Duplicates: a dropped row never keeps a found one out, and the
    // dropped rows lose their own repeats.
    form->RemoveDuplicates->click();
    EXPECT_EQ(Captions(list), (std::vector<std::string>{notag, one, two}));
    // The count is of the playlist's files; the dropped rows' repeats apart.
    EXPECT_EQ(form->CompileStatus->text(),
              "Removed 1 duplicate. Repeated dropped files removed: 2.");
    EXPECT_EQ(Line(*form), "1 media files included in playlist / 1 total media files");

    form->ShowDroppedFiles->click();
    EXPECT_EQ(Captions(list), (std::vector<std::string>{one}));

    // A compile with the switch on lists them as they come.
    form->ShowDroppedFiles->click();
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
    EXPECT_EQ(Captions(list), all);
}

TEST_F(CompilePageList, ExtendedSaveReadsMissingLengthsOffTheUiThreadAndReusesTheListsOwn) {
    WriteMusicSettings();
    TFakeLengths lengths(false, {{"/m/a.mp3", 61000}, {"/m/b.mp3", -1}, {"/m/c.mp3", 1500}});
    auto form = OpenAtCompilePage();
    form->Playlist->SetLengthRead(lengths.Read());
    for (const char* path : {"/m/a.mp3", "/m/b.mp3", "/m/c.mp3"})
        Found(*form, path);

    // Nothing read yet when Save starts; the reads go on while it waits.
    const std::string list = dir.str() + "/list.m3u8";
    dialogs.SaveNames = {list};
    dialogs.SaveOptions = {{false, true}};
    QTimer::singleShot(50, form.get(), [&] { lengths.Open(); });
    form->Save->click();
    EXPECT_EQ(TempDir::read(list), "#EXTM3U\n"
                                   "#EXTINF:61,A - T /m/a.mp3\n/m/a.mp3\n"
                                   "#EXTINF:-1,A - T /m/b.mp3\n/m/b.mp3\n"
                                   "#EXTINF:2,A - T /m/c.mp3\n/m/c.mp3\n");
    EXPECT_FALSE(lengths.ReadOn(QThread::currentThread()));

    // Once the list has its lengths, a save reads no file again.
    ASSERT_TRUE(AllRead(*form));
    const int reads = lengths.Reads();
    const std::string again = dir.str() + "/again.m3u8";
    dialogs.SaveNames = {again};
    form->Save->click();
    EXPECT_EQ(TempDir::read(again), TempDir::read(list));
    EXPECT_EQ(lengths.Reads(), reads);
}

TEST_F(CompilePageList, CancelWhileAnExtendedSaveWaitsForLengthsWritesNothing) {
    WriteMusicSettings();
    TFakeLengths lengths(false);
    auto form = OpenAtCompilePage();
    form->Playlist->SetLengthRead(lengths.Read());
    Found(*form, "/m/a.mp3");
    const std::string list = dir.str() + "/list.m3u";
    dialogs.SaveNames = {list};
    dialogs.SaveOptions = {{false, true}};
    // The box shows itself after a while; its Cancel ends the save.
    bool cancelled = false;
    std::function<void()> cancel = [&] {
        for (QProgressDialog* box : form->findChildren<QProgressDialog*>())
            if (box->isVisible()) {
                const auto buttons = box->findChildren<QPushButton*>();
                ASSERT_EQ(buttons.size(), 1);
                buttons[0]->click();
                cancelled = true;
                // The read under way ends; the rest are not asked for.
                lengths.Open();
                return;
            }
        QTimer::singleShot(20, form.get(), cancel);
    };
    QTimer::singleShot(20, form.get(), cancel);
    form->Save->click();
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(std::filesystem::exists(list));
    lengths.Open();
}
