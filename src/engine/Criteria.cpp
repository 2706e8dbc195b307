// Deciding from a file's tag fields whether it goes into the playlist, and the
// checks that settings can find anything at all.
#include "engine/Criteria.h"

#include "engine/Masks.h"

#include <algorithm>
#include <array>
#include <ctime>

const char* const SearchInadequateMessage =
    "The search folders and filenames you have specified are inadequate to find any media "
    "files.";
const char* const CriteriaInadequateMessage =
    "The media info search criteria you have specified are inadequate to find any media files.";

namespace {

// Whether State, met while scanning under Rule, ends the scan.
bool Decides(PrecedenceRule Rule, CriterionState State) {
    switch (Rule) {
    case PrecedenceRule::ByOrder:
        return true;
    case PrecedenceRule::ExclusionFirst:
        return State == CriterionState::Exclude;
    case PrecedenceRule::InclusionFirst:
        break;
    }
    return State == CriterionState::Include;
}

// The media-info field compared for each field, in the fixed field order
// (the format, length and modified fields compare none).
constexpr std::array<TMediaField, CriterionFieldCount> FieldMembers = {
    TMediaField::Title, TMediaField::Artist,      TMediaField::Album,    TMediaField::Genre,
    TMediaField::Year,  TMediaField::AlbumArtist, TMediaField::Composer, TMediaField::Title,
    TMediaField::Title, TMediaField::Title};

std::int64_t ClockNowNs() {
    timespec Now{};
    clock_gettime(CLOCK_REALTIME, &Now);
    return static_cast<std::int64_t>(Now.tv_sec) * 1'000'000'000 + Now.tv_nsec;
}

template <class Matches>
CriterionState EvaluateMatches(Matches&& Match, const std::vector<Criterion>& Criteria,
                               PrecedenceRule Rule, TFieldVerdict* Verdict) {
    CriterionState Result = CriterionState::Ignore;
    if (Verdict)
        *Verdict = {};
    for (std::size_t I = 0; I < Criteria.size(); ++I) {
        const Criterion& C = Criteria[I];
        // Ignore entries are not taken into a job; should one be passed in, it
        // still must not change the result.
        if (C.State == CriterionState::Ignore || !Match(C))
            continue;
        if (C.State != Result) {
            // The first criterion that gives a state speaks for the field; a
            // change of state means the rule passed over a matching one.
            if (Verdict)
                *Verdict = {static_cast<std::uint32_t>(I), Result != CriterionState::Ignore};
            Result = C.State;
        }
        if (Decides(Rule, C.State))
            break;
    }
    return Result;
}

// The field a name of the order stands for, -1 for none (a name in another
// letter case included). Called for every name for every file: the one
// candidate is found by the name's length and first letter.
int FieldIndex(const std::string& Name) {
    int Candidate = -1;
    switch (Name.size()) {
    case 4:
        Candidate = FieldYear;
        break;
    case 5:
        Candidate = Name[0] == 'T' ? FieldTitle : Name[0] == 'A' ? FieldAlbum : FieldGenre;
        break;
    case 6:
        Candidate = Name[0] == 'A' ? FieldArtist : Name[0] == 'F' ? FieldFormat : FieldLength;
        break;
    case 8:
        Candidate = Name[0] == 'C' ? FieldComposer : FieldModified;
        break;
    case 12:
        Candidate = FieldAlbumArtist;
        break;
    default:
        return -1;
    }
    return Name == CriterionFieldNames[static_cast<std::size_t>(Candidate)] ? Candidate : -1;
}

bool AnyChecked(const std::vector<CheckEntry>& Entries) {
    return std::any_of(Entries.begin(), Entries.end(),
                       [](const CheckEntry& E) { return E.State == CheckState::Checked; });
}

} // namespace

TMediaField CriterionMediaField(int Field) {
    return FieldMembers[static_cast<std::size_t>(Field)];
}

Criterion TakeCriterion(int F, const CriterionEntry& Entry, std::int64_t NowNs) {
    Criterion Taken{Entry.Caption, Entry.State};
    if (F == FieldYear)
        Taken.Years = ClassifyYearEntry(Entry.Caption);
    else if (F == FieldLength)
        Taken.Range = ClassifyLengthEntry(Entry.Caption);
    else if (F == FieldModified)
        Taken.Range = ClassifyModifiedEntry(Entry.Caption, NowNs);
    return Taken;
}

CriteriaJob SnapshotCriteria(const WizardSettings& Settings, std::int64_t NowNs) {
    CriteriaJob Job;
    Job.NowNs = NowNs < 0 ? ClockNowNs() : NowNs;
    for (int F = 0; F < CriterionFieldCount; ++F) {
        FieldCriteria& Field = Job.Fields[F];
        // Only Include and Exclude take part.
        for (const CriterionEntry& Entry : Settings.Criteria[F]) {
            if (Entry.State == CriterionState::Ignore)
                continue;
            Criterion Taken = TakeCriterion(F, Entry, Job.NowNs);
            if (F == FieldYear && Taken.Years.Kind == TYearEntryKind::Malformed)
                Job.MalformedYears.push_back(Entry.Caption);
            Field.Criteria.push_back(std::move(Taken));
            if (Entry.State == CriterionState::Include)
                ++Job.IncludeCount;
        }
        Field.Rule = Settings.FieldRules[F];
    }
    Job.LengthsListed = !Settings.Criteria[FieldLength].empty();
    Job.OrderRule = Settings.OrderRule;
    Job.FieldOrder = CompleteFieldOrder(Settings.FieldOrder);
    Job.Selection = ReadSelection(Settings.Selection, &Job.SelectionProblems);
    return Job;
}

