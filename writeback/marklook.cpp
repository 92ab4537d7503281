#include "writeback/marklook.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

struct TEntry
{
    TCellMark Mark;
    TMarkLook::Look Light;
    TMarkLook::Look Dark;
    const char* Colour;
    const char* Meaning;
};

// Pale tints of Okabe-Ito yellow, vermillion and sky blue, a grey, and muted bluish green and
// reddish purple, under dark text in the light palette; deep shades of the same hues under
// light text in the dark one. Their lightness differs as well, so that they stay apart in
// grey-scale.
const std::array<TEntry, 6>& Entries()
{
    static const std::array<TEntry, 6> entries{{
        {TCellMark::Unconfirmed,
         {{255, 244, 160}, {0, 0, 0}, TMarkSign::Dot},
         {{112, 100, 0}, {255, 255, 255}, TMarkSign::Dot},
         "yellow",
         "not yet confirmed by the instrument: sent at the next Save"},
        {TCellMark::Unsafe,
         {{234, 150, 110}, {0, 0, 0}, TMarkSign::Cross},
         {{150, 50, 0}, {255, 255, 255}, TMarkSign::Cross},
         "orange",
         "never sent: the value cannot be stored by the instrument"},
        {TCellMark::NotTaken,
         {{196, 226, 246}, {0, 0, 0}, TMarkSign::Diamond},
         {{0, 80, 130}, {255, 255, 255}, TMarkSign::Diamond},
         "blue",
         "not taken: the instrument kept its own value"},
        {TCellMark::NoAnswer,
         {{200, 200, 200}, {72, 72, 72}, TMarkSign::Bar},
         {{60, 60, 60}, {200, 200, 200}, TMarkSign::Bar},
         "grey",
         "no answer: the instrument did not answer when the setting was read"},
        {TCellMark::Overlong,
         {{92, 162, 132}, {0, 0, 0}, TMarkSign::Triangle},
         {{0, 90, 65}, {255, 255, 255}, TMarkSign::Triangle},
         "green",
         "reply too long: nothing of the instrument's reply was kept"},
        {TCellMark::LooksWrong,
         {{172, 92, 140}, {0, 0, 0}, TMarkSign::Square},
         {{100, 30, 80}, {255, 255, 255}, TMarkSign::Square},
         "purple",
         "looks wrong: the instrument holds text where it holds a number"},
    }};
    return entries;
}

const TEntry* Find(TCellMark mark)
{
    const auto& entries = Entries();
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [mark](const TEntry& e) { return e.Mark == mark; });
    return it == entries.end() ? nullptr : &*it;
}

double Linear(int component)
{
    const double c = component / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace

const std::array<TCellMark, 6>& TMarkLook::Marks()
{
    static const std::array<TCellMark, 6> marks{TCellMark::Unconfirmed, TCellMark::Unsafe,
                                                TCellMark::NotTaken,    TCellMark::NoAnswer,
                                                TCellMark::Overlong,    TCellMark::LooksWrong};
    return marks;
}

TMarkLook::Look TMarkLook::Of(TCellMark mark, bool darkPalette)
{
    const TEntry* entry = Find(mark);
    if (entry == nullptr)
        return {};
    return darkPalette ? entry->Dark : entry->Light;
}

TMarkSign TMarkLook::SignOf(TCellMark mark)
{
    return Of(mark, false).Sign;
}

QString TMarkLook::SymbolOf(TMarkSign sign)
{
    switch (sign) {
    case TMarkSign::Dot:
        return QStringLiteral("\u25CF");
    case TMarkSign::Cross:
        return QStringLiteral("\u00D7");
    case TMarkSign::Diamond:
        return QStringLiteral("\u25C6");
    case TMarkSign::Bar:
        return QStringLiteral("\u25AC");
    case TMarkSign::Triangle:
        return QStringLiteral("\u25B2");
    case TMarkSign::Square:
        return QStringLiteral("\u25A1");
    case TMarkSign::None:
        break;
    }
    return {};
}

QString TMarkLook::ColourName(TCellMark mark)
{
    const TEntry* entry = Find(mark);
    return entry == nullptr ? QString() : QString::fromLatin1(entry->Colour);
}

QString TMarkLook::Meaning(TCellMark mark)
{
    const TEntry* entry = Find(mark);
    return entry == nullptr ? QString() : QString::fromLatin1(entry->Meaning);
}

QString TMarkLook::Legend()
{
    QStringList lines;
    for (TCellMark mark : Marks())
        lines << SymbolOf(SignOf(mark)) + ' ' + ColourName(mark) + ": " + Meaning(mark);
    return lines.join('\n');
}

bool TMarkLook::IsDark(TRgb base)
{
    return Luminance(base) < 0.18;
}

double TMarkLook::Luminance(TRgb colour)
{
    return 0.2126 * Linear(colour.Red) + 0.7152 * Linear(colour.Green) +
           0.0722 * Linear(colour.Blue);
}

double TMarkLook::Contrast(TRgb a, TRgb b)
{
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
