// The Summary page: the adequacy check's red lines, the report's lines, the
// Next button it sets, and the box's context menu.
#include "AppTestSupport.h"
#include "app/Main.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/YearCriterionListFrame.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <memory>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

const std::string SearchMessage =
    "The search folders and filenames you have specified are inadequate to find any media files.";
const std::string CriteriaMessage = "The media info search criteria you have specified are "
                                    "inadequate to find any media files.";

class SummaryTest : public ::testing::Test {
protected:
    TempDir dir;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::unique_ptr<TMainForm> form =
        std::make_unique<TMainForm>(QString::fromStdString(dir.str() + "/2.ini"));

    // The report's lines below start from empty lists, without a first run's masks.
    SummaryTest() { form->Filenames->Clear(); }

    void ToSummary() {
        while (!(form->WelcomePagePanel()->isHidden() && form->PageIndex() == SummaryPage))
            form->NextClick();
    }
    std::vector<std::string> SummaryLines() const { return Lines(form->Summary->toPlainText()); }
    // Whether every character of a line is red (true) or every one is not (false).
    bool LineIsRed(int Line) const {
        const QTextBlock block = form->Summary->document()->findBlockByNumber(Line);
        bool red = false, plain = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const bool isRed = format.foreground().style() != Qt::NoBrush &&
                               format.foreground().color() == QColor(255, 0, 0);
            (isRed ? red : plain) = true;
        }
        EXPECT_FALSE(red && plain) << "line " << Line << " is partly red";
        return red;
    }
};

std::vector<std::string> RuleBlock(const std::string& List, const std::string& Plural,
                                   std::vector<std::string> Entries) {
    std::vector<std::string> lines{List + ":"};
    if (Entries.empty())
        Entries.push_back("\t<none>");
    lines.insert(lines.end(), Entries.begin(), Entries.end());
    lines.push_back("");
    lines.push_back("\tInclusion of " + Plural + " should take precedence over exclusion");
    lines.push_back("");
    return lines;
}

} // namespace

TEST_F(SummaryTest, EmptySettingsGiveBothRedMessagesThenTheReport) {
    ToSummary();
    std::vector<std::string> expected = {SearchMessage,
                                         CriteriaMessage,
                                         CriteriaAdvice,
                                         "",
                                         "Folders:",
                                         "\t<none>",
                                         "",
                                         "\tSearch for media files in the subfolders of the "
                                         "folders specified",
                                         "",
                                         "Filenames:",
                                         "\t<none>",
                                         ""};
    for (auto [list, plural] : {std::pair{"Titles", "titles"},
                                {"Artists", "artists"},
                                {"Albums", "albums"},
                                {"Genres", "genres"},
                                {"Years", "years"}}) {
        auto block = RuleBlock(list, plural, {});
        expected.insert(expected.end(), block.begin(), block.end());
    }
    expected.push_back("Options:");
    expected.push_back("\tInclusion of media files in playlist should take precedence over "
                       "exclusion");
    expected.push_back("\tText in tags without a declared encoding: Western (Windows-1252)");
    expected.push_back(
        "\tRead tags of other audio formats (FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, APE)");
    EXPECT_EQ(SummaryLines(), expected);
    EXPECT_TRUE(LineIsRed(0));
    EXPECT_TRUE(LineIsRed(1));
    // The advice is no error: it says what to do.
    for (int line = 2; line < 13; ++line)
        EXPECT_FALSE(LineIsRed(line)) << line;
    EXPECT_FALSE(form->NextButton()->isEnabled());
}

