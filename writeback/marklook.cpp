#include "writeback/marklook.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {

struct Entry
{
    CellMark Mark;
    TMarkLook::Look Light;
    TMarkLook::Look Dark;
    const char* Colour;
    const char* Meaning;
};

// Pale tints of Okabe-Ito yellow, vermillion, orange and sky blue, a grey, and muted bluish
// green and reddish purple, under dark text in the light palette; deep shades of the same hues
// under light text in the dark one. Their lightness differs as well, so that they stay apart in
// grey-scale.
const std::array<Entry, 7>& Entries()
{
    static const std::array<Entry, 7> entries{{
        {CellMark::Unconfirmed,
         {{255, 244, 160}, {0, 0, 0}, MarkSign::Dot},
         {{112, 100, 0}, {255, 255, 255}, MarkSign::Dot},
         "yellow",
         "not yet confirmed by the instrument: sent at the next Save"},
        {CellMark::Unsafe,
         {{234, 150, 110}, {0, 0, 0}, MarkSign::Cross},
         {{150, 50, 0}, {255, 255, 255}, MarkSign::Cross},
         "orange",
         "never sent: the value cannot be stored by the instrument"},
        {CellMark::NotTaken,
         {{196, 226, 246}, {0, 0, 0}, MarkSign::Diamond},
         {{0, 80, 130}, {255, 255, 255}, MarkSign::Diamond},
         "blue",
         "not taken: the instrument kept its own value"},
        {CellMark::NoAnswer,
         {{206, 206, 206}, {72, 72, 72}, MarkSign::Bar},
         {{60, 60, 60}, {200, 200, 200}, MarkSign::Bar},
         "grey",
         "no answer: the instrument did not answer when the setting was read"},
        {CellMark::Overlong,
         {{92, 162, 132}, {0, 0, 0}, MarkSign::Triangle},
         {{0, 90, 65}, {255, 255, 255}, MarkSign::Triangle},
         "green",
         "reply too long: nothing of the instrument's reply was kept"},
        {CellMark::LooksWrong,
         {{172, 92, 140}, {0, 0, 0}, MarkSign::Square},
         {{100, 30, 80}, {255, 255, 255}, MarkSign::Square},
         "purple",
         "looks wrong: the instrument holds text where it holds a number"},
        {CellMark::DiffersFromFile,
         {{233, 181, 80}, {0, 0, 0}, MarkSign::NotEqual},
         {{130, 80, 0}, {255, 255, 255}, MarkSign::NotEqual},
         "amber",
         "differs from the file compared with: the tooltip gives the file's value"},
    }};
    return entries;
}

const Entry* Find(CellMark mark)
{
    const auto& entries = Entries();
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [mark](const Entry& e) { return e.Mark == mark; });
    return it == entries.end() ? nullptr : &*it;
}

double Linear(int component)
{
    const double c = component / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

} // namespace

const std::array<CellMark, 7>& TMarkLook::Marks()
{
    static const std::array<CellMark, 7> marks{
        CellMark::Unconfirmed, CellMark::Unsafe,     CellMark::NotTaken,       CellMark::NoAnswer,
        CellMark::Overlong,    CellMark::LooksWrong, CellMark::DiffersFromFile};
    return marks;
}

TMarkLook::Look TMarkLook::Of(CellMark mark, bool darkPalette)
{
    const Entry* entry = Find(mark);
    if (entry == nullptr)
        return {};
    return darkPalette ? entry->Dark : entry->Light;
}

MarkSign TMarkLook::SignOf(CellMark mark)
{
    return Of(mark, false).Sign;
}

QString TMarkLook::SymbolOf(MarkSign sign)
{
    switch (sign) {
    case MarkSign::Dot:
        return QStringLiteral("\u25CF");
    case MarkSign::Cross:
        return QStringLiteral("\u00D7");
    case MarkSign::Diamond:
        return QStringLiteral("\u25C6");
    case MarkSign::Bar:
        return QStringLiteral("\u25AC");
    case MarkSign::Triangle:
        return QStringLiteral("\u25B2");
    case MarkSign::Square:
        return QStringLiteral("\u25A1");
    case MarkSign::NotEqual:
        return QStringLiteral("\u2260");
    case MarkSign::None:
        break;
    }
    return {};
}

QString TMarkLook::ColourName(CellMark mark)
{
    const Entry* entry = Find(mark);
    return entry == nullptr ? QString() : QString::fromLatin1(entry->Colour);
}

QString TMarkLook::Meaning(CellMark mark)
{
    const Entry* entry = Find(mark);
    return entry == nullptr ? QString() : QString::fromLatin1(entry->Meaning);
}

QString TMarkLook::Legend()
{
    QStringList lines;
    for (CellMark mark : Marks())
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
