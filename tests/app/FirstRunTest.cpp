// A first run, as a new user meets it: no settings file yet, the filename masks
// of every format the program reads, the Summary's advice and its one-click
// fix, and untagged files listed once the tagless option is on.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "engine/FilePolicy.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

using enum CheckState;
using enum CriterionState;

namespace {

class FirstRunTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::string settingsFile = dir.str() + "/config/2.ini";
    std::string music = dir.str() + "/music";
    std::string tagged = dir.write("music/tagged.mp3", Id3v1File("Song", "Band", "", "", 1));
    std::string untagged = dir.write("music/untagged.mp3", std::string(300, 'x'));

    std::unique_ptr<TMainForm> Open() {
        return std::make_unique<TMainForm>(QString::fromStdString(settingsFile));
    }
    static void ToPage(TMainForm& Form, int Page) {
        while (!(Form.WelcomePagePanel()->isHidden() && Form.PageIndex() == Page))
            Form.NextClick();
    }
    static std::vector<std::string> Captions(const TCheckList& List) {
        std::vector<std::string> captions;
        for (const CheckEntry& entry : List.CheckEntries()) {
            EXPECT_EQ(entry.State, Checked) << entry.Caption;
            captions.push_back(entry.Caption);
        }
        return captions;
    }
    std::vector<std::string> CompiledPaths(TMainForm& Form) {
        ToPage(Form, CompilePage);
        Form.Compile->click();
        EXPECT_TRUE(WaitFor([&] { return Form.CompileState() == TCompileState::Idle; }));
        std::vector<std::string> paths;
        for (int row = 0; row < Form.Playlist->Count(); ++row)
            if (!Form.Playlist->Model()->Dropped(row))
                paths.push_back(Form.Playlist->Entry(row).Caption);
        std::sort(paths.begin(), paths.end());
        return paths;
    }
};

// Only a missing settings file is a first run: a file the user emptied, or
// one without a Filenames section, keeps its (absent) masks.
TEST_F(FirstRunTest, OnlyAFirstRunStartsWithTheMasksOfEveryReadableFormat) {
    struct Case {
        const char* Name;
        const char* FileText; // nullptr: no file
        bool Masks;
    };
    const Case cases[] = {
        {"no settings file", nullptr, true},
        {"an empty settings file", "", false},
        {"a file with an empty Filenames list", "[Filenames]\nItem Count=0\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(dir.str() + "/config");
        if (c.FileText)
            dir.write("config/2.ini", c.FileText);
        auto form = Open();
        form->SetStoreOnDestroy(false);
        EXPECT_EQ(Captions(*form->Filenames),
                  c.Masks ? ReadableFormatMasks() : std::vector<std::string>{});
        EXPECT_FALSE(form->SearchModified());
    }
}

TEST_F(FirstRunTest, TheSummarySaysWhatToDoAndIncludeEveryTitleFixesIt) {
    auto form = Open();
    form->SetStoreOnDestroy(false);
    form->Folders->AddEntry(music, true);
    ToPage(*form, SummaryPage);
    const QString summary = form->Summary->toPlainText();
    EXPECT_TRUE(summary.contains(CriteriaInadequateMessage));
    EXPECT_TRUE(summary.contains(CriteriaAdvice)) << summary.toStdString();
    EXPECT_FALSE(form->NextButton()->isEnabled());
    EXPECT_TRUE(form->IncludeEveryTitle->isVisibleTo(form.get()));

    form->IncludeEveryTitleClick();
    ASSERT_EQ(form->Titles->CriterionEntries(), (std::vector<CriterionEntry>{{"*", Include}}));
    EXPECT_TRUE(form->NextButton()->isEnabled());
    EXPECT_FALSE(form->Summary->toPlainText().contains(CriteriaAdvice));
    EXPECT_FALSE(form->IncludeEveryTitle->isVisibleTo(form.get()));
    EXPECT_EQ(CompiledPaths(*form), std::vector<std::string>{tagged});
}

// A "*" the user set to exclude or ignore becomes the include, not a second row.
TEST_F(FirstRunTest, IncludeEveryTitleTurnsAnExistingStarIntoAnInclude) {
    for (const CriterionState state : {Exclude, Ignore}) {
        auto form = Open();
        form->SetStoreOnDestroy(false);
        form->Titles->AddEntryWithState("a*", Exclude);
        form->Titles->AddEntryWithState("*", state);
        form->IncludeEveryTitleClick();
        EXPECT_EQ(form->Titles->CriterionEntries(),
                  (std::vector<CriterionEntry>{{"a*", Exclude}, {"*", Include}}));
    }
}

TEST_F(FirstRunTest, WithTheTaglessOptionOnAnUntaggedMp3IsListed) {
    struct Case {
        bool Tagless, EveryTitle;
        std::vector<std::string> Listed;
    };
    const Case cases[] = {
        {true, false, {untagged}}, // no criterion: the tagged file is not taken
        {true, true, {tagged, untagged}},
        {false, true, {tagged}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "tagless " << c.Tagless << " title * " << c.EveryTitle);
        auto form = Open();
        form->SetStoreOnDestroy(false);
        form->Folders->AddEntry(music, true);
        form->IncludeTaglessFiles->setChecked(c.Tagless);
        if (c.EveryTitle)
            form->IncludeEveryTitleClick();
        ToPage(*form, SummaryPage);
        EXPECT_TRUE(form->NextButton()->isEnabled());
        EXPECT_FALSE(form->IncludeEveryTitle->isVisibleTo(form.get()));
        EXPECT_EQ(CompiledPaths(*form), c.Listed);
    }
}

} // namespace