CriterionState EvaluateField(const std::string& Text, const std::vector<Criterion>& Criteria,
                             PrecedenceRule Rule, TTagDecoder& Decoder, TFieldVerdict* Verdict) {
    return EvaluateMatches(
        [&](const Criterion& C) {
            if (C.Years.Kind == TYearEntryKind::Range)
                return YearInRange(Text, C.Years);
            return MatchWildcard(Text, C.Mask, Decoder);
        },
        Criteria, Rule, Verdict);
}

CriterionState EvaluateField(const TMediaInfo& Info, TMediaField Field,
                             const std::vector<Criterion>& Criteria, PrecedenceRule Rule,
                             TTagDecoder& Decoder, TFieldVerdict* Verdict) {
    return EvaluateMatches(
        [&](const Criterion& C) {
            if (C.Years.Kind == TYearEntryKind::Range)
                return Info.AnyText(
                    Field, [&](const std::string& Text) { return YearInRange(Text, C.Years); });
            // The joined text is tried first, so a malformed mask fails on
            // it as for a field of one value.
            return Info.AnyText(Field, [&](const std::string& Text) {
                return MatchWildcard(Text, C.Mask, Decoder);
            });
        },
        Criteria, Rule, Verdict);
}

CriterionState EvaluateCriterionField(int F, const std::vector<Criterion>& Criteria,
                                      PrecedenceRule Rule, const TMediaInfo& Info,
                                      const TFileFacts* Facts, TTagDecoder& Decoder,
                                      TFieldVerdict* Verdict) {
    switch (F) {
    case FieldFormat:
        return EvaluateField(ContentFormatName(Info.Format), Criteria, Rule, Decoder, Verdict);
    case FieldLength: {
        const bool Known = Facts && Facts->LengthMs >= 0;
        const std::int64_t Seconds = Known ? LengthSeconds(Facts->LengthMs) : 0;
        return EvaluateMatches([&](const Criterion& C) { return Known && C.Range.Holds(Seconds); },
                               Criteria, Rule, Verdict);
    }
    case FieldModified: {
        const bool Known = Facts && Facts->ModifiedKnown;
        return EvaluateMatches(
            [&](const Criterion& C) { return Known && C.Range.Holds(Facts->ModifiedNs); }, Criteria,
            Rule, Verdict);
    }
    default:
        return EvaluateField(Info, FieldMembers[static_cast<std::size_t>(F)], Criteria, Rule,
                             Decoder, Verdict);
    }
}

CriterionState EvaluateCriterionField(const CriteriaJob& Job, int F, const TMediaInfo& Info,
                                      const TFileFacts* Facts, TTagDecoder& Decoder,
                                      TFieldVerdict* Verdict) {
    const FieldCriteria& Field = Job.Fields[static_cast<std::size_t>(F)];
    return EvaluateCriterionField(F, Field.Criteria, Field.Rule, Info, Facts, Decoder, Verdict);
}

bool EvaluateCriteria(const CriteriaJob& Job, const TMediaInfo& MediaInfo, TTagDecoder& Decoder,
                      TDecisionReason* Reason, const TFileFacts* Facts) {
    // Every position is evaluated even after one has decided, so a malformed mask
    // in any field ends the run whatever the other fields say.
    bool Decided = false;
    bool SawInclude = false, SawExclude = false;
    CriterionState Deciding = CriterionState::Ignore; // the remembered state until one decides
    if (Reason) {
        Reason->Field = Reason->Against = TDecisionReason::NoField;
        Reason->Criterion = TDecisionReason::NoIndex;
        Reason->Flags = 0;
    }
    for (const std::string& Name : Job.FieldOrder) {
        const int F = FieldIndex(Name);
        if (F < 0)
            continue; // a name in another letter case evaluates to Ignore
        if (Job.Fields[F].Criteria.empty())
            continue;
        TFieldVerdict Verdict;
        const CriterionState Result =
            EvaluateCriterionField(Job, F, MediaInfo, Facts, Decoder, Reason ? &Verdict : nullptr);
        if (Result == CriterionState::Ignore)
            continue;
        (Result == CriterionState::Include ? SawInclude : SawExclude) = true;
        if (Decided) {
            if (Reason && Result != Deciding && Reason->Against == TDecisionReason::NoField)
                Reason->Against = static_cast<std::uint8_t>(F);
            continue;
        }
        if (Result != Deciding && Reason) {
            // The first field that gives the state speaks for the file.
            Reason->Field = static_cast<std::uint8_t>(F);
            Reason->Criterion = Verdict.Criterion;
            Reason->Flags = Verdict.RuleSettled ? TDecisionReason::FieldRuleSettled : 0;
        }
        Deciding = Result;
        Decided = Decides(Job.OrderRule, Result);
    }
    if (Reason) {
        Reason->Tags = TTagRead::Found;
        Reason->Kind = Deciding == CriterionState::Include   ? TReasonKind::CriterionIncluded
                       : Deciding == CriterionState::Exclude ? TReasonKind::CriterionExcluded
                                                             : TReasonKind::NoCriterionMatched;
        if (SawInclude && SawExclude)
            Reason->Flags |= TDecisionReason::OrderRuleSettled;
    }
    return Deciding == CriterionState::Include;
}

bool SearchAdequate(const WizardSettings& Settings) {
    return AnyChecked(Settings.Folders) && AnyChecked(Settings.Filenames);
}

bool CriteriaAdequate(const WizardSettings& Settings) {
    if (Settings.IncludeTaglessFiles)
        return true;
    for (const auto& List : Settings.Criteria)
        for (const CriterionEntry& Entry : List)
            if (Entry.State == CriterionState::Include)
                return true;
    return false;
}
