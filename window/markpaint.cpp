#include "window/markpaint.h"

#include <QPainter>
#include <QPalette>
#include <QPolygonF>
#include <QRect>

QColor TMarkPaint::Colour(TRgb rgb)
{
    return {rgb.Red, rgb.Green, rgb.Blue};
}

bool TMarkPaint::IsDark(const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Base);
    return TMarkLook::IsDark({base.red(), base.green(), base.blue()});
}

QRect TMarkPaint::SignRect(const QRect& cell)
{
    return {cell.right() - SignSize - 1, cell.bottom() - SignSize - 1, SignSize, SignSize};
}

void TMarkPaint::DrawSign(QPainter& painter, const QRect& area, TMarkSign sign,
                          const QColor& colour)
{
    const QRectF r(area);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    switch (sign) {
    case TMarkSign::Dot:
        painter.drawEllipse(r);
        break;
    case TMarkSign::Cross:
        painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::FlatCap));
        painter.drawLine(r.topLeft(), r.bottomRight());
        painter.drawLine(r.topRight(), r.bottomLeft());
        break;
    case TMarkSign::Diamond:
        painter.drawPolygon(
            QPolygonF({QPointF(r.center().x(), r.top()), QPointF(r.right(), r.center().y()),
                       QPointF(r.center().x(), r.bottom()), QPointF(r.left(), r.center().y())}));
        break;
    case TMarkSign::Bar:
        painter.drawRect(QRectF(r.left(), r.center().y() - 1.5, r.width(), 3.0));
        break;
    case TMarkSign::Square:
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, 1.6));
        painter.drawRect(r.adjusted(0.8, 0.8, -0.8, -0.8));
        break;
    case TMarkSign::Triangle:
        painter.drawPolygon(
            QPolygonF({QPointF(r.center().x(), r.top()), r.bottomRight(), r.bottomLeft()}));
        break;
    case TMarkSign::None:
        break;
    }
    painter.restore();
}
