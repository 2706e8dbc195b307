// Reasons: every row of the field and overall rule tables and of the
// acceptance table, said in the terms the user set, the same decision with the
// reason recorded or not, and the lines --explain writes.
#include "engine/Reasons.h"
#include "engine/CompileJob.h"
#include "engine/Criteria.h"

#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using enum CriterionState;
using enum PrecedenceRule;

namespace {

TMediaInfo Song() {
    TMediaInfo Info;
    Info.Title = "Endless Love";
    Info.Artist = "Brass Band";
    Info.Album = "Live";
    Info.Genre = "Rock";
    Info.Year = "1999";
    return Info;
}

const std::vector<std::string> BuiltInOrder = {"Title", "Artist", "Album", "Genre", "Year"};
const std::vector<std::string> ArtistFirst = {"Artist", "Album", "Title", "Genre", "Year"};

} // namespace

TEST(ReasonsTest, EveryRuleTableRowSaysWhatDecided) {
    struct Case {
        const char* Row;
        std::vector<Criterion> Titles, Artists, Years;
        PrecedenceRule TitlesRule, ArtistsRule, OrderRule;
        std::vector<std::string> Order;
        const char* Expected;
    };
    const Criterion LoveIn = {"*love*", Include}, LoveOut = {"*LOVE", Exclude};
    const Criterion BrassOut = {"Brass*", Exclude}, AnyArtistIn = {"*", Include};
    const Criterion NoMatchIn = {"x*", Include}, NoMatchOut = {"x*", Exclude};
    const Case Cases[] = {
        // The field rule table, on titles: each rule with a conflict, with one
        // state matching alone and with nothing matching.
        {"field inclusion first, both match",
         {LoveOut, LoveIn},
         {},
         {},
         InclusionFirst,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Included: Title matches \"*love*\" (include); inclusion of titles takes precedence"},
        {"field inclusion first, exclude alone",
         {NoMatchIn, LoveOut},
         {},
         {},
         InclusionFirst,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: Title matches \"*LOVE\" (exclude)"},
        {"field inclusion first, nothing",
         {NoMatchIn, NoMatchOut},
         {},
         {},
         InclusionFirst,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: no criterion matches the tag"},
        {"field exclusion first, both match",
         {},
         {AnyArtistIn, BrassOut},
         {},
         InclusionFirst,
         ExclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: Artist matches \"Brass*\" (exclude); exclusion of artists takes precedence"},
        {"field exclusion first, include alone",
         {},
         {NoMatchOut, AnyArtistIn},
         {},
         InclusionFirst,
         ExclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Included: Artist matches \"*\" (include)"},
        {"field exclusion first, nothing",
         {},
         {NoMatchOut},
         {},
         InclusionFirst,
         ExclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: no criterion matches the tag"},
        {"field by order, upper one decides",
         {LoveOut, LoveIn},
         {},
         {},
         ByOrder,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: Title matches \"*LOVE\" (exclude)"},
        {"field by order, the first matching",
         {NoMatchOut, LoveIn, LoveOut},
         {},
         {},
         ByOrder,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Included: Title matches \"*love*\" (include)"},
        {"field by order, nothing",
         {NoMatchOut},
         {},
         {},
         ByOrder,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: no criterion matches the tag"},
        // The overall rule table: title votes include, artist exclude.
        {"overall inclusion first, both vote",
         {LoveIn},
         {BrassOut},
         {},
         InclusionFirst,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Included: Title matches \"*love*\" (include); inclusion of media files takes precedence"},
        {"overall inclusion first, excludes alone",
         {},
         {BrassOut},
         {{"1999", Exclude}},
         InclusionFirst,
         InclusionFirst,
         InclusionFirst,
         BuiltInOrder,
         "Dropped: Artist matches \"Brass*\" (exclude)"},
        {"overall exclusion first, both vote",
         {LoveIn},
         {BrassOut},
         {},
         InclusionFirst,
         InclusionFirst,
         ExclusionFirst,
         BuiltInOrder,
         "Dropped: Artist matches \"Brass*\" (exclude); exclusion of media files takes precedence"},
        {"overall exclusion first, includes alone",
         {LoveIn},
         {},
         {{"19??", Include}},
         InclusionFirst,
         InclusionFirst,
         ExclusionFirst,
         BuiltInOrder,
         "Included: Title matches \"*love*\" (include)"},
        {"overall by order, artist above title",
         {LoveIn},
         {BrassOut},
         {},
         InclusionFirst,
         InclusionFirst,
         ByOrder,
         ArtistFirst,
         "Dropped: Artist matches \"Brass*\" (exclude); Artist is evaluated before Title"},
        {"overall by order, title above artist",
         {LoveIn},
         {BrassOut},
         {},
         InclusionFirst,
         InclusionFirst,
         ByOrder,
         BuiltInOrder,
         "Included: Title matches \"*love*\" (include); Title is evaluated before Artist"},
        {"overall by order, one field votes",
         {},
         {BrassOut},
         {},
         InclusionFirst,
         InclusionFirst,
         ByOrder,
         BuiltInOrder,
         "Dropped: Artist matches \"Brass*\" (exclude)"},
        {"every field ignores the file",
         {NoMatchIn},
         {NoMatchOut},
         {},
         InclusionFirst,
         InclusionFirst,
         ByOrder,
         BuiltInOrder,
         "Dropped: no criterion matches the tag"},
        {"a misspelt order entry is passed over",
         {},
         {BrassOut},
         {{"1999", Include}},
         InclusionFirst,
         InclusionFirst,
         ByOrder,
         {"artist", "Year", "Title", "Album", "Genre"},
         "Included: Year matches \"1999\" (include)"},
        // Both rules settle: the field's first, then the overall one.
        {"both levels settle",
         {LoveIn},
         {AnyArtistIn, BrassOut},
         {},
         InclusionFirst,
         ExclusionFirst,
         ExclusionFirst,
         BuiltInOrder,
         "Dropped: Artist matches \"Brass*\" (exclude); exclusion of artists takes precedence; "
         "exclusion of media files takes precedence"},
    };
    for (const Case& C : Cases) {
        SCOPED_TRACE(C.Row);
        CriteriaJob Job;
        Job.Fields[FieldTitle] = {C.Titles, C.TitlesRule};
        Job.Fields[FieldArtist] = {C.Artists, C.ArtistsRule};
        Job.Fields[FieldYear] = {C.Years, InclusionFirst};
        Job.OrderRule = C.OrderRule;
        Job.FieldOrder = C.Order;

        TDecisionReason Reason;
        Reason.FilenameMask = 3; // set by the name test before the criteria; kept
        const bool Included = EvaluateCriteria(Job, Song(), DefaultTagDecoder(), &Reason);
        EXPECT_EQ(EvaluateCriteria(Job, Song()), Included);
        EXPECT_EQ(ReasonIncludes(Reason), Included);
        EXPECT_EQ(ReasonText(Reason, Job), C.Expected);
        EXPECT_EQ(Reason.Tags, TTagRead::Found);
        EXPECT_EQ(Reason.FilenameMask, 3u);
        EXPECT_STREQ(DecisionWord(Reason), Included ? "included" : "dropped");
    }
}

TEST(ReasonsTest, ReasonsWithoutCriteriaAndTheirWords) {
    const CriteriaJob Job;
    const auto Text = [&](TReasonKind Kind, TTagRead Tags) {
        TDecisionReason Reason;
        Reason.Kind = Kind;
        Reason.Tags = Tags;
        return ReasonText(Reason, Job);
    };
    using enum TReasonKind;
    EXPECT_EQ(Text(TaglessIncluded, TTagRead::NotRead),
              "Accepted without tags: Include files for which no media info can be found");
    EXPECT_EQ(Text(TaglessIncluded, TTagRead::NotFound),
              "Accepted without tags: Include files for which no media info can be found");
    EXPECT_EQ(Text(TaglessDropped, TTagRead::NotRead),
              "Dropped: tags not read, and Include files for which no media info can be found "
              "is off");
    EXPECT_EQ(Text(TaglessDropped, TTagRead::NotFound),
              "Dropped: no tag found, and Include files for which no media info can be found "
              "is off");
    EXPECT_EQ(Text(Mp3WithoutTag, TTagRead::NotFound),
              "Dropped: .mp3 without a tag, and Include files for which no media info can be "
              "found is off");
    EXPECT_EQ(Text(NoFilenameMask, TTagRead::NotRead), "Not matched: no filename mask matches");
    EXPECT_EQ(Text(AddedByHand, TTagRead::NotRead), "Added by hand");

    // Indices that do not fit the job (a reason kept past a settings change)
    // still give words, not a crash.
    TDecisionReason Stale;
    Stale.Kind = CriterionIncluded;
    Stale.Field = FieldAlbum;
    Stale.Criterion = 7;
    EXPECT_EQ(ReasonText(Stale, Job), "Included: Album (include)");
    Stale.Field = CriterionFieldCount;
    EXPECT_EQ(ReasonText(Stale, Job), "Included: a criterion");

    EXPECT_STREQ(TagReadWord(TTagRead::NotRead), "not read");
    EXPECT_STREQ(TagReadWord(TTagRead::NotFound), "no tag found");
    EXPECT_STREQ(TagReadWord(TTagRead::Found), "read");
    TDecisionReason Matched;
    Matched.FilenameMask = 1;
    EXPECT_EQ(MatchedMask(Matched, {"*.ogg", "*.mp3"}), "*.mp3");
    Matched.FilenameMask = TDecisionReason::NoIndex;
    EXPECT_EQ(MatchedMask(Matched, {"*.ogg"}), "");
}

namespace {

std::string TaggedWithTitle(const std::string& Title) {
    return tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", Title)) + std::string(64, '\x55');
}

} // namespace

TEST(ReasonsTest, EveryRowOfTheAcceptanceTableAndTheSearchSayTheSame) {
    TempDir Dir;
    const std::string Keep = Dir.write("keep.MP3", TaggedWithTitle("Keep"));
    const std::string Drop = Dir.write("drop.mp3", TaggedWithTitle("Drop"));
    const std::string Plain = Dir.write("plain.mp3", std::string(300, '\x55'));
    const std::string TaggedDat = Dir.write("song.dat", TaggedWithTitle("Drop"));
    const std::string PlainDat = Dir.write("plain.dat", std::string(300, '\x55'));
    Dir.write("other.txt", TaggedWithTitle("Keep")); // no mask matches: never reported

    const std::string Included = "Included: Title matches \"Keep\" (include)";
    const std::string Excluded = "Dropped: Title matches \"Drop\" (exclude)";
    const std::string NoMp3Tag = "Dropped: .mp3 without a tag, and Include files for which no "
                                 "media info can be found is off";
    const std::string Tagless =
        "Accepted without tags: Include files for which no media info can be found";
    const std::string NotRead =
        "Dropped: tags not read, and Include files for which no media info can be found is off";
    const std::string NotFound =
        "Dropped: no tag found, and Include files for which no media info can be found is off";
    struct Row {
        bool Thorough, IncludeTagless;
        std::map<std::string, std::string> Reasons;
    };
    const Row Rows[] = {
        {false,
         false,
         {{Keep, Included},
          {Drop, Excluded},
          {Plain, NoMp3Tag},
          {TaggedDat, NotRead},
          {PlainDat, NotRead}}},
        {false,
         true,
         {{Keep, Included},
          {Drop, Excluded},
          {Plain, Tagless},
          {TaggedDat, Tagless},
          {PlainDat, Tagless}}},
        {true,
         false,
         {{Keep, Included},
          {Drop, Excluded},
          {Plain, NoMp3Tag},
          {TaggedDat, Excluded},
          {PlainDat, NotFound}}},
        {true,
         true,
         {{Keep, Included},
          {Drop, Excluded},
          {Plain, Tagless},
          {TaggedDat, Excluded},
          {PlainDat, Tagless}}},
    };
    for (const Row& R : Rows) {
        SCOPED_TRACE(std::string("thorough ") + (R.Thorough ? "on" : "off") + ", tagless " +
                     (R.IncludeTagless ? "on" : "off"));
        CompileJob Job;
        Job.Folders = {Dir.str()};
        Job.FilenameMasks = {"*.mp3", "*.dat"};
        Job.ThoroughID3Check = R.Thorough;
        Job.IncludeTaglessFiles = R.IncludeTagless;
        Job.Criteria.Fields[FieldTitle].Criteria = {{"Keep", Include}, {"Drop", Exclude}};
        std::map<std::string, std::string> Reasons;
        for (const auto& [Path, Expected] : R.Reasons) {
            TFileInfo Info{Path, {}, 0};
            const bool Accepted = AcceptFile(Job, Info, DefaultTagDecoder());
            EXPECT_EQ(ReasonText(Info.Reason, Job.Criteria), Expected) << Path;
            EXPECT_EQ(ReasonIncludes(Info.Reason), Accepted) << Path;
            EXPECT_EQ(MatchedMask(Info.Reason, Job.FilenameMasks),
                      Path.ends_with(".dat") ? "*.dat" : "*.mp3");
        }
        // The search, with and without reader threads, hands every judged
        // file over with the same reason: kept ones as found, the rest as dropped.
        for (const std::size_t Threads : {std::size_t{0}, SearchReaders::DefaultThreads}) {
            std::map<std::string, std::string> Found, Dropped;
            SearchHooks Hooks;
            Hooks.FoundFile = [&](const TFileInfo& File) {
                Found[File.FileName] = ReasonText(File.Reason, Job.Criteria);
            };
            Hooks.DroppedFile = [&](const TFileInfo& File) {
                Dropped[File.FileName] = ReasonText(File.Reason, Job.Criteria);
            };
            SearchReaders Readers;
            Readers.Threads = Threads;
            ASSERT_EQ(RunSearch(Job, Hooks, Readers).Outcome, SearchOutcome::Completed);
            std::map<std::string, std::string> All = Found;
            All.insert(Dropped.begin(), Dropped.end());
            EXPECT_EQ(All, R.Reasons) << Threads << " readers";
            for (const auto& [Path, Text] : Found)
                EXPECT_TRUE(Text.starts_with("Included") || Text.starts_with("Accepted")) << Path;
            // Without reasons nothing is dropped aloud and the same files are found.
            Job.RecordReasons = false;
            std::size_t DroppedWithout = 0, FoundWithout = 0;
            Hooks.FoundFile = [&](const TFileInfo&) { ++FoundWithout; };
            Hooks.DroppedFile = [&](const TFileInfo&) { ++DroppedWithout; };
            RunSearch(Job, Hooks, Readers);
            EXPECT_EQ(FoundWithout, Found.size());
            EXPECT_EQ(DroppedWithout, 0u);
            Job.RecordReasons = true;
        }
    }
}

TEST(ReasonsTest, ExplainLinesAreOneLineOfTabSeparatedValuesEach) {
    CriteriaJob Job;
    Job.Fields[FieldTitle].Criteria = {{"*\tx", Include}};
    TDecisionReason Reason;
    Reason.Kind = TReasonKind::CriterionIncluded;
    Reason.Tags = TTagRead::Found;
    Reason.Field = FieldTitle;
    Reason.Criterion = 0;
    Reason.FilenameMask = 0;
    EXPECT_EQ(ExplainLine("/m/a\tb\nc\\d\r.mp3", Reason, {"*.mp3"}, Job),
              "/m/a\\tb\\nc\\\\d\\r.mp3\tincluded\t*.mp3\tread\tIncluded: Title matches \"*\\tx\" "
              "(include)\n");
    Reason.Kind = TReasonKind::TaglessDropped;
    Reason.Tags = TTagRead::NotRead;
    EXPECT_EQ(ExplainLine("/m/x.wma", Reason, {"*.mp3"}, Job),
              "/m/x.wma\tdropped\t*.mp3\tnot read\tDropped: tags not read, and Include files for "
              "which no media info can be found is off\n");
    EXPECT_STREQ(ExplainHeader, "path\tdecision\tfilename mask\ttags\treason\n");
}

// Whatever bytes a path holds, the explain file shows them without acting on a
// terminal: controls, direction overrides and bytes that are not UTF-8 are
// escaped as \\xNN; a backslash stays doubled, so the escapes are unambiguous.
TEST(ReasonsTest, ExplainLinesEscapeEveryControlOfAPath) {
    CriteriaJob Job;
    TDecisionReason Reason;
    Reason.Kind = TReasonKind::TaglessDropped;
    Reason.Tags = TTagRead::NotRead;
    Reason.FilenameMask = 0;
    const std::pair<std::string, std::string> Rows[] = {
        {"/m/\x1b]0;owned\x07.mp3", "/m/\\x1B]0;owned\\x07.mp3"},
        {"/m/\x1b[2J\x7f.mp3", "/m/\\x1B[2J\\x7F.mp3"},
        {"/m/c1\xc2\x9b"
         "31m.mp3",
         "/m/c1\\xC2\\x9B31m.mp3"},
        {"/m/\xe2\x80\xae"
         "evil.mp3",
         "/m/\\xE2\\x80\\xAEevil.mp3"},
        {"/m/latin\xe9.mp3", "/m/latin\\xE9.mp3"},
        {"/m/caf\xc3\xa9 \\x1B.mp3", "/m/caf\xc3\xa9 \\\\x1B.mp3"},
        {"/m/tab\there\n.mp3", "/m/tab\\there\\n.mp3"},
    };
    for (const auto& [Path, Shown] : Rows) {
        const std::string Line = ExplainLine(Path, Reason, {"*.mp3"}, Job);
        EXPECT_EQ(Line.substr(0, Line.find('\t')), Shown) << Path;
    }
}
