// The window's search commands: New, Open, Save, Save As, the recent
// searches, the title with its modified mark and the questions before
// unsaved changes go.
#include "AppTestSupport.h"
#include "app/Main.h"

#include "panels/FolderCheckListFrame.h"
#include "settings/SearchFile.h"
#include "settings/SettingsStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>

#include <gtest/gtest.h>

using enum CheckState;
using enum CriterionState;

namespace {

struct TSearchWindow {
    TempDir Dir;
    TScriptedDialogs Dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs Scoped{Dialogs};
    std::string Store = Dir.str() + "/2.ini";

    std::string Keep(const std::string& Name, bool Recurse) const {
        WizardSettings settings;
        settings.Folders = {{Dir.str(), Checked}};
        settings.Filenames = {{"*." + Name, Checked}};
        settings.Recurse = Recurse;
        const std::string file = Dir.str() + "/" + Name + ".morvane";
        SaveSearchFile(file, settings);
        return file;
    }
    // The title once the pages' changes have been looked at.
    static QString Title(TMainForm& Form) {
        QApplication::processEvents();
        WaitFor([] { return false; }, 150);
        return Form.windowTitle();
    }
};

} // namespace

TEST(SearchWindow, TitleModifiedMarkAndTheQuestionBeforeChangesGo) {
    TSearchWindow w;
    const std::string rock = w.Keep("rock", true);
    TMainForm form(w.Store);
    // The settings file's own search: the program's name alone, never modified.
    EXPECT_EQ(TSearchWindow::Title(form), "Morvane");
    form.Recurse->setChecked(false);
    EXPECT_FALSE(form.SearchModified());
    EXPECT_EQ(TSearchWindow::Title(form), "Morvane");

    ASSERT_TRUE(form.OpenSearch(rock));
    EXPECT_EQ(form.SearchFile(), rock);
    EXPECT_TRUE(form.Recurse->isChecked());
    EXPECT_EQ(TSearchWindow::Title(form), "rock - Morvane");
    // Leaving the settings file's search kept it there.
    EXPECT_EQ(SettingsStore(w.Store).ReadString("Folders", "Recurse", ""), "0");

    form.Recurse->setChecked(false);
    EXPECT_TRUE(form.SearchModified());
    EXPECT_EQ(TSearchWindow::Title(form), "rock * - Morvane");
    form.Recurse->setChecked(true);
    EXPECT_EQ(TSearchWindow::Title(form), "rock - Morvane");

    // Cancel keeps the search; Discard lets New replace it; Save writes it first.
    form.Recurse->setChecked(false);
    w.Dialogs.DiscardAnswers = {TDiscardAnswer::Cancel};
    form.NewSearchClick();
    EXPECT_EQ(form.SearchFile(), rock);
    ASSERT_EQ(w.Dialogs.DiscardQuestions.size(), 1u);
    EXPECT_EQ(w.Dialogs.DiscardQuestions[0], "Save the changes to the search \"rock\"?");
    w.Dialogs.DiscardAnswers = {TDiscardAnswer::Save};
    form.NewSearchClick();
    EXPECT_EQ(LoadSearchFile(rock).Settings.Recurse, false);
    EXPECT_EQ(form.SearchFile(), "");
    EXPECT_EQ(TSearchWindow::Title(form), "Untitled - Morvane");
    EXPECT_TRUE(form.Folders->CheckEntries().empty());
    EXPECT_TRUE(form.Recurse->isChecked());

    // A new search saved goes through Save As.
    form.IncludeTaglessFiles->setChecked(true);
    EXPECT_EQ(TSearchWindow::Title(form), "Untitled * - Morvane");
    const std::string jazz = w.Dir.str() + "/jazz.morvane";
    w.Dialogs.SaveNames = {jazz};
    ASSERT_TRUE(form.SaveSearchClick());
    EXPECT_EQ(w.Dialogs.SaveRequests.back().Title, "Save Search");
    EXPECT_TRUE(LoadSearchFile(jazz).Settings.IncludeTaglessFiles);
    EXPECT_EQ(TSearchWindow::Title(form), "jazz - Morvane");

    // Closing with unsaved changes asks too; Cancel keeps the window open.
    form.IncludeTaglessFiles->setChecked(false);
    w.Dialogs.DiscardAnswers = {TDiscardAnswer::Cancel};
    EXPECT_FALSE(form.close());
    w.Dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(LoadSearchFile(jazz).Settings.IncludeTaglessFiles);
}

