#include "window/narrowfont.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>

const char* const TNarrowFont::Family = "Liberation Sans Narrow";

namespace {

bool LoadShippedCopy()
{
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    bool loaded = false;
    for (const QString& file : fonts.entryList({QStringLiteral("LiberationSansNarrow-*.ttf")}))
        loaded = QFontDatabase::addApplicationFont(fonts.filePath(file)) >= 0 || loaded;
    return loaded;
}

} // namespace

bool TNarrowFont::Available()
{
    static const bool available =
        QFontDatabase::hasFamily(QString::fromLatin1(Family)) || LoadShippedCopy();
    return available;
}

QFont TNarrowFont::At(int pixelSize, const QFont& fallback)
{
    QFont font = Available() ? QFont(QString::fromLatin1(Family)) : fallback;
    font.setPixelSize(pixelSize);
    return font;
}
