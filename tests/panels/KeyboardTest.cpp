// The list panels without a mouse: Ctrl+Up/Down moves an entry, F2 and a
// double-click on the text edit it, several entries can be selected and
// Remove and Space act on all of them, and the command buttons take the focus.
#include "PanelTestSupport.h"
#include "panels/CriterionListFrame.h"

#include <QAction>
#include <QToolBar>
#include <QToolButton>

namespace {
using enum CheckState;
using enum CriterionState;

class PanelKeyboard : public ::testing::Test {
protected:
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope{dialogs};

    static void Fill(TCheckList& Panel, int Count) {
        for (int i = 0; i < Count; ++i)
            Panel.AddEntry(std::to_string(i), true);
    }
    static void Key(TCheckList& Panel, int KeyCode,
                    Qt::KeyboardModifiers Modifiers = Qt::NoModifier) {
        QTest::keyClick(Panel.View(), static_cast<Qt::Key>(KeyCode), Modifiers);
    }
    // Selects the rows as Ctrl+clicks would.
    static void Select(TCheckList& Panel, const std::vector<int>& Rows) {
        Panel.SetSelectedIndex(Rows.front());
        for (size_t i = 1; i < Rows.size(); ++i)
            QTest::mouseClick(Panel.View()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              RowPoint(Panel, Rows[i]));
    }
};

} // namespace

TEST_F(PanelKeyboard, CtrlUpAndDownMoveTheSelectedEntryWhereDraggingIsAllowed) {
    TCheckList panel("Folders");
    Fill(panel, 4);
    FocusList(panel);
    panel.SetSelectedIndex(1);
    Key(panel, Qt::Key_Down, Qt::ControlModifier);
    Key(panel, Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"0", "2", "3", "1"}));
    EXPECT_EQ(panel.SelectedIndex(), 3);
    Key(panel, Qt::Key_Down, Qt::ControlModifier); // already last
    Key(panel, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"0", "2", "1", "3"}));
    EXPECT_EQ(panel.SelectedIndex(), 2);

    panel.SetDragReorder(false);
    Key(panel, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"0", "2", "1", "3"}));
}

TEST_F(PanelKeyboard, RemoveAndSpaceActOnEverySelectedEntry) {
    TCheckList panel("Filenames");
    Fill(panel, 5);
    FocusList(panel);
    Select(panel, {1, 3});
    EXPECT_EQ(panel.SelectedRows(), (std::vector<int>{1, 3}));
    Key(panel, Qt::Key_Space);
    EXPECT_EQ(States(panel),
              (std::vector<CheckState>{Checked, Unchecked, Checked, Unchecked, Checked}));
    Key(panel, Qt::Key_Space);
    EXPECT_EQ(States(panel), (std::vector<CheckState>(5, Checked)));

    // A click on the check box of a selected entry unchecks every selected one.
    QTest::mouseClick(panel.View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      panel.View()->CheckBoxRect(panel.Model()->index(3, 0)).center());
    EXPECT_EQ(States(panel),
              (std::vector<CheckState>{Checked, Unchecked, Checked, Unchecked, Checked}));
    EXPECT_EQ(panel.SelectedRows(), (std::vector<int>{1, 3}));

    Key(panel, Qt::Key_Delete);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"0", "2", "4"}));
    EXPECT_EQ(panel.SelectedRows(), (std::vector<int>{1})) << "the entry that moved up";

    TCriterionList criteria("Titles");
    Fill(criteria, 3); // every entry in state 1, exclude
    FocusList(criteria);
    Select(criteria, {0, 2});
    Key(criteria, Qt::Key_Space);
    EXPECT_EQ(CriterionStates(criteria), (std::vector<CriterionState>{Ignore, Exclude, Ignore}));
}

TEST_F(PanelKeyboard, F2AndADoubleClickOnTheTextEditButNotOnTheCheckBox) {
    TCheckList panel("Filenames");
    panel.SetItemNoun("filename mask");
    Fill(panel, 2);
    FocusList(panel);
    panel.SetSelectedIndex(0);
    dialogs.InputAnswers = {{true, "*.ogg"}, {true, "*.flac"}};
    Key(panel, Qt::Key_F2);
    QTest::mouseDClick(panel.View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       RowPoint(panel, 1));
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"*.ogg", "*.flac"}));
    ASSERT_EQ(dialogs.InputCalls.size(), 2u);
    EXPECT_EQ(dialogs.InputCalls[0].Prompt, "Re-enter filename mask");

    const QModelIndex first = panel.Model()->index(0, 0);
    QTest::mouseDClick(panel.View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       panel.View()->CheckBoxRect(first).center());
    EXPECT_EQ(dialogs.InputCalls.size(), 2u);
}

TEST_F(PanelKeyboard, CommandButtonsTakeTheFocusAndEnterPressesThem) {
    TCheckList panel("Filenames");
    Fill(panel, 2);
    FocusList(panel);
    auto* button = qobject_cast<QToolButton*>(
        panel.CommandBar(1)->widgetForAction(panel.Action(TListCommand::UncheckAll)));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->focusPolicy(), Qt::TabFocus);
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Return);
    EXPECT_EQ(States(panel), (std::vector<CheckState>{Unchecked, Unchecked}));
}
