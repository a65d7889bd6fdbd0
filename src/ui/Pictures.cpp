#include "ui/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

QIcon Draw(int w, int h, const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    p.end();
    return QIcon(pixmap);
}

// A certificate: a sheet with text lines, and a seal in its lower right.
void PaintCertificate(QPainter& p, bool isSigned)
{
    p.setPen(QPen(QColor(70, 70, 90), 1));
    p.setBrush(QColor(250, 248, 235));
    p.drawRect(QRectF(3.5, 4.5, 25, 20));
    p.setPen(QPen(QColor(120, 120, 150), 1.5));
    for (int y = 9; y <= 17; y += 4)
        p.drawLine(QPointF(7, y), QPointF(24, y));
    const QColor seal = isSigned ? QColor(200, 30, 30) : QColor(170, 170, 170);
    // Ribbons under the seal.
    p.setPen(Qt::NoPen);
    p.setBrush(seal.darker(120));
    QPolygonF left{QPointF(19, 24), QPointF(17, 31), QPointF(20, 29), QPointF(22, 31), QPointF(22, 25)};
    QPolygonF right{QPointF(25, 25), QPointF(25, 31), QPointF(27, 29), QPointF(30, 31), QPointF(28, 24)};
    p.drawPolygon(left);
    p.drawPolygon(right);
    p.setBrush(seal);
    p.setPen(QPen(seal.darker(140), 1));
    p.drawEllipse(QPointF(23.5, 22.5), 6, 6);
    if (isSigned) {
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(20.5, 22.5);
        tick.lineTo(22.8, 25);
        tick.lineTo(26.5, 20);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        p.setPen(QPen(Qt::white, 1.5, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(23.5, 22.5), 3.5, 3.5);
    }
}

void Tick(QPainter& p, QRectF r, QColor c)
{
    p.setPen(QPen(c, r.height() / 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath path;
    path.moveTo(r.left() + r.width() * 0.15, r.top() + r.height() * 0.55);
    path.lineTo(r.left() + r.width() * 0.42, r.top() + r.height() * 0.82);
    path.lineTo(r.left() + r.width() * 0.88, r.top() + r.height() * 0.2);
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void Cross(QPainter& p, QRectF r, QColor c)
{
    p.setPen(QPen(c, r.height() / 7, Qt::SolidLine, Qt::RoundCap));
    const qreal m = r.width() * 0.2;
    p.drawLine(QPointF(r.left() + m, r.top() + m), QPointF(r.right() - m, r.bottom() - m));
    p.drawLine(QPointF(r.right() - m, r.top() + m), QPointF(r.left() + m, r.bottom() - m));
}

void Letter(QPainter& p, QRectF r, QColor c, const QString& text, int pixelSize)
{
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(pixelSize);
    p.setFont(f);
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void Arrow(QPainter& p, QPointF from, QPointF to, QColor c)
{
    p.setPen(QPen(c, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal len = std::max<qreal>(1, std::hypot(d.x(), d.y()));
    const QPointF u(d.x() / len, d.y() / len), n(-u.y(), u.x());
    p.drawLine(to, to - u * 4 + n * 3);
    p.drawLine(to, to - u * 4 - n * 3);
}

void Diskette(QPainter& p, QRectF r)
{
    p.setPen(QPen(QColor(30, 40, 90), 1));
    p.setBrush(QColor(60, 80, 160));
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setBrush(QColor(220, 220, 230));
    p.drawRect(QRectF(r.left() + r.width() * 0.25, r.top() + 0.5, r.width() * 0.5, r.height() * 0.35));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.55, r.width() * 0.64, r.height() * 0.4));
}

void Page(QPainter& p, QRectF r)
{
    p.setPen(QPen(QColor(80, 80, 80), 1));
    p.setBrush(Qt::white);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    p.setPen(QPen(QColor(150, 150, 150), 1));
    for (qreal y = r.top() + 4; y < r.bottom() - 2; y += 3)
        p.drawLine(QPointF(r.left() + 2.5, y), QPointF(r.right() - 2.5, y));
}

} // namespace

namespace Pictures {

QList<QIcon> CertificateIcons()
{
    return {Draw(32, 32, [](QPainter& p) { PaintCertificate(p, false); }),
            Draw(32, 32, [](QPainter& p) { PaintCertificate(p, true); })};
}

QList<QIcon> MenuImages()
{
    const QColor green(20, 140, 40), red(190, 30, 30), blue(30, 70, 170);
    QList<QIcon> list;
    // 0 new: a sheet with a star.
    list << Draw(16, 16, [&](QPainter& p) {
        Page(p, QRectF(2, 1, 10, 14));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 190, 0));
        p.drawEllipse(QPointF(12, 4), 3.5, 3.5);
    });
    // 1 remove: a red cross.
    list << Draw(16, 16, [&](QPainter& p) { Cross(p, QRectF(0, 0, 16, 16), red); });
    // 2 diskette.
    list << Draw(16, 16, [&](QPainter& p) { Diskette(p, QRectF(1, 1, 14, 14)); });
    // 3 import: arrow into a sheet.
    list << Draw(16, 16, [&](QPainter& p) {
        Page(p, QRectF(6, 1, 9, 14));
        Arrow(p, QPointF(0.5, 8), QPointF(10, 8), green);
    });
    // 4 export: arrow out of a sheet.
    list << Draw(16, 16, [&](QPainter& p) {
        Page(p, QRectF(1, 1, 9, 14));
        Arrow(p, QPointF(5, 8), QPointF(15.5, 8), blue);
    });
    // 5 fill in: a sheet with a pencil.
    list << Draw(16, 16, [&](QPainter& p) {
        Page(p, QRectF(1, 1, 10, 14));
        p.setPen(QPen(QColor(200, 140, 0), 3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(14.5, 3), QPointF(7, 12));
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(QPointF(7.5, 11.5), QPointF(6, 14));
    });
    // 6 send: diskette with an outgoing arrow.
    list << Draw(16, 16, [&](QPainter& p) {
        Diskette(p, QRectF(0, 4, 11, 11));
        Arrow(p, QPointF(8, 8), QPointF(15.5, 1), green);
    });
    // 7 receive: diskette with an incoming arrow.
    list << Draw(16, 16, [&](QPainter& p) {
        Diskette(p, QRectF(5, 5, 11, 11));
        Arrow(p, QPointF(0.5, 0.5), QPointF(8, 8), blue);
    });
    // 8 help topics: a blue book with a question mark.
    list << Draw(16, 16, [&](QPainter& p) {
        p.setPen(QPen(QColor(20, 40, 100), 1));
        p.setBrush(blue);
        p.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.5, 1.5);
        Letter(p, QRectF(2, 1, 12, 14), Qt::white, QStringLiteral("?"), 11);
    });
    // 9 how to: a yellow bulb-like disc with a question mark.
    list << Draw(16, 16, [&](QPainter& p) {
        p.setPen(QPen(QColor(150, 110, 0), 1));
        p.setBrush(QColor(255, 215, 60));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        Letter(p, QRectF(1, 1, 14, 14), QColor(60, 40, 0), QStringLiteral("?"), 11);
    });
    return list;
}

QList<QIcon> ButtonGlyphs()
{
    const QColor green(20, 140, 40), red(190, 30, 30), blue(30, 70, 170), grey(90, 90, 90);
    const QRectF r(1, 1, 16, 16);
    QList<QIcon> list;
    list << Draw(18, 18, [&](QPainter& p) { Tick(p, r, green); }); // Yes
    list << Draw(18, 18, [&](QPainter& p) { Cross(p, r, red); });  // No
    list << Draw(18, 18, [&](QPainter& p) { Tick(p, r, green); }); // OK
    list << Draw(18, 18, [&](QPainter& p) { Cross(p, r, red); });  // Cancel
    list << Draw(18, 18, [&](QPainter& p) {                        // Abort
        p.setPen(QPen(red.darker(130), 1));
        p.setBrush(red);
        p.drawEllipse(r.adjusted(1, 1, -1, -1));
        p.setPen(QPen(Qt::white, 2.5));
        p.drawLine(QPointF(5, 9), QPointF(13, 9));
    });
    list << Draw(18, 18, [&](QPainter& p) { // Retry
        p.setPen(QPen(blue, 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(r.adjusted(2, 2, -2, -2), 30 * 16, 280 * 16);
        Arrow(p, QPointF(13, 3), QPointF(15, 7), blue);
    });
    list << Draw(18, 18, [&](QPainter& p) { Arrow(p, QPointF(2, 9), QPointF(16, 9), grey); }); // Ignore
    list << Draw(18, 18, [&](QPainter& p) {                                                    // All
        Tick(p, QRectF(0, 1, 12, 14), green);
        Tick(p, QRectF(6, 3, 12, 14), green);
    });
    list << Draw(18, 18, [&](QPainter& p) { // No to all
        Cross(p, QRectF(0, 1, 12, 12), red);
        Cross(p, QRectF(6, 5, 12, 12), red);
    });
    list << Draw(18, 18, [&](QPainter& p) { // Yes to all
        Tick(p, QRectF(0, 1, 12, 14), green);
        Tick(p, QRectF(6, 3, 12, 14), green);
    });
    list << Draw(18, 18, [&](QPainter& p) { Letter(p, r, blue, QStringLiteral("?"), 15); }); // Help
    return list;
}

QList<QIcon> DialogIcons()
{
    QList<QIcon> list;
    // Warning: a yellow triangle with "!".
    list << Draw(32, 32, [](QPainter& p) {
        QPolygonF tri{QPointF(16, 2), QPointF(30.5, 29), QPointF(1.5, 29)};
        p.setPen(QPen(QColor(120, 90, 0), 1.2));
        p.setBrush(QColor(255, 210, 40));
        p.drawPolygon(tri);
        Letter(p, QRectF(0, 8, 32, 22), Qt::black, QStringLiteral("!"), 18);
    });
    // Error: a red disc with a white cross.
    list << Draw(32, 32, [](QPainter& p) {
        p.setPen(QPen(QColor(120, 0, 0), 1.2));
        p.setBrush(QColor(210, 30, 30));
        p.drawEllipse(QRectF(2, 2, 28, 28));
        Cross(p, QRectF(6, 6, 20, 20), Qt::white);
    });
    // Information: a blue disc with "i".
    list << Draw(32, 32, [](QPainter& p) {
        p.setPen(QPen(QColor(10, 40, 110), 1.2));
        p.setBrush(QColor(40, 90, 200));
        p.drawEllipse(QRectF(2, 2, 28, 28));
        Letter(p, QRectF(2, 2, 28, 28), Qt::white, QStringLiteral("i"), 20);
    });
    // Confirmation: a blue disc with "?".
    list << Draw(32, 32, [](QPainter& p) {
        p.setPen(QPen(QColor(10, 40, 110), 1.2));
        p.setBrush(QColor(40, 90, 200));
        p.drawEllipse(QRectF(2, 2, 28, 28));
        Letter(p, QRectF(2, 2, 28, 28), Qt::white, QStringLiteral("?"), 20);
    });
    return list;
}

} // namespace Pictures
