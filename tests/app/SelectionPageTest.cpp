// The Order and limits page: its controls and the settings' texts both ways,
// the shuffle's seed, values not understood, the Summary's lines and the
// values kept across a restart.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "panels/FolderCheckListFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

namespace {

class SelectionPageTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    QString settingsFile = QString::fromStdString(dir.str() + "/2.ini");
    std::unique_ptr<TMainForm> MakeForm() { return std::make_unique<TMainForm>(settingsFile); }
};

// The texts in test output.
std::string Shown(const TSelectionTexts& Texts) {
    return "{" + Texts.Order + "|" + Texts.Seed + "|" + Texts.Limit + "|" + Texts.Pick + "|" +
           Texts.PerArtist + "|" + Texts.PerAlbum + "}";
}

QStringList SummaryLines(const TMainForm& Form) {
    return Form.Summary->toPlainText().split('\n');
}

} // namespace

TEST_F(SelectionPageTest, ControlsAndTextsAgreeBothWaysAndDefaultsWriteNothing) {
    auto form = MakeForm();
    // Untouched, the page adds nothing to the settings.
    EXPECT_EQ(form->CurrentSettings().Selection, TSelectionTexts{});
    EXPECT_EQ(form->SelectionProblem->text(), "");

    const TSelectionTexts rows[] = {
        {"Artist, Album, Track", "", "90 minutes", "", "", ""},
        {"Year desc, Title", "", "50 files", "newest", "2", ""},
        {"Shuffle", "77", "700 MB", "random", "", "1"},
        {"", "", "", "", "3", "4"},
    };
    for (const TSelectionTexts& texts : rows) {
        form->ApplySelectionTexts(texts);
        EXPECT_EQ(Shown(form->CurrentSettings().Selection), Shown(texts));
        EXPECT_EQ(form->SelectionProblem->text(), "");
    }
    // The controls set by hand give the texts the settings keep.
    form->ApplySelectionTexts({});
    form->PlaylistOrder->setEditText("Album, Track");
    form->LimitUnit->setCurrentIndex(static_cast<int>(TLimitUnit::Files));
    form->LimitAmount->setValue(12);
    form->LimitPick->setCurrentIndex(static_cast<int>(TPick::Oldest));
    form->PerAlbum->setValue(2);
    EXPECT_EQ(form->CurrentSettings().Selection,
              (TSelectionTexts{"Album, Track", "", "12 files", "oldest", "", "2"}));
    EXPECT_TRUE(form->LimitPick->isEnabled());
    form->LimitUnit->setCurrentIndex(0);
    EXPECT_EQ(form->CurrentSettings().Selection.Limit, "");
    EXPECT_FALSE(form->LimitPick->isEnabled());
}

TEST_F(SelectionPageTest, ShuffleGetsASeedThatNewShuffleReplaces) {
    auto form = MakeForm();
    EXPECT_FALSE(form->NewShuffle->isEnabled());
    form->PlaylistOrder->setEditText("Shuffle");
    const std::string first = form->CurrentSettings().Selection.Seed;
    ASSERT_FALSE(first.empty());
    EXPECT_TRUE(form->NewShuffle->isEnabled());
    EXPECT_TRUE(form->ShuffleSeed->text().contains(QString::fromStdString(first)));
    // The seed stays while nothing asks for another...
    form->PerArtist->setValue(2);
    EXPECT_EQ(form->CurrentSettings().Selection.Seed, first);
    // ...and New shuffle draws one that differs.
    form->NewShuffle->click();
    const std::string second = form->CurrentSettings().Selection.Seed;
    EXPECT_NE(second, first);
    EXPECT_TRUE(form->ShuffleSeed->text().contains(QString::fromStdString(second)));
}

TEST_F(SelectionPageTest, ValuesNotUnderstoodAreShownInRedAndOnTheSummary) {
    auto form = MakeForm();
    form->Folders->AddEntry(dir.str(), true);
    form->Filenames->AddEntry("*.mp3", true);
    form->IncludeTaglessFiles->setChecked(true);
    form->PlaylistOrder->setEditText("Artist, Mood");
    EXPECT_TRUE(form->SelectionProblem->text().contains("Order \"Artist, Mood\" is not understood"))
        << form->SelectionProblem->text().toStdString();
    form->PerArtist->setValue(3);
    form->LimitUnit->setCurrentIndex(static_cast<int>(TLimitUnit::Minutes));
    form->LimitAmount->setValue(90);
    form->BuildSummary();
    const QStringList lines = SummaryLines(*form);
    const qsizetype at = lines.indexOf("Order and limits:");
    ASSERT_GE(at, 0) << form->Summary->toPlainText().toStdString();
    EXPECT_TRUE(lines[at + 1].contains("Order \"Artist, Mood\" is not understood"));
    EXPECT_EQ(lines[at + 2], "\tIn the order found");
    EXPECT_EQ(lines[at + 3], "\tAt most 90 minutes, filled with the first files in the order");
    EXPECT_EQ(lines[at + 4], "\tAt most 3 per artist");
    // Without any value the Summary has no such block.
    form->ApplySelectionTexts({});
    form->BuildSummary();
    EXPECT_EQ(SummaryLines(*form).indexOf("Order and limits:"), -1);
}

TEST_F(SelectionPageTest, TheValuesAreKeptAcrossARestart) {
    const TSelectionTexts kept{"Modified desc", "4242", "30 files", "random", "1", ""};
    {
        auto form = MakeForm();
        form->ApplySelectionTexts(kept);
    }
    auto again = MakeForm();
    EXPECT_EQ(again->CurrentSettings().Selection, kept);
    EXPECT_TRUE(dialogs.Errors.empty());
}
