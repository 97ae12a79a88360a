#include "mainwindow/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace {

// A transparent square pixmap with a painter scaled so that the drawing spans `units` units.
struct Canvas {
    QPixmap pixmap;
    QPainter painter;
    Canvas(int size, double units) : pixmap(size, size) {
        pixmap.fill(Qt::transparent);
        painter.begin(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / units, size / units);
    }
    QPixmap Done() {
        painter.end();
        return pixmap;
    }
};

QPixmap DrawApp(int size) {
    Canvas c(size, 32);
    QPainter& p = c.painter;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 64));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 4, 4);
    p.setBrush(QColor(255, 255, 0));
    p.drawRoundedRect(QRectF(4, 6, 24, 20), 2, 2);
    QPainterPath wave;
    const double xs[] = {6, 9, 10.5, 12.5, 14.5, 16.5, 18.5, 20.5, 22, 23.5, 26};
    const double ys[] = {16, 16, 10, 22, 8, 24, 11, 20, 14, 16, 16};
    wave.moveTo(xs[0], ys[0]);
    for (int i = 1; i < 11; ++i) wave.lineTo(xs[i], ys[i]);
    p.setPen(QPen(Qt::black, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    return c.Done();
}

// One arc of the reload sign with its arrowhead at the end of the arc.
void Arrow(QPainter& p, const QRectF& box, double startDeg, double spanDeg) {
    QPainterPath arc;
    arc.arcMoveTo(box, startDeg);
    arc.arcTo(box, startDeg, spanDeg);
    p.drawPath(arc);
    double end = (startDeg + spanDeg) * M_PI / 180.0;
    QPointF c = box.center(),
            tip(c.x() + box.width() / 2 * std::cos(end), c.y() - box.height() / 2 * std::sin(end));
    // Tangent direction of the arc at its end (counter-clockwise on screen for positive span).
    QPointF dir(-std::sin(end), -std::cos(end));
    if (spanDeg < 0) dir = -dir;
    QPointF normal(-dir.y(), dir.x());
    const double len = 3.2, half = 2.4;
    QPolygonF head{tip + dir * len, tip + normal * half, tip - normal * half};
    p.setBrush(p.pen().color());
    p.drawPolygon(head);
    p.setBrush(Qt::NoBrush);
}

QPixmap DrawReload(int size) {
    Canvas c(size, 16);
    QPainter& p = c.painter;
    p.setPen(QPen(QColor(0, 0, 0), 1.6, Qt::SolidLine, Qt::FlatCap));
    QRectF box(3, 3, 10, 10);
    Arrow(p, box, 100, 140);
    Arrow(p, box, 280, 140);
    return c.Done();
}

QPixmap DrawStar(int size, bool gone) {
    Canvas c(size, 16);
    QPainter& p = c.painter;
    QPolygonF star;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? 3.2 : 7.5, a = M_PI / 2 + i * M_PI / 5;
        star << QPointF(8 + r * std::cos(a), 8.5 - r * std::sin(a));
    }
    p.setPen(QPen(gone ? QColor(128, 128, 128) : QColor(120, 80, 0), 1));
    p.setBrush(gone ? QBrush(Qt::NoBrush) : QBrush(QColor(255, 200, 0)));
    p.drawPolygon(star);
    if (gone) p.drawLine(QPointF(2, 14), QPointF(14, 2));
    return c.Done();
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    // The title bar and task bar ask for 16 to 64 pixels; larger sizes come from the
    // installed icon theme files.
    for (int s : {16, 32, 64}) icon.addPixmap(DrawApp(s));
    return icon;
}

QIcon ReloadIcon() {
    QIcon icon;
    for (int s : {16, 24, 32, 48}) icon.addPixmap(DrawReload(s));
    return icon;
}

QIcon StarIcon(bool gone) {
    static const QIcon icons[2] = {[] {
                                       QIcon i;
                                       for (int s : {16, 32}) i.addPixmap(DrawStar(s, false));
                                       return i;
                                   }(),
                                   [] {
                                       QIcon i;
                                       for (int s : {16, 32}) i.addPixmap(DrawStar(s, true));
                                       return i;
                                   }()};
    return icons[gone ? 1 : 0];
}
