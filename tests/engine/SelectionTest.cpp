// The selection of a search (order, limit, pick, caps) and the year criteria's
// masks and ranges: the texts as tables, the selection as properties over
// generated file sets, and a search over real files with its reasons.
#include "engine/Selection.h"
#include "engine/Criteria.h"

#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using enum CriterionState;

namespace {

TSelection Selected(const TSelectionTexts& Texts) {
    std::vector<std::string> Problems;
    TSelection Selection = ReadSelection(Texts, &Problems);
    EXPECT_TRUE(Problems.empty()) << Problems.front();
    return Selection;
}

} // namespace

TEST(SelectionTexts, OrderForms) {
    using enum TOrderField;
    struct Case {
        std::string Text;
        bool Ok;
        TOrderSpec Order;
    };
    const Case Cases[] = {
        {"", true, {}},
        {"Shuffle", true, {true, {}}},
        {"  shuffle ", true, {true, {}}},
        {"Artist, Album, Track", true, {false, {{Artist, false}, {Album, false}, {Track, false}}}},
        {"year desc,title ASC", true, {false, {{Year, true}, {Title, false}}}},
        {"Modified desc", true, {false, {{Modified, true}}}},
        {"Path, Length, Size, Genre",
         true,
         {false, {{Path, false}, {Length, false}, {Size, false}, {Genre, false}}}},
        {"Artist, Mood", false, {}},
        {"Artist,, Album", false, {}},
        {"Artist downwards", false, {}},
        {"Artist, artist desc", false, {}},
        {"Shuffle, Artist", false, {}},
        {",", false, {}},
    };
    for (const Case& C : Cases) {
        TOrderSpec Order{true, {{TOrderField::Size, true}}}; // left alone on refusal
        const TOrderSpec Before = Order;
        EXPECT_EQ(ParseOrder(C.Text, Order), C.Ok) << C.Text;
        EXPECT_EQ(Order, C.Ok ? C.Order : Before) << C.Text;
        if (C.Ok) {
            // What is written back reads as the same order.
            TOrderSpec Again;
            ASSERT_TRUE(ParseOrder(OrderText(Order), Again)) << OrderText(Order);
            EXPECT_EQ(Again, Order);
        }
    }
}

TEST(SelectionTexts, LimitPickAndCapForms) {
    using enum TLimitUnit;
    struct LimitCase {
        std::string Text;
        bool Ok;
        TLimit Limit;
        std::string Adjective;
    };
    const LimitCase Limits[] = {
        {"", true, {None, 0}, ""},
        {"50 files", true, {Files, 50}, "50-file"},
        {"1 file", true, {Files, 1}, "1-file"},
        {"90 minutes", true, {Minutes, 90}, "90-minute"},
        {"90minutes", true, {Minutes, 90}, "90-minute"},
        {"45 min", true, {Minutes, 45}, "45-minute"},
        {"700 MB", true, {Megabytes, 700}, "700 MB"},
        {"700 mb", true, {Megabytes, 700}, "700 MB"},
        {"0 files", false, {}, ""},
        {"-5 files", false, {}, ""},
        {"5", false, {}, ""},
        {"5 hours", false, {}, ""},
        {"files", false, {}, ""},
        {"2000000 files", false, {}, ""},
        {"1.5 MB", false, {}, ""},
    };
    for (const LimitCase& C : Limits) {
        TLimit Limit{Files, 7};
        EXPECT_EQ(ParseLimit(C.Text, Limit), C.Ok) << C.Text;
        if (!C.Ok) {
            EXPECT_EQ(Limit, (TLimit{Files, 7})) << C.Text;
            continue;
        }
        EXPECT_EQ(Limit, C.Limit) << C.Text;
        EXPECT_EQ(LimitAdjective(Limit), C.Adjective) << C.Text;
        TLimit Again;
        ASSERT_TRUE(ParseLimit(LimitText(Limit), Again));
        EXPECT_EQ(Again, Limit);
    }
    const std::pair<std::string, int> Picks[] = {{"", 0},       {"first", 0},  {"Random", 1},
                                                 {"NEWEST", 2}, {"oldest", 3}, {"latest", -1}};
    for (const auto& [Text, Expected] : Picks) {
        TPick Pick = TPick::Oldest;
        EXPECT_EQ(ParsePick(Text, Pick), Expected >= 0) << Text;
        if (Expected >= 0) {
            EXPECT_EQ(static_cast<int>(Pick), Expected) << Text;
        }
    }
    const std::pair<std::string, int> Caps[] = {{"", 0},    {"0", 0},    {" 3 ", 3},
                                                {"-1", -1}, {"two", -1}, {"3 files", -1}};
    for (const auto& [Text, Expected] : Caps) {
        std::uint32_t Cap = 99;
        EXPECT_EQ(ParseCap(Text, Cap), Expected >= 0) << Text;
        EXPECT_EQ(Cap, Expected >= 0 ? static_cast<std::uint32_t>(Expected) : 99u) << Text;
    }
    // A text not understood is left out of the selection and named.
    std::vector<std::string> Problems;
    const TSelection Selection =
        ReadSelection({"Artist", "x1", "lots", "first", "2", "z"}, &Problems);
    EXPECT_EQ(Selection.Order.Keys.size(), 1u);
    EXPECT_EQ(Selection.Seed, 0u);
    EXPECT_EQ(Selection.Limit.Unit, None);
    EXPECT_EQ(Selection.PerArtist, 2u);
    EXPECT_EQ(Selection.PerAlbum, 0u);
    ASSERT_EQ(Problems.size(), 3u);
    EXPECT_NE(Problems[0].find("Seed \"x1\""), std::string::npos) << Problems[0];
    EXPECT_NE(Problems[1].find("Limit \"lots\""), std::string::npos) << Problems[1];
    EXPECT_NE(Problems[2].find("Per Album \"z\""), std::string::npos) << Problems[2];
    EXPECT_FALSE(ReadSelection({}).Active());
    EXPECT_FALSE(ReadSelection({"", "42", "", "random", "0", ""}).Active());
}

