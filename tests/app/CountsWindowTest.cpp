// The counts the window shows while the rules are written: beside each entry,
// on the Summary and in the bottom line; greyed after an edit until the new
// ones come; and the window keeps answering while a slow filling pass reads.
#include "AppTestSupport.h"
#include "app/CountsController.h"
#include "app/Main.h"
#include "media/AudioTags.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"

#include <QCheckBox>
#include <QSpinBox>

#include <QElapsedTimer>
#include <QLabel>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class CountsWindowTest : public ::testing::Test {
protected:
    TempDir dir, library;
    TScriptedDialogs dialogs;
    TScopedDialogs scoped{dialogs};
    std::unique_ptr<TMainForm> form;

    CountsWindowTest() {
        // 3 loves by A, 2 nights by B, a text file, a tagless mp3.
        for (int i = 0; i < 3; ++i)
            library.write("a/love" + std::to_string(i) + ".mp3",
                          Id3v1File("Love " + std::to_string(i), "A", "X", "1999", i + 1));
        for (int i = 0; i < 2; ++i)
            library.write("b/night" + std::to_string(i) + ".mp3",
                          Id3v1File("Night " + std::to_string(i), "B", "Y", "2001", i + 1));
        library.write("b/notes.txt", "text");
        library.write("b/bare.mp3", std::string(300, 'x'));
        form = std::make_unique<TMainForm>(QString::fromStdString(dir.str() + "/2.ini"));
        form->SetStoreOnDestroy(false);
        form->Filenames->Clear();
        form->Folders->AddEntry(library.str(), true);
        form->Filenames->AddEntry("*.mp3", true);
        form->Filenames->AddEntry("*.txt", false);
        form->Titles->AddEntryWithState("Love*", CriterionState::Include);
        form->Titles->AddEntryWithState("*", CriterionState::Ignore);
        form->Artists->AddEntryWithState("B", CriterionState::Include);
        form->Artists->AddEntryWithState("Nobody", CriterionState::Exclude);
    }

    void ToPage(int Page) {
        while (!(form->WelcomePagePanel()->isHidden() && form->PageIndex() == Page))
            form->NextClick();
    }
    bool Settled() const { return form->CountsCurrent(); }
    QString CountOf(TCheckList* List, int Row) const { return List->Model()->CountText(Row); }
};

} // namespace

TEST_F(CountsWindowTest, EntriesAndSummaryShowWhatEachRuleDoesAndAnEditGreysThemUntilRecounted) {
    ToPage(TitlesPage);
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_EQ(CountOf(form->Filenames, 0), "6");
    EXPECT_EQ(CountOf(form->Filenames, 1), "1");
    EXPECT_EQ(CountOf(form->Titles, 0), "3");
    EXPECT_EQ(CountOf(form->Titles, 1), "5"); // ignore: matches, decides nothing
    EXPECT_EQ(CountOf(form->Artists, 0), "2");
    EXPECT_EQ(CountOf(form->Artists, 1), "0");
    EXPECT_FALSE(form->Titles->Model()->CountsStale());
    EXPECT_EQ(form->ShownCounts().Found, 5u);
    EXPECT_EQ(form->CountsStatus->text(), "The search finds 5 files now.");

    // An edit: grey at once, then the new figures.
    form->Titles->SetState(0, CriterionState::Exclude);
    EXPECT_TRUE(form->Titles->Model()->CountsStale());
    EXPECT_FALSE(form->CountsCurrent());
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_FALSE(form->Titles->Model()->CountsStale());
    EXPECT_EQ(form->ShownCounts().Found, 2u);
    EXPECT_EQ(form->ShownCounts().Criteria[FieldTitle][0].Decided, 3u);

    // A folder unchecked: a new walk, nothing left to count.
    form->Folders->SetChecked(0, false);
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_EQ(CountOf(form->Filenames, 0), "0");
    form->Folders->SetChecked(0, true);

    ToPage(SummaryPage);
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    const QString summary = form->Summary->toPlainText();
    EXPECT_TRUE(summary.startsWith("The search finds 2 files now.")) << summary.toStdString();
    EXPECT_TRUE(summary.contains("\tTitles \"Love*\" (exclude): matches 3, decides 3\n"))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains("\tArtists \"Nobody\" (exclude): matches 0, decides 0 — decides "
                                 "nothing"))
        << summary.toStdString();
    EXPECT_TRUE(summary.contains("\tFilenames \"*.txt\" (unchecked): matches 1, decides 0\n"))
        << summary.toStdString();
}

// A filling pass whose reads are slow or stuck: the window's event loop keeps
// turning and an edit greys the counts at once; the edit is counted from what
// is known as soon as the read under way ends (not after the pass); closing
// the window does not wait for the pass.
TEST_F(CountsWindowTest, ASlowFillingPassNeverHoldsTheWindow) {
    for (int i = 0; i < 40; ++i)
        library.write("c/more" + std::to_string(i) + ".mp3",
                      Id3v1File("More", "C", "Z", "2005", i + 1));
    form->RememberTags->setChecked(false); // every tag must be read by the pass
    std::atomic<int> reads{0};
    std::atomic<bool> stuck{true};
    form->CountsController().SetReader(
        [&](int FolderFd, const char* Name, TMediaInfo& Info, std::int64_t& Size) {
            ++reads;
            while (stuck.load())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
            return ReadTagsAt(FolderFd, Name, TTagSources::ID3, Info, Size);
        });
    int ticks = 0;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, [&] { ++ticks; });
    ToPage(TitlesPage);
    ASSERT_TRUE(WaitFor([&] { return reads.load() == 1; }, 10000));
    // The pass is stuck in a read: the window still turns and takes edits.
    tick.start();
    EXPECT_TRUE(WaitFor([&] { return ticks >= 10; }, 10000));
    EXPECT_TRUE(form->CountsStatus->text().startsWith("Counting"))
        << form->CountsStatus->text().toStdString();
    form->Artists->AddEntryWithState("C", CriterionState::Include);
    EXPECT_TRUE(form->Artists->Model()->CountsStale());
    stuck = false;
    ASSERT_TRUE(WaitFor([&] {
        return form->ShownCounts().Criteria[FieldArtist].size() == 3 &&
               !form->ShownCounts().Complete();
    }));
    EXPECT_LT(reads.load(), 20) << "the edit waited for the pass";
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_EQ(form->ShownCounts().Found, 45u);
    EXPECT_EQ(form->Artists->Model()->CountText(2), "40");

    // Closing during a pass (a new walk, then 46 slow reads): the window goes
    // within about one read, not the pass.
    form->ThoroughID3Check->setChecked(!form->ThoroughID3Check->isChecked());
    const int before = reads.load();
    ASSERT_TRUE(WaitFor([&] { return reads.load() > before; }, 10000));
    QElapsedTimer closing;
    closing.start();
    form.reset();
    EXPECT_LT(closing.elapsed(), 2000);
}

// The Order and limits page: a cap changes what the search finds, and so the counts.
TEST_F(CountsWindowTest, ACapOnTheOrderAndLimitsPageIsCounted) {
    ToPage(SelectionPage);
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_EQ(form->ShownCounts().Found, 5u);
    form->PerArtist->setValue(1);
    EXPECT_FALSE(form->CountsCurrent());
    ASSERT_TRUE(WaitFor([&] { return Settled(); }));
    EXPECT_EQ(form->ShownCounts().Found, 2u); // one file of A, one of B
}
