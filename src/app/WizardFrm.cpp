// The reusable wizard window: welcome panel, tab-less pages, Back/Next stepping
// and the size grip rules.
#include "app/WizardFrm.h"
#include "app/BannerFrame.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

namespace {
constexpr int BottomPanelHeight = 60;
constexpr int ButtonPanelWidth = 300;
constexpr int ResizeBarHeight = 19;

QFrame* MakeBevel(QWidget* Parent, const char* Name) {
    auto* bevel = new QFrame(Parent);
    bevel->setObjectName(Name);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setFixedHeight(2);
    return bevel;
}
} // namespace

TWizardPage::TWizardPage(const QString& Name, const QString& Caption, const QString& Hint,
                         QWidget* Parent)
    : QWidget(Parent), caption_(Caption), hint_(Hint) {
    setObjectName(Name);
}

TWizardForm::TWizardForm(QWidget* Parent) : QWidget(Parent) {
    QFont windowFont = font();
    windowFont.setFamilies({"Tahoma", "DejaVu Sans", "Sans Serif"});
    windowFont.setPointSize(8);
    setFont(windowFont);
    resize(609, 453);
    setMinimumSize(342, 133);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    welcomePagePanel_ = new QWidget(this);
    welcomePagePanel_->setObjectName("WelcomePagePanel");
    welcomeBackground_ = new QWidget(welcomePagePanel_);
    welcomeBackground_->setObjectName("WelcomeBackground");
    welcomeBackground_->setAutoFillBackground(true);
    QPalette white = welcomeBackground_->palette();
    white.setColor(QPalette::Window, Qt::white);
    welcomeBackground_->setPalette(white);
    welcomeImage_ = new QLabel(welcomePagePanel_);
    welcomeImage_->setObjectName("WelcomeImage");
    welcomeImage_->setScaledContents(true);
    welcomePagePanel_->installEventFilter(this);
    layout->addWidget(welcomePagePanel_, 1);

    normalPagesPanel_ = new QWidget(this);
    normalPagesPanel_->setObjectName("NormalPagesPanel");
    auto* normalLayout = new QVBoxLayout(normalPagesPanel_);
    normalLayout->setContentsMargins(0, 0, 0, 0);
    normalLayout->setSpacing(0);
    banner_ = new TBanner(normalPagesPanel_);
    normalLayout->addWidget(banner_);
    normalLayout->addWidget(MakeBevel(normalPagesPanel_, "TopBevel"));
    pages_ = new QStackedWidget(normalPagesPanel_);
    pages_->setObjectName("Pages");
    pages_->setFocusPolicy(Qt::NoFocus);
    normalLayout->addWidget(pages_, 1);
    layout->addWidget(normalPagesPanel_, 1);

    layout->addWidget(MakeBevel(this, "BottomBevel"));

    bottomPanel_ = new QWidget(this);
    bottomPanel_->setObjectName("BottomPanel");
    bottomPanel_->setFixedHeight(BottomPanelHeight);
    resizeBar_ = new QStatusBar(bottomPanel_);
    resizeBar_->setObjectName("ResizeBar");
    resizeBar_->setSizeGripEnabled(true);
    buttonPanel_ = new QWidget(bottomPanel_);
    buttonPanel_->setObjectName("ButtonPanel");
    buttonPanel_->resize(ButtonPanelWidth, BottomPanelHeight);
    back_ = new QPushButton("< &Back", buttonPanel_);
    back_->setObjectName("Back");
    back_->setGeometry(73, 17, 75, 25);
    next_ = new QPushButton("&Next >", buttonPanel_);
    next_->setObjectName("Next");
    next_->setGeometry(153, 17, 75, 25);
    close_ = new QPushButton("&Close", buttonPanel_);
    close_->setObjectName("Close");
    close_->setGeometry(233, 17, 62, 25);
    close_->setAutoDefault(true);
    close_->hide();
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    bottomPanel_->installEventFilter(this);
    layout->addWidget(bottomPanel_);

    // Enter presses the focused button, as Space does.
    back_->setAutoDefault(true);
    next_->setAutoDefault(true);
    back_->setEnabled(false);
    connect(back_, &QPushButton::clicked, this, [this] { BackClick(); });
    connect(next_, &QPushButton::clicked, this, [this] { NextClick(); });

    TWizardForm::FormCreate();
}

void TWizardForm::AddPage(TWizardPage* Page) {
    pages_->addWidget(Page);
}

int TWizardForm::PageCount() const {
    return pages_->count();
}

int TWizardForm::PageIndex() const {
    return pages_->currentIndex();
}