TEST(YearEntries, MasksRangesAndMalformed) {
    using enum TYearEntryKind;
    struct Case {
        std::string Caption;
        TYearEntryKind Kind;
        int From, To;
    };
    const Case Cases[] = {
        {"1999", Mask, 0, 9999},
        {"199?", Mask, 0, 9999},
        {"19*9", Mask, 0, 9999},
        {"????", Mask, 0, 9999},
        {"1990..1999", Range, 1990, 1999},
        {"1990..1990", Range, 1990, 1990}, // equal ends: one year
        {"..1979", Range, 0, 1979},
        {"2000..", Range, 2000, 9999},
        {"1999..1990", Malformed, 0, 9999}, // reversed
        {"..", Malformed, 0, 9999},
        {"19", Malformed, 0, 9999},
        {"abcd", Malformed, 0, 9999},
        {"19999", Malformed, 0, 9999},
        {"199..2000", Malformed, 0, 9999},
        {"1990...1999", Malformed, 0, 9999},
        {"1990..19x9", Malformed, 0, 9999},
        {"", Malformed, 0, 9999},
        {"-199", Malformed, 0, 9999},
    };
    for (const Case& C : Cases) {
        const TYearEntry Entry = ClassifyYearEntry(C.Caption);
        EXPECT_EQ(Entry.Kind, C.Kind) << C.Caption;
        if (C.Kind == Range) {
            EXPECT_EQ(Entry.From, C.From) << C.Caption;
            EXPECT_EQ(Entry.To, C.To) << C.Caption;
        }
    }
}

// A year range decides as a criterion of the Year field; a mask keeps
// matching as a mask; a malformed entry is named in the job.
TEST(YearEntries, RangesDecideInTheCriteria) {
    struct Case {
        std::string Entry;
        std::string Year;
        bool Included;
    };
    const Case Cases[] = {
        {"1990..1999", "1990", true},
        {"1990..1999", "1999", true},
        {"1990..1999", "1989", false},
        {"1990..1999", "2000", false},
        {"..1979", "1066", true},
        {"..1979", "1980", false},
        {"2000..", "2024", true},
        {"2000..", "1999", false},
        {"1990..1990", "1990", true},
        {"1990..1990", "1991", false},
        {"1990..1999", "1995-03-02", false}, // a full date is not four digits
        {"1990..1999", "", false},
        {"199?", "1995", true},
        {"199?", "2005", false},
        {"19*", "1950", true},
    };
    for (const Case& C : Cases) {
        WizardSettings Settings;
        Settings.Criteria[FieldYear] = {{C.Entry, Include}};
        const CriteriaJob Job = SnapshotCriteria(Settings);
        TMediaInfo Info;
        Info.Year = C.Year;
        EXPECT_EQ(EvaluateCriteria(Job, Info), C.Included) << C.Entry << " " << C.Year;
    }
    WizardSettings Settings;
    Settings.Criteria[FieldYear] = {{"1990..1999", Include}, {"19", Exclude}, {"abcd", Ignore}};
    // Ignored entries are not taken, so not reported by the job either.
    EXPECT_EQ(SnapshotCriteria(Settings).MalformedYears, (std::vector<std::string>{"19"}));
    // An exclude range works under the field's rule like any criterion.
    Settings.Criteria[FieldYear] = {{"*", Include}, {"1990..1999", Exclude}};
    Settings.FieldRules[FieldYear] = PrecedenceRule::ExclusionFirst;
    const CriteriaJob Job = SnapshotCriteria(Settings);
    TMediaInfo Nineties, Eighties;
    Nineties.Year = "1994";
    Eighties.Year = "1984";
    EXPECT_FALSE(EvaluateCriteria(Job, Nineties));
    EXPECT_TRUE(EvaluateCriteria(Job, Eighties));
}

