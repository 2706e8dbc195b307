// The Summary page: the adequacy check with its red error lines, the report of
// every search setting, and the box's context menu.
#include "app/Main.h"
#include "engine/Criteria.h"
#include "engine/Duplicates.h"
#include "model/CodePages.h"
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

#include <algorithm>

namespace {

const char* const Ordinals[] = {"first", "second",  "third",  "fourth", "fifth",
                                "sixth", "seventh", "eighth", "ninth",  "tenth"};

// A field of the More criteria page takes part (and is summed up) only while
// it has entries or a rule of its own.
bool FieldInUse(const WizardSettings& Settings, int Field) {
    return Field < ClassicFieldCount || !Settings.Criteria[Field].empty() ||
           Settings.FieldRules[Field] != WizardSettings{}.FieldRules[Field];
}

// The code page as the Options page lists it.
QString CodePageLabel(const std::string& Name) {
    for (const TTagCodePage& codePage : TagCodePages)
        if (codePage.Name == Name)
            return QString::fromUtf8(codePage.Label.data(), qsizetype(codePage.Label.size()));
    return QString::fromStdString(Name);
}

} // namespace

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

void TMainForm::CheckSettings(const WizardSettings& settings) {
    NextButton()->setEnabled(true);
    if (!SearchAdequate(settings)) {
        NextButton()->setEnabled(false);
        AddSummaryError(SearchInadequateMessage);
    }
    const bool criteriaAdequate = CriteriaAdequate(settings);
    if (!criteriaAdequate) {
        NextButton()->setEnabled(false);
        AddSummaryError(CriteriaInadequateMessage);
        AppendSummaryLine(CriteriaAdvice);
    }
    IncludeEveryTitle->setVisible(!criteriaAdequate);
    if (!NextButton()->isEnabled())
        AppendSummaryLine(QString());
}

void TMainForm::IncludeEveryTitleClick() {
    // An existing "*" of another state becomes an include rather than a second row.
    int row = -1;
    for (int i = 0; i < Titles->Count() && row < 0; ++i)
        if (Titles->Entry(i).Caption == "*")
            row = i;
    if (row < 0)
        Titles->AddEntryWithState("*", CriterionState::Include);
    else
        Titles->SetState(row, CriterionState::Include);
    BuildSummary();
}

void TMainForm::BuildSummary() {
    Summary->clear();
    summaryEmpty_ = true;
    Folders->MarkMissingFolders();
    const WizardSettings settings = CurrentSettings();
    CheckSettings(settings);
    AppendCountsTotal();
    AppendCountsBlock(settings);

    AppendSummaryBlock(*Folders, true);
    if (settings.Recurse) {
        AppendSummaryLine(QString("\t") + RecurseCaption);
        AppendSummaryLine(QString());
    }
    // Folders that make a compile find the same files twice.
    std::vector<std::string> searched;
    for (const CheckEntry& entry : settings.Folders)
        if (entry.State == CheckState::Checked)
            searched.push_back(entry.Caption);
    const std::vector<TFolderOverlap> overlaps = FolderOverlaps(searched, settings.Recurse);
    for (const TFolderOverlap& overlap : overlaps)
        AppendSummaryLine("\t" + DisplayText(FolderOverlapText(overlap, searched)));
    if (!overlaps.empty())
        AppendSummaryLine(QString());
    AppendSummaryBlock(*Filenames, false);
    if (settings.ThoroughID3Check) {
        AppendSummaryLine(QString("\t") + ThoroughID3CheckCaption);
        AppendSummaryLine(QString());
    }
    for (int field = 0; field < CriterionFieldCount; ++field) {
        if (!FieldInUse(settings, field))
            continue;
        AppendSummaryBlock(*CriterionLists[field], false);
        // The rule as its list words it.
        AppendSummaryLine("\t" + FieldRules[field]->itemText(ToStored(settings.FieldRules[field])));
        AppendSummaryLine(QString());
    }
    AppendSummaryLine("Options:");
    AppendSummaryLine("\t" + OrderRule->itemText(ToStored(settings.OrderRule)));
    if (settings.OrderRule == PrecedenceRule::ByOrder) {
        // The places among the fields in use.
        std::size_t place = 0;
        for (const std::string& name : CompleteFieldOrder(settings.FieldOrder)) {
            const auto named =
                std::find(CriterionFieldNames.begin(), CriterionFieldNames.end(), name);
            const int field = named == CriterionFieldNames.end()
                                  ? 0
                                  : static_cast<int>(named - CriterionFieldNames.begin());
            if (!FieldInUse(settings, field) || place >= std::size(Ordinals))
                continue;
            AppendSummaryLine(
                QString("\t%1 evaluated %2").arg(QString::fromStdString(name), Ordinals[place++]));
        }
    }
    AppendSummaryLine(
        QString("\t%1 %2").arg(TagCodePageCaption, CodePageLabel(settings.TagCodePage)));
    if (settings.ReadOtherFormats)
        AppendSummaryLine(QString("\t") + ReadOtherFormatsCaption);
    if (settings.IncludeTaglessFiles) {
        AppendSummaryLine(QString("\t") + IncludeTaglessFilesCaption);
        AppendSummaryLine(QString());
    }
    AppendSelectionSummary(settings);
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
