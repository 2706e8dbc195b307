// Criteria: one field's scan under its rule, the five fields combined under the
// overall rule and field order, the settings snapshot and the adequacy checks.
#include "engine/Criteria.h"
#include "engine/LengthReader.h"
#include "engine/Masks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

using enum CheckState;
using enum CriterionState;
using enum PrecedenceRule;

namespace {

const PrecedenceRule AllRules[] = {InclusionFirst, ExclusionFirst, ByOrder};

const std::vector<std::string> BuiltInOrder = {"Title", "Artist", "Album", "Genre", "Year"};

TMediaInfo SomeInfo() {
    TMediaInfo Info;
    Info.Title = "Endless Love";
    Info.Artist = "The Band";
    Info.Album = "Live";
    Info.Genre = "Rock";
    Info.Year = "1999";
    Info.AlbumArtist = "Various Artists";
    Info.Composer = "J. S. Bach";
    Info.Format = TContentFormat::FLAC;
    return Info;
}

// A job whose fields evaluate to the given states: "*" matches every field text.
CriteriaJob JobWithResults(const std::array<CriterionState, CriterionFieldCount>& Results,
                           PrecedenceRule OrderRule, const std::vector<std::string>& Order) {
    CriteriaJob Job;
    for (int F = 0; F < CriterionFieldCount; ++F)
        if (Results[F] != Ignore)
            Job.Fields[F].Criteria = {{"*", Results[F]}};
    Job.OrderRule = OrderRule;
    Job.FieldOrder = Order;
    return Job;
}

bool Throws(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const EMaskException&) {
        return true;
    }
    return false;
}

} // namespace

TEST(CriteriaTest, FieldRuleTable) {
    struct Case {
        std::vector<Criterion> Criteria;
        CriterionState InclusionFirstResult, ExclusionFirstResult, ByOrderResult;
    };
    const std::vector<Case> Cases = {
        {{}, Ignore, Ignore, Ignore},
        {{{"x*", Include}, {"x*", Exclude}}, Ignore, Ignore, Ignore},
        {{{"*love*", Include}, {"*LOVE", Exclude}}, Include, Exclude, Include},
        {{{"*love", Exclude}, {"endless*", Include}}, Include, Exclude, Exclude},
        {{{"x*", Include}, {"*", Exclude}}, Exclude, Exclude, Exclude},
        {{{"*", Include}, {"x*", Exclude}}, Include, Include, Include},
        {{{"x*", Exclude}, {"e*", Exclude}, {"*", Include}}, Include, Exclude, Exclude},
        {{{"Love", Include}, {"Endless?Love", Include}}, Include, Include, Include},
    };
    for (std::size_t I = 0; I < Cases.size(); ++I) {
        SCOPED_TRACE("case " + std::to_string(I));
        const Case& C = Cases[I];
        EXPECT_EQ(EvaluateField("Endless Love", C.Criteria, InclusionFirst),
                  C.InclusionFirstResult);
        EXPECT_EQ(EvaluateField("Endless Love", C.Criteria, ExclusionFirst),
                  C.ExclusionFirstResult);
        EXPECT_EQ(EvaluateField("Endless Love", C.Criteria, ByOrder), C.ByOrderResult);
    }
}

TEST(CriteriaTest, IgnoreNeverChangesAResult) {
    const std::vector<Criterion> Base = {{"x*", Include}, {"*", Exclude}, {"*e*", Include}};
    for (PrecedenceRule Rule : AllRules) {
        const CriterionState Expected = EvaluateField("Endless Love", Base, Rule);
        for (std::size_t At = 0; At <= Base.size(); ++At) {
            std::vector<Criterion> WithIgnore = Base;
            WithIgnore.insert(WithIgnore.begin() + At, {"*", Ignore});
            EXPECT_EQ(EvaluateField("Endless Love", WithIgnore, Rule), Expected)
                << "rule " << Rule << " ignore at " << At;
        }
        EXPECT_EQ(EvaluateField("Endless Love", {{"*", Ignore}}, Rule), Ignore);
    }
}

