// The list store (see ListStore.h).
#include "lists/ListStore.h"

#include <algorithm>
#include <numeric>

TListStore::TListStore() = default;

TListRow TListStore::MakeRow(std::string_view Caption,
                             const std::array<std::string_view, ListTextColumns>& Columns,
                             TRowState State, int IconIndex) {
    TListRow row;
    const size_t slash = Caption.rfind('/');
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    row.Folder = folders_.Add(Caption.substr(0, nameStart));
    row.Name = names_.Add(Caption.substr(nameStart));
    for (int column = 0; column < ListTextColumns; ++column)
        row.Texts[column] = columns_[column].Add(Columns[column]);
    row.State = State;
    row.IconIndex = static_cast<std::int16_t>(std::clamp(IconIndex, -1, INT16_MAX));
    return row;
}

void TListStore::CountLength(const TListRow& Row, int Sign) {
    if (!Row.State.Checked() || Row.Seconds < 0)
        return;
    checkedSeconds_ += Sign * std::int64_t{Row.Seconds};
    checkedTimed_ += Sign;
}

void TListStore::CountRow(const TListRow& Row, int Sign) {
    if (Row.State.Checked())
        checked_ += Sign;
    dropped_ += Sign * Row.Dropped;
    CountLength(Row, Sign);
}

bool TListStore::PushRow(const TListRow& Row) {
    if (Row.Dropped && !droppedShown_) {
        aside_.emplace_back(Count() + HiddenCount(), Row);
        return false;
    }
    CountRow(Row, 1);
    rows_.push_back(Row);
    return true;
}

bool TListStore::Append(std::string_view Caption,
                        const std::array<std::string_view, ListTextColumns>& Columns,
                        TRowState State, int IconIndex, std::uint32_t Note, bool Dropped) {
    TListRow row = MakeRow(Caption, Columns, Dropped ? UncheckedRow : State, IconIndex);
    row.Note = Note;
    row.Dropped = Dropped;
    return PushRow(row);
}

void TListStore::Append(const TCheckListEntry& Entry) {
    std::array<std::string_view, ListTextColumns> views;
    for (int column = 0; column < ListTextColumns; ++column)
        views[column] = Entry.Columns[column];
    TListRow row = MakeRow(Entry.Caption, views, Entry.State, Entry.IconIndex);
    row.Value = Entry.Value;
    PushRow(row);
}

TCheckListEntry TListStore::Entry(int Row) const {
    const TListRow& row = rows_.at(Row);
    TCheckListEntry entry;
    entry.Caption = Caption(Row);
    entry.State = row.State;
    for (int column = 0; column < ListTextColumns; ++column)
        entry.Columns[column] = columns_[column].Text(row.Texts[column]);
    entry.IconIndex = row.IconIndex;
    entry.Value = row.Value;
    return entry;
}

std::string TListStore::Caption(int Row) const {
    const TListRow& row = rows_.at(Row);
    const std::string_view folder = folders_.Text(row.Folder);
    const std::string_view name = names_.Text(row.Name);
    std::string caption;
    caption.reserve(folder.size() + name.size());
    caption.append(folder).append(name);
    return caption;
}

std::string_view TListStore::ColumnText(int Row, int Column) const {
    if (Column < 1 || Column > ListTextColumns)
        return {};
    return columns_[Column - 1].Text(rows_.at(Row).Texts[Column - 1]);
}

bool TListStore::SetState(int Row, TRowState State) {
    TListRow& entry = rows_.at(Row);
    if (entry.State == State || entry.Dropped)
        return false;
    CountRow(entry, -1);
    entry.State = State;
    CountRow(entry, 1);
    return true;
}

bool TListStore::SetAllStates(const std::function<TRowState(TRowState)>& NewState) {
    bool any = false;
    for (TListRow& entry : rows_) {
        const TRowState state = NewState(entry.State);
        if (state == entry.State || entry.Dropped)
            continue;
        CountRow(entry, -1);
        entry.State = state;
        CountRow(entry, 1);
        any = true;
    }
    return any;
}

void TListStore::SetCaption(int Row, std::string_view Caption) {
    TListRow& row = rows_.at(Row);
    const TListRow made = MakeRow(Caption, {}, row.State, row.IconIndex);
    row.Folder = made.Folder;
    row.Name = made.Name;
}

void TListStore::SetColumns(int Row, const std::array<std::string_view, ListTextColumns>& Columns) {
    TListRow& row = rows_.at(Row);
    for (int column = 0; column < ListTextColumns; ++column)
        row.Texts[column] = columns_[column].Add(Columns[column]);
}

void TListStore::SetIconIndex(int Row, int IconIndex) {
    rows_.at(Row).IconIndex = static_cast<std::int16_t>(std::clamp(IconIndex, -1, INT16_MAX));
}

void TListStore::SetLength(int Row, std::int32_t Seconds) {
    TListRow& row = rows_.at(Row);
    CountLength(row, -1);
    row.Seconds = Seconds;
    CountLength(row, 1);
}

