// The multi-state list panel.
#include "panels/MultiStateListFrame.h"
#include "panels/CheckListView.h"

#include <QAction>
#include <QKeyEvent>
#include <QMouseEvent>

TMultiStateList::TMultiStateList(const QString& Name, QWidget* Parent) : TCheckList(Name, Parent) {
    TListDisplayPolicy display;
    display.CheckBoxes = false;
    Model()->SetDisplay(std::move(display));
    for (TListCommand command :
         {TListCommand::CheckAll, TListCommand::UncheckAll, TListCommand::InvertChecks}) {
        QAction* action = Action(command);
        action->setVisible(false);
        action->setEnabled(false);
        // Free the keys for the commands of derived panels (Ctrl+I there is Include All).
        action->setShortcut(QKeySequence());
    }
    RebuildCommandBar();
}

void TMultiStateList::SetStateIcons(std::vector<QIcon> Icons) {
    TListDisplayPolicy display = Model()->Display();
    display.StateIcons = std::move(Icons);
    Model()->SetDisplay(std::move(display));
}

void TMultiStateList::AdvanceState(int Row) {
    const int state = Entry(Row).State.Index();
    SetStateIndex(Row, TRowState::FromIndex(state < StateCount() - 1 ? state + 1 : 0));
}

void TMultiStateList::ListKeyDown(QKeyEvent* Event) {
    TCheckList::ListKeyDown(Event);
    if (Event->key() == Qt::Key_Space && Event->modifiers() == Qt::NoModifier)
        for (int row : SelectedRows())
            AdvanceState(row);
}

void TMultiStateList::ListMouseDown(QMouseEvent* Event) {
    TCheckList::ListMouseDown(Event);
    if (Event->button() != Qt::LeftButton)
        return;
    const QPoint at = Event->position().toPoint();
    const QModelIndex pressed = View()->indexAt(at);
    if (pressed.isValid() && View()->DecorationRect(pressed.siblingAtColumn(0)).contains(at))
        AdvanceState(pressed.row());
}
