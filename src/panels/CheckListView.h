// The tree view under a list panel: forwards mouse and key events to the panel
// and keeps Qt's own press-drag selection out of the panel's drag reordering.
#pragma once

#include <QStyledItemDelegate>
#include <QTreeView>

class QKeyEvent;
class TCheckList;

// Shift+F10, which opens a context menu as the Menu key does.
bool IsContextMenuKey(const QKeyEvent& Event);

class TCheckListView : public QTreeView {
    Q_OBJECT
public:
    TCheckListView(TCheckList& Owner, QWidget* Parent);

    // The rectangle of the row's decoration (state icon) in viewport coordinates.
    QRect DecorationRect(const QModelIndex& Index) const;
    // The rectangle of the row's check box in viewport coordinates.
    QRect CheckBoxRect(const QModelIndex& Index) const;

protected:
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    QRect ElementRect(const QModelIndex& Index, QStyle::SubElement Element, int Feature) const;

    TCheckList& panel_;
    bool moved_ = false; // the current press has dragged an entry
};
