#include "engine/Counts.h"

#include "engine/FilePolicy.h"
#include "engine/FolderWalk.h"
#include "engine/Masks.h"
#include "engine/Selection.h"
#include "index/IndexedReads.h"
#include "media/AudioTags.h"
#include "media/ReaderVersion.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

TSnapshotKey SnapshotKeyOf(const WizardSettings& Settings) {
    const CompileJob Job = MakeCompileJob(Settings);
    return {Job.Folders, Job.Recurse, Job.ThoroughID3Check, Job.ReadOtherFormats, Job.TagCodePage};
}

namespace {

// The options of the key as a job, for the questions the acceptance rules
// answer from them alone (which tags a read of a name looks for).
CompileJob KeyJob(const TSnapshotKey& Key) {
    CompileJob Job;
    Job.Folders = Key.Folders;
    Job.Recurse = Key.Recurse;
    Job.ThoroughID3Check = Key.ThoroughID3Check;
    Job.ReadOtherFormats = Key.ReadOtherFormats;
    Job.TagCodePage = Key.TagCodePage;
    return Job;
}

} // namespace

TFolderSnapshot TFolderSnapshot::Take(const TSnapshotKey& Key, TTagIndex* Index,
                                      const TStop& Stop) {
    TFolderSnapshot Snapshot;
    Snapshot.key_ = Key;
    const CompileJob Job = KeyJob(Key);
    std::shared_ptr<const TRememberedFolders> Rows;
    if (Index && Index->Usable())
        Rows = Index->RowsBelow(Key.Folders, Key.TagCodePage, Key.ReadOtherFormats);
    struct EStopped {};
    const std::function<void(TFolderEntry&)> Step = [&](TFolderEntry& Entry) {
        if (Stop && Stop())
            throw EStopped{};
        if (Entry.Type != DT_REG)
            return;
        TFile File;
        File.Path = Entry.Path;
        const TPackedFile* Row = Rows ? Rows->Find(Entry.Path) : nullptr;
        TFileStamp Stamp;
        const bool Stamped =
            Row && StampAt(Entry.FolderFd, Entry.Path.c_str() + Entry.NameOffset, Stamp);
        if (Stamped) {
            File.ModifiedNs = Stamp.ModifiedNs;
            File.ModifiedKnown = true;
        }
        if (Stamped && Row->Stamp == Stamp) {
            if (Row->LengthMs >= -1)
                File.LengthMs = Row->LengthMs;
            if (Row->Sources == static_cast<int>(TagSourcesOf(Job, Entry.Path))) {
                if (!Row->Found)
                    File.Tags = TTags::NotFound;
                else if (UnpackMediaInfo(Row->Fields, File.Info))
                    File.Tags = TTags::Found;
                else
                    File.Info = TMediaInfo{};
            }
        }
        Snapshot.files_.push_back(std::move(File));
    };
    try {
        for (const std::string& Folder : Key.Folders)
            WalkFolder(Folder, Key.Recurse, Step);
        Snapshot.complete_ = true;
    } catch (const EStopped&) {
    }
    return Snapshot;
}

namespace {

bool AnyMaskMatches(const std::vector<std::optional<TMask>>& Masks, const std::string& Path) {
    for (const std::optional<TMask>& Mask : Masks)
        if (Mask && Mask->Matches(Path))
            return true;
    return false;
}

std::vector<std::optional<TMask>> CompileMasks(const std::vector<std::string>& Texts,
                                               TTagDecoder& Decoder,
                                               std::vector<bool>* Malformed = nullptr) {
    std::vector<std::optional<TMask>> Masks(Texts.size());
    if (Malformed)
        Malformed->assign(Texts.size(), false);
    for (std::size_t I = 0; I < Texts.size(); ++I) {
        try {
            Masks[I].emplace(Texts[I], Decoder);
        } catch (const EMaskException&) {
            if (Malformed)
                (*Malformed)[I] = true;
        }
    }
    return Masks;
}

} // namespace

