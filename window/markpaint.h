#pragma once

#include "writeback/marklook.h"

#include <QColor>

class QPainter;
class QPalette;
class QRect;

// Draws the marks' signs, in the cells and in the legend's pictures.
class TMarkPaint
{
public:
    // The sign's side in pixels.
    static constexpr int SignSize = 7;
    // The width a marked cell's text leaves free for the sign: the sign and a pixel beside it.
    static constexpr int SignRoom = SignSize + 2;

    static QColor Colour(TRgb rgb);
    static bool IsDark(const QPalette& palette);
    // The sign sits in the cell's bottom right corner; the top right one marks a shortened value.
    static QRect SignRect(const QRect& cell);
    static void DrawSign(QPainter& painter, const QRect& area, TMarkSign sign,
                         const QColor& colour);
};
