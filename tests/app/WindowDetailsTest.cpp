// The Compile page's and the window's smaller manners: settings written as the
// user goes, the save dialog's folder and file type, the confirmation after a
// save, the result list's menu and keys, several files added at once, the
// keyboard's context menu and the welcome panel's version.
#include "CompilePageFixture.h"
#include "app/AppEntry.h"
#include "panels/CheckListView.h"
#include "panels/CriterionListFrame.h"
#include "panels/Dialogs.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

using enum CheckState;
using enum CriterionState;

namespace {

class WindowDetails : public TCompilePageFixture {
protected:
    std::string one = dir.write("music/one.mp3", Id3v1File("One", "A", "B", "2000", 1));
    std::string two = dir.write("music/two.mp3", Id3v1File("Two", "A", "B", "2000", 2));

    void WriteMusicSettings() {
        WizardSettings settings;
        settings.Folders = {{music, Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        WriteSettings(settingsFile, settings);
    }
    std::unique_ptr<TMainForm> Compiled() {
        WriteMusicSettings();
        auto form = OpenAtCompilePage();
        form->Compile->click();
        EXPECT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
        EXPECT_EQ(form->Playlist->Count(), 2);
        return form;
    }
    std::vector<std::string> StoredFolders() const {
        const SettingsStore store(QString::fromStdString(settingsFile));
        std::vector<std::string> folders;
        for (const CheckEntry& entry : LoadCheckListSection(store, "Folders"))
            folders.push_back(entry.Caption);
        return folders;
    }
};

// A crash after any of these loses nothing the user set up before it.
TEST_F(WindowDetails, SettingsAreWrittenWhenAPageIsLeftAndAfterACompile) {
    WriteMusicSettings();
    auto form = OpenAtCompilePage();
    const std::string added = dir.str() + "/more";
    std::filesystem::create_directories(added);
    struct Step {
        const char* Name;
        std::function<void()> Leave;
    };
    const Step steps[] = {
        {"Back", [&] { form->BackClick(); }},
        {"Next", [&] { form->NextClick(); }},
        {"a compile",
         [&] {
             form->Compile->click();
             EXPECT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
         }},
    };
    int round = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.Name);
        const std::string folder = added + "/" + std::to_string(round++);
        std::filesystem::create_directories(folder);
        form->Folders->AddEntry(folder, false);
        std::vector<std::string> stored = StoredFolders();
        EXPECT_EQ(std::count(stored.begin(), stored.end(), folder), 0) << "not written before";
        step.Leave();
        EXPECT_EQ(StoredFolders().back(), folder);
        // The list was left as it was found: no question comes between steps.
        form->Playlist->Clear();
    }
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(WindowDetails, TheSaveDialogStartsWhereAPlaylistWentWithTheTypeLastChosen) {
    auto form = Compiled();
    // A save that failed: neither its folder nor its type is remembered.
    const QString before = DialogFolder(TDialogFolder::Playlist);
    dialogs.SaveNames = {std::string("/proc/morvane-list.m3u")};
    dialogs.SaveFilters = {1};
    form->Save->click();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(DialogFolder(TDialogFolder::Playlist), before);

    const std::string pls = dir.str() + "/lists/mix.pls";
    std::filesystem::create_directories(dir.str() + "/lists");
    dialogs.SaveNames = {pls};
    dialogs.SaveFilters = {1};
    dialogs.SaveRequests.clear();
    form->Save->click();
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].FilterIndex, 0) << "the failed save's type is not kept";
    EXPECT_EQ(form->CompileStatus->text().toStdString(), "Saved 2 entries to " + pls + ".");
    EXPECT_EQ(DialogFolder(TDialogFolder::Playlist).toStdString(), dir.str() + "/lists");

    dialogs.SaveRequests.clear();
    form->Save->click(); // cancelled
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].FilterIndex, 1);
    EXPECT_EQ(dialogs.SaveRequests[0].Directory.toStdString(), dir.str() + "/lists");

    // The type is kept in the settings for the next start.
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->close();
    form.reset();
    auto again = OpenAtCompilePage();
    dialogs.SaveRequests.clear();
    again->Save->click();
    ASSERT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(dialogs.SaveRequests[0].FilterIndex, 1);
}

