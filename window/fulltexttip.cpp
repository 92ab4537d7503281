#include "window/fulltexttip.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QTableWidget>
#include <QToolTip>

namespace {

// Room the cell's frame and margins take from the text.
constexpr int CellPadding = 8;

} // namespace

TFullTextTip::TFullTextTip(QTableWidget* grid) : QObject(grid), Grid(grid)
{
    grid->viewport()->installEventFilter(this);
}

bool TFullTextTip::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip || watched != Grid->viewport())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QTableWidgetItem* item = Grid->itemAt(help->pos());
    if (item == nullptr || !item->toolTip().isEmpty())
        return QObject::eventFilter(watched, event); // the item's own tooltip, if any
    const QRect cell = Grid->visualItemRect(item);
    const QFont font = item->data(Qt::FontRole).isValid() ? item->font() : Grid->font();
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(item->text()) + CellPadding > cell.width()) {
        QToolTip::showText(help->globalPos(), item->text(), Grid->viewport(), cell);
        return true;
    }
    QToolTip::hideText();
    return true;
}
