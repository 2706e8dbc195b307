// The year criterion list: years ("1999"), year masks ("199?") and ranges
// ("1990..1999"); an entry of none of these forms is kept and shown as damaged.
#pragma once

#include "panels/CriterionListFrame.h"

class TYearCriterionList : public TCriterionList {
    Q_OBJECT
public:
    explicit TYearCriterionList(const QString& Name, QWidget* Parent = nullptr);

    // Any text: a year, a mask or a range; what is none of them is marked.
    std::string GetEditMask() const override { return {}; }
    void LoadFromStore(const SettingsStore& Store) override;
    void EditExecute() override;
    std::string EntrySummaryText(const TCheckListEntry& Entry) const override;

    // Marks again the entries that are neither a year mask nor a range.
    void MarkDamagedEntries();
    bool EntryDamaged(int Row) const;
};