TEST_F(WindowDetails, TheResultListsMenuHasSaveAndRemoveDuplicatesAndLeavesTheUsualKeys) {
    auto form = Compiled();
    TMediaFileCheckList& list = *form->Playlist;
    std::set<QString> inMenu;
    for (QAction* action : list.ContextMenu()->actions())
        inMenu.insert(action->objectName());
    EXPECT_TRUE(inMenu.contains("SavePlaylist"));
    EXPECT_TRUE(inMenu.contains("RemoveDuplicatesCommand"));
    EXPECT_TRUE(inMenu.contains("CopyPaths"));

    // No command of the list takes a key the desktop gives another meaning,
    // except Copy, which copies.
    const std::pair<QKeySequence, const char*> usual[] = {
        {QKeySequence::SelectAll, ""}, {QKeySequence::Copy, "CopyPaths"},
        {QKeySequence::Save, ""},      {QKeySequence(Qt::CTRL | Qt::Key_I), ""},
        {QKeySequence::Cut, ""},       {QKeySequence::Paste, ""},
        {QKeySequence::Find, ""},      {QKeySequence::Print, ""},
    };
    for (const auto& [keys, owner] : usual)
        for (QAction* action : list.actions()) {
            if (action->shortcut() == keys) {
                EXPECT_EQ(action->objectName().toStdString(), owner)
                    << keys.toString().toStdString() << " on " << action->text().toStdString();
            }
        }

    list.SetSelectedIndex(1);
    list.CopySelectedPaths();
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), list.Entry(1).Caption);

    for (QAction* action : list.ContextMenu()->actions())
        if (action->objectName() == "SavePlaylist")
            action->trigger();
    EXPECT_EQ(dialogs.SaveRequests.size(), 1u);
}

TEST_F(WindowDetails, TheAddFilesDialogTakesSeveralFiles) {
    auto form = Compiled();
    const std::string extra = dir.write("other/three.mp3", Id3v1File("Three", "C", "", "", 3));
    const std::string fourth = dir.write("other/four.mp3", Id3v1File("Four", "C", "", "", 4));
    dialogs.OpenNames = {extra + "\n" + fourth};
    form->Playlist->Action(TListCommand::Add)->trigger();
    ASSERT_EQ(dialogs.OpenRequests.size(), 1u);
    EXPECT_TRUE(dialogs.OpenRequests[0].MultipleFiles);
    ASSERT_EQ(form->Playlist->Count(), 4);
    EXPECT_EQ(form->Playlist->Entry(2).Caption, extra);
    EXPECT_EQ(form->Playlist->Entry(3).Caption, fourth);
    // Each read as one added alone would be.
    EXPECT_EQ(form->Playlist->Model()->ColumnText(3, 1), "Four");
}

TEST_F(WindowDetails, ShiftF10OpensTheContextMenuOfTheListAndTheSummary) {
    auto form = Compiled();
    int listMenus = 0, summaryMenus = 0;
    QObject::connect(form->Playlist->View(), &QWidget::customContextMenuRequested,
                     [&] { ++listMenus; });
    QObject::connect(form->Summary, &QWidget::customContextMenuRequested, [&] { ++summaryMenus; });
    const struct {
        Qt::Key Key;
        Qt::KeyboardModifiers Modifiers;
        int Menus;
    } keys[] = {
        {Qt::Key_F10, Qt::ShiftModifier, 1},
        {Qt::Key_F10, Qt::NoModifier, 0},
        {Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier, 0},
    };
    for (const auto& key : keys) {
        SCOPED_TRACE(key.Modifiers.toInt());
        listMenus = summaryMenus = 0;
        QKeyEvent toList(QEvent::KeyPress, key.Key, key.Modifiers);
        QApplication::sendEvent(form->Playlist->View(), &toList);
        QKeyEvent toSummary(QEvent::KeyPress, key.Key, key.Modifiers);
        QApplication::sendEvent(form->Summary, &toSummary);
        EXPECT_EQ(listMenus, key.Menus);
        EXPECT_EQ(summaryMenus, key.Menus);
        form->Playlist->ContextMenu()->hide();
        form->SummaryMenu->hide();
    }
}

TEST_F(WindowDetails, StateIconsSayWhatTheyMeanAndTheWelcomeNamesTheVersion) {
    auto form = std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
    form->SetStoreOnDestroy(false);
    const std::pair<CriterionState, const char*> states[] = {
        {Include, "Include: "}, {Exclude, "Exclude: "}, {Ignore, "Ignore: "}};
    for (const auto& [state, start] : states) {
        const int row = form->Titles->AddEntryWithState("x", state);
        const QString tip = form->Titles->Model()->index(row, 0).data(Qt::ToolTipRole).toString();
        EXPECT_TRUE(tip.startsWith(start)) << tip.toStdString();
    }
    // Lists with check boxes have no state tooltips.
    form->Filenames->AddEntry("*.mp3", true);
    EXPECT_TRUE(form->Filenames->Model()->index(0, 0).data(Qt::ToolTipRole).toString().isEmpty());

    const auto* version = form->findChild<QLabel*>("AppVersion");
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text().toStdString(), std::string("Version ") + ProgramVersion());
}

} // namespace
