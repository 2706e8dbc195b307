// Small always-on-top help windows.
#include "app/HelpFrm.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

void SetTopmost(QWidget* Window, bool On) {
    if (Window->testAttribute(Qt::WA_WState_Created) &&
        bool(Window->windowFlags() & Qt::WindowStaysOnTopHint) == On)
        return;
    // Changing window flags hides a shown window; showing it again must neither
    // move nor activate it.
    const bool wasVisible = Window->isVisible();
    const QPoint place = Window->pos();
    Window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    Window->setWindowFlag(Qt::WindowStaysOnTopHint, On);
    if (wasVisible) {
        Window->move(place);
        Window->show();
    }
    Window->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

THelpForm::THelpForm(QWidget* Parent) : QWidget(Parent, Qt::Tool) {
    setObjectName("HelpForm");
    setWindowTitle("Help");
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    QFont windowFont = font();
    windowFont.setFamilies({"Tahoma", "DejaVu Sans", "Sans Serif"});
    windowFont.setPointSize(8);
    setFont(windowFont);
    resize(385, 94);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scrollBox_ = new QScrollArea(this);
    scrollBox_->setObjectName("ScrollBox");
    scrollBox_->setFrameShape(QFrame::NoFrame);
    scrollBox_->setWidgetResizable(true);
    scrollBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    help_ = new QLabel("Help");
    help_->setObjectName("Help");
    help_->setWordWrap(true);
    help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    help_->setMargin(2);
    scrollBox_->setWidget(help_);
    layout->addWidget(scrollBox_);

    FormCreate();
}

void THelpForm::FormCreate() {
    SetTopmost(this, true);
}

void THelpForm::ShowBeside(QWidget* Owner) {
    if (!placed_ && Owner) {
        const QRect frame = Owner->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
        placed_ = true;
    }
    show();
    raise();
}

void THelpForm::closeEvent(QCloseEvent* Event) {
    hide();
    Event->accept();
}
