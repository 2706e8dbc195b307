// The playlist panel's Length and Why columns and its dropped rows: lengths
// read off the thread that draws the list and landing on their own rows
// whatever happens to the list meanwhile, their texts and order, the reasons'
// order, and dropped rows that are shown, hidden and never checked.
#include "PanelTestSupport.h"
#include "panels/ListLengths.h"
#include "panels/MediaFileCheckListFrame.h"
#include "support/FakeLengths.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QThread>

#include <random>

namespace {

bool AllRead(const TMediaFileCheckList& Panel) {
    QElapsedTimer timer;
    timer.start();
    const auto unread = [&] {
        for (int row = 0; row < Panel.Count(); ++row)
            if (Panel.Model()->Length(row) == LengthNotRead)
                return true;
        return Panel.LengthsInFlight() > 0;
    };
    while (unread()) {
        if (timer.elapsed() > 30000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

QString Cell(const TMediaFileCheckList& Panel, int Row, int Column) {
    return Panel.Model()->index(Row, Column).data().toString();
}

class PlaylistColumns : public ::testing::Test {
protected:
    PlaylistColumns() : scope(dialogs) { panel.SetLengthRead(lengths.Read()); }
    void Add(const std::string& Path, std::int64_t Milliseconds, bool Checked = true) {
        lengths.Set(Path, Milliseconds);
        panel.AddMediaEntry(Path, TMediaInfo{}, Checked, "Included");
    }
    std::vector<QString> Column(int Index) {
        std::vector<QString> texts;
        for (int row = 0; row < panel.Count(); ++row)
            texts.push_back(Cell(panel, row, Index));
        return texts;
    }

    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope;
    TFakeLengths lengths;
    TMediaFileCheckList panel{"Playlist"};
};

} // namespace

TEST_F(PlaylistColumns, LengthsShowAsMinutesAndSecondsAndSortBySecondsWithBlanksTogether) {
    struct TRow {
        const char* Path;
        std::int64_t Milliseconds;
        const char* Shown;
    };
    const TRow table[] = {
        {"/m/a.mp3", 185000, "3:05"},   {"/m/b.mp3", -1, ""},        // unknown: blank
        {"/m/c.mp3", 59499, "0:59"},    {"/m/d.mp3", 59500, "1:00"}, // rounded to the second
        {"/m/e.mp3", 4503000, "75:03"}, {"/m/f.mp3", 0, "0:00"},     // no wrapping into hours
        {"/m/g.mp3", -1, ""},           {"/m/h.mp3", 185400, "3:05"},
    };
    for (const TRow& row : table)
        Add(row.Path, row.Milliseconds);
    ASSERT_TRUE(AllRead(panel));
    EXPECT_FALSE(lengths.ReadOn(QThread::currentThread())) << "no read on the UI thread";
    for (int row = 0; row < panel.Count(); ++row) {
        EXPECT_EQ(Cell(panel, row, PlaylistLengthColumn), table[row].Shown) << table[row].Path;
        EXPECT_EQ(panel.Model()
                          ->index(row, PlaylistLengthColumn)
                          .data(Qt::TextAlignmentRole)
                          .value<int>() &
                      Qt::AlignRight,
                  Qt::AlignRight);
    }

    // Blanks first, then by seconds; equal lengths keep their order both ways.
    panel.ListColumnClick(PlaylistLengthColumn);
    EXPECT_EQ(Captions(panel),
              (std::vector<std::string>{"/m/b.mp3", "/m/g.mp3", "/m/f.mp3", "/m/c.mp3", "/m/d.mp3",
                                        "/m/a.mp3", "/m/h.mp3", "/m/e.mp3"}));
    panel.ListColumnClick(PlaylistLengthColumn);
    EXPECT_FALSE(panel.SortAscending());
    EXPECT_EQ(Captions(panel),
              (std::vector<std::string>{"/m/e.mp3", "/m/a.mp3", "/m/h.mp3", "/m/d.mp3", "/m/c.mp3",
                                        "/m/f.mp3", "/m/b.mp3", "/m/g.mp3"}));
    // The checked total follows the lengths read: 3:05 + 0:59 + 1:00 + 75:03 + 0:00 + 3:05.
    EXPECT_EQ(panel.Model()->CheckedWithLength(), 6);
    EXPECT_EQ(panel.Model()->CheckedSeconds(), 185 + 59 + 60 + 4503 + 0 + 185);
    EXPECT_EQ(lengths.Reads(), 8) << "each file once";
}

// Reads come back by row; sorts, removals, moves and a new list in between
// renumber the rows, and every length must still land on its own file.
TEST_F(PlaylistColumns, EveryLengthLandsOnItsOwnRowWhileTheListChanges) {
    lengths.DelayMicroseconds = 200;
    std::mt19937 random(5);
    const auto expected = [&](int Row) { return lengths.Get(panel.Model()->Caption(Row)); };
    for (int round = 0; round < 3; ++round) {
        panel.Clear();
        for (int i = 0; i < 400; ++i) {
            Add("/m/" + std::to_string(round) + "/" + std::to_string(i) + ".mp3",
                1000 * static_cast<std::int64_t>(random() % 5000));
            if (i % 50 == 49) {
                QApplication::processEvents();
                panel.ListColumnClick(static_cast<int>(random() % 2) * PlaylistLengthColumn);
                panel.RemoveEntry(static_cast<int>(random() % panel.Count()));
                panel.Model()->Move(0, panel.Count() - 1);
            }
            EXPECT_LE(panel.LengthsInFlight(), 64) << "a few asked at a time, not the list";
        }
        ASSERT_TRUE(AllRead(panel));
        for (int row = 0; row < panel.Count(); ++row)
            ASSERT_EQ(panel.Model()->Length(row), (expected(row) + 500) / 1000)
                << panel.Model()->Caption(row);
    }
}

TEST_F(PlaylistColumns, AnEditedPathIsReadAgain) {
    Add("/m/short.mp3", 60000);
    ASSERT_TRUE(AllRead(panel));
    lengths.Set("/m/long.mp3", 600000);
    panel.SetSelectedIndex(0);
    dialogs.OpenNames = {"/m/long.mp3"};
    panel.EditExecute();
    ASSERT_EQ(panel.Model()->Caption(0), "/m/long.mp3");
    ASSERT_TRUE(AllRead(panel));
    EXPECT_EQ(Cell(panel, 0, PlaylistLengthColumn), "10:00");
}

TEST_F(PlaylistColumns, WhySortsByTheReasonsCollatedLikeTheOtherTexts) {
    // Reasons as a compile gives them, added out of order.
    const char* const reasons[] = {
        "Included: Title matches \"*love*\" (include)", "",
        "dropped: lower case sorts among the capitals", "Dropped: .mp3 without a tag",
        "Included: Album matches \"x\" (include)",      "Dropped: .mp3 without a tag"};
    for (int i = 0; i < 6; ++i)
        panel.AddMediaEntry("/m/" + std::to_string(i) + ".mp3", TMediaInfo{}, true, reasons[i]);
    panel.ListColumnClick(PlaylistWhyColumn);
    const std::vector<QString> ascending = {"Added by hand",
                                            "Dropped: .mp3 without a tag",
                                            "Dropped: .mp3 without a tag",
                                            "dropped: lower case sorts among the capitals",
                                            "Included: Album matches \"x\" (include)",
                                            "Included: Title matches \"*love*\" (include)"};
    EXPECT_EQ(Column(PlaylistWhyColumn), ascending);
    // Equal reasons keep their order.
    EXPECT_EQ(panel.Model()->Caption(1), "/m/3.mp3");
    EXPECT_EQ(panel.Model()->Caption(2), "/m/5.mp3");
    panel.ListColumnClick(PlaylistWhyColumn);
    EXPECT_EQ(Column(PlaylistWhyColumn),
              std::vector<QString>(ascending.rbegin(), ascending.rend()));
    EXPECT_EQ(panel.View()->header()->sortIndicatorSection(), PlaylistWhyColumn);
}

TEST_F(PlaylistColumns, DroppedRowsWaitHiddenComeBackInWalkOrderAndAreNeverChecked) {
    lengths.Set("/m/4.mp3", 61000);
    panel.SetDroppedShown(false);
    Add("/m/1.mp3", 1000);
    EXPECT_EQ(panel.AddDroppedEntry("/m/2.mp3", TMediaInfo{}, "Dropped: two"), -1);
    Add("/m/3.mp3", 1000);
    EXPECT_EQ(panel.AddDroppedEntry("/m/4.mp3", TMediaInfo{}, "Dropped: four"), -1);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"/m/1.mp3", "/m/3.mp3"}));