bool TListStore::DroppedShownChangesRows(bool Shown) const {
    if (Shown == droppedShown_)
        return false;
    return Shown ? !aside_.empty() : dropped_ > 0;
}

void TListStore::SetDroppedShown(bool Shown) {
    const bool changes = DroppedShownChangesRows(Shown);
    droppedShown_ = Shown;
    if (!changes)
        return;
    std::vector<TListRow> rows;
    rows.reserve(rows_.size() + (Shown ? aside_.size() : 0));
    if (Shown) {
        // Back to their places in the whole list, as far as the rows shown reach.
        std::size_t next = 0;
        for (auto& [place, row] : aside_) {
            while (next < rows_.size() && static_cast<int>(rows.size()) < place)
                rows.push_back(rows_[next++]);
            rows.push_back(row);
        }
        rows.insert(rows.end(), rows_.begin() + static_cast<std::ptrdiff_t>(next), rows_.end());
        dropped_ += HiddenCount();
        std::vector<std::pair<int, TListRow>>().swap(aside_);
    } else {
        for (TListRow& row : rows_) {
            if (row.Dropped)
                aside_.emplace_back(static_cast<int>(rows.size() + aside_.size()), row);
            else
                rows.push_back(row);
        }
        dropped_ = 0;
    }
    rows_.swap(rows);
}

void TListStore::Remove(int Row) {
    CountRow(rows_.at(Row), -1);
    rows_.erase(rows_.begin() + Row);
}

void TListStore::RemoveMany(const std::vector<int>& Rows) {
    std::size_t next = 0, kept = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (next < Rows.size() && Rows[next] == static_cast<int>(row)) {
            ++next;
            CountRow(rows_[row], -1);
            continue;
        }
        if (kept != row)
            rows_[kept] = std::move(rows_[row]);
        ++kept;
    }
    rows_.resize(kept);
}

void TListStore::Clear() {
    std::vector<TListRow>().swap(rows_);
    std::vector<std::pair<int, TListRow>>().swap(aside_);
    folders_.Clear();
    names_.Clear();
    for (TTextPool& pool : columns_)
        pool.Clear();
    checked_ = 0;
    dropped_ = 0;
    checkedSeconds_ = 0;
    checkedTimed_ = 0;
}

void TListStore::Move(int From, int To) {
    if (To > From)
        std::rotate(rows_.begin() + From, rows_.begin() + From + 1, rows_.begin() + To + 1);
    else if (To < From)
        std::rotate(rows_.begin() + To, rows_.begin() + From, rows_.begin() + From + 1);
}

bool TListStore::IsOrder(const std::vector<int>& Order) const {
    const int count = Count();
    if (static_cast<int>(Order.size()) != count)
        return false;
    std::vector<bool> placed(count);
    for (int from : Order) {
        if (from < 0 || from >= count || placed[from])
            return false;
        placed[from] = true;
    }
    return true;
}

bool TListStore::ApplyOrder(const std::vector<int>& Order) {
    if (!IsOrder(Order))
        return false;
    // In place, cycle by cycle: a copy of a million rows would be the largest
    // allocation of a sort.
    const int count = Count();
    std::vector<bool> placed(count);
    for (int start = 0; start < count; ++start) {
        if (placed[start])
            continue;
        const TListRow first = rows_[start];
        int row = start;
        while (Order[row] != start) {
            rows_[row] = rows_[Order[row]];
            placed[row] = true;
            row = Order[row];
        }
        rows_[row] = first;
        placed[row] = true;
    }
    return true;
}

void TListStore::SetCaptionKeyMakers(TTextPool::TKeyMaker Folder, TTextPool::TKeyMaker Name) {
    folders_.SetKeyMaker(std::move(Folder));
    names_.SetKeyMaker(std::move(Name));
}

void TListStore::SetColumnKeyMaker(int Column, TTextPool::TKeyMaker Maker) {
    if (Column >= 1 && Column <= ListTextColumns)
        columns_[Column - 1].SetKeyMaker(std::move(Maker));
}

