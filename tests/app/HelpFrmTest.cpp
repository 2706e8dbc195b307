// The help windows: texts, topmost tool windows, hiding on close, wrapping.
#include "app/HelpFrm.h"
#include "app/MaskHelp.h"
#include "engine/Masks.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

TEST(THelpForm, IsHiddenTopmostToolWindowWithItsTexts) {
    THelpForm help;
    TMaskHelpForm mask;
    EXPECT_FALSE(help.isVisible());
    EXPECT_FALSE(mask.isVisible());
    EXPECT_EQ(help.windowTitle(), "Help");
    EXPECT_EQ(help.Help()->text(), "Help");
    EXPECT_EQ(mask.windowTitle(), "Mask Help");
    EXPECT_EQ(mask.Help()->text(), "Masks consist of literal characters, wildcards and sets. "
                                   "All comparisons are case-insensitive.");
    for (const QWidget* w : {static_cast<QWidget*>(&help), static_cast<QWidget*>(&mask)}) {
        EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
        EXPECT_EQ(w->windowType(), Qt::Tool);
    }
}

TEST(THelpForm, SetTopmostTogglesWithoutMovingOrHiding) {
    TMaskHelpForm mask;
    mask.show();
    mask.move(120, 80);
    QApplication::processEvents();
    const QPoint place = mask.pos();
    SetTopmost(&mask, false);
    EXPECT_FALSE(mask.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(mask.isVisible());
    EXPECT_EQ(mask.pos(), place);
    SetTopmost(&mask, true);
    EXPECT_TRUE(mask.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(mask.isVisible());
    EXPECT_EQ(mask.pos(), place);
}

TEST(THelpForm, CloseHidesAndShowAgainReopens) {
    QWidget owner;
    owner.setGeometry(100, 100, 600, 500);
    owner.show();
    TMaskHelpForm mask(&owner);
    mask.ShowBeside(&owner);
    ASSERT_TRUE(mask.isVisible());
    EXPECT_NEAR(mask.frameGeometry().center().x(), owner.frameGeometry().center().x(), 2);
    EXPECT_TRUE(mask.close());
    EXPECT_FALSE(mask.isVisible());
    mask.ShowBeside(&owner);
    EXPECT_TRUE(mask.isVisible());
}

TEST(THelpForm, NarrowingWrapsTextOntoMoreLines) {
    TMaskHelpForm mask;
    mask.resize(385, 94);
    mask.show();
    QApplication::processEvents();
    const int wide = mask.Help()->heightForWidth(mask.Help()->width());
    mask.resize(150, 94);
    QApplication::processEvents();
    EXPECT_LE(mask.Help()->width(), 150);
    const int narrow = mask.Help()->heightForWidth(mask.Help()->width());
    EXPECT_GT(narrow, wide);
}

TEST(TMaskHelpForm, EachExampleOfTheTableMatchesItsTextAndEscapeCloses) {
    TMaskHelpForm mask;
    EXPECT_EQ(mask.Help()->text(), "Masks consist of literal characters, wildcards and sets. "
                                   "All comparisons are case-insensitive.");
    ASSERT_EQ(MaskExamples().size(), 6u);
    for (const TMaskExample& example : MaskExamples()) {
        EXPECT_TRUE(MatchWildcard(example.Matches.toStdString(), example.Mask.toStdString()))
            << example.Mask.toStdString();
        EXPECT_TRUE(mask.Notation()->text().contains(example.Mask.toHtmlEscaped()));
    }
    EXPECT_FALSE(MatchWildcard("Song (Live)", "*[[]live]*"));
    mask.show();
    QTest::keyClick(&mask, Qt::Key_Escape);
    EXPECT_FALSE(mask.isVisible());
}
