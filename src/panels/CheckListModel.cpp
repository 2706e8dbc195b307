// The list panels' item model.
#include "panels/CheckListModel.h"
#include "engine/LengthReader.h"
#include "panels/TextDisplay.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <numeric>

namespace {
// Rows appended in bulk (a compile hands over one file at a time) reach the view
// at most this often, so the view lays itself out a few times a second rather
// than once per row.
constexpr int BatchMilliseconds = 100;
} // namespace

TCheckListModel::TCheckListModel(QObject* Parent) : QAbstractTableModel(Parent) {
    headers_ << QString();
    batchTimer_.setSingleShot(true);
    batchTimer_.setInterval(BatchMilliseconds);
    connect(&batchTimer_, &QTimer::timeout, this, &TCheckListModel::Flush);
}

int TCheckListModel::rowCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : published_;
}

int TCheckListModel::columnCount(const QModelIndex& Parent) const {
    return Parent.isValid() ? 0 : static_cast<int>(headers_.size());
}

QVariant TCheckListModel::data(const QModelIndex& Index, int Role) const {
    if (!Index.isValid() || Index.row() >= published_ || Index.column() >= headers_.size())
        return {};
    const TListRow& row = rows_[Index.row()];
    const int column = Index.column();
    switch (Role) {
    case Qt::DisplayRole:
        if (column == display_.NoteColumn && display_.NoteText)
            return display_.NoteText(row.Note);
        if (column == display_.LengthColumn)
            return QString::fromStdString(FormatLength(std::int64_t{row.Seconds} * 1000));
        // The only place a row's text becomes a QString: when it is drawn.
        if (column > 0)
            return column <= ListTextColumns
                       ? DisplayText(columns_[column - 1].Text(row.Texts[column - 1]))
                       : QVariant();
        return display_.PathCaptions ? DisplayPath(Caption(Index.row()))
                                     : DisplayText(Caption(Index.row()));
    case Qt::CheckStateRole:
        if (column == 0 && display_.CheckBoxes)
            return row.State == CheckedIndex ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        return column == 0 ? Decoration(row) : QVariant();
    case Qt::ToolTipRole:
        return display_.NoteText ? QVariant(display_.NoteText(row.Note)) : QVariant();
    case Qt::ForegroundRole:
        // Greyed as disabled text is, yet still selectable for its tooltip and Play.
        return row.Dropped
                   ? QVariant(QGuiApplication::palette().brush(QPalette::Disabled, QPalette::Text))
                   : QVariant();
    case Qt::TextAlignmentRole:
        return column == display_.LengthColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                               : QVariant();
    default:
        return {};
    }
}

bool TCheckListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
    if (Role != Qt::CheckStateRole || !Index.isValid() || Index.row() >= published_ ||
        Index.column() != 0 || !display_.CheckBoxes || rows_[Index.row()].Dropped)
        return false;
    SetState(Index.row(),
             Value.value<Qt::CheckState>() == Qt::Checked ? CheckedIndex : UncheckedIndex);
    return true;
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (Index.column() == 0 && display_.CheckBoxes && Index.row() < published_ &&
        !rows_[Index.row()].Dropped)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TCheckListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 &&
        Section < headers_.size())
        return headers_[Section];
    return {};
}

QVariant TCheckListModel::Decoration(const TListRow& Entry) const {
    auto iconAt = [](const std::vector<QIcon>& Icons, int Index) {
        return Index >= 0 && Index < static_cast<int>(Icons.size()) ? QVariant(Icons[Index])
                                                                    : QVariant();
    };
    if (!display_.CheckBoxes)
        return iconAt(display_.StateIcons, Entry.State);
    if (Entry.IconIndex >= 0)
        return iconAt(display_.EntryIcons, Entry.IconIndex);
    return display_.CommonIcon.isNull() ? QVariant() : QVariant(display_.CommonIcon);
}

void TCheckListModel::SetDisplay(TListDisplayPolicy Display) {
    display_ = std::move(Display);
    Changed(0, Count() - 1);
}

int TCheckListModel::AddEntryIcon(const QIcon& Icon) {
    display_.EntryIcons.push_back(Icon);
    return static_cast<int>(display_.EntryIcons.size()) - 1;
}

