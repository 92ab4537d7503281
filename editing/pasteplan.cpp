#include "editing/pasteplan.h"

namespace {

TPastePlan Refused(const QString& why)
{
    TPastePlan plan;
    plan.Refusal = why;
    return plan;
}

qsizetype Width(const TClipboardBlock::Rows& block)
{
    qsizetype width = 0;
    for (const QStringList& row : block)
        width = std::max(width, row.size());
    return width;
}

QString Count(qsizetype n, const char* thing)
{
    return QStringLiteral("%1 %2%3").arg(n).arg(QLatin1String(thing)).arg(n == 1 ? "" : "s");
}

} // namespace

TPastePlan TPastePlan::Make(const TClipboardBlock::Rows& block, const Target& target)
{
    if (block.isEmpty())
        return Refused(QStringLiteral("Nothing was pasted: the clipboard holds no text. Copy "
                                      "the values first, then paste them."));
    if (!target.Connected)
        return Refused(QStringLiteral("Nothing was pasted: values are taken only from an "
                                      "instrument that has been read. Press Connect, wait for "
                                      "the read to end, then paste again."));
    TPastePlan plan;
    if (block.size() == 1 && block.front().size() == 1 && target.Selected.size() > 1) {
        for (const auto& [col, row] : target.Selected)
            plan.Edits.push_back({col, row, block.front().front()});
        return plan;
    }
    if (target.Col < 1 || target.Row < 1)
        return Refused(QStringLiteral("Nothing was pasted: the block would land on the row "
                                      "labels. Select the cell for its first value, then paste "
                                      "again."));
    const qsizetype width = Width(block);
    const qsizetype height = block.size();
    if (target.Col + width - 1 > target.Columns || target.Row + height - 1 > target.Rows)
        return Refused(QStringLiteral("Nothing was pasted: the block has %1 and %2, but from the "
                                      "current cell the table has room for %3 and %4. Select a "
                                      "cell further up or to the left, or copy a smaller block.")
                           .arg(Count(height, "row"), Count(width, "column"),
                                Count(target.Rows - target.Row + 1, "row"),
                                Count(target.Columns - target.Col + 1, "column")));
    for (qsizetype r = 0; r < height; ++r)
        for (qsizetype c = 0; c < block[r].size(); ++c)
            plan.Edits.push_back(
                {target.Col + static_cast<int>(c), target.Row + static_cast<int>(r), block[r][c]});
    return plan;
}
