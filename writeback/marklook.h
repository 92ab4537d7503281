#pragma once

#include "writeback/cellmarks.h"

#include <QString>

#include <array>

// A colour as sRGB components 0..255, so that the look of the marks needs no widget library.
struct TRgb
{
    int Red = 0;
    int Green = 0;
    int Blue = 0;

    friend bool operator==(const TRgb&, const TRgb&) = default;
};

// The shape drawn in a marked cell's corner, so that a mark is never told by colour alone.
enum class TMarkSign
{
    None,
    Dot,      // not yet confirmed
    Cross,    // never sent
    Diamond,  // not taken
    Bar,      // no answer
    Triangle, // reply too long
    Square,   // looks wrong (hollow)
};

// How each cell mark looks: its ground and text colours in a light and in a dark palette, its
// sign, and the words the legend gives it. The hues come from the Okabe-Ito set, which stays
// apart under the common colour-vision deficiencies; every text colour keeps at least
// MinimumContrast on its ground.
class TMarkLook
{
public:
    // WCAG 2.1 level AA for normal text.
    static constexpr double MinimumContrast = 4.5;

    struct Look
    {
        TRgb Ground;
        TRgb Text;
        TMarkSign Sign = TMarkSign::None;
    };

    // The marks a cell can carry, None excepted.
    static const std::array<TCellMark, 6>& Marks();
    static Look Of(TCellMark mark, bool darkPalette);
    static TMarkSign SignOf(TCellMark mark);
    // The character that stands for a sign in plain text, as in the legend.
    static QString SymbolOf(TMarkSign sign);
    // The colour's name in the light palette and what the mark means, for the legend.
    static QString ColourName(TCellMark mark);
    static QString Meaning(TCellMark mark);
    // One line per mark: symbol, colour name, meaning.
    static QString Legend();

    // A palette whose base (the tables' ground) is this colour is dark.
    static bool IsDark(TRgb base);
    // WCAG 2.1 relative luminance and contrast ratio.
    static double Luminance(TRgb colour);
    static double Contrast(TRgb a, TRgb b);
};
