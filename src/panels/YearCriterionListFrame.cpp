// The year criterion list panel.
#include "panels/YearCriterionListFrame.h"
#include "settings/SettingsStore.h"

TYearCriterionList::TYearCriterionList(const QString& Name, QWidget* Parent)
    : TCriterionList(Name, Parent) {
    SetItemNoun(QStringLiteral("year"));
}

void TYearCriterionList::LoadFromStore(const SettingsStore& Store) {
    std::vector<CriterionEntry> entries = LoadCriterionSection(Store, Name());
    RepairYearEntries(entries, CurrentYearText());
    AddCriterionEntries(entries);
}
