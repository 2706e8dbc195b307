// Criterion lists whose entries have forms of their own: years ("1999"),
// year masks ("199?") and ranges ("1990..1999"); lengths ("2:30..4:00");
// modification times ("30 days", "2024-01-01..2024-06-30"). An entry of none
// of its list's forms is kept and shown as damaged.
#pragma once

#include "panels/CriterionListFrame.h"

#include <string_view>

// What a list takes: the criterion field whose forms its captions must have
// (EntryFormKnown), the mark shown after one that has none, and the tooltip
// that says what to write instead.
struct TEntryForm {
    int Field;
    const char* Mark;
    const char* Note;
};

class TFormCriterionList : public TCriterionList {
    Q_OBJECT
public:
    TFormCriterionList(const QString& Name, const TEntryForm& Form, QWidget* Parent = nullptr);

    // Any text; what is of no known form is marked.
    std::string GetEditMask() const override { return {}; }
    void LoadFromStore(const SettingsStore& Store) override;
    void EditExecute() override;
    std::string EntrySummaryText(const TCheckListEntry& Entry) const override;

    // Marks again the entries of no known form.
    void MarkDamagedEntries();
    bool EntryDamaged(int Row) const;

private:
    TEntryForm form_;
};

class TYearCriterionList : public TFormCriterionList {
    Q_OBJECT
public:
    explicit TYearCriterionList(const QString& Name, QWidget* Parent = nullptr);
};

// The forms of the length and modified lists.
const TEntryForm& LengthEntryForm();
const TEntryForm& ModifiedEntryForm();
