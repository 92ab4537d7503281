#include "window/gridstyle.h"

// Item views put the focus frame margin plus one pixel on each side of a cell's text.
int TGridStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                            const QWidget* widget) const
{
    if (metric == PM_FocusFrameHMargin)
        return TextMargin - 1;
    return QProxyStyle::pixelMetric(metric, option, widget);
}
