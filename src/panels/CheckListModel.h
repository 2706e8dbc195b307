// The item model under every list panel: a vector of plain entries with O(1)
// appends (published to the view in batches), a running checked count, and
// moves and sorts that keep the selection on its entry.
#pragma once

#include "model/States.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The state index of a checked row in a check-box panel.
inline constexpr int CheckedIndex = ToStored(CheckState::Checked);
inline constexpr int UncheckedIndex = ToStored(CheckState::Unchecked);

// One row. Texts are raw bytes; only the view decodes them.
struct TCheckListEntry {
    std::string Caption;
    int State = CheckedIndex;           // the state's index (a check state's value in check-box
                                        // panels, a criterion state's in criterion panels)
    std::array<std::string, 6> Columns; // further column texts (title ... track)
    int IconIndex = -1;                 // position in the panel's entry icon set; -1 none
    std::int32_t Value = 0;             // attached value (the playlist keeps the file size)
};

// How the model shows its rows; the panel that owns the model fills it in.
struct TListDisplayPolicy {
    // A check box in the first column; otherwise the state shows as an icon.
    bool CheckBoxes = true;
    // Captions are paths, shown in the file system's encoding; otherwise mask text.
    bool PathCaptions = false;
    // Without check boxes: the icon of each state index.
    std::vector<QIcon> StateIcons;
    // The icon set an entry's IconIndex points into (file-type icons).
    std::vector<QIcon> EntryIcons;
    // Shown for every entry without another icon (the folder icon); null: none.
    QIcon CommonIcon;
};

class TCheckListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TCheckListModel(QObject* Parent = nullptr);

    const TListDisplayPolicy& Display() const { return display_; }
    // Replaces the policy and has the view draw every row again.
    void SetDisplay(TListDisplayPolicy Display);
    // Adds one icon to the entry icon set; returns its index.
    int AddEntryIcon(const QIcon& Icon);

    int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& Index, int Role) const override;
    bool setData(const QModelIndex& Index, const QVariant& Value, int Role) override;
    Qt::ItemFlags flags(const QModelIndex& Index) const override;
    QVariant headerData(int Section, Qt::Orientation Orientation, int Role) const override;

    void SetHeaders(const QStringList& Headers);

    const std::vector<TCheckListEntry>& Entries() const { return entries_; }
    int Count() const { return static_cast<int>(entries_.size()); }
    int CheckedCount() const { return checked_; }

    // Appends at the end. The row reaches the view at the next batch or Flush.
    void Append(TCheckListEntry Entry);
    void AppendMany(std::vector<TCheckListEntry> Entries);
    // Publishes rows appended since the last batch to the view.
    void Flush();

    void SetState(int Row, int State);
    void SetAllStates(const std::function<int(int OldState)>& NewState);
    void SetCaption(int Row, std::string Caption);
    void SetColumns(int Row, const std::array<std::string, 6>& Columns);
    void SetIconIndex(int Row, int IconIndex);
    void SetValue(int Row, std::int32_t Value);
    void Remove(int Row);
    // Removes the rows (ascending, in range) in one pass.
    void RemoveMany(const std::vector<int>& Rows);
    void Clear();
    // Moves the entry at From so that it ends at row To; those between shift by one.
    void Move(int From, int To);
    // Stable sort of the whole list; Less(a, b) true when a goes first.
    void Sort(const std::function<bool(const TCheckListEntry&, const TCheckListEntry&)>& Less);
    // Stable sort by row numbers of the current order, for callers that precompute keys.
    void SortRows(const std::function<bool(int RowA, int RowB)>& Less);
    // Puts the entries in the given order: Order[k] is the current row of the new row k.
    void ApplyOrder(const std::vector<int>& Order);

signals:
    // Any change of an entry's state (check box click, Check All, AdvanceState ...).
    void StatesChanged();

private:
    void Changed(int First, int Last);
    QVariant Decoration(const TCheckListEntry& Entry) const;

    TListDisplayPolicy display_;
    std::vector<TCheckListEntry> entries_;
    int published_ = 0;
    int checked_ = 0;
    QStringList headers_;
    QTimer batchTimer_;
};
