// The heading strip above the wizard pages.
#include "app/BannerFrame.h"

#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QResizeEvent>

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
    image_->setScaledContents(false);

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
    FitPicture();
}

// A wider banner keeps both ends of the picture (its glyphs) as drawn and
// stretches only the plain middle of the gradient between them.
void TBanner::FitPicture() {
    if (picture_.isNull()) {
        image_->setPixmap(picture_);
        return;
    }
    const int source = picture_.width();
    const int target = std::max(1, width());
    if (target <= source) {
        image_->setPixmap(picture_.scaled(target, BannerHeight));
        return;
    }
    const int left = source / 2;
    const int right = TextRightGap;
    QPixmap fitted(target, BannerHeight);
    fitted.fill(Qt::white);
    QPainter painter(&fitted);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRect(0, 0, left, BannerHeight), picture_,
                       QRect(0, 0, left, picture_.height()));
    painter.drawPixmap(QRect(left, 0, target - left - right, BannerHeight), picture_,
                       QRect(left, 0, source - left - right, picture_.height()));
    painter.drawPixmap(QRect(target - right, 0, right, BannerHeight), picture_,
                       QRect(source - right, 0, right, picture_.height()));
    painter.end();
    image_->setPixmap(fitted);
}

void TBanner::SetHeadingFont(const QFont& Font) {
    QFont bold = Font;
    bold.setBold(true);
    heading_->setFont(bold);
}

void TBanner::resizeEvent(QResizeEvent* Event) {
    QFrame::resizeEvent(Event);
    PlaceChildren();
    if (Event->size().width() != Event->oldSize().width())
        FitPicture();
}

void TBanner::PlaceChildren() {
    const int textWidth = std::max(0, width() - TextLeft - TextRightGap);
    background_->setGeometry(rect());
    image_->setGeometry(rect());
    heading_->setGeometry(TextLeft, HeadingTop, textWidth, HeadingHeight);
    subHeading_->setGeometry(TextLeft, SubHeadingTop, textWidth, SubHeadingHeight);
}