TWizardPage* TWizardForm::CurrentPage() const {
    return static_cast<TWizardPage*>(pages_->currentWidget());
}

TWizardPage* TWizardForm::Page(int Index) const {
    return static_cast<TWizardPage*>(pages_->widget(Index));
}

void TWizardForm::FormCreate() {
    normalPagesPanel_->hide();
    welcomePagePanel_->show();
    if (pages_->count() > 0)
        pages_->setCurrentIndex(0);
    ShowCloseOnLastPage();
}

void TWizardForm::NextClick() {
    if (!welcomePagePanel_->isHidden()) {
        welcomePagePanel_->hide();
        normalPagesPanel_->show();
    } else if (PageIndex() + 1 < PageCount()) {
        pages_->setCurrentIndex(PageIndex() + 1);
    }
    UpdateBanner();
    next_->setEnabled(PageIndex() < PageCount() - 1);
    back_->setEnabled(true);
    ShowCloseOnLastPage();
}

void TWizardForm::ShowCloseOnLastPage() {
    close_->setVisible(welcomePagePanel_->isHidden() && PageIndex() == PageCount() - 1);
}

void TWizardForm::BackClick() {
    if (PageIndex() > 0) {
        pages_->setCurrentIndex(PageIndex() - 1);
        UpdateBanner();
    } else {
        normalPagesPanel_->hide();
        welcomePagePanel_->show();
    }
    next_->setEnabled(true);
    back_->setEnabled(welcomePagePanel_->isHidden());
    ShowCloseOnLastPage();
}

void TWizardForm::UpdateBanner() {
    const TWizardPage* page = CurrentPage();
    banner_->Heading()->setText(page ? page->Caption() : QString());
    banner_->SubHeading()->setText(page ? page->Hint() : QString());
}

void TWizardForm::SetBorderStyle(TBorderStyle Style) {
    borderStyle_ = Style;
    const bool wasVisible = isVisible();
    Qt::WindowFlags flags = Qt::Window;
    switch (Style) {
    case TBorderStyle::None:
        flags |= Qt::FramelessWindowHint;
        break;
    case TBorderStyle::Single:
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
        break;
    case TBorderStyle::Sizeable:
        flags |= Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint;
        break;
    case TBorderStyle::Dialog:
        flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        break;
    case TBorderStyle::ToolWindow:
    case TBorderStyle::SizeToolWin:
        flags =
            Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
        break;
    }
    setWindowFlags(flags);
    const bool sizeable = Style == TBorderStyle::Sizeable || Style == TBorderStyle::SizeToolWin;
    if (sizeable) {
        setMinimumSize(342, 133);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    } else {
        setFixedSize(size());
    }
    resizeBar_->setVisible(sizeable);
    if (wasVisible)
        show();
}

void TWizardForm::WMSysCommand(unsigned Command) {
    if (Command == ScMaximize)
        resizeBar_->hide();
    else if (Command == ScRestore)
        resizeBar_->show();

    if (Command == ScMaximize)
        showMaximized();
    else if (Command == ScRestore)
        showNormal();
    else if (Command == ScMinimize)
        showMinimized();
}

void TWizardForm::changeEvent(QEvent* Event) {
    // The window manager's own maximize and restore follow the same grip rule.
    if (Event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(Event);
        const bool sizeable =
            borderStyle_ == TBorderStyle::Sizeable || borderStyle_ == TBorderStyle::SizeToolWin;
        if (windowState() & Qt::WindowMaximized)
            resizeBar_->hide();
        else if ((change->oldState() & Qt::WindowMaximized) && sizeable)
            resizeBar_->show();
    }
    QWidget::changeEvent(Event);
}

bool TWizardForm::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::Resize) {
        if (Watched == bottomPanel_)
            LayoutBottomPanel();
        else if (Watched == welcomePagePanel_)
            LayoutWelcomePanel();
    }
    return QWidget::eventFilter(Watched, Event);
}

void TWizardForm::LayoutBottomPanel() {
    const int width = bottomPanel_->width();
    resizeBar_->setGeometry(0, BottomPanelHeight - ResizeBarHeight, width, ResizeBarHeight);
    // The button panel stays centred and above the bar, so the grip in the
    // corner remains reachable while the buttons cover the bar's middle.
    buttonPanel_->move((width - ButtonPanelWidth) / 2, 0);
    buttonPanel_->raise();
}

void TWizardForm::LayoutWelcomePanel() {
    welcomeBackground_->setGeometry(welcomePagePanel_->rect());
    welcomeImage_->setGeometry(welcomePagePanel_->rect());
    welcomeBackground_->lower();
}
