// Draws the panels' small pictures on a 16-unit grid, at 16 and 32 pixels.
#include "panels/PanelIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>
#include <map>

namespace {
using Drawing = std::function<void(QPainter&)>;

const QColor Green(46, 139, 60);
const QColor Red(196, 42, 42);
const QColor Grey(128, 128, 128);
const QColor Ink(40, 40, 40);
const QColor Paper(250, 250, 250);

QIcon Render(const Drawing& Draw) {
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        Draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void Box(QPainter& P) {
    P.setPen(QPen(Ink, 1));
    P.setBrush(Paper);
    P.drawRect(QRectF(2.5, 2.5, 11, 11));
}

void Tick(QPainter& P, const QColor& Colour, QPointF Offset = {}) {
    P.setPen(QPen(Colour, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    P.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(QPointF(4.5, 8) + Offset);
    path.lineTo(QPointF(7, 10.5) + Offset);
    path.lineTo(QPointF(11.5, 5) + Offset);
    P.drawPath(path);
}

void Disc(QPainter& P, const QColor& Colour, QRectF Area = QRectF(2, 2, 12, 12)) {
    P.setPen(QPen(Colour.darker(130), 1));
    P.setBrush(Colour);
    P.drawEllipse(Area);
}

void Bar(QPainter& P, QLineF Line, const QColor& Colour, qreal Width = 2) {
    P.setPen(QPen(Colour, Width, Qt::SolidLine, Qt::RoundCap));
    P.drawLine(Line);
}

// A state disc with a second one peeking out behind it: the "all entries" commands.
void Stack(QPainter& P, const QColor& Colour) {
    Disc(P, Colour.lighter(140), QRectF(5, 1, 10, 10));
    Disc(P, Colour, QRectF(1, 5, 10, 10));
}

void Page(QPainter& P) {
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(12.5, 4);
    page.lineTo(12.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    P.setPen(QPen(Ink, 1));
    P.setBrush(Paper);
    P.drawPath(page);
}

QIcon Make(TPanelIcon Which) {
    switch (Which) {
    case TPanelIcon::Add:
        return Render([](QPainter& P) {
            Bar(P, QLineF(8, 2.5, 8, 13.5), Green, 3);
            Bar(P, QLineF(2.5, 8, 13.5, 8), Green, 3);
        });
    case TPanelIcon::Remove:
        return Render([](QPainter& P) {
            Bar(P, QLineF(3.5, 3.5, 12.5, 12.5), Red, 3);
            Bar(P, QLineF(12.5, 3.5, 3.5, 12.5), Red, 3);
        });
    case TPanelIcon::Edit:
        return Render([](QPainter& P) {
            Bar(P, QLineF(4, 12, 12.5, 3.5), QColor(214, 160, 30), 3.5);
            Bar(P, QLineF(2.5, 13.5, 4, 12), Ink, 2);
        });
    case TPanelIcon::CheckAll:
        return Render([](QPainter& P) {
            Box(P);
            Tick(P, Green);
        });
    case TPanelIcon::UncheckAll:
        return Render([](QPainter& P) { Box(P); });
    case TPanelIcon::InvertChecks:
        return Render([](QPainter& P) {
            Box(P);
            P.setPen(Qt::NoPen);
            P.setBrush(Ink);
            P.drawPolygon(QPolygonF({QPointF(13, 3), QPointF(13, 13), QPointF(3, 13)}));
        });
    case TPanelIcon::IncludeAll:
        return Render([](QPainter& P) { Stack(P, Green); });
    case TPanelIcon::ExcludeAll:
        return Render([](QPainter& P) { Stack(P, Red); });
    case TPanelIcon::IgnoreAll:
        return Render([](QPainter& P) { Stack(P, Grey); });
    case TPanelIcon::Play:
        return Render([](QPainter& P) {
            P.setPen(QPen(Green.darker(130), 1));
            P.setBrush(Green);
            P.drawPolygon(QPolygonF({QPointF(4, 2.5), QPointF(13.5, 8), QPointF(4, 13.5)}));
        });
    case TPanelIcon::Stop:
        return Render([](QPainter& P) {
            P.setPen(QPen(Red.darker(130), 1));
            P.setBrush(Red);
            P.drawRect(QRectF(3.5, 3.5, 9, 9));
        });
    case TPanelIcon::StateInclude:
        return Render([](QPainter& P) {
            Disc(P, Green);
            Tick(P, Qt::white);
        });
    case TPanelIcon::StateExclude:
        return Render([](QPainter& P) {
            Disc(P, Red);
            Bar(P, QLineF(5, 8, 11, 8), Qt::white);
        });
    case TPanelIcon::StateIgnore:
        return Render([](QPainter& P) {
            P.setPen(QPen(Grey, 1.5));
            P.setBrush(Qt::NoBrush);
            P.drawEllipse(QRectF(2.5, 2.5, 11, 11));
        });
    case TPanelIcon::Folder:
        return Render([](QPainter& P) {
            const QColor manila(232, 188, 80);
            P.setPen(QPen(manila.darker(150), 1));
            P.setBrush(manila.darker(110));
            P.drawRect(QRectF(1.5, 3.5, 6, 3));
            P.setBrush(manila);
            P.drawRect(QRectF(1.5, 5.5, 13, 8));
        });
    case TPanelIcon::Application:
        return Render([](QPainter& P) {
            Page(P);
            const QColor note(40, 90, 170);
            P.setPen(Qt::NoPen);
            P.setBrush(note);
            P.drawEllipse(QRectF(5, 9.5, 3.5, 3));
            Bar(P, QLineF(8, 11, 8, 5), note, 1.2);
            Bar(P, QLineF(8, 5, 10.5, 6.5), note, 1.2);
        });
    case TPanelIcon::UnknownFile:
        return Render([](QPainter& P) {
            Page(P);
            P.setPen(Ink);
            QFont font = P.font();
            font.setPixelSize(9);
            font.setBold(true);
            P.setFont(font);
            P.drawText(QRectF(3.5, 3, 9, 11), Qt::AlignCenter, QStringLiteral("?"));
        });
    }
    return {};
}
} // namespace

const QIcon& PanelIcon(TPanelIcon Which) {
    // Kept for the whole process: the pictures are made once, on first use.
    static auto* icons = new std::map<TPanelIcon, QIcon>;
    auto found = icons->find(Which);
    if (found == icons->end())
        found = icons->emplace(Which, Make(Which)).first;
    return found->second;
}
