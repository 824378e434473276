#include "gui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace qingtong {

namespace {

QPixmap drawIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    // A rounded teal square with a white play triangle and a red recording dot.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x9e, 0x8f));
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
    QPainterPath play;
    play.moveTo(22, 18);
    play.lineTo(46, 32);
    play.lineTo(22, 46);
    play.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(play);
    painter.setBrush(QColor(0xe5, 0x39, 0x35));
    painter.drawEllipse(QPointF(48, 16), 7, 7);
    return pixmap;
}

} // namespace

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addPixmap(drawIcon(size));
    return icon;
}

} // namespace qingtong
