#include "window/dialogstateguard.h"

#include <QFile>
#include <QSettings>

namespace {

QSettings& Opened(QSettings& settings)
{
    settings.beginGroup(QString::fromLatin1(TDialogStateGuard::Group));
    return settings;
}

} // namespace

TDialogStateGuard::TDialogStateGuard()
{
    QSettings settings(QSettings::UserScope, QString::fromLatin1(Organization));
    Existed = QFile::exists(settings.fileName()) || !settings.allKeys().isEmpty();
    for (const QString& key : Opened(settings).allKeys())
        Before[key] = settings.value(key);
}

TDialogStateGuard::~TDialogStateGuard()
{
    QSettings settings(QSettings::UserScope, QString::fromLatin1(Organization));
    Opened(settings).remove(QString()); // the whole group
    for (const auto& [key, value] : Before)
        settings.setValue(key, value);
    settings.endGroup();
    settings.sync();
#ifndef _WIN32
    // A file only the dialog made goes again (on Windows an empty registry key is left).
    if (!Existed && settings.allKeys().isEmpty())
        QFile::remove(settings.fileName());
#endif
}
