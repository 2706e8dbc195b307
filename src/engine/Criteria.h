// Criteria evaluation: per-field include/exclude/ignore masks with a precedence
// rule, combined over the five fields by the overall rule and field order; and
// the adequacy tests the Summary page runs.
#pragma once

#include "engine/Reasons.h"
#include "media/MediaUtils.h"
#include "model/FieldEntries.h"
#include "model/Selection.h"
#include "model/WizardSettings.h"
#include "model/YearEntries.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One entry taken into a compile run (Include or Exclude; Ignore entries are not taken).
struct Criterion {
    std::string Mask;
    CriterionState State = CriterionState::Include;
    // A year criterion written as a range ("1990..1999") matches the years
    // in it instead of being matched as a mask.
    TYearEntry Years{};
    // A length (seconds) or modified (nanoseconds since 1970) criterion: the
    // values it matches; one of no known form matches nothing.
    TValueRange Range{};
};

// What a file shows beyond its tags, for the length and modified criteria.
struct TFileFacts {
    std::int64_t LengthMs = -1; // -1: not known
    std::int64_t ModifiedNs = 0;
    bool ModifiedKnown = false;
};

struct FieldCriteria {
    std::vector<Criterion> Criteria;
    PrecedenceRule Rule = PrecedenceRule::InclusionFirst;
};

// The criteria part of a compile job.
struct CriteriaJob {
    std::array<FieldCriteria, CriterionFieldCount> Fields; // indexed by CriterionField
    PrecedenceRule OrderRule = PrecedenceRule::InclusionFirst;
    std::vector<std::string> FieldOrder = DefaultFieldOrder();
    int IncludeCount = 0; // Include entries over all the lists
    // What is done with the files the criteria took, and the texts of it
    // that were not understood (left out of it).
    TSelection Selection;
    std::vector<std::string> SelectionProblems;
    // Year entries that are neither a year mask nor a range, in list order.
    std::vector<std::string> MalformedYears;
    // The moment "N days" counts back from (nanoseconds since 1970).
    std::int64_t NowNs = 0;
    // The Lengths list has entries, taken or ignored: what each matches is
    // counted, so the counts read the lengths of every tagged file.
    bool LengthsListed = false;
    // Some criterion asks for the file's length, or for its modification time.
    bool NeedsLength() const { return !Fields[FieldLength].Criteria.empty(); }
    bool NeedsModified() const { return !Fields[FieldModified].Criteria.empty(); }
};

// The media-info field a criterion field of text compares (CriterionField);
// Title for the format, length and modified fields, which compare no tag text.
TMediaField CriterionMediaField(int Field);

// One entry of field F as a compile takes it (Ignore entries are not taken):
// a year range, a length or modified range, or a mask.
Criterion TakeCriterion(int F, const CriterionEntry& Entry, std::int64_t NowNs);

// Takes the criteria part of a compile job from the settings. "N days" counts
// back from NowNs (nanoseconds since 1970; below zero: the clock now).
CriteriaJob SnapshotCriteria(const WizardSettings& Settings, std::int64_t NowNs = -1);

// How a field's result came about: the first criterion that gave it, and
// whether a matching criterion of the other state came before and the
// field's rule set it aside.
struct TFieldVerdict {
    std::uint32_t Criterion = TDecisionReason::NoIndex;
    bool RuleSettled = false;
};

// Throws EMaskException when a mask the scan reaches is malformed. A mask that
// is not UTF-8 is read in Decoder's code page. Verdict, when given, says why.
CriterionState EvaluateField(const std::string& Text, const std::vector<Criterion>& Criteria,
                             PrecedenceRule Rule, TTagDecoder& Decoder = DefaultTagDecoder(),
                             TFieldVerdict* Verdict = nullptr);
// The same for a field of a media-info record: a mask matches a field of
// several values when it matches one of them or all of them joined by "; ".
CriterionState EvaluateField(const TMediaInfo& Info, TMediaField Field,
                             const std::vector<Criterion>& Criteria, PrecedenceRule Rule,
                             TTagDecoder& Decoder = DefaultTagDecoder(),
                             TFieldVerdict* Verdict = nullptr);
// The field F of the job (CriterionField) for one file: its tag text, its
// format's name, or Facts (null: length and modification time not known; a
// criterion on what is not known does not match).
CriterionState EvaluateCriterionField(const CriteriaJob& Job, int F, const TMediaInfo& Info,
                                      const TFileFacts* Facts, TTagDecoder& Decoder,
                                      TFieldVerdict* Verdict = nullptr);
// The same for criteria of field F given on their own.
CriterionState EvaluateCriterionField(int F, const std::vector<Criterion>& Criteria,
                                      PrecedenceRule Rule, const TMediaInfo& Info,
                                      const TFileFacts* Facts, TTagDecoder& Decoder,
                                      TFieldVerdict* Verdict = nullptr);
// Reason, when given, gets the deciding field, criterion and rules (one of the
// criteria kinds); the decision is the same either way, and so is which masks
// are compiled.
bool EvaluateCriteria(const CriteriaJob& Job, const TMediaInfo& MediaInfo,
                      TTagDecoder& Decoder = DefaultTagDecoder(), TDecisionReason* Reason = nullptr,
                      const TFileFacts* Facts = nullptr);

extern const char* const SearchInadequateMessage;
extern const char* const CriteriaInadequateMessage;

// Checked folders and checked filename masks exist.
bool SearchAdequate(const WizardSettings& Settings);
// Some criterion is Include, or tagless files are included.
bool CriteriaAdequate(const WizardSettings& Settings);