namespace {

// A generated library of found files with lengths, sizes and times the test
// decides, so the properties can be checked against them.
struct TGenerated {
    std::vector<TFileInfo> Files;
    std::map<std::string, std::int64_t> Lengths, Sizes, Times;

    TSelectionFacts Facts() const {
        TSelectionFacts Facts;
        Facts.DurationMs = [this](const std::string& Path) { return Lengths.at(Path); };
        Facts.Status = [this](const std::string& Path, std::int64_t& Modified, std::int64_t& Size) {
            Modified = Times.at(Path);
            Size = Sizes.at(Path);
            return true;
        };
        return Facts;
    }
};

TGenerated Generate(std::mt19937& Random, std::size_t Count) {
    static const char* const Artists[] = {"alpha", "Alpha", "bravo", "charlie", "delta", ""};
    static const char* const Albums[] = {"one", "two", "ONE", "three", ""};
    TGenerated G;
    for (std::size_t I = 0; I < Count; ++I) {
        TFileInfo File;
        File.FileName = "/music/f" + std::to_string(I) + ".mp3";
        File.MediaInfo.Artist = Artists[Random() % 6];
        File.MediaInfo.Album = Albums[Random() % 5];
        File.MediaInfo.Title = "t" + std::to_string(Random() % 50);
        File.MediaInfo.Track = std::to_string(1 + Random() % 12);
        G.Lengths[File.FileName] = Random() % 10 == 0 ? -1 : 60000 + Random() % 400000;
        G.Sizes[File.FileName] = 1000000 + Random() % 9000000;
        G.Times[File.FileName] = Random() % 1000;
        G.Files.push_back(std::move(File));
    }
    return G;
}

std::string Folded(std::string Text) {
    for (char& C : Text)
        C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    return Text;
}

} // namespace

