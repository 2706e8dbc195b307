// The list panel base: commands, command bar, context menu, drag reordering,
// summary block, store section and the registry of live panels.
#include "panels/CheckListFrame.h"
#include "panels/CheckListView.h"
#include "panels/InputUtils.h"
#include "panels/PanelIcons.h"
#include "panels/TextDisplay.h"
#include "settings/SettingsStore.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {
constexpr int ButtonWidth = 93;
constexpr int LabelHeight = 18;

// Live panels in creation order; exists while at least one panel does.
std::vector<TCheckList*>* registry = nullptr;
} // namespace

TCheckList::TCheckList(const QString& Name, QWidget* Parent) : QWidget(Parent) {
    setObjectName(Name);
    if (!registry)
        registry = new std::vector<TCheckList*>;
    registry->push_back(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    label_ = new QLabel(Name, this);
    label_->setFixedHeight(LabelHeight);
    layout->addWidget(label_);

    view_ = new TCheckListView(*this, this);
    view_->setObjectName(Name + QStringLiteral("List"));
    model_ = new TCheckListModel(this);
    view_->setModel(model_);
    view_->setRootIsDecorated(false);
    view_->setItemsExpandable(false);
    view_->setUniformRowHeights(true);
    view_->setHeaderHidden(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setAllColumnsShowFocus(true);
    view_->setDragEnabled(false);
    view_->header()->setStretchLastSection(true);
    view_->header()->setSectionsMovable(false);
    // The selection stays visible when the list loses the focus.
    QPalette palette = view_->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    view_->setPalette(palette);
    label_->setBuddy(view_);
    layout->addWidget(view_, 1);

    auto* barHost = new QWidget(this);
    barLayout_ = new QVBoxLayout(barHost);
    barLayout_->setContentsMargins(0, 0, 0, 0);
    barLayout_->setSpacing(0);
    for (int row = 0; row < 2; ++row) {
        auto* bar = new QToolBar(barHost);
        bar->setObjectName(Name + QStringLiteral("Bar%1").arg(row + 1));
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->setIconSize(QSize(16, 16));
        bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        barLayout_->addWidget(bar);
        bars_.push_back(bar);
    }
    layout->addWidget(barHost);
    menu_ = new QMenu(this);

    QAction* add = MakeCommand(TListCommand::Add, QStringLiteral("Add"),
                               QKeySequence(Qt::Key_Insert), PanelIcon(TPanelIcon::Add));
    QAction* remove = MakeCommand(TListCommand::Remove, QStringLiteral("Remove"),
                                  QKeySequence(Qt::Key_Delete), PanelIcon(TPanelIcon::Remove));
    QAction* edit =
        MakeCommand(TListCommand::Edit, QStringLiteral("Edit"),
                    QKeySequence(Qt::ALT | Qt::Key_Backspace), PanelIcon(TPanelIcon::Edit));
    QAction* checkAll =
        MakeCommand(TListCommand::CheckAll, QStringLiteral("Check All"),
                    QKeySequence(Qt::CTRL | Qt::Key_A), PanelIcon(TPanelIcon::CheckAll));
    QAction* uncheckAll =
        MakeCommand(TListCommand::UncheckAll, QStringLiteral("Uncheck All"),
                    QKeySequence(Qt::CTRL | Qt::Key_U), PanelIcon(TPanelIcon::UncheckAll));
    QAction* invert =
        MakeCommand(TListCommand::InvertChecks, QStringLiteral("Invert Checks"),
                    QKeySequence(Qt::CTRL | Qt::Key_I), PanelIcon(TPanelIcon::InvertChecks));
    QAction* captions =
        MakeCommand(TListCommand::ShowCaptions, QStringLiteral("Show Button Captions"),
                    QKeySequence(Qt::CTRL | Qt::Key_C), QIcon());
    captions->setCheckable(true);
    captions->setChecked(true);
    // A checkable action marks itself before it reports; the bar follows the mark.
    disconnect(captions, &QAction::triggered, nullptr, nullptr);
    connect(captions, &QAction::toggled, this, [this](bool On) {
        for (QToolBar* bar : bars_)
            bar->setToolButtonStyle(On ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
        RebuildCommandBar();
    });
    remove->setEnabled(false);
    edit->setEnabled(false);
    AddCommandGroup({add, remove, edit});
    AddCommandGroup({checkAll, uncheckAll, invert});

    setContextMenuPolicy(Qt::CustomContextMenu);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { ContextMenuRequested(mapToGlobal(At)); });
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& At) { ContextMenuRequested(view_->viewport()->mapToGlobal(At)); });

    connect(view_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListChange(); });
    connect(model_, &TCheckListModel::StatesChanged, this, [this] {
        ListChange();
        emit CheckStateChanged();
    });
    connect(view_->header(), &QHeaderView::sectionClicked, this,
            [this](int Column) { ListColumnClick(Column); });

    resize(416, 199);
}

