// The input dialog: masked year field, refusal of incomplete input, kept bytes.
#include "panels/InputUtils.h"
#include "PanelTestSupport.h"

#include <QLineEdit>
#include <QPushButton>

namespace {
class InputDialog : public ::testing::Test {
protected:
    InputDialog() : scope(dialogs) {
        dialog.SetPrompt("Enter year");
        dialog.SetEditMask("0000");
        dialog.SetText("");
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        dialog.Field()->setFocus();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
        dialog.Field()->setCursorPosition(0);
    }
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope;
    TInputDialog dialog;
};

TEST_F(InputDialog, YearFieldTakesDigitsOnly) {
    QTest::keyClicks(dialog.Field(), "1a9b");
    QTest::keyClicks(dialog.Field(), "x99");
    EXPECT_EQ(dialog.Text(), "1999");
    EXPECT_TRUE(dialog.Field()->hasAcceptableInput());
}

TEST_F(InputDialog, IncompleteYearIsRefusedOnOkAndOnLeavingTheFieldButEscapeAbandons) {
    QTest::keyClicks(dialog.Field(), "19");
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    ASSERT_EQ(dialogs.Warnings.size(), 1u);
    EXPECT_EQ(dialogs.Warnings[0],
              "Enter exactly 4 digits, such as 1999. Press Escape to leave the value as it was.");

    QTest::keyClick(dialog.Field(), Qt::Key_Tab);
    QTRY_COMPARE(dialogs.Warnings.size(), 2u);
    QTRY_VERIFY(dialog.Field()->hasFocus());

    QTest::keyClick(dialog.Field(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.Text(), "19");
}

TEST_F(InputDialog, CompleteYearIsConfirmedWithEnter) {
    QTest::keyClicks(dialog.Field(), "2004");
    QTest::keyClick(dialog.Field(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.Warnings.empty());
}

TEST(InputUtils, MaskTranslationAndUntouchedTextKeepsItsBytes) {
    EXPECT_EQ(QtInputMask(""), "");
    EXPECT_EQ(QtInputMask("0000"), "9999; ");

    TInputDialog free;
    const std::string latin1 = "Caf\xE9*";
    free.SetText(latin1);
    EXPECT_EQ(free.Text(), latin1);
    free.Field()->setText(free.Field()->text() + "x");
    EXPECT_EQ(free.Text(), "Caf\xC3\xA9*x");
}

TEST(InputUtils, PromptsRefuseEmptyTextUnlessAllowed) {
    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope(dialogs);
    dialogs.InputAnswers = {{true, ""}, {true, ""}, {false, "typed"}};
    std::string text = "old";
    EXPECT_FALSE(AddPrompt(text, false, "", "item"));
    EXPECT_TRUE(EditPrompt(text, true, "", "item"));
    EXPECT_FALSE(EditPrompt(text, false, "", "item"));
    EXPECT_EQ(text, "typed") << "the field's text comes back whatever the outcome";
    EXPECT_EQ(dialogs.InputCalls[1].Title, "Edit");
    EXPECT_EQ(dialogs.InputCalls[1].Prompt, "Re-enter item");
}
} // namespace

// The warning says what the mask takes.
TEST(InputUtils, TheWarningSaysWhatTheMaskTakes) {
    const std::pair<std::string, QString> cases[] = {
        {"0000",
         "Enter exactly 4 digits, such as 1999. Press Escape to leave the value as it was."},
        {"00", "Enter exactly 2 digits. Press Escape to leave the value as it was."},
        {"0", "Enter exactly 1 digit. Press Escape to leave the value as it was."},
        {"0099", "Enter 2 to 4 digits. Press Escape to leave the value as it was."},
    };
    for (const auto& [mask, text] : cases)
        EXPECT_EQ(InvalidInputText(mask), text) << mask;
}
