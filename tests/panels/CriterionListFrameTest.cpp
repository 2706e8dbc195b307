// Criterion lists: state icons, state cycling, the inclusion commands, summary texts.
#include "PanelTestSupport.h"
#include "panels/YearCriterionListFrame.h"

#include <QAction>
#include <QToolBar>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {
class CriterionListFrame : public ::testing::Test {
protected:
    CriterionListFrame() : scope(dialogs) {
        for (const char* mask : {"Live*", "*Demo*", "Best of*"})
            panel.AddEntryWithState(mask, Include);
    }
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope;
    TCriterionList panel{"Titles"};
};

TEST_F(CriterionListFrame, ThreeClicksOnTheStateIconReturnToIncludeWhileCaptionClicksOnlySelect) {
    panel.show();
    QWidget* viewport = panel.View()->viewport();
    const QModelIndex row = panel.Model()->index(1, 0);
    const QRect icon = panel.View()->DecorationRect(row);
    ASSERT_FALSE(icon.isEmpty());

    std::vector<CriterionState> seen;
    for (int click = 0; click < 3; ++click) {
        QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, icon.center());
        seen.push_back(panel.CriterionStateAt(1));
    }
    EXPECT_EQ(seen, (std::vector<CriterionState>{Exclude, Ignore, Include}));

    // Quick clicks: the second press of a double-click, which arrives only as
    // a double-click event, counts as a press too.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, icon.center());
    QMouseEvent second(QEvent::MouseButtonDblClick, QPointF(icon.center()),
                       viewport->mapToGlobal(QPointF(icon.center())), Qt::LeftButton,
                       Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &second);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, icon.center());
    EXPECT_EQ(panel.CriterionStateAt(1), Ignore);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, icon.center());
    EXPECT_EQ(panel.CriterionStateAt(1), Include);

    const QPoint caption(icon.right() + 30, icon.center().y());
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, caption);
    EXPECT_EQ(panel.CriterionStateAt(1), Include);
    EXPECT_EQ(panel.SelectedIndex(), 1);
    EXPECT_FALSE(panel.ShowsCheckBoxes());
    EXPECT_FALSE(panel.Model()->flags(row) & Qt::ItemIsUserCheckable);
}

TEST_F(CriterionListFrame, SpaceCyclesTheSelectedEntryAndTheKeysOfTheHiddenCheckCommandsDoNothing) {
    FocusList(panel);
    panel.SetSelectedIndex(2);
    std::vector<CriterionState> seen;
    for (int press = 0; press < 3; ++press) {
        QTest::keyClick(panel.View(), Qt::Key_Space);
        seen.push_back(panel.CriterionStateAt(2));
    }
    EXPECT_EQ(seen, (std::vector<CriterionState>{Exclude, Ignore, Include}));

    panel.SetState(0, Exclude);
    panel.SetState(1, Ignore);
    QTest::keyClick(panel.View(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(panel.View(), Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(CriterionStates(panel), (std::vector<CriterionState>{Exclude, Ignore, Include}));
    panel.InvertChecksExecute();
    EXPECT_EQ(CriterionStates(panel), (std::vector<CriterionState>{Exclude, Ignore, Include}));

    QTest::keyClick(panel.View(), Qt::Key_I, Qt::ControlModifier);
    EXPECT_EQ(CriterionStates(panel), (std::vector<CriterionState>{Include, Include, Include}));
    QTest::keyClick(panel.View(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(CriterionStates(panel), (std::vector<CriterionState>{Exclude, Exclude, Exclude}));
    QTest::keyClick(panel.View(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(CriterionStates(panel), (std::vector<CriterionState>{Ignore, Ignore, Ignore}));
    EXPECT_EQ(panel.CriterionStateAt(1), Ignore);
}

TEST_F(CriterionListFrame, CommandBarShowsTheInclusionCommandsInPlaceOfTheCheckCommands) {
    QStringList second;
    for (QAction* action : panel.CommandBar(1)->actions())
        second << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(second, (QStringList{"Include All", "Exclude All", "Ignore All"}));
    EXPECT_FALSE(panel.Action(TListCommand::CheckAll)->isVisible());
}

TEST_F(CriterionListFrame, NewMasksStartAsIncludeAndTheSummaryListsOnlyIncludedAndExcluded) {
    dialogs.InputAnswers = {{true, "Remix*"}};
    panel.SetItemNoun("title mask");
    panel.AddExecute();
    EXPECT_EQ(panel.CriterionStateAt(3), Include);
    EXPECT_EQ(dialogs.InputCalls[0].Prompt, "Enter title mask");

    panel.SetState(0, Exclude);
    panel.SetState(1, Ignore);
    std::vector<std::string> lines;
    panel.AppendSummary(lines);
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Titles:", "\tExcluding \"Live*\"",
                                        "\tIncluding \"Best of*\"", "\tIncluding \"Remix*\"", ""}));

    panel.IgnoreAllExecute();
    lines.clear();
    panel.AppendSummary(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Titles:", "\t<none>", ""}));
    EXPECT_EQ(panel.Count(), 4);
}

// Years, masks and ranges are taken as typed; an entry of no such form is
// kept, marked "(not a year or range)" in the list and in the summary, until
// it is edited into one.
TEST(YearCriterionList, TakesYearsMasksAndRangesAndMarksTheRest) {
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope(dialogs);
    TYearCriterionList years("Years");
    const struct {
        const char* Typed;
        bool Damaged;
    } rows[] = {{"1999", false},   {"199?", false}, {"1990..1999", false}, {"..1979", false},
                {"2000..", false}, {"19", true},    {"abcd", true},        {"1999..1990", true}};
    for (const auto& row : rows) {
        dialogs.InputAnswers = {{true, row.Typed}};
        years.AddExecute();
    }
    ASSERT_EQ(dialogs.InputCalls.size(), std::size(rows));
    EXPECT_EQ(dialogs.InputCalls[0].Prompt, "Enter year");
    EXPECT_EQ(dialogs.InputCalls[0].EditMask, "");
    std::vector<std::string> lines;
    years.AppendSummary(lines);
    ASSERT_EQ(lines.size(), std::size(rows) + 2);
    for (int row = 0; row < years.Count(); ++row) {
        EXPECT_EQ(years.Entry(row).Caption, rows[row].Typed);
        EXPECT_EQ(years.EntryDamaged(row), rows[row].Damaged) << rows[row].Typed;
        const QString shown =
            years.Model()->data(years.Model()->index(row, 0), Qt::DisplayRole).toString();
        EXPECT_EQ(shown.endsWith("(not a year or range)"), rows[row].Damaged)
            << shown.toStdString();
        EXPECT_EQ(lines[row + 1].ends_with(" (not a year or range)"), rows[row].Damaged)
            << lines[row + 1];
    }
    // Edited into a range, the entry is no longer marked.
    years.SetSelectedIndex(5);
    dialogs.InputAnswers = {{true, "1910..1919"}};
    years.EditExecute();
    EXPECT_EQ(years.Entry(5).Caption, "1910..1919");
    EXPECT_FALSE(years.EntryDamaged(5));
}
} // namespace
