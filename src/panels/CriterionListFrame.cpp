// The criterion list panel.
#include "panels/CriterionListFrame.h"
#include "panels/InputUtils.h"
#include "panels/PanelIcons.h"
#include "settings/SettingsStore.h"

#include <QAction>

TCriterionList::TCriterionList(const QString& Name, QWidget* Parent)
    : TMultiStateList(Name, Parent) {
    SetStateIcons({PanelIcon(TPanelIcon::StateInclude), PanelIcon(TPanelIcon::StateExclude),
                   PanelIcon(TPanelIcon::StateIgnore)});
    TListDisplayPolicy display = Model()->Display();
    display.StateTips = {
        QStringLiteral("Include: a file this mask matches is taken (click the icon or press "
                       "Space to change)"),
        QStringLiteral("Exclude: a file this mask matches is left out (click the icon or press "
                       "Space to change)"),
        QStringLiteral("Ignore: this mask is not used (click the icon or press Space to change)")};
    Model()->SetDisplay(std::move(display));
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

namespace {
// The state icons are in the order of the criterion states, so a row's state
// index is its criterion state's value.
CriterionState StateOf(const TCheckListEntry& Entry) {
    return Entry.State.Criterion();
}
} // namespace

CriterionState TCriterionList::CriterionStateAt(int Row) const {
    return StateOf(Entry(Row));
}

int TCriterionList::AddEntryWithState(const std::string& Caption, CriterionState State) {
    return AddEntryWithStateIndex(Caption, State);
}

void TCriterionList::SetState(int Row, CriterionState State) {
    SetStateIndex(Row, State);
}

void TCriterionList::AddCriterionEntries(const std::vector<CriterionEntry>& Entries) {
    std::vector<TCheckListEntry> entries;
    entries.reserve(Entries.size());
    for (const CriterionEntry& loaded : Entries) {
        TCheckListEntry entry;
        entry.Caption = loaded.Caption;
        entry.State = loaded.State;
        entries.push_back(std::move(entry));
    }
    AppendEntries(std::move(entries));
}

std::vector<CriterionEntry> TCriterionList::CriterionEntries() const {
    std::vector<CriterionEntry> result;
    for (const TCheckListEntry& entry : Entries())
        result.push_back(CriterionEntry{entry.Caption, StateOf(entry)});
    return result;
}

void TCriterionList::LoadFromStore(const SettingsStore& Store) {
    AddCriterionEntries(LoadCriterionSection(Store, Name()));
}

void TCriterionList::SaveToStore(SettingsStore& Store) const {
    SaveListSection(Store, Name(), CriterionEntries());
}

void TCriterionList::AddExecute() {
    std::string text;
    if (AddPrompt(text, false, GetEditMask(), ItemNoun(), this))
        AddEntryWithState(text, CriterionState::Include);
}

void TCriterionList::IncludeAllExecute() {
    Model()->SetAllStates([](TRowState) { return TRowState(CriterionState::Include); });
}

void TCriterionList::ExcludeAllExecute() {
    Model()->SetAllStates([](TRowState) { return TRowState(CriterionState::Exclude); });
}

void TCriterionList::IgnoreAllExecute() {
    Model()->SetAllStates([](TRowState) { return TRowState(CriterionState::Ignore); });
}

std::string TCriterionList::EntrySummaryText(const TCheckListEntry& Entry) const {
    switch (StateOf(Entry)) {
    case CriterionState::Include:
        return "Including \"" + Entry.Caption + "\"";
    case CriterionState::Exclude:
        return "Excluding \"" + Entry.Caption + "\"";
    case CriterionState::Ignore:
        break;
    }
    return {};
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
