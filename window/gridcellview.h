#pragma once

#include "writeback/cellview.h"

#include <QColor>

#include <string>

class QTableWidget;
class QTableWidgetItem;

// The two tables as cells named by grid id: column 0 and row 0 are the header views, data cell
// (col, row) is item (row - 1, col - 1). Marks show as the colours and sign of TMarkLook and a
// tooltip.
class TGridCellView : public TCellView
{
public:
    // The tables exist only once the form is set up.
    void Attach(QTableWidget* sensors, QTableWidget* thermistors);

    QString CellText(int32_t gridId, int32_t col, int32_t row) const override;
    void ShowCellText(int32_t gridId, int32_t col, int32_t row, const QString& text) override;
    void ShowMark(int32_t gridId, int32_t col, int32_t row, TCellMark mark,
                  const QString& tip) override;

    // Header cells included; any other grid id names no grid.
    std::string GetCellText(int32_t gridId, int32_t col, int32_t row) const;
    void SetCellText(int32_t gridId, int32_t col, int32_t row, const std::string& text);

    QTableWidget* GridOf(int32_t gridId) const;
    // True while the window itself writes a cell, so that only the user's edits count.
    bool WritingCells() const { return Writing; }

    // A mark's ground in the light palette.
    static QColor ColourOf(TCellMark mark);

private:
    void StoreCellText(QTableWidget* grid, int32_t col, int32_t row, const QString& value);
    QTableWidgetItem* DataItem(int32_t gridId, int32_t col, int32_t row) const;

    QTableWidget* Sensors = nullptr;
    QTableWidget* Thermistors = nullptr;
    bool Writing = false;
};
