// Criteria evaluation: per-field include/exclude/ignore masks with a precedence
// rule, combined over the five fields by the overall rule and field order; and
// the adequacy tests the Summary page runs.
#pragma once

#include "media/MediaUtils.h"
#include "model/WizardSettings.h"

#include <array>
#include <string>
#include <vector>

// One entry taken into a compile run (Include or Exclude; Ignore entries are not taken).
struct Criterion {
    std::string Mask;
    CriterionState State = CriterionState::Include;
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
};

// Takes the criteria part of a compile job from the settings.
CriteriaJob SnapshotCriteria(const WizardSettings& Settings);

// Throws EMaskException when a mask the scan reaches is malformed. A mask that
// is not UTF-8 is read in Decoder's code page.
CriterionState EvaluateField(const std::string& Text, const std::vector<Criterion>& Criteria,
                             PrecedenceRule Rule, TTagDecoder& Decoder = DefaultTagDecoder());
bool EvaluateCriteria(const CriteriaJob& Job, const TMediaInfo& MediaInfo,
                      TTagDecoder& Decoder = DefaultTagDecoder());

extern const char* const SearchInadequateMessage;
extern const char* const CriteriaInadequateMessage;

// Checked folders and checked filename masks exist.
bool SearchAdequate(const WizardSettings& Settings);
// Some criterion is Include, or tagless files are included.
bool CriteriaAdequate(const WizardSettings& Settings);
