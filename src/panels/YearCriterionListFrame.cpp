// The criterion list panels whose entries have forms of their own.
#include "panels/YearCriterionListFrame.h"

#include "model/FieldEntries.h"
#include "panels/CheckListModel.h"
#include "settings/SettingsStore.h"

namespace {

constexpr std::uint32_t DamagedNote = 1;

const TEntryForm YearForm = {
    FieldYear, "(not a year or range)",
    "This entry is neither a year (1999, 199?) nor a range of years (1990..1999, ..1979, "
    "2000..). A compile uses it as a mask as written; edit it or remove it."};

const TEntryForm LengthForm = {
    FieldLength, NotALengthMark,
    "This entry is not a range of lengths (2:30..4:00, ..2:30, 10:00..). It matches no file; "
    "edit it or remove it."};

const TEntryForm ModifiedForm = {
    FieldModified, NotAModifiedMark,
    "This entry is neither a number of days (30 days: modified within the last 30 days) nor a "
    "range of dates (2024-01-01..2024-06-30, ..2023-12-31, 2024-01-01..). It matches no file; "
    "edit it or remove it."};

} // namespace

const TEntryForm& LengthEntryForm() {
    return LengthForm;
}

const TEntryForm& ModifiedEntryForm() {
    return ModifiedForm;
}

TFormCriterionList::TFormCriterionList(const QString& Name, const TEntryForm& Form, QWidget* Parent)
    : TCriterionList(Name, Parent), form_(Form) {
    TListDisplayPolicy display = Model()->Display();
    display.CaptionMark = [Mark = QString::fromUtf8(Form.Mark)](std::uint32_t Note) {
        return Note == DamagedNote ? Mark : QString();
    };
    display.NoteText = [Text = QString::fromUtf8(Form.Note)](std::uint32_t Note) {
        return Note == DamagedNote ? Text : QString();
    };
    Model()->SetDisplay(std::move(display));
    // Whoever changed the entries (a command, a load, a search opened).
    connect(this, &TCheckList::EntriesChanged, this, [this] { MarkDamagedEntries(); });
}

void TFormCriterionList::LoadFromStore(const SettingsStore& Store) {
    // Entries of no known form stay as they are, shown as damaged.
    AddCriterionEntries(LoadCriterionSection(Store, Name()));
    MarkDamagedEntries();
}

void TFormCriterionList::EditExecute() {
    TCriterionList::EditExecute();
    MarkDamagedEntries();
}

std::string TFormCriterionList::EntrySummaryText(const TCheckListEntry& Entry) const {
    std::string text = TCriterionList::EntrySummaryText(Entry);
    if (!text.empty() && !EntryFormKnown(form_.Field, Entry.Caption))
        text += std::string(" ") + form_.Mark;
    return text;
}

void TFormCriterionList::MarkDamagedEntries() {
    TCheckListModel& model = *Model();
    for (int row = 0; row < model.Count(); ++row) {
        const std::uint32_t note =
            EntryFormKnown(form_.Field, model.Caption(row)) ? 0 : DamagedNote;
        if (model.Note(row) != note)
            model.SetNote(row, note);
    }
}

bool TFormCriterionList::EntryDamaged(int Row) const {
    return Model()->Note(Row) == DamagedNote;
}

TYearCriterionList::TYearCriterionList(const QString& Name, QWidget* Parent)
    : TFormCriterionList(Name, YearForm, Parent) {
    SetItemNoun(QStringLiteral("year"));
}
