// The check list panel: commands, enabling, drag reordering, summary block.
#include "PanelTestSupport.h"

#include <QAction>
#include <QMenu>
#include <QToolBar>

namespace {
class CheckListFrame : public ::testing::Test {
protected:
    CheckListFrame() : scope(dialogs) {}
    void Fill(std::initializer_list<const char*> Names) {
        for (const char* name : Names)
            panel.AddEntry(name, true);
    }
    bool Enabled(TListCommand Command) { return panel.Action(Command)->isEnabled(); }

    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope;
    TCheckList panel{"Filenames"};
};

TEST_F(CheckListFrame, AddAppendsCheckedUnselectedEntriesAndIgnoresCancelAndEmptyText) {
    panel.SetItemNoun("filename mask");
    dialogs.InputAnswers = {{true, "*.mp3"}, {true, "*.mp3"}, {false, "*.ogg"}, {true, ""}};
    for (int i = 0; i < 4; ++i)
        panel.Action(TListCommand::Add)->trigger();

    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"*.mp3", "*.mp3"}));
    EXPECT_EQ(States(panel), (std::vector<CheckState>{CheckState::Checked, CheckState::Checked}));
    EXPECT_EQ(panel.CheckedCount(), 2);
    EXPECT_EQ(panel.SelectedIndex(), -1);
    ASSERT_EQ(dialogs.InputCalls.size(), 4u);
    EXPECT_EQ(dialogs.InputCalls[0].Title, "Add");
    EXPECT_EQ(dialogs.InputCalls[0].Prompt, "Enter filename mask");
    EXPECT_EQ(dialogs.InputCalls[0].Text, "");
    EXPECT_EQ(dialogs.InputCalls[0].EditMask, "");
}

TEST_F(CheckListFrame, RemoveSelectsTheEntryThatMovedUpAndDisablesWhenNoneIsLeftSelected) {
    Fill({"a", "b", "c"});
    EXPECT_FALSE(Enabled(TListCommand::Remove));
    EXPECT_FALSE(Enabled(TListCommand::Edit));

    panel.SetSelectedIndex(1);
    EXPECT_TRUE(Enabled(TListCommand::Remove));
    EXPECT_TRUE(Enabled(TListCommand::Edit));
    panel.Action(TListCommand::Remove)->trigger();
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(panel.SelectedIndex(), 1);
    EXPECT_TRUE(Enabled(TListCommand::Remove));

    // "c" is now the last entry and selected.
    panel.Action(TListCommand::Remove)->trigger();
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"a"}));
    EXPECT_EQ(panel.SelectedIndex(), -1);
    EXPECT_FALSE(Enabled(TListCommand::Remove));
    EXPECT_FALSE(Enabled(TListCommand::Edit));
    EXPECT_EQ(panel.CheckedCount(), 1);
}

TEST_F(CheckListFrame, DeleteKeyRemovesTheSelectedEntryOfTheFocusedPanel) {
    TCheckList other("Other");
    other.AddEntry("x", true);
    other.SetSelectedIndex(0);
    Fill({"a", "b"});
    FocusList(panel);
    panel.SetSelectedIndex(0);
    QTest::keyClick(panel.View(), Qt::Key_Delete);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"b"}));
    EXPECT_EQ(other.Count(), 1);
}

TEST_F(CheckListFrame, EditReplacesOnlyTheCaptionAndCancelOrEmptyKeepsIt) {
    Fill({"a", "b"});
    panel.SetChecked(1, false);
    panel.SetSelectedIndex(1);
    dialogs.InputAnswers = {{false, "typed"}, {true, ""}, {true, "B*"}};
    for (int i = 0; i < 3; ++i)
        panel.Action(TListCommand::Edit)->trigger();

    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"a", "B*"}));
    EXPECT_EQ(States(panel), (std::vector<CheckState>{CheckState::Checked, CheckState::Unchecked}));
    EXPECT_EQ(panel.SelectedIndex(), 1);
    EXPECT_EQ(dialogs.InputCalls[0].Title, "Edit");
    EXPECT_EQ(dialogs.InputCalls[0].Prompt, "Re-enter item");
    EXPECT_EQ(dialogs.InputCalls[0].Text, "b");
}

