#pragma once

#include "writeback/cellmarks.h"

#include <QString>

#include <cstdint>

// The cells as the write-back sees them: it reads the text the user left in a cell and shows
// texts and marks. A cell is named by grid id, column and row, data from column 1 and row 1.
class TCellView
{
public:
    virtual ~TCellView() = default;
    virtual QString CellText(int32_t gridId, int32_t col, int32_t row) const = 0;
    virtual void ShowCellText(int32_t gridId, int32_t col, int32_t row, const QString& text) = 0;
    virtual void ShowMark(int32_t gridId, int32_t col, int32_t row, TCellMark mark,
                          const QString& tip) = 0;
};
