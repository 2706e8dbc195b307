// The Summary page: the adequacy check with its red error lines, the report of
// every search setting, and the box's context menu.
#include "app/Main.h"
#include "engine/Criteria.h"
#include "engine/Duplicates.h"
#include "panels/CheckListFrame.h"
#include "panels/CriterionListFrame.h"
#include "panels/FolderCheckListFrame.h"
#include "panels/TextDisplay.h"
#include "panels/YearCriterionListFrame.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>

namespace {
const char* const Ordinals[] = {"first", "second", "third", "fourth", "fifth"};
}

void TMainForm::AppendSummaryLine(const QString& Text, bool Red) {
    QTextCursor cursor(Summary->document());
    cursor.movePosition(QTextCursor::End);
    // Every line starts in the default colour, whatever the line before it had.
    const QTextCharFormat plain;
    if (!summaryEmpty_)
        cursor.insertBlock(QTextBlockFormat(), plain);
    summaryEmpty_ = false;
    QTextCharFormat format;
    if (Red)
        format.setForeground(QColor(255, 0, 0));
    cursor.insertText(Text, format);
}

void TMainForm::AddSummaryError(const QString& Message) {
    AppendSummaryLine(Message, true);
}

void TMainForm::AppendSummaryBlock(const TCheckList& Panel, bool Paths) {
    std::vector<std::string> lines;
    Panel.AppendSummary(lines);
    for (const std::string& line : lines)
        AppendSummaryLine(Paths ? DisplayPath(line) : DisplayText(line));
}

void TMainForm::CheckSettings() {
    NextButton()->setEnabled(true);
    const WizardSettings settings = CurrentSettings();
    if (!SearchAdequate(settings)) {
        NextButton()->setEnabled(false);
        AddSummaryError(SearchInadequateMessage);
    }
    if (!CriteriaAdequate(settings)) {
        NextButton()->setEnabled(false);
        AddSummaryError(CriteriaInadequateMessage);
    }
    if (!NextButton()->isEnabled())
        AppendSummaryLine(QString());
}

void TMainForm::BuildSummary() {
    Summary->clear();
    summaryEmpty_ = true;
    CheckSettings();

    AppendSummaryBlock(*Folders, true);
    if (Recurse->isChecked()) {
        AppendSummaryLine(QString("\t") + RecurseCaption);
        AppendSummaryLine(QString());
    }
    // Folders that make a compile find the same files twice.
    std::vector<std::string> searched;
    for (const CheckEntry& entry : Folders->CheckEntries())
        if (entry.State == CheckState::Checked)
            searched.push_back(entry.Caption);
    const std::vector<TFolderOverlap> overlaps = FolderOverlaps(searched, Recurse->isChecked());
    for (const TFolderOverlap& overlap : overlaps)
        AppendSummaryLine("\t" + DisplayText(FolderOverlapText(overlap, searched)));
    if (!overlaps.empty())
        AppendSummaryLine(QString());
    AppendSummaryBlock(*Filenames, false);
    if (ThoroughID3Check->isChecked()) {
        AppendSummaryLine(QString("\t") + ThoroughID3CheckCaption);
        AppendSummaryLine(QString());
    }
    for (int field = 0; field < CriterionFieldCount; ++field) {
        AppendSummaryBlock(*CriterionLists[field], false);
        AppendSummaryLine("\t" + FieldRules[field]->currentText());
        AppendSummaryLine(QString());
    }
    AppendSummaryLine("Options:");
    AppendSummaryLine("\t" + OrderRule->currentText());
    if (Order->isEnabled())
        for (int i = 0; i < Order->count() && i < 5; ++i)
            AppendSummaryLine(
                QString("\t%1 evaluated %2").arg(Order->item(i)->text(), Ordinals[i]));
    AppendSummaryLine(QString("\t%1 %2").arg(TagCodePageCaption, TagCodePage->currentText()));
    if (ReadOtherFormats->isChecked())
        AppendSummaryLine(QString("\t") + ReadOtherFormatsCaption);
    if (IncludeTaglessFiles->isChecked()) {
        AppendSummaryLine(QString("\t") + IncludeTaglessFilesCaption);
        AppendSummaryLine(QString());
    }
    Summary->moveCursor(QTextCursor::Start);
}

void TMainForm::SummaryMenuPopup() {
    Copy1->setEnabled(Summary->textCursor().hasSelection());
}

void TMainForm::Copy1Click() {
    Summary->copy();
}

void TMainForm::SelectAll1Click() {
    Summary->selectAll();
}