TEST(CriteriaTest, FieldTextsAreMatchedWhole) {
    // Years are four-digit criteria; a full date matches none of them.
    EXPECT_EQ(EvaluateField("1999", {{"1999", Include}}, InclusionFirst), Include);
    EXPECT_EQ(EvaluateField("1999-05-03", {{"1999", Include}}, InclusionFirst), Ignore);
    // An empty field is the empty text: a lone star matches it, "?*" does not.
    EXPECT_EQ(EvaluateField("", {{"*", Include}}, InclusionFirst), Include);
    EXPECT_EQ(EvaluateField("", {{"?*", Include}}, InclusionFirst), Ignore);
    // a-z fold, nothing else does.
    EXPECT_EQ(EvaluateField("LOVE song", {{"*love*", Include}}, ByOrder), Include);
    EXPECT_EQ(EvaluateField("Lovely", {{"Love", Include}}, ByOrder), Ignore);
}

TEST(CriteriaTest, MalformedMaskThrowsOnlyWhereTheScanReachesIt) {
    const Criterion Bad = {"[oops", Include};
    // The first criterion decides: the malformed one after it is never compiled.
    EXPECT_FALSE(Throws([&] { EvaluateField("abc", {{"*", Include}, Bad}, InclusionFirst); }));
    EXPECT_FALSE(Throws([&] { EvaluateField("abc", {{"*", Exclude}, Bad}, ExclusionFirst); }));
    EXPECT_FALSE(Throws([&] { EvaluateField("abc", {{"*", Exclude}, Bad}, ByOrder); }));
    // The first matches without deciding, or does not match: the scan goes on.
    EXPECT_TRUE(Throws([&] { EvaluateField("abc", {{"*", Exclude}, Bad}, InclusionFirst); }));
    EXPECT_TRUE(Throws([&] { EvaluateField("abc", {{"*", Include}, Bad}, ExclusionFirst); }));
    EXPECT_TRUE(Throws([&] { EvaluateField("abc", {{"x", Include}, Bad}, ByOrder); }));
    EXPECT_TRUE(Throws([&] { EvaluateField("abc", {Bad, {"*", Include}}, ByOrder); }));
    // An ignored entry is never compiled.
    EXPECT_FALSE(Throws([&] { EvaluateField("abc", {{"[oops", Ignore}}, ByOrder); }));

    // Every field is evaluated even after an earlier one has decided.
    CriteriaJob Job =
        JobWithResults({Include, Ignore, Ignore, Ignore, Ignore}, ByOrder, BuiltInOrder);
    Job.Fields[FieldYear].Criteria = {Bad};
    try {
        EvaluateCriteria(Job, SomeInfo());
        ADD_FAILURE() << "no error for the year criterion";
    } catch (const EMaskException& E) {
        EXPECT_STREQ(E.what(), "'[oops' is an invalid mask at (6)");
    }
    // A field whose name the order does not spell exactly is not evaluated.
    Job.FieldOrder = {"Title", "Artist", "Album", "Genre", "year"};
    EXPECT_TRUE(EvaluateCriteria(Job, SomeInfo()));
}

