// The wizard frame: stepping, banner texts, button enabling and the size grip.
#include "app/WizardFrm.h"
#include "app/BannerFrame.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TWizardForm* MakeWizard(int Pages) {
    auto* wizard = new TWizardForm;
    for (int i = 0; i < Pages; ++i)
        wizard->AddPage(new TWizardPage(QString("Page%1").arg(i), QString("Caption %1").arg(i),
                                        QString("Hint %1").arg(i)));
    return wizard;
}

struct WizardState {
    bool Welcome;
    int Page;
    bool Back;
    bool Next;
    QString Heading;
    QString SubHeading;
};

WizardState StateOf(const TWizardForm& Wizard) {
    return {!Wizard.WelcomePagePanel()->isHidden(), Wizard.PageIndex(),
            Wizard.BackButton()->isEnabled(),       Wizard.NextButton()->isEnabled(),
            Wizard.Banner()->Heading()->text(),     Wizard.Banner()->SubHeading()->text()};
}

void ExpectState(const TWizardForm& Wizard, bool Welcome, int Page, bool Back, bool Next) {
    const WizardState s = StateOf(Wizard);
    EXPECT_EQ(s.Welcome, Welcome);
    EXPECT_EQ(Wizard.NormalPagesPanel()->isHidden(), Welcome) << "exactly one panel shows";
    EXPECT_EQ(s.Page, Page);
    EXPECT_EQ(s.Back, Back);
    EXPECT_EQ(s.Next, Next);
    // Close stands beside Next on the last page only.
    EXPECT_EQ(Wizard.CloseButton()->isVisibleTo(&Wizard),
              !Welcome && Page == Wizard.PageCount() - 1);
}

} // namespace

TEST(TWizardForm, StartsOnWelcomePanelWithBackDisabled) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(3));
    ExpectState(*wizard, true, 0, false, true);
    EXPECT_EQ(wizard->BackButton()->text(), "< &Back");
    EXPECT_EQ(wizard->NextButton()->text(), "&Next >");
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Heading") << "banner not filled yet";
    EXPECT_EQ(wizard->Pages()->focusPolicy(), Qt::NoFocus);
}

TEST(TWizardForm, StepsThroughPagesWithBannerTexts) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(3));
    wizard->show();
    QTest::mouseClick(wizard->NextButton(), Qt::LeftButton);
    ExpectState(*wizard, false, 0, true, true);
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Caption 0");
    EXPECT_EQ(wizard->Banner()->SubHeading()->text(), "Hint 0");

    QTest::mouseClick(wizard->NextButton(), Qt::LeftButton);
    ExpectState(*wizard, false, 1, true, true);
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Caption 1");

    QTest::mouseClick(wizard->NextButton(), Qt::LeftButton);
    ExpectState(*wizard, false, 2, true, false);
    EXPECT_EQ(wizard->Banner()->SubHeading()->text(), "Hint 2");

    // Back from the last page enables Next again.
    QTest::mouseClick(wizard->BackButton(), Qt::LeftButton);
    ExpectState(*wizard, false, 1, true, true);
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Caption 1");
}

TEST(TWizardForm, BackFromFirstPageReturnsToWelcomeAndKeepsBanner) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(3));
    wizard->NextClick();
    wizard->NextClick();
    wizard->BackClick();
    wizard->BackClick();
    ExpectState(*wizard, true, 0, false, true);
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Caption 0") << "left as it was";

    // Next shows the first page again with its texts.
    wizard->NextClick();
    ExpectState(*wizard, false, 0, true, true);
    EXPECT_EQ(wizard->Banner()->SubHeading()->text(), "Hint 0");
}

TEST(TWizardForm, TwoPageWizardDisablesNextOnSecondPage) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(2));
    wizard->NextClick();
    wizard->NextClick();
    ExpectState(*wizard, false, 1, true, false);
    EXPECT_EQ(wizard->Banner()->Heading()->text(), "Caption 1");
}

TEST(TWizardForm, SizeGripFollowsBorderStyleAndMaximizeRestore) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(2));
    wizard->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wizard.get()));
    EXPECT_TRUE(wizard->ResizeBar()->isVisible()) << "default style is sizeable";
    EXPECT_TRUE(wizard->ResizeBar()->isSizeGripEnabled());

    wizard->WMSysCommand(ScMaximize);
    EXPECT_FALSE(wizard->ResizeBar()->isVisible());
    wizard->WMSysCommand(ScRestore);
    EXPECT_TRUE(wizard->ResizeBar()->isVisible());

    // A variant of the command with other low bits set leaves the grip alone.
    wizard->WMSysCommand(ScMaximize | 0x2);
    EXPECT_TRUE(wizard->ResizeBar()->isVisible());
    wizard->WMSysCommand(ScRestore);

    for (TBorderStyle fixed : {TBorderStyle::None, TBorderStyle::Single, TBorderStyle::Dialog,
                               TBorderStyle::ToolWindow}) {
        wizard->SetBorderStyle(fixed);
        EXPECT_FALSE(wizard->ResizeBar()->isVisible()) << int(fixed);
        EXPECT_TRUE(wizard->isVisible()) << "restyling keeps the window shown";
    }
    wizard->SetBorderStyle(TBorderStyle::SizeToolWin);
    EXPECT_TRUE(wizard->ResizeBar()->isVisible());
    wizard->SetBorderStyle(TBorderStyle::Sizeable);
    EXPECT_TRUE(wizard->ResizeBar()->isVisible());
}

TEST(TWizardForm, ButtonPanelStaysCentred) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(1));
    wizard->show();
    for (int width : {609, 800, 420}) {
        wizard->resize(width, 400);
        QApplication::processEvents();
        const QWidget* panel = wizard->ButtonPanel();
        const int centre = panel->mapTo(wizard.get(), QPoint(panel->width() / 2, 0)).x();
        EXPECT_NEAR(centre, wizard->width() / 2, 1) << width;
    }
}

TEST(TWizardForm, CloseOnTheLastPageClosesTheWindow) {
    std::unique_ptr<TWizardForm> wizard(MakeWizard(2));
    wizard->show();
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(wizard->NextButton(), Qt::LeftButton);
    ExpectState(*wizard, false, 1, true, false);
    EXPECT_EQ(wizard->CloseButton()->text(), "&Close");
    QTest::mouseClick(wizard->CloseButton(), Qt::LeftButton);
    EXPECT_FALSE(wizard->isVisible());
}
