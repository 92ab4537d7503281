#pragma once

#include <QProxyStyle>

// The tables' look: cell text starts two pixels from the cell's edge, as the form's own string
// grids draw it, so that eleven characters of a coefficient fit a 64-pixel column.
class TGridStyle : public QProxyStyle
{
    Q_OBJECT

public:
    // The margin of the text on each side of a cell, in pixels.
    static constexpr int TextMargin = 2;

    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};