namespace {

// Runs Work(K, Decoder) for every K in [From, To) on a few threads, this one
// among them, each with a decoder of its own. False when Stop ended it (each
// thread finishes the file it is on); every thread has ended on return.
bool OnFewThreads(std::size_t From, std::size_t To, const std::string& CodePage,
                  const std::function<void(std::size_t, TTagDecoder&)>& Work,
                  const TFolderSnapshot::TStop& Stop) {
    std::atomic<std::size_t> Next{From};
    std::atomic<bool> Stopped{false};
    const auto Loop = [&](bool Polls) {
        TTagDecoder Decoder(CodePage);
        for (;;) {
            if (Polls && Stop && Stop())
                Stopped = true;
            if (Stopped)
                return;
            const std::size_t K = Next.fetch_add(1);
            if (K >= To)
                return;
            Work(K, Decoder);
        }
    };
    // Reads that wait for the disk gain from a few in flight; more would
    // only crowd a warm cache.
    const std::size_t Helpers = std::min<std::size_t>(
        (To - From) / 64, std::max(2u, std::thread::hardware_concurrency()) - 1);
    std::vector<std::thread> Threads;
    for (std::size_t T = 0; T < Helpers; ++T)
        Threads.emplace_back(Loop, false);
    Loop(true);
    for (std::thread& Thread : Threads)
        Thread.join();
    return !Stopped;
}

// Files read between two reports of progress (and two safe looks at the
// snapshot by whoever reports it).
constexpr std::size_t FillChunk = 1024;

} // namespace

bool TFolderSnapshot::Fill(const CompileJob& Job, TTagIndex* Index, const TStop& Stop,
                           const std::function<void(std::size_t, std::size_t)>& Progress,
                           const TagReadFunction& Read) {
    return FillTags(Job, Index, Stop, Progress, Read) && FillLengths(Job, Index, Stop);
}

bool TFolderSnapshot::FillTags(const CompileJob& Job, TTagIndex* Index, const TStop& Stop,
                               const std::function<void(std::size_t, std::size_t)>& Progress,
                               const TagReadFunction& Read) {
    TTagDecoder Decoder(Job.TagCodePage);
    const std::vector<std::optional<TMask>> Masks = CompileMasks(Job.FilenameMasks, Decoder);
    std::vector<std::size_t> Tags;
    for (std::size_t I = 0; I < files_.size(); ++I) {
        const TFile& File = files_[I];
        if (File.Tags != TTags::Unknown || !AnyMaskMatches(Masks, File.Path))
            continue;
        auto Matches = [&](std::size_t) { return true; };
        if (JudgeName(Job, File.Path, Matches, nullptr) == TNameVerdict::ReadTags)
            Tags.push_back(I);
    }
    std::optional<TIndexedTagReader> Reader;
    if (Index && Index->Usable())
        Reader.emplace(*Index, Job.Folders, Job.TagCodePage, Job.ReadOtherFormats);
    const auto ReadOne = [&](std::size_t K, TTagDecoder& Own) {
        TFile& File = files_[Tags[K]];
        const TTagSources Sources = TagSourcesOf(Job, File.Path);
        std::int64_t Size = -1;
        TMediaInfo Info;
        const bool Found =
            Read ? Read(AT_FDCWD, File.Path.c_str(), Info, Size)
            : Reader
                ? Reader->ReadAt(AT_FDCWD, File.Path.c_str(), File.Path, Sources, Info, Size, Own)
                : ReadTagsAt(AT_FDCWD, File.Path.c_str(), Sources, Info, Size, Own);
        if (Found)
            File.Info = std::move(Info);
        File.Tags = Size < 0 ? TTags::Unreadable : Found ? TTags::Found : TTags::NotFound;
        TFileStamp Stamp;
        if (Found && !File.ModifiedKnown && StampAt(AT_FDCWD, File.Path.c_str(), Stamp)) {
            File.ModifiedNs = Stamp.ModifiedNs;
            File.ModifiedKnown = true;
        }
    };
    for (std::size_t From = 0; From < Tags.size(); From += FillChunk) {
        const std::size_t To = std::min(Tags.size(), From + FillChunk);
        if (!OnFewThreads(From, To, Job.TagCodePage, ReadOne, Stop))
            return false;
        // No reader runs now: the snapshot may be looked at.
        if (Progress)
            Progress(To, Tags.size());
    }
    return true;
}

