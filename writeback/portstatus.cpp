#include "writeback/portstatus.h"

QString TPortStatus::Opened(const QString& device, Kind kind)
{
    if (kind == Kind::SettingsRefused)
        return "Device: " + device + " OK - line settings refused, its old speed kept";
    return "Device: " + device + " OK";
}

QString TPortStatus::NotOpened(const QString& device, Kind kind, const std::string& systemText)
{
    return "Device: " + device + " NOT OPENED - " +
           QString::fromStdString(TPortProblem::Reason(kind, systemText));
}

QString TPortStatus::Removed(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(RemovedText);
}

QString TPortStatus::Reconnected(const QString& device)
{
    return "Device: " + device + " OK - reconnected";
}

QString TPortStatus::NoAnswer(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(NoAnswerText);
}

QString TPortStatus::LookWrong(const QString& device, const QStringList& keys)
{
    QString named = keys.mid(0, KeysNamed).join(QStringLiteral(", "));
    if (keys.size() > KeysNamed)
        named += QStringLiteral(" and %1 more").arg(keys.size() - KeysNamed);
    return "Device: " + device + " OK - " +
           (keys.size() == 1 ? QStringLiteral("1 setting looks wrong: ")
                             : QStringLiteral("%1 settings look wrong: ").arg(keys.size())) +
           named + QStringLiteral(" (marked; type a number and Save)");
}

QString TPortStatus::NotInstrument(const QString& device)
{
    return "Device: " + device + QString::fromLatin1(NotInstrumentText);
}
