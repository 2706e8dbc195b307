#include "model/States.h"

#include <gtest/gtest.h>

#include <climits>
#include <sstream>

namespace {

template <typename Enum> struct Case {
    int Stored;
    Enum Expected;
    bool OutOfRange;
};

// Runs one table through a conversion; each row checks the value and the report.
template <typename Enum, typename Convert>
void CheckTable(Convert FromStored, std::initializer_list<Case<Enum>> Table) {
    for (const Case<Enum>& row : Table) {
        bool outOfRange = !row.OutOfRange;
        EXPECT_EQ(FromStored(row.Stored, &outOfRange), row.Expected) << "stored " << row.Stored;
        EXPECT_EQ(outOfRange, row.OutOfRange) << "stored " << row.Stored;
        EXPECT_EQ(FromStored(row.Stored, nullptr), row.Expected) << "stored " << row.Stored;
    }
}

} // namespace

TEST(States, CriterionStatesClampToTheNearestEndAndSaySo) {
    using enum CriterionState;
    CheckTable<CriterionState>(CriterionStateFromStored, {{0, Include, false},
                                                          {1, Exclude, false},
                                                          {2, Ignore, false},
                                                          {3, Ignore, true},
                                                          {7, Ignore, true},
                                                          {INT_MAX, Ignore, true},
                                                          {-1, Include, true},
                                                          {INT_MIN, Include, true}});
}

TEST(States, PrecedenceRulesClampToTheNearestEndAndSaySo) {
    using enum PrecedenceRule;
    CheckTable<PrecedenceRule>(PrecedenceRuleFromStored, {{0, InclusionFirst, false},
                                                          {1, ExclusionFirst, false},
                                                          {2, ByOrder, false},
                                                          {3, ByOrder, true},
                                                          {INT_MAX, ByOrder, true},
                                                          {-1, InclusionFirst, true},
                                                          {INT_MIN, InclusionFirst, true}});
}

TEST(States, CheckStatesAreAFlagWhereEveryOtherValueChecks) {
    using enum CheckState;
    CheckTable<CheckState>(CheckStateFromStored, {{0, Unchecked, false},
                                                  {1, Checked, false},
                                                  {2, Checked, true},
                                                  {-1, Checked, true},
                                                  {INT_MIN, Checked, true}});
}

TEST(States, StoredValuesRoundTripAndNamesAreDistinct) {
    for (int stored = 0; stored <= 2; ++stored) {
        EXPECT_EQ(ToStored(CriterionStateFromStored(stored)), stored);
        EXPECT_EQ(ToStored(PrecedenceRuleFromStored(stored)), stored);
    }
    for (int stored = 0; stored <= 1; ++stored)
        EXPECT_EQ(ToStored(CheckStateFromStored(stored)), stored);

    std::ostringstream out;
    out << CheckState::Unchecked << ' ' << CheckState::Checked << ' ' << CriterionState::Include
        << ' ' << CriterionState::Exclude << ' ' << CriterionState::Ignore << ' '
        << PrecedenceRule::InclusionFirst << ' ' << PrecedenceRule::ExclusionFirst << ' '
        << PrecedenceRule::ByOrder;
    EXPECT_EQ(out.str(),
              "Unchecked Checked Include Exclude Ignore InclusionFirst ExclusionFirst ByOrder");
}
