// The counts agree with what a real compile decides: over random libraries and
// random rules, each entry's matched and decided files equal those derived
// from the reasons of a compile of the same search, with and without the tag
// index, before and after the library changes.
#include "engine/Counts.h"
#include "engine/Criteria.h"
#include "engine/Masks.h"
#include "index/TagIndex.h"
#include "media/AudioTags.h"

#include "support/AudioBytes.h"
#include "support/TagBytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace {

const char* const Words[] = {"Love", "Night", "Blue", "Rain", "Gold"};
const char* const Extensions[] = {".mp3", ".mp3", ".mp3", ".txt", ".flac", ".MP3"};

std::string RandomTag(std::mt19937& Random) {
    const auto Word = [&] { return std::string(Words[Random() % 5]); };
    switch (Random() % 5) {
    case 0:
        return std::string(80, '\x11'); // no tag
    case 1: {
        tagbytes::V1 Fields;
        Fields.Title = Word() + " song";
        Fields.Artist = Word();
        return std::string(120, '\x55') + tagbytes::V1Block(Fields);
    }
    default: {
        std::string Frames = tagbytes::TextFrame(3, "TIT2", Word() + " " + Word()) +
                             tagbytes::TextFrame(3, "TPE1", Word() + " Band") +
                             tagbytes::TextFrame(3, "TALB", Word());
        if (Random() % 2)
            Frames += tagbytes::TextFrame(3, "TCON", Random() % 2 ? "Rock" : "Jazz");
        Frames += tagbytes::TextFrame(3, "TYER", std::to_string(1990 + Random() % 20));
        if (Random() % 3 == 0)
            Frames += tagbytes::TextFrame(3, "TPE2", Word() + " Band");
        if (Random() % 3 == 0)
            Frames += tagbytes::TextFrame(3, "TCOM", Word());
        // Audio of a stated length now and then: 1:18 or 3:55.
        if (Random() % 2)
            return tagbytes::Tag(3, Frames) + audiobytes::XingFrame(Random() % 2 ? 3000 : 9000) +
                   audiobytes::MpegFrames(2);
        return tagbytes::Tag(3, Frames) + std::string(64, '\x55');
    }
    }
}

void AddFiles(const TempDir& Dir, std::mt19937& Random, int Files, int Serial) {
    for (int K = 0; K < Files; ++K) {
        const std::string Folder = "d" + std::to_string(Random() % 3) +
                                   (Random() % 2 ? "/s" + std::to_string(Random() % 2) : "");
        const std::string Name = Folder + "/f" + std::to_string(Serial) + "-" + std::to_string(K) +
                                 Extensions[Random() % 6];
        Dir.write(Name, RandomTag(Random));
        // Some files were last written long ago (June 2010).
        if (Random() % 3 == 0) {
            const timespec Times[2] = {{1275350400, 0}, {1275350400, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, (Dir.path() / Name).c_str(), Times, 0), 0);
        }
    }
}

WizardSettings RandomSettings(std::mt19937& Random, const std::string& Folder) {
    WizardSettings Settings;
    Settings.Folders = {{Folder, CheckState::Checked}};
    Settings.Recurse = Random() % 4 != 0;
    Settings.ThoroughID3Check = Random() % 3 == 0;
    Settings.IncludeTaglessFiles = Random() % 2 == 0;
    const char* const FileMasks[] = {"*.mp3", "*.txt", "*s0*", "*.flac", "*f1*"};
    for (const char* Mask : FileMasks)
        if (Random() % 2)
            Settings.Filenames.push_back(
                {Mask, Random() % 4 ? CheckState::Checked : CheckState::Unchecked});
    const std::vector<const char*> TextMasks = {"*Love*", "*o*", "Rain*",      "*Band", "Rock",
                                                "199?",   "*",   "1995..2003", "..1994"};
    // The fields of the More criteria page, now and then, with their own forms
    // (and one malformed entry each for lengths and times).
    const std::vector<const char*> FormatMasks = {"MP3", "FLAC", "*", "M*"};
    const std::vector<const char*> LengthRanges = {"..2:30", "0:00..", "1:00..9:00", "2:30"};
    const std::vector<const char*> ModifiedEntries = {"30 days", "2000-01-01..",
                                                      "2009-01-01..2011-12-31", "soon"};
    for (int F = 0; F < CriterionFieldCount; ++F) {
        const std::vector<const char*>& Pool = F == FieldFormat     ? FormatMasks
                                               : F == FieldLength   ? LengthRanges
                                               : F == FieldModified ? ModifiedEntries
                                                                    : TextMasks;
        const int Most = F < ClassicFieldCount ? 4 : Random() % 3 == 0 ? 3 : 0;
        for (int E = Most ? Random() % Most : 0; E > 0; --E)
            Settings.Criteria[F].push_back(
                {Pool[Random() % Pool.size()], static_cast<CriterionState>(Random() % 3)});
        Settings.FieldRules[F] = static_cast<PrecedenceRule>(Random() % 2);
    }
    if (Random() % 2)
        std::shuffle(Settings.FieldOrder.begin(), Settings.FieldOrder.end(), Random);
    Settings.OrderRule = static_cast<PrecedenceRule>(Random() % 3);
    // Now and then a selection: its caps and limit leave files out after the
    // criteria took them, as a compile's do.
    if (Random() % 3 == 0) {
        const char* const Limits[] = {"", "7 files", "3 files"};
        const char* const Picks[] = {"first", "random", "newest"};
        Settings.Selection.Order = Random() % 2 ? "Artist, Title desc" : "Shuffle";
        Settings.Selection.Seed = std::to_string(Random() % 1000);
        Settings.Selection.Limit = Limits[Random() % 3];
        Settings.Selection.Pick = Picks[Random() % 3];
        Settings.Selection.PerArtist = Random() % 2 ? "2" : "";
    }
    return Settings;
}

