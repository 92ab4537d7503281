#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

// A block of cells as clipboard text: rows of tab-separated values, the way spreadsheets copy
// and paste cells.
class TClipboardBlock
{
public:
    using Rows = QList<QStringList>;

    // One cell of a selection, by data column and row (from 1).
    struct Cell
    {
        int Col = 0;
        int Row = 0;
        QString Text;
    };

    // The smallest block holding every cell, in rows; cells not given are empty.
    static Rows FromCells(const std::vector<Cell>& cells);
    static QString Text(const Rows& rows);
    // Tab-separated rows; one line without a tab may also be separated by semicolons or, failing
    // those, by commas. The line end after the last row, as spreadsheets add it, is dropped.
    static Rows Parse(const QString& text);
};