void TCheckListModel::SetHeaders(const QStringList& Headers) {
    beginResetModel();
    headers_ = Headers.isEmpty() ? QStringList{QString()} : Headers;
    endResetModel();
}

TListRow TCheckListModel::MakeRow(std::string_view Caption,
                                  const std::array<std::string_view, ListTextColumns>& Columns,
                                  int State, int IconIndex) {
    TListRow row;
    const size_t slash = Caption.rfind('/');
    const size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    row.Folder = folders_.Add(Caption.substr(0, nameStart));
    row.Name = names_.Add(Caption.substr(nameStart));
    for (int column = 0; column < ListTextColumns; ++column)
        row.Texts[column] = columns_[column].Add(Columns[column]);
    row.State = static_cast<std::uint8_t>(State);
    row.IconIndex = static_cast<std::int16_t>(std::clamp(IconIndex, -1, INT16_MAX));
    return row;
}

void TCheckListModel::CountLength(const TListRow& Row, int Sign) {
    if (Row.State != CheckedIndex || Row.Seconds < 0)
        return;
    checkedSeconds_ += Sign * std::int64_t{Row.Seconds};
    checkedTimed_ += Sign;
}

void TCheckListModel::PushRow(const TListRow& Row) {
    if (Row.Dropped && !droppedShown_) {
        aside_.emplace_back(Count() + HiddenCount(), Row);
        return;
    }
    if (Row.State == CheckedIndex)
        ++checked_;
    dropped_ += Row.Dropped;
    CountLength(Row, 1);
    rows_.push_back(Row);
}

void TCheckListModel::Append(std::string_view Caption,
                             const std::array<std::string_view, ListTextColumns>& Columns,
                             int State, int IconIndex, std::uint32_t Note, bool Dropped) {
    TListRow row = MakeRow(Caption, Columns, Dropped ? UncheckedIndex : State, IconIndex);
    row.Note = Note;
    row.Dropped = Dropped;
    PushRow(row);
    if (!Dropped || droppedShown_)
        if (!batchTimer_.isActive())
            batchTimer_.start();
}

namespace {
std::array<std::string_view, ListTextColumns>
ColumnViews(const std::array<std::string, ListTextColumns>& Columns) {
    std::array<std::string_view, ListTextColumns> views;
    for (int column = 0; column < ListTextColumns; ++column)
        views[column] = Columns[column];
    return views;
}
} // namespace

void TCheckListModel::Append(const TCheckListEntry& Entry) {
    Append(Entry.Caption, ColumnViews(Entry.Columns), Entry.State, Entry.IconIndex);
    rows_.back().Value = Entry.Value;
}

void TCheckListModel::AppendMany(const std::vector<TCheckListEntry>& Entries) {
    rows_.reserve(rows_.size() + Entries.size());
    for (const TCheckListEntry& entry : Entries) {
        PushRow(MakeRow(entry.Caption, ColumnViews(entry.Columns), entry.State, entry.IconIndex));
        rows_.back().Value = entry.Value;
    }
    Flush();
}

