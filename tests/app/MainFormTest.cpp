// The main window: start-up state, page texts and navigation, the Order list,
// the mask help, the add-files filter and the settings across a restart.
#include "AppTestSupport.h"
#include "app/BannerFrame.h"
#include "app/Main.h"
#include "app/MaskHelp.h"
#include "panels/CheckListView.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/YearCriterionListFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

class MainFormTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    QString settingsFile = QString::fromStdString(dir.str() + "/2.ini");

    std::unique_ptr<TMainForm> MakeForm() { return std::make_unique<TMainForm>(settingsFile); }
};

// The five fields every search has in the order given, then the More criteria
// page's fields in their fixed order.
QStringList WithMore(const QStringList& Classic) {
    return Classic + QStringList({"Album Artist", "Composer", "Format", "Length", "Modified"});
}

QStringList OrderItems(const TMainForm& Form) {
    QStringList items;
    for (int i = 0; i < Form.Order->count(); ++i)
        items << Form.Order->item(i)->text();
    return items;
}

void SendMouse(QWidget* Target, QEvent::Type Type, int Row, const QListWidget* List,
               Qt::MouseButton Button, Qt::MouseButtons Held) {
    const QPoint at = List->visualItemRect(List->item(Row)).center();
    QMouseEvent event(Type, at, Target->mapToGlobal(at), Button, Held, Qt::NoModifier);
    QApplication::sendEvent(Target, &event);
}

// Presses on From, moves through Path (rows) with the button held, releases.
void DragOrder(TMainForm& Form, int From, const std::vector<int>& Path,
               Qt::MouseButton Button = Qt::LeftButton) {
    QWidget* viewport = Form.Order->viewport();
    SendMouse(viewport, QEvent::MouseButtonPress, From, Form.Order, Button, Button);
    for (int row : Path)
        SendMouse(viewport, QEvent::MouseMove, row, Form.Order, Qt::NoButton, Button);
    SendMouse(viewport, QEvent::MouseButtonRelease, Path.empty() ? From : Path.back(), Form.Order,
              Button, Qt::NoButton);
}

} // namespace

TEST_F(MainFormTest, StartsOnWelcomeWithDefaultsAndNoErrors) {
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), "Morvane");
    EXPECT_FALSE(form->WelcomePagePanel()->isHidden());
    EXPECT_FALSE(form->BackButton()->isEnabled());
    EXPECT_TRUE(form->NextButton()->isEnabled());
    EXPECT_EQ(form->PageCount(), 12);

    EXPECT_TRUE(form->Recurse->isChecked());
    EXPECT_FALSE(form->ThoroughID3Check->isChecked());
    EXPECT_FALSE(form->IncludeTaglessFiles->isChecked());
    EXPECT_TRUE(form->ReadOtherFormats->isChecked());
    EXPECT_EQ(form->ReadOtherFormats->text(),
              "Read tags of other audio formats (FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, APE)");
    for (QComboBox* rule : form->FieldRules)
        EXPECT_EQ(rule->currentIndex(), 0);
    EXPECT_EQ(form->OrderRule->currentIndex(), 0);
    EXPECT_EQ(OrderItems(*form),
              QStringList({"Title", "Artist", "Album", "Genre", "Year", "Album Artist", "Composer",
                           "Format", "Length", "Modified"}));
    EXPECT_FALSE(form->Order->isEnabled());
    EXPECT_EQ(form->OrderDragIndex(), -1);

    EXPECT_EQ(form->Compile->text(), "Compile");
    EXPECT_EQ(form->CompileStatus->text(), "Ready to compile.");
    EXPECT_EQ(form->PlaylistCheckCount->text(),
              "0 media files included in playlist / 0 total media files");
    EXPECT_EQ(form->Filenames->ItemNoun(), "filename mask");
    EXPECT_EQ(form->Genres->ItemNoun(), "genre mask");
    EXPECT_EQ(form->Years->ItemNoun(), "year");
    EXPECT_FALSE(form->Filenames->DragReorder());
    EXPECT_TRUE(form->Folders->DragReorder());
    EXPECT_FALSE(form->Playlist->Persistent());
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(MainFormTest, NextVisitsEveryPageWithItsBannerTexts) {
    auto form = MakeForm();
    form->IncludeTaglessFiles->setChecked(true);
    form->Folders->AddEntry(dir.str(), true);
    form->Filenames->AddEntry("*.mp3", true);
    const std::vector<std::pair<QString, QString>> banners = {
        {"Folders", "Select the folders to search for media files in"},
        {"Filenames", "Select the filenames you want to include in the playlist"},
        {"Titles", "Select the titles you want to include or exclude"},
        {"Artists", "Select the artists you want to include or exclude"},
        {"Albums", "Select the albums you want to include or exclude"},
        {"Genres", "Select the genres you want to include or exclude"},
        {"Years", "Select the years you want to include or exclude"},
        {"More criteria", "Select more fields of the files to include or exclude"},
        {"Options", "Select the search options"},
        {"Order and limits", "Choose the playlist's order and how many files it takes"},
        {"Summary", "Review settings before compilation of playlist"},
        {"Compile", "You are now ready to compile your playlist"},
    };
    for (size_t i = 0; i < banners.size(); ++i) {
        ASSERT_TRUE(form->NextButton()->isEnabled()) << i;
        form->NextButton()->click();
        EXPECT_EQ(form->PageIndex(), int(i));
        EXPECT_EQ(form->Banner()->Heading()->text(), banners[i].first);
        EXPECT_EQ(form->Banner()->SubHeading()->text(), banners[i].second);
        EXPECT_TRUE(form->BackButton()->isEnabled());
    }
    EXPECT_FALSE(form->NextButton()->isEnabled()) << "Compile is the last page";

    // All the way back to the welcome panel.
    for (int i = 0; i < MainPageCount; ++i)
        form->BackButton()->click();
    EXPECT_FALSE(form->WelcomePagePanel()->isHidden());
    EXPECT_FALSE(form->BackButton()->isEnabled());
    EXPECT_TRUE(dialogs.Questions.empty()) << "no compile, no question";
}

