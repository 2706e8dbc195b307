// The rows of a list panel without any of the toolkit: compact rows whose texts
// live in pools, a running checked count and checked length, dropped rows
// that can wait aside while hidden, and orders made from collation ranks.
// The Qt item model is a thin view of this store.
#pragma once

#include "lists/RowState.h"
#include "lists/TextPool.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Text columns after the caption (the playlist's title ... track, format).
inline constexpr int ListTextColumns = 7;

// A row's length in seconds; below zero it is blank: read and unknown, or not read yet.
inline constexpr std::int32_t LengthUnknown = -1;
inline constexpr std::int32_t LengthNotRead = -2;

// One row as callers hand it in and read it back. Texts are raw bytes; only
// the view decodes them.
struct TCheckListEntry {
    std::string Caption;
    TRowState State; // a check state in check-box panels, a criterion state in criterion panels
    std::array<std::string, ListTextColumns> Columns; // further column texts
    int IconIndex = -1;     // position in the panel's entry icon set; -1 none
    std::int32_t Value = 0; // attached value (the playlist keeps the file size)
};

// One row as the store keeps it: a million of them cost tens of megabytes.
// Texts are ids in the store's pools; the caption is split at its last '/',
// so that files of one folder share the folder's text. A further column is
// one more id in Texts (and a pool), a number or a flag one more field here.
struct TListRow {
    TTextPool::Id Folder = TTextPool::EmptyId; // the caption up to and with its last '/'
    TTextPool::Id Name = TTextPool::EmptyId;   // the rest of the caption
    std::array<TTextPool::Id, ListTextColumns> Texts{};
    std::int32_t Value = 0;
    std::uint32_t Note = 0; // the panel's note of the row (the playlist: why it is there)
    std::int32_t Seconds = LengthNotRead; // the playlist's Length column
    std::int16_t IconIndex = -1;
    TRowState State;
    // A file the search dropped, shown for its reason: never checked, never saved.
    bool Dropped = false;
};

// What a column's order is made from.
enum class TColumnSort {
    Caption, // paths, component by component, by the caption key makers
    Text,    // the column's text keys
    Length,  // seconds; blank lengths before every known one
    Note,    // the note's place among the notes' texts
    None,    // nothing: the order stays as it is
};

class TListStore {
public:
    TListStore();

    int Count() const { return static_cast<int>(rows_.size()); }
    int CheckedCount() const { return checked_; }
    const TListRow& Row(int Row) const { return rows_.at(Row); }
    // A copy of one row's texts and values.
    TCheckListEntry Entry(int Row) const;
    std::string Caption(int Row) const;
    // The text of column 1 ... ListTextColumns (0 is the caption).
    std::string_view ColumnText(int Row, int Column) const;
    std::string_view FolderText(TTextPool::Id Folder) const { return folders_.Text(Folder); }
    std::string_view NameText(TTextPool::Id Name) const { return names_.Text(Name); }
    std::string_view Text(int Column, TTextPool::Id Text) const {
        return columns_[Column - 1].Text(Text);
    }

    // Appends at the end; returns false when the row went aside instead (a
    // dropped row while dropped rows are hidden). A dropped row is unchecked
    // whatever State says.
    bool Append(std::string_view Caption,
                const std::array<std::string_view, ListTextColumns>& Columns, TRowState State,
                int IconIndex, std::uint32_t Note = 0, bool Dropped = false);
    void Append(const TCheckListEntry& Entry);
    void Reserve(std::size_t Rows) { rows_.reserve(Rows); }

