// The program's wizard start-up and its screenshot renderer.
#include "AppTestSupport.h"
#include "app/AppEntry.h"
#include "app/HelpFrm.h"
#include "app/Main.h"
#include "app/MaskHelp.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {
TMainForm* FindMainForm() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TMainForm*>(window))
            return form;
    return nullptr;
}
} // namespace

TEST(RunWizard, StartsWithHiddenHelpWindowsAndEndsWhenClosedMidCompile) {
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped(dialogs);
    // The list found so far is unsaved work: closing asks first.
    dialogs.DiscardAnswers = {TDiscardAnswer::Discard};
    for (int i = 0; i < 40; ++i)
        dir.write("music/t" + std::to_string(i) + ".mp3", Id3v1File("T", "A", "B", "2000", 1));
    WizardSettings settings;
    settings.Folders = {{dir.str() + "/music", Checked}};
    settings.Filenames = {{"*.mp3", Checked}};
    settings.Criteria[FieldTitle] = {{"*", Include}};
    const std::string file = dir.str() + "/2.ini";
    WriteSettings(file, settings);

    bool checked = false;
    QTimer::singleShot(0, [&] {
        TMainForm* form = FindMainForm();
        ASSERT_NE(form, nullptr);
        // Whatever fails below, the window closes so the event loop ends.
        const std::unique_ptr<TMainForm, void (*)(TMainForm*)> closer(
            form, [](TMainForm* Form) { Form->close(); });
        checked = true;
        EXPECT_TRUE(form->isVisible());
        EXPECT_FALSE(form->WelcomePagePanel()->isHidden());
        const QList<THelpForm*> help = form->findChildren<THelpForm*>();
        EXPECT_EQ(help.size(), 2) << "the help window and the mask help window";
        for (const THelpForm* window : help)
            EXPECT_FALSE(window->isVisible());
        EXPECT_EQ(form->findChildren<TMaskHelpForm*>().size(), 1);
        form->Recurse->setChecked(false);
        for (int i = 0; i <= CompilePage; ++i)
            form->NextClick();
        // Closed when the first batch of found files has arrived.
        QObject::connect(form->Playlist, &TCheckList::EntriesChanged, [form] {
            if (form->Playlist->Count() >= 1 && form->isVisible()) {
                EXPECT_TRUE(form->CompileRunning());
                form->close();
            }
        });
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return !form->isVisible(); }));
    });
    EXPECT_EQ(RunWizard(file), 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(FindMainForm(), nullptr) << "the window is gone";
    SettingsStore store(QString::fromStdString(file));
    EXPECT_EQ(store.ReadString("Folders", "Recurse", "?"), "0");
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST(RenderScreenshots, WritesEveryPanelAndLeavesTheSettingsAlone) {
    TempDir dir;
    const std::string file = dir.str() + "/2.ini";
    const QString folder = QString::fromStdString(dir.str() + "/shots");
    ASSERT_EQ(RenderScreenshots(file, folder), 0);
    EXPECT_FALSE(std::filesystem::exists(file));
    const QStringList shots = QDir(folder).entryList({"*.png"}, QDir::Files, QDir::Name);
    ASSERT_EQ(shots.size(), 20) << shots.join(' ').toStdString();
    // The counts beside a criterion page's entries and on the Summary, and the
    // More criteria page.
    EXPECT_EQ(shots[17], "17-titles-counts.png");
    EXPECT_EQ(shots[18], "18-summary-counts.png");
    EXPECT_EQ(shots[19], "19-more-criteria-lengths.png");
    EXPECT_EQ(shots.front(), "00-welcome.png");
    EXPECT_EQ(shots[8], "08-morecriteriapage.png");
    EXPECT_EQ(shots[10], "10-selectionpage.png");
    EXPECT_EQ(shots[12], "12-compilepage.png");
    const QImage welcome(QDir(folder).filePath(shots.front()));
    EXPECT_GE(welcome.width(), 609);
    EXPECT_GE(welcome.height(), 507);
    // The Compile page with a list, at the default size and larger.
    EXPECT_EQ(shots[14], "14-compile-list.png");
    EXPECT_EQ(QImage(QDir(folder).filePath(shots[14])).size(), welcome.size());
    EXPECT_EQ(QImage(QDir(folder).filePath(shots[15])).size(), QSize(1024, 720));
    // A first run's Summary, which says what else is needed.
    EXPECT_EQ(shots[16], "16-firstrun-summary.png");
    EXPECT_EQ(QImage(QDir(folder).filePath(shots[16])).size(), welcome.size());
}