TCheckList::~TCheckList() {
    registry->erase(std::find(registry->begin(), registry->end(), this));
    if (registry->empty()) {
        delete registry;
        registry = nullptr;
    }
}

std::string TCheckList::Name() const {
    return objectName().toStdString();
}

void TCheckList::SetCaption(const QString& Caption) {
    label_->setText(Caption);
}

void TCheckList::SetCommandBarRows(int Rows) {
    commandBarRows_ = std::clamp(Rows, 1, 2);
    RebuildCommandBar();
}

bool TCheckList::ButtonCaptionsShown() const {
    return Action(TListCommand::ShowCaptions)->isChecked();
}

QToolBar* TCheckList::CommandBar(int Row) const {
    return bars_.at(Row);
}

// ---- Entries ---------------------------------------------------------------

int TCheckList::AddEntryWithStateIndex(const std::string& Caption, TRowState State) {
    TCheckListEntry entry;
    entry.Caption = Caption;
    entry.State = State;
    model_->Append(entry);
    model_->Flush();
    emit EntriesChanged();
    return Count() - 1;
}

int TCheckList::AddEntry(const std::string& Caption, bool Checked) {
    return AddEntryWithStateIndex(Caption, Checked ? CheckedRow : UncheckedRow);
}

void TCheckList::AddCheckEntries(const std::vector<CheckEntry>& Entries) {
    std::vector<TCheckListEntry> entries;
    entries.reserve(Entries.size());
    for (const CheckEntry& loaded : Entries) {
        TCheckListEntry entry;
        entry.Caption = loaded.Caption;
        entry.State = loaded.State;
        entries.push_back(std::move(entry));
    }
    AppendEntries(entries);
}

void TCheckList::AppendEntries(const std::vector<TCheckListEntry>& Entries) {
    model_->AppendMany(Entries);
    emit EntriesChanged();
}

// Both may take the selection away without a selection signal, so the
// derived panels' enabling (Play) is refreshed here as well.
void TCheckList::RemoveEntry(int Row) {
    model_->Remove(Row);
    ListChange();
    emit EntriesChanged();
}

void TCheckList::RemoveEntries(const std::vector<int>& Rows) {
    model_->RemoveMany(Rows);
    ListChange();
    emit EntriesChanged();
}

void TCheckList::Clear() {
    model_->Clear();
    ListChange();
    emit EntriesChanged();
}

std::vector<TCheckListEntry> TCheckList::Entries() const {
    std::vector<TCheckListEntry> result;
    result.reserve(Count());
    for (int row = 0; row < Count(); ++row)
        result.push_back(model_->Entry(row));
    return result;
}

std::vector<CheckEntry> TCheckList::CheckEntries() const {
    std::vector<CheckEntry> result;
    result.reserve(Count());
    for (int row = 0; row < Count(); ++row)
        result.push_back(CheckEntry{model_->Caption(row), model_->State(row).Checked()
                                                              ? CheckState::Checked
                                                              : CheckState::Unchecked});
    return result;
}