TEST_F(SummaryTest, EachCheckFailsOnItsOwn) {
    // Checked folders, but no checked filename mask: only the search message.
    form->Folders->AddEntry(dir.str(), true);
    form->Filenames->AddEntry("*.mp3", false);
    form->Artists->AddEntryWithState("Abba", Include);
    ToSummary();
    auto lines = SummaryLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], SearchMessage);
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Folders:");
    EXPECT_TRUE(LineIsRed(0));
    EXPECT_FALSE(form->NextButton()->isEnabled());

    // Fixing it and coming back with Next lets the user on.
    form->BackClick();
    form->Filenames->SetChecked(0, true);
    form->Artists->SetState(0, Exclude);
    form->NextClick();
    lines = SummaryLines();
    EXPECT_EQ(lines[0], CriteriaMessage);
    EXPECT_EQ(lines[1], CriteriaAdvice);
    EXPECT_EQ(lines[2], "");
    EXPECT_FALSE(form->NextButton()->isEnabled());

    // Tagless files make the criteria adequate on their own.
    form->BackClick();
    form->IncludeTaglessFiles->setChecked(true);
    form->NextClick();
    lines = SummaryLines();
    EXPECT_EQ(lines[0], "Folders:");
    EXPECT_TRUE(form->NextButton()->isEnabled());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "\tRead tags of other audio formats (FLAC, Ogg, Opus, MP4, "
                                       "WMA, WAV, AIFF, APE)");
    EXPECT_EQ(lines[lines.size() - 2],
              "\tInclude files for which no media info (ID3 tags) can be found");
    EXPECT_EQ(lines.back(), "") << "the report ends with the tagless line's empty line";

    // Without the other formats' readers their line is left out.
    form->BackClick();
    form->ReadOtherFormats->setChecked(false);
    form->NextClick();
    lines = SummaryLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3],
              "\tText in tags without a declared encoding: Western (Windows-1252)");
    EXPECT_EQ(lines[lines.size() - 2],
              "\tInclude files for which no media info (ID3 tags) can be found");
}

TEST_F(SummaryTest, SaysWhenAFolderIsListedTwiceOrInsideAnother) {
    const std::string rock = dir.str() + "/rock";
    std::filesystem::create_directories(rock);
    form->Folders->AddEntry(dir.str(), true);
    form->Folders->AddEntry(rock, true);
    form->Folders->AddEntry(dir.str() + "/", true);
    form->Folders->AddEntry(rock, false); // not searched: not reported
    form->Recurse->setChecked(true);
    form->Filenames->AddEntry("*.mp3", true);
    form->IncludeTaglessFiles->setChecked(true);
    ToSummary();
    const auto lines = SummaryLines();
    const std::vector<std::string> head = {
        "Folders:",
        "\t" + dir.str(),
        "\t" + rock,
        "\t" + dir.str() + "/",
        "\t" + rock,
        "",
        "\tSearch for media files in the subfolders of the folders specified",
        "",
        "\t" + rock + " is inside " + dir.str() + "; its files will be found twice",
        "\t" + dir.str() + "/ is listed twice; its files will be found twice",
        "",
        "Filenames:",
    };
    ASSERT_GE(lines.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
    EXPECT_TRUE(form->NextButton()->isEnabled()); // a note, not an error

    // Without subfolders only the folder listed twice is said.
    form->BackButton()->click();
    form->Recurse->setChecked(false);
    ToSummary();
    const auto flat = SummaryLines();
    EXPECT_EQ(std::count_if(flat.begin(), flat.end(),
                            [](const std::string& Line) { return Line.ends_with("found twice"); }),
              1);
}

TEST_F(SummaryTest, ListsEveryEntryAndLeavesIgnoredCriteriaOut) {
    const std::string other = dir.str() + "/other";
    std::filesystem::create_directories(other);
    form->Folders->AddEntry(dir.str(), true);
    form->Folders->AddEntry(other, false);
    form->Recurse->setChecked(false);
    form->Filenames->AddEntry("*.mp3", true);
    form->Filenames->AddEntry("*.ogg", false);
    form->ThoroughID3Check->setChecked(true);
    form->Titles->AddEntryWithState("Intro*", Ignore);
    form->Titles->AddEntryWithState("Outro", Ignore);
    form->Artists->AddEntryWithState("A*", Include);
    form->Artists->AddEntryWithState("Ab?", Exclude);
    form->Artists->AddEntryWithState("Zed", Ignore);
    form->FieldRules[FieldArtist]->setCurrentIndex(2);
    ToSummary();
    const auto lines = SummaryLines();
    const std::vector<std::string> head = {
        "Folders:",
        "\t" + dir.str(),
        "\t" + other,
        "",
        "Filenames:",
        "\t\"*.mp3\"",
        "\t\"*.ogg\"",
        "",
        "\tAttempt to extract and verify media info (ID3 tags) from all files, not just those "
        "with the 'mp3' extension",
        "",
        "Titles:",
        "\t<none>",
        "",
        "\tInclusion of titles should take precedence over exclusion",
        "",
        "Artists:",
        "\tIncluding \"A*\"",
        "\tExcluding \"Ab?\"",
        "",
        "\tPrecedence should be determined by order of artist criteria",
        "",
    };
    ASSERT_GE(lines.size(), head.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + head.size()), head);
    EXPECT_TRUE(form->NextButton()->isEnabled());
}

