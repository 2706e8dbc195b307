// The list panel every wizard page uses: a checkable list with a command bar and
// context menu (Add, Remove, Edit, the check commands), drag reordering, its
// summary block and its section in the settings store.
#pragma once

#include "panels/CheckListModel.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QMouseEvent;
class QKeyEvent;
class QToolBar;
class QVBoxLayout;
class SettingsStore;
struct CheckEntry;
class TCheckListView;

// Commands a panel may carry. Not every panel shows every command.
enum class TListCommand {
    Add,
    Remove,
    Edit,
    CheckAll,
    UncheckAll,
    InvertChecks,
    ShowCaptions,
    IncludeAll,
    ExcludeAll,
    IgnoreAll,
    Play,
    Stop,
};

class TCheckList : public QWidget {
    Q_OBJECT
public:
    // Name is the panel's component name: its summary heading and store section.
    explicit TCheckList(const QString& Name, QWidget* Parent = nullptr);
    ~TCheckList() override;

    std::string Name() const;

    // ---- Settings the owner makes
    const QString& ItemNoun() const { return itemNoun_; }
    void SetItemNoun(const QString& Noun) { itemNoun_ = Noun; }
    bool DragReorder() const { return dragReorder_; }
    void SetDragReorder(bool On) { dragReorder_ = On; }
    virtual bool Persistent() const { return persistent_; }
    virtual void SetPersistent(bool On) { persistent_ = On; }
    // The caption label above the list (the main window hides it).
    QLabel* CaptionLabel() const { return label_; }
    void SetCaption(const QString& Caption);
    // The command bar in one row or in two (broken at the first separator).
    void SetCommandBarRows(int Rows);
    int CommandBarRows() const { return commandBarRows_; }
    bool ButtonCaptionsShown() const;

    // ---- Entries
    int Count() const { return model_->Count(); }
    int CheckedCount() const { return model_->CheckedCount(); }
    // Copies of rows; a loop over a long list reads the model's fields instead.
    TCheckListEntry Entry(int Row) const { return model_->Entry(Row); }
    std::vector<TCheckListEntry> Entries() const;
    // Appends at the end; returns the new entry's row.
    int AddEntryWithStateIndex(const std::string& Caption, TRowState State);
    int AddEntry(const std::string& Caption, bool Checked);
    void AddCheckEntries(const std::vector<CheckEntry>& Entries);
    bool Checked(int Row) const { return model_->State(Row).Checked(); }
    void SetChecked(int Row, bool On) { model_->SetState(Row, On ? CheckedRow : UncheckedRow); }
    void SetStateIndex(int Row, TRowState State) { model_->SetState(Row, State); }
    void SetEntryCaption(int Row, const std::string& Caption) { model_->SetCaption(Row, Caption); }
    void SetEntryValue(int Row, std::int32_t Value) { model_->SetValue(Row, Value); }
    void RemoveEntry(int Row);
    // Rows ascending.
    void RemoveEntries(const std::vector<int>& Rows);
    void Clear();
    // Captions and check states as the settings layout keeps them.
    std::vector<CheckEntry> CheckEntries() const;
    // Captions (raw bytes) of the checked entries, in list order.
    void GetCheckedCaptions(std::vector<std::string>& Captions) const;

    // The focused entry when it is selected, else the first selected; -1 when none.
    int SelectedIndex() const;
    // Every selected entry, in list order.
    std::vector<int> SelectedRows() const;
    void SetSelectedIndex(int Row);

    // The panel's block of the Summary page.
    void AppendSummary(std::vector<std::string>& Lines) const;

    // A narrow column beside the captions for what each entry comes to
    // (Model()->SetCounts fills it).
    void ShowCountColumn();

    // ---- Store
    virtual void LoadFromStore(const SettingsStore& Store);
    virtual void SaveToStore(SettingsStore& Store) const;
    // Every live persistent panel, in creation order. SaveAllLists does not flush the store.
    static void LoadAllLists(const SettingsStore& Store);
    static void SaveAllLists(SettingsStore& Store);
    static std::vector<TCheckList*> LivePanels();