// The counts a compile's reasons give: the decided files of each entry, and
// the matched ones of each criterion entry from the tags the compile read.
TSearchCounts FromCompile(const WizardSettings& Settings, const std::shared_ptr<TTagIndex>& Index) {
    const CompileJob Job = MakeCompileJob(Settings);
    TSearchCounts Counts;
    Counts.Masks.resize(Settings.Filenames.size());
    for (int F = 0; F < CriterionFieldCount; ++F)
        Counts.Criteria[F].resize(Settings.Criteria[F].size());
    std::vector<std::size_t> Checked;
    for (std::size_t E = 0; E < Settings.Filenames.size(); ++E)
        if (Settings.Filenames[E].State == CheckState::Checked)
            Checked.push_back(E);
    const auto Note = [&](const TFileInfo& File) {
        const TDecisionReason& Why = File.Reason;
        if (Why.FilenameMask < Checked.size())
            ++Counts.Masks[Checked[Why.FilenameMask]].Decided;
        if (Why.Kind == TReasonKind::CriterionIncluded ||
            Why.Kind == TReasonKind::CriterionExcluded) {
            const Criterion& C = Job.Criteria.Fields[Why.Field].Criteria[Why.Criterion];
            const std::vector<CriterionEntry>& Entries = Settings.Criteria[Why.Field];
            for (std::size_t E = 0; E < Entries.size(); ++E)
                if (Entries[E].Caption == C.Mask && Entries[E].State == C.State) {
                    ++Counts.Criteria[Why.Field][E].Decided;
                    break;
                }
        }
        if (Why.Tags != TTagRead::Found)
            return;
        // The file's length and time, read here on their own.
        struct stat Status {};
        const bool Stated = stat(File.FileName.c_str(), &Status) == 0;
        const std::int64_t LengthMs = ReadDurationMs(File.FileName);
        const std::int64_t ModifiedNs =
            static_cast<std::int64_t>(Status.st_mtim.tv_sec) * 1'000'000'000 +
            Status.st_mtim.tv_nsec;
        for (int F = 0; F < CriterionFieldCount; ++F)
            for (std::size_t E = 0; E < Settings.Criteria[F].size(); ++E) {
                const std::string& Caption = Settings.Criteria[F][E].Caption;
                bool Matches = false;
                if (F == FieldLength)
                    Matches = LengthMs >= 0 &&
                              ClassifyLengthEntry(Caption).Holds(LengthSeconds(LengthMs));
                else if (F == FieldModified)
                    Matches = Stated &&
                              ClassifyModifiedEntry(Caption, Job.Criteria.NowNs).Holds(ModifiedNs);
                else if (F == FieldFormat)
                    Matches = MatchWildcard(ContentFormatName(File.MediaInfo.Format), Caption);
                else
                    Matches = File.MediaInfo.AnyText(
                        CriterionMediaField(F), [&](const std::string& Text) {
                            const TYearEntry Years = ClassifyYearEntry(Caption);
                            return F == FieldYear && Years.Kind == TYearEntryKind::Range
                                       ? YearInRange(Text, Years)
                                       : MatchWildcard(Text, Caption);
                        });
                Counts.Criteria[F][E].Matched += Matches;
            }
    };
    SearchHooks Hooks;
    Hooks.FoundFile = [&](const TFileInfo& File) {
        ++Counts.Found;
        Note(File);
    };
    Hooks.DroppedFile = Note;
    SearchReaders Readers;
    Readers.Index = Index;
    EXPECT_EQ(RunSearch(Job, Hooks, Readers).Outcome, SearchOutcome::Completed);
    if (Index)
        Index->Flush();
    return Counts;
}

