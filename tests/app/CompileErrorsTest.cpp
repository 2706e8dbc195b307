// Errors on the Compile page are said where the user looks: a malformed mask
// in red on the status line and in one box, with Compile back; a failed save
// names the file and the reason.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "engine/Criteria.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {
using enum CheckState;
using enum CriterionState;

class CompileErrorsTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::string settingsFile = dir.str() + "/2.ini";

    std::unique_ptr<TMainForm> FormAtCompilePage(const std::string& FilenameMask,
                                                 const std::string& TitleMask) {
        dir.write("music/a.mp3", Id3v1File("A", "B", "C", "2000", 1));
        WizardSettings settings;
        settings.Folders = {{dir.str() + "/music", Checked}};
        settings.Filenames = {{FilenameMask, Checked}};
        settings.Criteria[FieldTitle] = {{TitleMask, Include}};
        WriteSettings(settingsFile, settings);
        auto form = std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
        form->show();
        for (int i = 0; i <= CompilePage; ++i)
            form->NextClick();
        return form;
    }
};
} // namespace

TEST_F(CompileErrorsTest, AMalformedMaskIsShownInRedAndInOneBoxAndCompileComesBack) {
    struct Case {
        std::string Filename, Title, Message;
    };
    for (const Case& c : {Case{"*[a", "*", "'*[a' is an invalid mask at (4)"},
                          Case{"*.mp3", "[]x", "'[]x' is an invalid mask at (2)"}}) {
        dialogs.Errors.clear();
        auto form = FormAtCompilePage(c.Filename, c.Title);
        form->Compile->click();
        ASSERT_TRUE(WaitFor([&] { return form->CompileState() == TCompileState::Idle; }));
        EXPECT_EQ(form->Compile->text(), "Compile") << c.Message;
        EXPECT_EQ(form->CompileStatus->text().toStdString(), c.Message);
        EXPECT_EQ(form->CompileStatus->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        ASSERT_EQ(dialogs.Errors.size(), 1u) << c.Message;
        EXPECT_EQ(dialogs.Errors[0].toStdString(), c.Message);
        EXPECT_FALSE(form->CompileExists());
    }
}

TEST_F(CompileErrorsTest, AFailedSaveNamesTheFileAndKeepsTheListUnsaved) {
    auto form = FormAtCompilePage("*.mp3", "*");
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] {
        return form->CompileState() == TCompileState::Idle && form->Playlist->Count() == 1;
    }));
    const std::string target = dir.str() + "/no/such/folder/list.m3u";
    dialogs.SaveNames = {target};
    form->Save->click();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0].count(QString::fromStdString(target)), 1)
        << dialogs.Errors[0].toStdString();
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(form->PlaylistUnsaved());
}
