// The heading strip above the wizard pages.
#include "app/BannerFrame.h"

#include <QLabel>
#include <QPalette>

namespace {
constexpr int BannerHeight = 60;
constexpr int TextLeft = 74;
constexpr int TextRightGap = 78;
constexpr int HeadingTop = 10;
constexpr int HeadingHeight = 14;
constexpr int SubHeadingTop = 24;
constexpr int SubHeadingHeight = 33;
} // namespace

TBanner::TBanner(QWidget* Parent) : QFrame(Parent) {
    setObjectName("Banner");
    setFixedHeight(BannerHeight);
    setFrameShape(QFrame::NoFrame);

    background_ = new QWidget(this);
    background_->setObjectName("Background");
    background_->setAutoFillBackground(true);
    QPalette white = background_->palette();
    white.setColor(QPalette::Window, Qt::white);
    background_->setPalette(white);

    image_ = new QLabel(this);
    image_->setObjectName("Image");
    image_->setScaledContents(true);

    // The texts sit over the picture, so they keep a transparent background and
    // a fixed dark colour that reads on the light end of the gradient.
    QPalette text = palette();
    text.setColor(QPalette::WindowText, Qt::black);

    heading_ = new QLabel("Heading", this);
    heading_->setObjectName("Heading");
    heading_->setPalette(text);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);

    subHeading_ = new QLabel(this);
    subHeading_->setObjectName("SubHeading");
    subHeading_->setPalette(text);
    subHeading_->setWordWrap(true);
    subHeading_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    PlaceChildren();
}

void TBanner::SetImage(const QPixmap& Picture) {
    picture_ = Picture;
    image_->setPixmap(picture_);
}

void TBanner::SetHeadingFont(const QFont& Font) {
    QFont bold = Font;
    bold.setBold(true);
    heading_->setFont(bold);
}

void TBanner::resizeEvent(QResizeEvent* Event) {
    QFrame::resizeEvent(Event);
    PlaceChildren();
}

void TBanner::PlaceChildren() {
    const int textWidth = std::max(0, width() - TextLeft - TextRightGap);
    background_->setGeometry(rect());
    image_->setGeometry(rect());
    heading_->setGeometry(TextLeft, HeadingTop, textWidth, HeadingHeight);
    subHeading_->setGeometry(TextLeft, SubHeadingTop, textWidth, SubHeadingHeight);
}