TCheckListEntry TCheckListModel::Entry(int Row) const {
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

std::string TCheckListModel::Caption(int Row) const {
    const TListRow& row = rows_.at(Row);
    const std::string_view folder = folders_.Text(row.Folder);
    const std::string_view name = names_.Text(row.Name);
    std::string caption;
    caption.reserve(folder.size() + name.size());
    caption.append(folder).append(name);
    return caption;
}

std::string_view TCheckListModel::ColumnText(int Row, int Column) const {
    if (Column < 1 || Column > ListTextColumns)
        return {};
    return columns_[Column - 1].Text(rows_.at(Row).Texts[Column - 1]);
}

void TCheckListModel::Flush() {
    batchTimer_.stop();
    const int count = Count();
    if (published_ >= count)
        return;
    beginInsertRows(QModelIndex(), published_, count - 1);
    published_ = count;
    endInsertRows();
}

void TCheckListModel::Changed(int First, int Last) {
    Last = std::min(Last, published_ - 1);
    if (First <= Last)
        emit dataChanged(index(First, 0), index(Last, columnCount() - 1));
}

void TCheckListModel::SetState(int Row, int State) {
    TListRow& entry = rows_.at(Row);
    if (entry.State == State || entry.Dropped)
        return;
    checked_ += (State == CheckedIndex) - (entry.State == CheckedIndex);
    CountLength(entry, -1);
    entry.State = static_cast<std::uint8_t>(State);
    CountLength(entry, 1);
    Changed(Row, Row);
    emit StatesChanged();
}

void TCheckListModel::SetAllStates(const std::function<int(int)>& NewState) {
    bool any = false;
    for (TListRow& entry : rows_) {
        const int state = NewState(entry.State);
        if (state == entry.State || entry.Dropped)
            continue;
        checked_ += (state == CheckedIndex) - (entry.State == CheckedIndex);
        CountLength(entry, -1);
        entry.State = static_cast<std::uint8_t>(state);
        CountLength(entry, 1);
        any = true;
    }
    if (!any)
        return;
    Changed(0, Count() - 1);
    emit StatesChanged();
}

// An edited row's old texts stay in the pools until the list is cleared: edits
// are few, and the pools never move a text.
void TCheckListModel::SetCaption(int Row, std::string Caption) {
    TListRow& row = rows_.at(Row);
    const TListRow made = MakeRow(Caption, {}, row.State, row.IconIndex);
    row.Folder = made.Folder;
    row.Name = made.Name;
    Changed(Row, Row);
}

void TCheckListModel::SetColumns(int Row, const std::array<std::string, ListTextColumns>& Columns) {
    TListRow& row = rows_.at(Row);
    for (int column = 0; column < ListTextColumns; ++column)
        row.Texts[column] = columns_[column].Add(Columns[column]);
    Changed(Row, Row);
}

void TCheckListModel::SetIconIndex(int Row, int IconIndex) {
    rows_.at(Row).IconIndex = static_cast<std::int16_t>(std::clamp(IconIndex, -1, INT16_MAX));
    Changed(Row, Row);
}

void TCheckListModel::SetValue(int Row, std::int32_t Value) {
    rows_.at(Row).Value = Value;
}

void TCheckListModel::SetNote(int Row, std::uint32_t Note) {
    rows_.at(Row).Note = Note;
    Changed(Row, Row);
}

void TCheckListModel::SetLength(int Row, std::int32_t Seconds) {
    TListRow& row = rows_.at(Row);
    CountLength(row, -1);
    row.Seconds = Seconds;
    CountLength(row, 1);
    if (display_.LengthColumn >= 0 && Row < published_) {
        const QModelIndex cell = index(Row, display_.LengthColumn);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

void TCheckListModel::SetDroppedShown(bool Shown) {
    if (Shown == droppedShown_)
        return;
    Flush();
    droppedShown_ = Shown;
    if (!Shown && dropped_ == 0)
        return;
    if (Shown && aside_.empty())
        return;
    beginResetModel();
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
    published_ = Count();
    endResetModel();
}

void TCheckListModel::Remove(int Row) {
    Flush();
    if (Row < 0 || Row >= Count())
        return;
    beginRemoveRows(QModelIndex(), Row, Row);
    if (rows_[Row].State == CheckedIndex)
        --checked_;
    dropped_ -= rows_[Row].Dropped;
    CountLength(rows_[Row], -1);
    rows_.erase(rows_.begin() + Row);
    published_ = Count();
    endRemoveRows();
}

void TCheckListModel::RemoveMany(const std::vector<int>& Rows) {
    Flush();
    if (Rows.empty())
        return;
    beginResetModel();
    std::size_t next = 0, kept = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (next < Rows.size() && Rows[next] == static_cast<int>(row)) {
            ++next;
            if (rows_[row].State == CheckedIndex)
                --checked_;
            dropped_ -= rows_[row].Dropped;
            CountLength(rows_[row], -1);
            continue;
        }
        if (kept != row)
            rows_[kept] = std::move(rows_[row]);
        ++kept;
    }
    rows_.resize(kept);
    published_ = Count();
    endResetModel();
}

void TCheckListModel::Clear() {
    batchTimer_.stop();
    beginResetModel();
    std::vector<TListRow>().swap(rows_);
    std::vector<std::pair<int, TListRow>>().swap(aside_);
    folders_.Clear();
    names_.Clear();
    for (TTextPool& pool : columns_)
        pool.Clear();
    published_ = 0;
    checked_ = 0;
    dropped_ = 0;
    checkedSeconds_ = 0;
    checkedTimed_ = 0;
    endResetModel();
}

void TCheckListModel::Move(int From, int To) {
    Flush();
    if (From == To || From < 0 || To < 0 || From >= Count() || To >= Count())
        return;
    // The destination is given as the row before which the entry lands, counted
    // before the move; moving down therefore names the row after To.
    beginMoveRows(QModelIndex(), From, From, QModelIndex(), To > From ? To + 1 : To);
    if (To > From)
        std::rotate(rows_.begin() + From, rows_.begin() + From + 1, rows_.begin() + To + 1);
    else
        std::rotate(rows_.begin() + To, rows_.begin() + From, rows_.begin() + From + 1);
    endMoveRows();
}

void TCheckListModel::SortRows(const std::function<bool(int, int)>& Less) {
    Flush();
    std::vector<int> order(Count());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), Less);
    ApplyOrder(order);
}