TEST_F(CheckListFrame, CheckCommandsAndCheckBoxClicksKeepTheCheckedCount) {
    Fill({"a", "b", "c"});
    panel.SetChecked(2, false);
    panel.Action(TListCommand::InvertChecks)->trigger();
    EXPECT_EQ(States(panel), (std::vector<CheckState>{CheckState::Unchecked, CheckState::Unchecked,
                                                      CheckState::Checked}));
    EXPECT_EQ(panel.CheckedCount(), 1);
    panel.Action(TListCommand::CheckAll)->trigger();
    EXPECT_EQ(panel.CheckedCount(), 3);
    panel.Action(TListCommand::UncheckAll)->trigger();
    EXPECT_EQ(panel.CheckedCount(), 0);

    int notices = 0;
    QObject::connect(&panel, &TCheckList::CheckStateChanged, [&] { ++notices; });
    panel.Model()->setData(panel.Model()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(States(panel), (std::vector<CheckState>{CheckState::Unchecked, CheckState::Checked,
                                                      CheckState::Unchecked}));
    EXPECT_EQ(panel.CheckedCount(), 1);
    EXPECT_EQ(notices, 1);
    std::vector<std::string> checked{"kept"};
    panel.GetCheckedCaptions(checked);
    EXPECT_EQ(checked, (std::vector<std::string>{"kept", "b"}));
}

TEST_F(CheckListFrame, DraggingMovesTheEntryRowByRowUnderThePointer) {
    Fill({"1", "2", "3", "4", "5"});
    panel.SetChecked(3, false);
    panel.show();
    DragRow(panel, 3, 0);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"4", "1", "2", "3", "5"}));
    EXPECT_EQ(States(panel), (std::vector<CheckState>{CheckState::Unchecked, CheckState::Checked,
                                                      CheckState::Checked, CheckState::Checked,
                                                      CheckState::Checked}));
    EXPECT_EQ(panel.SelectedIndex(), 0);
    EXPECT_FALSE(panel.Dragging());

    TCheckList second("Second");
    for (const char* name : {"1", "2", "3", "4", "5"})
        second.AddEntry(name, true);
    second.show();
    DragRow(second, 1, 3);
    EXPECT_EQ(Captions(second), (std::vector<std::string>{"1", "3", "4", "2", "5"}));
    EXPECT_EQ(second.SelectedIndex(), 3);

    // Grabbed and let go on check boxes: the drop must not toggle the dragged entry.
    QWidget* viewport = second.View()->viewport();
    auto box = [&](int Row) {
        return second.View()->CheckBoxRect(second.Model()->index(Row, 0)).center();
    };
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, box(3));
    DragTo(second, box(4));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, box(4));
    EXPECT_EQ(Captions(second), (std::vector<std::string>{"1", "3", "4", "5", "2"}));
    EXPECT_EQ(second.CheckedCount(), 5);
    // A plain click on a check box still toggles it.
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, box(0));
    EXPECT_EQ(second.CheckedCount(), 4);

    DragRow(second, 2, 1);
    EXPECT_EQ(Captions(second), (std::vector<std::string>{"1", "4", "3", "5", "2"}));
}

TEST_F(CheckListFrame, WithDragReorderOffDraggingOnlySelects) {
    Fill({"1", "2", "3", "4", "5"});
    panel.SetDragReorder(false);
    panel.show();
    DragRow(panel, 3, 0);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(panel.SelectedIndex(), 3);

    // A move with no button held is not a drag either.
    panel.SetDragReorder(true);
    QWidget* viewport = panel.View()->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(panel, 3));
    QTest::mouseMove(viewport, RowPoint(panel, 0));
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
}

TEST_F(CheckListFrame, SummaryBlockQuotesEveryEntryAndShowsNoneWhenEmpty) {
    std::vector<std::string> lines;
    panel.AppendSummary(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Filenames:", "\t<none>", ""}));

    Fill({"*.mp3", "*.ogg"});
    panel.SetChecked(1, false);
    lines.clear();
    panel.AppendSummary(lines);
    EXPECT_EQ(lines, (std::vector<std::string>{"Filenames:", "\t\"*.mp3\"", "\t\"*.ogg\"", ""}));
}

TEST_F(CheckListFrame, ShowButtonCaptionsTogglesTheBarBetweenCaptionsAndIcons) {
    EXPECT_TRUE(panel.ButtonCaptionsShown());
    EXPECT_EQ(panel.CommandBar(0)->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    panel.ShowCaptionsExecute();
    EXPECT_FALSE(panel.Action(TListCommand::ShowCaptions)->isChecked());
    EXPECT_EQ(panel.CommandBar(0)->toolButtonStyle(), Qt::ToolButtonIconOnly);
    panel.Action(TListCommand::ShowCaptions)->trigger();
    EXPECT_TRUE(panel.ButtonCaptionsShown());
    EXPECT_EQ(panel.CommandBar(1)->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);

    // Two rows break at the separator; one row holds all six commands.
    EXPECT_EQ(panel.CommandBar(0)->actions().size(), 3);
    panel.SetCommandBarRows(1);
    EXPECT_EQ(panel.CommandBar(0)->actions().size(), 7);
    EXPECT_TRUE(panel.CommandBar(1)->isHidden());

    QStringList menu;
    for (QAction* action : panel.ContextMenu()->actions())
        menu << (action->isSeparator() ? "-" : action->text());
    EXPECT_EQ(menu, (QStringList{"Show Button Captions", "-", "Add", "Remove", "Edit", "-",
                                 "Check All", "Uncheck All", "Invert Checks"}));
}

TEST_F(CheckListFrame, OwnerHandlerReplacesTheCommandAndMayRunThePanelsOwn) {
    Fill({"a"});
    int ownerRuns = 0;
    panel.OverrideCommand(TListCommand::CheckAll, [&] {
        ++ownerRuns;
        panel.CheckAllExecute();
    });
    panel.SetChecked(0, false);
    panel.Action(TListCommand::CheckAll)->trigger();
    EXPECT_EQ(ownerRuns, 1);
    EXPECT_EQ(panel.CheckedCount(), 1);
}

TEST_F(CheckListFrame, RegistryListsLivePanelsInCreationOrder) {
    const size_t before = TCheckList::LivePanels().size();
    {
        TCheckList first("First"), second("Second");
        auto live = TCheckList::LivePanels();
        ASSERT_EQ(live.size(), before + 2);
        EXPECT_EQ(live[before], &first);
        EXPECT_EQ(live[before + 1], &second);
    }
    EXPECT_EQ(TCheckList::LivePanels().size(), before);
}
} // namespace
