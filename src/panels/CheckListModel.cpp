// The list panels' item model.
#include "panels/CheckListModel.h"
#include "engine/LengthReader.h"
#include "panels/TextDisplay.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <numeric>

namespace {
// Rows appended in bulk (a compile hands over batches of files) reach the view
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
    const TListRow& row = store_.Row(Index.row());
    const int column = Index.column();
    if (column == display_.CountColumn) {
        const std::size_t at = static_cast<std::size_t>(Index.row());
        switch (Role) {
        case Qt::DisplayRole:
            return CountText(Index.row());
        case Qt::ToolTipRole:
            return at < countTips_.size() ? QVariant(countTips_[at]) : QVariant();
        case Qt::ForegroundRole:
            return countsStale_ ? QVariant(QGuiApplication::palette().brush(QPalette::Disabled,
                                                                            QPalette::Text))
                                : QVariant();
        case Qt::TextAlignmentRole:
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    switch (Role) {
    case Qt::DisplayRole:
        if (column == display_.NoteColumn && display_.NoteText)
            return display_.NoteText(row.Note);
        if (column == display_.LengthColumn)
            return QString::fromStdString(FormatLength(std::int64_t{row.Seconds} * 1000));
        // The only place a row's text becomes a QString: when it is drawn.
        if (column > 0)
            return column <= ListTextColumns
                       ? DisplayText(store_.Text(column, row.Texts[column - 1]))
                       : QVariant();
        {
            const QString caption = display_.PathCaptions ? DisplayPath(Caption(Index.row()))
                                                          : DisplayText(Caption(Index.row()));
            const QString mark = display_.CaptionMark ? display_.CaptionMark(row.Note) : QString();
            return mark.isEmpty() ? caption : caption + ' ' + mark;
        }
    case Qt::CheckStateRole:
        if (column == 0 && display_.CheckBoxes)
            return row.State.Checked() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::DecorationRole:
        return column == 0 ? Decoration(row) : QVariant();
    case Qt::ToolTipRole: {
        const QString note = display_.NoteText ? display_.NoteText(row.Note) : QString();
        const int state = static_cast<int>(row.State.Index());
        if (note.isEmpty() && !display_.CheckBoxes && state >= 0 &&
            state < static_cast<int>(display_.StateTips.size()))
            return display_.StateTips[state];
        return display_.NoteText ? QVariant(note) : QVariant();
    }
    case Qt::ForegroundRole:
        // Greyed as disabled text is, yet still selectable for its tooltip and Play.
        return row.Dropped || (display_.CaptionMark && !display_.CaptionMark(row.Note).isEmpty())
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
        Index.column() != 0 || !display_.CheckBoxes || store_.Row(Index.row()).Dropped)
        return false;
    SetState(Index.row(), Value.value<Qt::CheckState>() == Qt::Checked ? CheckedRow : UncheckedRow);
    return true;
}

Qt::ItemFlags TCheckListModel::flags(const QModelIndex& Index) const {
    if (!Index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (Index.column() == 0 && display_.CheckBoxes && Index.row() < published_ &&
        !store_.Row(Index.row()).Dropped)
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
        return iconAt(display_.StateIcons, Entry.State.Index());
    if (Entry.IconIndex >= 0)
        return iconAt(display_.EntryIcons, Entry.IconIndex);
    return display_.CommonIcon.isNull() ? QVariant() : QVariant(display_.CommonIcon);
}

QString TCheckListModel::CountText(int Row) const {
    const std::size_t at = static_cast<std::size_t>(Row);
    return Row >= 0 && at < countTexts_.size() ? countTexts_[at] : QString();
}

void TCheckListModel::SetCounts(std::vector<QString> Texts, std::vector<QString> Tips, bool Stale) {
    countTexts_ = std::move(Texts);
    countTips_ = std::move(Tips);
    countsStale_ = Stale;
    if (display_.CountColumn >= 0 && published_ > 0)
        emit dataChanged(index(0, display_.CountColumn),
                         index(published_ - 1, display_.CountColumn));
}

void TCheckListModel::SetCountsStale() {
    if (countsStale_)
        return;
    countsStale_ = true;
    if (display_.CountColumn >= 0 && published_ > 0)
        emit dataChanged(index(0, display_.CountColumn),
                         index(published_ - 1, display_.CountColumn));
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

void TCheckListModel::Append(std::string_view Caption,
                             const std::array<std::string_view, ListTextColumns>& Columns,
                             TRowState State, int IconIndex, std::uint32_t Note, bool Dropped) {
    if (store_.Append(Caption, Columns, State, IconIndex, Note, Dropped) && !batchTimer_.isActive())
        batchTimer_.start();
}

void TCheckListModel::Append(const TCheckListEntry& Entry) {
    store_.Append(Entry);
    if (!batchTimer_.isActive())
        batchTimer_.start();
}

void TCheckListModel::AppendMany(const std::vector<TCheckListEntry>& Entries) {
    store_.Reserve(store_.Count() + Entries.size());
    for (const TCheckListEntry& entry : Entries)
        store_.Append(entry);
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

void TCheckListModel::SetState(int Row, TRowState State) {
    if (!store_.SetState(Row, State))
        return;
    Changed(Row, Row);
    emit StatesChanged();
}

void TCheckListModel::SetAllStates(const std::function<TRowState(TRowState)>& NewState) {
    if (!store_.SetAllStates(NewState))
        return;
    Changed(0, Count() - 1);
    emit StatesChanged();
}

void TCheckListModel::SetCaption(int Row, std::string Caption) {
    store_.SetCaption(Row, Caption);
    Changed(Row, Row);
}

void TCheckListModel::SetColumns(int Row,
                                 const std::array<std::string_view, ListTextColumns>& Columns) {
    store_.SetColumns(Row, Columns);
    Changed(Row, Row);
}

void TCheckListModel::SetIconIndex(int Row, int IconIndex) {
    store_.SetIconIndex(Row, IconIndex);
    Changed(Row, Row);
}

void TCheckListModel::SetNote(int Row, std::uint32_t Note) {
    store_.SetNote(Row, Note);
    Changed(Row, Row);
}

void TCheckListModel::SetLength(int Row, std::int32_t Seconds) {
    store_.SetLength(Row, Seconds);
    if (display_.LengthColumn >= 0 && Row < published_) {
        const QModelIndex cell = index(Row, display_.LengthColumn);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

void TCheckListModel::SetDroppedShown(bool Shown) {
    if (Shown == store_.DroppedShown())
        return;
    Flush();
    if (!store_.DroppedShownChangesRows(Shown)) {
        store_.SetDroppedShown(Shown);
        return;
    }
    beginResetModel();
    store_.SetDroppedShown(Shown);
    published_ = Count();
    endResetModel();
}

void TCheckListModel::Remove(int Row) {
    Flush();
    if (Row < 0 || Row >= Count())
        return;
    beginRemoveRows(QModelIndex(), Row, Row);
    store_.Remove(Row);
    published_ = Count();
    endRemoveRows();
}

void TCheckListModel::RemoveMany(const std::vector<int>& Rows) {
    Flush();
    if (Rows.empty())
        return;
    beginResetModel();
    store_.RemoveMany(Rows);
    published_ = Count();
    endResetModel();
}

void TCheckListModel::Clear() {
    batchTimer_.stop();
    beginResetModel();
    store_.Clear();
    published_ = 0;
    endResetModel();
}

void TCheckListModel::Move(int From, int To) {
    Flush();
    if (From == To || From < 0 || To < 0 || From >= Count() || To >= Count())
        return;
    // The destination is given as the row before which the entry lands, counted
    // before the move; moving down therefore names the row after To.
    beginMoveRows(QModelIndex(), From, From, QModelIndex(), To > From ? To + 1 : To);
    store_.Move(From, To);
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
    if (!store_.IsOrder(Order))
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    store_.ApplyOrder(Order);

    // The selection and the current row stay on their entries.
    const QModelIndexList before = persistentIndexList();
    std::vector<int> newRow;
    if (!before.isEmpty()) {
        newRow.resize(Order.size());
        for (std::size_t row = 0; row < Order.size(); ++row)
            newRow[Order[row]] = static_cast<int>(row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before)
        after.append(index.isValid() ? this->index(newRow[index.row()], index.column()) : index);
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void TCheckListModel::SetCaptionKeyMakers(TTextPool::TKeyMaker Folder, TTextPool::TKeyMaker Name) {
    store_.SetCaptionKeyMakers(std::move(Folder), std::move(Name));
}

void TCheckListModel::SetColumnKeyMaker(int Column, TTextPool::TKeyMaker Maker) {
    store_.SetColumnKeyMaker(Column, std::move(Maker));
}

std::vector<int> TCheckListModel::ColumnOrder(int Column, bool Ascending) const {
    if (Column == 0)
        return store_.ColumnOrder(TColumnSort::Caption, Column, Ascending);
    if (Column == display_.LengthColumn)
        return store_.ColumnOrder(TColumnSort::Length, Column, Ascending);
    if (Column == display_.NoteColumn)
        return store_.ColumnOrder(TColumnSort::Note, Column, Ascending,
                                  display_.NoteRanks ? display_.NoteRanks()
                                                     : std::vector<std::uint32_t>());
    if (Column >= 1 && Column <= ListTextColumns)
        return store_.ColumnOrder(TColumnSort::Text, Column, Ascending);
    return store_.ColumnOrder(TColumnSort::None, Column, Ascending);
}