// What a compile cannot tell (the paths each mask matches, the listing) is
// compared by hand; the rest must be equal.
void ExpectAgree(const TSearchCounts& Counted, const TSearchCounts& Compiled,
                 const TFolderSnapshot& Snapshot, const WizardSettings& Settings,
                 const std::string& Where) {
    ASSERT_TRUE(Counted.Complete()) << Where;
    EXPECT_EQ(Counted.Found, Compiled.Found) << Where;
    EXPECT_EQ(Counted.Listed, Snapshot.Files().size()) << Where;
    for (std::size_t E = 0; E < Settings.Filenames.size(); ++E) {
        std::uint64_t Paths = 0;
        for (const TFolderSnapshot::TFile& File : Snapshot.Files())
            Paths += MatchWildcard(File.Path, Settings.Filenames[E].Caption);
        EXPECT_EQ(Counted.Masks[E].Matched, Paths) << Where << " mask " << E;
        EXPECT_EQ(Counted.Masks[E].Decided, Compiled.Masks[E].Decided) << Where << " mask " << E;
    }
    for (int F = 0; F < CriterionFieldCount; ++F)
        for (std::size_t E = 0; E < Settings.Criteria[F].size(); ++E) {
            EXPECT_EQ(Counted.Criteria[F][E].Matched, Compiled.Criteria[F][E].Matched)
                << Where << " field " << F << " entry " << E;
            EXPECT_EQ(Counted.Criteria[F][E].Decided, Compiled.Criteria[F][E].Decided)
                << Where << " field " << F << " entry " << E;
        }
}

} // namespace

void PrintTo(const TEntryCount& Count, std::ostream* Out) {
    *Out << Count.Matched << "/" << Count.Decided << (Count.Malformed ? " malformed" : "");
}

void PrintTo(const TSearchCounts& Counts, std::ostream* Out) {
    *Out << "listed " << Counts.Listed << " wanted " << Counts.Wanted << " known " << Counts.Known
         << " found " << Counts.Found << " masks";
    for (const TEntryCount& Count : Counts.Masks) {
        *Out << ' ';
        PrintTo(Count, Out);
    }
    for (const auto& Field : Counts.Criteria) {
        *Out << " |";
        for (const TEntryCount& Count : Field) {
            *Out << ' ';
            PrintTo(Count, Out);
        }
    }
}

TEST(Counts, AgreeWithACompileOverRandomLibrariesRulesAndChanges) {
    for (unsigned Seed = 1; Seed <= 12; ++Seed) {
        std::mt19937 Random(Seed);
        TempDir Library, Cache;
        AddFiles(Library, Random, 40, 0);
        TTagIndexOptions Options;
        Options.RecentNs = 0; // remember the files this test has just written
        auto Index = std::make_shared<TTagIndex>(Cache.str() + "/index.sqlite", nullptr, Options);
        for (int Round = 0; Round < 3; ++Round) {
            const WizardSettings Settings = RandomSettings(Random, Library.str());
            const std::string Where =
                "seed " + std::to_string(Seed) + " round " + std::to_string(Round);
            // The index as the compile before this one left it, then filled.
            TFolderSnapshot Snapshot = TFolderSnapshot::Take(SnapshotKeyOf(Settings), Index.get());
            ASSERT_TRUE(Snapshot.Complete());
            ASSERT_TRUE(Snapshot.Fill(MakeCompileJob(Settings), Index.get()));
            const TSearchCounts Counted = CountSearch(Snapshot, Settings);
            const TSearchCounts Compiled = FromCompile(Settings, Index);
            ExpectAgree(Counted, Compiled, Snapshot, Settings, Where);
            // Without the index: the same counts.
            TFolderSnapshot Plain = TFolderSnapshot::Take(SnapshotKeyOf(Settings), nullptr);
            ASSERT_TRUE(Plain.Fill(MakeCompileJob(Settings), nullptr));
            EXPECT_EQ(CountSearch(Plain, Settings), Counted) << Where;
            // Now the index answers everything the compile read.
            TFolderSnapshot Again = TFolderSnapshot::Take(SnapshotKeyOf(Settings), Index.get());
            EXPECT_EQ(CountSearch(Again, Settings), Counted) << Where << " from the index alone";
            // Changes: files added, one removed, one retagged.
            AddFiles(Library, Random, 5, Round + 1);
            std::vector<fs::path> Files;
            for (const auto& Entry : fs::recursive_directory_iterator(Library.path()))
                if (Entry.is_regular_file())
                    Files.push_back(Entry.path());
            std::sort(Files.begin(), Files.end());
            fs::remove(Files[Random() % Files.size()]);
            Files.erase(std::remove_if(Files.begin(), Files.end(),
                                       [](const fs::path& P) { return !fs::exists(P); }),
                        Files.end());
            Library.write(fs::relative(Files[Random() % Files.size()], Library.path()).string(),
                          RandomTag(Random));
        }
    }
}