    panel.SetDroppedShown(true);
    EXPECT_EQ(Captions(panel),
              (std::vector<std::string>{"/m/1.mp3", "/m/2.mp3", "/m/3.mp3", "/m/4.mp3"}));
    EXPECT_EQ(panel.WhyText(1), "Dropped: two");
    EXPECT_EQ(panel.Model()->index(3, 0).data(Qt::ToolTipRole).toString(), "Dropped: four");
    EXPECT_EQ(panel.AddDroppedEntry("/m/5.mp3", TMediaInfo{}, "Dropped: five"), 4);

    // Check All and Invert Checks pass them by; they are never among the checked.
    panel.CheckAllExecute();
    panel.InvertChecksExecute();
    panel.InvertChecksExecute();
    std::vector<std::string> checked;
    panel.GetCheckedCaptions(checked);
    EXPECT_EQ(checked, (std::vector<std::string>{"/m/1.mp3", "/m/3.mp3"}));
    EXPECT_EQ(panel.CheckedCount(), 2);
    EXPECT_EQ(panel.Model()->DroppedCount(), 3);
    // Nor does a click on the box: it is not there to click.
    const QModelIndex dropped = panel.Model()->index(1, 0);
    EXPECT_FALSE(panel.Model()->flags(dropped) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(panel.Model()->setData(dropped, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(panel.Model()->flags(panel.Model()->index(0, 0)) & Qt::ItemIsUserCheckable);

    // Sorted while hidden: they come back in that order, not to their old places.
    panel.SetDroppedShown(false);
    panel.ListColumnClick(0);
    panel.ListColumnClick(0); // descending
    panel.SetDroppedShown(true);
    EXPECT_EQ(Captions(panel), (std::vector<std::string>{"/m/5.mp3", "/m/4.mp3", "/m/3.mp3",
                                                         "/m/2.mp3", "/m/1.mp3"}));
    // Shown dropped rows get their lengths read too.
    ASSERT_TRUE(AllRead(panel));
    EXPECT_EQ(Cell(panel, 1, PlaylistLengthColumn), "1:01");
}
