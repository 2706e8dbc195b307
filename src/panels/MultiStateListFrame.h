// A list panel whose entries show a state icon instead of a check box; a click
// on the icon or Space moves the entry to its next state.
#pragma once

#include "panels/CheckListFrame.h"

#include <QIcon>

#include <vector>

class TMultiStateList : public TCheckList {
    Q_OBJECT
public:
    explicit TMultiStateList(const QString& Name, QWidget* Parent = nullptr);

    void SetStateIcons(std::vector<QIcon> Icons);
    int StateCount() const { return static_cast<int>(Model()->Display().StateIcons.size()); }
    void AdvanceState(int Row);

    // The check commands are hidden here and do nothing.
    void CheckAllExecute() override {}
    void UncheckAllExecute() override {}
    void InvertChecksExecute() override {}

    void ListKeyDown(QKeyEvent* Event) override;
    bool DecorationIsControl() const override { return true; }
    void ListMouseDown(QMouseEvent* Event) override;
};