TEST_F(MainFormTest, OrderRuleEnablesOrderAndKeepsItsOrder) {
    auto form = MakeForm();
    form->OrderRule->setCurrentIndex(2);
    EXPECT_TRUE(form->Order->isEnabled());
    DragOrder(*form, 4, {0});
    form->OrderRule->setCurrentIndex(1);
    EXPECT_FALSE(form->Order->isEnabled());
    EXPECT_EQ(OrderItems(*form), WithMore({"Year", "Artist", "Album", "Genre", "Title"}));
    form->OrderRule->setCurrentIndex(0);
    EXPECT_FALSE(form->Order->isEnabled());
}

TEST_F(MainFormTest, OrderDragSwapsTheDraggedItemWithTheOneUnderThePointer) {
    auto form = MakeForm();
    form->OrderRule->setCurrentIndex(2);
    form->show();

    DragOrder(*form, 4, {3, 2, 1, 0});
    EXPECT_EQ(OrderItems(*form), WithMore({"Year", "Title", "Artist", "Album", "Genre"}));
    EXPECT_EQ(form->OrderDragIndex(), -1) << "released";
    EXPECT_EQ(form->Order->currentRow(), 0) << "the dragged item stays selected";

    // One jump over several items swaps only the two ends.
    DragOrder(*form, 0, {4});
    EXPECT_EQ(OrderItems(*form), WithMore({"Genre", "Title", "Artist", "Album", "Year"}));

    // Down one step at a time moves one place per step.
    DragOrder(*form, 1, {2, 3});
    EXPECT_EQ(OrderItems(*form), WithMore({"Genre", "Artist", "Album", "Title", "Year"}));

    // The right button never reorders.
    DragOrder(*form, 4, {3, 2}, Qt::RightButton);
    EXPECT_EQ(OrderItems(*form), WithMore({"Genre", "Artist", "Album", "Title", "Year"}));

    // Nor does a disabled list, even with an item left selected.
    form->OrderRule->setCurrentIndex(0);
    ASSERT_FALSE(form->Order->isEnabled());
    DragOrder(*form, 4, {3, 2});
    EXPECT_EQ(OrderItems(*form), WithMore({"Genre", "Artist", "Album", "Title", "Year"}));
}