    // Each returns whether anything changed. A dropped row keeps its state.
    bool SetState(int Row, TRowState State);
    bool SetAllStates(const std::function<TRowState(TRowState OldState)>& NewState);
    // An edited row's old texts stay in the pools until the list is cleared:
    // edits are few, and the pools never move a text.
    void SetCaption(int Row, std::string_view Caption);
    void SetColumns(int Row, const std::array<std::string_view, ListTextColumns>& Columns);
    void SetIconIndex(int Row, int IconIndex);
    void SetValue(int Row, std::int32_t Value) { rows_.at(Row).Value = Value; }
    void SetNote(int Row, std::uint32_t Note) { rows_.at(Row).Note = Note; }
    // Seconds, or LengthUnknown / LengthNotRead.
    void SetLength(int Row, std::int32_t Seconds);
    // The known lengths of the checked rows added up, and how many rows they are.
    std::int64_t CheckedSeconds() const { return checkedSeconds_; }
    int CheckedWithLength() const { return checkedTimed_; }

    // Dropped rows among the rows shown.
    int DroppedCount() const { return dropped_; }
    // Hidden dropped rows wait aside, each with its place in the whole list,
    // and come back to those places (as near as rows removed or moved since
    // allow) when shown again.
    void SetDroppedShown(bool Shown);
    bool DroppedShown() const { return droppedShown_; }
    int HiddenCount() const { return static_cast<int>(aside_.size()); }
    // Whether SetDroppedShown(Shown) would change the rows shown.
    bool DroppedShownChangesRows(bool Shown) const;

    // Row in range.
    void Remove(int Row);
    // Removes the rows (ascending, in range) in one pass.
    void RemoveMany(const std::vector<int>& Rows);
    void Clear();
    // Moves the entry at From (in range) so that it ends at row To (in range);
    // those between shift by one.
    void Move(int From, int To);
    // Whether Order names every row exactly once.
    bool IsOrder(const std::vector<int>& Order) const;
    // Puts the entries in the given order: Order[k] is the current row of the
    // new row k. Something that is not an order of the rows changes nothing
    // and gives false.
    bool ApplyOrder(const std::vector<int>& Order);

    // Sort keys: captions order as paths, component by component (a folder's
    // files and subfolders among each other by name), further columns by their
    // texts; each text's key is made once, when it first arrives. Without a
    // key maker a column sorts by its bytes.
    void SetCaptionKeyMakers(TTextPool::TKeyMaker Folder, TTextPool::TKeyMaker Name);
    void SetColumnKeyMaker(int Column, TTextPool::TKeyMaker Maker);
    // The order of a stable sort: Order[k] is the current row of the new row
    // k; equal keys keep their order in either direction. Column is the text
    // column for TColumnSort::Text; NoteRanks gives each note's place for
    // TColumnSort::Note.
    std::vector<int> ColumnOrder(TColumnSort Sort, int Column, bool Ascending,
                                 const std::vector<std::uint32_t>& NoteRanks = {}) const;
    // Bytes the rows and their texts hold.
    std::size_t MemoryBytes() const;

private:
    // Each row's place in caption order; equal captions share a place.
    std::vector<std::uint32_t> CaptionRanks() const;
    TListRow MakeRow(std::string_view Caption,
                     const std::array<std::string_view, ListTextColumns>& Columns, TRowState State,
                     int IconIndex);
    bool PushRow(const TListRow& Row);
    // What a checked row adds to the checked lengths (Sign 1) or takes away (-1).
    void CountLength(const TListRow& Row, int Sign);
    // Counts a row in or out (Sign -1) of the running figures.
    void CountRow(const TListRow& Row, int Sign);

    std::vector<TListRow> rows_;
    TTextPool folders_{true};
    TTextPool names_{false};
    // Tag texts repeat across rows (an album's artist, genre and year), so each
    // is kept once.
    std::array<TTextPool, ListTextColumns> columns_{
        TTextPool(true), TTextPool(true), TTextPool(true), TTextPool(true),
        TTextPool(true), TTextPool(true), TTextPool(true)};
    // Dropped rows while hidden, with their places in the whole list, ascending.
    std::vector<std::pair<int, TListRow>> aside_;
    bool droppedShown_ = true;
    int checked_ = 0;
    int dropped_ = 0;
    std::int64_t checkedSeconds_ = 0;
    int checkedTimed_ = 0;
};
