// The playlist panel: columns, sorting, file icons, add by hand, preview commands.
#include "PanelTestSupport.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/TextDisplay.h"
#include "support/TempDir.h"

#include <QAction>
#include <QHeaderView>

namespace {
// Records what the panel asks of the player; the test decides when playbacks end.
class TFakePlayer : public TPreviewPlayer {
public:
    std::vector<std::string> Opened;
    int Plays = 0, Stops = 0;
    bool OpenFails = false;
    bool AudioOutput = true;
    std::vector<QString> Failures; // reported by each Play, as a service does

    bool HasAudioOutput() const override { return AudioOutput; }
    bool Open(const std::string& FileName, QString& ErrorText) override {
        if (OpenFails) {
            ErrorText = "the file does not exist";
            return false;
        }
        Opened.push_back(FileName);
        return true;
    }
    bool Play() override {
        ++Plays;
        for (const QString& failure : Failures)
            emit Failed(Opened.back(), failure);
        return true;
    }
    void Stop() override { ++Stops; }
    void End() { emit PlaybackEnded(); }
};

TMediaInfo Info(std::string Artist, std::string Year, std::string Track) {
    TMediaInfo info;
    info.Title = "T";
    info.Artist = std::move(Artist);
    info.Year = std::move(Year);
    info.Track = std::move(Track);
    return info;
}

class MediaFileCheckList : public ::testing::Test {
protected:
    MediaFileCheckList() : scope(dialogs) {
        auto fake = std::make_unique<TFakePlayer>();
        player = fake.get();
        panel.SetPreviewPlayer(std::move(fake));
    }
    std::vector<std::string> Column(int Index) {
        std::vector<std::string> result;
        for (const TCheckListEntry& entry : panel.Entries())
            result.push_back(Index == 0 ? entry.Caption : entry.Columns[Index - 1]);
        return result;
    }
    bool Enabled(TListCommand Command) { return panel.Action(Command)->isEnabled(); }

    TScriptedDialogs dialogs{TScriptedDialogs::TUnscripted::FailUnexpected};
    TScopedDialogs scope;
    TMediaFileCheckList panel{"Playlist"};
    TFakePlayer* player = nullptr;
};

TEST_F(MediaFileCheckList, ShowsItsColumnsWithTheirHeadersAndWidths) {
    panel.AddMediaEntry("/m/a.mp3", Info("Artist", "1999", "3/12"), true);
    panel.Model()->Flush();
    QStringList headers;
    std::vector<int> widths;
    for (int column = 0; column < panel.Model()->columnCount(); ++column) {
        headers << panel.Model()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        widths.push_back(panel.View()->header()->sectionSize(column));
    }
    EXPECT_EQ(headers, (QStringList{"Filename", "Title", "Artist", "Album", "Genre", "Year",
                                    "Track", "Format", "Length", "Why"}));
    EXPECT_EQ(widths, (std::vector<int>{300, 100, 100, 100, 70, 36, 40, 56, 50, 300}));
    // A row added without a reason was added by hand; the reason is also every cell's tooltip.
    EXPECT_EQ(panel.Model()->index(0, PlaylistWhyColumn).data().toString(), "Added by hand");
    EXPECT_EQ(panel.Model()->index(0, 2).data(Qt::ToolTipRole).toString(), "Added by hand");
    panel.AddMediaEntry("/m/b.mp3", Info("B", "2000", "1"), true,
                        "Included: Title matches \"*\" (include)");
    panel.AddMediaEntry("/m/c.mp3", Info("C", "2000", "2"), true,
                        "Included: Title matches \"*\" (include)");
    panel.Model()->Flush();
    EXPECT_EQ(panel.Model()->index(2, PlaylistWhyColumn).data().toString(),
              "Included: Title matches \"*\" (include)");
    EXPECT_EQ(panel.Model()->Note(1), panel.Model()->Note(2)); // one text for both
    EXPECT_EQ(panel.WhyText(0), "Added by hand");
    EXPECT_EQ(panel.Model()->index(0, 6).data().toString(), "3/12");
    // The format as the file's content showed it.
    TMediaInfo flac = Info("D", "2001", "4");
    flac.Format = TContentFormat::FLAC;
    panel.AddMediaEntry("/m/d.mp3", flac, true);
    panel.Model()->Flush();
    EXPECT_EQ(panel.Model()->index(3, 7).data().toString(), "FLAC");
    EXPECT_EQ(panel.Model()->index(0, 7).data().toString(), "");
    EXPECT_EQ(panel.Model()->index(0, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(),
              Qt::Checked);
}

TEST_F(MediaFileCheckList, HeaderClicksSortAscendingThenReverseAndTracksCompareAsNumbers) {
    panel.AddMediaEntry("/m/1.mp3", Info("beta", "2001", "10"), true);
    panel.AddMediaEntry("/m/2.mp3", Info("Zed", "1999", "9"), true);
    panel.AddMediaEntry("/m/3.mp3", Info("alpha", "2010", "2/12"), true);
    panel.AddMediaEntry("/m/4.mp3", Info("Abba", "1999", "x"), false);
    panel.SetSelectedIndex(1);
    panel.show();
    QHeaderView* header = panel.View()->header();
    auto click = [&](int Column) {
        const int x = header->sectionViewportPosition(Column) + header->sectionSize(Column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 5));
    };

    EXPECT_FALSE(header->isSortIndicatorShown()) << "no arrow before the first sort";
    click(5);
    EXPECT_EQ(Column(5), (std::vector<std::string>{"1999", "1999", "2001", "2010"}));
    EXPECT_TRUE(panel.SortAscending());
    click(5);
    EXPECT_EQ(Column(5), (std::vector<std::string>{"2010", "2001", "1999", "1999"}));
    EXPECT_FALSE(panel.SortAscending());
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), 5);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // Letters without regard to case.
    click(2);
    EXPECT_EQ(Column(2), (std::vector<std::string>{"Abba", "alpha", "beta", "Zed"}));
    click(6);
    EXPECT_EQ(Column(6), (std::vector<std::string>{"x", "2/12", "9", "10"}));
    EXPECT_EQ(panel.SortColumn(), 6);
    // The selection stays with its entry, and sorting leaves the checks alone.
    EXPECT_EQ(panel.Entry(panel.SelectedIndex()).Caption, "/m/2.mp3");
    EXPECT_EQ(panel.CheckedCount(), 3);
    std::vector<std::string> checked;
    panel.GetCheckedCaptions(checked);
    EXPECT_EQ(checked, (std::vector<std::string>{"/m/3.mp3", "/m/2.mp3", "/m/1.mp3"}));
}