TEST_F(MainFormTest, EveryMaskHelpButtonShowsTheSameWindow) {
    auto form = MakeForm();
    form->show();
    for (QPushButton* button : form->MaskHelpButtons)
        button->click();
    const QList<TMaskHelpForm*> windows = form->findChildren<TMaskHelpForm*>();
    ASSERT_EQ(windows.size(), 1);
    EXPECT_EQ(form->MaskHelpForm(), windows.front());
    EXPECT_TRUE(windows.front()->isVisible());
    EXPECT_FALSE(windows.front()->isModal());
    windows.front()->close();
    EXPECT_FALSE(windows.front()->isVisible());
    form->MaskHelpButtons[3]->click();
    EXPECT_TRUE(windows.front()->isVisible());
    EXPECT_EQ(form->findChildren<TMaskHelpForm*>().size(), 1);
}

TEST_F(MainFormTest, AddFilesFilterTakesTheCheckedMasksInOrder) {
    auto form = MakeForm();
    form->Filenames->Clear(); // a first run's masks aside
    const QString rest =
        ";;All media files (*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 "
        "*.mp2 *.mp3 *.nsa *.ogg *.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4b *.ape "
        "*.wv *.mpc *.asf *.avi *.mpeg *.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv);;Audio files "
        "(*.aac *.aif *.aifc *.aiff *.au *.cda *.kar *.mid *.midi *.miz *.mp1 *.mp2 *.mp3 *.nsa "
        "*.ogg *.rmi *.snd *.voc *.wav *.wma *.flac *.oga *.opus *.m4a *.m4b *.ape *.wv "
        "*.mpc);;Video "
        "files (*.asf *.avi *.mpeg *.mpg *.mp4 *.m2v *.m4a *.nsv *.ogm *.wmv);;All files (*)";
    form->BuildAddFilesFilter();
    EXPECT_EQ(form->Playlist->FileFilter(), "User-specified files ()" + rest);

    form->Filenames->AddEntry("*.mp3", true);
    form->Filenames->AddEntry("*.wav", false);
    form->Filenames->AddEntry("*.ogg", true);
    // Arriving at the Compile page rebuilds it.
    form->IncludeTaglessFiles->setChecked(true);
    form->Folders->AddEntry(dir.str(), true);
    for (int i = 0; i <= CompilePage; ++i)
        form->NextClick();
    ASSERT_EQ(form->PageIndex(), CompilePage);
    EXPECT_EQ(form->Playlist->FileFilter(), "User-specified files (*.mp3 *.ogg)" + rest);
}

TEST_F(MainFormTest, SettingsSurviveARestart) {
    std::filesystem::create_directories(dir.path() / "music" / "a");
    std::filesystem::create_directories(dir.path() / "music" / "b");
    const std::string folderA = (dir.path() / "music" / "a").string();
    const std::string folderB = (dir.path() / "music" / "b").string();
    {
        auto form = MakeForm();
        form->Filenames->Clear(); // a first run's masks aside
        form->Folders->AddEntry(folderA, true);
        form->Folders->AddEntry(folderB, false);
        form->Recurse->setChecked(false);
        form->Filenames->AddEntry("*.mp3", true);
        form->Filenames->AddEntry("*.ogg", false);
        form->ThoroughID3Check->setChecked(true);
        form->Titles->AddEntryWithState("Intro*", Exclude);
        form->Years->AddEntryWithState("1999", Ignore);
        form->FieldRules[FieldArtist]->setCurrentIndex(1);
        form->FieldRules[FieldYear]->setCurrentIndex(2);
        form->OrderRule->setCurrentIndex(2);
        DragOrder(*form, 4, {0});
        form->IncludeTaglessFiles->setChecked(true);
        form->ReadOtherFormats->setChecked(false);
    }
    EXPECT_TRUE(dialogs.Errors.empty());
    // The list sections were written first, so the options that share them survive.
    SettingsStore store(settingsFile);
    EXPECT_EQ(store.ReadString("Folders", "Recurse", "?"), "0");
    EXPECT_EQ(store.ReadString("Filenames", "Thorough ID3 Check", "?"), "1");
    EXPECT_EQ(store.ReadString("Artists", "Rule", "?"), "1");
    EXPECT_EQ(store.ReadString("Options", "Criteria 0", "?"), "Year");
    EXPECT_EQ(store.ReadString("Options", "Read Other Formats", "?"), "0");

    auto form = MakeForm();
    ASSERT_EQ(form->Folders->Count(), 2);
    EXPECT_EQ(form->Folders->Entry(0).Caption, folderA);
    EXPECT_FALSE(form->Folders->Checked(1));
    EXPECT_FALSE(form->Recurse->isChecked());
    ASSERT_EQ(form->Filenames->Count(), 2);
    EXPECT_FALSE(form->Filenames->Checked(1));
    EXPECT_TRUE(form->ThoroughID3Check->isChecked());
    ASSERT_EQ(form->Titles->Count(), 1);
    EXPECT_EQ(form->Titles->CriterionStateAt(0), Exclude);
    EXPECT_EQ(form->Years->CriterionStateAt(0), Ignore);
    EXPECT_EQ(form->FieldRules[FieldTitle]->currentIndex(), 0);
    EXPECT_EQ(form->FieldRules[FieldArtist]->currentIndex(), 1);
    EXPECT_EQ(form->FieldRules[FieldYear]->currentIndex(), 2);
    EXPECT_EQ(form->OrderRule->currentIndex(), 2);
    EXPECT_TRUE(form->Order->isEnabled());
    EXPECT_EQ(OrderItems(*form), WithMore({"Year", "Artist", "Album", "Genre", "Title"}));
    EXPECT_TRUE(form->IncludeTaglessFiles->isChecked());
    EXPECT_FALSE(form->ReadOtherFormats->isChecked());
}

