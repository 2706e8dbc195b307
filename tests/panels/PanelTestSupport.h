// Shared helpers of the panel suites: scripted answers for the dialogs seam and
// real mouse and key input on a panel's list.
#pragma once

#include "panels/CheckListFrame.h"
#include "panels/CheckListView.h"
#include "panels/CriterionListFrame.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

inline std::vector<std::string> Captions(const TCheckList& Panel) {
    std::vector<std::string> result;
    for (const TCheckListEntry& entry : Panel.Entries())
        result.push_back(entry.Caption);
    return result;
}

inline std::vector<CheckState> States(const TCheckList& Panel) {
    std::vector<CheckState> result;
    for (const CheckEntry& entry : Panel.CheckEntries())
        result.push_back(entry.State);
    return result;
}

inline std::vector<CriterionState> CriterionStates(const TCriterionList& Panel) {
    std::vector<CriterionState> result;
    for (int row = 0; row < Panel.Count(); ++row)
        result.push_back(Panel.CriterionStateAt(row));
    return result;
}

inline QPoint RowPoint(TCheckList& Panel, int Row, int Column = 0) {
    Panel.Model()->Flush();
    return Panel.View()->visualRect(Panel.Model()->index(Row, Column)).center();
}

// A move with the left button held (QTest's own mouseMove carries no buttons).
inline void DragTo(TCheckList& Panel, QPoint To) {
    QWidget* viewport = Panel.View()->viewport();
    QMouseEvent move(QEvent::MouseMove, QPointF(To), QPointF(viewport->mapToGlobal(To)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
}

// Presses on one row, moves over the rows up to another, releases there.
inline void DragRow(TCheckList& Panel, int From, int To) {
    QWidget* viewport = Panel.View()->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(Panel, From));
    const int step = To > From ? 1 : -1;
    for (int row = From + step; row != To + step; row += step)
        DragTo(Panel, RowPoint(Panel, row));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(Panel, To));
}

// Shows the panel as the active window with the keyboard focus in its list.
inline void FocusList(TCheckList& Panel) {
    Panel.show();
    Panel.activateWindow();
    QApplication::setActiveWindow(&Panel);
    Panel.View()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Panel));
}
