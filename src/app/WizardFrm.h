// The reusable wizard window: a welcome panel, pages without tabs under a
// banner, and Back/Next buttons that step through the pages one at a time.
#pragma once

#include <QString>
#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QStackedWidget;
class QStatusBar;
class TBanner;

// One wizard page; its caption and hint become the banner texts when it is shown.
class TWizardPage : public QWidget {
    Q_OBJECT
public:
    TWizardPage(const QString& Name, const QString& Caption, const QString& Hint,
                QWidget* Parent = nullptr);

    const QString& Caption() const { return caption_; }
    const QString& Hint() const { return hint_; }

private:
    QString caption_;
    QString hint_;
};

// The window border styles a wizard can take; only the two sizeable ones let the
// user resize the window, so only they show the size grip.
enum class TBorderStyle { None, Single, Sizeable, Dialog, ToolWindow, SizeToolWin };

// The window-system commands the size grip follows.
inline constexpr unsigned ScMaximize = 0xF030;
inline constexpr unsigned ScRestore = 0xF120;
inline constexpr unsigned ScMinimize = 0xF020;

class TWizardForm : public QWidget {
    Q_OBJECT
public:
    explicit TWizardForm(QWidget* Parent = nullptr);

    // Appends a page; pages are stepped through in the order they were added.
    void AddPage(TWizardPage* Page);
    int PageCount() const;
    int PageIndex() const;
    TWizardPage* CurrentPage() const;
    TWizardPage* Page(int Index) const;

    virtual void NextClick();
    virtual void BackClick();
    void UpdateBanner();

    void SetBorderStyle(TBorderStyle Style);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    // Maximize hides the size grip and restore shows it; the whole command value
    // is compared, so variants with other low bits leave the grip alone.
    void WMSysCommand(unsigned Command);

    QPushButton* BackButton() const { return back_; }
    QPushButton* NextButton() const { return next_; }
    // Shown on the last page only, beside Next: closes the window.
    QPushButton* CloseButton() const { return close_; }
    QWidget* WelcomePagePanel() const { return welcomePagePanel_; }
    QWidget* NormalPagesPanel() const { return normalPagesPanel_; }
    QStackedWidget* Pages() const { return pages_; }
    TBanner* Banner() const { return banner_; }
    QStatusBar* ResizeBar() const { return resizeBar_; }
    QWidget* ButtonPanel() const { return buttonPanel_; }
    QLabel* WelcomeImage() const { return welcomeImage_; }

protected:
    virtual void FormCreate();
    void changeEvent(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QWidget* welcomePagePanel_;
    QWidget* welcomeBackground_;
    QLabel* welcomeImage_;
    QWidget* normalPagesPanel_;
    TBanner* banner_;
    QStackedWidget* pages_;
    QWidget* bottomPanel_;
    QWidget* buttonPanel_;
    QPushButton* back_;
    QPushButton* next_;
    QPushButton* close_;
    QStatusBar* resizeBar_;
    TBorderStyle borderStyle_ = TBorderStyle::Sizeable;

    void LayoutBottomPanel();
    void ShowCloseOnLastPage();
    void LayoutWelcomePanel();
};