// Before the tags are read, a file the masks ask for is neither counted nor
// decided, and the counts say how far they are; a malformed mask matches
// nothing and is marked; prunes count as a compile counts them.
TEST(Counts, UnknownTagsMalformedMasksAndPrunes) {
    TempDir Library, Elsewhere;
    const std::string Song = tagbytes::Tag(3, tagbytes::TextFrame(3, "TIT2", "Love Song") +
                                                  tagbytes::TextFrame(3, "TPE1", "Band"));
    Library.write("a.mp3", Song);
    const std::string B = Library.write("b.mp3", Song);
    Library.write("c.txt", "text");
    const std::string Outside = Elsewhere.write("added.mp3", Song);
    WizardSettings Settings;
    Settings.Folders = {{Library.str(), CheckState::Checked}};
    Settings.Filenames = {{"*.mp3", CheckState::Checked},
                          {"[z", CheckState::Checked},
                          {"*.txt", CheckState::Unchecked}};
    Settings.Criteria[FieldTitle] = {{"*Love*", CriterionState::Include},
                                     {"*Song", CriterionState::Ignore},
                                     {"*Hate*", CriterionState::Exclude}};
    // Length entries: the files have no stated length, so a range matches
    // nothing; one of no known form is marked. Both wait for the lengths.
    Settings.Criteria[FieldLength] = {{"0:00..", CriterionState::Ignore},
                                      {"3 min", CriterionState::Ignore}};
    Settings.RemovedPaths = {B};
    Settings.AddedPaths = {Outside, Library.str() + "/gone.mp3"};

    TFolderSnapshot Snapshot = TFolderSnapshot::Take(SnapshotKeyOf(Settings), nullptr);
    const TSearchCounts Before = CountSearch(Snapshot, Settings);
    EXPECT_EQ(Before.Listed, 3u);
    EXPECT_EQ(Before.Wanted, 2u);
    EXPECT_EQ(Before.Known, 0u);
    EXPECT_FALSE(Before.Complete());
    EXPECT_EQ(Before.Criteria[FieldTitle][0], TEntryCount{});
    EXPECT_EQ(Before.Found, 1u); // only the file added by hand

    ASSERT_TRUE(Snapshot.FillTags(MakeCompileJob(Settings), nullptr));
    const TSearchCounts Tagged = CountSearch(Snapshot, Settings);
    EXPECT_FALSE(Tagged.Complete()) << "the lengths are not read yet";
    EXPECT_EQ(Tagged.Known, 0u);
    ASSERT_TRUE(Snapshot.FillLengths(MakeCompileJob(Settings), nullptr));
    const TSearchCounts After = CountSearch(Snapshot, Settings);
    EXPECT_TRUE(After.Complete());
    EXPECT_EQ(After.Criteria[FieldLength][0], (TEntryCount{0, 0, false}));
    EXPECT_EQ(After.Criteria[FieldLength][1], (TEntryCount{0, 0, true}));
    EXPECT_EQ(After.Masks[0], (TEntryCount{2, 2, false}));
    EXPECT_EQ(After.Masks[1], (TEntryCount{0, 0, true}));
    EXPECT_EQ(After.Masks[2], (TEntryCount{1, 0, false})); // unchecked: matches, decides nothing
    EXPECT_EQ(After.Criteria[FieldTitle][0], (TEntryCount{2, 2, false}));
    EXPECT_EQ(After.Criteria[FieldTitle][1], (TEntryCount{2, 0, false})); // ignore: matches only
    EXPECT_EQ(After.Criteria[FieldTitle][2], (TEntryCount{0, 0, false}));
    EXPECT_EQ(After.Found, 2u); // a.mp3 and the added file; b.mp3 was removed by hand

    const std::string Text = CountsText(After, Settings);
    EXPECT_NE(Text.find("Filenames\t*.mp3\tchecked\t2\t2\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("Filenames\t[z\tchecked\tmalformed\t0\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("Titles\t*Song\tignore\t2\t0\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("Total\tfiles found\t\t2\t\n"), std::string::npos) << Text;
    EXPECT_NE(Text.find("Lengths\t3 min\tignore\tmalformed\t0\n"), std::string::npos) << Text;
}
