#pragma once

#include "editing/celltextfit.h"

#include <QStyledItemDelegate>

// Draws a table's cells so that every value is readable: a value too wide for its column is
// drawn in the narrow font, then in smaller sizes of it down to one that stays legible, and
// only then shortened in the middle (TCellTextFit), with a small mark in the cell's corner.
// The cell's text and its tooltip stay whole.
class TCellTextDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // The smallest pixel size a value is drawn in.
    static constexpr int SmallestPixelSize = 10;

    using QStyledItemDelegate::QStyledItemDelegate;

    // How `text` is drawn in `font` in a cell `cellWidth` pixels wide, and the font it takes.
    // A marked cell's text keeps clear of the mark's sign in its bottom right corner.
    TCellTextFit::Result Fit(const QString& text, const QFont& font, int cellWidth, bool marked,
                             QFont* drawnIn = nullptr) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // A value that arrives while the user types in the cell leaves the editor alone: the
    // typed text is committed as the user's edit, over the value that arrived.
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
};