bool TFolderSnapshot::FillLengths(const CompileJob& Job, TTagIndex* Index, const TStop& Stop) {
    TTagDecoder Decoder(Job.TagCodePage);
    const std::vector<std::optional<TMask>> Masks = CompileMasks(Job.FilenameMasks, Decoder);
    // The files the job finds by their tags (or their lack of one), and with
    // length entries every tagged file: they are matched against them.
    std::vector<std::size_t> Lengths;
    for (std::size_t I = 0; I < files_.size(); ++I) {
        const TFile& File = files_[I];
        if (File.LengthMs != NotRead || !AnyMaskMatches(Masks, File.Path))
            continue;
        // A file taken by its name alone was never read: the index keeps no
        // row to remember its length in, and its length is not counted.
        auto Matches = [&](std::size_t) { return true; };
        const TNameVerdict Verdict = JudgeName(Job, File.Path, Matches, nullptr);
        bool Wanted = false;
        if (Verdict == TNameVerdict::ReadTags && File.Tags == TTags::Found) {
            const TFileFacts Facts = File.Facts();
            Wanted = Job.Criteria.LengthsListed ||
                     JudgeTags(Job, File.Path, true, File.Info, Decoder, nullptr, &Facts);
        } else if (Verdict == TNameVerdict::ReadTags && File.Tags == TTags::NotFound) {
            Wanted = Job.IncludeTaglessFiles;
        }
        if (Wanted)
            Lengths.push_back(I);
    }
    return OnFewThreads(
        0, Lengths.size(), Job.TagCodePage,
        [&](std::size_t K, TTagDecoder&) {
            files_[Lengths[K]].LengthMs = ReadDurationRemembered(Index, files_[Lengths[K]].Path);
        },
        Stop);
}

namespace {

// The settings' entries behind the job's criteria of one field: the first
// entry with the criterion's mask and state (a later twin never decides).
std::vector<std::size_t> EntriesOfCriteria(const std::vector<Criterion>& Taken,
                                           const std::vector<CriterionEntry>& Entries) {
    std::vector<std::size_t> Of(Taken.size(), Entries.size());
    for (std::size_t C = 0; C < Taken.size(); ++C)
        for (std::size_t E = 0; E < Entries.size(); ++E)
            if (Entries[E].Caption == Taken[C].Mask && Entries[E].State == Taken[C].State) {
                Of[C] = E;
                break;
            }
    return Of;
}

} // namespace

