#pragma once

#include <QString>

#include <functional>
#include <vector>

// How a value is drawn in a cell too narrow for it: in the first of the given fonts that holds
// it whole, otherwise in the last one, shortened in the middle so that its start and its whole
// exponent stay (3.141…E+02). The end of a number is never cut off: cut, -1.2345678E-03 would
// read as a value a thousand times too large.
class TCellTextFit
{
public:
    // The width of a text in one font, in pixels.
    using Measure = std::function<int(const QString&)>;

    struct Result
    {
        // Index of the font to draw in.
        int Font = 0;
        QString Text;
        // False when the text was shortened.
        bool Whole = true;
    };

    static Result Fit(const QString& text, int room, const std::vector<Measure>& fonts);
    // The text shortened in the middle to fit `room`, its exponent kept whole.
    static QString Shorten(const QString& text, int room, const Measure& measure);

    static constexpr char16_t Ellipsis = u'\u2026';
};
