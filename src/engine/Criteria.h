// Criteria evaluation: per-field include/exclude/ignore masks with a precedence
// rule, combined over the five fields by the overall rule and field order; and
// the adequacy tests the Summary page runs.
#pragma once

#include "engine/Reasons.h"
#include "media/MediaUtils.h"
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
};

struct FieldCriteria {
    std::vector<Criterion> Criteria;
    PrecedenceRule Rule = PrecedenceRule::InclusionFirst;
};

// The criteria part of a compile job.
struct CriteriaJob {
    std::array<FieldCriteria, CriterionFieldCount> Fields; // indexed by CriterionField
    PrecedenceRule OrderRule = PrecedenceRule::InclusionFirst;
    std::vector<std::string> FieldOrder{"Title", "Artist", "Album", "Genre", "Year"};
    int IncludeCount = 0; // Include entries over all five lists
    // What is done with the files the criteria took, and the texts of it
    // that were not understood (left out of it).
    TSelection Selection;
    std::vector<std::string> SelectionProblems;
    // Year entries that are neither a year mask nor a range, in list order.
    std::vector<std::string> MalformedYears;
};

// The media-info field a criterion field compares (CriterionField).
TMediaField CriterionMediaField(int Field);

// Takes the criteria part of a compile job from the settings.
CriteriaJob SnapshotCriteria(const WizardSettings& Settings);

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
// Reason, when given, gets the deciding field, criterion and rules (one of the
// criteria kinds); the decision is the same either way, and so is which masks
// are compiled.
bool EvaluateCriteria(const CriteriaJob& Job, const TMediaInfo& MediaInfo,
                      TTagDecoder& Decoder = DefaultTagDecoder(),
                      TDecisionReason* Reason = nullptr);

extern const char* const SearchInadequateMessage;
extern const char* const CriteriaInadequateMessage;

// Checked folders and checked filename masks exist.
bool SearchAdequate(const WizardSettings& Settings);
// Some criterion is Include, or tagless files are included.
bool CriteriaAdequate(const WizardSettings& Settings);