TEST(CriteriaTest, OverallRuleTableOverEveryCombination) {
    // The combining procedure against the plain statement of each rule, for every
    // combination of field results and a few field orders.
    const std::vector<std::vector<std::string>> Orders = {
        BuiltInOrder,
        {"Year", "Genre", "Album", "Artist", "Title"},
        {"Album", "Title", "Year", "Artist", "Genre"},
    };
    int Included = 0, Checked = 0;
    for (int Code = 0; Code < 243; ++Code) {
        std::array<CriterionState, CriterionFieldCount> Results{};
        Results.fill(Ignore);
        for (int F = 0, C = Code; F < ClassicFieldCount; ++F, C /= 3)
            Results[F] = static_cast<CriterionState>(C % 3);
        const auto Count = [&](CriterionState S) {
            return std::count(Results.begin(), Results.end(), S);
        };
        for (const auto& Order : Orders) {
            CriterionState FirstInOrder = Ignore;
            for (const std::string& Name : Order) {
                const int F =
                    static_cast<int>(std::find(BuiltInOrder.begin(), BuiltInOrder.end(), Name) -
                                     BuiltInOrder.begin());
                if (Results[F] != Ignore) {
                    FirstInOrder = Results[F];
                    break;
                }
            }
            const bool Expected[] = {Count(Include) > 0, Count(Exclude) == 0 && Count(Include) > 0,
                                     FirstInOrder == Include};
            for (PrecedenceRule Rule : AllRules) {
                const bool Got = EvaluateCriteria(JobWithResults(Results, Rule, Order), SomeInfo());
                EXPECT_EQ(Got, Expected[ToStored(Rule)]) << "code " << Code << " rule " << Rule;
                Included += Got;
                ++Checked;
            }
        }
    }
    EXPECT_GT(Included, 0);
    EXPECT_LT(Included, Checked);
}

TEST(CriteriaTest, EachFieldIsComparedWithItsOwnText) {
    const TMediaInfo Info = SomeInfo();
    // Every field of text, the format's name among them.
    const char* Masks[] = {"endless love", "the band", "live",   "rock",
                           "1999",         "various*", "*bach*", "flac"};
    const int TextFields = static_cast<int>(std::size(Masks));
    for (int F = 0; F < TextFields; ++F) {
        CriteriaJob Job;
        Job.Fields[F].Criteria = {{Masks[F], Include}};
        EXPECT_TRUE(EvaluateCriteria(Job, Info)) << CriterionFieldNames[F];
        // The same mask on the next field matches nothing there.
        CriteriaJob Other;
        Other.Fields[(F + 1) % TextFields].Criteria = {{Masks[F], Include}};
        EXPECT_FALSE(EvaluateCriteria(Other, Info)) << CriterionFieldNames[F];
    }
}

TEST(CriteriaTest, SnapshotTakesIncludeAndExcludeEntriesInOrder) {
    WizardSettings Settings;
    Settings.Criteria[FieldTitle] = {
        {"a*", Include}, {"b*", Ignore}, {"c*", Exclude}, {"d*", Include}};
    Settings.Criteria[FieldYear] = {{"1999", Ignore}, {"2000", Include}};
    Settings.FieldRules = {ByOrder, ExclusionFirst, InclusionFirst, InclusionFirst, ExclusionFirst};
    Settings.OrderRule = ByOrder;
    Settings.FieldOrder = {"Year", "genre", "Album", "Artist", "Title"};

    const CriteriaJob Job = SnapshotCriteria(Settings);
    ASSERT_EQ(Job.Fields[FieldTitle].Criteria.size(), 3u);
    EXPECT_EQ(Job.Fields[FieldTitle].Criteria[0].Mask, "a*");
    EXPECT_EQ(Job.Fields[FieldTitle].Criteria[1].Mask, "c*");
    EXPECT_EQ(Job.Fields[FieldTitle].Criteria[1].State, Exclude);
    EXPECT_EQ(Job.Fields[FieldTitle].Criteria[2].Mask, "d*");
    ASSERT_EQ(Job.Fields[FieldYear].Criteria.size(), 1u);
    EXPECT_EQ(Job.Fields[FieldYear].Criteria[0].Mask, "2000");
    EXPECT_TRUE(Job.Fields[FieldArtist].Criteria.empty());
    EXPECT_EQ(Job.IncludeCount, 3);
    EXPECT_EQ(Job.Fields[FieldTitle].Rule, ByOrder);
    EXPECT_EQ(Job.Fields[FieldArtist].Rule, ExclusionFirst);
    EXPECT_EQ(Job.Fields[FieldAlbum].Rule, InclusionFirst);
    EXPECT_EQ(Job.Fields[FieldYear].Rule, ExclusionFirst);
    EXPECT_EQ(Job.OrderRule, ByOrder);
    // The fields the order leaves out follow it in their fixed order; a name
    // in another letter case keeps its field's place.
    std::vector<std::string> Completed = Settings.FieldOrder;
    Completed.insert(Completed.end(), {"Album Artist", "Composer", "Format", "Length", "Modified"});
    EXPECT_EQ(Job.FieldOrder, Completed);
}

