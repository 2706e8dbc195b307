// Small always-on-top help windows beside the main window; closing one only hides it.
#pragma once

#include <QWidget>

class QLabel;
class QScrollArea;

// Puts Window into the topmost layer (On) or takes it out, without moving,
// resizing or activating it.
void SetTopmost(QWidget* Window, bool On);

class THelpForm : public QWidget {
    Q_OBJECT
public:
    explicit THelpForm(QWidget* Parent = nullptr);

    // Shows the window without making it modal, in front; centred over Owner the
    // first time, where the user left it afterwards.
    void ShowBeside(QWidget* Owner);

    QLabel* Help() const { return help_; }

protected:
    void FormCreate();
    void closeEvent(QCloseEvent* Event) override;

private:
    QScrollArea* scrollBox_;
    QLabel* help_;
    bool placed_ = false;
};
