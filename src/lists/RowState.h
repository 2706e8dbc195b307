// The state of one list row, typed. A check-box panel's rows are checked or
// unchecked, a criterion panel's rows include, exclude or ignore; the store
// keeps either in one byte, which is also the place of the state's image in
// the panel's state icons, so a panel steps through its states by index.
#pragma once

#include "model/States.h"

#include <cstdint>

class TRowState {
public:
    constexpr TRowState() = default; // checked
    constexpr TRowState(CheckState State) : index_(static_cast<std::uint8_t>(ToStored(State))) {}
    constexpr TRowState(CriterionState State)
        : index_(static_cast<std::uint8_t>(ToStored(State))) {}
    // The state at Index in the panel's state icons (0 ... 255).
    static constexpr TRowState FromIndex(int Index) {
        TRowState State;
        State.index_ = static_cast<std::uint8_t>(Index);
        return State;
    }

    constexpr int Index() const { return index_; }
    constexpr bool Checked() const { return index_ == ToStored(CheckState::Checked); }
    // A check-box row's state: any index but unchecked's counts as checked.
    constexpr CheckState Check() const {
        return index_ == ToStored(CheckState::Unchecked) ? CheckState::Unchecked
                                                         : CheckState::Checked;
    }
    // A criterion row's state; an index past the last reads as the last.
    constexpr CriterionState Criterion() const {
        return index_ >= ToStored(CriterionState::Ignore) ? CriterionState::Ignore
                                                          : static_cast<CriterionState>(index_);
    }

    constexpr bool operator==(const TRowState&) const = default;

private:
    std::uint8_t index_ = static_cast<std::uint8_t>(ToStored(CheckState::Checked));
};

inline constexpr TRowState CheckedRow{CheckState::Checked};
inline constexpr TRowState UncheckedRow{CheckState::Unchecked};
