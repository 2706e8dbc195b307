// The year criterion list panel.
#include "panels/YearCriterionListFrame.h"
#include "settings/SettingsStore.h"

TYearCriterionList::TYearCriterionList(const QString& Name, QWidget* Parent)
    : TCriterionList(Name, Parent) {
    SetItemNoun(QStringLiteral("year"));
}

void TYearCriterionList::LoadFromStore(const SettingsStore& Store) {
    // Entries of no known form stay as they are, shown as damaged.
    AddCriterionEntries(LoadCriterionSection(Store, Name()));
}
