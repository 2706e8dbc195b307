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

    void AddExecute() override; // new masks start as include
    void IncludeAllExecute();
    void ExcludeAllExecute();
    void IgnoreAllExecute();

    std::string EntrySummaryText(const TCheckListEntry& Entry) const override;

protected:
    void Execute(TListCommand Command) override;
};