TSearchCounts CountSearch(const TFolderSnapshot& Snapshot, const WizardSettings& Settings) {
    const CompileJob Job = MakeCompileJob(Settings);
    TTagDecoder Decoder(Job.TagCodePage);
    TSearchCounts Counts;

    // Every entry of the Filenames list; the job's masks are its checked ones.
    std::vector<std::string> MaskTexts;
    std::vector<std::size_t> CheckedEntry; // the job's mask -> its entry
    for (std::size_t E = 0; E < Settings.Filenames.size(); ++E) {
        MaskTexts.push_back(Settings.Filenames[E].Caption);
        if (Settings.Filenames[E].State == CheckState::Checked)
            CheckedEntry.push_back(E);
    }
    std::vector<bool> Malformed;
    const std::vector<std::optional<TMask>> Masks = CompileMasks(MaskTexts, Decoder, &Malformed);
    Counts.Masks.resize(MaskTexts.size());
    for (std::size_t E = 0; E < MaskTexts.size(); ++E)
        Counts.Masks[E].Malformed = Malformed[E];

    // Each criterion entry on its own, as an include, to count what it matches.
    std::array<std::vector<std::vector<Criterion>>, CriterionFieldCount> Alone;
    std::array<std::vector<std::size_t>, CriterionFieldCount> EntryOf;
    for (int F = 0; F < CriterionFieldCount; ++F) {
        const std::vector<CriterionEntry>& Entries = Settings.Criteria[F];
        Counts.Criteria[F].resize(Entries.size());
        for (std::size_t E = 0; E < Entries.size(); ++E) {
            // A range matches the values in it, as a compile's does; a length
            // or modified entry of no known form matches nothing.
            Alone[F].push_back({TakeCriterion(F, {Entries[E].Caption, CriterionState::Include},
                                              Job.Criteria.NowNs)});
            if ((F == FieldLength || F == FieldModified) && !Alone[F].back().front().Range.Valid)
                Counts.Criteria[F][E].Malformed = true;
        }
        EntryOf[F] = EntriesOfCriteria(Job.Criteria.Fields[F].Criteria, Entries);
    }

    const std::unordered_set<std::string> Removed(Job.RemovedPaths.begin(), Job.RemovedPaths.end());
    // The entry a criterion's decision is credited to.
    const auto Credit = [&](const TDecisionReason& Reason) {
        if ((Reason.Kind == TReasonKind::CriterionIncluded ||
             Reason.Kind == TReasonKind::CriterionExcluded) &&
            Reason.Field < CriterionFieldCount && Reason.Criterion < EntryOf[Reason.Field].size()) {
            const std::size_t E = EntryOf[Reason.Field][Reason.Criterion];
            if (E < Counts.Criteria[Reason.Field].size())
                ++Counts.Criteria[Reason.Field][E].Decided;
        }
    };
    // The length of a file taken by its name alone is not known (it is
    // never read), whatever an earlier read under other options left.
    const auto Keep = [&](const TFolderSnapshot::TFile& File, const TDecisionReason& Reason) {
        ++Counts.Found;
        if (File.LengthMs >= 0 && Reason.Tags != TTagRead::NotRead) {
            Counts.LengthMs += static_cast<std::uint64_t>(File.LengthMs);
            ++Counts.Lengths;
        }
    };
    // Under a selection (order, limit, caps) the files the criteria took wait
    // for it, in the walk's order, as a compile's do.
    const bool Selecting = Job.Criteria.Selection.Active();
    std::vector<TFileInfo> Selected;
    std::vector<const TFolderSnapshot::TFile*> SelectedFrom;
    std::unordered_set<std::string> Taken;
    std::vector<bool> Matched(MaskTexts.size());
    for (const TFolderSnapshot::TFile& File : Snapshot.Files()) {
        ++Counts.Listed;
        for (std::size_t E = 0; E < Masks.size(); ++E) {
            Matched[E] = Masks[E] && Masks[E]->Matches(File.Path);
            Counts.Masks[E].Matched += Matched[E];
        }
        TDecisionReason Reason;
        const auto JobMaskMatches = [&](std::size_t Index) {
            return static_cast<bool>(Matched[CheckedEntry[Index]]);
        };
        bool Accepted = false;
        switch (JudgeName(Job, File.Path, JobMaskMatches, &Reason)) {
        case TNameVerdict::Rejected:
            break;
        case TNameVerdict::Accepted:
            Accepted = true;
            break;
        case TNameVerdict::ReadTags: {
            ++Counts.Wanted;
            // Neither counted nor decided until its tags (and, for a length
            // criterion, its length) are known.
            if (File.Tags == TFolderSnapshot::TTags::Unknown ||
                (File.Tags == TFolderSnapshot::TTags::Found && Job.Criteria.LengthsListed &&
                 File.LengthMs == TFolderSnapshot::NotRead))
                continue;
            ++Counts.Known;
            if (File.Tags == TFolderSnapshot::TTags::Unreadable)
                break;
            const TFileFacts Facts = File.Facts();
            Accepted = JudgeTags(Job, File.Path, File.Tags == TFolderSnapshot::TTags::Found,
                                 File.Info, Decoder, &Reason, &Facts);
            if (File.Tags != TFolderSnapshot::TTags::Found)
                break;
            for (int F = 0; F < CriterionFieldCount; ++F)
                for (std::size_t E = 0; E < Alone[F].size(); ++E) {
                    TEntryCount& Count = Counts.Criteria[F][E];
                    if (Count.Malformed)
                        continue;
                    try {
                        Count.Matched += EvaluateCriterionField(
                                             F, Alone[F][E], PrecedenceRule::InclusionFirst,
                                             File.Info, &Facts, Decoder) == CriterionState::Include;
                    } catch (const EMaskException&) {
                        Count.Malformed = true;
                    }
                }
            break;
        }
        }
        if (Reason.FilenameMask < CheckedEntry.size())
            ++Counts.Masks[CheckedEntry[Reason.FilenameMask]].Decided;
        // A file the criteria took and a selection may still leave out is
        // credited to its criterion once the selection has kept it.
        if (!Accepted || Removed.contains(File.Path)) {
            Credit(Reason);
            continue;
        }
        // Kept only while added paths wait to be told from found ones.
        if (!Job.AddedPaths.empty())
            Taken.insert(File.Path);
        if (Selecting) {
            // A file taken by its name has no tags in a compile either.
            Selected.push_back(TFileInfo{
                File.Path, Reason.Tags == TTagRead::Found ? File.Info : TMediaInfo{}, 0, Reason});
            SelectedFrom.push_back(&File);
            continue;
        }
        Credit(Reason);
        Keep(File, Reason);
    }
    if (Selecting) {
        std::unordered_map<std::string_view, std::int64_t> Lengths;
        for (const TFolderSnapshot::TFile* File : SelectedFrom)
            Lengths.emplace(File->Path, std::max<std::int64_t>(File->LengthMs, -1));
        TSelectionFacts Facts;
        Facts.CollationLocale = Job.CollationLocale;
        Facts.DurationMs = [&Lengths](const std::string& Path) {
            const auto At = Lengths.find(Path);
            return At == Lengths.end() ? std::int64_t{-1} : At->second;
        };
        const TSelectionOutcome Outcome = SelectFiles(Job.Criteria.Selection, Selected, Facts);
        for (const std::size_t I : Outcome.Kept) {
            Credit(Selected[I].Reason);
            Keep(*SelectedFrom[I], Selected[I].Reason);
        }
    }
    // Files added by hand, once each, while they are still files.
    for (const std::string& Path : Job.AddedPaths) {
        struct stat Info;
        if (Taken.contains(Path) || Removed.contains(Path) || stat(Path.c_str(), &Info) != 0 ||
            !S_ISREG(Info.st_mode))
            continue;
        Taken.insert(Path);
        ++Counts.Found;
    }
    return Counts;
}

