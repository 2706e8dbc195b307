// Every panel kind through a real settings file: save, reload, and the load edge cases.
#include "PanelTestSupport.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/MediaFileCheckListFrame.h"
#include "panels/YearCriterionListFrame.h"
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {
QString IniFile(const TempDir& Dir) {
    return QString::fromStdString(Dir.str() + "/2.ini");
}

// Writes an INI file by hand, as a user or an older run might have left it.
void WriteIni(const TempDir& Dir, const std::string& Text) {
    Dir.write("2.ini", Text);
}

TEST(PanelStore, EveryPanelKindSavesAndReloadsCaptionsStatesAndOrder) {
    TempDir dir;
    const std::string music = dir.str() + "/music";
    std::filesystem::create_directories(music);
    {
        TFolderCheckList folders("Folders");
        TCheckList filenames("Filenames");
        TCriterionList titles("Titles");
        TYearCriterionList years("Years");
        TMediaFileCheckList playlist("Playlist");
        playlist.SetPersistent(false);
        folders.AddEntry(music, false);
        filenames.AddEntry("*.mp3", true);
        filenames.AddEntry("*.m\xE4", false);
        titles.AddEntryWithState("Live*", Exclude);
        titles.AddEntryWithState("*", Ignore);
        years.AddEntryWithState("1999", Include);
        playlist.AddMediaEntry(music + "/a.mp3", TMediaInfo{}, true);
        filenames.show();
        DragRow(filenames, 1, 0); // the saved order is the order shown

        SettingsStore store(IniFile(dir));
        TCheckList::SaveAllLists(store);
        store.Flush();
    }
    const std::string ini = TempDir::read(dir.str() + "/2.ini");
    EXPECT_EQ(ini.find("Playlist"), std::string::npos);

    const SettingsStore store(IniFile(dir));
    TFolderCheckList folders("Folders");
    TCheckList filenames("Filenames");
    TCriterionList titles("Titles");
    TYearCriterionList years("Years");
    TCheckList::LoadAllLists(store);
    EXPECT_EQ(Captions(folders), (std::vector<std::string>{music}));
    EXPECT_EQ(States(folders), (std::vector<CheckState>{CheckState::Unchecked}));
    EXPECT_EQ(Captions(filenames), (std::vector<std::string>{"*.m\xE4", "*.mp3"}));
    EXPECT_EQ(States(filenames),
              (std::vector<CheckState>{CheckState::Unchecked, CheckState::Checked}));
    EXPECT_EQ(Captions(titles), (std::vector<std::string>{"Live*", "*"}));
    EXPECT_EQ(CriterionStates(titles), (std::vector<CriterionState>{Exclude, Ignore}));
    EXPECT_EQ(Captions(years), (std::vector<std::string>{"1999"}));
}

TEST(PanelStore, LoadEdgeCasesOfTheListLayout) {
    TempDir dir;
    const std::string kept = dir.str() + "/kept";
    std::filesystem::create_directories(kept);
    WriteIni(dir, "[Filenames]\nItem Count=3\nItem 1=*.mp3\nItem 1 State=0\nItem 2 State=1\n"
                  "Item 3=*.ogg\n"
                  "[Titles]\nItem Count=2\nItem 1=Live*\nItem 2=Best*\nItem 2 State=1\n"
                  "[Artists]\nItem Count=-2\nItem 1=x\n"
                  "[Albums]\nItem Count=abc\nItem 1=x\n"
                  "[Years]\nItem Count=3\nItem 1=1999\nItem 2=19\nItem 2 State=1\n"
                  "Item 3=abcd\nItem 3 State=2\n"
                  "[Folders]\nItem Count=3\nItem 1=" +
                      kept + "\nItem 2=" + dir.str() + "/gone\nItem 3=" + dir.str() +
                      "/also-gone\n");
    const SettingsStore store(IniFile(dir));
    TCheckList filenames("Filenames");
    TCriterionList titles("Titles"), artists("Artists"), albums("Albums");
    TYearCriterionList years("Years");
    TFolderCheckList folders("Folders");
    for (TCheckList* panel : std::initializer_list<TCheckList*>{&filenames, &titles, &artists,
                                                                &albums, &years, &folders})
        panel->LoadFromStore(store);

    // A missing caption loads empty; a missing state loads checked in a check list...
    EXPECT_EQ(Captions(filenames), (std::vector<std::string>{"*.mp3", "", "*.ogg"}));
    EXPECT_EQ(
        States(filenames),
        (std::vector<CheckState>{CheckState::Unchecked, CheckState::Checked, CheckState::Checked}));
    EXPECT_EQ(filenames.CheckedCount(), 2);
    // ...and as include in a criterion list.
    EXPECT_EQ(CriterionStates(titles), (std::vector<CriterionState>{Include, Exclude}));
    EXPECT_EQ(artists.Count(), 0);
    EXPECT_EQ(albums.Count(), 0);
    // Year entries of no known form are kept as stored, never replaced.
    EXPECT_EQ(Captions(years), (std::vector<std::string>{"1999", "19", "abcd"}));
    EXPECT_EQ(CriterionStates(years), (std::vector<CriterionState>{Include, Exclude, Ignore}));
    // Missing folders stay, in their places and with their states, marked as
    // not found; an existing one is not marked.
    EXPECT_EQ(Captions(folders),
              (std::vector<std::string>{kept, dir.str() + "/gone", dir.str() + "/also-gone"}));
    EXPECT_EQ(folders.CheckedCount(), 3);
    const std::vector<bool> missing = {false, true, true};
    for (int row = 0; row < folders.Count(); ++row) {
        EXPECT_EQ(folders.FolderMissing(row), missing[row]) << row;
        const QString shown =
            folders.Model()->data(folders.Model()->index(row, 0), Qt::DisplayRole).toString();
        EXPECT_EQ(shown.endsWith(" (not found)"), missing[row]) << shown.toStdString();
        EXPECT_EQ(
            folders.Model()->data(folders.Model()->index(row, 0), Qt::ForegroundRole).isValid(),
            missing[row])
            << "greyed";
    }
    EXPECT_EQ(folders.MissingCheckedFolders(),
              (std::vector<std::string>{dir.str() + "/gone", dir.str() + "/also-gone"}));
    // The folder appears (a drive mounted): marking again clears its mark.
    std::filesystem::create_directories(dir.str() + "/gone");
    folders.MarkMissingFolders();
    EXPECT_FALSE(folders.FolderMissing(1));
    EXPECT_TRUE(folders.FolderMissing(2));
}

TEST(PanelStore, SavingRewritesTheWholeSectionAndKeepsFoldersThatAreGone) {
    TempDir dir;
    WriteIni(dir, "[Folders]\nItem Count=2\nItem 1=" + dir.str() +
                      "/a\nItem 1 State=0\nItem 2=" + dir.str() + "/b\nRecurse=0\n");
    SettingsStore store(IniFile(dir));
    TFolderCheckList folders("Folders");
    folders.LoadFromStore(store);
    EXPECT_EQ(folders.Count(), 2);
    folders.SaveToStore(store);
    EXPECT_EQ(store.ReadInteger("Folders", "Item Count", -1), 2);
    EXPECT_EQ(store.ReadString("Folders", "Item 1", "none"), dir.str() + "/a");
    EXPECT_EQ(store.ReadString("Folders", "Item 1 State", "none"), "0");
    EXPECT_EQ(store.ReadString("Folders", "Item 2", "none"), dir.str() + "/b");
    EXPECT_EQ(store.ReadString("Folders", "Recurse", "none"), "none");
}
} // namespace