// Over many generated sets and selections: every file is either kept once or
// left out once with a reason; the limit is never passed; the caps hold; a
// seed gives the same playlist again; kept files follow the order.
TEST(SelectionProperty, LimitsCapsSeedsAndOrderHold) {
    std::mt19937 Random(20261209);
    const char* const Orders[] = {"",       "Artist, Album, Track", "Track desc, Title", "Shuffle",
                                  "Length", "Modified desc"};
    const char* const Limits[] = {"", "7 files", "20 minutes", "25 MB"};
    const char* const Picks[] = {"first", "random", "newest", "oldest"};
    for (int Round = 0; Round < 300; ++Round) {
        const TGenerated G = Generate(Random, Random() % 60);
        TSelectionTexts Texts;
        Texts.Order = Orders[Random() % 6];
        Texts.Limit = Limits[Random() % 4];
        Texts.Pick = Picks[Random() % 4];
        Texts.Seed = std::to_string(Random());
        Texts.PerArtist = std::to_string(Random() % 4);
        Texts.PerAlbum = std::to_string(Random() % 3);
        const TSelection Selection = Selected(Texts);
        const std::string What = Texts.Order + " | " + Texts.Limit + " | " + Texts.Pick + " | " +
                                 Texts.PerArtist + "/" + Texts.PerAlbum;
        const TSelectionOutcome Out = SelectFiles(Selection, G.Files, G.Facts());

        std::vector<int> Seen(G.Files.size(), 0);
        for (const std::size_t I : Out.Kept)
            ++Seen[I];
        for (const TSelectionLeftOut& Left : Out.LeftOut)
            ++Seen[Left.Index];
        EXPECT_TRUE(std::all_of(Seen.begin(), Seen.end(), [](int N) { return N == 1; })) << What;

        std::int64_t Length = 0, Size = 0;
        std::map<std::string, std::uint32_t> PerArtist, PerAlbum;
        for (const std::size_t I : Out.Kept) {
            const TFileInfo& File = G.Files[I];
            Length += G.Lengths.at(File.FileName);
            Size += G.Sizes.at(File.FileName);
            if (!File.MediaInfo.Artist.empty())
                ++PerArtist[Folded(File.MediaInfo.Artist)];
            if (!File.MediaInfo.Album.empty())
                ++PerAlbum[Folded(File.MediaInfo.Album)];
            if (Selection.Limit.Unit == TLimitUnit::Minutes) {
                EXPECT_GE(G.Lengths.at(File.FileName), 0) << What;
            }
        }
        switch (Selection.Limit.Unit) {
        case TLimitUnit::Files:
            EXPECT_LE(Out.Kept.size(), Selection.Limit.Amount) << What;
            break;
        case TLimitUnit::Minutes:
            EXPECT_LE(Length, static_cast<std::int64_t>(Selection.Limit.Amount) * 60000) << What;
            break;
        case TLimitUnit::Megabytes:
            EXPECT_LE(Size, static_cast<std::int64_t>(Selection.Limit.Amount) * 1000000) << What;
            break;
        case TLimitUnit::None:
            for (const TSelectionLeftOut& Left : Out.LeftOut)
                EXPECT_NE(Left.Kind, TReasonKind::OverLimit) << What;
            break;
        }
        for (const auto& [Artist, N] : PerArtist) {
            if (Selection.PerArtist > 0) {
                EXPECT_LE(N, Selection.PerArtist) << What << " " << Artist;
            }
        }
        for (const auto& [Album, N] : PerAlbum) {
            if (Selection.PerAlbum > 0) {
                EXPECT_LE(N, Selection.PerAlbum) << What << " " << Album;
            }
        }
        // A file left out by a cap is one past it, and its ordinal says so.
        for (const TSelectionLeftOut& Left : Out.LeftOut) {
            if (Left.Kind == TReasonKind::OverArtistCap) {
                EXPECT_EQ(Left.Ordinal, Selection.PerArtist + 1) << What;
            }
            if (Left.Kind == TReasonKind::OverAlbumCap) {
                EXPECT_EQ(Left.Ordinal, Selection.PerAlbum + 1) << What;
            }
        }

        // The same seed, the same playlist.
        const TSelectionOutcome Again = SelectFiles(Selection, G.Files, G.Facts());
        EXPECT_EQ(Again.Kept, Out.Kept) << What;

        // The kept files keep the order asked for.
        if (Texts.Order == std::string("Artist, Album, Track")) {
            for (std::size_t K = 1; K < Out.Kept.size(); ++K) {
                const TMediaInfo& A = G.Files[Out.Kept[K - 1]].MediaInfo;
                const TMediaInfo& B = G.Files[Out.Kept[K]].MediaInfo;
                const auto Key = [](const TMediaInfo& I) {
                    return std::make_tuple(Folded(I.Artist), Folded(I.Album), std::stoi(I.Track));
                };
                EXPECT_LE(Key(A), Key(B)) << What;
            }
        } else if (Texts.Order == std::string("Modified desc")) {
            for (std::size_t K = 1; K < Out.Kept.size(); ++K)
                EXPECT_GE(G.Times.at(G.Files[Out.Kept[K - 1]].FileName),
                          G.Times.at(G.Files[Out.Kept[K]].FileName))
                    << What;
        } else if (Texts.Order[0] == '\0') {
            EXPECT_TRUE(std::is_sorted(Out.Kept.begin(), Out.Kept.end())) << What;
        }
    }
}

// Pick=first takes a prefix of the order: with no caps, the kept files are the
// first files of the ordered list, up to the limit; newest takes the newest.
TEST(SelectionProperty, FirstTakesThePrefixOfTheOrderAndNewestTheNewest) {
    std::mt19937 Random(7);
    for (int Round = 0; Round < 100; ++Round) {
        const TGenerated G = Generate(Random, 1 + Random() % 50);
        const TSelection Whole = Selected({"Artist, Title desc", "", "", "", "", ""});
        const std::vector<std::size_t> Ordered = SelectFiles(Whole, G.Files, G.Facts()).Kept;
        ASSERT_EQ(Ordered.size(), G.Files.size());
        const std::size_t N = 1 + Random() % 20;
        const TSelection Limited =
            Selected({"Artist, Title desc", "", std::to_string(N) + " files", "first", "", ""});
        const std::vector<std::size_t> Kept = SelectFiles(Limited, G.Files, G.Facts()).Kept;
        EXPECT_EQ(Kept, std::vector<std::size_t>(Ordered.begin(),
                                                 Ordered.begin() + std::min(N, Ordered.size())));

        const TSelection Newest =
            Selected({"", "", std::to_string(N) + " files", "newest", "", ""});
        const TSelectionOutcome Out = SelectFiles(Newest, G.Files, G.Facts());
        std::int64_t OldestKept = 1 << 30, NewestLeft = -1;
        for (const std::size_t I : Out.Kept)
            OldestKept = std::min(OldestKept, G.Times.at(G.Files[I].FileName));
        for (const TSelectionLeftOut& Left : Out.LeftOut)
            NewestLeft = std::max(NewestLeft, G.Times.at(G.Files[Left.Index].FileName));
        if (!Out.LeftOut.empty()) {
            EXPECT_GE(OldestKept, NewestLeft);
        }
        // The playlist keeps the walk's order, whatever picked the files.
        EXPECT_TRUE(std::is_sorted(Out.Kept.begin(), Out.Kept.end()));
    }
}

