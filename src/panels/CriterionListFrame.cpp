// The criterion list panel.
#include "panels/CriterionListFrame.h"
#include "panels/InputUtils.h"
#include "panels/PanelIcons.h"

#include <QAction>

TCriterionList::TCriterionList(const QString& Name, QWidget* Parent)
    : TMultiStateList(Name, Parent) {
    SetStateIcons({PanelIcon(TPanelIcon::StateInclude), PanelIcon(TPanelIcon::StateExclude),
                   PanelIcon(TPanelIcon::StateIgnore)});
    QAction* include =
        MakeCommand(TListCommand::IncludeAll, QStringLiteral("Include All"),
                    QKeySequence(Qt::CTRL | Qt::Key_I), PanelIcon(TPanelIcon::IncludeAll));
    QAction* exclude =
        MakeCommand(TListCommand::ExcludeAll, QStringLiteral("Exclude All"),
                    QKeySequence(Qt::CTRL | Qt::Key_E), PanelIcon(TPanelIcon::ExcludeAll));
    QAction* ignore =
        MakeCommand(TListCommand::IgnoreAll, QStringLiteral("Ignore All"),
                    QKeySequence(Qt::CTRL | Qt::Key_G), PanelIcon(TPanelIcon::IgnoreAll));
    AddCommandGroup({include, exclude, ignore});
}

CriterionState TCriterionList::CriterionStateAt(int Row) const {
    return static_cast<CriterionState>(Entry(Row).State);
}

void TCriterionList::AddExecute() {
    std::string text;
    if (AddPrompt(text, false, GetEditMask(), ItemNoun(), this))
        AddEntryWithState(text, Include);
}

void TCriterionList::IncludeAllExecute() {
    Model()->SetAllStates([](int) { return Include; });
}

void TCriterionList::ExcludeAllExecute() {
    Model()->SetAllStates([](int) { return Exclude; });
}

void TCriterionList::IgnoreAllExecute() {
    Model()->SetAllStates([](int) { return Ignore; });
}

std::string TCriterionList::EntrySummaryText(const TCheckListEntry& Entry) const {
    switch (Entry.State) {
    case Include:
        return "Including \"" + Entry.Caption + "\"";
    case Exclude:
        return "Excluding \"" + Entry.Caption + "\"";
    default:
        return {};
    }
}

void TCriterionList::Execute(TListCommand Command) {
    switch (Command) {
    case TListCommand::IncludeAll:
        IncludeAllExecute();
        break;
    case TListCommand::ExcludeAll:
        ExcludeAllExecute();
        break;
    case TListCommand::IgnoreAll:
        IgnoreAllExecute();
        break;
    default:
        TMultiStateList::Execute(Command);
        break;
    }
}
