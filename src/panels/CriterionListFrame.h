// A criterion list: masks that include, exclude or are ignored, with the
// commands Include All, Exclude All and Ignore All.
#pragma once

#include "engine/Criteria.h"
#include "panels/MultiStateListFrame.h"

class TCriterionList : public TMultiStateList {
    Q_OBJECT
public:
    explicit TCriterionList(const QString& Name, QWidget* Parent = nullptr);

    CriterionState CriterionStateAt(int Row) const;
    // Appends at the end; returns the new entry's row.
    int AddEntryWithState(const std::string& Caption, CriterionState State);
    void SetState(int Row, CriterionState State);
    void AddCriterionEntries(const std::vector<CriterionEntry>& Entries);
    // Captions and criterion states as the settings layout keeps them.
    std::vector<CriterionEntry> CriterionEntries() const;

    void LoadFromStore(const SettingsStore& Store) override;
    void SaveToStore(SettingsStore& Store) const override;

    void AddExecute() override; // new masks start as include
    void IncludeAllExecute();
    void ExcludeAllExecute();
    void IgnoreAllExecute();

    std::string EntrySummaryText(const TCheckListEntry& Entry) const override;

protected:
    void Execute(TListCommand Command) override;
};