TEST_F(SummaryTest, OrderLinesFollowTheRuleOnlyWhenOrderDecides) {
    form->IncludeTaglessFiles->setChecked(true);
    form->OrderRule->setCurrentIndex(2);
    ToSummary();
    auto lines = SummaryLines();
    const std::vector<std::string> tail = {
        "Options:",
        "\tPrecedence should be determined by order of criteria",
        "\tTitle evaluated first",
        "\tArtist evaluated second",
        "\tAlbum evaluated third",
        "\tGenre evaluated fourth",
        "\tYear evaluated fifth",
        "\tText in tags without a declared encoding: Western (Windows-1252)",
        "\tRead tags of other audio formats (FLAC, Ogg, Opus, MP4, WMA, WAV, AIFF, APE)",
        "\tInclude files for which no media info (ID3 tags) can be found",
        "",
    };
    ASSERT_GE(lines.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(lines.end() - tail.size(), lines.end()), tail);

    // Back to the Options page and another rule: no order lines.
    form->BackClick();
    form->OrderRule->setCurrentIndex(1);
    form->NextClick();
    lines = SummaryLines();
    ASSERT_GE(lines.size(), 6u);
    EXPECT_EQ(lines[lines.size() - 6], "Options:");
    EXPECT_EQ(lines[lines.size() - 5],
              "\tExclusion of media files in playlist should take precedence over inclusion");
}

TEST_F(SummaryTest, BackFromCompileKeepsTheEarlierReport) {
    form->Folders->AddEntry(dir.str(), true);
    form->Filenames->AddEntry("*.mp3", true);
    form->IncludeTaglessFiles->setChecked(true);
    ToSummary();
    const QString report = form->Summary->toPlainText();
    form->NextClick();
    ASSERT_EQ(form->PageIndex(), CompilePage);
    form->Filenames->AddEntry("*.ogg", true); // not shown until the next Next
    form->BackClick();
    EXPECT_EQ(form->PageIndex(), SummaryPage);
    EXPECT_EQ(form->Summary->toPlainText(), report);
    EXPECT_TRUE(form->NextButton()->isEnabled());
}

TEST_F(SummaryTest, CopyIsEnabledOnlyWithASelection) {
    ToSummary();
    const QList<QAction*> items = form->SummaryMenu->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "&Copy");
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Select &All");

    form->SummaryMenuPopup();
    EXPECT_FALSE(form->Copy1->isEnabled());
    form->SelectAll1->trigger();
    form->SummaryMenuPopup();
    EXPECT_TRUE(form->Copy1->isEnabled());
    form->Copy1->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), form->Summary->toPlainText());
}

TEST_F(SummaryTest, TheTagCodePageIsReportedAndReachesTheSettings) {
    const int koi8 = form->TagCodePage->findData("KOI8-R");
    ASSERT_GE(koi8, 0);
    EXPECT_EQ(form->TagCodePage->currentData().toString(), "Windows-1252");
    form->TagCodePage->setCurrentIndex(koi8);
    ToSummary();
    const auto lines = SummaryLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "\tText in tags without a declared encoding: Cyrillic (KOI8-R)"),
              lines.end());
    EXPECT_EQ(form->CurrentSettings().TagCodePage, "KOI8-R");
}