    // ---- Commands
    QAction* Action(TListCommand Command) const;
    // The command shortcuts also act while the focus is anywhere in Scope (the page).
    void AddShortcutScope(QWidget* Scope);
    // Moves the one selected entry a row up (-1) or down (1), where dragging is allowed.
    void MoveSelected(int Step);
    // The view says whether the double-click that follows was on an entry's text.
    void NoteDoubleClick(bool OnCaption) { doubleClickOnCaption_ = OnCaption; }
    // Whether the row's picture is a control (a state icon) rather than decoration.
    virtual bool DecorationIsControl() const { return false; }
    // Commands of the owner at the end of the context menu (not on the bar);
    // their shortcuts act while the panel has the focus.
    void AddMenuCommands(const std::vector<QAction*>& Commands);
    // Binds the owner's own handler to a command (it may call the panel's *Execute).
    void OverrideCommand(TListCommand Command, std::function<void()> Handler);
    virtual void AddExecute();
    virtual void RemoveExecute();
    virtual void EditExecute();
    virtual void CheckAllExecute();
    virtual void UncheckAllExecute();
    virtual void InvertChecksExecute();
    void ShowCaptionsExecute();

    virtual std::string GetEditMask() const { return {}; }
    virtual std::string EntrySummaryText(const TCheckListEntry& Entry) const;

    // The view and model, for owners and tests.
    TCheckListView* View() const { return view_; }
    TCheckListModel* Model() const { return model_; }
    QToolBar* CommandBar(int Row) const;
    QMenu* ContextMenu() const { return menu_; }
    bool Dragging() const { return dragging_; }

    bool ShowsCheckBoxes() const { return model_->Display().CheckBoxes; }

    // ---- List events (the view forwards them)
    virtual void ListChange();
    virtual void ListKeyDown(QKeyEvent* Event);
    virtual void ListMouseDown(QMouseEvent* Event);
    virtual void ListMouseMove(QMouseEvent* Event);
    virtual void ListMouseUp(QMouseEvent* Event);
    virtual void ListDblClick();
    virtual void ListColumnClick(int Column);

signals:
    // Rows were added, removed, moved or sorted.
    void EntriesChanged();
    // The state of some entry changed.
    void CheckStateChanged();

protected:
    // A command with caption = hint, shortcut (acting on the focused panel) and icon.
    QAction* MakeCommand(TListCommand Command, const QString& Caption, const QKeySequence& Key,
                         const QIcon& Icon);
    // Commands appear in groups; groups are separated in the bar and the menu.
    void AddCommandGroup(const std::vector<QAction*>& Group);
    void RebuildCommandBar();
    void RebuildContextMenu();
    void UpdateCommandEnabling();
    // Runs a command: the owner's handler when one is bound, else Execute.
    void Run(TListCommand Command);
    // The panel's own handler of a command; derived panels add theirs.
    virtual void Execute(TListCommand Command);
    void SetColumnHeaders(const QStringList& Headers, const std::vector<int>& Widths);
    void SetSelectedStates(const std::function<TRowState(TRowState OldState)>& NewState);
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    // Appends entries the model already holds in its own form.
    void AppendEntries(const std::vector<TCheckListEntry>& Entries);

private:
    void ContextMenuRequested(const QPoint& Position);

    QString itemNoun_ = QStringLiteral("item");
    bool dragReorder_ = true;
    bool persistent_ = true;
    bool dragging_ = false;
    bool doubleClickOnCaption_ = false;
    int commandBarRows_ = 2;
    QLabel* label_ = nullptr;
    TCheckListView* view_ = nullptr;
    TCheckListModel* model_ = nullptr;
    QVBoxLayout* barLayout_ = nullptr;
    std::vector<QToolBar*> bars_;
    QMenu* menu_ = nullptr;
    std::map<TListCommand, QAction*> actions_;
    std::map<TListCommand, std::function<void()>> overrides_;
    std::vector<std::vector<QAction*>> groups_;
    std::vector<QAction*> menuCommands_;
};