TEST(SelectionProperty, ShuffleIsAPermutationThatTheSeedFixes) {
    std::set<std::vector<std::size_t>> Distinct;
    for (std::uint64_t Seed = 0; Seed < 40; ++Seed) {
        const std::vector<std::size_t> Order = SeededShuffle(30, Seed);
        std::vector<std::size_t> Sorted = Order;
        std::sort(Sorted.begin(), Sorted.end());
        for (std::size_t I = 0; I < Sorted.size(); ++I)
            ASSERT_EQ(Sorted[I], I);
        EXPECT_EQ(SeededShuffle(30, Seed), Order);
        Distinct.insert(Order);
    }
    // 40 seeds over 30! orders: any repeat would mean the seed is not used.
    EXPECT_EQ(Distinct.size(), 40u);
    // Fixed numbers, so a playlist shuffled on one machine is the same on another.
    EXPECT_EQ(SeededShuffle(5, 1), SeededShuffle(5, 1));
    EXPECT_NE(SeededShuffle(8, 1), SeededShuffle(8, 2));
}

// A search over real files under a selection: the found files come in the
// chosen order, and those left out reach DroppedFile with their reasons.
TEST(SelectionSearch, RealFilesComeOrderedAndLeftOutWithReasons) {
    TempDir Dir;
    const auto Tagged = [](const std::string& Artist, const std::string& Title,
                           const std::string& Track) {
        const std::string Frames = tagbytes::TextFrame(3, "TPE1", Artist) +
                                   tagbytes::TextFrame(3, "TIT2", Title) +
                                   tagbytes::TextFrame(3, "TRCK", Track);
        return tagbytes::Tag(3, Frames) + std::string(300, '\x55');
    };
    Dir.write("a.mp3", Tagged("Zed", "z2", "2"));
    Dir.write("b.mp3", Tagged("Amy", "a3", "3"));
    Dir.write("c.mp3", Tagged("Zed", "z1", "1"));
    Dir.write("d.mp3", Tagged("amy", "a1", "1"));
    Dir.write("e.mp3", Tagged("Amy", "a2", "2"));
    Dir.write("f.mp3", Tagged("Bob", "b1", "1"));

    WizardSettings Settings;
    Settings.Folders = {{Dir.str(), CheckState::Checked}};
    Settings.Filenames = {{"*.mp3", CheckState::Checked}};
    Settings.Criteria[FieldTitle] = {{"*", Include}};
    Settings.Selection = {"Artist, Track", "", "3 files", "", "2", ""};
    const CompileJob Job = MakeCompileJob(Settings);
    std::vector<std::string> Found, Dropped;
    SearchHooks Hooks;
    Hooks.FoundFile = [&](const TFileInfo& File) { Found.push_back(File.MediaInfo.Title); };
    Hooks.DroppedFile = [&](const TFileInfo& File) {
        Dropped.push_back(File.MediaInfo.Title + ": " + ReasonText(File.Reason, Job.Criteria));
    };
    for (const std::size_t Threads : {std::size_t{0}, std::size_t{4}}) {
        Found.clear();
        Dropped.clear();
        SearchReaders Readers;
        Readers.Threads = Threads;
        ASSERT_EQ(RunSearch(Job, Hooks, Readers).Outcome, SearchOutcome::Completed);
        // Amy's first two by track, then Bob; Zed comes after the limit.
        EXPECT_EQ(Found, (std::vector<std::string>{"a1", "a2", "b1"}));
        std::sort(Dropped.begin(), Dropped.end());
        EXPECT_EQ(Dropped,
                  (std::vector<std::string>{
                      "a3: Dropped: third file of the artist (at most 2 per artist)",
                      "z1: Dropped: over the 3-file limit", "z2: Dropped: over the 3-file limit"}));
    }
}
