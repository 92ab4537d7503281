#include "editing/celltextfit.h"

#include <QRegularExpression>

namespace {

// The exponent of a number written as 1.5E-03 or 1.5e3; the mantissa's digits may be dropped,
// the exponent's never.
qsizetype ExponentStart(const QString& text)
{
    static const QRegularExpression exponent(QStringLiteral("\\d[eE][+-]?\\d+$"));
    const QRegularExpressionMatch match = exponent.match(text);
    return match.hasMatch() ? match.capturedStart() + 1 : -1;
}

QString Joined(const QString& head, const QString& tail)
{
    return head + QChar(TCellTextFit::Ellipsis) + tail;
}

} // namespace

TCellTextFit::Result TCellTextFit::Fit(const QString& text, int room,
                                       const std::vector<Measure>& fonts)
{
    if (fonts.empty())
        return {0, text, true};
    for (size_t font = 0; font < fonts.size(); ++font)
        if (fonts[font](text) <= room)
            return {static_cast<int>(font), text, true};
    const int last = static_cast<int>(fonts.size()) - 1;
    return {last, Shorten(text, room, fonts.back()), false};
}

QString TCellTextFit::Shorten(const QString& text, int room, const Measure& measure)
{
    if (text.size() < 2 || measure(text) <= room)
        return text;
    const qsizetype exponent = ExponentStart(text);
    if (exponent > 0) {
        const QString tail = text.mid(exponent);
        // At least the first character of the mantissa stays, whatever the room.
        for (qsizetype kept = exponent - 1; kept > 1; --kept)
            if (measure(Joined(text.left(kept), tail)) <= room)
                return Joined(text.left(kept), tail);
        return Joined(text.left(1), tail);
    }
    // Without an exponent both ends stay, the start a little the longer.
    for (qsizetype kept = text.size() - 1; kept > 2; --kept) {
        const QString shortened = Joined(text.left((kept + 1) / 2), text.right(kept / 2));
        if (measure(shortened) <= room)
            return shortened;
    }
    return Joined(text.left(1), text.right(1));
}