// The captions' order is that of their whole keys (the folder's key, then the
// name's), which puts each folder's files among its subfolders by name; it is
// found without those long keys: rows are grouped by folder and by name rank,
// and each folder's subtree is then placed among its parent's files by one
// binary search.
std::vector<std::uint32_t> TListStore::CaptionRanks() const {
    const int count = Count();
    const std::vector<std::uint32_t>& folderRanks = folders_.Ranks();
    const std::vector<std::uint32_t>& nameRanks = names_.Ranks();
    std::vector<std::uint64_t> grouping(count);
    for (int row = 0; row < count; ++row)
        grouping[row] =
            std::uint64_t{folderRanks[rows_[row].Folder]} << 32 | nameRanks[rows_[row].Name];
    const std::vector<int> grouped = OrderByKeys(std::move(grouping));

    // Folders with equal keys form one class; class c's rows are grouped[first[c] .. first[c + 1]).
    const std::size_t classes = *std::max_element(folderRanks.begin(), folderRanks.end()) + 1;
    std::vector<TTextPool::Id> classFolder(classes);
    for (TTextPool::Id id = 0; id < folders_.Count(); ++id)
        classFolder[folderRanks[id]] = id;
    std::vector<int> first(classes + 1);
    for (const TListRow& row : rows_)
        ++first[folderRanks[row.Folder] + 1];
    for (std::size_t c = 0; c < classes; ++c)
        first[c + 1] += first[c];

    // In key order a class's parent is the nearest earlier class whose key
    // begins its own (the empty folder's empty key begins every key); a class
    // goes after the parent's files whose name keys sort before the rest of
    // its key.
    std::vector<int> parent(classes, -1), position(classes, 0);
    std::vector<int> firstChild(classes, -1), nextSibling(classes, -1), lastChild(classes, -1);
    std::vector<int> open;
    for (std::size_t c = 0; c < classes; ++c) {
        const std::string_view key = folders_.Key(classFolder[c]);
        while (!open.empty() && !key.starts_with(folders_.Key(classFolder[open.back()])))
            open.pop_back();
        if (!open.empty()) {
            const int p = open.back();
            const std::string_view rest = key.substr(folders_.Key(classFolder[p]).size());
            const auto files = grouped.begin() + first[p];
            position[c] = static_cast<int>(
                std::partition_point(files, grouped.begin() + first[p + 1],
                                     [&](int Row) { return names_.Key(rows_[Row].Name) < rest; }) -
                files);
            parent[c] = p;
            (lastChild[p] < 0 ? firstChild[p] : nextSibling[lastChild[p]]) = static_cast<int>(c);
            lastChild[p] = static_cast<int>(c);
        }
        open.push_back(static_cast<int>(c));
    }

    // Depth first: each class's files, with its subclasses at their places.
    std::vector<std::uint32_t> ranks(count);
    std::uint32_t rank = 0;
    std::uint64_t previous = UINT64_MAX;
    const auto place = [&](int Class, int From, int To) {
        for (int k = first[Class] + From; k < first[Class] + To; ++k) {
            const int row = grouped[k];
            const std::uint64_t pair = std::uint64_t(Class) << 32 | nameRanks[rows_[row].Name];
            if (previous != UINT64_MAX && pair != previous)
                ++rank;
            previous = pair;
            ranks[row] = rank;
        }
    };
    struct TVisit {
        int Class, Child, Done;
    };
    std::vector<TVisit> stack;
    for (std::size_t c = 0; c < classes; ++c) {
        if (parent[c] >= 0)
            continue;
        stack.push_back({static_cast<int>(c), firstChild[c], 0});
        while (!stack.empty()) {
            TVisit& visit = stack.back();
            const int files = first[visit.Class + 1] - first[visit.Class];
            if (visit.Child < 0) {
                place(visit.Class, visit.Done, files);
                stack.pop_back();
                continue;
            }
            const int child = visit.Child;
            place(visit.Class, visit.Done, position[child]);
            visit.Done = position[child];
            visit.Child = nextSibling[child];
            stack.push_back({child, firstChild[child], 0});
        }
    }
    return ranks;
}

std::vector<int> TListStore::ColumnOrder(TColumnSort Sort, int Column, bool Ascending,
                                         const std::vector<std::uint32_t>& NoteRanks) const {
    // Each text's rank among its pool's texts is kept until a text arrives; the
    // rows then sort by ranks, a radix sort of small numbers.
    const int count = Count();
    std::vector<std::uint64_t> keys(count);
    switch (Sort) {
    case TColumnSort::Caption: {
        const std::vector<std::uint32_t> ranks = CaptionRanks();
        for (int row = 0; row < count; ++row)
            keys[row] = ranks[row];
        break;
    }
    case TColumnSort::Length:
        // Blank lengths, unknown or not read yet, sort as one value before every known one.
        for (int row = 0; row < count; ++row)
            keys[row] = static_cast<std::uint64_t>(std::max(rows_[row].Seconds, -1) + 1);
        break;
    case TColumnSort::Note:
        for (int row = 0; row < count; ++row)
            keys[row] = rows_[row].Note < NoteRanks.size() ? NoteRanks[rows_[row].Note] : 0;
        break;
    case TColumnSort::Text:
        if (Column >= 1 && Column <= ListTextColumns) {
            const std::vector<std::uint32_t>& ranks = columns_[Column - 1].Ranks();
            for (int row = 0; row < count; ++row)
                keys[row] = ranks[rows_[row].Texts[Column - 1]];
        }
        break;
    case TColumnSort::None:
        break;
    }
    if (!Ascending)
        for (std::uint64_t& key : keys)
            key = ~key;
    return OrderByKeys(std::move(keys));
}

std::size_t TListStore::MemoryBytes() const {
    std::size_t bytes = rows_.capacity() * sizeof(TListRow) +
                        aside_.capacity() * sizeof(aside_[0]) + folders_.MemoryBytes() +
                        names_.MemoryBytes();
    for (const TTextPool& pool : columns_)
        bytes += pool.MemoryBytes();
    return bytes;
}
