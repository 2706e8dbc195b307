// The list panels' tree view.
#include "panels/CheckListView.h"
#include "panels/CheckListFrame.h"

#include <QKeyEvent>

#include <QMouseEvent>
#include <algorithm>

namespace {
// Gives the view the style option of an item, to find where its icon is drawn.
class TOptionDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::initStyleOption;
    using QStyledItemDelegate::QStyledItemDelegate;
};
} // namespace

bool IsContextMenuKey(const QKeyEvent& Event) {
    return Event.key() == Qt::Key_F10 &&
           (Event.modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier;
}

TCheckListView::TCheckListView(TCheckList& Owner, QWidget* Parent)
    : QTreeView(Parent), panel_(Owner) {
    setItemDelegate(new TOptionDelegate(this));
}

QRect TCheckListView::ElementRect(const QModelIndex& Index, QStyle::SubElement Element,
                                  int Feature) const {
    if (!Index.isValid())
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(Index);
    static_cast<TOptionDelegate*>(itemDelegate())->initStyleOption(&option, Index);
    if (!(option.features & Feature))
        return {};
    return style()->subElementRect(Element, &option, this);
}

QRect TCheckListView::DecorationRect(const QModelIndex& Index) const {
    return ElementRect(Index, QStyle::SE_ItemViewItemDecoration,
                       QStyleOptionViewItem::HasDecoration);
}

QRect TCheckListView::CheckBoxRect(const QModelIndex& Index) const {
    return ElementRect(Index, QStyle::SE_ItemViewItemCheckIndicator,
                       QStyleOptionViewItem::HasCheckIndicator);
}

void TCheckListView::mousePressEvent(QMouseEvent* Event) {
    moved_ = false;
    QTreeView::mousePressEvent(Event);
    panel_.ListMouseDown(Event);
}

void TCheckListView::mouseMoveEvent(QMouseEvent* Event) {
    // While the panel drags, the pointer must not drag the selection along as well.
    if (panel_.Dragging()) {
        const int before = panel_.SelectedIndex();
        panel_.ListMouseMove(Event);
        moved_ = moved_ || panel_.SelectedIndex() != before;
        return;
    }
    QTreeView::mouseMoveEvent(Event);
}

void TCheckListView::mouseReleaseEvent(QMouseEvent* Event) {
    // After a drag the release lands on another row; it must not toggle that row's check box.
    if (moved_) {
        setState(NoState);
    } else {
        // A click on the check box of one of several selected entries checks
        // or unchecks them all, and they stay selected.
        const QPoint at = Event->position().toPoint();
        const QModelIndex pressed = indexAt(at).siblingAtColumn(0);
        const std::vector<int> selected = panel_.SelectedRows();
        const bool onSelectedBox =
            pressed.isValid() && selected.size() > 1 && CheckBoxRect(pressed).contains(at) &&
            std::find(selected.begin(), selected.end(), pressed.row()) != selected.end();
        const TRowState before = onSelectedBox ? panel_.Entry(pressed.row()).State : TRowState{};
        QTreeView::mouseReleaseEvent(Event);
        if (onSelectedBox && panel_.Entry(pressed.row()).State != before) {
            const TRowState state = panel_.Entry(pressed.row()).State;
            for (int row : selected) {
                panel_.SetStateIndex(row, state);
                selectionModel()->select(model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }
    moved_ = false;
    panel_.ListMouseUp(Event);
}

void TCheckListView::mouseDoubleClickEvent(QMouseEvent* Event) {
    const QPoint at = Event->position().toPoint();
    const QModelIndex pressed = indexAt(at).siblingAtColumn(0);
    panel_.NoteDoubleClick(pressed.isValid() && !CheckBoxRect(pressed).contains(at) &&
                           !(panel_.DecorationIsControl() && DecorationRect(pressed).contains(at)));
    QTreeView::mouseDoubleClickEvent(Event);
    // The second press of a double-click arrives only as this event; it is a
    // press all the same (three quick clicks on a state icon advance it thrice).
    panel_.ListMouseDown(Event);
    panel_.ListDblClick();
}

void TCheckListView::keyPressEvent(QKeyEvent* Event) {
    if (IsContextMenuKey(*Event)) {
        const QRect current = visualRect(currentIndex());
        emit customContextMenuRequested(current.isValid() ? current.center() : QPoint(4, 4));
        Event->accept();
        return;
    }
    // Space acts on every selected entry and Ctrl+Up/Down moves one: the
    // panel's, not the view's own meanings of these keys.
    const Qt::KeyboardModifiers modifiers = Event->modifiers() & ~Qt::KeypadModifier;
    const bool panelKey = (Event->key() == Qt::Key_Space && modifiers == Qt::NoModifier) ||
                          ((Event->key() == Qt::Key_Up || Event->key() == Qt::Key_Down) &&
                           modifiers == Qt::ControlModifier);
    if (!panelKey)
        QTreeView::keyPressEvent(Event);
    panel_.ListKeyDown(Event);
}
