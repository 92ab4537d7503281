#include "window/cellitem.h"
#include "window/markpaint.h"

#include "writeback/marklook.h"

#include <QBrush>
#include <QTableWidget>

TCellItem::TCellItem(const QString& text) : QTableWidgetItem(text, UserType) {}

void TCellItem::SetMark(QTableWidgetItem& item, TCellMark mark)
{
    item.setData(MarkRole, mark == TCellMark::None ? QVariant() : QVariant(static_cast<int>(mark)));
}

TCellMark TCellItem::MarkOf(const QModelIndex& index)
{
    const QVariant mark = index.data(MarkRole);
    return mark.isValid() ? static_cast<TCellMark>(mark.toInt()) : TCellMark::None;
}

TCellMark TCellItem::Mark() const
{
    const QVariant mark = QTableWidgetItem::data(MarkRole);
    return mark.isValid() ? static_cast<TCellMark>(mark.toInt()) : TCellMark::None;
}

bool TCellItem::DarkPalette() const
{
    const QTableWidget* grid = tableWidget();
    return grid != nullptr && TMarkPaint::IsDark(grid->palette());
}

// The row's and the column's header, as "S3 Mid Hz".
QString TCellItem::Place() const
{
    const QTableWidget* grid = tableWidget();
    if (grid == nullptr)
        return {};
    const QTableWidgetItem* rowHeader = grid->verticalHeaderItem(row());
    const QTableWidgetItem* columnHeader = grid->horizontalHeaderItem(column());
    QStringList parts;
    if (rowHeader != nullptr)
        parts << rowHeader->text();
    if (columnHeader != nullptr)
        parts << columnHeader->text();
    return parts.join(' ');
}

QVariant TCellItem::data(int role) const
{
    const TCellMark mark = Mark();
    switch (role) {
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        if (mark != TCellMark::None) {
            const TMarkLook::Look look = TMarkLook::Of(mark, DarkPalette());
            return QBrush(TMarkPaint::Colour(role == Qt::BackgroundRole ? look.Ground : look.Text));
        }
        break;
    case Qt::AccessibleTextRole: {
        const QString value = text().isEmpty() ? QStringLiteral("empty") : text();
        const QString place = Place();
        return place.isEmpty() ? value : place + ' ' + value;
    }
    case Qt::AccessibleDescriptionRole:
        return toolTip();
    default:
        break;
    }
    return QTableWidgetItem::data(role);
}

QTableWidgetItem* TCellItem::clone() const
{
    return new TCellItem(*this);
}