TEST_F(MediaFileCheckList, ExtensionsShareOneIconPerLowerCaseExtension) {
    const int mp3 = panel.FileIconIndex("/m/a.MP3");
    EXPECT_EQ(panel.FileIconIndex("/m/b.mp3"), mp3);
    const int none = panel.FileIconIndex("/m.d/noext");
    const int empty = panel.FileIconIndex("");
    EXPECT_EQ(none, empty) << "no extension and an empty path share the empty extension";
    EXPECT_EQ(panel.ExtensionCache(), (std::vector<std::string>{".mp3", ""}));
    EXPECT_EQ(panel.FileIcons().size(), 2u);
    EXPECT_FALSE(panel.FileIcons()[mp3].isNull());

    TempDir dir;
    const std::string wav = dir.write("hand.wav", "RIFF");
    dialogs.OpenNames = {wav};
    panel.AddExecute();
    EXPECT_EQ(panel.FileIcons().size(), 3u);
    EXPECT_EQ(panel.Entry(0).IconIndex, 2);
    panel.Clear();
    EXPECT_EQ(panel.FileIcons().size(), 3u) << "the icon cache outlives the list";
}

TEST_F(MediaFileCheckList, FileAddedByHandGetsTheProvidersFieldsOrSixEmptyColumns) {
    TempDir dir;
    const std::string tagless = dir.write("plain.mp3", std::string(200, '\0'));
    dialogs.OpenNames = {tagless, tagless};
    panel.AddExecute();
    EXPECT_EQ(panel.Entry(0).Columns, (std::array<std::string, ListTextColumns>{}));
    EXPECT_TRUE(panel.Checked(0));
    EXPECT_EQ(panel.Entry(0).Value, 0);

    std::vector<std::string> asked;
    panel.SetMediaInfoProvider([&](const std::string& Path, TMediaInfo& Filled) {
        asked.push_back(Path);
        Filled.Title = "Song";
        Filled.Track = "4";
    });
    panel.AddExecute();
    EXPECT_EQ(asked, (std::vector<std::string>{tagless}));
    EXPECT_EQ(panel.Entry(1).Columns[0], "Song");
    EXPECT_EQ(panel.Entry(1).Columns[5], "4");
}

