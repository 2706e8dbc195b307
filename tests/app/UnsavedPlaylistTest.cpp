// The compiled list is work the user keeps: Compile, Back and closing the
// window ask before they throw an unsaved list away, and Enter in the list
// plays a file instead of starting a compile.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "engine/Criteria.h"
#include "panels/CheckListView.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QAction>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

using enum CheckState;
using enum CriterionState;

const QString DiscardQuestion = "Discard the compiled playlist?";

class UnsavedPlaylistTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::string settingsFile = dir.str() + "/2.ini";
    static constexpr int Files = 3;

    // A window on the Compile page whose list holds a finished compile.
    std::unique_ptr<TMainForm> CompiledForm() {
        for (int i = 0; i < Files; ++i)
            dir.write("music/t" + std::to_string(i) + ".mp3",
                      Id3v1File("T" + std::to_string(i), "A", "B", "2000", i + 1));
        WizardSettings settings;
        settings.Folders = {{dir.str() + "/music", Checked}};
        settings.Filenames = {{"*.mp3", Checked}};
        settings.Criteria[FieldTitle] = {{"*", Include}};
        WriteSettings(settingsFile, settings);
        auto form = std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
        form->show();
        for (int i = 0; i <= CompilePage; ++i)
            form->NextClick();
        form->Compile->click();
        EXPECT_TRUE(WaitFor([&] { return Finished(*form); }));
        return form;
    }
    static bool Finished(const TMainForm& Form) {
        return Form.CompileState() == TCompileState::Idle && Form.Playlist->Count() == Files;
    }
};

} // namespace

TEST_F(UnsavedPlaylistTest, CompileAsksBeforeEmptyingAnUnsavedList) {
    auto form = CompiledForm();
    EXPECT_TRUE(form->PlaylistUnsaved());

    // Cancel: the list with its unchecked entry stays, no compile starts.
    form->Playlist->SetChecked(0, false);
    dialogs.DiscardAnswers = {TDiscardAnswer::Cancel};
    form->Compile->click();
    ASSERT_EQ(dialogs.DiscardQuestions, (std::vector<QString>{DiscardQuestion}));
    EXPECT_EQ(dialogs.DiscardOfferedSave, (std::vector<bool>{false}));
    EXPECT_EQ(form->CompileState(), TCompileState::Idle);
    EXPECT_FALSE(form->Playlist->Checked(0));

    // Discard: the compile runs and the list is rebuilt.
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->Compile->click();
    EXPECT_EQ(form->CompileState(), TCompileState::Running);
    ASSERT_TRUE(WaitFor([&] { return Finished(*form); }));
    EXPECT_TRUE(form->Playlist->Checked(0));
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 2u);

    // Saved: nothing to lose, no question.
    dialogs.SaveNames = {dir.str() + "/kept.m3u"};
    form->Save->click();
    EXPECT_FALSE(form->PlaylistUnsaved());
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return Finished(*form); }));
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 2u);

    // A sort after the save is a change again.
    dialogs.SaveNames = {dir.str() + "/kept.m3u"};
    form->Save->click();
    form->Playlist->ListColumnClick(1);
    EXPECT_TRUE(form->PlaylistUnsaved());
    form->Compile->click();
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 3u);
    EXPECT_EQ(form->CompileState(), TCompileState::Idle);
}

