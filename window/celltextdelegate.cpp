#include "window/celltextdelegate.h"
#include "window/cellitem.h"
#include "window/gridstyle.h"
#include "window/markpaint.h"
#include "window/narrowfont.h"

#include <QApplication>
#include <QBrush>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPainter>
#include <QPolygon>

namespace {

// The corner mark of a shortened value.
constexpr int MarkSize = 5;

// The cell's font, then the narrow font from the same pixel size down to the smallest.
std::vector<QFont> Candidates(const QFont& font)
{
    std::vector<QFont> fonts{font};
    const int size = QFontInfo(font).pixelSize();
    for (int pixels = size; pixels >= TCellTextDelegate::SmallestPixelSize; --pixels) {
        const QFont narrow = TNarrowFont::At(pixels, font);
        if (narrow != fonts.back())
            fonts.push_back(narrow);
    }
    return fonts;
}

} // namespace

TCellTextFit::Result TCellTextDelegate::Fit(const QString& text, const QFont& font, int cellWidth,
                                            bool marked, QFont* drawnIn) const
{
    // The values are drawn from the left, so the room at the right is kept for the sign.
    if (marked)
        cellWidth -= TMarkPaint::SignRoom;
    const std::vector<QFont> fonts = Candidates(font);
    std::vector<TCellTextFit::Measure> measures;
    for (const QFont& candidate : fonts) {
        const QFontMetrics metrics(candidate);
        measures.push_back([metrics](const QString& t) { return metrics.horizontalAdvance(t); });
    }
    const TCellTextFit::Result result =
        TCellTextFit::Fit(text, cellWidth - 2 * TGridStyle::TextMargin, measures);
    if (drawnIn != nullptr)
        *drawnIn = fonts[static_cast<size_t>(result.Font)];
    return result;
}

void TCellTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const
{
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    const TCellMark mark = TCellItem::MarkOf(index);
    QFont font;
    const TCellTextFit::Result fit =
        Fit(cell.text, cell.font, cell.rect.width(), mark != TCellMark::None, &font);
    cell.text = fit.Text;
    cell.font = font;
    cell.fontMetrics = QFontMetrics(font);
    cell.textElideMode = Qt::ElideNone;
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
    if (mark != TCellMark::None)
        TMarkPaint::DrawSign(*painter, TMarkPaint::SignRect(cell.rect), TMarkLook::SignOf(mark),
                             index.data(Qt::ForegroundRole).value<QBrush>().color());
    if (fit.Whole)
        return;
    const QRect r = cell.rect;
    const QPolygon corner({r.topRight() + QPoint(1 - MarkSize, 0), r.topRight() + QPoint(1, 0),
                           r.topRight() + QPoint(1, MarkSize)});
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(cell.palette.color(QPalette::Mid));
    painter->drawPolygon(corner);
    painter->restore();
}

void TCellTextDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    if (const auto* line = qobject_cast<const QLineEdit*>(editor); line && line->isModified())
        return;
    QStyledItemDelegate::setEditorData(editor, index);
}
