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

#include <optional>

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

// Save never writes over the settings file; over a file that is no playlist,
// or one the filename masks select, only when the user says yes.
TEST_F(CompileErrorsTest, SaveRefusesTheSettingsFileAndAsksBeforeReplacingAFileThatIsNoPlaylist) {
    auto form = FormAtCompilePage("*.mp3", "*");
    form->Compile->click();
    ASSERT_TRUE(WaitFor([&] {
        return form->CompileState() == TCompileState::Idle && form->Playlist->Count() == 1;
    }));
    const std::string music = dir.str() + "/music/a.mp3";
    const std::string notes = dir.write("notes.txt", "my notes\n");
    const std::string playlist = dir.write("old.m3u", "#EXTM3U\r\n/old.mp3\r\n");
    struct Case {
        const char* What;
        std::string Target;
        std::optional<bool> Answer; // to the question; none asked without one
        bool Written;
    };
    const Case cases[] = {
        {"the settings file", settingsFile, std::nullopt, false},
        {"a music file, kept", music, false, false},
        {"notes, kept", notes, false, false},
        {"notes, replaced", notes, true, true},
        {"a playlist", playlist, std::nullopt, true},
    };
    for (const Case& c : cases) {
        const std::string before = TempDir::read(c.Target);
        dialogs.Errors.clear();
        dialogs.Questions.clear();
        dialogs.SaveNames = {c.Target};
        if (c.Answer)
            dialogs.Answers = {*c.Answer};
        form->Save->click();
        ASSERT_EQ(dialogs.Questions.size(), c.Answer ? 1u : 0u) << c.What;
        if (c.Answer) {
            EXPECT_TRUE(dialogs.Questions[0].contains("is not a playlist file to replace"))
                << c.What;
        }
        EXPECT_EQ(dialogs.Errors.size(), c.Target == settingsFile ? 1u : 0u) << c.What;
        EXPECT_EQ(TempDir::read(c.Target) != before, c.Written) << c.What;
        if (c.Written) {
            EXPECT_NE(TempDir::read(c.Target).find(music), std::string::npos) << c.What;
        }
    }
}
