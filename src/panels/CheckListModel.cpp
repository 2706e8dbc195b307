// The list panels' item model.
#include "panels/CheckListModel.h"
#include "panels/TextDisplay.h"

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
    const TCheckListEntry& entry = entries_[Index.row()];
    const int column = Index.column();
    switch (Role) {
    case Qt::DisplayRole:
        if (column > 0)
            return DisplayText(entry.Columns[column - 1]);
        return display_.PathCaptions ? DisplayPath(entry.Caption) : DisplayText(entry.Caption);
    case Qt::CheckStateRole:
        if (column == 0 && display_.CheckBoxes)
            return entry.State == CheckedIndex ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        return column == 0 ? Decoration(entry) : QVariant();
    default:
        return {};
    }
}

bool TCheckListModel::setData(const QModelIndex& Index, const QVariant& Value, int Role) {
    if (Role != Qt::CheckStateRole || !Index.isValid() || Index.row() >= published_ ||
        Index.column() != 0 || !display_.CheckBoxes)
        return false;
    SetState(Index.row(),
             Value.value<Qt::CheckState>() == Qt::Checked ? CheckedIndex : UncheckedIndex);
    return true;
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (Index.column() == 0 && display_.CheckBoxes)
        result |= Qt::ItemIsUserCheckable;
    return result;
}

QVariant TCheckListModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
    if (Orientation == Qt::Horizontal && Role == Qt::DisplayRole && Section >= 0 &&
        Section < headers_.size())
        return headers_[Section];
    return {};
}

QVariant TCheckListModel::Decoration(const TCheckListEntry& Entry) const {
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

void TCheckListModel::Append(TCheckListEntry Entry) {
    if (Entry.State == CheckedIndex)
        ++checked_;
    entries_.push_back(std::move(Entry));
    if (!batchTimer_.isActive())
        batchTimer_.start();
}

void TCheckListModel::AppendMany(std::vector<TCheckListEntry> Entries) {
    entries_.reserve(entries_.size() + Entries.size());
    for (TCheckListEntry& entry : Entries) {
        if (entry.State == CheckedIndex)
            ++checked_;
        entries_.push_back(std::move(entry));
    }
    Flush();
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
    TCheckListEntry& entry = entries_.at(Row);
    if (entry.State == State)
        return;
    checked_ += (State == CheckedIndex) - (entry.State == CheckedIndex);
    entry.State = State;
    Changed(Row, Row);
    emit StatesChanged();
}

void TCheckListModel::SetAllStates(const std::function<int(int)>& NewState) {
    bool any = false;
    for (TCheckListEntry& entry : entries_) {
        const int state = NewState(entry.State);
        if (state == entry.State)
            continue;
        checked_ += (state == CheckedIndex) - (entry.State == CheckedIndex);
        entry.State = state;
        any = true;
    }
    if (!any)
        return;
    Changed(0, Count() - 1);
    emit StatesChanged();
}

void TCheckListModel::SetCaption(int Row, std::string Caption) {
    entries_.at(Row).Caption = std::move(Caption);
    Changed(Row, Row);
}

void TCheckListModel::SetColumns(int Row, const std::array<std::string, 6>& Columns) {
    entries_.at(Row).Columns = Columns;
    Changed(Row, Row);
}

void TCheckListModel::SetIconIndex(int Row, int IconIndex) {
    entries_.at(Row).IconIndex = IconIndex;
    Changed(Row, Row);
}

void TCheckListModel::SetValue(int Row, std::int32_t Value) {
    entries_.at(Row).Value = Value;
}

void TCheckListModel::Remove(int Row) {
    Flush();
    if (Row < 0 || Row >= Count())
        return;
    beginRemoveRows(QModelIndex(), Row, Row);
    if (entries_[Row].State == CheckedIndex)
        --checked_;
    entries_.erase(entries_.begin() + Row);
    published_ = Count();
    endRemoveRows();
}

void TCheckListModel::RemoveMany(const std::vector<int>& Rows) {
    Flush();
    if (Rows.empty())
        return;
    beginResetModel();
    std::size_t next = 0, kept = 0;
    for (std::size_t row = 0; row < entries_.size(); ++row) {
        if (next < Rows.size() && Rows[next] == static_cast<int>(row)) {
            ++next;
            if (entries_[row].State == CheckedIndex)
                --checked_;
            continue;
        }
        if (kept != row)
            entries_[kept] = std::move(entries_[row]);
        ++kept;
    }
    entries_.resize(kept);
    published_ = Count();
    endResetModel();
}

void TCheckListModel::Clear() {
    batchTimer_.stop();
    beginResetModel();
    entries_.clear();
    published_ = 0;
    checked_ = 0;
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
        std::rotate(entries_.begin() + From, entries_.begin() + From + 1,
                    entries_.begin() + To + 1);
    else
        std::rotate(entries_.begin() + To, entries_.begin() + From, entries_.begin() + From + 1);
    endMoveRows();
}

void TCheckListModel::Sort(
    const std::function<bool(const TCheckListEntry&, const TCheckListEntry&)>& Less) {
    SortRows([&](int a, int b) { return Less(entries_[a], entries_[b]); });
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
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<TCheckListEntry> sorted;
    sorted.reserve(count);
    std::vector<int> newRow(count);
    for (int row = 0; row < count; ++row) {
        sorted.push_back(std::move(entries_[Order[row]]));
        newRow[Order[row]] = row;
    }
    entries_ = std::move(sorted);

    // The selection and the current row stay on their entries.
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(newRow[index.row()], index.column()) : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