TSearchCounts CountSearchNow(const WizardSettings& Settings, TTagIndex* Index) {
    TFolderSnapshot Snapshot = TFolderSnapshot::Take(SnapshotKeyOf(Settings), Index);
    Snapshot.Fill(MakeCompileJob(Settings), Index);
    return CountSearch(Snapshot, Settings);
}

namespace {

// A value as one field of a tab-separated line.
std::string Field(const std::string& Text) {
    std::string Out;
    for (const char C : Text) {
        switch (C) {
        case '\\':
            Out += "\\\\";
            break;
        case '\t':
            Out += "\\t";
            break;
        case '\r':
            Out += "\\r";
            break;
        case '\n':
            Out += "\\n";
            break;
        default:
            Out += C;
        }
    }
    return Out;
}

std::string Line(const std::string& Section, const std::string& Entry, const std::string& State,
                 const TEntryCount& Count) {
    return Field(Section) + '\t' + Field(Entry) + '\t' + State + '\t' +
           (Count.Malformed ? std::string("malformed") : std::to_string(Count.Matched)) + '\t' +
           std::to_string(Count.Decided) + '\n';
}

} // namespace

const char* CountsStateWord(CriterionState State) {
    switch (State) {
    case CriterionState::Include:
        return "include";
    case CriterionState::Exclude:
        return "exclude";
    case CriterionState::Ignore:
        break;
    }
    return "ignore";
}

const char* const CountsHeader = "section\tentry\tstate\tfiles matched\tfiles decided\n";

std::string CountsText(const TSearchCounts& Counts, const WizardSettings& Settings) {
    std::string Text = CountsHeader;
    for (std::size_t E = 0; E < Settings.Filenames.size() && E < Counts.Masks.size(); ++E)
        Text += Line("Filenames", Settings.Filenames[E].Caption,
                     Settings.Filenames[E].State == CheckState::Checked ? "checked" : "unchecked",
                     Counts.Masks[E]);
    for (int F = 0; F < CriterionFieldCount; ++F)
        for (std::size_t E = 0; E < Settings.Criteria[F].size() && E < Counts.Criteria[F].size();
             ++E)
            Text += Line(CriterionListNames[F], Settings.Criteria[F][E].Caption,
                         CountsStateWord(Settings.Criteria[F][E].State), Counts.Criteria[F][E]);
    // What the whole search comes to: the files it would find (and how many
    // files of the folders there are), "counting" until every tag is known.
    const char* State = Counts.Complete() ? "" : "counting";
    Text +=
        std::string("Total\tfiles found\t") + State + '\t' + std::to_string(Counts.Found) + "\t\n";
    Text += std::string("Total\tfiles listed\t") + State + '\t' + std::to_string(Counts.Listed) +
            "\t\n";
    return Text;
}
