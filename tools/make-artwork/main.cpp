// Draws the program's own pictures: the banner strip (609 x 60), the welcome
// background (609 x 445), both JPEG, and the application icon (PNG).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>

namespace {
const QColor DeepGreen(0x0b, 0x4a, 0x1f);
const QColor NearWhite(0xf7, 0xfb, 0xf7);

// The green falls off quickly, so the texts drawn over the pictures sit on a
// light ground.
QLinearGradient Ramp(int Width, double LightFrom) {
    QLinearGradient ramp(0, 0, Width, 0);
    ramp.setColorAt(0.0, DeepGreen);
    ramp.setColorAt(LightFrom * 0.45, QColor(0x2e, 0x7d, 0x43));
    ramp.setColorAt(LightFrom, QColor(0xc8, 0xe4, 0xcd));
    ramp.setColorAt(1.0, NearWhite);
    return ramp;
}

QPainterPath Triangle(QPointF Centre, double Size) {
    // An equilateral play triangle pointing right, centred on its bounding box.
    const double h = Size * 0.866;
    QPainterPath path;
    path.moveTo(Centre.x() - h / 2, Centre.y() - Size / 2);
    path.lineTo(Centre.x() + h / 2, Centre.y());
    path.lineTo(Centre.x() - h / 2, Centre.y() + Size / 2);
    path.closeSubpath();
    return path;
}

void ShadedTriangle(QPainter& Painter, QPointF Centre, double Size, QColor Light, QColor Dark) {
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(0, 0, 0, 70));
    Painter.drawPath(Triangle(Centre + QPointF(Size * 0.04, Size * 0.05), Size));
    QLinearGradient shade(Centre.x(), Centre.y() - Size / 2, Centre.x(), Centre.y() + Size / 2);
    shade.setColorAt(0.0, Light);
    shade.setColorAt(1.0, Dark);
    Painter.setBrush(shade);
    Painter.drawPath(Triangle(Centre, Size));
}

QImage Banner() {
    QImage image(609, 60, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), Ramp(image.width(), 0.22));
    ShadedTriangle(painter, QPointF(36, 30), 40, QColor(0xff, 0xff, 0xff),
                   QColor(0xb8, 0xdc, 0xbf));
    ShadedTriangle(painter, QPointF(572, 30), 34, QColor(0x4c, 0xa2, 0x62),
                   QColor(0x0b, 0x4a, 0x1f));
    return image;
}

QImage Welcome() {
    QImage image(609, 445, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), Ramp(image.width(), 0.46));
    ShadedTriangle(painter, QPointF(140, 210), 200, QColor(0xff, 0xff, 0xff),
                   QColor(0x7f, 0xbf, 0x8e));
    return image;
}

// Drawn on a 32-unit grid, scaled to Size pixels.
QImage Icon(int Size = 32) {
    QImage image(Size, Size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(Size / 32.0, Size / 32.0);
    QLinearGradient ground(0, 0, 32, 0);
    ground.setColorAt(0.0, DeepGreen);
    ground.setColorAt(1.0, QColor(0x4c, 0xa2, 0x62));
    painter.setPen(Qt::NoPen);
    painter.setBrush(ground);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    painter.setBrush(NearWhite);
    painter.drawPath(Triangle(QPointF(17, 16), 18));
    return image;
}

bool Save(const QImage& Image, const QString& File, const char* Format) {
    if (Image.save(File, Format, 92))
        return true;
    std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(File));
    return false;
}
} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT-FOLDER [ICON-THEME-FOLDER]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = Save(Banner(), folder + "/banner.jpg", "JPEG") &&
              Save(Welcome(), folder + "/welcome.jpg", "JPEG") &&
              Save(Icon(), folder + "/icon.png", "PNG");
    // The application icon in the sizes of the hicolor theme, for installing.
    if (argc == 3) {
        const QString theme = QString::fromLocal8Bit(argv[2]);
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString apps = QString("%1/%2x%2/apps").arg(theme).arg(size);
            ok = ok && QDir().mkpath(apps) && Save(Icon(size), apps + "/morvane.png", "PNG");
        }
    }
    return ok ? 0 : 1;
}