TEST_F(MainFormTest, ScreenshotModeNeverWritesTheSettingsFile) {
    {
        auto form = MakeForm();
        form->SetStoreOnDestroy(false);
        form->Filenames->AddEntry("*.mp3", true);
    }
    EXPECT_FALSE(std::filesystem::exists(settingsFile.toStdString()));
}

TEST_F(MainFormTest, TagCodePageAliasesLoadAndAnUnknownNameIsShown) {
    const struct {
        const char* Stored;
        const char* Shown;
        bool Reported;
    } rows[] = {{"cp1250", "Windows-1250", false},
                {"SHIFT_JIS", "Shift_JIS", false},
                {"Latin-9", "Windows-1252", true}};
    for (const auto& row : rows) {
        dialogs.Errors.clear();
        dir.write("2.ini", std::string("[Options]\nTag Code Page=") + row.Stored + "\n");
        auto form = MakeForm();
        form->SetStoreOnDestroy(false);
        EXPECT_EQ(form->TagCodePage->currentData().toString().toStdString(), row.Shown)
            << row.Stored;
        if (row.Reported) {
            ASSERT_EQ(dialogs.Errors.size(), 1u) << row.Stored;
            EXPECT_EQ(dialogs.Errors[0].toStdString(),
                      "settings file " + dir.str() + "/2.ini, Tag Code Page: unknown code page \"" +
                          row.Stored + "\", Windows-1252 is used instead");
        } else {
            EXPECT_TRUE(dialogs.Errors.empty()) << row.Stored;
        }
    }
}

TEST_F(MainFormTest, StoreErrorsAreShownAndTheWindowStillWorks) {
    dir.write("2.ini", "[Options]\nRule=2\nthis line is no value\n");
    {
        auto form = MakeForm();
        ASSERT_EQ(dialogs.Errors.size(), 1u);
        EXPECT_EQ(dialogs.Errors[0].toStdString(),
                  "settings file " + dir.str() +
                      "/2.ini, line 3: cannot read \"this line is no "
                      "value\"");
        EXPECT_EQ(form->PlaylistCheckCount->text(),
                  "0 media files included in playlist / 0 total media files");
        EXPECT_EQ(form->Order->isEnabled(), form->OrderRule->currentIndex() == 2);
        form->NextClick();
        EXPECT_EQ(form->PageIndex(), FoldersPage);
    }

    // A file that cannot be written: the error is shown when the window goes.
    dialogs.Errors.clear();
    dir.write("plain-file", "x");
    settingsFile = QString::fromStdString(dir.str() + "/plain-file/2.ini");
    {
        auto form = MakeForm();
        EXPECT_TRUE(dialogs.Errors.empty());
    }
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_FALSE(dialogs.Errors[0].isEmpty());
}