TEST(SearchWindow, RecentSearchesNewestFirstInTheMenuOnTheWelcomePanelAndAfterARestart) {
    TSearchWindow w;
    std::vector<std::string> files;
    for (int i = 0; i < 10; ++i)
        files.push_back(w.Keep("s" + std::to_string(i), i % 2 == 0));
    {
        TMainForm form(w.Store);
        EXPECT_TRUE(form.RecentSearches().empty());
        for (const std::string& file : files)
            ASSERT_TRUE(form.OpenSearch(file));
        ASSERT_TRUE(form.OpenSearch(files[4]));
        const std::vector<std::string> expected = {files[4], files[9], files[8], files[7],
                                                   files[6], files[5], files[3], files[2]};
        EXPECT_EQ(form.RecentSearches(), expected);
        EXPECT_TRUE(form.RecentSearchesLabel->text().contains("s9"));
        EXPECT_FALSE(form.RecentSearchesLabel->text().contains("s1<"));
        // The menu: the four commands, then the recent ones numbered.
        emit form.SearchMenu->aboutToShow();
        QStringList texts;
        for (QAction* action : form.SearchMenu->actions())
            if (!action->isSeparator())
                texts << action->text();
        EXPECT_EQ(texts.mid(0, 4), (QStringList{"&New", "&Open...", "&Save", "Save &As..."}));
        EXPECT_EQ(texts[4], "&1 s4.morvane");
        EXPECT_EQ(texts[11], "&8 s2.morvane");
        EXPECT_EQ(texts.last(), "&Forget my changes");
        form.OpenRecentSearch(1);
        EXPECT_EQ(form.SearchFile(), files[9]);
    }
    TMainForm again(w.Store);
    EXPECT_EQ(again.RecentSearches().front(), files[9]);
    EXPECT_EQ(again.RecentSearches().size(), 8u);
    // A search that has gone is said so and leaves the list.
    std::filesystem::remove(files[9]);
    EXPECT_FALSE(again.OpenSearch(files[9]));
    ASSERT_EQ(w.Dialogs.Errors.size(), 1u);
    EXPECT_NE(again.RecentSearches().front(), files[9]);
}

TEST(SearchWindow, TheSettingsFilesOwnSearchIsKeptWhenATitledOneIsOpenAtExit) {
    TSearchWindow w;
    WizardSettings own;
    own.Folders = {{w.Dir.str(), Checked}};
    own.Filenames = {{"*.own", Checked}};
    WriteSettings(w.Store, own);
    const std::string other = w.Keep("other", true);
    {
        TMainForm form(w.Store);
        EXPECT_EQ(form.Filenames->CheckEntries(), own.Filenames);
        ASSERT_TRUE(form.OpenSearch(other));
        form.ThoroughID3Check->setChecked(true);
        w.Dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
        EXPECT_TRUE(form.close());
    }
    TMainForm again(w.Store);
    EXPECT_EQ(again.Filenames->CheckEntries(), own.Filenames);
    EXPECT_EQ(again.SearchFile(), "");
    EXPECT_FALSE(LoadSearchFile(other).Settings.ThoroughID3Check);
}

TEST(SearchWindow, KeepThisPlaylistCurrentMarksTheOpenSearchForTheWatchAcrossRestarts) {
    TSearchWindow w;
    const std::string rock = w.Keep("rock", true);
    const std::string jazz = w.Keep("jazz", false);
    const auto shown = [](TMainForm& Form) {
        emit Form.SearchMenu->aboutToShow();
        EXPECT_TRUE(Form.SearchMenu->actions().contains(Form.KeepCurrentAction));
        return std::pair{Form.KeepCurrentAction->isEnabled(), Form.KeepCurrentAction->isChecked()};
    };
    {
        TMainForm form(w.Store);
        // The settings file's own search has no file for the watch to read.
        EXPECT_EQ(shown(form), std::pair(false, false));
        ASSERT_TRUE(form.OpenSearch(rock));
        EXPECT_EQ(shown(form), std::pair(true, false));
        form.KeepCurrentAction->trigger();
        ASSERT_TRUE(form.OpenSearch(jazz));
        EXPECT_EQ(shown(form), std::pair(true, false));
        form.KeepCurrentAction->trigger();
        ASSERT_TRUE(form.OpenSearch(rock));
        EXPECT_EQ(shown(form), std::pair(true, true));
        EXPECT_EQ(form.WatchedSearches(), (std::vector<std::string>{rock, jazz}));
    }
    EXPECT_EQ(LoadWatchedSearches(SettingsStore(w.Store)), (std::vector<std::string>{rock, jazz}));
    {
        TMainForm again(w.Store);
        ASSERT_TRUE(again.OpenSearch(jazz));
        EXPECT_EQ(shown(again), std::pair(true, true));
        again.KeepCurrentAction->trigger(); // no longer kept current
        EXPECT_EQ(again.WatchedSearches(), std::vector<std::string>{rock});
    }
    EXPECT_EQ(LoadWatchedSearches(SettingsStore(w.Store)), std::vector<std::string>{rock});
    // The list stays out of the search files themselves.
    EXPECT_FALSE(SettingsStore(rock).SectionExists("Watched"));
}