void TCheckListModel::ApplyOrder(const std::vector<int>& Order) {
    Flush();
    const int count = Count();
    if (static_cast<int>(Order.size()) != count)
        return;
    std::vector<bool> placed(count);
    for (int from : Order) {
        if (from < 0 || from >= count || placed[from])
            return; // not an order of the rows
        placed[from] = true;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // In place, cycle by cycle: a copy of a million rows would be the largest
    // allocation of a sort.
    placed.assign(count, false);
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

    // The selection and the current row stay on their entries.
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRow;
    if (!before.isEmpty()) {
        newRow.resize(count);
        for (int row = 0; row < count; ++row)
            newRow[Order[row]] = row;
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(newRow[index.row()], index.column()) : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TCheckListModel::SetCaptionKeyMakers(TTextPool::TKeyMaker Folder, TTextPool::TKeyMaker Name) {
    folders_.SetKeyMaker(std::move(Folder));
    names_.SetKeyMaker(std::move(Name));
}

void TCheckListModel::SetColumnKeyMaker(int Column, TTextPool::TKeyMaker Maker) {
    if (Column >= 1 && Column <= ListTextColumns)
        columns_[Column - 1].SetKeyMaker(std::move(Maker));
}

// The captions' order is that of their whole keys (the folder's key, then the
// name's), which puts each folder's files among its subfolders by name; it is
// found without those long keys: rows are grouped by folder and by name rank,
// and each folder's subtree is then placed among its parent's files by one
// binary search.
std::vector<std::uint32_t> TCheckListModel::CaptionRanks() const {
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

std::vector<int> TCheckListModel::ColumnOrder(int Column, bool Ascending) const {
    // Each text's rank among its pool's texts is kept until a text arrives; the
    // rows then sort by ranks, a radix sort of small numbers.
    const int count = Count();
    std::vector<std::uint64_t> keys(count);
    if (Column == 0) {
        const std::vector<std::uint32_t> ranks = CaptionRanks();
        for (int row = 0; row < count; ++row)
            keys[row] = ranks[row];
    } else if (Column == display_.LengthColumn) {
        // Blank lengths, unknown or not read yet, sort as one value before every known one.
        for (int row = 0; row < count; ++row)
            keys[row] = static_cast<std::uint64_t>(std::max(rows_[row].Seconds, -1) + 1);
    } else if (Column == display_.NoteColumn) {
        const std::vector<std::uint32_t> ranks =
            display_.NoteRanks ? display_.NoteRanks() : std::vector<std::uint32_t>();
        for (int row = 0; row < count; ++row)
            keys[row] = rows_[row].Note < ranks.size() ? ranks[rows_[row].Note] : 0;
    } else if (Column >= 1 && Column <= ListTextColumns) {
        const std::vector<std::uint32_t>& ranks = columns_[Column - 1].Ranks();
        for (int row = 0; row < count; ++row)
            keys[row] = ranks[rows_[row].Texts[Column - 1]];
    }
    if (!Ascending)
        for (std::uint64_t& key : keys)
            key = ~key;
    return OrderByKeys(std::move(keys));
}

std::size_t TCheckListModel::MemoryBytes() const {
    std::size_t bytes = rows_.capacity() * sizeof(TListRow) +
                        aside_.capacity() * sizeof(aside_[0]) + folders_.MemoryBytes() +
                        names_.MemoryBytes();
    for (const TTextPool& pool : columns_)
        bytes += pool.MemoryBytes();
    return bytes;
}