TEST(CriteriaTest, SearchAdequacy) {
    EXPECT_STREQ(SearchInadequateMessage, "The search folders and filenames you have specified are "
                                          "inadequate to find any media files.");
    WizardSettings Settings;
    EXPECT_FALSE(SearchAdequate(Settings));
    Settings.Folders = {{"/music", Unchecked}, {"/more", Checked}};
    EXPECT_FALSE(SearchAdequate(Settings)); // no filename mask
    Settings.Filenames = {{"*.mp3", Unchecked}};
    EXPECT_FALSE(SearchAdequate(Settings)); // the only mask is unchecked
    Settings.Filenames.push_back({"*.ogg", Checked});
    EXPECT_TRUE(SearchAdequate(Settings));
    Settings.Folders[1].State = Unchecked;
    EXPECT_FALSE(SearchAdequate(Settings)); // every folder unchecked
}

TEST(CriteriaTest, CriteriaAdequacy) {
    EXPECT_STREQ(CriteriaInadequateMessage, "The media info search criteria you have specified "
                                            "are inadequate to find any media files.");
    WizardSettings Settings;
    EXPECT_FALSE(CriteriaAdequate(Settings));
    Settings.Criteria[FieldTitle] = {{"*", Exclude}, {"*", Ignore}};
    EXPECT_FALSE(CriteriaAdequate(Settings)); // excludes and ignores find nothing
    Settings.IncludeTaglessFiles = true;
    EXPECT_TRUE(CriteriaAdequate(Settings));
    Settings.IncludeTaglessFiles = false;
    Settings.Criteria[FieldYear] = {{"1999", Include}};
    EXPECT_TRUE(CriteriaAdequate(Settings));
}

TEST(CriteriaTest, AFieldOfSeveralValuesMatchesOneOfThemOrAllJoined) {
    TMediaInfo info;
    info.SetValues(TMediaField::Artist, {"Ann Lee", "Bob; Sons", "Cy"});
    ASSERT_EQ(info.Artist, "Ann Lee; Bob; Sons; Cy");
    struct Case {
        const char* Mask;
        CriterionState Expected;
    };
    const Case cases[] = {
        {"Ann Lee", Include},                // the first value
        {"Cy", Include},                     // the last
        {"bob; sons", Include},              // a value that holds the separator itself
        {"Ann Lee; Bob; Sons; Cy", Include}, // all of them joined, as before
        {"Ann*Cy", Include},                 // a mask over the joined text
        {"Bob", Ignore},                     // part of a value is no value
        {"Sons; Cy", Ignore},                // nor are two of three
    };
    for (const Case& c : cases)
        EXPECT_EQ(EvaluateField(info, TMediaField::Artist, {{c.Mask, Include}}, InclusionFirst),
                  c.Expected)
            << c.Mask;
    // Other fields keep their one text; a field of one value has no list.
    info.SetValues(TMediaField::Title, {"Only"});
    EXPECT_EQ(EvaluateField(info, TMediaField::Title, {{"Only", Include}}, ByOrder), Include);
    EXPECT_EQ(info.Values.size(), 3u);

    // Through the whole evaluation: an exclusion of one artist drops the file.
    CriteriaJob job;
    job.Fields[FieldArtist].Criteria = {{"*", Include}, {"cy", Exclude}};
    job.Fields[FieldArtist].Rule = ExclusionFirst;
    job.FieldOrder = {"Title", "Artist", "Album", "Genre", "Year"};
    EXPECT_FALSE(EvaluateCriteria(job, info));
    info.SetValues(TMediaField::Artist, {"Ann Lee", "Bob"});
    EXPECT_TRUE(EvaluateCriteria(job, info));
}

