// The year criterion list: four-digit year masks, repaired on load.
#pragma once

#include "panels/CriterionListFrame.h"

class TYearCriterionList : public TCriterionList {
    Q_OBJECT
public:
    explicit TYearCriterionList(const QString& Name, QWidget* Parent = nullptr);

    std::string GetEditMask() const override { return "0000"; }
    void LoadFromStore(const SettingsStore& Store) override;
};
