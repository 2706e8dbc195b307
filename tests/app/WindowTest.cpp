// The main window on the desktop: it grows from its default size (never below
// it) with the lists taking the room, and its place, size and maximized state
// and the dialogs' folders survive a restart.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "panels/CheckListView.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

class WindowTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    QString settingsFile = QString::fromStdString(dir.str() + "/2.ini");

    WindowTest() {
        RememberDialogFolder(TDialogFolder::Media, QString());
        RememberDialogFolder(TDialogFolder::Playlist, QString());
    }
    std::unique_ptr<TMainForm> MakeForm() { return std::make_unique<TMainForm>(settingsFile); }
    static void Settle() {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    }
};

} // namespace

TEST_F(WindowTest, GrowingGivesTheListsTheRoomAndTheDefaultIsTheSmallest) {
    auto form = MakeForm();
    form->show();
    for (int i = 0; i <= CompilePage; ++i)
        form->NextClick();
    Settle();
    const QSize start = form->size();
    EXPECT_EQ(start.width(), 609);
    EXPECT_EQ(form->minimumSize(), start);
    const int listHeight = form->Playlist->View()->height();
    const int listWidth = form->Playlist->View()->width();
    const int statusWidth = form->CompileStatus->width();

    form->resize(start.width() + 300, start.height() + 250);
    Settle();
    EXPECT_GE(form->Playlist->View()->height(), listHeight + 200);
    EXPECT_GE(form->Playlist->View()->width(), listWidth + 250);
    EXPECT_GE(form->CompileStatus->width(), statusWidth + 250);
    EXPECT_EQ(form->CompileStatus->width(), form->PlaylistCheckCount->width());

    // The folder list on its page grows the same way.
    form->BackClick();
    for (int i = CompilePage - 1; i > FoldersPage; --i)
        form->BackClick();
    Settle();
    EXPECT_GE(form->Folders->View()->height(), listHeight + 200);

    form->resize(300, 200);
    Settle();
    EXPECT_EQ(form->size(), start);
}

TEST_F(WindowTest, PlaceSizeMaximizedStateAndDialogFoldersSurviveARestart) {
    const std::string saved = dir.str() + "/lists/mine.m3u";
    {
        auto form = MakeForm();
        EXPECT_FALSE(form->PlacementRestored());
        form->show();
        form->resize(820, 700);
        form->move(30, 40);
        Settle();
        for (int i = 0; i <= CompilePage; ++i)
            form->NextClick();
        // The first save dialog opens in the home folder, the next where the last one saved.
        std::filesystem::create_directories(dir.str() + "/lists");
        dialogs.SaveNames = {saved};
        form->Save->click();
        form->Save->click();
        ASSERT_EQ(dialogs.SaveRequests.size(), 2u);
        EXPECT_EQ(dialogs.SaveRequests[0].Directory, QDir::homePath());
        EXPECT_EQ(dialogs.SaveRequests[1].Directory, QString::fromStdString(dir.str() + "/lists"));
    }
    RememberDialogFolder(TDialogFolder::Playlist, QString());
    {
        auto form = MakeForm();
        EXPECT_TRUE(form->PlacementRestored());
        EXPECT_EQ(form->size(), QSize(820, 700));
        EXPECT_EQ(form->pos(), QPoint(30, 40));
        for (int i = 0; i <= CompilePage; ++i)
            form->NextClick();
        form->Save->click();
        ASSERT_EQ(dialogs.SaveRequests.size(), 3u);
        EXPECT_EQ(dialogs.SaveRequests[2].Directory, QString::fromStdString(dir.str() + "/lists"));
        form->showMaximized();
        Settle();
    }
    auto form = MakeForm();
    EXPECT_TRUE(form->windowState() & Qt::WindowMaximized);
    form->showNormal();
    Settle();
    EXPECT_EQ(form->size(), QSize(820, 700)) << "a maximized window keeps its normal size";

    // A damaged size never makes the window smaller than its default.
    form.reset();
    SettingsStore store(settingsFile);
    store.WriteInteger("Window", "Width", 20);
    store.WriteInteger("Window", "Height", 10);
    store.WriteBool("Window", "Maximized", false);
    store.Flush();
    EXPECT_EQ(MakeForm()->size(), MakeForm()->minimumSize());
}
