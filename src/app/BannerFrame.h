// The heading strip above the wizard pages: a picture with a bold heading and a
// word-wrapped subheading drawn over it.
#pragma once

#include <QFrame>
#include <QPixmap>

class QLabel;

class TBanner : public QFrame {
    Q_OBJECT
public:
    explicit TBanner(QWidget* Parent = nullptr);

    void SetImage(const QPixmap& Picture);
    void SetHeadingFont(const QFont& Font);

    QLabel* Heading() const { return heading_; }
    QLabel* SubHeading() const { return subHeading_; }
    QLabel* Image() const { return image_; }

protected:
    void resizeEvent(QResizeEvent* Event) override;

private:
    void FitPicture();
    QWidget* background_;
    QLabel* image_;
    QLabel* heading_;
    QLabel* subHeading_;
    QPixmap picture_;

    void PlaceChildren();
};