TEST_F(MediaFileCheckList, PlayFollowsTheSelectionAndStopStaysUntilTheLastPreviewEnds) {
    EXPECT_FALSE(Enabled(TListCommand::Play));
    EXPECT_FALSE(Enabled(TListCommand::Stop));
    panel.AddMediaEntry("/m/a.mp3", TMediaInfo{}, true);
    panel.AddMediaEntry("/m/b.mp3", TMediaInfo{}, true);
    panel.show();

    // Double-click with nothing selected: nothing plays.
    panel.ListDblClick();
    EXPECT_TRUE(player->Opened.empty());

    QTest::mouseDClick(panel.View()->viewport(), Qt::LeftButton, Qt::NoModifier,
                       RowPoint(panel, 0));
    EXPECT_TRUE(Enabled(TListCommand::Play));
    EXPECT_EQ(player->Opened, (std::vector<std::string>{"/m/a.mp3"}));
    panel.SetSelectedIndex(1);
    panel.Action(TListCommand::Play)->trigger();
    EXPECT_EQ(panel.PendingPreviews(), 2);
    player->End(); // the first one, cut short
    EXPECT_TRUE(Enabled(TListCommand::Stop));
    player->End();
    EXPECT_FALSE(Enabled(TListCommand::Stop));
    EXPECT_EQ(panel.PendingPreviews(), 0);

    // Emptying the list (a compile start) takes the selection and Play with it.
    ASSERT_GE(panel.SelectedIndex(), 0);
    panel.Clear();
    EXPECT_FALSE(Enabled(TListCommand::Play));
    panel.AddMediaEntry("/m/a.mp3", TMediaInfo{}, true);
    panel.SetSelectedIndex(0);

    // Stop, then the service's notice of that stopped playback: never below zero,
    // so the next preview's end still disables Stop.
    panel.PlayExecute();
    panel.Action(TListCommand::Stop)->trigger();
    EXPECT_EQ(player->Stops, 1);
    player->End();
    EXPECT_EQ(panel.PendingPreviews(), 0);
    panel.PlayExecute();
    EXPECT_TRUE(Enabled(TListCommand::Stop));
    player->End();
    EXPECT_FALSE(Enabled(TListCommand::Stop));

    panel.RemoveExecute();
    panel.RemoveExecute();
    EXPECT_FALSE(Enabled(TListCommand::Play));
}

TEST_F(MediaFileCheckList, EachFailedPlayShowsOneBoxNamingTheFileAndTheReason) {
    panel.AddMediaEntry("/m/a.mp3", TMediaInfo{}, true);
    panel.AddMediaEntry("/m/b.mp3", TMediaInfo{}, true);
    panel.SetSelectedIndex(0);

    // A file that cannot be opened: one box, nothing else changes.
    player->OpenFails = true;
    panel.PlayExecute();
    EXPECT_EQ(dialogs.Errors,
              (std::vector<QString>{"Cannot play \"/m/a.mp3\": the file does not exist."}));
    EXPECT_EQ(panel.PendingPreviews(), 0);
    EXPECT_FALSE(Enabled(TListCommand::Stop));
    EXPECT_EQ(player->Plays, 0);

    // A service that reports one failure three times: still one box per Play.
    dialogs.Errors.clear();
    player->OpenFails = false;
    player->Failures = {"its format is not supported", "state error", "state error"};
    panel.SetSelectedIndex(1);
    panel.PlayExecute();
    panel.PlayExecute();
    EXPECT_EQ(dialogs.Errors,
              (std::vector<QString>{"Cannot play \"/m/b.mp3\": its format is not supported.",
                                    "Cannot play \"/m/b.mp3\": its format is not supported."}));

    // A late report about an earlier file is not this attempt's failure.
    dialogs.Errors.clear();
    player->Failures.clear();
    panel.PlayExecute();
    emit player->Failed("/m/a.mp3", "late");
    EXPECT_TRUE(dialogs.Errors.empty());
}

TEST_F(MediaFileCheckList, AMissingAudioOutputIsSaidOnce) {
    panel.AddMediaEntry("/m/a.mp3", TMediaInfo{}, true);
    panel.SetSelectedIndex(0);
    player->AudioOutput = false;
    for (int i = 0; i < 3; ++i)
        panel.PlayExecute();
    ASSERT_EQ(dialogs.Errors.size(), 1u);
    EXPECT_EQ(dialogs.Errors[0],
              "No audio output device was found, so media files cannot be previewed.");
    EXPECT_TRUE(player->Opened.empty());
    EXPECT_FALSE(Enabled(TListCommand::Stop));
}

TEST_F(MediaFileCheckList, PathsThatAreNotUtf8KeepTheirBytes) {
    const std::string path = "/m/caf\xE9 \xFF.mp3";
    panel.AddMediaEntry(path,
                        Info("\xFF\xFE"
                             "A\0"
                             "b\0",
                             "", ""),
                        true);
    panel.AddMediaEntry("/m/skip.mp3", TMediaInfo{}, false);
    std::vector<std::string> checked;
    panel.GetCheckedCaptions(checked);
    EXPECT_EQ(checked, (std::vector<std::string>{path}));
    panel.Model()->Flush();
    EXPECT_EQ(panel.Model()->index(0, 0).data().toString(), DisplayPath(path));
}

TEST(TextDisplay, TakesTheDecodedTagTextsAsUtf8) {
    EXPECT_EQ(DisplayText("Caf\xC3\xA9 \xCE\xA3"), QString::fromUtf8("Caf\xC3\xA9 \xCE\xA3"));
    EXPECT_EQ(DisplayText("Caf\xE9 \x80"), QString::fromUtf8("Caf\xC3\xA9 \xE2\x82\xAC"));
    // Tag texts arrive decoded: bytes that look like a UTF-16 mark are no cue.
    EXPECT_NE(DisplayText(std::string("\xFF\xFE"
                                      "A\0"
                                      "b\0",
                                      6)),
              "Ab");
}
} // namespace
