// Reading stored integers as states and rules, and their names.
#include "model/States.h"

#include <algorithm>
#include <ostream>

namespace {

// The clamp of a ranged enum, shared so criterion states and rules cannot drift apart.
template <typename Enum> Enum Clamped(int Stored, Enum Last, bool* OutOfRange) {
    const int clamped = std::clamp(Stored, 0, static_cast<int>(Last));
    if (OutOfRange)
        *OutOfRange = clamped != Stored;
    return static_cast<Enum>(clamped);
}

} // namespace

CheckState CheckStateFromStored(int Stored, bool* OutOfRange) {
    if (OutOfRange)
        *OutOfRange = Stored != 0 && Stored != 1;
    return Stored != 0 ? CheckState::Checked : CheckState::Unchecked;
}

CriterionState CriterionStateFromStored(int Stored, bool* OutOfRange) {
    return Clamped(Stored, CriterionState::Ignore, OutOfRange);
}

PrecedenceRule PrecedenceRuleFromStored(int Stored, bool* OutOfRange) {
    return Clamped(Stored, PrecedenceRule::ByOrder, OutOfRange);
}

const char* NameOf(CheckState State) {
    return State == CheckState::Checked ? "Checked" : "Unchecked";
}

const char* NameOf(CriterionState State) {
    switch (State) {
    case CriterionState::Include:
        return "Include";
    case CriterionState::Exclude:
        return "Exclude";
    case CriterionState::Ignore:
        return "Ignore";
    }
    return "?";
}

const char* NameOf(PrecedenceRule Rule) {
    switch (Rule) {
    case PrecedenceRule::InclusionFirst:
        return "InclusionFirst";
    case PrecedenceRule::ExclusionFirst:
        return "ExclusionFirst";
    case PrecedenceRule::ByOrder:
        return "ByOrder";
    }
    return "?";
}

std::ostream& operator<<(std::ostream& Out, CheckState State) {
    return Out << NameOf(State);
}

std::ostream& operator<<(std::ostream& Out, CriterionState State) {
    return Out << NameOf(State);
}

std::ostream& operator<<(std::ostream& Out, PrecedenceRule Rule) {
    return Out << NameOf(Rule);
}