TEST_F(UnsavedPlaylistTest, ClosingOffersSaveDiscardAndCancel) {
    auto form = CompiledForm();
    const std::string kept = dir.str() + "/kept.pls";

    // Cancel, and Save with the save dialog cancelled: the window stays open.
    dialogs.DiscardAnswers = {TDiscardAnswer::Cancel, TDiscardAnswer::Save};
    EXPECT_FALSE(form->close());
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(dialogs.DiscardOfferedSave, (std::vector<bool>{true, true}));
    EXPECT_EQ(dialogs.SaveRequests.size(), 1u);

    // Save: the playlist is written, then the window closes.
    dialogs.DiscardAnswers = {TDiscardAnswer::Save};
    dialogs.SaveNames = {kept};
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(TempDir::read(kept).starts_with("[playlist]\r\nVersion=2\r\nNumberOfEntries=3"));
    EXPECT_EQ(dialogs.DiscardQuestions,
              (std::vector<QString>{DiscardQuestion, DiscardQuestion, DiscardQuestion}));

    // Discard: closes without writing anything.
    auto second = CompiledForm();
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    EXPECT_TRUE(second->close());
    EXPECT_EQ(dialogs.SaveRequests.size(), 2u);
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(UnsavedPlaylistTest, BackFromTheCompilePageAsksAndDiscardEmptiesTheList) {
    auto form = CompiledForm();
    dialogs.DiscardAnswers = {TDiscardAnswer::Cancel};
    form->BackButton()->click();
    EXPECT_EQ(form->PageIndex(), CompilePage);
    EXPECT_EQ(form->Playlist->Count(), Files);

    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->BackButton()->click();
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    EXPECT_EQ(form->Playlist->Count(), 0);
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 2u);
    EXPECT_EQ(dialogs.DiscardOfferedSave, (std::vector<bool>{false, false}));

    // Saved, Back asks nothing and the list stays for the way forward.
    form->NextClick();
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] { return Finished(*form); }));
    dialogs.SaveNames = {dir.str() + "/kept.m3u"};
    form->Save->click();
    form->BackButton()->click();
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    EXPECT_EQ(form->Playlist->Count(), Files);
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 2u);
    // The other pages hold no list: Back there never asks.
    form->BackButton()->click();
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 2u);
}

TEST_F(UnsavedPlaylistTest, EnterPressesTheFocusedButtonAndPlaysInTheResultList) {
    auto form = CompiledForm();
    auto fake = std::make_unique<TFakePlayer>();
    TFakePlayer* player = fake.get();
    form->Playlist->SetPreviewPlayer(std::move(fake));
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    int compiles = 0;
    QObject::connect(form->Compile, &QPushButton::clicked, [&] { ++compiles; });

    // In the list: nothing without a selection, the selected file with one.
    QWidget* list = form->Playlist->View();
    list->setFocus();
    form->Playlist->SetSelectedIndex(-1);
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_TRUE(player->Opened.empty());
    form->Playlist->SetSelectedIndex(1);
    QTest::keyClick(list, Qt::Key_Enter);
    EXPECT_EQ(player->Opened, (std::vector<std::string>{form->Playlist->Entry(1).Caption}));
    EXPECT_EQ(compiles, 0);
    EXPECT_TRUE(dialogs.DiscardQuestions.empty());

    // On Save it saves; on Compile it compiles (which asks first).
    form->Save->setFocus();
    QTest::keyClick(form->Save, Qt::Key_Return);
    EXPECT_EQ(dialogs.SaveRequests.size(), 1u);
    EXPECT_EQ(compiles, 0);
    form->Compile->setFocus();
    QTest::keyClick(form->Compile, Qt::Key_Return);
    EXPECT_EQ(compiles, 1);
    EXPECT_EQ(dialogs.DiscardQuestions.size(), 1u);

    // Back and Next take Enter as well; Enter in the summary text does nothing.
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    form->BackButton()->setFocus();
    QTest::keyClick(form->BackButton(), Qt::Key_Return);
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    form->BackButton()->setFocus();
    QTest::keyClick(form->BackButton(), Qt::Key_Return);
    EXPECT_EQ(form->PageIndex(), SelectionPage);
    form->NextButton()->setFocus();
    QTest::keyClick(form->NextButton(), Qt::Key_Return);
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    form->Summary->setFocus();
    QTest::keyClick(form->Summary, Qt::Key_Return);
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    EXPECT_EQ(compiles, 1);
}
