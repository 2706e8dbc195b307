// The wizard's settings in the store: loading rules and edge cases through real
// INI files, the order of saving, and round trips.
#include "settings/SettingsStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QFile>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace fs = std::filesystem;

namespace {

QString Q(const std::string& Path) {
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

WizardSettings LoadFrom(const TempDir& Dir, const std::string& Ini) {
    SettingsStore store(Q(Dir.write("2.ini", Ini)));
    EXPECT_EQ(store.LoadError(), "");
    return LoadAllSettings(store);
}

template <typename Entry> std::vector<std::string> Captions(const std::vector<Entry>& Entries) {
    std::vector<std::string> captions;
    for (const Entry& entry : Entries)
        captions.push_back(entry.Caption);
    return captions;
}

// The states as the file stores them.
template <typename Entry> std::vector<int> States(const std::vector<Entry>& Entries) {
    std::vector<int> states;
    for (const Entry& entry : Entries)
        states.push_back(ToStored(entry.State));
    return states;
}

const std::vector<std::string> BuiltInOrder = DefaultFieldOrder();

std::string OrderIni(const std::vector<std::string>& Names) {
    std::string ini = "[Options]\n";
    for (size_t i = 0; i < Names.size(); ++i)
        ini += "Criteria " + std::to_string(i) + "=" + Names[i] + "\n";
    return ini;
}

} // namespace

TEST(SettingsLayout, FirstRunLoadsDefaults) {
    TempDir dir;
    SettingsStore store(Q(dir.str() + "/absent/2.ini"));
    const WizardSettings settings = LoadAllSettings(store);
    EXPECT_TRUE(settings.Folders.empty());
    EXPECT_TRUE(settings.Filenames.empty());
    for (const auto& list : settings.Criteria)
        EXPECT_TRUE(list.empty());
    EXPECT_TRUE(settings.Recurse);
    EXPECT_FALSE(settings.ThoroughID3Check);
    EXPECT_FALSE(settings.IncludeTaglessFiles);
    EXPECT_TRUE(settings.ReadOtherFormats);
    EXPECT_FALSE(settings.RelativePlaylistPaths);
    EXPECT_FALSE(settings.ExtendedPlaylist);
    EXPECT_EQ(settings.FieldRules, (std::array<PrecedenceRule, CriterionFieldCount>{}));
    EXPECT_EQ(settings.OrderRule, InclusionFirst);
    EXPECT_EQ(settings.FieldOrder, BuiltInOrder);
}

TEST(SettingsLayout, ListCountsAndMissingValues) {
    TempDir dir;
    WizardSettings settings = LoadFrom(dir, "[Filenames]\nItem Count=3\nItem 1=*.mp3\n"
                                            "Item 1 State=0\nItem 3=*.ogg\n"
                                            "[Titles]\nItem Count=-2\n"
                                            "[Artists]\nItem Count=abc\nItem 1=x\n"
                                            "[Albums]\n");
    // Entries load as present, in number order; a number with no value at all is skipped.
    EXPECT_EQ(Captions(settings.Filenames), (std::vector<std::string>{"*.mp3", "*.ogg"}));
    // A missing state loads a check-list entry checked.
    EXPECT_EQ(States(settings.Filenames), (std::vector<int>{0, 1}));
    EXPECT_TRUE(settings.Criteria[FieldTitle].empty());
    EXPECT_TRUE(settings.Criteria[FieldArtist].empty());
    EXPECT_TRUE(settings.Criteria[FieldAlbum].empty());

    // A state without its caption is an entry with an empty caption; in a
    // criterion list a caption without its state is an include mask.
    settings = LoadFrom(dir, "[Filenames]\nItem Count=3\nItem 2 State=0\nItem 1=*.mp3\n"
                             "[Artists]\nItem Count=2\nItem 2=b\n");
    EXPECT_EQ(Captions(settings.Filenames), (std::vector<std::string>{"*.mp3", ""}));
    EXPECT_EQ(States(settings.Filenames), (std::vector<int>{1, 0}));
    EXPECT_EQ(Captions(settings.Criteria[FieldArtist]), (std::vector<std::string>{"b"}));
    EXPECT_EQ(States(settings.Criteria[FieldArtist]), (std::vector<int>{0})) << "include";

    // A huge count loads what is there, at once.
    settings = LoadFrom(dir, "[Filenames]\nItem Count=2000000000\nItem 1=*.mp3\n"
                             "Item 50000000 State=0\nItem 50000000=*.wav\nItem 01=no\n");
    EXPECT_EQ(Captions(settings.Filenames), (std::vector<std::string>{"*.mp3", "*.wav"}));
    EXPECT_EQ(States(settings.Filenames), (std::vector<int>{1, 0}));
}

TEST(SettingsLayout, EntriesTheCountLeavesOutKeepACopyOfTheFile) {
    TempDir dir;
    const struct {
        const char* Text;
        bool Copied;
    } Rows[] = {
        {"[Folders]\nItem Count=0\nItem 1=/a\n", true},
        {"[Folders]\nItem Count=-1\nItem 1 State=1\n", true},
        {"[Folders]\nItem 1=/a\n", true},
        {"[Folders]\nItem Count=1\nItem 1=/a\nItem 2=/b\n", true},
        {"[Folders]\nItem Count=abc\n", true},
        {"[Folders]\nItem Count=3\nItem 2=/b\n", false},
        {"[Folders]\nItem Count=0\n", false},
    };
    for (const auto& Row : Rows) {
        const std::string file = dir.write("2.ini", Row.Text);
        SettingsStore store(file);
        WizardSettings settings = LoadAllSettings(store);
        SaveAllSettings(store, settings);
        store.Flush();
        EXPECT_EQ(!store.DamagedCopyName().empty(), Row.Copied) << Row.Text;
        if (Row.Copied) {
            EXPECT_EQ(TempDir::read(store.DamagedCopyName()), Row.Text);
        }
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
    }
}

TEST(SettingsLayout, StatesOfCheckAndCriterionLists) {
    TempDir dir;
    const WizardSettings settings =
        LoadFrom(dir, "[Filenames]\nItem Count=3\nItem 1=a\nItem 2=b\nItem 2 State=5\n"
                      "Item 3=c\nItem 3 State=-1\n"
                      "[Genres]\nItem Count=6\nItem 1=a\nItem 2=b\nItem 2 State=1\nItem 3=c\n"
                      "Item 3 State=2\nItem 4=d\nItem 4 State=7\nItem 5=e\nItem 5 State=-4\n"
                      "Item 6=f\nItem 6 State=x\n");
    EXPECT_EQ(States(settings.Filenames), (std::vector<int>{1, 1, 1}));
    // Missing state: include; out of range: clamped; not a number: include.
    EXPECT_EQ(States(settings.Criteria[FieldGenre]), (std::vector<int>{0, 1, 2, 2, 0, 0}));
}

TEST(SettingsLayout, FieldOrderTakenOnlyWhenEveryLinePasses) {
    TempDir dir;
    const std::vector<std::string> More = {"Album Artist", "Composer", "Format", "Length",
                                           "Modified"};
    const auto Then = [](std::vector<std::string> Order, const std::vector<std::string>& Tail) {
        Order.insert(Order.end(), Tail.begin(), Tail.end());
        return Order;
    };
    // Five lines name the fields every search has: the others follow them.
    EXPECT_EQ(LoadFrom(dir, OrderIni({"Year", "Genre", "Album", "Artist", "Title"})).FieldOrder,
              Then({"Year", "Genre", "Album", "Artist", "Title"}, More));
    EXPECT_EQ(LoadFrom(dir, OrderIni({"year", "genre", "album", "artist", "title"})).FieldOrder,
              Then({"year", "genre", "album", "artist", "title"}, More));
    // Ten lines name every field.
    const std::vector<std::string> Ten = {"Length",   "Year",        "Composer", "Genre",
                                          "Album",    "Artist",      "Title",    "Format",
                                          "Modified", "Album Artist"};
    EXPECT_EQ(LoadFrom(dir, OrderIni(Ten)).FieldOrder, Ten);
    // Anything else: the fixed order.
    const std::vector<std::vector<std::string>> Refused = {
        {"Year", "Year", "Album", "Artist", "Title"},
        {"Year", "YEAR", "Album", "Artist", "Title"},
        {"Year", "Genre", "Album", "Artist", "Track"},
        {"Year", "Genre", "Album", "Artist"},
        {"Year", "Genre", "Album", "Artist", "Length"},
        Then({"Year", "Genre", "Album", "Artist", "Title"}, {"Composer", "Length"}),
        Then({"Year", "Genre", "Album", "Artist", "Title"},
             {"Composer", "Composer", "Format", "Length", "Modified"}),
    };
    for (const std::vector<std::string>& Order : Refused)
        EXPECT_EQ(LoadFrom(dir, OrderIni(Order)).FieldOrder, BuiltInOrder) << Order.size();

    // Saved: five lines while the other fields follow in their fixed order
    // (so a search that does not move them keeps its bytes), ten when one
    // moved; moving it back takes the five lines away again.
    const std::string file = dir.str() + "/order-save.ini";
    const auto Lines = [&](const std::vector<std::string>& Order) {
        WizardSettings settings;
        settings.FieldOrder = Order;
        SettingsStore store(Q(file));
        SaveWindowSettings(store, settings);
        store.Flush();
        const std::string text = TempDir::read(file);
        int lines = 0;
        for (std::size_t at = text.find("Criteria "); at != std::string::npos;
             at = text.find("Criteria ", at + 1))
            ++lines;
        return lines;
    };
    EXPECT_EQ(Lines(Then({"Genre", "Title", "Year", "Album", "Artist"}, More)), 5);
    EXPECT_EQ(Lines(Ten), 10);
    EXPECT_EQ(Lines(BuiltInOrder), 5);
    SettingsStore reread(Q(file));
    EXPECT_EQ(LoadAllSettings(reread).FieldOrder, BuiltInOrder);
}

TEST(SettingsLayout, MissingFoldersDroppedAtAnyPosition) {
    TempDir dir;
    const std::string a = (dir.path() / "a").string();
    const std::string b = (dir.path() / "b b").string();
    fs::create_directories(a);
    fs::create_directories(b);
    const std::string file = dir.write("file", "");
    const std::string ini = "[Folders]\nItem Count=6\nItem 1=" + dir.str() + "/gone1\nItem 2=" + a +
                            "\nItem 2 State=0\nItem 3=" + dir.str() + "/gone2\nItem 4=" + file +
                            "\nItem 5=" + b + "\nItem 6=" + dir.str() + "/gone3\n";
    SettingsStore store(Q(dir.write("2.ini", ini)));
    WizardSettings settings = LoadAllSettings(store);
    EXPECT_EQ(Captions(settings.Folders), (std::vector<std::string>{a, b}));
    EXPECT_EQ(States(settings.Folders), (std::vector<int>{0, 1}));

    // Gone from the store after the next save.
    SaveAllSettings(store, settings);
    EXPECT_EQ(store.ReadInteger("Folders", "Item Count", 0), 2);
    EXPECT_EQ(store.ReadString("Folders", "Item 2", ""), b);
    EXPECT_EQ(store.ReadString("Folders", "Item 3", "none"), "none");
}

// Year entries of no known form are kept as written (never replaced by the
// current year) and each is reported once; masks and ranges load silently.
TEST(SettingsLayout, YearCaptionsKeptAndMalformedOnesReported) {
    TempDir dir;
    SettingsStore store(Q(dir.write(
        "2.ini", "[Years]\nItem Count=9\nItem 1=19\nItem 1 State=1\nItem 2=abcd\n"
                 "Item 2 State=2\nItem 3=1999\nItem 3 State=1\nItem 4=19999\nItem 5=-199\n"
                 "Item 6=19 9\nItem 7=199?\nItem 8=1990..1999\nItem 9=..1979\n")));
    const WizardSettings settings = LoadAllSettings(store);
    EXPECT_EQ(Captions(settings.Criteria[FieldYear]),
              (std::vector<std::string>{"19", "abcd", "1999", "19999", "-199", "19 9", "199?",
                                        "1990..1999", "..1979"}));
    EXPECT_EQ(States(settings.Criteria[FieldYear]), (std::vector<int>{1, 2, 1, 0, 0, 0, 0, 0, 0}));
    std::vector<std::string> named;
    for (const std::string& problem : store.ValueProblems()) {
        const std::size_t open = problem.find("year criterion \"");
        ASSERT_NE(open, std::string::npos) << problem;
        const std::size_t from = open + 16;
        named.push_back(problem.substr(from, problem.find('"', from) - from));
    }
    EXPECT_EQ(named, (std::vector<std::string>{"19", "abcd", "19999", "-199", "19 9"}));
}

// The [Selection] section: absent by default (a file without it keeps its
// bytes), written when any value is set, read back as written; a value not
// understood loads empty and is reported by its name.
TEST(SettingsLayout, SelectionSectionRoundTripsAndRefusesNonsense) {
    TempDir dir;
    {
        SettingsStore store(Q(dir.str() + "/plain.ini"));
        SaveAllSettings(store, WizardSettings{});
        store.Flush();
        EXPECT_EQ(store.ReadString("Selection", "Order", "absent"), "absent");
    }
    WizardSettings settings;
    settings.Selection = {"Artist, Album desc, Track", "12345", "90 minutes", "newest", "2", "3"};
    {
        SettingsStore store(Q(dir.str() + "/chosen.ini"));
        SaveAllSettings(store, settings);
        store.Flush();
    }
    SettingsStore again(Q(dir.str() + "/chosen.ini"));
    EXPECT_EQ(LoadAllSettings(again).Selection, settings.Selection);
    EXPECT_TRUE(again.ValueProblems().empty());

    SettingsStore bad(Q(dir.write("bad.ini", "[Selection]\nOrder=Artist, Mood\nLimit=lots\n"
                                             "Pick=newest\nPer Artist=-1\n")));
    const WizardSettings loaded = LoadAllSettings(bad);
    EXPECT_EQ(loaded.Selection.Order, "");
    EXPECT_EQ(loaded.Selection.Limit, "");
    EXPECT_EQ(loaded.Selection.Pick, "newest");
    EXPECT_EQ(loaded.Selection.PerArtist, "");
    ASSERT_EQ(bad.ValueProblems().size(), 3u);
    EXPECT_NE(bad.ValueProblems()[0].find("Order: unknown order \"Artist, Mood\""),
              std::string::npos)
        << bad.ValueProblems()[0];
    EXPECT_NE(bad.ValueProblems()[1].find("Limit"), std::string::npos);
    EXPECT_NE(bad.ValueProblems()[2].find("Per Artist"), std::string::npos);
}

TEST(SettingsLayout, SaveWritesListsThenWindowValues) {
    TempDir dir;
    const std::string file =
        dir.write("2.ini", "[Options]\nOld Value=kept\n[Folders]\nStale=1\nRecurse=0\n");
    SettingsStore store(Q(file));
    WizardSettings settings;
    settings.Folders = {{dir.str(), Unchecked}};
    settings.Filenames = {{"*.mp3", Checked}};
    settings.Criteria[FieldTitle] = {{"*love*", Exclude}};
    settings.Recurse = true;
    settings.FieldRules = {ByOrder, ExclusionFirst, InclusionFirst, InclusionFirst, ByOrder};
    settings.OrderRule = InclusionFirst;
    settings.FieldOrder = {"Year", "Genre", "Album", "Artist", "Title"};
    settings.IncludeTaglessFiles = true;
    SaveAllSettings(store, settings);
    store.Flush();
    EXPECT_EQ(TempDir::read(file), "[Options]\nOld Value=kept\nRule=0\nCriteria 0=Year\n"
                                   "Criteria 1=Genre\nCriteria 2=Album\nCriteria 3=Artist\n"
                                   "Criteria 4=Title\nInclude Tagless Files=1\n"
                                   "Tag Code Page=Windows-1252\n"
                                   "Read Other Formats=1\nRemember Tags=1\n"
                                   "Relative Playlist Paths=0\nExtended Playlist=0\n\n"
                                   "[Folders]\nItem Count=1\nItem 1=" +
                                       dir.str() +
                                       "\nItem 1 State=0\nRecurse=1\n\n"
                                       "[Filenames]\nItem Count=1\nItem 1=*.mp3\nItem 1 State=1\n"
                                       "Thorough ID3 Check=0\n\n"
                                       "[Titles]\nItem Count=1\nItem 1=*love*\nItem 1 State=1\n"
                                       "Rule=2\n\n"
                                       "[Artists]\nItem Count=0\nRule=1\n\n"
                                       "[Albums]\nItem Count=0\nRule=0\n\n"
                                       "[Genres]\nItem Count=0\nRule=0\n\n"
                                       "[Years]\nItem Count=0\nRule=2\n");
}

TEST(SettingsLayout, EverySettingSurvivesSaveAndLoad) {
    TempDir dir;
    // Folder names with bytes that are not UTF-8 and characters INI files care about.
    const std::vector<std::string> folderNames = {"caf\xe9 \xff\xfe", " lead and trail ",
                                                  "a=b;c#d[e]", "back\\slash"};
    WizardSettings saved;
    for (size_t i = 0; i < folderNames.size(); ++i) {
        const std::string path = (dir.path() / folderNames[i]).string();
        fs::create_directories(path);
        saved.Folders.push_back({path, i % 2 ? Checked : Unchecked});
    }
    saved.Filenames = {{"*.mp3", Checked},
                       {" *.ogg", Unchecked},
                       {"#*.flac", Checked},
                       {";x=y", Unchecked},
                       {"[z]\\", Checked}};
    saved.Criteria[FieldTitle] = {
        {"*Caf\xe9*", Include}, {"line\nbreak", Exclude}, {"tab\there", Ignore}};
    saved.Criteria[FieldArtist] = {{"", Ignore}};
    saved.Criteria[FieldYear] = {{"1999", Exclude}, {"2001", Ignore}};
    saved.Recurse = false;
    saved.ThoroughID3Check = true;
    saved.IncludeTaglessFiles = true;
    saved.ReadOtherFormats = false;
    saved.RelativePlaylistPaths = true;
    saved.ExtendedPlaylist = true;
    saved.Criteria[FieldComposer] = {{"*Caf\xe9*", Exclude}};
    saved.Criteria[FieldLength] = {{"10:00..", Include}, {"..0:30", Ignore}};
    saved.FieldRules = {InclusionFirst, ExclusionFirst, ByOrder, ExclusionFirst, InclusionFirst,
                        ExclusionFirst, InclusionFirst, ByOrder, ByOrder,        InclusionFirst};
    saved.OrderRule = ByOrder;
    saved.FieldOrder = {"genre",  "Length", "Title",    "Year",         "Album",
                        "Artist", "Format", "Modified", "Album Artist", "Composer"};
    saved.TagCodePage = "KOI8-R";

    const std::string file = dir.str() + "/config/2.ini";
    {
        SettingsStore store(Q(file));
        SaveAllSettings(store, saved);
        store.Flush();
    }
    SettingsStore reloaded(Q(file));
    EXPECT_EQ(reloaded.LoadError(), "");
    const WizardSettings loaded = LoadAllSettings(reloaded);
    EXPECT_EQ(loaded.Folders, saved.Folders);
    EXPECT_EQ(loaded.Filenames, saved.Filenames);
    EXPECT_EQ(loaded.Criteria, saved.Criteria);
    EXPECT_EQ(loaded.Recurse, saved.Recurse);
    EXPECT_EQ(loaded.ThoroughID3Check, saved.ThoroughID3Check);
    EXPECT_EQ(loaded.IncludeTaglessFiles, saved.IncludeTaglessFiles);
    EXPECT_EQ(loaded.ReadOtherFormats, saved.ReadOtherFormats);
    EXPECT_EQ(loaded.RelativePlaylistPaths, saved.RelativePlaylistPaths);
    EXPECT_EQ(loaded.ExtendedPlaylist, saved.ExtendedPlaylist);
    EXPECT_EQ(loaded.FieldRules, saved.FieldRules);
    EXPECT_EQ(loaded.OrderRule, saved.OrderRule);
    EXPECT_EQ(loaded.FieldOrder, saved.FieldOrder);
    EXPECT_EQ(loaded.TagCodePage, saved.TagCodePage);
    // Nothing beside the file was left in its folder.
    EXPECT_EQ(
        std::distance(fs::directory_iterator(dir.path() / "config"), fs::directory_iterator()), 1);
}

TEST(SettingsLayout, TagCodePageNamesInAnyCaseOrAliasLoadAndUnknownOnesAreReported) {
    TempDir dir;
    const struct {
        const char* Text;
        const char* CodePage;
        bool Copied;
        const char* Unknown; // the name reported, if any
    } Rows[] = {
        {"[Options]\nTag Code Page=Windows-1251\n", "Windows-1251", false, nullptr},
        {"[Options]\nTag Code Page=Shift_JIS\n", "Shift_JIS", false, nullptr},
        {"[Options]\n", "Windows-1252", false, nullptr},
        {"[Options]\nTag Code Page=windows-1251\n", "Windows-1251", false, nullptr},
        {"[Options]\nTag Code Page=WINDOWS-1250\n", "Windows-1250", false, nullptr},
        {"[Options]\nTag Code Page=cp1250\n", "Windows-1250", false, nullptr},
        {"[Options]\nTag Code Page=CP1250\n", "Windows-1250", false, nullptr},
        {"[Options]\nTag Code Page=sjis\n", "Shift_JIS", false, nullptr},
        {"[Options]\nTag Code Page=UTF-8\n", "Windows-1252", true, "UTF-8"},
        {"[Options]\nTag Code Page=\n", "Windows-1252", true, ""},
        {"[Options]\nTag Code Page=cp\x1b[2J\n", "Windows-1252", true, "cp\\x1B[2J"},
    };
    for (const auto& Row : Rows) {
        const std::string file = dir.write("2.ini", Row.Text);
        SettingsStore store(Q(file));
        WizardSettings settings = LoadAllSettings(store);
        EXPECT_EQ(settings.TagCodePage, Row.CodePage) << Row.Text;
        // Loading twice reports once.
        LoadAllSettings(store);
        if (Row.Unknown) {
            EXPECT_EQ(store.ValueProblems(),
                      std::vector<std::string>{"settings file " + file +
                                               ", Tag Code Page: unknown code page \"" +
                                               Row.Unknown + "\", Windows-1252 is used instead"})
                << Row.Text;
        } else {
            EXPECT_EQ(store.ValueProblems(), std::vector<std::string>{}) << Row.Text;
        }
        SaveAllSettings(store, settings);
        store.Flush();
        EXPECT_EQ(!store.DamagedCopyName().empty(), Row.Copied) << Row.Text;
        // What is written back is the page's own name.
        EXPECT_NE(TempDir::read(file).find(std::string("Tag Code Page=") + Row.CodePage + "\n"),
                  std::string::npos)
            << Row.Text;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            std::filesystem::remove(entry.path());
    }
}

// A new settings file with every option at its default, as earlier versions
// wrote it (with the tag index's option added after Read Other Formats): the
// table of values must give the same bytes.
TEST(SettingsLayout, DefaultOptionsWriteTheSameBytesAsBefore) {
    TempDir dir;
    const std::string file = dir.str() + "/2.ini";
    SettingsStore store(Q(file));
    SaveAllSettings(store, WizardSettings{});
    store.Flush();
    EXPECT_EQ(TempDir::read(file),
              "[Folders]\nItem Count=0\nRecurse=1\n\n"
              "[Filenames]\nItem Count=0\nThorough ID3 Check=0\n\n"
              "[Titles]\nItem Count=0\nRule=0\n\n[Artists]\nItem Count=0\nRule=0\n\n"
              "[Albums]\nItem Count=0\nRule=0\n\n[Genres]\nItem Count=0\nRule=0\n\n"
              "[Years]\nItem Count=0\nRule=0\n\n"
              "[Options]\nRule=0\nCriteria 0=Title\nCriteria 1=Artist\nCriteria 2=Album\n"
              "Criteria 3=Genre\nCriteria 4=Year\nInclude Tagless Files=0\n"
              "Tag Code Page=Windows-1252\nRead Other Formats=1\nRemember Tags=1\n"
              "Relative Playlist Paths=0\n"
              "Extended Playlist=0\n");
}

// A search that does not use the More criteria page's fields is written as it
// always was; each field's section comes with entries or a rule of its own,
// survives a load, and goes again with them, leaving the same bytes.
TEST(SettingsLayout, MoreCriteriaFieldsAreWrittenOnlyWhileUsed) {
    TempDir dir;
    const std::string file = dir.str() + "/more.ini";
    WizardSettings plain;
    plain.Folders = {{dir.str(), Checked}};
    plain.Filenames = {{"*.mp3", Checked}};
    plain.Criteria[FieldTitle] = {{"*", Include}};
    plain.FieldRules[FieldYear] = ExclusionFirst;
    // Settings saved over the file as it is (a save puts the lists it
    // writes after the values it keeps in place: save twice to settle).
    const auto SaveOver = [&](const WizardSettings& Settings) {
        SettingsStore store(Q(file));
        SaveAllSettings(store, Settings);
        store.Flush();
        return TempDir::read(file);
    };
    SaveOver(plain);
    const std::string before = SaveOver(plain);
    for (int field = ClassicFieldCount; field < CriterionFieldCount; ++field)
        EXPECT_EQ(before.find(std::string("[") + CriterionListNames[field] + "]"),
                  std::string::npos)
            << before;
    EXPECT_EQ(before.find("Criteria 5"), std::string::npos) << before;

    const CriterionEntry entries[CriterionFieldCount - ClassicFieldCount] = {{"Various*", Exclude},
                                                                             {"*Bach*", Include},
                                                                             {"FLAC", Include},
                                                                             {"..2:30", Ignore},
                                                                             {"30 days", Include}};
    for (int field = ClassicFieldCount; field < CriterionFieldCount; ++field)
        for (const bool withRule : {false, true}) {
            const std::string section = std::string("[") + CriterionListNames[field] + "]";
            WizardSettings used = plain;
            if (withRule)
                used.FieldRules[field] = ByOrder;
            else
                used.Criteria[field] = {entries[field - ClassicFieldCount]};
            EXPECT_NE(SaveOver(used).find(section), std::string::npos) << section;
            SettingsStore reread(Q(file));
            const WizardSettings loaded = LoadAllSettings(reread);
            EXPECT_EQ(loaded.Criteria, used.Criteria) << section;
            EXPECT_EQ(loaded.FieldRules, used.FieldRules) << section;
            // Unused again: the file as it was.
            EXPECT_EQ(SaveOver(plain), before) << section << withRule;
        }
}