// A range whose ends are the length the list shows holds that length: the
// list and the criteria round alike, whatever the milliseconds.
TEST(CriteriaTest, ALengthAsTheListShowsItIsInTheRangeOfItsOwnText) {
    for (std::int64_t ms = 0; ms < 4'000'000; ms += 977) {
        const std::string shown = FormatLength(ms);
        EXPECT_TRUE(ClassifyLengthEntry(shown + ".." + shown).Holds(LengthSeconds(ms)))
            << ms << " " << shown;
        EXPECT_FALSE(ClassifyLengthEntry(".." + shown).Holds(LengthSeconds(ms) + 1)) << ms;
    }
}

// Length and modification time come from the file, not its tags; what is not
// known matches no entry; the format is its name by content.
TEST(CriteriaTest, LengthModifiedAndFormatCompareTheFileNotItsTags) {
    constexpr std::int64_t Now = 1'700'000'000'000'000'000;
    constexpr std::int64_t Day = 86'400'000'000'000;
    const TFileFacts Unknown{};
    const auto Length = [](std::int64_t Ms) { return TFileFacts{Ms, 0, false}; };
    const auto Modified = [](std::int64_t Ns) { return TFileFacts{-1, Ns, true}; };
    const struct {
        const char* Case;
        int Field;
        CriterionEntry Entry;
        TFileFacts Facts;
        TContentFormat Format;
        bool Included;
    } rows[] = {
        {"2:30.4 shows 2:30", FieldLength, {"..2:30", Include}, Length(150'400), {}, true},
        {"2:30.6 shows 2:31", FieldLength, {"..2:30", Include}, Length(150'600), {}, false},
        {"length not known", FieldLength, {"..2:30", Include}, Unknown, {}, false},
        {"long excluded", FieldLength, {"2:00..", Exclude}, Length(180'000), {}, false},
        {"unknown not excluded", FieldLength, {"2:00..", Exclude}, Unknown, {}, true},
        {"yesterday", FieldModified, {"30 days", Include}, Modified(Now - Day), {}, true},
        {"a month ago", FieldModified, {"30 days", Include}, Modified(Now - 31 * Day), {}, false},
        {"time not known", FieldModified, {"30 days", Include}, Unknown, {}, false},
        {"flac", FieldFormat, {"flac", Include}, Unknown, TContentFormat::FLAC, true},
        {"mp3 is not flac", FieldFormat, {"FLAC", Include}, Unknown, TContentFormat::MP3, false},
        {"unknown format", FieldFormat, {"FLAC", Include}, Unknown, TContentFormat::Unknown, false},
        {"wav pack by mask",
         FieldFormat,
         {"wav*", Include},
         Unknown,
         TContentFormat::WavPack,
         true},
        {"opus excluded", FieldFormat, {"Opus", Exclude}, Unknown, TContentFormat::Opus, false},
    };
    for (const auto& row : rows) {
        WizardSettings Settings;
        Settings.Criteria[row.Field] = {row.Entry};
        // An exclude alone takes nothing: every title is taken, exclusion first.
        if (row.Entry.State == Exclude) {
            Settings.Criteria[FieldTitle] = {{"*", Include}};
            Settings.OrderRule = ExclusionFirst;
        }
        const CriteriaJob Job = SnapshotCriteria(Settings, Now);
        TMediaInfo Info = SomeInfo();
        Info.Format = row.Format;
        TDecisionReason Why;
        EXPECT_EQ(EvaluateCriteria(Job, Info, DefaultTagDecoder(), &Why, &row.Facts), row.Included)
            << row.Case;
        // The deciding field is the one of the row whenever it took the file.
        if (row.Included && row.Entry.State == Include) {
            EXPECT_EQ(Why.Field, row.Field) << row.Case;
        }
        // Without any facts a length or time entry matches nothing.
        if (row.Field != FieldFormat) {
            EXPECT_EQ(EvaluateCriteria(Job, Info), row.Entry.State == Exclude) << row.Case;
        }
    }
}