void TCheckList::GetCheckedCaptions(std::vector<std::string>& Captions) const {
    for (int row = 0; row < Count(); ++row)
        if (model_->State(row).Checked())
            Captions.push_back(model_->Caption(row));
}

int TCheckList::SelectedIndex() const {
    // Of several selected entries, the one with the focus frame counts.
    const QItemSelectionModel* selection = view_->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row()))
        return current.row();
    const std::vector<int> rows = SelectedRows();
    return rows.empty() ? -1 : rows.front();
}

std::vector<int> TCheckList::SelectedRows() const {
    std::vector<int> rows;
    for (const QModelIndex& index : view_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TCheckList::AddShortcutScope(QWidget* Scope) {
    for (const auto& [command, action] : actions_)
        Scope->addAction(action);
}

void TCheckList::MoveSelected(int Step) {
    const std::vector<int> rows = SelectedRows();
    if (!dragReorder_ || rows.size() != 1)
        return;
    const int target = rows.front() + Step;
    if (target < 0 || target >= Count())
        return;
    model_->Move(rows.front(), target);
    SetSelectedIndex(target);
    emit EntriesChanged();
}

void TCheckList::SetSelectedStates(const std::function<TRowState(TRowState OldState)>& NewState) {
    for (int row : SelectedRows())
        model_->SetState(row, NewState(model_->State(row)));
}

bool TCheckList::eventFilter(QObject* Watched, QEvent* Event) {
    // Enter presses a focused command button, as Space does.
    if (Event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (auto* button = qobject_cast<QToolButton*>(Watched);
            button && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(Watched, Event);
}

void TCheckList::SetSelectedIndex(int Row) {
    model_->Flush();
    if (Row < 0 || Row >= Count()) {
        view_->selectionModel()->clearSelection();
        return;
    }
    view_->selectionModel()->setCurrentIndex(
        model_->index(Row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TCheckList::AppendSummary(std::vector<std::string>& Lines) const {
    Lines.push_back(Name() + ":");
    bool any = false;
    for (const TCheckListEntry& entry : Entries()) {
        const std::string text = EntrySummaryText(entry);
        if (text.empty())
            continue;
        Lines.push_back("\t" + text);
        any = true;
    }
    if (!any)
        Lines.push_back("\t<none>");
    Lines.push_back(std::string());
}

std::string TCheckList::EntrySummaryText(const TCheckListEntry& Entry) const {
    return "\"" + Entry.Caption + "\"";
}

// ---- Store -----------------------------------------------------------------

void TCheckList::LoadFromStore(const SettingsStore& Store) {
    AddCheckEntries(LoadCheckListSection(Store, Name()));
}

void TCheckList::SaveToStore(SettingsStore& Store) const {
    SaveListSection(Store, Name(), CheckEntries());
}

void TCheckList::LoadAllLists(const SettingsStore& Store) {
    for (TCheckList* panel : LivePanels())
        if (panel->Persistent())
            panel->LoadFromStore(Store);
}

void TCheckList::SaveAllLists(SettingsStore& Store) {
    for (TCheckList* panel : LivePanels())
        if (panel->Persistent())
            panel->SaveToStore(Store);
}

std::vector<TCheckList*> TCheckList::LivePanels() {
    return registry ? *registry : std::vector<TCheckList*>();
}

// ---- Commands --------------------------------------------------------------

QAction* TCheckList::MakeCommand(TListCommand Command, const QString& Caption,
                                 const QKeySequence& Key, const QIcon& Icon) {
    auto* action = new QAction(Icon, Caption, this);
    action->setToolTip(Caption);
    action->setStatusTip(Caption);
    action->setShortcut(Key);
    // The shortcut acts on the panel that has the keyboard focus.
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this, [this, Command] { Run(Command); });
    actions_[Command] = action;
    return action;
}

void TCheckList::AddCommandGroup(const std::vector<QAction*>& Group) {
    groups_.push_back(Group);
    RebuildCommandBar();
    RebuildContextMenu();
}

void TCheckList::RebuildCommandBar() {
    std::vector<const std::vector<QAction*>*> shown;
    for (const auto& group : groups_)
        if (std::any_of(group.begin(), group.end(), [](QAction* a) { return a->isVisible(); }))
            shown.push_back(&group);
    for (QToolBar* bar : bars_)
        bar->clear();
    for (size_t i = 0; i < shown.size(); ++i) {
        QToolBar* bar = bars_[commandBarRows_ == 2 && i > 0 ? 1 : 0];
        if (!bar->actions().isEmpty())
            bar->addSeparator();
        for (QAction* action : *shown[i]) {
            if (!action->isVisible())
                continue;
            bar->addAction(action);
            if (QWidget* button = bar->widgetForAction(action)) {
                button->setMinimumWidth(ButtonCaptionsShown() ? ButtonWidth : 0);
                // Every command is reachable with Tab, and Enter presses it.
                button->setFocusPolicy(Qt::TabFocus);
                button->installEventFilter(this);
            }
        }
    }
    for (QToolBar* bar : bars_)
        bar->setVisible(!bar->actions().isEmpty());
}

void TCheckList::RebuildContextMenu() {
    menu_->clear();
    menu_->addAction(Action(TListCommand::ShowCaptions));
    for (const auto& group : groups_) {
        menu_->addSeparator();
        for (QAction* action : group)
            menu_->addAction(action);
    }
    if (!menuCommands_.empty()) {
        menu_->addSeparator();
        for (QAction* action : menuCommands_)
            menu_->addAction(action);
    }
}

void TCheckList::AddMenuCommands(const std::vector<QAction*>& Commands) {
    for (QAction* action : Commands) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
        menuCommands_.push_back(action);
    }
    RebuildContextMenu();
}

void TCheckList::ContextMenuRequested(const QPoint& Position) {
    menu_->popup(Position);
}

QAction* TCheckList::Action(TListCommand Command) const {
    auto found = actions_.find(Command);
    return found == actions_.end() ? nullptr : found->second;
}

void TCheckList::OverrideCommand(TListCommand Command, std::function<void()> Handler) {
    overrides_[Command] = std::move(Handler);
}

void TCheckList::Run(TListCommand Command) {
    auto found = overrides_.find(Command);
    if (found != overrides_.end() && found->second)
        found->second();
    else
        Execute(Command);
}

void TCheckList::Execute(TListCommand Command) {
    switch (Command) {
    case TListCommand::Add:
        AddExecute();
        break;
    case TListCommand::Remove:
        RemoveExecute();
        break;
    case TListCommand::Edit:
        EditExecute();
        break;
    case TListCommand::CheckAll:
        CheckAllExecute();
        break;
    case TListCommand::UncheckAll:
        UncheckAllExecute();
        break;
    case TListCommand::InvertChecks:
        InvertChecksExecute();
        break;
    case TListCommand::ShowCaptions:
        ShowCaptionsExecute();
        break;
    default:
        break;
    }
}

void TCheckList::AddExecute() {
    std::string text;
    if (AddPrompt(text, false, GetEditMask(), ItemNoun(), this))
        AddEntry(text, true);
}

void TCheckList::RemoveExecute() {
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const int position = rows.front();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        model_->Remove(*row);
    // The next entry moves up into the place and becomes the selected one.
    if (position < Count())
        SetSelectedIndex(position);
    else
        view_->selectionModel()->clearSelection();
    UpdateCommandEnabling();
    ListChange();
    emit EntriesChanged();
}

void TCheckList::EditExecute() {
    const int position = SelectedIndex();
    if (position < 0)
        return;
    std::string text = model_->Caption(position);
    if (EditPrompt(text, false, GetEditMask(), ItemNoun(), this))
        model_->SetCaption(position, text);
}

void TCheckList::CheckAllExecute() {
    model_->SetAllStates([](TRowState) { return CheckedRow; });
}

void TCheckList::UncheckAllExecute() {
    model_->SetAllStates([](TRowState) { return UncheckedRow; });
}

void TCheckList::InvertChecksExecute() {
    model_->SetAllStates(
        [](TRowState State) { return State.Checked() ? UncheckedRow : CheckedRow; });
}

void TCheckList::ShowCaptionsExecute() {
    Action(TListCommand::ShowCaptions)->toggle();
}

void TCheckList::UpdateCommandEnabling() {
    const bool selected = SelectedIndex() >= 0;
    Action(TListCommand::Remove)->setEnabled(selected);
    Action(TListCommand::Edit)->setEnabled(selected);
}

void TCheckList::ShowCountColumn() {
    TListDisplayPolicy display = model_->Display();
    display.CountColumn = 1;
    model_->SetDisplay(std::move(display));
    model_->SetHeaders({QString(), QString()});
    QHeaderView* header = view_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void TCheckList::SetColumnHeaders(const QStringList& Headers, const std::vector<int>& Widths) {
    model_->SetHeaders(Headers);
    QHeaderView* header = view_->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (size_t i = 0; i < Widths.size(); ++i)
        header->resizeSection(static_cast<int>(i), Widths[i]);
}

// ---- List events -----------------------------------------------------------

void TCheckList::ListChange() {
    UpdateCommandEnabling();
}

void TCheckList::ListKeyDown(QKeyEvent* Event) {
    const int key = Event->key();
    const Qt::KeyboardModifiers modifiers = Event->modifiers() & ~Qt::KeypadModifier;
    if (key == Qt::Key_Delete && modifiers == Qt::NoModifier)
        Action(TListCommand::Remove)->trigger();
    else if (key == Qt::Key_F2 && modifiers == Qt::NoModifier)
        Action(TListCommand::Edit)->trigger();
    else if ((key == Qt::Key_Up || key == Qt::Key_Down) && modifiers == Qt::ControlModifier)
        MoveSelected(key == Qt::Key_Up ? -1 : 1);
    else if (key == Qt::Key_Space && modifiers == Qt::NoModifier && ShowsCheckBoxes()) {
        // Every selected entry takes the opposite of the focused entry's check.
        const int focused = SelectedIndex();
        if (focused < 0)
            return;
        const TRowState state = model_->State(focused).Checked() ? UncheckedRow : CheckedRow;
        SetSelectedStates([state](TRowState) { return state; });
    }
}

void TCheckList::ListMouseDown(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton)
        return;
    const QModelIndex pressed = view_->indexAt(Event->position().toPoint());
    const int selected = SelectedIndex();
    if (selected >= 0 && pressed.isValid() && pressed.row() == selected)
        dragging_ = true;
}

void TCheckList::ListMouseMove(QMouseEvent* Event) {
    if (!dragging_ || !dragReorder_ || !(Event->buttons() & Qt::LeftButton))
        return;
    const int selected = SelectedIndex();
    if (selected < 0)
        return;
    const QModelIndex target = view_->indexAt(Event->position().toPoint());
    if (!target.isValid() || target.row() == selected)
        return;
    // The dragged entry lands on the row under the pointer; those between shift by one.
    model_->Move(selected, target.row());
    SetSelectedIndex(target.row());
    emit EntriesChanged();
}

void TCheckList::ListMouseUp(QMouseEvent*) {
    dragging_ = false;
}

void TCheckList::ListDblClick() {
    // A double-click on an entry's text edits it; on its check box or state
    // icon it stays a click.
    if (doubleClickOnCaption_ && SelectedRows().size() == 1)
        Action(TListCommand::Edit)->trigger();
}

void TCheckList::ListColumnClick(int) {}
