#include "shell/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

QPixmap PaintAppIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Shadow, marble, gloss: the drawing of marbleway.svg on a 64-unit square.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 50));
    p.drawEllipse(QRectF(8, 54, 48, 7));

    QRadialGradient marble(QPointF(24, 20), 34);
    marble.setColorAt(0.0, QColor(0x8f, 0xd8, 0xff));
    marble.setColorAt(0.55, QColor(0x1f, 0x7a, 0xd6));
    marble.setColorAt(1.0, QColor(0x0b, 0x2f, 0x6b));
    p.setBrush(marble);
    p.setPen(QPen(QColor(0x0b, 0x2f, 0x6b), 1.5));
    p.drawEllipse(QPointF(32, 31), 27, 27);

    QPainterPath play;
    play.moveTo(25, 18);
    play.lineTo(46, 31);
    play.lineTo(25, 44);
    play.closeSubpath();
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(play);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(14, 9, 20, 11));
    return pixmap;
}

QIcon AppIcon()
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 })
        icon.addPixmap(PaintAppIcon(size));
    return icon;
}
