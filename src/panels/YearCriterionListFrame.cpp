// The year criterion list panel.
#include "panels/YearCriterionListFrame.h"

#include "model/YearEntries.h"
#include "panels/CheckListModel.h"
#include "settings/SettingsStore.h"

namespace {
constexpr std::uint32_t DamagedNote = 1;
} // namespace

TYearCriterionList::TYearCriterionList(const QString& Name, QWidget* Parent)
    : TCriterionList(Name, Parent) {
    SetItemNoun(QStringLiteral("year"));
    TListDisplayPolicy display = Model()->Display();
    display.CaptionMark = [](std::uint32_t Note) {
        return Note == DamagedNote ? QStringLiteral("(not a year or range)") : QString();
    };
    display.NoteText = [](std::uint32_t Note) {
        return Note == DamagedNote
                   ? QStringLiteral("This entry is neither a year (1999, 199?) nor a range of "
                                    "years (1990..1999, ..1979, 2000..). A compile uses it as a "
                                    "mask as written; edit it or remove it.")
                   : QString();
    };
    Model()->SetDisplay(std::move(display));
    // Whoever changed the entries (a command, a load, a search opened).
    connect(this, &TCheckList::EntriesChanged, this, [this] { MarkDamagedEntries(); });
}

void TYearCriterionList::LoadFromStore(const SettingsStore& Store) {
    // Entries of no known form stay as they are, shown as damaged.
    AddCriterionEntries(LoadCriterionSection(Store, Name()));
    MarkDamagedEntries();
}

void TYearCriterionList::EditExecute() {
    TCriterionList::EditExecute();
    MarkDamagedEntries();
}

std::string TYearCriterionList::EntrySummaryText(const TCheckListEntry& Entry) const {
    std::string text = TCriterionList::EntrySummaryText(Entry);
    if (!text.empty() && ClassifyYearEntry(Entry.Caption).Kind == TYearEntryKind::Malformed)
        text += " (not a year or range)";
    return text;
}

void TYearCriterionList::MarkDamagedEntries() {
    TCheckListModel& model = *Model();
    for (int row = 0; row < model.Count(); ++row) {
        const std::uint32_t note =
            ClassifyYearEntry(model.Caption(row)).Kind == TYearEntryKind::Malformed ? DamagedNote
                                                                                    : 0;
        if (model.Note(row) != note)
            model.SetNote(row, note);
    }
}

bool TYearCriterionList::EntryDamaged(int Row) const {
    return Model()->Note(Row) == DamagedNote;
}
