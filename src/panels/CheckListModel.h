// The item model under every list panel: a view of a list store (the rows,
// their texts, counts and orders) that publishes appended rows to the view in
// batches and keeps the selection on its entry through moves and sorts.
#pragma once

#include "lists/ListStore.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    // The text of a row's note: shown in NoteColumn (when it is one of the
    // headers) and as every cell's tooltip. Empty: rows have no notes.
    std::function<QString(std::uint32_t Note)> NoteText;
    int NoteColumn = -1;
    // The place of each note's text in the order NoteColumn sorts by, by note.
    std::function<std::vector<std::uint32_t>()> NoteRanks;
    // A mark after the caption of a row whose note calls for one (a folder
    // "(not found)"); such rows are greyed. Empty: no marks.
    std::function<QString(std::uint32_t Note)> CaptionMark;
    // The tooltip of a row by its state (a state icon's meaning), where its
    // note has none; empty: none.
    std::vector<QString> StateTips;
    // The column that shows each row's length as m:ss (blank below zero); -1: none.
    int LengthColumn = -1;
    // The column that shows the counts SetCounts gives, right-aligned; -1: none.
    int CountColumn = -1;
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

    const TListStore& Store() const { return store_; }
    int Count() const { return store_.Count(); }
    int CheckedCount() const { return store_.CheckedCount(); }
    // A copy of one row's texts and values.
    TCheckListEntry Entry(int Row) const { return store_.Entry(Row); }
    std::string Caption(int Row) const { return store_.Caption(Row); }
    TRowState State(int Row) const { return store_.Row(Row).State; }
    // The text of column 1 ... ListTextColumns (0 is the caption).
    std::string_view ColumnText(int Row, int Column) const {
        return store_.ColumnText(Row, Column);
    }
    int IconIndex(int Row) const { return store_.Row(Row).IconIndex; }
    std::int32_t Value(int Row) const { return store_.Row(Row).Value; }

    // Appends at the end. The row reaches the view at the next batch or Flush.
    void Append(const TCheckListEntry& Entry);
    // A dropped row is unchecked whatever State says; while dropped rows are
    // hidden it goes aside at once.
    void Append(std::string_view Caption,
                const std::array<std::string_view, ListTextColumns>& Columns, TRowState State,
                int IconIndex, std::uint32_t Note = 0, bool Dropped = false);
    void AppendMany(const std::vector<TCheckListEntry>& Entries);
    // Publishes rows appended since the last batch to the view.
    void Flush();

    void SetState(int Row, TRowState State);
    void SetAllStates(const std::function<TRowState(TRowState OldState)>& NewState);
    void SetCaption(int Row, std::string Caption);
    void SetColumns(int Row, const std::array<std::string_view, ListTextColumns>& Columns);
    void SetIconIndex(int Row, int IconIndex);
    void SetValue(int Row, std::int32_t Value) { store_.SetValue(Row, Value); }
    void SetNote(int Row, std::uint32_t Note);
    std::uint32_t Note(int Row) const { return store_.Row(Row).Note; }
    // Seconds, or LengthUnknown / LengthNotRead.
    std::int32_t Length(int Row) const { return store_.Row(Row).Seconds; }
    void SetLength(int Row, std::int32_t Seconds);
    // The known lengths of the checked rows added up, and how many rows they are.
    std::int64_t CheckedSeconds() const { return store_.CheckedSeconds(); }
    int CheckedWithLength() const { return store_.CheckedWithLength(); }

    bool Dropped(int Row) const { return store_.Row(Row).Dropped; }
    // Dropped rows among the rows shown.
    int DroppedCount() const { return store_.DroppedCount(); }
    // Hidden dropped rows wait aside, each with its place in the whole list,
    // and come back to those places (as near as rows removed or moved since
    // allow) when shown again.
    void SetDroppedShown(bool Shown);
    bool DroppedShown() const { return store_.DroppedShown(); }
    int HiddenCount() const { return store_.HiddenCount(); }
    void Remove(int Row);
    // Removes the rows (ascending, in range) in one pass.
    void RemoveMany(const std::vector<int>& Rows);
    void Clear();
    // Moves the entry at From so that it ends at row To; those between shift by one.
    void Move(int From, int To);
    // Stable sort by row numbers of the current order.
    void SortRows(const std::function<bool(int RowA, int RowB)>& Less);

    // Sort keys: Column 0 orders captions as paths, component by component
    // (a folder's files and subfolders among each other by name), further
    // columns by their texts; each text's key is made once, when it first
    // arrives. Without a key maker a column sorts by its bytes.
    void SetCaptionKeyMakers(TTextPool::TKeyMaker Folder, TTextPool::TKeyMaker Name);
    void SetColumnKeyMaker(int Column, TTextPool::TKeyMaker Maker);
    // The order of a stable sort by one column's keys: Order[k] is the current
    // row of the new row k; equal keys keep their order in either direction.
    std::vector<int> ColumnOrder(int Column, bool Ascending) const;
    // Bytes the rows and their texts hold.
    std::size_t MemoryBytes() const { return store_.MemoryBytes(); }
    // Puts the entries in the given order: Order[k] is the current row of the new row k.
    void ApplyOrder(const std::vector<int>& Order);

    // What each entry comes to (the files a mask matches), shown in the
    // count column: one text and one tooltip per row, in row order; rows
    // beyond them show nothing. Stale counts are greyed until new ones come.
    void SetCounts(std::vector<QString> Texts, std::vector<QString> Tips, bool Stale);
    void SetCountsStale();
    bool CountsStale() const { return countsStale_; }
    QString CountText(int Row) const;

signals:
    // Any change of an entry's state (check box click, Check All, AdvanceState ...).
    void StatesChanged();

private:
    void Changed(int First, int Last);
    QVariant Decoration(const TListRow& Row) const;

    TListDisplayPolicy display_;
    TListStore store_;
    int published_ = 0;
    QStringList headers_;
    QTimer batchTimer_;
    std::vector<QString> countTexts_, countTips_;
    bool countsStale_ = false;
};