TEST_F(MainFormTest, PanelShortcutsWorkFromAnywhereOnTheirPageAndCtrlArrowsMoveTheField) {
    WizardSettings settings;
    settings.Filenames = {{"*.mp3", Checked}, {"*.ogg", Checked}};
    WriteSettings(settingsFile.toStdString(), settings);
    auto form = MakeForm();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    for (int i = 0; i <= FileNamesPage; ++i)
        form->NextClick();
    form->ThoroughID3Check->setFocus();
    QTest::keyClick(form->ThoroughID3Check, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(form->Filenames->CheckedCount(), 0);

    for (int i = FileNamesPage; i < OptionsPage; ++i)
        form->NextClick();
    form->OrderRule->setCurrentIndex(2);
    form->Order->setCurrentRow(4);
    form->Order->setFocus();
    QTest::keyClick(form->Order, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(form->Order, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(OrderItems(*form), WithMore({"Title", "Artist", "Year", "Album", "Genre"}));
    EXPECT_EQ(form->Order->currentRow(), 2);
    // A disabled list keeps its order.
    form->OrderRule->setCurrentIndex(0);
    QTest::keyClick(form->Order, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(OrderItems(*form), WithMore({"Title", "Artist", "Year", "Album", "Genre"}));
}

// The More criteria page shows the list and rule of the field chosen; an
// entry of no known form is marked; the Summary names only the fields in
// use; the entries and rules are kept in the settings file.
TEST_F(MainFormTest, MoreCriteriaPageShowsTheChosenFieldAndKeepsItsEntries) {
    {
        auto form = MakeForm();
        form->show();
        while (form->PageIndex() != MoreCriteriaPage)
            form->NextClick();
        EXPECT_EQ(form->Banner()->Heading()->text(), "More criteria");
        for (int field = ClassicFieldCount; field < CriterionFieldCount; ++field) {
            form->MoreField->setCurrentIndex(field - ClassicFieldCount);
            EXPECT_EQ(form->MoreField->currentText(), CriterionFieldNames[field]);
            EXPECT_TRUE(form->CriterionLists[field]->isVisible()) << field;
            EXPECT_TRUE(form->FieldRules[field]->isVisible()) << field;
            for (int other = ClassicFieldCount; other < CriterionFieldCount; ++other) {
                if (other != field) {
                    EXPECT_FALSE(form->CriterionLists[other]->isVisible()) << field << other;
                }
            }
        }
        auto* lengths = static_cast<TFormCriterionList*>(form->CriterionLists[FieldLength]);
        lengths->AddEntryWithState("..2:30", Include);
        lengths->AddEntryWithState("3 min", Exclude);
        EXPECT_FALSE(lengths->EntryDamaged(0));
        EXPECT_TRUE(lengths->EntryDamaged(1));
        // The chooser says which fields hold entries.
        EXPECT_EQ(form->MoreField->itemText(FieldLength - ClassicFieldCount), "Length (2)");
        EXPECT_EQ(form->MoreField->itemText(FieldComposer - ClassicFieldCount), "Composer");
        form->CriterionLists[FieldComposer]->AddEntryWithState("*Bach*", Exclude);
        form->FieldRules[FieldFormat]->setCurrentIndex(2);
        form->Folders->AddEntry(dir.str(), true);
        while (form->PageIndex() != SummaryPage)
            form->NextClick();
        const QString summary = form->Summary->toPlainText();
        EXPECT_TRUE(summary.contains("Lengths:\n\tIncluding \"..2:30\"")) << summary.toStdString();
        EXPECT_TRUE(summary.contains("(not a length range)")) << summary.toStdString();
        EXPECT_TRUE(summary.contains("Composers:")) << summary.toStdString();
        EXPECT_TRUE(summary.contains("Formats:")) << summary.toStdString(); // by its rule
        EXPECT_FALSE(summary.contains("Album Artists:")) << summary.toStdString();
        EXPECT_FALSE(summary.contains("Modified:")) << summary.toStdString();
    }
    auto form = MakeForm();
    ASSERT_EQ(form->CriterionLists[FieldLength]->Count(), 2);
    EXPECT_EQ(form->CriterionLists[FieldLength]->CriterionStateAt(1), Exclude);
    EXPECT_TRUE(
        static_cast<TFormCriterionList*>(form->CriterionLists[FieldLength])->EntryDamaged(1));
    ASSERT_EQ(form->CriterionLists[FieldComposer]->Count(), 1);
    EXPECT_EQ(form->MoreField->itemText(FieldComposer - ClassicFieldCount), "Composer (1)");
    EXPECT_EQ(form->FieldRules[FieldFormat]->currentIndex(), 2);
    EXPECT_EQ(form->CriterionLists[FieldAlbumArtist]->Count(), 0);
}
