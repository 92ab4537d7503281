#include "window/gridcellview.h"
#include "window/cellitem.h"
#include "window/markpaint.h"

#include "writeback/marklook.h"

#include <QScopedValueRollback>
#include <QTableWidget>

void TGridCellView::Attach(QTableWidget* sensors, QTableWidget* thermistors)
{
    Sensors = sensors;
    Thermistors = thermistors;
    // Cells the user types into while empty are made from the prototype.
    for (QTableWidget* grid : {sensors, thermistors})
        grid->setItemPrototype(new TCellItem);
}

QColor TGridCellView::ColourOf(TCellMark mark)
{
    if (mark == TCellMark::None)
        return {};
    return TMarkPaint::Colour(TMarkLook::Of(mark, false).Ground);
}

QTableWidget* TGridCellView::GridOf(int32_t gridId) const
{
    if (gridId == GridSensor)
        return Sensors;
    if (gridId == GridThermistor)
        return Thermistors;
    return nullptr;
}

QTableWidgetItem* TGridCellView::DataItem(int32_t gridId, int32_t col, int32_t row) const
{
    const QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 1 || row < 1 || col > grid->columnCount() ||
        row > grid->rowCount())
        return nullptr;
    return grid->item(row - 1, col - 1);
}

QString TGridCellView::CellText(int32_t gridId, int32_t col, int32_t row) const
{
    const QTableWidgetItem* item = DataItem(gridId, col, row);
    return item == nullptr ? QString() : item->text();
}

void TGridCellView::ShowCellText(int32_t gridId, int32_t col, int32_t row, const QString& text)
{
    QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 1 || row < 1 || col > grid->columnCount() ||
        row > grid->rowCount())
        return;
    const QScopedValueRollback<bool> writing(Writing, true);
    StoreCellText(grid, col, row, text);
}

void TGridCellView::ShowMark(int32_t gridId, int32_t col, int32_t row, TCellMark mark,
                             const QString& tip)
{
    if (DataItem(gridId, col, row) == nullptr)
        ShowCellText(gridId, col, row, QString());
    QTableWidgetItem* item = DataItem(gridId, col, row);
    if (item == nullptr)
        return;
    const QScopedValueRollback<bool> writing(Writing, true);
    TCellItem::SetMark(*item, mark);
    item->setToolTip(tip);
}

std::string TGridCellView::GetCellText(int32_t gridId, int32_t col, int32_t row) const
{
    const QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 0 || row < 0 || col > grid->columnCount() ||
        row > grid->rowCount())
        return {};
    const QTableWidgetItem* item = nullptr;
    if (row == 0 && col > 0)
        item = grid->horizontalHeaderItem(col - 1);
    else if (col == 0 && row > 0)
        item = grid->verticalHeaderItem(row - 1);
    else if (col > 0 && row > 0)
        item = grid->item(row - 1, col - 1);
    return item == nullptr ? std::string() : item->text().toLatin1().toStdString();
}

void TGridCellView::SetCellText(int32_t gridId, int32_t col, int32_t row, const std::string& text)
{
    QTableWidget* grid = GridOf(gridId);
    if (grid == nullptr || col < 0 || row < 0 || col > grid->columnCount() ||
        row > grid->rowCount() || (col == 0 && row == 0))
        return;
    const QScopedValueRollback<bool> writing(Writing, true);
    StoreCellText(grid, col, row,
                  QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

void TGridCellView::StoreCellText(QTableWidget* grid, int32_t col, int32_t row,
                                  const QString& value)
{
    QTableWidgetItem* item = nullptr;
    if (row == 0)
        item = grid->horizontalHeaderItem(col - 1);
    else if (col == 0)
        item = grid->verticalHeaderItem(row - 1);
    else
        item = grid->item(row - 1, col - 1);
    if (item != nullptr) {
        item->setText(value);
        return;
    }
    if (row == 0)
        grid->setHorizontalHeaderItem(col - 1, new QTableWidgetItem(value));
    else if (col == 0)
        grid->setVerticalHeaderItem(row - 1, new QTableWidgetItem(value));
    else
        grid->setItem(row - 1, col - 1, new TCellItem(value));
}
