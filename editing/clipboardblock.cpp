#include "editing/clipboardblock.h"

#include <algorithm>

TClipboardBlock::Rows TClipboardBlock::FromCells(const std::vector<Cell>& cells)
{
    if (cells.empty())
        return {};
    int left = cells.front().Col, right = left, top = cells.front().Row, bottom = top;
    for (const Cell& cell : cells) {
        left = std::min(left, cell.Col);
        right = std::max(right, cell.Col);
        top = std::min(top, cell.Row);
        bottom = std::max(bottom, cell.Row);
    }
    Rows rows(bottom - top + 1, QStringList(right - left + 1, QString()));
    for (const Cell& cell : cells)
        rows[cell.Row - top][cell.Col - left] = cell.Text;
    return rows;
}

QString TClipboardBlock::Text(const Rows& rows)
{
    QString text;
    for (const QStringList& row : rows)
        text += row.join(QLatin1Char('\t')) + QLatin1Char('\n');
    return text;
}

TClipboardBlock::Rows TClipboardBlock::Parse(const QString& text)
{
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    if (body.isEmpty())
        return {};
    const QStringList lines = body.split(QLatin1Char('\n'));
    Rows rows;
    if (lines.size() == 1 && !body.contains(QLatin1Char('\t'))) {
        for (const QChar separator : {QLatin1Char(';'), QLatin1Char(',')})
            if (body.contains(separator))
                return {body.split(separator)};
        return {{body}};
    }
    for (const QString& line : lines)
        rows.append(line.split(QLatin1Char('\t')));
    return rows;
}
