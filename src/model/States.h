// The states list entries can be in and the precedence rules, as typed values,
// with the one reading of them from the integers a settings file stores.
#pragma once

#include <iosfwd>

// An entry of a check list (folders, filename masks, the playlist).
enum class CheckState { Unchecked = 0, Checked = 1 };
// An entry of a criterion list.
enum class CriterionState { Include = 0, Exclude = 1, Ignore = 2 };
// Which state decides when several masks of a field, or several fields, match.
enum class PrecedenceRule { InclusionFirst = 0, ExclusionFirst = 1, ByOrder = 2 };

// A stored integer read as a state or rule. Criterion states and rules are
// ranges: a value outside one is clamped to its nearest end. A check state is
// a flag: 0 is unchecked and every other value checked. Either way OutOfRange,
// when given, tells whether the stored value was not one the enum names.
CheckState CheckStateFromStored(int Stored, bool* OutOfRange = nullptr);
CriterionState CriterionStateFromStored(int Stored, bool* OutOfRange = nullptr);
PrecedenceRule PrecedenceRuleFromStored(int Stored, bool* OutOfRange = nullptr);

// The integer a settings file stores (the enums' own values).
constexpr int ToStored(CheckState State) {
    return static_cast<int>(State);
}
constexpr int ToStored(CriterionState State) {
    return static_cast<int>(State);
}
constexpr int ToStored(PrecedenceRule Rule) {
    return static_cast<int>(Rule);
}

// Names for messages and test output: "Checked", "Exclude", "ByOrder", ...
const char* NameOf(CheckState State);
const char* NameOf(CriterionState State);
const char* NameOf(PrecedenceRule Rule);

std::ostream& operator<<(std::ostream& Out, CheckState State);
std::ostream& operator<<(std::ostream& Out, CriterionState State);
std::ostream& operator<<(std::ostream& Out, PrecedenceRule Rule);
