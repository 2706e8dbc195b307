// Folder and file lists: the pickers, their titles and start folders, summary texts.
#include "PanelTestSupport.h"
#include "panels/FileCheckListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "support/TempDir.h"

namespace {
TEST(FolderCheckList, AddAndReselectThroughTheFolderPicker) {
    TempDir dir;
    const std::string first = dir.str() + "/first", second = dir.str() + "/second";
    std::filesystem::create_directories(first);
    std::filesystem::create_directories(second);
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope(dialogs);
    TFolderCheckList folders("Folders");

    dialogs.FolderAnswers = {first, std::nullopt, first};
    folders.AddExecute();
    folders.AddExecute();
    folders.AddExecute();
    EXPECT_EQ(Captions(folders), (std::vector<std::string>{first, first}));
    EXPECT_EQ(dialogs.FolderCalls[0], (std::pair<QString, std::string>{"Select folder", ""}));

    folders.SetChecked(1, false);
    folders.SetSelectedIndex(1);
    dialogs.FolderAnswers = {second};
    folders.EditExecute();
    EXPECT_EQ(dialogs.FolderCalls.back(),
              (std::pair<QString, std::string>{"Re-select folder", first}));
    EXPECT_EQ(Captions(folders), (std::vector<std::string>{first, second}));
    EXPECT_EQ(States(folders),
              (std::vector<CheckState>{CheckState::Checked, CheckState::Unchecked}));

    // A folder removed from disk opens the picker with nothing preselected; cancel keeps it.
    std::filesystem::remove(second);
    dialogs.FolderAnswers = {std::nullopt};
    folders.EditExecute();
    EXPECT_EQ(dialogs.FolderCalls.back().second, "");
    EXPECT_EQ(folders.Entry(1).Caption, second);

    std::vector<std::string> lines;
    folders.AppendSummary(lines);
    // The picker's second folder does not exist on disk: the summary says so.
    EXPECT_EQ(lines, (std::vector<std::string>{"Folders:", "\t" + first,
                                               "\t" + second + " (not found)", ""}));
}

TEST(FileCheckList, AddAndEditThroughTheOpenFileDialogWithTheOwnersFilter) {
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope(dialogs);
    TFileCheckList files("Files");
    files.SetFileFilter("Media (*.mp3)");
    dialogs.OpenNames = {"/music/a.mp3", std::nullopt};
    files.AddExecute();
    files.AddExecute();
    EXPECT_EQ(Captions(files), (std::vector<std::string>{"/music/a.mp3"}));
    EXPECT_EQ(dialogs.OpenRequests[0].Title, "Add");
    EXPECT_EQ(dialogs.OpenRequests[0].Filter, "Media (*.mp3)");

    files.SetChecked(0, false);
    files.SetSelectedIndex(0);
    dialogs.OpenNames = {"/music/b.mp3"};
    files.EditExecute();
    EXPECT_EQ(dialogs.OpenRequests.back().Title, "Edit");
    EXPECT_EQ(dialogs.OpenRequests.back().FileName, "/music/a.mp3");
    EXPECT_EQ(Captions(files), (std::vector<std::string>{"/music/b.mp3"}));
    EXPECT_FALSE(files.Checked(0));
}
} // namespace
